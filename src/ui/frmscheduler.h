#pragma once

#include "appstate.h"
#include "liveschedule.h"
#include "settings.h"
#include "toolbarlayout.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <QVariantMap>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QShortcut;
class QStatusBar;
class QTimer;
class QToolBar;

namespace vorn {

class ControlChannel;
class ManagerServerClient;

namespace chart {
class GanttGrid;
class LiveOverlay;
class StaleBanner;
}

// How the window was started: the command line as one text and the
// program's own folder (LANGUAGE.INI, the help file).
struct WindowStart {
    QString commandLine;
    QString programFolder;
    // Whether to look for the Manager Server and open the control channel on
    // the session bus. Tests of the window alone switch it off.
    bool useSessionBus = true;
    // The overlays' clock as "hh:mm[:ss][,speed[,anchor]]" (a simulated cell
    // shares it); empty: the local time of day.
    QString clock{};
};

// The main window: toolbar with the view controls, menus, status bar, the
// Gantt grid fg, the progress box and the refresh timer. Every command of the
// program starts here.
class frmScheduler : public QMainWindow {
    Q_OBJECT
public:
    frmScheduler(AppState &state, WindowStart start, QWidget *parent = nullptr);
    ~frmScheduler() override;   // the terminate step: UnsubclassWindow

    // The load sequence, run once by the start routine before show().
    void Form_Load();

    // Public operations used by other windows and the start routine.
    void FillTree(qint16 sortOrder);
    void UpdateTitle();
    void SetUtilWndPos();
    void ApplyCaptions();
    void ml_RuntimeSupport_LanguageChanged(qint32 languageId, const QString &language);

    // Commands (menu items and toolbar keys lead here).
    void MainToolbar_ButtonClick(const QString &key);
    void RunCommand(Command command);
    void SwitchOnline();
    void SortBy(qint16 sortOrder);
    void CleanCommand();
    void ShowOpenDialog();
    void ShowSaveAsDialog();
    void ShowAbout();
    void ResizeCommand();
    void HelpCommand();
    void ExitCommand();
    // The live overlays (frmscheduler_overlays.cpp).
    void LiveOverlaysCommand();
    void CollapseAllCommand(bool collapse);

    // The refresh cycle.
    void Timer1_Timer();
    void UpdateScheduleView();
    void RefreshAfterClean();
    void CleanSchedule();

    // Hosted-mode state.
    bool Hosted() const { return m_schedule.hosted(); }
    bool TopMost() const { return m_topMost; }
    ManagerServerClient *ManagerServerObject() const { return m_managerServer.get(); }

    // The dialogs of the archive and the About window plug in here; each gets
    // the window and its TopMost flag and runs modally. Until one is
    // installed its command does only its own part (title, button release).
    using DialogRunner = std::function<void(frmScheduler &window, bool topMost)>;
    void setOpenDialog(DialogRunner runner) { m_openDialog = std::move(runner); }
    void setSaveAsDialog(DialogRunner runner) { m_saveAsDialog = std::move(runner); }
    void setAboutDialog(DialogRunner runner) { m_aboutDialog = std::move(runner); }
    // File > Export..., Print... and Print Preview..., additions behind the
    // archive items, run these.
    void setExportDialog(DialogRunner runner) { m_exportDialog = std::move(runner); }
    void setPrintDialog(DialogRunner runner) { m_printDialog = std::move(runner); }
    void setPrintPreviewDialog(DialogRunner runner) { m_printPreviewDialog = std::move(runner); }

    // What Exit and Help do with the process and the desktop. The defaults
    // end the process at once and open the manual with the desktop's viewer;
    // tests put recorders in their place.
    void setExitProcess(std::function<void()> exitProcess) { m_exitProcess = std::move(exitProcess); }
    void setOpenUrl(std::function<void(const QString &path)> openUrl) { m_openUrl = std::move(openUrl); }

    // The help file: the program's folder followed by "PlantoraUserManual.pdf".
    QString HelpFile() const;

    // Controls, for the dialogs and for tests.
    AppState &state() { return m_state; }
    chart::GanttGrid *fg() const { return m_grid; }
    QToolBar *MainToolbar() const { return m_toolbar; }
    QAction *toolbarButton(const QString &key) const { return m_buttons.value(key); }
    QIcon MainImageList(const QString &key) const { return m_images.value(key); }
    QAction *menuItem(const QString &name) const;
    QComboBox *CmbInterval() const { return m_cmbInterval; }
    QCheckBox *ShowCol(int index) const { return m_showCol.at(index); }
    QLabel *Label(int number) const;
    QStatusBar *StatusBar1() const { return m_statusBar; }
    QLabel *StatusPanel(int number) const { return number == 1 ? m_panel1 : m_panel2; }
    QFrame *PicProgress() const { return m_picProgress; }
    QProgressBar *ProgressBar1() const { return m_progressBar; }
    QTimer *Timer1() const { return m_timer; }
    // How often a long fill lets the window answer (40 ms unless set).
    void setFillAnswerPeriod(int milliseconds) { m_schedule.setAnswerPeriod(milliseconds); }

