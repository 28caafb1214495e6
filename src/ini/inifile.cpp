#include "inifile.h"
#include "inibackend.h"

#include "filename.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace vorn {

namespace {

// Unicode of the bytes 0x80..0x9F; the five bytes Windows-1252 leaves
// undefined map to the control character of the same number, as Windows
// itself decodes them, so that they survive a read and a write.
constexpr std::array<char16_t, 32> kHighBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct Line {
    QString text;
    QString ending; // "\r\n", "\n" or empty for a last line without one
};

// How the file's text is stored: Windows-1252 unless it starts with a
// UTF-16 byte-order mark, as a Windows editor saves "Unicode".
enum class Encoding { Ansi, Utf16LE, Utf16BE };

struct Document {
    QList<Line> lines;
    QString newline = QStringLiteral("\n");
    Encoding encoding = Encoding::Ansi;
    // The last byte of a UTF-16 file that has no partner, kept as it was:
    // it is no character, and the file is rewritten around it.
    QByteArray oddByte;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin).toString();
}

Document parse(const QString &text)
{
    Document doc;
    bool newlineSeen = false;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype lf = text.indexOf(u'\n', pos);
        Line line;
        if (lf < 0) {
            line.text = text.mid(pos);
            pos = text.size();
        } else {
            const bool crlf = lf > pos && text[lf - 1] == u'\r';
            line.text = text.mid(pos, (crlf ? lf - 1 : lf) - pos);
            line.ending = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
            if (!newlineSeen) {
                // Lines the program adds follow the file's own first line end.
                doc.newline = line.ending;
                newlineSeen = true;
            }
            pos = lf + 1;
        }
        doc.lines.append(line);
    }
    return doc;
}

// The section name of a "[name]" line; nothing for any other line.
std::optional<QString> sectionName(const QString &line)
{
    const QString t = trimBlanks(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return trimBlanks(QStringView(t).mid(1, close < 0 ? -1 : close - 1));
}

// Key and value of a "key=value" line; false for lines without '='.
bool splitKeyLine(const QString &line, QString *key, QString *value)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return false;
    *key = trimBlanks(QStringView(line).left(eq));
    if (value)
        *value = trimBlanks(QStringView(line).mid(eq + 1));
    return true;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the first line of the section `section`, or -1.
qsizetype findSection(const Document &doc, const QString &section)
{
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const std::optional<QString> name = sectionName(doc.lines[i].text);
        if (name && sameName(*name, section))
            return i;
    }
    return -1;
}

// One past the last line that belongs to the section starting at `header`.
qsizetype sectionEnd(const Document &doc, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < doc.lines.size() && !sectionName(doc.lines[i].text))
        ++i;
    return i;
}

qsizetype findKey(const Document &doc, qsizetype header, const QString &key)
{
    const qsizetype end = sectionEnd(doc, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        QString name;
        if (splitKeyLine(doc.lines[i].text, &name, nullptr) && sameName(name, key))
            return i;
    }
    return -1;
}

// The bytes of a plain file. A pipe or device of that name is refused
// without waiting for a writer that may never come.
bool readPlainFile(const QString &fileName, QByteArray *bytes)
{
    QFile file;
    if (OpenPlainFile(file, fileName).failed())
        return false;
    *bytes = file.readAll();
    return true;
}

QString decodeText(const QByteArray &bytes, Encoding *encoding, QByteArray *oddByte)
{
    const auto utf16 = [&](QStringConverter::Encoding which) {
        // A second mark after the first is a character of the text and
        // stays one; so does the byte behind the last whole unit.
        QByteArrayView units = QByteArrayView(bytes).sliced(2);
        if (units.size() % 2) {
            *oddByte = units.last(1).toByteArray();
            units.chop(1);
        }
        QStringDecoder decoder(which, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return QString(decoder.decode(units));
    };
    if (bytes.startsWith("\xFF\xFE")) {
        *encoding = Encoding::Utf16LE;
        return utf16(QStringConverter::Utf16LE);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        *encoding = Encoding::Utf16BE;
        return utf16(QStringConverter::Utf16BE);
    }
    *encoding = Encoding::Ansi;
    return DecodeWindows1252(bytes);
}

// The text in the file's encoding, without a byte-order mark.
QByteArray encodeUnits(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16LE:
        return QStringEncoder(QStringConverter::Utf16LE).encode(text);
    case Encoding::Utf16BE:
        return QStringEncoder(QStringConverter::Utf16BE).encode(text);
    case Encoding::Ansi:
        break;
    }
    return EncodeWindows1252(text);
}

QByteArray encodeText(const QString &text, Encoding encoding)
{
    const char *mark = encoding == Encoding::Utf16LE ? "\xFF\xFE" : encoding == Encoding::Utf16BE ? "\xFE\xFF" : "";
    return mark + encodeUnits(text, encoding);
}

bool loadDocument(const QString &fileName, Document *doc, QByteArray *bytes = nullptr)
{
    QByteArray read;
    if (!readPlainFile(fileName, &read))
        return false;
    Encoding encoding = Encoding::Ansi;
    QByteArray oddByte;
    *doc = parse(decodeText(read, &encoding, &oddByte));
    doc->encoding = encoding;
    doc->oddByte = std::move(oddByte);
    if (bytes)
        *bytes = std::move(read);
    return true;
}

