#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringView>

namespace vorn::store {

// Code pages are named by their Windows numbers: 1252, 936, 65001 ...

// The code page a table header's language-driver byte names; 0 for 0 and for
// bytes no table of drivers knows.
int CodePageOfDriver(quint8 languageDriver);

// The code page a .cpg file names, in the spellings GIS tools and office
// suites write ("CP936", "936", "GBK", "ANSI 1252", "Windows-1252", "UTF-8",
// "OEM 850", "88591" ...), without regard to case, blanks or a byte-order
// mark around it; 0 when it names none this program knows.
int CodePageOfCpg(QByteArrayView text);

// The .cpg file beside a table (same base name, any case); empty when there
// is none.
QString CodePageFileOf(const QString &tablePath);

// The code page of a table's text: the language-driver byte's; when that
// names none, the one a .cpg file beside the table names (same base name, any
// case; `tablePath` empty: none); else the ANSI code page (AnsiCodePage()),
// and 1252 where that is none this program knows either. Text written into
// the table goes the same way.
int TableCodePage(quint8 languageDriver, const QString &tablePath);

// Converts between a table's stored bytes and text in one code page. Each
// call stands alone: no state carries over from one field to the next.
class TextCodec {
public:
    // The code page used where none this program knows is named.
    static constexpr int fallbackCodePage = 1252;

    explicit TextCodec(int codePage = fallbackCodePage);
    // The same code page with converters of its own: one codec is used by
    // one thread at a time.
    TextCodec(const TextCodec &other);
    TextCodec &operator=(const TextCodec &other);
    TextCodec(TextCodec &&) = default;
    TextCodec &operator=(TextCodec &&) = default;

    // The converter of a code page; nullptr for one this program does not know.
    static const char *converterName(int codePage);

    // The code page asked for, also where a Qt without ICU had to convert
    // with a neighbour of it.
    int codePage() const { return m_codePage; }
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(QStringView text) const;

private:
    // Implemented once per platform, chosen by the build: text that is not
    // plain ASCII, to and from the code page.
    QString decodeText(QByteArrayView bytes) const;
    QByteArray encodeText(QStringView text) const;

    int m_codePage = fallbackCodePage;
    // Qt's converters where they serve the code page: every one with ICU,
    // only UTF-8 and Latin-1 without it. Where they are not valid, the
    // platform converts on its own.
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};

} // namespace vorn::store
