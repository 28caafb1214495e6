#include "codepage.h"

#include <windows.h>

// Table text through the system's code pages: a Qt for Windows without ICU
// has converters for UTF-8 and Latin-1 alone. Bytes that stand for no
// character read as on Linux, so that a damaged table shows the same text on
// both.

namespace vorn::store {

namespace {

constexpr UINT gb18030 = 54936;

// Qt's own converter for UTF-8 and Latin-1: the same on every system.
std::optional<QStringConverter::Encoding> builtInEncoding(int codePage)
{
    return QStringConverter::encodingForName(TextCodec::converterName(codePage));
}

// How many bytes the character at `at` (of `left` bytes) takes.
int charSize(UINT codePage, const char *at, qsizetype left)
{
    const auto byte = [at](int i) { return uchar(at[i]); };
    if (codePage == gb18030 && byte(0) >= 0x81 && byte(0) <= 0xFE && left >= 2 && byte(1) >= 0x30 && byte(1) <= 0x39)
        return 4;
    if (codePage == gb18030 ? byte(0) >= 0x81 && byte(0) <= 0xFE : IsDBCSLeadByteEx(codePage, byte(0)))
        return 2;
    return 1;
}

} // namespace

TextCodec::TextCodec(int codePage)
    : m_codePage(converterName(codePage) ? codePage : fallbackCodePage)
{
    const auto encoding = builtInEncoding(m_codePage);
    if (encoding || !IsValidCodePage(UINT(m_codePage))) {
        // A code page the system lacks reads as Latin-1, as on a Qt without ICU.
        m_decoder = QStringDecoder(encoding.value_or(QStringConverter::Latin1), QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(encoding.value_or(QStringConverter::Latin1), QStringConverter::Flag::Stateless);
    }
}

TextCodec::TextCodec(const TextCodec &other)
    : TextCodec(other.m_codePage)
{
}

QString TextCodec::decodeText(QByteArrayView bytes) const
{
    if (m_decoder.isValid())
        return m_decoder.decode(bytes);
    const UINT codePage = UINT(m_codePage);
    // No code page of a table gives more UTF-16 units than it has bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    auto *out = reinterpret_cast<wchar_t *>(text.data());
    const auto convert = [&](const char *from, qsizetype size, qsizetype done) {
        return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, from, int(size), out + done, int(bytes.size() - done));
    };
    if (const int length = convert(bytes.data(), bytes.size(), 0); length > 0) {
        text.truncate(length);
        return text;
    }
    // Character by character, as the Linux build's converters go: half a
    // character at the end is dropped; a character the code page lacks is
    // U+FFFD, and a byte no code page has after a lead byte (below 0x40,
    // DEL, 0xFF) starts the next one.
    qsizetype length = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const char *at = bytes.data() + i;
        int size = charSize(codePage, at, bytes.size() - i);
        if (size > bytes.size() - i)
            break;
        if (const int n = convert(at, size, length); n > 0) {
            length += n;
        } else {
            out[length++] = QChar::ReplacementCharacter;
            if (const uchar next = uchar(at[1]); size > 1 && (next < 0x40 || next == 0x7F || next == 0xFF))
                size = 1;
        }
        i += size;
    }
    text.truncate(length);
    return text;
}

QByteArray TextCodec::encodeText(QStringView text) const
{
    if (m_encoder.isValid())
        return m_encoder.encode(text);
    const UINT codePage = UINT(m_codePage);
    // Best fit would store "A" for "Ā"; a character the code page lacks is
    // its default character instead. GB18030 has them all and takes no flags.
    const DWORD flags = codePage == gb18030 ? 0 : WC_NO_BEST_FIT_CHARS;
    const auto *from = reinterpret_cast<const wchar_t *>(text.utf16());
    const int size = WideCharToMultiByte(codePage, flags, from, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(std::max(size, 0), Qt::Uninitialized);
    WideCharToMultiByte(codePage, flags, from, int(text.size()), bytes.data(), int(bytes.size()), nullptr, nullptr);
    return bytes;
}

} // namespace vorn::store
