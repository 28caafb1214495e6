// The start routine: strings, paths, the main window, placement; then the
// program lives in the window's event loop.

#include "commandline.h"
#include "dlgopen.h"
#include "dlgsaveas.h"
#include "exportchart.h"
#include "frmabout.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messageboxdialog.h"
#include "printchart.h"
#include "paths.h"
#include "texts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#ifdef Q_OS_LINUX
#include <QFile>
#include <unistd.h>
#endif

namespace {

// Milliseconds from the start of the process to the start of main(): the
// loading of the program and its libraries, which a timer started in main()
// cannot see. -1 where the system does not tell.
qint64 msBeforeMain()
{
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    // Field 22 (start time in clock ticks since boot) follows the ")" that
    // ends the command name, which may itself contain blanks.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (fields.size() < 20 || ticksPerSecond <= 0)
        return -1;
    const double started = fields.at(19).toDouble() / double(ticksPerSecond);
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return qint64((now - started) * 1000.0);
#else
    return -1;
#endif
}

// The diagnostic options (after "--vorn-diag", up to "--"); unknown ones are
// ignored.
struct Options {
    QString screenshotFile;    // --screenshot FILE: grab the window after its first paint, save, quit
    int screenshotDelayMs = 0; // --screenshot-delay MS: ... that many milliseconds after the first paint
    bool startupTiming = false;  // --startup-timing: print the time to the first painted chart
    bool printWindow = false;    // --print-window: print the title and layout direction at the first paint
    bool answerBoxes = false;    // --answer-boxes: no box waits for a user; each goes to standard error
    QString clock;               // --clock DESCRIPTION: the overlays' clock, shared with a simulated cell
};

Options parseOptions(const QStringList &diagnostics)
{
    Options options;
    for (qsizetype i = 0; i < diagnostics.size(); ++i) {
        const QString &option = diagnostics.at(i);
        if (option == QLatin1String("--screenshot") && i + 1 < diagnostics.size())
            options.screenshotFile = diagnostics.at(++i);
        else if (option == QLatin1String("--screenshot-delay") && i + 1 < diagnostics.size())
            options.screenshotDelayMs = qMax(0, diagnostics.at(++i).toInt());
        else if (option == QLatin1String("--startup-timing"))
            options.startupTiming = true;
        else if (option == QLatin1String("--print-window"))
            options.printWindow = true;
        else if (option == QLatin1String("--answer-boxes"))
            options.answerBoxes = true;
        else if (option == QLatin1String("--clock") && i + 1 < diagnostics.size())
            options.clock = diagnostics.at(++i);
    }
    return options;
}

// Watches the grid for its first paint: the moment the user first sees the chart.
class FirstPaintWatcher : public QObject {
public:
    FirstPaintWatcher(QWidget *viewport, std::function<void()> done)
        : m_viewport(viewport), m_done(std::move(done))
    {
        viewport->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_viewport && event->type() == QEvent::Paint) {
            m_viewport->removeEventFilter(this);
            // Runs once the paint in progress has finished.
            QTimer::singleShot(0, this, [this] { m_done(); });
        }
        return false;
    }

private:
    QWidget *m_viewport;
    std::function<void()> m_done;
};

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    const qint64 beforeMain = msBeforeMain();
#ifdef __GLIBC__
    // A fill's large buffers (the rows of a big schedule, its XML) live for
    // one fill. With its own threshold glibc would move such sizes into the
    // heap after the first one is freed, where they stay resident for good
    // once the heap is fragmented; a fixed threshold keeps them in mappings
    // of their own that go back to the system when freed. What runs every
    // tick reuses its buffers and never asks for fresh memory of this size.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif

    // The arguments exactly as typed, taken before Qt sees them: QApplication
    // removes the options it knows (-reverse, -style X, -platform X,
    // -qwindowtitle X ...) from argv and acts on them. It gets the program's
    // name alone, so those words stay in the command line and do nothing.
    QStringList typed;
    for (int i = 1; i < argc; ++i)
        typed << QString::fromLocal8Bit(argv[i]);
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Vorn Scheduler"));
    QApplication::setQuitOnLastWindowClosed(false);
    const vorn::StartArguments arguments = vorn::SplitStartArguments(typed);
    const Options options = parseOptions(arguments.diagnostics);
    // Unattended runs (the soak) have nobody to close an "Open Failed" box.
    if (!options.answerBoxes)
        vorn::InstallMessageBoxDialog();

    // 1. Strings.
    vorn::LoadTextResources();
    // 2.-3. The help file lives beside the program; data and settings beside
    // the current directory.
    const QString programFolder = QApplication::applicationDirPath();
    vorn::AppState state;
    vorn::BuildPaths(state);

    // 4. Load the main window.
    vorn::frmScheduler window(state, vorn::WindowStart{vorn::CommandLineText(arguments.commandLine), programFolder,
                                                       true, options.clock});
    QObject::connect(&window, &vorn::frmScheduler::unloaded, &app, &QCoreApplication::quit);
    window.setOpenDialog(vorn::RunOpenDialog);
    window.setSaveAsDialog(vorn::RunSaveAsDialog);
    window.setAboutDialog(vorn::RunAboutDialog);
    window.setExportDialog(vorn::RunExportDialog);
    window.setPrintDialog(vorn::RunPrintDialog);
    window.setPrintPreviewDialog(vorn::RunPrintPreviewDialog);
    // Design-time size: most of the screen, since the leading columns take
    // ten fourteenths of the grid's width and the time scale the rest.
    const QSize available = window.screen()->availableSize();
    window.resize(qMin(1400, available.width() * 9 / 10), qMin(900, available.height() * 9 / 10));
    window.Form_Load();

    std::unique_ptr<FirstPaintWatcher> watcher;
    if (options.startupTiming || options.printWindow || !options.screenshotFile.isEmpty()) {
        watcher = std::make_unique<FirstPaintWatcher>(window.fg()->viewport(), [&] {
            if (options.startupTiming) {
                // The process start is known to 10 ms at best; say so.
                std::printf("startup: first chart painted %lld ms after main() began "
                            "(the process had been loading for about %lld ms before)\n",
                            static_cast<long long>(sinceStart.elapsed()),
                            static_cast<long long>(beforeMain));
                std::fflush(stdout);
            }
            if (options.printWindow) {
                std::printf("window: %s | %s\n", qPrintable(window.windowTitle()),
                            window.layoutDirection() == Qt::RightToLeft ? "right-to-left" : "left-to-right");
                std::fflush(stdout);
            }
            if (!options.screenshotFile.isEmpty()) {
                QTimer::singleShot(options.screenshotDelayMs, &window, [&] {
                    const QString file = QFileInfo(options.screenshotFile).absoluteFilePath();
                    if (window.grab().save(file))
                        std::printf("screenshot: %s\n", qPrintable(file));
                    else
                        std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(file));
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
        });
    }

    // 5.-6. Show it, then place it as the starter asked (a hosted window with
    // a full placement is hidden again).
    window.show();
    window.SetUtilWndPos();
    return app.exec();
}
