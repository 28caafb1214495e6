#pragma once

#include <QByteArray>
#include <QString>

namespace vorn::testing {

// Bytes as a stored text can hold them: UTF-8 text and line ends as they are,
// every other byte (a carriage return, a frame's length) as \xNN, so that
// nothing the program sent is lost or hidden in the comparison.
inline QByteArray shownBytes(const QByteArray &bytes)
{
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        const QByteArray piece = bytes.mid(i, c < 0x80 ? 1 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 2);
        const bool text = c == '\n' || (c >= 0x20 && c != 0x7f && (c < 0x80 || QString::fromUtf8(piece).toUtf8() == piece));
        out += text ? piece : "\\x" + QByteArray::number(c, 16).rightJustified(2, '0');
        i += text ? piece.size() - 1 : 0;
    }
    return out;
}

} // namespace vorn::testing
