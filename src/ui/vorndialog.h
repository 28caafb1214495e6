#pragma once

#include <QDialog>
#include <QString>

#include <functional>

namespace vorn {

class ControlChannel;

// What the program's dialogs share: the TopMost flag that the opening command
// hands over, and the link to the language-change event, over which an open
// dialog re-applies its texts. The link lives as long as the dialog.
class VornDialog : public QDialog {
    Q_OBJECT
public:
    // `languageSource` may be null: the dialog then keeps its start language.
    explicit VornDialog(ControlChannel *languageSource, QWidget *parent = nullptr);
    ~VornDialog() override;

    bool TopMost() const { return m_topMost; }
    // True keeps the dialog above other windows once it is shown.
    void setTopMost(bool topMost);

    // Sets every text of the dialog from the current language.
    virtual void ApplyDialogTexts() = 0;

    // The language-change event: the language becomes current, then the texts follow.
    void ml_RuntimeSupport_LanguageChanged(qint32 languageId, const QString &language);

protected:
    // Hands the text of string id `id` to `apply` unless that text is empty.
    static void applyText(int id, const QString &englishText, const std::function<void(const QString &)> &apply);

private:
    bool m_topMost = false;
    QMetaObject::Connection m_languageLink;
};

} // namespace vorn
