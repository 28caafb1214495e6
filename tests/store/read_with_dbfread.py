#!/usr/bin/python3
"""usage: read_with_dbfread.py TABLE.dbf... -- prints what Debian's python3-dbfread reads from each
table: a line "table PATH", how many records are marked deleted and the type, length and decimals
of each field, then the records not marked deleted, each value after a '|': dates as YYYYMMDD,
logicals as T or F, numbers with the field's decimals, nothing for a missing value."""
import datetime
import sys

import dbfread


def text(value, field):
    if value is None:
        return ''
    if isinstance(value, datetime.date):
        return value.isoformat().replace('-', '')   # years before 1000 keep four digits
    if isinstance(value, bool):
        return 'T' if value else 'F'
    return f'{value:.{field.decimal_count}f}' if field.type == 'N' else str(value)


for path in sys.argv[1:]:
    table = dbfread.DBF(path, load=True)
    print('table', path)
    print('deleted', len(table.deleted), *(f'{f.type}{f.length}.{f.decimal_count}' for f in table.fields))
    for record in table.records:
        print(*('|' + text(value, field) for value, field in zip(record.values(), table.fields)), sep='')