    ControlChannel *channel() const { return m_channel.get(); }
    chart::LiveOverlay *overlay() const { return m_overlay.get(); }
    chart::StaleBanner *banner() const { return m_banner; }

    // Pixels for a length in twips at this window's logical DPI.
    int twipsToPixels(int twips) const;

signals:
    // The unload went through; with the only window gone the program ends.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    // The window's own messages go to the control channel first, where the
    // manager sends them as window messages.
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Held by every operation of the window that may run a nested event loop
    // (a message box, a dialog). An unload inside such a loop only takes the
    // Manager Server document from the window; the document is destroyed
    // when the last operation returns, so none of them calls into freed
    // memory. After its box an operation re-checks the window (isUnloaded(),
    // m_managerServer) instead of assuming what it saw before.
    class OperationScope {
    public:
        explicit OperationScope(frmScheduler &window);
        ~OperationScope();
        OperationScope(const OperationScope &) = delete;
        OperationScope &operator=(const OperationScope &) = delete;

    private:
        frmScheduler &m_window;
    };
    bool isUnloaded() const { return m_unloaded; }
    void releaseManagerServer();

    void createControls();
    void createMenus();
    void BuildImageList();
    void BuildToolbar();
    void BuildStatusBar();
    void layoutClientArea();
    void Form_Resize();
    void Form_Unload(bool &cancel);
    void SubclassWindow();
    void UnsubclassWindow();
    void CmbInterval_Click();
    void ShowCol_Click(int index);
    // A column check box as the settings keep it: 0 clear, 1 checked, 2 greyed.
    int showColValue(int index) const;
    void setShowColValue(int index, int value);
    // Timer1's period; 0 or less stops it.
    void setTimerPeriod(int milliseconds);
    void setButtonPressed(const QString &key, bool pressed);
    void setButtonEnabled(const QString &key, bool enabled);
    void scrollToFirstStart();
    // Counters and, when asked, the grid's body rows, for the control
    // channel's Diagnostics calls.
    QVariantMap diagnostics(bool withGrid) const;
    void createOverlays();
    void saveOverlaySettings();
    void placeBanner();

    AppState &m_state;
    WindowStart m_start;
    bool m_topMost = false;
    std::unique_ptr<ManagerServerClient> m_managerServer;
    std::unique_ptr<ControlChannel> m_channel;
    std::unique_ptr<ManagerServerClient> m_releasedManagerServer;   // until the last operation returns
    int m_operations = 0;
    bool m_unloaded = false;
    // The tables, the fill, the tick and what they keep; the window adds
    // only its widgets, boxes and timer.
    core::LiveSchedule m_schedule;
    bool m_loaded = false;
    bool m_shownOnce = false;

    QWidget *m_client = nullptr;   // the area below the menu bar
    QToolBar *m_toolbar = nullptr;
    QHash<QString, QAction *> m_buttons;
    QHash<QString, QIcon> m_images;
    QFrame *m_frameShow = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QComboBox *m_cmbInterval = nullptr;
    std::array<QCheckBox *, 6> m_showCol{};
    QHash<QString, QAction *> m_menuItems;
    QMenu *m_mnuFile = nullptr;
    QMenu *m_mnuDisplay = nullptr;
    QMenu *m_mnuHelp = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_panel1 = nullptr;
    QLabel *m_panel2 = nullptr;
    chart::GanttGrid *m_grid = nullptr;
    QFrame *m_picProgress = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QTimer *m_timer = nullptr;
    QShortcut *m_f1 = nullptr;

    std::unique_ptr<chart::LiveOverlay> m_overlay;
    chart::StaleBanner *m_banner = nullptr;
    OverlaySettings m_overlaySettings;       // as the window has them now
    OverlaySettings m_overlaySettingsLoaded; // as the file gave them

    DialogRunner m_openDialog;
    DialogRunner m_saveAsDialog;
    DialogRunner m_aboutDialog;
    DialogRunner m_exportDialog;
    DialogRunner m_printDialog;
    DialogRunner m_printPreviewDialog;
    std::function<void()> m_exitProcess;
    std::function<void(const QString &)> m_openUrl;
};

} // namespace vorn
