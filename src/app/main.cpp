// The start routine: strings, paths, the main window, placement; then the
// program lives in the window's event loop.

#include "commandline.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messageboxdialog.h"
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

namespace {

// Options of our own, taken out before the rest becomes the command line
// that the title and the placement switches read.
struct Options {
    QString screenshotFile;    // grab the window after its first paint, save, quit
    bool startupTiming = false;  // print the time to the first painted chart
    QStringList rest;
};

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--screenshot") && i + 1 < arguments.size())
            options.screenshotFile = arguments.at(++i);
        else if (argument == QLatin1String("--startup-timing"))
            options.startupTiming = true;
        else
            options.rest << argument;
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

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn Scheduler"));
    QApplication::setQuitOnLastWindowClosed(false);
    const Options options = parseOptions(QApplication::arguments());
    vorn::InstallMessageBoxDialog();

    // 1. Strings.
    vorn::LoadTextResources();
    // 2.-3. The help file lives beside the program; data and settings beside
    // the current directory.
    const QString programFolder = QApplication::applicationDirPath();
    vorn::AppState state;
    vorn::BuildPaths(state);

    // 4. Load the main window.
    vorn::frmScheduler window(state, vorn::WindowStart{vorn::CommandLineText(options.rest), programFolder});
    QObject::connect(&window, &vorn::frmScheduler::unloaded, &app, &QCoreApplication::quit);
    // Design-time size: most of the screen, since the leading columns take
    // ten fourteenths of the grid's width and the time scale the rest.
    const QSize available = window.screen()->availableSize();
    window.resize(qMin(1400, available.width() * 9 / 10), qMin(900, available.height() * 9 / 10));
    window.Form_Load();

    std::unique_ptr<FirstPaintWatcher> watcher;
    if (options.startupTiming || !options.screenshotFile.isEmpty()) {
        watcher = std::make_unique<FirstPaintWatcher>(window.fg()->viewport(), [&] {
            if (options.startupTiming) {
                std::printf("startup: first chart painted after %lld ms\n",
                            static_cast<long long>(sinceStart.elapsed()));
                std::fflush(stdout);
            }
            if (!options.screenshotFile.isEmpty()) {
                const QString file = QFileInfo(options.screenshotFile).absoluteFilePath();
                if (window.grab().save(file)) {
                    std::printf("screenshot: %s\n", qPrintable(file));
                } else {
                    std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(file));
                }
                std::fflush(stdout);
                QCoreApplication::exit(0);
            }
        });
    }

    // 5.-6. Show it, then place it as the starter asked (a hosted window with
    // a full placement is hidden again).
    window.show();
    window.SetUtilWndPos();
    return app.exec();
}
