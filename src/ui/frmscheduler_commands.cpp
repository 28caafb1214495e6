// The commands behind the toolbar buttons and menu items.
#include "frmscheduler.h"

#include "cleaner.h"
#include "messagebox.h"
#include "schedulerows.h"
#include "texts.h"

#include <QAction>

namespace vorn {

// ---------------------------------------------------------------------------
// Commands

void frmScheduler::MainToolbar_ButtonClick(const QString &key)
{
    RunCommand(CommandForToolbarKey(key));
}

void frmScheduler::RunCommand(Command command)
{
    switch (command) {
    case Command::None: break;
    case Command::OnlineToggle: SwitchOnline(); break;
    case Command::SortByMachine: SortBy(model::kSortByMachine); break;
    case Command::SortByPart: SortBy(model::kSortByPart); break;
    case Command::Clean: CleanCommand(); break;
    case Command::SaveAs: ShowSaveAsDialog(); break;
    case Command::Open: ShowOpenDialog(); break;
    case Command::Resize: ResizeCommand(); break;
    case Command::Exit: ExitCommand(); break;
    case Command::Help: HelpCommand(); break;
    case Command::About: ShowAbout(); break;
    }
}

void frmScheduler::SortBy(qint16 sortOrder)
{
    m_state.SortOrder = sortOrder;
    FillTree(m_state.SortOrder);
}

void frmScheduler::ShowOpenDialog()
{
    const OperationScope scope(*this);
    if (m_openDialog)
        m_openDialog(*this, m_topMost);
    UpdateTitle();
    setButtonPressed(QStringLiteral("open"), false);
}

void frmScheduler::ShowSaveAsDialog()
{
    const OperationScope scope(*this);
    if (m_saveAsDialog)
        m_saveAsDialog(*this, m_topMost);
    setButtonPressed(QStringLiteral("save"), false);
}

void frmScheduler::ShowAbout()
{
    const OperationScope scope(*this);
    if (m_aboutDialog)
        m_aboutDialog(*this, m_topMost);
}

void frmScheduler::ResizeCommand()
{
    QAction *resize = m_menuItems.value(QStringLiteral("mnuResize"));
    resize->setChecked(!resize->isChecked());
}

void frmScheduler::HelpCommand()
{
    // Nothing is reported when the manual is missing or nothing opens it.
    m_openUrl(HelpFile());
}

void frmScheduler::ExitCommand()
{
    m_exitProcess();
}

void frmScheduler::CleanCommand()
{
    const OperationScope scope(*this);
    const MessageAnswer answer = ShowMessage(
        MessageRequest{GetText(52), GetText(1), MessageButtons::YesNo, MessageIcon::None});
    if (answer == MessageAnswer::Yes && !isUnloaded())
        CleanSchedule();
    // The "clean" button keeps the pressed state its click gave it: one
    // click shows it pressed, the next released.
}

void frmScheduler::CleanSchedule()
{
    if (!CleanLiveTable(m_state) || isUnloaded())
        return;
    FillTree(m_state.SortOrder);
    m_state.ReloadRequested = true;
}

} // namespace vorn
