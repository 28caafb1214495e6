#include "codepage.h"

namespace vorn::store {

namespace {

const char *const fallbackCodePage = "windows-1252";

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

const char *TextCodec::codePageName(quint8 languageDriver)
{
    // The dBase / FoxPro language-driver bytes. Several drivers share a code
    // page and differ only in their collation, which a reader does not need.
    switch (languageDriver) {
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15:
    case 0x18: case 0x19: case 0x1B:
        return "IBM437";
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16:
    case 0x1A: case 0x1D: case 0x25: case 0x37:
        return "IBM850";
    case 0x03: case 0x57: case 0x58: case 0x59:
        return "windows-1252";
    case 0x04:
        return "macintosh";
    case 0x08: case 0x17: case 0x66:
        return "IBM865";
    case 0x13: case 0x7B:
        return "Shift_JIS";
    case 0x1C: case 0x6C:
        return "IBM863";
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87:
        return "IBM852";
    case 0x24:
        return "IBM860";
    case 0x26: case 0x65:
        return "IBM866";
    case 0x4D: case 0x7A:
        return "GBK";
    case 0x4E: case 0x79:
        return "windows-949";
    case 0x4F: case 0x78:
        return "Big5";
    case 0x50: case 0x7C:
        return "windows-874";
    case 0x67:
        return "IBM861";
    case 0x6A: case 0x86:
        return "IBM737";
    case 0x6B: case 0x88:
        return "IBM857";
    case 0x7D:
        return "windows-1255";
    case 0x7E:
        return "windows-1256";
    case 0x96:
        return "x-mac-cyrillic";
    case 0x97:
        return "x-mac-centraleurroman";
    case 0x98:
        return "x-mac-greek";
    case 0xC8:
        return "windows-1250";
    case 0xC9:
        return "windows-1251";
    case 0xCA:
        return "windows-1254";
    case 0xCB:
        return "windows-1253";
    case 0xCC:
        return "windows-1257";
    default:
        return fallbackCodePage;
    }
}

TextCodec::TextCodec(quint8 languageDriver)
    : m_name(codePageName(languageDriver))
    , m_decoder(m_name, QStringConverter::Flag::Stateless)
    , m_encoder(m_name, QStringConverter::Flag::Stateless)
{
    // A Qt built without ICU knows only the UTF and Latin-1 converters; the
    // Windows code page is then the closest one it has.
    if (!m_decoder.isValid() || !m_encoder.isValid()) {
        m_name = fallbackCodePage;
        m_decoder = QStringDecoder(m_name, QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(m_name, QStringConverter::Flag::Stateless);
        if (!m_decoder.isValid() || !m_encoder.isValid()) {
            m_decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
            m_encoder = QStringEncoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
        }
    }
}

TextCodec::TextCodec(const TextCodec &other)
    : m_name(other.m_name)
    , m_decoder(other.m_decoder.name(), QStringConverter::Flag::Stateless)
    , m_encoder(other.m_encoder.name(), QStringConverter::Flag::Stateless)
{
}

TextCodec &TextCodec::operator=(const TextCodec &other)
{
    if (this != &other)
        *this = TextCodec(other);
    return *this;
}

QString TextCodec::decode(QByteArrayView bytes) const
{
    // Every code page a driver byte names keeps ASCII as it is, and almost
    // every schedule field is plain ASCII: skip the converter for those.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    return m_decoder.decode(bytes);
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
    return m_encoder.encode(text);
}

} // namespace vorn::store
