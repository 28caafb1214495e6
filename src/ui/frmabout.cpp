#include "frmabout.h"

#include "frmscheduler.h"
#include "shellopen.h"
#include "texts.h"
#include "version.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

// The picture is one of the library's compiled-in icons, which a static
// library does not register by itself.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace vorn {

namespace {

// Our name as the notice line gives it after the year.
const QString MakerName = QStringLiteral(" Vorn Automation");

} // namespace

frmAbout::frmAbout(ControlChannel *languageSource, std::function<void(const QUrl &)> openUrl, QWidget *parent)
    : VornDialog(languageSource, parent), m_openUrl(std::move(openUrl))
{
    if (!m_openUrl)
        m_openUrl = OpenWebPage;
    setObjectName(QStringLiteral("frmAbout"));

    m_comOk = new QPushButton(this);
    m_comOk->setObjectName(QStringLiteral("ComOk"));
    m_comOk->setDefault(true);
    m_label3 = new QLabel(this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setCursor(Qt::PointingHandCursor);
    m_label3->installEventFilter(this);
    m_verLabel = new QLabel(this);
    m_verLabel->setObjectName(QStringLiteral("VerLabel"));
    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    QFont nameFont = m_label1->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    nameFont.setBold(true);
    m_label1->setFont(nameFont);
    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    initIconResources();
    m_image1->setPixmap(QIcon(QStringLiteral(":/icons/vorn-scheduler.svg")).pixmap(48, 48));

    auto *texts = new QVBoxLayout;
    texts->addWidget(m_label1);
    texts->addWidget(m_verLabel);
    texts->addWidget(m_label2);
    texts->addWidget(m_label3);
    auto *top = new QHBoxLayout;
    top->addWidget(m_image1, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_comOk);
    auto *layout = new QVBoxLayout(this);
    // The window takes the size of its texts, also after a language change.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);

    connect(m_comOk, &QPushButton::clicked, this, &QDialog::accept);

    ApplyDialogTexts();

    // The notice line built at load names the year of this build; a language
    // change later puts the plain line of string id 31 in its place.
    m_label2->setText(GetText(34, QStringLiteral("Copyright © ")) + VersionYear() + MakerName);
    m_verLabel->setText(GetText(35, QStringLiteral("Version ")) + VersionText());
    m_label3->setText(MakerWebAddress);
    setLinkColor(QColor(0, 0, 255));
}

void frmAbout::ApplyDialogTexts()
{
    applyText(28, QStringLiteral("About Vorn Scheduler"), [this](const QString &t) { setWindowTitle(t); });
    applyText(29, QStringLiteral("&OK"), [this](const QString &t) { m_comOk->setText(t); });
    applyText(32, QStringLiteral("Vorn Scheduler  "), [this](const QString &t) { m_label1->setText(t); });
    applyText(31, QStringLiteral("Copyright © Vorn Automation. All rights reserved."),
              [this](const QString &t) { m_label2->setText(t); });
}

void frmAbout::Label3_Click()
{
    m_openUrl(QUrl(MakerWebAddress));
    setLinkColor(QColor(255, 0, 0));
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_label3 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
        && m_label3->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
        Label3_Click();
        return true;
    }
    return VornDialog::eventFilter(watched, event);
}

void frmAbout::setLinkColor(const QColor &color)
{
    QPalette palette = m_label3->palette();
    palette.setColor(QPalette::WindowText, color);
    m_label3->setPalette(palette);
}

void RunAboutDialog(frmScheduler &window, bool topMost)
{
    frmAbout about(window.channel());
    about.setTopMost(topMost);
    about.exec();
}

} // namespace vorn
