#include "frmscheduler.h"

#include "cleaner.h"
#include "commandline.h"
#include "controlchannel.h"
#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridfill.h"
#include "gridlayout.h"
#include "managerclient.h"
#include "messagebox.h"
#include "paths.h"
#include "refresh.h"
#include "schedulerows.h"
#include "settings.h"
#include "tablelibrary.h"
#include "texts.h"
#include "windowtitle.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

// The pictures are compiled into this static library, whose resources are
// not registered by themselves.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace vorn {

namespace {

// The toolbar's pictures are 24 x 23 pixels ("open" 25 x 23).
constexpr QSize ToolbarIconSize(24, 23);

// Design-time sizes in twips that the layout keeps.
constexpr int ShowFrameWidthTwips = 6500;
constexpr int StatusPanel2WidthTwips = 3100;
constexpr int GridTopTwips = 600;
constexpr int StatusBarHeightTwips = 300;
constexpr int ProgressBoxWidthTwips = 4500;
constexpr int ProgressBoxHeightTwips = 600;

} // namespace

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
    m_openUrl = [](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    createControls();
    createMenus();
}

frmScheduler::~frmScheduler()
{
    UnsubclassWindow();
}

int frmScheduler::twipsToPixels(int twips) const
{
    // Truncated, as the grid converts its twips.
    return twips * logicalDpiX() / 1440;
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
// Controls

void frmScheduler::createControls()
{
    // The client area below the menu bar is laid out by hand, as the grid's
    // placement rule measures from its top-left corner: toolbar at the top,
    // grid 600 twips down, status bar at the bottom.
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(m_client);

    m_toolbar = new QToolBar(m_client);
    m_toolbar->setObjectName(QStringLiteral("MainToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(ToolbarIconSize);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    m_frameShow = new QFrame(m_toolbar);
    m_frameShow->setObjectName(QStringLiteral("FrameShow"));
    QFont small = m_frameShow->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_frameShow->setFont(small);
    auto *frameLayout = new QGridLayout(m_frameShow);
    frameLayout->setContentsMargins(4, 0, 2, 0);
    frameLayout->setHorizontalSpacing(6);
    frameLayout->setVerticalSpacing(0);
    m_label1 = new QLabel(QStringLiteral("Interval (min)"), m_frameShow);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_cmbInterval = new QComboBox(m_frameShow);
    m_cmbInterval->setObjectName(QStringLiteral("CmbInterval"));
    m_label2 = new QLabel(QStringLiteral("Planned:"), m_frameShow);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label3 = new QLabel(QStringLiteral("Actual:"), m_frameShow);
    m_label3->setObjectName(QStringLiteral("Label3"));
    frameLayout->addWidget(m_label1, 0, 0);
    frameLayout->addWidget(m_cmbInterval, 1, 0);
    frameLayout->addWidget(m_label2, 0, 1);
    frameLayout->addWidget(m_label3, 1, 1);
    static const char *const defaultCaptions[] = {"Start", "Finish", "Duration"};
    for (int i = 0; i < 6; ++i) {
        auto *box = new QCheckBox(QString::fromLatin1(defaultCaptions[i % 3]), m_frameShow);
        box->setObjectName(QStringLiteral("ShowCol%1").arg(i));
        m_showCol[i] = box;
        frameLayout->addWidget(box, i / 3, 2 + i % 3);
        connect(box, &QCheckBox::stateChanged, this, [this, i] { ShowCol_Click(i); });
    }
    frameLayout->setColumnStretch(5, 1);
    connect(m_cmbInterval, &QComboBox::currentIndexChanged, this, [this] { CmbInterval_Click(); });

    m_statusBar = new QStatusBar(m_client);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    // The second panel keeps its design width of 3100 twips; a slightly
    // smaller font lets the base time fit in it as it always has.
    QFont statusFont = m_statusBar->font();
    statusFont.setPointSizeF(statusFont.pointSizeF() * 0.85);
    m_statusBar->setFont(statusFont);
    m_panel1 = new QLabel(m_statusBar);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel2 = new QLabel(m_statusBar);
    m_panel2->setObjectName(QStringLiteral("Panel2"));

    m_picProgress = new QFrame(m_client);
    m_picProgress->setObjectName(QStringLiteral("PicProgress"));
    m_picProgress->setFrameShape(QFrame::Panel);
    m_picProgress->setFrameShadow(QFrame::Raised);
    m_picProgress->setAutoFillBackground(true);
    m_progressBar = new QProgressBar(m_picProgress);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setTextVisible(false);
    auto *progressLayout = new QHBoxLayout(m_picProgress);
    progressLayout->setContentsMargins(8, 8, 8, 8);
    progressLayout->addWidget(m_progressBar);
    m_picProgress->resize(twipsToPixels(ProgressBoxWidthTwips), twipsToPixels(ProgressBoxHeightTwips));
    m_picProgress->hide();

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    connect(m_timer, &QTimer::timeout, this, &frmScheduler::Timer1_Timer);
}

void frmScheduler::createMenus()
{
    auto addItem = [this](QMenu *menu, const char *name, const char *caption, auto handler) {
        QAction *action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QLatin1String(name));
        m_menuItems.insert(QLatin1String(name), action);
        // A check mark changes only when a command sets it, never by the
        // click itself: undo the toolkit's own toggle before the command runs.
        connect(action, &QAction::triggered, this, [action, handler](bool checked) {
            if (action->isCheckable())
                action->setChecked(!checked);
            handler();
        });
        return action;
    };
    auto addSeparator = [this](QMenu *menu, const char *name) {
        QAction *separator = menu->addSeparator();
        separator->setObjectName(QLatin1String(name));
        m_menuItems.insert(QLatin1String(name), separator);
    };
    auto addMenu = [this](const char *name, const char *caption) {
        QMenu *menu = menuBar()->addMenu(QString::fromUtf8(caption));
        menu->setObjectName(QLatin1String(name));
        menu->menuAction()->setObjectName(QLatin1String(name));
        m_menuItems.insert(QLatin1String(name), menu->menuAction());
        return menu;
    };

    m_mnuFile = addMenu("mnuFile", "&File");
    addItem(m_mnuFile, "mnuOpen", "&Open...", [this] { RunCommand(Command::Open); });
    addItem(m_mnuFile, "mnuSave", "&Save As...", [this] { RunCommand(Command::SaveAs); });
    addSeparator(m_mnuFile, "mnuFileSeparator1");
    addItem(m_mnuFile, "mnuClean", "&Clean", [this] { RunCommand(Command::Clean); });
    addSeparator(m_mnuFile, "mnuFileSeparator2");
    addItem(m_mnuFile, "mnuExit", "&Exit", [this] { RunCommand(Command::Exit); });

    m_mnuDisplay = addMenu("mnuDisplay", "&Display");
    addItem(m_mnuDisplay, "mnuOnLine", "Online", [this] { RunCommand(Command::OnlineToggle); })
        ->setCheckable(true);
    addSeparator(m_mnuDisplay, "mnuDisplaySeparator1");
    addItem(m_mnuDisplay, "mnuMachineSort", "Sort By &Machine", [this] { RunCommand(Command::SortByMachine); })
        ->setCheckable(true);
    addItem(m_mnuDisplay, "mnuPartSort", "Sort By &Part", [this] { RunCommand(Command::SortByPart); })
        ->setCheckable(true);
    addSeparator(m_mnuDisplay, "mnuDisplaySeparator2");
    addItem(m_mnuDisplay, "mnuResize", "&Resize", [this] { RunCommand(Command::Resize); })
        ->setCheckable(true);

    m_mnuHelp = addMenu("mnuHelp", "&Help");
    addItem(m_mnuHelp, "mnuVornHelp", "&Plantora Help", [this] { RunCommand(Command::Help); });
    addSeparator(m_mnuHelp, "mnuHelpSeparator1");
    addItem(m_mnuHelp, "mnuAbout", "&About...", [this] { RunCommand(Command::About); });
}

void frmScheduler::BuildImageList()
{
    m_images.clear();
    for (const ImageSpec &picture : ImageListPictures())
        m_images.insert(picture.key, QIcon(picture.resource));
}

void frmScheduler::BuildToolbar()
{
    for (const ToolbarButtonSpec &entry : ToolbarButtons()) {
        switch (entry.style) {
        case ToolbarButtonStyle::Separator:
            m_toolbar->addSeparator();
            break;
        case ToolbarButtonStyle::Placeholder: {
            m_frameShow->setFixedWidth(twipsToPixels(ShowFrameWidthTwips));
            QAction *placeholder = m_toolbar->addWidget(m_frameShow);
            placeholder->setObjectName(entry.key);
            placeholder->setData(entry.key);
            m_frameShow->show();
            m_buttons.insert(entry.key, placeholder);
            break;
        }
        case ToolbarButtonStyle::Check: {
            QAction *button = m_toolbar->addAction(m_images.value(entry.pictureKey), QString());
            button->setObjectName(entry.key);
            button->setData(entry.key);
            button->setCheckable(true);
            const QString tip = GetText(entry.tipId);
            button->setToolTip(tip);
            button->setText(tip);
            button->setStatusTip(tip);   // the description
            m_buttons.insert(entry.key, button);
            const QString key = entry.key;
            connect(button, &QAction::triggered, this, [this, key] { MainToolbar_ButtonClick(key); });
            break;
        }
        }
    }
}

void frmScheduler::BuildStatusBar()
{
    m_statusBar->removeWidget(m_panel1);
    m_statusBar->removeWidget(m_panel2);
    m_statusBar->addWidget(m_panel1, 1);
    m_panel2->setFixedWidth(twipsToPixels(StatusPanel2WidthTwips));
    m_statusBar->addPermanentWidget(m_panel2);
    m_panel1->show();
    m_panel2->show();
    m_panel1->setText(GetText(40));
    m_panel2->setText(QString());
}

void frmScheduler::setButtonPressed(const QString &key, bool pressed)
{
    if (QAction *button = m_buttons.value(key))
        button->setChecked(pressed);
}

void frmScheduler::setButtonEnabled(const QString &key, bool enabled)
{
    if (QAction *button = m_buttons.value(key))
        button->setEnabled(enabled);
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
        {"mnuSave", 10},
    };
    for (const auto &[name, id] : menuCaptions) {
        QAction *item = m_menuItems.value(QLatin1String(name));
        apply(id, [item](const QString &t) { item->setText(t); });
    }
    static constexpr int showColIds[6] = {4, 3, 2, 4, 3, 2};
    for (int i = 0; i < 6; ++i)
        apply(showColIds[i], [this, i](const QString &t) { m_showCol[i]->setText(t); });
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
    if (m_openDialog)
        m_openDialog(*this, m_topMost);
    UpdateTitle();
    setButtonPressed(QStringLiteral("open"), false);
}

void frmScheduler::ShowSaveAsDialog()
{
    if (m_saveAsDialog)
        m_saveAsDialog(*this, m_topMost);
    setButtonPressed(QStringLiteral("save"), false);
}

void frmScheduler::ShowAbout()
{
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

// ---------------------------------------------------------------------------
// Progress box over the grid while the time scale is rebuilt

namespace {

class PictureProgress final : public chart::ProgressBox {
public:
    PictureProgress(frmScheduler &window) : m_window(window) {}

    QSize windowSizeTwips() const override
    {
        const QSize outer = m_window.frameGeometry().size();
        return {toTwips(outer.width()), toTwips(outer.height())};
    }
    QSize boxSizeTwips() const override
    {
        const QSize box = m_window.PicProgress()->size();
        return {toTwips(box.width()), toTwips(box.height())};
    }
    void showAt(const QPoint &topLeftTwips) override
    {
        QFrame *box = m_window.PicProgress();
        box->move(m_window.twipsToPixels(topLeftTwips.x()), m_window.twipsToPixels(topLeftTwips.y()));
        box->raise();
        box->show();
        box->repaint();
    }
    void setRange(int minimum, int maximum) override
    {
        m_window.ProgressBar1()->setRange(minimum, maximum);
    }
    void setValue(int value) override
    {
        QProgressBar *bar = m_window.ProgressBar1();
        bar->setValue(value);
        if (bar->isVisible())
            bar->repaint();
    }
    void hide() override { m_window.PicProgress()->hide(); }

private:
    int toTwips(int pixels) const { return qRound(pixels * 1440.0 / m_window.logicalDpiX()); }
    frmScheduler &m_window;
};

// Check box values as the settings file keeps them: 0 clear, 1 checked,
// 2 greyed. Any other stored value shows the column, so that a damaged file
// never hides data.
Qt::CheckState CheckStateOfValue(int value)
{
    switch (value) {
    case 0: return Qt::Unchecked;
    case 2: return Qt::PartiallyChecked;
    default: return Qt::Checked;
    }
}

int ValueOfCheckState(Qt::CheckState state)
{
    switch (state) {
    case Qt::Unchecked: return 0;
    case Qt::PartiallyChecked: return 2;
    case Qt::Checked: return 1;
    }
    return 1;
}

void setTimerPeriod(QTimer *timer, int milliseconds)
{
    // A period of 0 (or less) means stopped.
    if (milliseconds > 0)
        timer->start(milliseconds);
    else
        timer->stop();
}

} // namespace

// ---------------------------------------------------------------------------
// Load, unload, terminate

void frmScheduler::Form_Load()
{
    Q_ASSERT(!m_loaded);
    // 1. The language event source: the control channel's language message.
    m_channel = std::make_unique<ControlChannel>(m_state);
    connect(m_channel.get(), &ControlChannel::languageChangeRequested, this,
            &frmScheduler::ml_RuntimeSupport_LanguageChanged);

    // 2. Language and captions.
    const qint32 languageId = GetLanguageID(m_start.programFolder);
    SetLanguage(languageId, LanguageName(languageId));
    ApplyCaptions();

    // 3.-5. Close flag, hosted mode, the Manager Server document.
    m_state.CloseRequested = false;
    m_hosted = IsHosted(m_start.commandLine);
    if (m_start.useSessionBus)
        m_managerServer = ManagerServerClient::create();
    if (m_hosted) {
        if (!m_managerServer)
            ShowMessage(GetText(42));
        else
            m_managerServer->CreateView(QStringLiteral("Scheduler"), GetText(41), 7);
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
    m_grid->setAppState(&m_state);
    m_grid->lower();
    chart::SetUpGrid(m_grid->data());

    // 12. Column check boxes: all checked, then each as the settings say.
    for (QCheckBox *box : m_showCol)
        box->setChecked(true);
    const qint16 visible[6] = {m_state.PlanBegVisible, m_state.PlanEndVisible, m_state.PlanDurVisible,
                               m_state.ActBegVisible, m_state.ActEndVisible, m_state.ActDurVisible};
    for (int i = 0; i < 6; ++i)
        m_showCol[i]->setCheckState(CheckStateOfValue(visible[i]));

    // 13.-14. Marks and buttons of online mode; no tick acts while loading.
    menuItem(QStringLiteral("mnuResize"))->setChecked(true);
    menuItem(QStringLiteral("mnuOnLine"))->setChecked(true);
    setButtonEnabled(QStringLiteral("open"), false);
    setButtonPressed(QStringLiteral("online"), true);
    m_state.SortOrder = 10;

    // 15. The refresh timer.
    setTimerPeriod(m_timer, m_state.TimerInterval);

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
    if (m_managerServer && m_hosted && !m_state.CloseRequested) {
        hide();
        cancel = true;
        // Said on standard error so that whoever started us can tell a
        // hidden window from a closed one.
        std::fprintf(stderr, "vorn-scheduler: hosted window hidden; it closes when the manager asks\n");
        return;
    }

    // 3. Really unloading.
    m_managerServer.reset();
    std::array<int, 6> showCol{};
    for (int i = 0; i < 6; ++i)
        showCol[i] = ValueOfCheckState(m_showCol[i]->checkState());
    SaveSettings(m_state, showCol, m_cmbInterval->currentIndex(), m_state.SortOrder);
}

void frmScheduler::closeEvent(QCloseEvent *event)
{
    if (!m_loaded) {
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
    event->accept();
    emit unloaded();
}

void frmScheduler::SubclassWindow()
{
    // Our equivalent of the window procedure: the control channel on the
    // session bus carries the close, copy-data and help messages; F1 is the
    // window's own key.
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
    if (m_start.useSessionBus)
        m_channel->start();
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
    // The size given includes the frame.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    if (placement->topMost != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, placement->topMost);
        if (wasVisible)
            show();
    }
    move(placement->x, placement->y);
    resize(qMax(0, placement->cx - frameExtra.width()), qMax(0, placement->cy - frameExtra.height()));
    raise();
    m_topMost = placement->topMost;
    if (m_hosted)
        hide();
}

// ---------------------------------------------------------------------------
// Layout

void frmScheduler::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutClientArea();
}

void frmScheduler::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    layoutClientArea();
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Once the grid has its size, so that the scroll range is known.
        QTimer::singleShot(0, this, &frmScheduler::scrollToFirstStart);
    }
}

