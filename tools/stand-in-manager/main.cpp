// vorn-stand-in-manager: the cell manager's Manager Server document, played
// by a process of its own for tests, the soak and by hand. It answers at
// once, after a delay or never; it can check that every schedule text it
// receives is whole (every row with the eleven elements in their order) and
// keep the newest text in a file. One line per call on standard output, and
// a summary when it is told to stop (SIGTERM or SIGINT).
//
//   vorn-stand-in-manager [--reply now|never|MS] [--check] [--keep FILE]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void requestStop(int)
{
#ifdef Q_OS_UNIX
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe[1], &byte, 1);
#endif
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The rows of a schedule text when it is whole: the frame, and per row the
// eleven elements in their order, their contents free of '<' (the soak's
// writer never writes one, so any '<' inside is a tag out of place).
// -1 when it is not whole.
qsizetype wholeRows(QStringView xml)
{
    static const QString names[] = {
        QStringLiteral("Part"),   QStringLiteral("Process"), QStringLiteral("Machine"),   QStringLiteral("Order"),
        QStringLiteral("StartP"), QStringLiteral("FinishP"), QStringLiteral("DurationP"), QStringLiteral("StartA"),
        QStringLiteral("FinishA"), QStringLiteral("DurationA"), QStringLiteral("StatusFinish")};
    qsizetype at = 0;
    const auto take = [&](QStringView piece) {
        if (!xml.sliced(at).startsWith(piece))
            return false;
        at += piece.size();
        return true;
    };
    if (!take(u"<DataView><DataTable>"))
        return -1;
    qsizetype rows = 0;
    while (take(u"<DataRow>")) {
        for (const QString &name : names) {
            if (!take(QString(u'<' + name + u'>')))
                return -1;
            const qsizetype end = xml.indexOf(u'<', at);
            if (end < 0)
                return -1;
            at = end;
            if (!take(QString(QStringLiteral("</") + name + u'>')))
                return -1;
        }
        if (!take(u"</DataRow>"))
            return -1;
        ++rows;
    }
    return take(u"</DataTable></DataView>") && at == xml.size() ? rows : -1;
}

class Document : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "ManagerServer.Document")
public:
    int replyMs = 0;   // < 0: never
    bool check = false;
    QString keepFile;
    qint64 feeds = 0;
    qint64 malformed = 0;

public slots:
    void CreateView(const QString &name, const QString &caption, short kind)
    {
        say(QStringLiteral("CreateView %1 | %2 | %3").arg(name, caption).arg(kind));
        answer();
    }
    void SetViewXMLData(const QString &viewName, const QString &xml)
    {
        ++feeds;
        QString line = QStringLiteral("SetViewXMLData %1 | %2 characters").arg(viewName).arg(xml.size());
        if (check) {
            const qsizetype rows = wholeRows(xml);
            malformed += rows < 0;
            line += rows < 0 ? QStringLiteral(" | malformed") : QStringLiteral(" | %1 rows").arg(rows);
        }
        if (!keepFile.isEmpty()) {
            QSaveFile file(keepFile);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(xml.toUtf8());
                file.commit();
            }
        }
        say(line);
        answer();
    }

private:
    void answer()
    {
        if (replyMs == 0)
            return;
        setDelayedReply(true);
        if (replyMs < 0)
            return;   // the caller waits in vain
        QTimer::singleShot(replyMs, this, [reply = message().createReply(), bus = connection()] { bus.send(reply); });
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The Manager Server document, played for tests."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("reply"), QStringLiteral("Answer now, never, or after MS milliseconds."),
                      QStringLiteral("when"), QStringLiteral("now")});
    parser.addOption({QStringLiteral("check"), QStringLiteral("Check that every schedule text is whole.")});
    parser.addOption({QStringLiteral("keep"), QStringLiteral("Keep the newest schedule text (UTF-8) in FILE."),
                      QStringLiteral("file")});
    parser.process(app);

    Document document;
    const QString reply = parser.value(QStringLiteral("reply"));
    document.replyMs = reply == QLatin1String("now") ? 0 : reply == QLatin1String("never") ? -1 : reply.toInt();
    document.check = parser.isSet(QStringLiteral("check"));
    document.keepFile = parser.value(QStringLiteral("keep"));

#ifdef Q_OS_UNIX
    if (::pipe(stopPipe) == 0) {
        auto *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, requestStop);
        std::signal(SIGINT, requestStop);
    }
#endif

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/ManagerServer/Document"), &document, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("ManagerServer.Document"))) {
        std::fprintf(stderr, "vorn-stand-in-manager: cannot own ManagerServer.Document on the session bus\n");
        return 2;
    }
    say(QStringLiteral("ready"));
    const int status = app.exec();
    bus.unregisterService(QStringLiteral("ManagerServer.Document"));
    say(QStringLiteral("feeds %1 malformed %2").arg(document.feeds).arg(document.malformed));
    return status;
}

#include "main.moc"
