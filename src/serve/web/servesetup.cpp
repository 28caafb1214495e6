#include "servesetup.h"

#include "appstate.h"
#include "inifile.h"
#include "paths.h"
#include "webanswers.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace vorn::serve {

namespace {

const QString DefaultCell = QStringLiteral("Cell1");

std::optional<ServeSetup> fail(SetupFailure *failure, int exitCode, const QString &message)
{
    *failure = {exitCode, message};
    return std::nullopt;
}

// ADDRESS:PORT, an IPv6 address in brackets.
bool parseListen(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.first(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.sliced(1, host.size() - 2);
    else if (host.contains(u':'))
        return false;
    bool ok = false;
    const uint number = text.sliced(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address->setAddress(host))
        return false;
    *port = quint16(number);
    return true;
}

// The section names of an INI file in their order, as its reader finds
// them (the reader itself answers only for named sections).
QStringList iniSections(const QByteArray &bytes)
{
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        text = QStringDecoder(QStringDecoder::Utf16).decode(bytes);  // the mark gives the byte order
    else
        text = DecodeWindows1252(bytes);
    QStringList sections;
    for (const QString &line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.contains(u']'))
            sections.append(trimmed.sliced(1, trimmed.indexOf(u']') - 1).trimmed());
    }
    return sections;
}

bool isInterval(int minutes)
{
    return QList<int>{1, 2, 3, 4, 5, 6, 10, 12}.contains(minutes);
}

std::optional<ServeSetup> readConfig(const QString &fileName, ServeSetup setup, SetupFailure *failure)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(failure, 1, QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
    const QStringList sections = iniSections(file.readAll());
    if (sections.isEmpty())
        return fail(failure, 1, QStringLiteral("%1 names no cell").arg(fileName));
    const QDir folder = QFileInfo(fileName).absoluteDir();
    for (const QString &section : sections) {
        const auto where = QStringLiteral("%1 [%2]").arg(fileName, section);
        if (!IsCellName(section))
            return fail(failure, 1, QStringLiteral("%1: a cell name holds only letters, digits, '-', '_' and '.'").arg(where));
        for (const CellConfig &cell : setup.cells) {
            if (cell.name.compare(section, Qt::CaseInsensitive) == 0)
                return fail(failure, 1, QStringLiteral("%1: the cell is named twice").arg(where));
        }
        const QString dataFolder = ReadIniString(fileName, section, QStringLiteral("DataFolder"), QString(), 4096);
        if (dataFolder.isEmpty())
            return fail(failure, 1, QStringLiteral("%1: DataFolder= is missing").arg(where));
        CellConfig cell{section, folder.filePath(dataFolder)};
        cell.noChangeMinutes = ReadIniInt(fileName, section, QStringLiteral("NoChangeMinutes"), 0);
        cell.interval = ReadIniInt(fileName, section, QStringLiteral("Interval"), 0);
        if (cell.noChangeMinutes < 0)
            return fail(failure, 1, QStringLiteral("%1: NoChangeMinutes= is below 0").arg(where));
        if (cell.interval != 0 && !isInterval(cell.interval))
            return fail(failure, 1, QStringLiteral("%1: Interval= must be 1, 2, 3, 4, 5, 6, 10 or 12").arg(where));
        setup.cells.push_back(cell);
    }
    return setup;
}

// The token as a cookie can carry it: printable ASCII without blanks,
// quotes, commas, semicolons or backslashes.
bool isTokenText(const QByteArray &token)
{
    for (const char c : token) {
        if (c <= ' ' || c > '~' || c == '"' || c == ',' || c == ';' || c == '\\')
            return false;
    }
    return !token.isEmpty();
}

} // namespace

std::optional<ServeSetup> ParseServeSetup(const QStringList &arguments, const QString &currentFolder,
                                          SetupFailure *failure)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the live schedule of one or more cells to browsers."));
    const QCommandLineOption cellOption(QStringLiteral("cell"), QStringLiteral("A cell and its data folder (repeatable)."),
                                        QStringLiteral("NAME=FOLDER"));
    const QCommandLineOption configOption(QStringLiteral("config"), QStringLiteral("INI file, one section per cell."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address and port (127.0.0.1:8470)."),
                                          QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption tokenOption(QStringLiteral("token-file"), QStringLiteral("File holding the access token."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption certOption(QStringLiteral("cert"), QStringLiteral("TLS certificate (PEM)."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QStringLiteral("TLS private key (PEM)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption helpOption(QStringLiteral("help"), QStringLiteral("Shows this help."));
    parser.addOptions({cellOption, configOption, listenOption, tokenOption, certOption, keyOption, helpOption});
    if (!parser.parse(QStringList{QStringLiteral("vorn-scheduler-serve")} + arguments))
        return fail(failure, 2, parser.errorText());
    if (parser.isSet(helpOption))
        return fail(failure, 0, parser.helpText());
    if (!parser.positionalArguments().isEmpty())
        return fail(failure, 2, QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
    for (const QCommandLineOption *single : {&configOption, &listenOption, &tokenOption, &certOption, &keyOption}) {
        if (parser.values(*single).size() > 1)
            return fail(failure, 2, QStringLiteral("--%1 is given twice").arg(single->names().first()));
    }

    ServeSetup setup;
    const QDir current(currentFolder);
    if (parser.isSet(listenOption) && !parseListen(parser.value(listenOption), &setup.web.address, &setup.web.port))
        return fail(failure, 2, QStringLiteral("--listen takes ADDRESS:PORT, not %1").arg(parser.value(listenOption)));
    if (parser.isSet(certOption) != parser.isSet(keyOption))
        return fail(failure, 2, QStringLiteral("--cert and --key go together"));
    if (parser.isSet(certOption)) {
        setup.web.certificateFile = current.filePath(parser.value(certOption));
        setup.web.keyFile = current.filePath(parser.value(keyOption));
    }
    if (parser.isSet(tokenOption)) {
        QFile file(current.filePath(parser.value(tokenOption)));
        if (!file.open(QIODevice::ReadOnly))
            return fail(failure, 1, QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        setup.web.token = file.read(4096).trimmed();
        if (!isTokenText(setup.web.token))
            return fail(failure, 1, QStringLiteral("%1: the token is empty or holds blanks, quotes, ',', ';' or '\\'")
                                        .arg(file.fileName()));
    }

    if (parser.isSet(cellOption) && parser.isSet(configOption))
        return fail(failure, 2, QStringLiteral("cells come from --cell or from --config, not both"));
    if (parser.isSet(configOption))
        return readConfig(current.filePath(parser.value(configOption)), setup, failure);
    for (const QString &value : parser.values(cellOption)) {
        const qsizetype eq = value.indexOf(u'=');
        const QString name = value.first(qMax<qsizetype>(eq, 0));
        if (eq < 0 || !IsCellName(name) || eq + 1 == value.size())
            return fail(failure, 2, QStringLiteral("--cell takes NAME=FOLDER (a name of letters, digits, '-', '_' and '.'), not %1").arg(value));
        for (const CellConfig &cell : setup.cells) {
            if (cell.name.compare(name, Qt::CaseInsensitive) == 0)
                return fail(failure, 2, QStringLiteral("the cell %1 is named twice").arg(name));
        }
        setup.cells.push_back({name, current.filePath(value.sliced(eq + 1))});
    }
    if (setup.cells.empty()) {
        // As the viewer finds its data folder.
        AppState state;
        BuildPaths(state, currentFolder);
        setup.cells.push_back({DefaultCell, state.DataFolder});
    }
    return setup;
}

} // namespace vorn::serve
