#include "servesetup.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vorn::serve;

class ServeSetupTest : public QObject {
    Q_OBJECT

private slots:
    // The cells and how they are served, from the command line and the file
    // it names (serve.ini or a token, in the current folder: %C), or the exit
    // code and the message that stop the program; each in the stored transcript.
    void setup()
    {
        const QList<std::pair<QStringList, QByteArray>> runs = {
            {{}, ""},
            {{"--cell", "A=/plant/a", "--cell=B.2=rel"}, ""},
            {{"--listen", "[::1]:9000"}, ""},
            {{"--listen", "0.0.0.0"}, ""},
            {{"--listen", "127.0.0.1:65536"}, ""},
            {{"--cell", "A"}, ""},
            {{"--cell", "a/b=/x"}, ""},
            {{"--cell", "A=/x", "--cell", "a=/y"}, ""},
            {{"--cell", "A=/x", "--config", "serve.ini"}, "[A]\nDataFolder=/x\n"},
            {{"--port", "1"}, ""},
            {{"--cert", "c.pem"}, ""},
            {{"--config", "serve.ini"},
             "; plant\n[Line1]\nDataFolder=d1\nNoChangeMinutes=5\nInterval=10\n[line2]\nDataFolder = /abs\n"},
            {{"--config", "serve.ini"}, "; nothing\n"},
            {{"--config", "serve.ini"}, "[A]\nInterval=3\n"},
            {{"--config", "serve.ini"}, "[A]\nDataFolder=a\nInterval=7\n"},
            {{"--config", "serve.ini"}, "[A]\nDataFolder=a\n[a]\nDataFolder=b\n"},
            {{"--config", "none.ini"}, ""},
            {{"--token-file", "serve.ini"}, " s3cret \n"},
            {{"--token-file", "serve.ini"}, "s3;cret"},
            {{"--token-file", "serve.ini"}, "s3 cret"},
        };
        QString transcript;
        for (const auto &[arguments, file] : runs) {
            QTemporaryDir dir;
            QVERIFY(file.isEmpty() || vorn::testing::writeFile(dir.filePath("serve.ini"), file));
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
            QFile none(dir.filePath("none.ini"));  // the system's words for a file that is not there
            got.replace(none.open(QIODevice::ReadOnly) ? QStringLiteral("-") : none.errorString(), QStringLiteral("<not there>"))
                .replace(dir.path(), QStringLiteral("%C"));
            const QString ini = QString::fromUtf8(file).replace(u'\n', QStringLiteral("\\n"));
            transcript += "> " + arguments.join(u' ') + (file.isEmpty() ? QString() : " with " + ini) + '\n' + got + "\n\n";
        }
        VORN_COMPARE_STORED(QStringLiteral("setup.txt"), transcript.toUtf8());
    }
};

QTEST_GUILESS_MAIN(ServeSetupTest)
#include "tst_servesetup.moc"
