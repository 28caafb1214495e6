// The main window's life: construction, the load sequence, captions and
// title, placement from the command line, unload and terminate. Its controls
// and layout, its commands, and the fill with the refresh cycle have files of
// their own (frmscheduler_*.cpp).
#include "frmscheduler.h"

#include "commandline.h"
#include "controlchannel.h"
#include "ganttaccessible.h"
#include "ganttgrid.h"
#include "liveoverlay.h"
#include "gridlayout.h"
#include "managerclient.h"
#include "messagebox.h"
#include "paths.h"
#include "refresh.h"
#include "settings.h"
#include "shellopen.h"
#include "texts.h"
#include "windowplacement.h"
#include "windowtitle.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <utility>

// The pictures are compiled into this static library, whose resources are
// not registered by themselves.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace vorn {

frmScheduler::frmScheduler(AppState &state, WindowStart start, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_start(std::move(start))
{
    initIconResources();
    setObjectName(QStringLiteral("frmScheduler"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vorn-scheduler.svg")));
    m_exitProcess = [] {
        // Exit ends the process where it stands: no unload, no settings.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    };
    m_openUrl = [this](const QString &path) { ShellOpenFile(path, this); };
    // A fill of a large table takes a second; meanwhile the window paints,
    // follows moves and answers the bus. Clicks and keys wait for the end
    // of the fill, so that nothing a user does runs in the middle of one.
    m_schedule.setAnswer([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    createControls();
    createMenus();
}

frmScheduler::~frmScheduler()
{
    UnsubclassWindow();
}

QString frmScheduler::HelpFile() const
{
    return vorn::HelpFile(m_start.programFolder);
}

QAction *frmScheduler::menuItem(const QString &name) const
{
    return m_menuItems.value(name);
}

QLabel *frmScheduler::Label(int number) const
{
    switch (number) {
    case 1: return m_label1;
    case 2: return m_label2;
    case 3: return m_label3;
    default: return nullptr;
    }
}
// ---------------------------------------------------------------------------
// Captions and title

void frmScheduler::ApplyCaptions()
{
    // An empty text leaves the caption as it was.
    auto apply = [](int id, const std::function<void(const QString &)> &set) {
        const QString text = GetText(id);
        if (!text.isEmpty())
            set(text);
    };
    apply(1, [this](const QString &t) { setWindowTitle(t); });
    apply(7, [this](const QString &t) { m_label1->setText(t); });
    apply(6, [this](const QString &t) { m_label2->setText(t); });
    apply(5, [this](const QString &t) { m_label3->setText(t); });
    const std::pair<const char *, int> menuCaptions[] = {
        {"mnuAbout", 21}, {"mnuVornHelp", 20}, {"mnuClean", 12}, {"mnuDisplay", 14},
        {"mnuExit", 13}, {"mnuFile", 8}, {"mnuHelp", 19}, {"mnuMachineSort", 16},
        {"mnuOnLine", 15}, {"mnuOpen", 9}, {"mnuPartSort", 17}, {"mnuResize", 18},
        {"mnuSave", 10}, {"mnuExport", 411}, {"mnuPrint", 412}, {"mnuPrintPreview", 413}, {"mnuLiveOverlays", 300}, {"mnuCollapseAll", 301},
        {"mnuExpandAll", 302},
    };
    for (const auto &[name, id] : menuCaptions) {
        QAction *item = m_menuItems.value(QLatin1String(name));
        apply(id, [item](const QString &t) { item->setText(t); });
    }
    static constexpr int showColIds[6] = {4, 3, 2, 4, 3, 2};
    for (int i = 0; i < 6; ++i)
        apply(showColIds[i], [this, i](const QString &t) { m_showCol[i]->setText(t); });
    // A screen reader hears "Start" twice otherwise: the row label tells the
    // planned boxes from the actual ones.
    for (int i = 0; i < 6; ++i)
        m_showCol[i]->setAccessibleDescription(GetText(i < 3 ? 6 : 5));
}

void frmScheduler::UpdateTitle()
{
    setWindowTitle(TitleText(m_state));
}

void frmScheduler::ml_RuntimeSupport_LanguageChanged(qint32 languageId, const QString &language)
{
    SetLanguage(languageId, language);
    ApplyCaptions();
}

// ---------------------------------------------------------------------------
// Load, unload, terminate

void frmScheduler::Form_Load()
{
    Q_ASSERT(!m_loaded);
    // 1. The language event source: the control channel's language message.
    // The channel is on the bus from here on, so that a manager can reach a
    // window whose load shows a box; what it sends waits for the end of the
    // load, where the window procedure is installed.
    m_channel = std::make_unique<ControlChannel>(m_state);
    const ControlChannel::Hold loading(m_channel.get());
    connect(m_channel.get(), &ControlChannel::languageChangeRequested, this,
            &frmScheduler::ml_RuntimeSupport_LanguageChanged);
    if (m_start.useSessionBus) {
        // Said once per process: tests and a second window would repeat it.
        static bool said = false;
        if (const Result up = m_channel->start(); up.failed() && !std::exchange(said, true))
            std::fprintf(stderr, "vorn-scheduler: running without the control channel: %s\n", qPrintable(up.message()));
    }

    // 2. Language and captions.
    const qint32 languageId = GetLanguageID(m_start.programFolder);
    SetLanguage(languageId, LanguageName(languageId));
    ApplyCaptions();

    // 3.-5. Close flag, hosted mode, the Manager Server document.
    m_state.CloseRequested = false;
    const bool hosted = IsHosted(m_start.commandLine);
    if (m_start.useSessionBus)
        m_managerServer = ManagerServerClient::create();
    m_schedule.setFeed(hosted, m_managerServer.get());
    if (hosted) {
        if (!m_managerServer)
            ShowMessage(GetText(42));
        else
            m_managerServer->CreateView(ManagerServerClient::ViewCreatedAs, GetText(41), 7);
    }

    // 6.-8. Mode, title text, settings.
    m_state.ReloadRequested = false;
    m_state.UpdatesStopped = false;
    m_state.Offline = 0;
    m_state.LoadedName.clear();
    m_state.CommandText = CommandText(m_start.commandLine);
    LoadSettings(m_state);

    // 9. Toolbar, pictures, status bar.
    BuildImageList();
    BuildToolbar();
    BuildStatusBar();

    // 10. The interval list; the interval itself is applied at step 16.
    {
        const QSignalBlocker blocker(m_cmbInterval);
        m_cmbInterval->clear();
        for (const char *minutes : {"1", "2", "3", "4", "5", "6", "10", "12"})
            m_cmbInterval->addItem(QLatin1String(minutes));
        m_cmbInterval->setCurrentIndex(0);
    }

    // 11. The grid with its one-minute scale.
    m_grid = new chart::GanttGrid(m_client);
    m_grid->setObjectName(QStringLiteral("fg"));
    chart::InstallGanttAccessibility(*m_grid);
    m_grid->setAppState(&m_state);
    m_grid->lower();
    chart::SetUpGrid(m_grid->data());
    createOverlays();

    // 12. Column check boxes: all checked, then each as the settings say.
    for (QCheckBox *box : m_showCol)
        box->setChecked(true);
    const qint16 visible[6] = {m_state.PlanBegVisible, m_state.PlanEndVisible, m_state.PlanDurVisible,
                               m_state.ActBegVisible, m_state.ActEndVisible, m_state.ActDurVisible};
    for (int i = 0; i < 6; ++i)
        setShowColValue(i, visible[i]);

    // 13.-14. Marks and buttons of online mode; no tick acts while loading.
    menuItem(QStringLiteral("mnuResize"))->setChecked(true);
    menuItem(QStringLiteral("mnuOnLine"))->setChecked(true);
    setButtonEnabled(QStringLiteral("open"), false);
    setButtonPressed(QStringLiteral("online"), true);
    m_state.SortOrder = kSortWhileLoading;

    // 15. The refresh timer.
    setTimerPeriod(m_state.TimerInterval);

    // 16. The saved interval; selecting it rebuilds the scale, also when the
    // list already stands on it.
    const int intervalIndex = m_state.IntervalIndex;
    if (intervalIndex >= 0 && intervalIndex < m_cmbInterval->count() && intervalIndex != m_cmbInterval->currentIndex())
        m_cmbInterval->setCurrentIndex(intervalIndex);
    else
        CmbInterval_Click();

    // 17. Base time in the second panel.
    m_panel2->setText(GetText(46) + m_state.BaseDate + QStringLiteral(" (") + m_state.BaseTime
                      + QStringLiteral(")"));

    // 18.-19. The saved grouping and the first fill.
    m_state.SortOrder = ReadSortOrder(m_state.SettingsFile);
    FillTree(m_state.SortOrder);

    // 20.-23.
    m_topMost = false;
    raise();
    UpdateTitle();
    SubclassWindow();
    m_loaded = true;
}

void frmScheduler::Form_Unload(bool &cancel)
{
    // 1. Release the language event source.
    if (m_channel)
        disconnect(m_channel.get(), &ControlChannel::languageChangeRequested, this,
                   &frmScheduler::ml_RuntimeSupport_LanguageChanged);

    // 2. A hosted window only hides until the manager asks it to close.
    if (m_managerServer && m_schedule.hosted() && !m_state.CloseRequested) {
        hide();
        cancel = true;
        // Said on standard error so that whoever started us can tell a
        // hidden window from a closed one.
        std::fprintf(stderr, "vorn-scheduler: hosted window hidden; it closes when the manager asks\n");
        return;
    }

    // 3. Really unloading.
    releaseManagerServer();
    std::array<int, 6> showCol{};
    for (int i = 0; i < 6; ++i)
        showCol[i] = showColValue(i);
    // Nothing is reported: a settings file that cannot be written only means
    // the next start uses the defaults.
    std::ignore = SaveSettings(m_state, showCol, m_cmbInterval->currentIndex(), m_state.SortOrder);
    saveOverlaySettings();
}

void frmScheduler::closeEvent(QCloseEvent *event)
{
    if (!m_loaded || m_unloaded) {
        // A second close (the manager calls both of our names, or a box's
        // event loop lets two in) finds nothing left to unload.
        QMainWindow::closeEvent(event);
        return;
    }
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    m_timer->stop();
    m_unloaded = true;
    event->accept();
    emit unloaded();
}

frmScheduler::OperationScope::OperationScope(frmScheduler &window) : m_window(window)
{
    ++m_window.m_operations;
}

frmScheduler::OperationScope::~OperationScope()
{
    if (--m_window.m_operations == 0)
        m_window.m_releasedManagerServer.reset();
}

void frmScheduler::releaseManagerServer()
{
    m_schedule.setFeed(m_schedule.hosted(), nullptr);
    if (m_operations > 0)
        m_releasedManagerServer = std::move(m_managerServer);
    else
        m_managerServer.reset();
}

void frmScheduler::SubclassWindow()
{
    // Our equivalent of the window procedure: the control channel on the
    // session bus carries the close, copy-data and help messages (it was
    // opened at the start of the load; what came since is handled once the
    // load is over); F1 is the window's own key.
    if (!m_f1) {
        m_f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
        m_f1->setContext(Qt::WindowShortcut);
        connect(m_f1, &QShortcut::activated, this, &frmScheduler::HelpCommand);
    }
    if (!m_channel)
        return;
    connect(m_channel.get(), &ControlChannel::closeRequested, this, &frmScheduler::close,
            Qt::UniqueConnection);
    connect(m_channel.get(), &ControlChannel::helpRequested, this, &frmScheduler::HelpCommand,
            Qt::UniqueConnection);
    m_channel->setDiagnostics([this](bool withGrid) { return diagnostics(withGrid); });
}

bool frmScheduler::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    if (m_channel && m_channel->nativeMessage(eventType, message, result))
        return true;
    return QMainWindow::nativeEvent(eventType, message, result);
}

void frmScheduler::UnsubclassWindow()
{
    if (m_channel) {
        m_channel->disconnect(this);
        m_channel.reset();
    }
}

void frmScheduler::SetUtilWndPos()
{
    const std::optional<Placement> placement = ParsePlacement(m_start.commandLine);
    if (!placement)
        return;
    if (placement->topMost != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, placement->topMost);
        if (wasVisible)
            show();
    }
    // The size given includes the frame.
    PlaceFrame(*this, QRect(placement->x, placement->y, placement->cx, placement->cy));
    raise();
    m_topMost = placement->topMost;
    if (m_schedule.hosted())
        hide();
}

} // namespace vorn
