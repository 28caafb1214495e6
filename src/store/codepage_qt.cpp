#include "codepage.h"

// Table text through Qt's converters, which ICU gives every code page of the
// tables.

namespace vorn::store {

TextCodec::TextCodec(int codePage)
    : m_codePage(converterName(codePage) ? codePage : fallbackCodePage)
    , m_decoder(converterName(m_codePage), QStringConverter::Flag::Stateless)
    , m_encoder(converterName(m_codePage), QStringConverter::Flag::Stateless)
{
    // A Qt built without ICU knows only the UTF and Latin-1 converters; the
    // Windows code page is then the closest one it has.
    if (!m_decoder.isValid() || !m_encoder.isValid()) {
        m_decoder = QStringDecoder(converterName(fallbackCodePage), QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(converterName(fallbackCodePage), QStringConverter::Flag::Stateless);
        if (!m_decoder.isValid() || !m_encoder.isValid()) {
            m_decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
            m_encoder = QStringEncoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
        }
    }
}

TextCodec::TextCodec(const TextCodec &other)
    : m_codePage(other.m_codePage)
    , m_decoder(other.m_decoder.name(), QStringConverter::Flag::Stateless)
    , m_encoder(other.m_encoder.name(), QStringConverter::Flag::Stateless)
{
}

namespace {

// ICU's tables of these OEM code pages differ from Windows' in one byte:
// 0xE6 is the Greek small mu where Windows has the micro sign, and 852 has
// nothing at 0xAA where Windows has the not sign. Both are single-byte code
// pages, so byte i is character i on either side of the converter.
struct IcuDifference {
    uchar byte = 0;
    char16_t windows = 0;
};

IcuDifference icuDifference(int codePage)
{
    switch (codePage) {
    case 437: case 860: case 861: case 863: case 865:
        return {0xE6, u'\u00B5'};
    case 852:
        return {0xAA, u'\u00AC'};
    default:
        return {};
    }
}

} // namespace

QString TextCodec::decodeText(QByteArrayView bytes) const
{
    QString text = m_decoder.decode(bytes);
    const IcuDifference difference = icuDifference(m_codePage);
    for (qsizetype i = 0; difference.byte && i < bytes.size() && text.size() == bytes.size(); ++i) {
        if (uchar(bytes[i]) == difference.byte)
            text[i] = QChar(difference.windows);
    }
    return text;
}

QByteArray TextCodec::encodeText(QStringView text) const
{
    QByteArray bytes = m_encoder.encode(text);
    const IcuDifference difference = icuDifference(m_codePage);
    for (qsizetype i = 0; difference.byte && i < text.size() && bytes.size() == text.size(); ++i) {
        if (text[i] == QChar(difference.windows))
            bytes[i] = char(difference.byte);
    }
    return bytes;
}

} // namespace vorn::store
