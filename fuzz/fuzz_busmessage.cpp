// The session bus connection's reading of what the bus sends it: any process
// on the bus can send messages to the connection's name, so every byte is a
// stranger's. The stream is cut into messages the same way whether it comes
// in one read or in many, nothing is read past a message, and a call the
// connection writes reads back as the message it is.
//
// Input: two bytes that choose the sizes of the reads, then the stream.

#include "fuzzing.h"

#include "directbus.h"

#include <vector>

using namespace vorn;

namespace {

struct Taken {
    std::vector<BusMessageHead> messages;
    BusMessageReader::Result end = BusMessageReader::NeedMore;
    qint64 left = 0;
};

// Every whole message after each read, as the connection takes them.
Taken take(QByteArrayView stream, std::uint16_t seed)
{
    Taken taken;
    BusMessageReader reader;
    quint32 state = seed;
    for (fuzz::Bytes left(stream); !left.empty() && taken.end != BusMessageReader::Broken;) {
        state = state * 1103515245u + 12345u;
        reader.append(left.take(seed == 0 ? stream.size() : qsizetype(1 + (state >> 16) % 97)));
        BusMessageHead head;
        while ((taken.end = reader.next(&head)) == BusMessageReader::Message) {
            VORN_FUZZ_CHECK(head.size >= 16);
            VORN_FUZZ_CHECK(head.errorName.size() <= head.size - 16);
            taken.messages.push_back(head);
        }
    }
    taken.left = reader.buffered();
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const std::uint16_t seed = bytes.u16();
    const QByteArrayView stream = bytes.rest();

    const Taken whole = take(stream, 0);
    const Taken pieces = take(stream, seed | 1);
    VORN_FUZZ_CHECK(whole.messages == pieces.messages && whole.end == pieces.end);
    qint64 taken = 0;
    for (const BusMessageHead &head : whole.messages)
        taken += head.size;
    // A broken stream is read no further, wherever its last read ended.
    VORN_FUZZ_CHECK(taken + whole.left == stream.size());
    VORN_FUZZ_CHECK(whole.end == BusMessageReader::Broken || pieces.left == whole.left);

    // A call made of the stream's first texts reads back whole, as a call.
    fuzz::Bytes texts(stream.first(std::min<qsizetype>(stream.size(), 512)));
    DirectBusCall call(texts.upTo('\0'), texts.upTo('\0'), texts.upTo('\0'), texts.upTo('\0'));
    call.addString(texts.upTo('\0'));
    call.addInt16(qint16(seed));
    QByteArray message = call.header(seed | 1, seed & 1);
    for (const DirectBusCall::Segment &segment : call.body())
        message.append(segment.bytes);
    BusMessageReader reader;
    reader.append(message);
    BusMessageHead head;
    VORN_FUZZ_CHECK(reader.next(&head) == BusMessageReader::Message);
    VORN_FUZZ_CHECK(head.type == 1 && head.size == message.size() && head.replySerial == 0 && reader.buffered() == 0);
    return 0;
}
