// The command line the manager (or a user) starts the program with: free
// text, "/x /y /cx /cy" placement, "/T" and "/H". Arbitrary arguments must
// parse without harm; a line built from a text without switches and four
// placement values must give back exactly that text and those values.
//
// Input: the arguments separated by NUL bytes; the last nine bytes also give
// the placement values and "/T".

#include "fuzzing.h"

#include "commandline.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    QStringList arguments;
    while (!bytes.empty())
        arguments.append(QString::fromUtf8(bytes.upTo('\0')));
    const QString line = CommandLineText(arguments);
    CommandText(line);
    IsHosted(line);
    ParsePlacement(line);

    fuzz::Bytes tail(data + size - std::min<std::size_t>(size, 9), std::min<std::size_t>(size, 9));
    // A braced list reads its bytes in order.
    const Placement want{qint16(tail.u16()), qint16(tail.u16()), qint16(tail.u16()), qint16(tail.u16()),
                         bool(tail.u8() & 1)};
    QString text = arguments.value(0);
    text.remove(u' ').remove(u'/');
    // Joined, not formatted: the text may hold "%1".
    const QString built = text + QStringLiteral(" /x%1 /y%2 /cx%3 /cy%4 ").arg(want.x).arg(want.y).arg(want.cx).arg(want.cy)
        + (want.topMost ? QStringLiteral("/T /H") : QStringLiteral("/h"));
    VORN_FUZZ_CHECK(ParsePlacement(built) == want);
    VORN_FUZZ_CHECK(CommandText(built) == text);
    VORN_FUZZ_CHECK(IsHosted(built));
    return 0;
}
