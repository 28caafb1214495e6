#include "dlgopen.h"

#include "frmscheduler.h"
#include "messagebox.h"
#include "savedcopies.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorn {

dlgOpen::dlgOpen(AppState &state, std::function<void(qint16)> fillTree, ControlChannel *languageSource,
                 QWidget *parent)
    : VornDialog(languageSource, parent), m_state(state), m_fillTree(std::move(fillTree))
{
    Q_ASSERT(m_fillTree);
    setObjectName(QStringLiteral("dlgOpen"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstLoadData"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_okButton = new QPushButton(this);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(360, 240);

    connect(m_okButton, &QPushButton::clicked, this, &dlgOpen::LoadSelectedCopy);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &dlgOpen::LoadSelectedCopy);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    ApplyDialogTexts();
    FillList();
}

void dlgOpen::ApplyDialogTexts()
{
    applyText(26, QStringLiteral("Load Data"), [this](const QString &t) { setWindowTitle(t); });
    applyText(24, QStringLiteral("&Cancel"), [this](const QString &t) { m_cancelButton->setText(t); });
    applyText(27, QStringLiteral("&Load"), [this](const QString &t) { m_okButton->setText(t); });
}

void dlgOpen::FillList()
{
    // A folder that cannot be made is said once; the list is then empty and
    // the user can only cancel.
    if (const Result folder = EnsureSavedCopiesFolder(m_state); folder.failed()) {
        ShowMessage(folder.message(), MessageIcon::Critical);
        return;
    }
    m_list->addItems(SavedCopyNames(SavedCopiesFolder(m_state)));
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void dlgOpen::LoadSelectedCopy()
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    m_state.LoadedName = selected.first()->text();
    m_fillTree(m_state.SortOrder);
    accept();
}

void RunOpenDialog(frmScheduler &window, bool topMost)
{
    dlgOpen dialog(window.state(), [&window](qint16 sortOrder) { window.FillTree(sortOrder); },
                   window.channel());
    dialog.setTopMost(topMost);
    dialog.exec();
}

} // namespace vorn
