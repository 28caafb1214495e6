#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringView>

namespace vorn::store {

// Converts between a table's stored bytes and text, in the code page named by
// the table header's language-driver byte. Each call stands alone: no state
// carries over from one field to the next.
class TextCodec {
public:
    explicit TextCodec(quint8 languageDriver = 0);
    // The same code page with converters of its own: one codec is used by
    // one thread at a time.
    TextCodec(const TextCodec &other);
    TextCodec &operator=(const TextCodec &other);
    TextCodec(TextCodec &&) = default;
    TextCodec &operator=(TextCodec &&) = default;

    // The code page for a language-driver byte; Windows-1252 for 0 and for
    // bytes no table of drivers knows.
    static const char *codePageName(quint8 languageDriver);

    const char *name() const { return m_name; }
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(QStringView text) const;

private:
    const char *m_name = nullptr;
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};

} // namespace vorn::store
