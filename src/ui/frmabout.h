#pragma once

#include "vorndialog.h"

#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

namespace vorn {

class frmScheduler;

// The About window: the program's name, its version, the maker's notice and a
// link label that opens the maker's web page.
class frmAbout : public VornDialog {
    Q_OBJECT
public:
    // The maker's web page, which Label3 shows and opens.
    static inline const QString MakerWebAddress = QStringLiteral("https://www.vorn-automation.example/");

    // `openUrl` opens a web page (by default the desktop's browser); tests record it.
    explicit frmAbout(ControlChannel *languageSource = nullptr,
                      std::function<void(const QUrl &)> openUrl = {}, QWidget *parent = nullptr);

    // Title, button, program name and the plain notice line (string id 31).
    void ApplyDialogTexts() override;

    // Opens the maker's web page; the link then shows as visited (red).
    void Label3_Click();

    QPushButton *ComOk() const { return m_comOk; }
    QLabel *Label1() const { return m_label1; }
    QLabel *Label2() const { return m_label2; }
    QLabel *Label3() const { return m_label3; }
    QLabel *VerLabel() const { return m_verLabel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setLinkColor(const QColor &color);

    std::function<void(const QUrl &)> m_openUrl;
    QPushButton *m_comOk = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_verLabel = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_image1 = nullptr;
};

// The About command's window: loaded afresh, shown modally without an owner.
void RunAboutDialog(frmScheduler &window, bool topMost);

} // namespace vorn
