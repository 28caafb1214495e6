#include "plantjson.h"

#include "gridcolumns.h"
#include "griddata.h"

#include <array>
#include <charconv>

namespace vorn::serve {

namespace {

void appendUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

} // namespace

void AppendJsonString(QByteArray &out, QStringView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.append('"');
    const qsizetype size = text.size();
    const QChar *const chars = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        // Most texts are plain ASCII ("08:00:00"): such a run goes in at once.
        qsizetype run = i;
        while (run < size && chars[run].unicode() >= 0x20 && chars[run].unicode() < 0x80 && chars[run] != u'"'
               && chars[run] != u'\\')
            ++run;
        if (run > i) {
            const qsizetype at = out.size();
            out.resize(at + (run - i));
            char *to = out.data() + at;
            for (qsizetype k = i; k < run; ++k)
                *to++ = char(chars[k].unicode());
            i = run - 1;
            continue;
        }
        const char16_t c = chars[i].unicode();
        if (c == u'"' || c == u'\\') {
            out.append('\\');
            out.append(char(c));
        } else if (c < 0x20) {
            switch (c) {
            case u'\n': out.append("\\n", 2); break;
            case u'\r': out.append("\\r", 2); break;
            case u'\t': out.append("\\t", 2); break;
            default: {
                const char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                out.append(escape, 6);
            }
            }
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, c);
        }
    }
    out.append('"');
}

void AppendJsonInt(QByteArray &out, qint64 value)
{
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), end - digits.data());
}

const char *SortName(Sort sort)
{
    return sort == Sort::Machine ? "machine" : "part";
}

namespace {

void appendTimes(QByteArray &out, const chart::GridData &grid, int row)
{
    for (int col = chart::PlannedStartCol; col <= chart::ActualDurationCol; ++col) {
        out.append(',');
        AppendJsonString(out, grid.text(row, col));
    }
}

} // namespace

void AppendViewRows(QByteArray &out, const chart::GridData &grid)
{
    out.append('[');
    for (int row = grid.fixedRows(); row < grid.rows(); ++row) {
        if (row > grid.fixedRows())
            out.append(',');
        out.append('[');
        AppendJsonInt(out, grid.rowOutlineLevel(row));
        out.append(',');
        AppendJsonInt(out, grid.rowData(row));
        out.append(',');
        AppendJsonString(out, grid.text(row, chart::KeyCol));
        appendTimes(out, grid, row);
        out.append(']');
    }
    out.append(']');
}

void AppendTickRow(QByteArray &out, const chart::GridData &grid, int row)
{
    out.append('[');
    AppendJsonInt(out, row - grid.fixedRows());
    appendTimes(out, grid, row);
    out.append(']');
}

} // namespace vorn::serve
