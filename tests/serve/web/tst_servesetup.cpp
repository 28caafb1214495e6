#include "servesetup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn::serve;

class ServeSetupTest : public QObject {
    Q_OBJECT

private slots:
    // The cells and how they are served, from the command line and the
    // files it names (written into the current folder, "%C" in the rows),
    // or the exit code and the message that stop the program.
    void setup_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("file");  // serve.ini or token, when not empty
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QStringList &arguments, const char *file, const char *expected) {
            QTest::newRow(name) << arguments << QByteArray(file) << QString(expected);
        };
        row("nothing: ../data/ as the viewer", {}, "", "Cell1=%C/../data/ 0 0 @127.0.0.1:8470");
        row("cells from the command line", {"--cell", "A=/plant/a", "--cell=B.2=rel"}, "", "A=/plant/a 0 0;B.2=%C/rel 0 0 @127.0.0.1:8470");
        row("listen on IPv6", {"--listen", "[::1]:9000"}, "", "Cell1=%C/../data/ 0 0 @::1:9000");
        row("listen without a port", {"--listen", "0.0.0.0"}, "", "2: --listen takes ADDRESS:PORT");
        row("listen on a port past 65535", {"--listen", "127.0.0.1:65536"}, "", "2: --listen takes");
        row("cell without a folder", {"--cell", "A"}, "", "2: --cell takes NAME=FOLDER");
        row("cell named with a slash", {"--cell", "a/b=/x"}, "", "2: --cell takes");
        row("cell named twice", {"--cell", "A=/x", "--cell", "a=/y"}, "", "2: the cell a is named twice");
        row("cells both ways", {"--cell", "A=/x", "--config", "serve.ini"}, "[A]\nDataFolder=/x\n", "2: cells come from");
        row("an option it does not know", {"--port", "1"}, "", "2: Unknown option 'port'.");
        row("certificate without key", {"--cert", "c.pem"}, "", "2: --cert and --key go together");
        row("configuration file", {"--config", "serve.ini"},
            "; plant\n[Line1]\nDataFolder=d1\nNoChangeMinutes=5\nInterval=10\n[line2]\nDataFolder = /abs\n",
            "Line1=%C/d1 5 10;line2=/abs 0 0 @127.0.0.1:8470");
        row("configuration without DataFolder", {"--config", "serve.ini"}, "[A]\nInterval=3\n", "1: %C/serve.ini [A]: DataFolder= is missing");
        row("configuration with an interval the viewer has not", {"--config", "serve.ini"}, "[A]\nDataFolder=a\nInterval=7\n",
            "1: %C/serve.ini [A]: Interval= must be");
        row("configuration naming a cell twice", {"--config", "serve.ini"}, "[A]\nDataFolder=a\n[a]\nDataFolder=b\n", "1: %C/serve.ini [a]: the cell is named twice");
        row("configuration missing", {"--config", "none.ini"}, "", "1: cannot read %C/none.ini");
        row("token trimmed", {"--token-file", "serve.ini"}, " s3cret \n", "Cell1=%C/../data/ 0 0 @127.0.0.1:8470 token s3cret");
        row("token a cookie cannot carry", {"--token-file", "serve.ini"}, "s3;cret", "1: %C/serve.ini: the token is empty");
    }

    void setup()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile ini(dir.filePath("serve.ini"));
        QVERIFY(file.isEmpty() || (ini.open(QIODevice::WriteOnly) && ini.write(file) == file.size()));
        ini.close();
        SetupFailure failure;
        const std::optional<ServeSetup> setup = ParseServeSetup(arguments, dir.path(), &failure);
        QString got = QString::number(failure.exitCode) + ": " + failure.message;
        if (setup) {
            QStringList cells;
            for (const vorn::serve::CellConfig &cell : setup->cells)
                cells.append(QStringLiteral("%1=%2 %3 %4").arg(cell.name, cell.dataFolder).arg(cell.noChangeMinutes).arg(cell.interval));
            got = cells.join(u';') + QStringLiteral(" @%1:%2").arg(setup->web.address.toString()).arg(setup->web.port)
                + (setup->web.token.isEmpty() ? QString() : " token " + setup->web.token);
        }
        QVERIFY2(got.startsWith(QString(expected).replace("%C", dir.path())), qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(ServeSetupTest)
#include "tst_servesetup.moc"
