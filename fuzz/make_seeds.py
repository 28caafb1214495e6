#!/usr/bin/env python3
"""Writes the generated seeds of fuzz/corpus/table, fuzz/corpus/livetable and
fuzz/corpus/busmessage (the other seeds are hand-made): schedule tables with
and without memo files, the bad tables a damaged or half-written
Scheduler.dbf can be, step scripts for the live table, and what the session
bus can send. The output is the same on every run."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

SCHEDULE_FIELDS = [("Part", "C", 10), ("Process", "C", 8), ("Machine", "C", 8), ("OrderNo", "C", 6)] \
    + [(name, "N", 10) for name in ("StartP", "FinishP", "DurP", "StartA", "FinishA", "DurA")] \
    + [("StatusFini", "C", 8)]

SCHEDULE_ROWS = [
    ["Shaft", "Turn", "Lathe1", "A17", 28800, 30600, 1800, 28900, 30700, 1800, "Finished"],
    ["Shaft", "Mill", "Mill2", "A17", 30600, 34200, 3600, 30700, None, None, "Running"],
    ["Gear", "Cut", "Lathe1", "", 30600, 32400, 1800, None, None, None, ""],
    ["Gear", "Grind", "Mill2", "", 34200, 331200, 297000, None, None, None, ""],
    ["Housing\tA", "Drill", "Robot", "B2", "1e4", " 12.5", "-3700", "0", "", "x", ""],
]


def field_bytes(value, kind, length):
    text = "" if value is None else str(value)
    data = text.encode("gbk")
    return (data.rjust(length) if kind == "N" else data.ljust(length))[:length]


def table(fields, rows, version=0x03, driver=0x57, deleted=(), count=None, header_extra=b""):
    record_length = 1 + sum(length for _, _, length in fields)
    header_length = 32 + 32 * len(fields) + 1 + len(header_extra)
    out = bytearray(struct.pack("<BBBBIHH", version, 124, 5, 6, len(rows) if count is None else count,
                                header_length, record_length))
    out += bytes(17) + bytes([driver]) + bytes(2)
    for name, kind, length in fields:
        out += name.encode().ljust(11, b"\0")[:11] + kind.encode() + bytes(4) + bytes([length % 256, 0]) + bytes(14)
    out += b"\r" + header_extra
    for i, row in enumerate(rows):
        out += b"*" if i in deleted else b" "
        if isinstance(row, (bytes, bytearray)):
            out += row
        else:
            out += b"".join(field_bytes(v, k, n) for v, (_, k, n) in zip(row, fields))
    return bytes(out + b"\x1a")


def schedule(**kwargs):
    return table(SCHEDULE_FIELDS, SCHEDULE_ROWS, **kwargs)


def schedule_with(offset, value):
    """The schedule with one 16-bit header word overwritten."""
    out = bytearray(schedule())
    struct.pack_into("<H", out, offset, value)
    return bytes(out)


def with_memo(version, pointers, memo, width=10, header_extra=b""):
    fields = SCHEDULE_FIELDS + [("Notes", "M", width)]
    rows = [row + [None] for row in SCHEDULE_ROWS[: len(pointers)]]
    body = table(fields, rows, version=version, header_extra=header_extra)
    # Memo pointers are written over the blank Notes fields.
    body = bytearray(body)
    header_length, record_length = struct.unpack_from("<HH", body, 8)
    for i, pointer in enumerate(pointers):
        at = header_length + i * record_length + record_length - width
        body[at:at + width] = pointer
    return bytes(body) + b"|MEMO|" + memo


def dbt3():
    # dBase III: 512-byte blocks, each memo ends with 1A 1A; the last one has no end mark.
    head = struct.pack("<I", 4).ljust(512, b"\0")
    return head + b"first memo\x1a\x1a".ljust(512, b" ") + b"second memo, " * 30 + b"no end"


def dbt4():
    head = struct.pack("<I", 4).ljust(20, b"\0") + struct.pack("<H", 64)
    head = head.ljust(64, b"\0")
    return head + b"\xff\xff\x08\x00" + struct.pack("<I", 8 + 5) + b"hello".ljust(56) \
        + b"\xff\xff\x08\x00" + struct.pack("<I", 0xFFFFFFF0) + b"too long"


def fpt(block=64):
    head = struct.pack(">I", 3) + b"\0\0" + struct.pack(">H", block)
    head = head.ljust(block, b"\0")
    return head + struct.pack(">II", 1, 4) + b"note".ljust(block - 8, b"\0") \
        + struct.pack(">II", 1, 1 << 31) + b"cut"


def ascii_pointer(n):
    return str(n).rjust(10).encode()


def table_seeds():
    yield "schedule.dbf", schedule()
    yield "schedule-deleted.dbf", schedule(deleted=(1, 3))
    yield "schedule-gbk-cut.dbf", table(SCHEDULE_FIELDS[:1], [("零件" * 5).encode("gbk")[:9] + b"\xc1"], driver=0x4D)
    yield "memo-dbase3", with_memo(0x83, [ascii_pointer(1), ascii_pointer(2), ascii_pointer(0), ascii_pointer(99)], dbt3())
    yield "memo-dbase4", with_memo(0x8B, [ascii_pointer(1), ascii_pointer(2), b"  abc     ", ascii_pointer(7)], dbt4())
    yield "memo-foxpro", with_memo(0xF5, [ascii_pointer(1), ascii_pointer(2), ascii_pointer(1 << 33)], fpt())
    yield "memo-vfp-binary", with_memo(0x30, [struct.pack("<I", 1), struct.pack("<I", 2), struct.pack("<I", 0xFFFFFFFF)],
                                       fpt(1), width=4, header_extra=bytes(263))
    yield "zero-bytes.dbf", b""
    yield "header-only.dbf", schedule()[:32]
    yield "header-length-past-end.dbf", schedule_with(8, 0xFFF0)
    for length in (0, 1, 65535):
        yield f"record-length-{length}.dbf", schedule_with(10, length)
    yield "fields-255.dbf", table([(f"F{i}", "C", 1) for i in range(255)], [b"x" * 255])
    yield "field-lengths-0-255.dbf", table([("Empty", "C", 0), ("Wide", "C", 255)], [b"y" * 255, b"z" * 255])
    yield "field-past-record.dbf", schedule_with(10, 20)
    yield "count-ffffffff.dbf", schedule(count=0xFFFFFFFF)


def live_seeds():
    # Steps: kind (0 truncate, 1 append, 2 rewrite, 3 read, 4 reopen, 5 recreate), a, b.
    def script(*steps):
        return bytes([len(steps)]) + b"".join(struct.pack("<BHH", *step) for step in steps)
    # The header claims every record there may be: the count is clamped to the file at each open.
    base = schedule(count=0xFFFFFFFF)
    # Grow to a few pages, open them all, cut back to the first page and read: the guard's case.
    yield "grow-open-cut-read", script((1, 20000, 16383), (1, 20000, 16383), (4, 0, 0), (0, 600, 0), (3, 0, 0)) + base
    yield "cut-then-regrow", script((0, 32000, 0), (3, 0, 0), (1, 0, 4000), (4, 0, 0), (3, 0, 0)) + base
    yield "recreate-while-open", script((1, 0, 9000), (4, 0, 0), (5, 0, 0), (0, 0, 0), (3, 0, 0), (4, 0, 0)) + base
    yield "header-rewritten", script((2, 0, 0x0010), (3, 0, 0), (2, 600, 0x8020), (4, 0, 0), (3, 0, 0)) + base


def bus_message(kind, fields, body=b"", big=False, serial=7, body_length=None, fields_length=None, mark=None):
    """One message of the bus wire; fields are (code, signature, value) with
    the value already in the wire's bytes for its type."""
    order = ">" if big else "<"
    array = bytearray()
    for code, signature, value in fields:
        array += bytes((8 - len(array) % 8) % 8)
        array += bytes([code, len(signature)]) + signature.encode() + b"\0"
        align = 8 if signature in "xtd" else 4 if signature[0] in "siuboha" else 2 if signature in "nq" else 1
        array += bytes((align - (16 + len(array)) % align) % align) + value
    head = (b"B" if big else b"l") if mark is None else mark
    out = head + struct.pack(order + "BBBIII", kind, 0, 1, len(body) if body_length is None else body_length, serial,
                             len(array) if fields_length is None else fields_length) + bytes(array)
    return out + bytes((8 - len(out) % 8) % 8) + body