// Rewrites a file whose folder takes no new file (so no file can be put
// beside it and renamed over), as the Windows profile functions do. One
// write replaces every old byte, the new text padded with blanks to the old
// length; the file is then cut to the new text. A write that fails puts the
// old bytes back; a process killed before the cut leaves a line of blanks,
// which no reader takes for anything.
Result writeInPlace(const QString &fileName, const QByteArray &old, const QByteArray &text, Encoding encoding)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly))
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
    QByteArray padded = text;
    const QByteArray blank = encodeUnits(QStringLiteral(" "), encoding);
    while (padded.size() < old.size())
        padded += blank;
    padded.truncate(std::max(text.size(), old.size()));
    if (file.write(padded) != padded.size()) {
        const QString why = file.errorString();
        const bool restored = file.seek(0) && file.write(old) == old.size() && file.resize(old.size());
        return Result::failure(QStringLiteral("cannot write %1: %2%3").arg(fileName, why,
                                                                           restored ? QString() : QStringLiteral("; the old text could not be put back")));
    }
    if (!file.resize(text.size()))
        return Result::failure(QStringLiteral("cannot cut %1 to its new length: %2").arg(fileName, file.errorString()));
    return Result::success();
}

// The value of a key, without its enclosing quotes; nothing when the key
// cannot be found.
std::optional<QString> lookUp(const QString &fileName, const QString &section, const QString &key)
{
    Document doc;
    if (!loadDocument(ResolveIniFileName(fileName), &doc))
        return std::nullopt;
    const qsizetype header = findSection(doc, section);
    if (header < 0)
        return std::nullopt;
    const qsizetype line = findKey(doc, header, key);
    if (line < 0)
        return std::nullopt;
    QString name;
    QString value;
    splitKeyLine(doc.lines[line].text, &name, &value);
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QString DecodeWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kHighBlock[b - 0x80]) : QChar(b);
    }
    return text;
}

QByteArray EncodeWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        char out = '?';
        for (std::size_t i = 0; i < kHighBlock.size(); ++i) {
            if (kHighBlock[i] == u) {
                out = static_cast<char>(0x80 + i);
                break;
            }
        }
        bytes.append(out);
    }
    return bytes;
}

QString ResolveIniFileName(const QString &fileName)
{
    const QString found = FindFileIgnoringCase(fileName);
    return found.isEmpty() ? fileName : found;
}

int OwnReadIniInt(const QString &fileName, const QString &section, const QString &key,
               int defaultValue)
{
    const QString value = lookUp(fileName, section, key).value_or(QString());
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) {
        negative = value[i] == u'-';
        ++i;
    }
    if (i >= value.size() || value[i] < u'0' || value[i] > u'9')
        return defaultValue;
    qint64 magnitude = 0;
    constexpr qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (value[i].unicode() - u'0');
        if (magnitude > limit)
            magnitude = limit; // keeps the sum bounded; saturated below
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return int(result);
}

QString OwnReadIniString(const QString &fileName, const QString &section, const QString &key,
                      const QString &defaultValue, int bufferLength)
{
    if (bufferLength <= 0)
        return QString();
    std::optional<QString> value = lookUp(fileName, section, key);
    if (!value) {
        value = defaultValue;
        while (!value->isEmpty() && value->back() == u' ')
            value->chop(1);
    }
    return value->left(bufferLength - 1);
}

namespace {

// Sets `key` of `section` in the document as WritePrivateProfileString does.
void setKey(Document &doc, const QString &section, const QString &key, const QString &value)
{
    const QString keyLine = key + u'=' + value;
    const qsizetype header = findSection(doc, section);
    if (header < 0) {
        if (!doc.lines.isEmpty() && doc.lines.back().ending.isEmpty())
            doc.lines.back().ending = doc.newline;
        doc.lines.append({u'[' + section + u']', doc.newline});
        doc.lines.append({keyLine, doc.newline});
    } else if (const qsizetype line = findKey(doc, header, key); line >= 0) {
        QString name;
        splitKeyLine(doc.lines[line].text, &name, nullptr);
        doc.lines[line].text = name + u'=' + value;
    } else {
        // After the section's last non-blank line, so that a blank line that
        // separates it from the next section stays in between.
        qsizetype last = sectionEnd(doc, header) - 1;
        while (last > header && trimBlanks(doc.lines[last].text).isEmpty())
            --last;
        if (doc.lines[last].ending.isEmpty())
            doc.lines[last].ending = doc.newline;
        doc.lines.insert(last + 1, {keyLine, doc.newline});
    }
}

} // namespace

Result OwnWriteIniString(const QString &fileName, const QString &section,
                      const QString &key, const QString &value)
{
    return OwnWriteIniStrings(fileName, section, {{key, value}});
}

Result OwnWriteIniStrings(const QString &fileName, const QString &section,
                       const QList<std::pair<QString, QString>> &keysAndValues)
{
    const QString target = ResolveIniFileName(fileName);
    const QFileInfo info(target);
    const bool exists = info.exists() || info.isSymLink();
    Document doc;
    QByteArray old;
    // Only a plain file is read or replaced: never a pipe, device or folder.
    if (exists && !loadDocument(target, &doc, &old))
        return Result::failure(QStringLiteral("cannot read %1: not a plain file that can be read").arg(target));
    for (const auto &[key, value] : keysAndValues)
        setKey(doc, section, key, value);

    QString text;
    for (const Line &line : std::as_const(doc.lines))
        text += line.text + line.ending;
    const QByteArray bytes = encodeText(text, doc.encoding) + doc.oddByte;

    // Written beside and renamed over, so that a crash leaves the old file
    // or the new one; where that cannot be done, in place.
    QSaveFile file(target);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
        if (file.commit())
            return Result::success();
    }
    if (!exists)
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
    return writeInPlace(target, old, bytes, doc.encoding);
}

} // namespace vorn