void frmScheduler::scrollToFirstStart()
{
    // The day's work rarely starts at midnight: open the time scale at the
    // hour of the earliest planned start of any group, so that the first
    // look at the chart shows bars rather than empty night hours.
    if (!m_grid)
        return;
    const chart::GridData &grid = m_grid->data();
    qint32 earliest = -1;
    for (int r = 2; r < grid.rows(); ++r) {
        if (grid.rowOutlineLevel(r) != 0)
            continue;
        const QString &start = grid.text(r, 2);
        if (start.isEmpty())
            continue;
        const qint32 seconds = chart::TextSeconds(start);
        if (seconds > 0 && (earliest < 0 || seconds < earliest))
            earliest = seconds;
    }
    const int columnsPerHour = (grid.cols() - 8) / 24;
    if (earliest < 0 || columnsPerHour <= 0)
        return;
    const int hour = qMin(23, earliest / 3600);
    m_grid->setLeftCol(8 + hour * columnsPerHour);
}

void frmScheduler::layoutClientArea()
{
    if (!m_client)
        return;
    const QSize client = m_client->size();
    const int toolbarHeight = qMin(m_toolbar->sizeHint().height(), twipsToPixels(GridTopTwips));
    m_toolbar->setGeometry(0, 0, client.width(), toolbarHeight);
    const int statusHeight = twipsToPixels(StatusBarHeightTwips);
    m_statusBar->setGeometry(0, client.height() - statusHeight, client.width(), statusHeight);
    Form_Resize();
}

