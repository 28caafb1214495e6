"""The cell tables the browser tests work on: dBase III files written
with nothing but the standard library, laid out as the manager writes
them (Scheduler.dbf beside Aplan.dbf and Process.dbf)."""

import os
import struct

SCHEDULE_FIELDS = [("Part", "C", 20), ("Process", "C", 20), ("Machine", "C", 15), ("Order", "C", 15),
                   ("StartP", "N", 10), ("FinishP", "N", 10), ("DurationP", "N", 10),
                   ("StartA", "N", 10), ("FinishA", "N", 10), ("DurationA", "N", 10),
                   ("StatusFini", "C", 10)]
PLAN_FIELDS = [("Order", "C", 15), ("Part", "C", 20)]
PROCESS_FIELDS = [("Process", "C", 20), ("Machine", "C", 15)]


def _cell(value, kind, length):
    text = "" if value is None else str(value)
    raw = text.encode("cp1252", "replace")[:length]
    return raw.rjust(length) if kind == "N" else raw.ljust(length)


def _record(record, fields):
    return b" " + b"".join(_cell(v, k, n) for v, (_, k, n) in zip(record, fields))


def encode(fields, records):
    """The bytes of a table holding `records` (lists of values, None for empty)."""
    header_len = 32 + 32 * len(fields) + 1
    record_len = 1 + sum(length for _, _, length in fields)
    out = bytearray(struct.pack("<BBBBIHH20x", 3, 126, 12, 7, len(records), header_len, record_len))
    for name, kind, length in fields:
        out += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), length, 0)
    out += b"\r"
    return bytes(out + b"".join(_record(r, fields) for r in records) + b"\x1a")


def write_cell(folder, records):
    """A cell's data folder with its schedule `records`
    (part, process, machine, order, ps, pf, pd, as, af, ad, status)."""
    os.makedirs(folder, exist_ok=True)
    for name, fields, rows in (("Aplan.dbf", PLAN_FIELDS, []), ("Process.dbf", PROCESS_FIELDS, []),
                               ("Scheduler.dbf", SCHEDULE_FIELDS, records)):
        temp = os.path.join(folder, name + ".new")
        with open(temp, "wb") as f:
            f.write(encode(fields, rows))
        os.replace(temp, os.path.join(folder, name))


def rewrite_record(folder, index, record):
    """Record `index` (from 0) rewritten in place, as the manager does."""
    with open(os.path.join(folder, "Scheduler.dbf"), "r+b") as f:
        f.seek(32 + 32 * len(SCHEDULE_FIELDS) + 1 + index * (1 + sum(n for _, _, n in SCHEDULE_FIELDS)))
        f.write(_record(record, SCHEDULE_FIELDS))

