#include "secondstext.h"

#include <QMutex>

#include <charconv>
#include <cstdlib>
#include <memory>
#include <vector>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace vorn::model {

namespace {

// Characters as unsigned code units, whatever the width of the input.
template <typename Char>
constexpr unsigned unit(Char c)
{
    return static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
}

constexpr bool isSpace(unsigned c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool isDigit(unsigned c)
{
    return c >= '0' && c <= '9';
}

enum class Parse { Value, NotNumeric, OutOfRange };

// Roughly log10 of an unsigned numeric text that the grammar accepted: the
// position of its first significant digit relative to the decimal point, plus
// the exponent. Only its sign matters, to tell overflow from underflow.
qint64 decimalMagnitude(const char *text, qsizetype length)
{
    qsizetype i = 0;
    qint64 lead = 0;
    bool seenPoint = false;
    bool significant = false;
    for (; i < length && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            seenPoint = true;
        } else if (!significant && text[i] == '0') {
            if (seenPoint)
                --lead;
        } else {
            significant = true;
            if (!seenPoint)
                ++lead;
        }
    }
    if (!significant)
        return std::numeric_limits<qint32>::min();
    qint64 exponent = 0;
    bool negativeExponent = false;
    if (i < length) {
        ++i;
        if (i < length && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        for (; i < length; ++i)
            exponent = std::min<qint64>(exponent * 10 + (text[i] - '0'), qint64(1) << 40);
    }
    return lead + (negativeExponent ? -exponent : exponent);
}

// Validates the numeric grammar by hand and converts. Plain integers of up to
// nine digits, which is what the manager program writes, never reach the
// floating-point parser.
template <typename Char>
Parse parseSeconds(const Char *text, qsizetype size, qint32 *result)
{
    // What the manager writes in nearly every field: blanks, an optional minus
    // and up to nine digits, which always fit. Anything else takes the long way.
    {
        qsizetype i = 0;
        while (i < size && unit(text[i]) == ' ')
            ++i;
        const bool negative = i < size && unit(text[i]) == '-';
        i += negative;
        if (size - i >= 1 && size - i <= 9) {
            qint32 value = 0;
            for (; i < size; ++i) {
                const unsigned digit = unit(text[i]) - '0';
                if (digit > 9)
                    break;
                value = value * 10 + qint32(digit);
            }
            if (i == size) {
                *result = negative ? -value : value;
                return Parse::Value;
            }
        }
    }

    qsizetype begin = 0;
    qsizetype end = size;
    while (begin < end && isSpace(unit(text[begin])))
        ++begin;
    while (end > begin && isSpace(unit(text[end - 1])))
        --end;

    qsizetype i = begin;
    bool negative = false;
    if (i < end && (unit(text[i]) == '+' || unit(text[i]) == '-')) {
        negative = unit(text[i]) == '-';
        ++i;
    }
    const qsizetype mantissa = i;
    qsizetype intDigits = 0;
    qint64 intValue = 0;
    while (i < end && isDigit(unit(text[i]))) {
        if (intDigits < 18)
            intValue = intValue * 10 + (unit(text[i]) - '0');
        ++intDigits;
        ++i;
    }
    if (i == end) {
        if (intDigits == 0)
            return Parse::NotNumeric;
        if (intDigits <= 10) {
            const qint64 v = negative ? -intValue : intValue;
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                return Parse::OutOfRange;
            *result = static_cast<qint32>(v);
            return Parse::Value;
        }
    }
    qsizetype fracDigits = 0;
    if (i < end && unit(text[i]) == '.') {
        ++i;
        while (i < end && isDigit(unit(text[i]))) {
            ++fracDigits;
            ++i;
        }
    }
    if (intDigits + fracDigits == 0)
        return Parse::NotNumeric;
    if (i < end && (unit(text[i]) == 'e' || unit(text[i]) == 'E')) {
        ++i;
        if (i < end && (unit(text[i]) == '+' || unit(text[i]) == '-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < end && isDigit(unit(text[i]))) {
            ++expDigits;
            ++i;
        }
        if (expDigits == 0)
            return Parse::NotNumeric;
    }
    if (i != end)
        return Parse::NotNumeric;

    // The grammar is settled; hand the unsigned part to the library parser.
    // Field widths keep this within the stack buffer; a longer text is rare
    // enough to pay for a heap copy.
    const qsizetype length = end - mantissa;
    char local[128];
    std::string spill;
    char *buffer = local;
    if (length > qsizetype(sizeof local)) {
        spill.resize(size_t(length));
        buffer = spill.data();
    }
    for (qsizetype k = 0; k < length; ++k)
        buffer[k] = static_cast<char>(unit(text[mantissa + k]));
    double value = 0;
    const auto [ptr, ec] = std::from_chars(buffer, buffer + length, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large for a double is beyond any 32-bit count; too small rounds to 0.
        if (decimalMagnitude(buffer, length) > 0)
            return Parse::OutOfRange;
        *result = 0;
        return Parse::Value;
    }
    if (ec != std::errc() || ptr != buffer + length)
        return Parse::NotNumeric;
    if (negative)
        value = -value;
    // Default rounding mode: to nearest, ties to even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        return Parse::OutOfRange;
    *result = static_cast<qint32>(rounded);
    return Parse::Value;
}

// One part of "hh:mm:ss": at least two digits, a minus sign in front when negative.
char16_t *writePart(char16_t *out, int part)
{
    if (part < 0) {
        *out++ = u'-';
        part = -part;
    }
    // Parts stay below 100 within the 92-hour limit.
    *out++ = char16_t(u'0' + part / 10);
    *out++ = char16_t(u'0' + part % 10);
    return out;
}

QString formatSeconds(qint32 n, bool *overflow)
{
    if (!SecondsTextFits(n)) {
        if (overflow)
            *overflow = true;
        return {};
    }
    if (overflow)
        *overflow = false;
    if (n == 0)
        return {};
    const int h = n / 3600;
    const int m = n / 60 - h * 60;
    const int s = n - h * 3600 - m * 60;
    char16_t buffer[12];
    char16_t *p = writePart(buffer, h);
    *p++ = u':';
    p = writePart(p, m);
    *p++ = u':';
    p = writePart(p, s);
    return QString(reinterpret_cast<const QChar *>(buffer), p - buffer);
}

template <typename Char>
QString secondsText(const Char *text, qsizetype size, bool *overflow)
{
    qint32 n = 0;
    switch (parseSeconds(text, size, &n)) {
    case Parse::Value:
        return formatSeconds(n, overflow);
    case Parse::OutOfRange:
        if (overflow)
            *overflow = true;
        return {};
    case Parse::NotNumeric:
        break;
    }
    if (overflow)
        *overflow = false;
    return {};
}

template <typename Char>
std::optional<qint32> secondsValue(const Char *text, qsizetype size)
{
    qint32 n = 0;
    if (parseSeconds(text, size, &n) == Parse::Value)
        return n;
    return std::nullopt;
}

template <typename Char>
SecondsField readSecondsField(const Char *text, qsizetype size)
{
    SecondsField field;
    if (size == 0)
        return field;
    switch (parseSeconds(text, size, &field.value)) {
    case Parse::Value:
        field.kind = SecondsField::Value;
        break;
    case Parse::OutOfRange:
        field.kind = SecondsField::OutOfRange;
        break;
    case Parse::NotNumeric:
        field.kind = SecondsField::NotNumeric;
        break;
    }
    if (field.kind != SecondsField::Value)
        field.value = 0;
    return field;
}

} // namespace

SecondsField ReadSecondsField(QStringView text)
{
    return readSecondsField(text.utf16(), text.size());
}

SecondsField ReadSecondsField(QByteArrayView text)
{
    return readSecondsField(text.data(), text.size());
}

std::optional<qint32> SecondsValue(QStringView text)
{
    return secondsValue(text.utf16(), text.size());
}

std::optional<qint32> SecondsValue(QByteArrayView text)
{
    return secondsValue(text.data(), text.size());
}

QString SecondsText(QStringView text, bool *overflow)
{
    return secondsText(text.utf16(), text.size(), overflow);
}

QString SecondsText(QByteArrayView text, bool *overflow)
{
    return secondsText(text.data(), text.size(), overflow);
}

QString SecondsTextOfValue(qint64 seconds, bool *overflow)
{
    if (!SecondsTextFits(seconds)) {
        if (overflow)
            *overflow = true;
        return {};
    }
    return formatSeconds(static_cast<qint32>(seconds), overflow);
}

namespace {

// Every time text made so far, never freed: the texts handed out point into
// its blocks of characters.
class KeptTexts {
public:
    QString text(qint32 seconds)
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_index) {
            // Zeroed pages come from the system untouched: only the slots of
            // values that occur cost memory.
            m_index = static_cast<qint32 *>(std::calloc(size_t(2 * kSecondsTextLimit), sizeof(qint32)));
            if (!m_index)
                return SecondsTextOfValue(seconds);
        }
        qint32 &slot = m_index[seconds + kSecondsTextLimit];
        if (slot == 0) {
            const QString made = SecondsTextOfValue(seconds);
            m_texts.push_back(keep(made));
            slot = qint32(m_texts.size());
        }
        return m_texts[size_t(slot - 1)];
    }

private:
    QString keep(const QString &text)
    {
        const qsizetype size = text.size();
        if (m_blocks.empty() || m_used + size + 1 > BlockSize) {
            m_blocks.push_back(std::make_unique<QChar[]>(BlockSize));
            m_used = 0;
        }
        QChar *at = m_blocks.back().get() + m_used;
        std::copy(text.cbegin(), text.cend(), at);
        at[size] = QChar(0);
        m_used += size + 1;
        return QString::fromRawData(at, size);
    }

    static constexpr qsizetype BlockSize = 1 << 16;
    QMutex m_mutex;
    qint32 *m_index = nullptr;   // per value from -limit: 1 + its place in m_texts, 0 when not made
    std::vector<QString> m_texts;
    std::vector<std::unique_ptr<QChar[]>> m_blocks;
    qsizetype m_used = 0;
};

} // namespace

QString KeptSecondsText(qint32 seconds)
{
    if (seconds == 0 || !SecondsTextFits(seconds))
        return SecondsTextOfValue(seconds);
    // Made once and never destroyed: texts in the grid may outlive any
    // object with a destructor that would run at exit.
    static KeptTexts *const kept = new KeptTexts;
    return kept->text(seconds);
}

} // namespace vorn::model
