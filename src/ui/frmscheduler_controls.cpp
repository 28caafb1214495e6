// The main window's controls and their layout: toolbar with the view
// controls, menus, status bar, progress box, and the client area's geometry.
#include "frmscheduler.h"

#include "ganttbars.h"
#include "ganttgrid.h"
#include "gridcolumns.h"
#include "gridlayout.h"
#include "liveoverlay.h"
#include "texts.h"
#include "twips.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

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

// A column box. A stored 2 loads it greyed (which makes a QCheckBox cycle
// through grey on clicks for good); a click still only checks or clears it.
class ColumnCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

int ValueOfCheckState(Qt::CheckState state)
{
    switch (state) {
    case Qt::Unchecked: return 0;
    case Qt::PartiallyChecked: return 2;
    case Qt::Checked: return 1;
    }
    return 1;
}

// The progress box over the grid while the time scale is rebuilt.
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
    // The bar repaints itself at once, and only when its filled length moves:
    // at most once per pixel, not once per column.
    void setValue(int value) override { m_window.ProgressBar1()->setValue(value); }
    void hide() override { m_window.PicProgress()->hide(); }

private:
    int toTwips(int pixels) const { return chart::PixelsToTwips(pixels, m_window.logicalDpiX()); }
    frmScheduler &m_window;
};

} // namespace

int frmScheduler::twipsToPixels(int twips) const
{
    return chart::TwipsToPixels(twips, logicalDpiX());
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
    // The label names the box for screen readers.
    m_label1->setBuddy(m_cmbInterval);
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
        auto *box = new ColumnCheckBox(QString::fromLatin1(defaultCaptions[i % 3]), m_frameShow);
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
    // The additions' dialogs run nested event loops like the archive's.
    auto runDialog = [this](const DialogRunner &runner) {
        const OperationScope scope(*this);
        if (runner)
            runner(*this, m_topMost);
    };
    addItem(m_mnuFile, "mnuExport", "E&xport...", [this, runDialog] { runDialog(m_exportDialog); });
    addSeparator(m_mnuFile, "mnuFilePrintSeparator");
    addItem(m_mnuFile, "mnuPrint", "&Print...", [this, runDialog] { runDialog(m_printDialog); });
    addItem(m_mnuFile, "mnuPrintPreview", "Print Pre&view...", [this, runDialog] { runDialog(m_printPreviewDialog); });
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
    addSeparator(m_mnuDisplay, "mnuDisplaySeparator3");
    addItem(m_mnuDisplay, "mnuLiveOverlays", "Live overlays", [this] { LiveOverlaysCommand(); })
        ->setCheckable(true);
    addItem(m_mnuDisplay, "mnuCollapseAll", "Collapse all", [this] { CollapseAllCommand(true); });
    addItem(m_mnuDisplay, "mnuExpandAll", "Expand all", [this] { CollapseAllCommand(false); });

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
    // Unless a tick or anything else has changed the rows since the fill,
    // the fill already knows what they show; a large table then costs
    // nothing here.
    const bool asFilled = m_schedule.showsLastFill(grid.rowsGeneration());
    // With the live overlays, the present when the schedule reaches it.
    const std::optional<int> present =
        m_overlay ? m_overlay->firstViewColumn(asFilled ? std::optional(m_schedule.lastFill().shownTimes) : std::nullopt)
                  : std::nullopt;
    if (present) {
        m_grid->setLeftCol(*present);
        return;
    }
    qint32 earliest = m_schedule.lastFill().earliestPlannedStart;
    if (!asFilled) {
        earliest = -1;
        for (int r = 2; r < grid.rows(); ++r) {
            if (grid.rowOutlineLevel(r) != 0)
                continue;
            const QString &start = grid.text(r, chart::PlannedStartCol);
            if (start.isEmpty())
                continue;
            const qint32 seconds = chart::TextSeconds(start);
            if (seconds > 0 && (earliest < 0 || seconds < earliest))
                earliest = seconds;
        }
    }
    const chart::TimeScale &scale = grid.timeScale();
    if (earliest < 0 || !scale.isValid())
        return;
    m_grid->setLeftCol(scale.columnOf(qMin(23, earliest / 3600) * 3600));
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
    placeBanner();
}

void frmScheduler::Form_Resize()
{
    if (!m_grid)
        return;
    chart::FitGridToClient(*m_grid, m_client->size(),
                       menuItem(QStringLiteral("mnuResize"))->isChecked());
}

void frmScheduler::CmbInterval_Click()
{
    if (!m_grid)
        return;
    PictureProgress progress(*this);
    chart::SetTimeScaleInterval(m_grid->data(), m_state, m_cmbInterval->currentText(), &progress);
}

void frmScheduler::ShowCol_Click(int index)
{
    if (!m_grid)
        return;
    chart::ShowTimeColumn(m_grid->data(), index, showColValue(index));
}

int frmScheduler::showColValue(int index) const
{
    return ValueOfCheckState(m_showCol[index]->checkState());
}

void frmScheduler::setShowColValue(int index, int value)
{
    m_showCol[index]->setCheckState(CheckStateOfValue(value));
}

} // namespace vorn
