#include "dlgsaveas.h"

#include "frmscheduler.h"
#include "messagebox.h"
#include "savedcopies.h"
#include "texts.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorn {

dlgSaveAs::dlgSaveAs(AppState &state, ControlChannel *languageSource, QWidget *parent)
    : VornDialog(languageSource, parent), m_state(state)
{
    setObjectName(QStringLiteral("dlgSaveAs"));
    m_txtSaveAs = new QLineEdit(this);
    m_txtSaveAs->setObjectName(QStringLiteral("txtSaveAs"));
    m_okButton = new QPushButton(this);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_txtSaveAs);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(m_okButton, &QPushButton::clicked, this, &dlgSaveAs::SaveCopy);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    ApplyDialogTexts();
    m_txtSaveAs->selectAll();
}

void dlgSaveAs::ApplyDialogTexts()
{
    applyText(22, QStringLiteral("Save As"), [this](const QString &t) { setWindowTitle(t); });
    applyText(24, QStringLiteral("&Cancel"), [this](const QString &t) { m_cancelButton->setText(t); });
    applyText(25, QStringLiteral("&Save"), [this](const QString &t) { m_okButton->setText(t); });
    applyText(23, QStringLiteral("Untitled 01"), [this](const QString &t) { m_txtSaveAs->setText(t); });
}

void dlgSaveAs::SaveCopy()
{
    const QString name = m_txtSaveAs->text();
    // The name first, so that a refused one leaves the disk untouched; the
    // folder is made only for a copy that is about to be written.
    if (const Result valid = CheckSavedCopyName(name); valid.failed()) {
        ShowMessage(valid.message(), MessageIcon::Critical);
        return;
    }
    if (const Result folder = EnsureSavedCopiesFolder(m_state); folder.failed()) {
        ShowMessage(folder.message(), MessageIcon::Critical);
        return;
    }
    if (const Result inside = CheckSavedCopyTarget(m_state, name); inside.failed()) {
        ShowMessage(inside.message(), MessageIcon::Critical);
        return;
    }
    const QString target = SavedCopyPath(m_state, name);
    if (QFileInfo(target).isFile()) {
        MessageRequest question;
        question.text = name + GetText(33, QStringLiteral(" already exists. Do you want to replace it?"));
        question.title = ApplicationTitle();
        question.buttons = MessageButtons::YesNo;
        question.icon = MessageIcon::Exclamation;
        if (ShowMessage(question) != MessageAnswer::Yes)
            return;
    }
    if (const Result copied = CopyReplacing(SaveAsSource(m_state), target); copied.failed()) {
        ShowMessage(copied.message(), MessageIcon::Critical);
        return;
    }
    accept();
}

void RunSaveAsDialog(frmScheduler &window, bool topMost)
{
    dlgSaveAs dialog(window.state(), window.channel());
    dialog.setTopMost(topMost);
    dialog.exec();
}

} // namespace vorn
