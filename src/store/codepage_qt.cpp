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

QString TextCodec::decodeText(QByteArrayView bytes) const
{
    return m_decoder.decode(bytes);
}

QByteArray TextCodec::encodeText(QStringView text) const
{
    return m_encoder.encode(text);
}

} // namespace vorn::store
