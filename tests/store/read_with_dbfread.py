#!/usr/bin/python3
"""usage: read_with_dbfread.py TABLE.dbf -- prints, as JSON, the values Debian's
python3-dbfread reads from the records not marked deleted, and how many are marked."""
import datetime
import json
import sys

import dbfread

def text(value):
    if isinstance(value, datetime.date):
        return value.strftime('%Y%m%d')
    if isinstance(value, bool):
        return 'T' if value else 'F'
    return None if value is None else str(value)

table = dbfread.DBF(sys.argv[1], load=True)
print(json.dumps({'records': [[text(v) for v in record.values()] for record in table.records],
                  'deleted': len(table.deleted)}, ensure_ascii=False))
