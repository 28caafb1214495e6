#include "codepage.h"

#include "ansicodepage.h"
#include "filename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace vorn::store {

namespace {

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// The number `text` spells, as long as it is digits alone; -1 otherwise.
int digitsValue(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 6)
        return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "8859-1" ... "8859-15" in any of their spellings ("88591", "ISO-8859-1",
// "ISO8859_15"), after the separators are gone.
int isoCodePage(QByteArrayView text)
{
    if (text.startsWith("ISO"))
        text = text.sliced(3);
    if (!text.startsWith("8859"))
        return 0;
    const int part = digitsValue(text.sliced(4));
    return part > 0 && part <= 16 ? 28590 + part : 0;
}

} // namespace

int CodePageOfDriver(quint8 languageDriver)
{
    // The dBase / FoxPro language-driver bytes. Several drivers share a code
    // page and differ only in their collation, which a reader does not need.
    switch (languageDriver) {
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15:
    case 0x18: case 0x19: case 0x1B:
        return 437;
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16:
    case 0x1A: case 0x1D: case 0x25: case 0x37:
        return 850;
    case 0x03: case 0x57: case 0x58: case 0x59:
        return 1252;
    case 0x04:
        return 10000;
    case 0x08: case 0x17: case 0x66:
        return 865;
    case 0x13: case 0x7B:
        return 932;
    case 0x1C: case 0x6C:
        return 863;
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87:
        return 852;
    case 0x24:
        return 860;
    case 0x26: case 0x65:
        return 866;
    case 0x4D: case 0x7A:
        return 936;
    case 0x4E: case 0x79:
        return 949;
    case 0x4F: case 0x78:
        return 950;
    case 0x50: case 0x7C:
        return 874;
    case 0x67:
        return 861;
    case 0x6A: case 0x86:
        return 737;
    case 0x6B: case 0x88:
        return 857;
    case 0x7D:
        return 1255;
    case 0x7E:
        return 1256;
    case 0x96:
        return 10007;
    case 0x97:
        return 10029;
    case 0x98:
        return 10006;
    case 0xC8:
        return 1250;
    case 0xC9:
        return 1251;
    case 0xCA:
        return 1254;
    case 0xCB:
        return 1253;
    case 0xCC:
        return 1257;
    default:
        return 0;
    }
}

int CodePageOfCpg(QByteArrayView text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    // One name, often behind a line end; the separators inside it vary from
    // tool to tool ("ANSI 1252", "Windows-1252", "ISO_8859-1") and are dropped.
    QByteArray name;
    for (char c : text.trimmed()) {
        if (c != ' ' && c != '-' && c != '_')
            name += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    static const struct {
        const char *name;
        int codePage;
    } names[] = {
        {"UTF8", 65001}, {"GBK", 936}, {"GB2312", 936}, {"GB18030", 54936}, {"BIG5", 950},
        {"SHIFTJIS", 932}, {"SJIS", 932}, {"EUCKR", 949}, {"LATIN1", 28591}, {"MACINTOSH", 10000},
    };
    int codePage = 0;
    for (const auto &known : names) {
        if (name == known.name)
            codePage = known.codePage;
    }
    for (const char *prefix : {"WINDOWS", "ANSI", "OEM", "CP", "IBM", "MS", ""}) {
        if (codePage == 0 && name.startsWith(prefix))
            codePage = std::max(0, digitsValue(QByteArrayView(name).sliced(qstrlen(prefix))));
    }
    if (const int iso = isoCodePage(name))
        codePage = iso;
    return TextCodec::converterName(codePage) ? codePage : 0;
}

QString CodePageFileOf(const QString &tablePath)
{
    const QFileInfo table(tablePath);
    return FindFileIgnoringCase(table.dir().filePath(table.completeBaseName() + QStringLiteral(".cpg")));
}

int TableCodePage(quint8 languageDriver, const QString &tablePath)
{
    if (const int codePage = CodePageOfDriver(languageDriver))
        return codePage;
    if (!tablePath.isEmpty()) {
        const QString sidecar = CodePageFileOf(tablePath);
        QFile file;
        // A name and a line end; more is not a .cpg file.
        if (!sidecar.isEmpty() && OpenPlainFile(file, sidecar).ok()) {
            if (const int codePage = CodePageOfCpg(file.read(64)))
                return codePage;
        }
    }
    for (const int codePage : {AnsiCodePage(), SystemAnsiCodePage()}) {
        if (TextCodec::converterName(codePage))
            return codePage;
    }
    return TextCodec::fallbackCodePage;
}

const char *TextCodec::converterName(int codePage)
{
    switch (codePage) {
    case 437: return "IBM437";
    case 737: return "IBM737";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 857: return "IBM857";
    case 860: return "IBM860";
    case 861: return "IBM861";
    case 863: return "IBM863";
    case 865: return "IBM865";
    case 866: return "IBM866";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    case 10006: return "x-mac-greek";
    case 10007: return "x-mac-cyrillic";
    case 10029: return "x-mac-centraleurroman";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    case 54936: return "GB18030";
    case 65001: return "UTF-8";
    default: return nullptr;
    }
}

TextCodec &TextCodec::operator=(const TextCodec &other)
{
    if (this != &other)
        *this = TextCodec(other);
    return *this;
}

QString TextCodec::decode(QByteArrayView bytes) const
{
    // Every code page a table may be in keeps ASCII as it is, and almost
    // every schedule field is plain ASCII: skip the converter for those.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    return decodeText(bytes);
}

QByteArray TextCodec::encode(QStringView text) const
{
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return text.toLatin1();
    return encodeText(text);
}

} // namespace vorn::store
