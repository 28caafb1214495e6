"""The cell tables the browser tests work on, laid out as the manager writes
them (Scheduler.dbf beside Aplan.dbf and Process.dbf), by python3-dbf."""

import os

import dbf

SCHEDULE_FIELDS = ("Part C(20); Process C(20); Machine C(15); Order C(15); StartP N(10,0); FinishP N(10,0); "
                   "DurationP N(10,0); StartA N(10,0); FinishA N(10,0); DurationA N(10,0); StatusFini C(10)")


def write_cell(folder, records):
    """A cell's data folder with its schedule `records` (part, process, machine,
    order, ps, pf, pd, as, af, ad, status; None for empty), each table replaced whole."""
    os.makedirs(folder, exist_ok=True)
    for name, fields, rows in (("Aplan", "Order C(15); Part C(20)", []), ("Process", "Process C(20); Machine C(15)", []),
                               ("Scheduler", SCHEDULE_FIELDS, records)):
        with dbf.Table(os.path.join(folder, name + ".new.dbf"), fields, dbf_type="db3") as table:
            for row in rows:
                table.append(tuple(row))
        os.replace(table.filename, os.path.join(folder, name + ".dbf"))


def rewrite_record(folder, index, record):
    """Record `index` (from 0) rewritten in place, as the manager does."""
    with dbf.Table(os.path.join(folder, "Scheduler.dbf")) as table:
        dbf.write(table[index], **dict(zip(table.field_names, record)))
