#!/usr/bin/python3
"""Reads a table with Debian's python3-dbfread and prints every record as
JSON: the raw bytes of each field in hex and the value dbfread makes of it.

usage: read_with_dbfread.py TABLE.dbf
"""
import datetime
import json
import sys

import dbfread

path = sys.argv[1]
raw = dbfread.DBF(path, raw=True, load=True)
typed = dbfread.DBF(path, load=True)

def text(value):
    if value is None:
        return None
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.strftime('%Y%m%d')
    if isinstance(value, bool):
        return 'T' if value else 'F'
    return str(value)

print(json.dumps({
    'encoding': typed.encoding,
    'fields': typed.field_names,
    'records': [{'raw': [r[n].hex() for n in raw.field_names],
                 'values': [text(t[n]) for n in typed.field_names]}
                for r, t in zip(raw.records, typed.records)],
    'deleted': len(raw.deleted),
}, ensure_ascii=False))
