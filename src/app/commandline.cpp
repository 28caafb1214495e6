#include "commandline.h"

namespace vorn {

namespace {

QString withoutBlanks(QString text)
{
    return text.remove(u' ');
}

// Digits with an optional sign and nothing else (toShort() would also take
// tabs around them), inside the 16-bit range.
std::optional<qint16> decimalShort(QStringView text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    if (i == text.size())
        return std::nullopt;
    int value = 0;
    for (qsizetype k = i; k < text.size(); ++k) {
        if (text[k] < u'0' || text[k] > u'9')
            return std::nullopt;
        value = value * 10 + (text[k].unicode() - u'0');
        if (value > 32768)
            return std::nullopt;
    }
    if (text[0] == u'-')
        value = -value;
    if (value > 32767)
        return std::nullopt;
    return qint16(value);
}

// The value of `name` written directly after it and ended by a blank.
std::optional<qint16> switchValue(const QString &commandLine, const QString &name)
{
    const qsizetype p = commandLine.indexOf(name, 0, Qt::CaseInsensitive);
    if (p < 0)
        return std::nullopt;
    const qsizetype q = commandLine.indexOf(u' ', p);
    if (q < 0)
        return std::nullopt;
    const qsizetype begin = p + name.size();
    return decimalShort(QStringView(commandLine).mid(begin, q - begin));
}

} // namespace

StartArguments SplitStartArguments(const QStringList &arguments)
{
    if (arguments.value(0) != u"--vorn-diag")
        return {{}, arguments};
    const qsizetype end = arguments.indexOf(QStringLiteral("--"), 1);
    if (end < 0)
        return {arguments.mid(1), {}};
    return {arguments.mid(1, end - 1), arguments.mid(end + 1)};
}

QString CommandLineText(const QStringList &arguments)
{
    return arguments.join(u' ');
}

QString CommandText(const QString &commandLine)
{
    QString text;
    const qsizetype xPos = commandLine.indexOf(QStringLiteral("/x"), 0, Qt::CaseInsensitive);
    if (xPos >= 0) {
        // Everything in front of the blank before "/x". With "/x" at the very
        // start there is no such part and the text is empty.
        text = withoutBlanks(commandLine.left(std::max<qsizetype>(xPos - 1, 0)));
    } else {
        text = commandLine;
    }
    if (text.contains(QStringLiteral("/H"), Qt::CaseInsensitive)) {
        // Only the upper-case switch is taken out; a lower-case "/h" stays.
        text.replace(QStringLiteral("/H"), QStringLiteral("  "), Qt::CaseSensitive);
        text = withoutBlanks(text);
    }
    return text;
}

bool IsHosted(const QString &commandLine)
{
    return commandLine.contains(QStringLiteral("/H"), Qt::CaseInsensitive);
}

std::optional<Placement> ParsePlacement(const QString &commandLine)
{
    const std::optional<qint16> x = switchValue(commandLine, QStringLiteral("/x"));
    if (!x)
        return std::nullopt;
    const std::optional<qint16> y = switchValue(commandLine, QStringLiteral("/y"));
    if (!y)
        return std::nullopt;
    const std::optional<qint16> cx = switchValue(commandLine, QStringLiteral("/cx"));
    if (!cx)
        return std::nullopt;
    const std::optional<qint16> cy = switchValue(commandLine, QStringLiteral("/cy"));
    if (!cy)
        return std::nullopt;
    Placement placement;
    placement.x = *x;
    placement.y = *y;
    placement.cx = *cx;
    placement.cy = *cy;
    placement.topMost = commandLine.contains(QStringLiteral("/T"), Qt::CaseInsensitive);
    return placement;
}

} // namespace vorn