void frmScheduler::Form_Resize()
{
    if (!m_grid)
        return;
    chart::Form_Resize(*m_grid, m_client->size(),
                       menuItem(QStringLiteral("mnuResize"))->isChecked());
}

void frmScheduler::CmbInterval_Click()
{
    if (!m_grid)
        return;
    PictureProgress progress(*this);
    chart::CmbInterval_Click(m_grid->data(), m_state, m_cmbInterval->currentText(), &progress);
}

void frmScheduler::ShowCol_Click(int index)
{
    if (!m_grid)
        return;
    chart::ShowCol_Click(m_grid->data(), index, ValueOfCheckState(m_showCol[index]->checkState()));
}

// ---------------------------------------------------------------------------
// Grid fill

void frmScheduler::FillTree(qint16 sortOrder)
{
    if (!m_grid)
        return;
    chart::GridData &grid = m_grid->data();
    m_grid->setRedraw(false);

    if (sortOrder == model::kSortByPart || sortOrder == model::kSortByMachine) {
        const bool byMachine = sortOrder == model::kSortByMachine;
        setButtonPressed(QStringLiteral("machine"), byMachine);
        setButtonPressed(QStringLiteral("part"), !byMachine);
        menuItem(QStringLiteral("mnuMachineSort"))->setChecked(byMachine);
        menuItem(QStringLiteral("mnuPartSort"))->setChecked(!byMachine);
        grid.setText(0, 1, GetText(byMachine ? 43 : 53));
    }

    const QString table = (m_state.Offline == 1 && !m_state.LoadedName.isEmpty())
        ? QStringLiteral("Scheduler/") + m_state.LoadedName
        : QStringLiteral("Scheduler");

    QString xml;
    bool feed = false;
    {
        store::TableContext context;
        store::DbfTable schedule;
        store::DbfTable plan;
        store::DbfTable process;
        // All three are attempted, so a missing table is reported even when
        // an earlier one already failed.
        const bool scheduleOpen = context.OpenTable(schedule, m_state.DataFolder + table);
        const bool planOpen = context.OpenTable(plan, m_state.DataFolder + QStringLiteral("Aplan"));
        const bool processOpen = context.OpenTable(process, m_state.DataFolder + QStringLiteral("Process"));
        if (scheduleOpen && planOpen && processOpen) {
            const bool withXml = m_hosted && m_managerServer;
            model::FillResult result =
                model::BuildScheduleRows(schedule, sortOrder, withXml ? &xml : nullptr);
            ApplyScheduleRows(grid, std::move(result.rows));
            feed = withXml;
            context.closeAll();
        }
    }
    if (feed)
        m_managerServer->SetViewXMLData(QStringLiteral("SCHEDULER"), xml);

    DrawBodyBorders(grid);
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, 1);
}