def bus_seeds():
    def s(text, big=False):
        data = text.encode()
        return struct.pack(">I" if big else "<I", len(data)) + data + b"\0"

    def u(value, big=False):
        return struct.pack(">I" if big else "<I", value)

    def g(text):
        return bytes([len(text)]) + text.encode() + b"\0"

    # The seeds start with the two bytes that choose the reads' sizes.
    reads = b"\x35\x02"
    hello = bus_message(2, [(5, "u", u(1)), (6, "s", s(":1.42")), (7, "s", s("org.freedesktop.DBus")), (8, "g", g("s"))],
                        s(":1.42"))
    acquired = bus_message(4, [(1, "o", s("/org/freedesktop/DBus")), (2, "s", s("org.freedesktop.DBus")),
                               (3, "s", s("NameAcquired")), (6, "s", s(":1.42")), (8, "g", g("s"))], s(":1.42"), serial=2)
    yield "hello-reply-and-signal", reads + hello + acquired
    yield "method-call", reads + bus_message(1, [(1, "o", s("/VornScheduler/Window")), (2, "s", s("com.vorn.Scheduler")),
                                                  (3, "s", s("Close")), (6, "s", s(":1.42"))], serial=9)
    yield "error", reads + bus_message(3, [(4, "s", s("org.freedesktop.DBus.Error.ServiceUnknown")), (5, "u", u(2)),
                                           (8, "g", g("s"))], s("The name is not activatable"))
    yield "big-endian-return", reads + bus_message(2, [(5, "u", u(3, True)), (8, "g", g("n"))], b"\0\x07", big=True)
    yield "big-endian-error", reads + bus_message(3, [(5, "u", u(4, True)), (4, "s", s("x.Failed", True))], big=True)
    yield "unix-fds", reads + bus_message(2, [(5, "u", u(5)), (9, "u", u(3)), (8, "g", g("hh"))], u(0) + u(1))
    yield "odd-fields", reads + bus_message(2, [(10, "at", u(16) + bytes(4) + bytes(16)), (11, "y", b"\x01"),
                                                (12, "(ii)", bytes(8)), (5, "u", u(6))])
    yield "oversized-body", reads + bus_message(2, [(5, "u", u(1))], body_length=0x7FFFFFF8)
    yield "oversized-fields", reads + bus_message(2, [(5, "u", u(1))], fields_length=0x04000001)
    yield "fields-past-message", reads + bus_message(3, [(4, "s", s("a.b")[:3] + u(0xFFFFFFF0))])
    yield "truncated", reads + hello[:len(hello) - 3]
    yield "bad-mark", reads + bus_message(2, [(5, "u", u(1))], mark=b"x")


def main():
    for target, seeds in (("table", table_seeds), ("livetable", live_seeds), ("busmessage", bus_seeds)):
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
