#!/usr/bin/python3
"""Writes a table with Debian's python3-dbf and prints, as JSON, what dbf
reads back from it, so that a reader can be checked field by field.

usage: make_pydbf_table.py OUT.dbf KIND CODEPAGE [LANGUAGE_DRIVER]
KIND is db3, fp or vfp; CODEPAGE a python-dbf code page (cp1252, cp936);
LANGUAGE_DRIVER (hex) overwrites the header byte dbf chose for the code page.
"""
import datetime
import json
import sys

import dbf

out, kind, codepage = sys.argv[1], sys.argv[2], sys.argv[3]
driver = int(sys.argv[4], 16) if len(sys.argv) > 4 else None

chinese = codepage == 'cp936'
spec = 'part C(12); machine C(8); startp N(10,0); durp N(8,2); day D; note M'
rows = [
    ('P-100', 'M1', 3600, 12.5, datetime.date(2024, 2, 29), 'first memo'),
    ('  lead', 'M2    ', 0, 0.25, None, ''),
    ('', '', None, None, None, 'line one\r\nline two'),
    ('x' * 12, 'WIDE1234', -7200, -3.75, datetime.date(1999, 12, 31), 'm' * 700),
    ('中文零件' if chinese else 'caf\u00e9', '机床' if chinese else '\u00c4\u00d6', 86399, 1.0,
     datetime.date(2000, 1, 1), '备注' if chinese else '\u00e9t\u00e9'),
]
deleted = {2}

table = dbf.Table(out, spec, dbf_type=kind, codepage=codepage)
table.open(dbf.READ_WRITE)
for i, row in enumerate(rows):
    table.append(row)
    if i in deleted:
        dbf.delete(table[-1])
table.close()

if driver is not None:
    with open(out, 'r+b') as f:
        f.seek(29)
        f.write(bytes([driver]))

def expected(value):
    if value is None:
        return None
    if isinstance(value, datetime.date):
        return value.strftime('%Y%m%d')
    if isinstance(value, (int, float)):
        return float(value)
    return str(value)

# What dbf itself reads back is what it wrote (it drops leading blanks of
# character values on the way in, for one).
table.open(dbf.READ_ONLY)
written = [[expected(v) for v in record] for record in table]
table.close()

print(json.dumps({
    'fields': [f.split()[0].upper() for f in spec.split(';')],
    'records': [{'deleted': i in deleted, 'values': values} for i, values in enumerate(written)],
}, ensure_ascii=False))