// ---------------------------------------------------------------------------
// Online mode and the refresh cycle

void frmScheduler::SwitchOnline()
{
    const bool goingOnline = m_state.Offline != 0;
    m_state.Offline = goingOnline ? 0 : 1;
    setTimerPeriod(m_timer, goingOnline ? m_state.TimerInterval : 0);
    menuItem(QStringLiteral("mnuOnLine"))->setChecked(goingOnline);
    setButtonPressed(QStringLiteral("online"), goingOnline);
    setButtonEnabled(QStringLiteral("clean"), goingOnline);
    menuItem(QStringLiteral("mnuClean"))->setEnabled(goingOnline);
    setButtonEnabled(QStringLiteral("open"), !goingOnline);
    menuItem(QStringLiteral("mnuOpen"))->setEnabled(!goingOnline);
    m_state.LoadedName.clear();
    UpdateTitle();
    FillTree(m_state.SortOrder);
}

void frmScheduler::Timer1_Timer()
{
    // A message box raised by a tick runs its own event loop; the ticks that
    // arrive meanwhile are dropped, so one box stands at a time.
    if (m_inTick)
        return;
    if ((m_state.SortOrder != model::kSortByPart && m_state.SortOrder != model::kSortByMachine) || m_state.Offline != 0
        || m_state.UpdatesStopped)
        return;
    m_inTick = true;
    if (m_state.ReloadRequested)
        RefreshAfterClean();
    else
        UpdateScheduleView();
    m_inTick = false;
}

