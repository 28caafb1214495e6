#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace vorn::model {

// Time values of the schedule table are whole seconds written as text. A text
// counts as numeric when it is: optional white space, an optional sign, digits
// with an optional decimal point (at least one digit), an optional exponent
// ("e" or "E", optional sign, digits), optional white space. Nothing else:
// no thousands separators, no hexadecimal, no "inf"/"nan". The C locale's
// decimal point "." is the only one.
//
// None of these functions throws or allocates, except for the QString that
// SecondsText returns. They are called several times per record of every fill
// and every refresh.

// The whole number of seconds held by a numeric text, rounded to the nearest
// (a half goes to the even neighbour). std::nullopt when the text is not
// numeric or the rounded value does not fit a signed 32-bit integer.
std::optional<qint32> SecondsValue(QStringView text);
std::optional<qint32> SecondsValue(QByteArrayView text);   // ASCII bytes; any other byte is not numeric

// What a time text holds, read once: the refresh compares it with what the
// last tick read instead of writing the same texts again.
struct SecondsField {
    enum Kind : quint8 { Empty, NotNumeric, OutOfRange, Value };
    Kind kind = Empty;   // Empty: no character at all (after the caller's trimming)
    qint32 value = 0;    // for Value
    std::optional<qint32> number() const { return kind == Value ? std::optional<qint32>(value) : std::nullopt; }
    friend bool operator==(const SecondsField &, const SecondsField &) = default;
};
SecondsField ReadSecondsField(QStringView text);
SecondsField ReadSecondsField(QByteArrayView text);

// Seconds as "hh:mm:ss"; each part has at least two digits and a negative part
// carries its own minus sign ("-01:-01:-40" for -3700). Zero, an empty text and
// a non-numeric text give the empty text.
//
// Hours of 92 or more (or -92 or less, i.e. |seconds| >= 331200) cannot be
// written: the result is then empty and *overflow, when given, is set to true.
// A numeric text beyond the 32-bit range counts as such an overflow as well.
// *overflow is set to false in every other case.
QString SecondsText(QStringView text, bool *overflow = nullptr);
QString SecondsText(QByteArrayView text, bool *overflow = nullptr);

// The same for a computed number of seconds (a group's earliest start, a
// difference of two aggregates): SecondsText of its decimal text.
QString SecondsTextOfValue(qint64 seconds, bool *overflow = nullptr);

// Hours from which SecondsText reports an overflow.
inline constexpr qint32 kSecondsTextLimit = 92 * 3600;

// Whether SecondsText can write `seconds` (zero, the empty text, included).
constexpr bool SecondsTextFits(qint64 seconds)
{
    return seconds < kSecondsTextLimit && seconds > -kSecondsTextLimit;
}

// SecondsTextOfValue of a value that can be written (not 0, |seconds| below
// the limit), from a store the process keeps to its end: the text holds no
// reference count, so that the million cells of a large schedule can share
// the few thousand texts of its times without touching a shared counter for
// every cell they are copied into, and freeing them costs nothing either.
// Safe from any thread.
QString KeptSecondsText(qint32 seconds);

} // namespace vorn::model
