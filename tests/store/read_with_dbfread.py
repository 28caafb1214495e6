#!/usr/bin/python3
"""usage: read_with_dbfread.py TABLE.dbf... -- prints, as JSON, the values Debian's
python3-dbfread reads from the records not marked deleted of each table, how many are marked,
and the type, length and decimals of each field."""
import datetime
import json
import sys

import dbfread

def text(value):
    if isinstance(value, datetime.date):
        return value.isoformat().replace('-', '')   # years before 1000 keep four digits
    if isinstance(value, bool):
        return 'T' if value else 'F'
    return None if value is None else str(value)

tables = [dbfread.DBF(path, load=True) for path in sys.argv[1:]]
print(json.dumps({'tables': [{'records': [[text(v) for v in record.values()] for record in table.records],
                              'deleted': len(table.deleted),
                              'shapes': [f'{f.type}{f.length}.{f.decimal_count}' for f in table.fields]} for table in tables]}, ensure_ascii=False))