void frmScheduler::UpdateScheduleView()
{
    if (!m_grid)
        return;
    chart::GridData &grid = m_grid->data();
    const int topRow = m_grid->topRow();
    const int leftCol = m_grid->leftCol();
    m_grid->setRedraw(false);
    {
        store::TableContext context;
        store::DbfTable schedule;
        if (context.OpenTable(schedule, m_state.DataFolder + QStringLiteral("Scheduler"))) {
            RefreshTimesAndFeed(schedule, grid, m_hosted, m_hosted ? m_managerServer.get() : nullptr);
            context.closeAll();
        }
    }
    DrawBodyBorders(grid);
    m_grid->setTopRow(topRow);
    m_grid->setLeftCol(leftCol);
    m_grid->setRedraw(true);
    if (grid.rows() > 1)
        grid.select(2, 1);
}

void frmScheduler::RefreshAfterClean()
{
    const std::optional<qint32> records = LiveRecordCount(m_state);
    if (records && *records != 0) {
        FillTree(m_state.SortOrder);
        m_state.ReloadRequested = false;
    }
}

void frmScheduler::CleanCommand()
{
    const MessageAnswer answer = ShowMessage(
        MessageRequest{GetText(52), GetText(1), MessageButtons::YesNo, MessageIcon::None});
    if (answer == MessageAnswer::Yes)
        CleanSchedule();
    // The "clean" button keeps the pressed state its click gave it: one
    // click shows it pressed, the next released.
}

void frmScheduler::CleanSchedule()
{
    if (!CleanLiveTable(m_state))
        return;
    FillTree(m_state.SortOrder);
    m_state.ReloadRequested = true;
}

} // namespace vorn
