#!/usr/bin/python3
"""usage: make_table.py OUT.dbf shapelib | make_table.py OUT.dbf db3|fp|vfp CODEPAGE [LANGUAGE_DRIVER_HEX]
Writes a table with shapelib's dbfcreate/dbfadd or python3-dbf and prints, as
JSON, the values it holds, so that a reader can be checked field by field."""
import datetime
import json
import subprocess
import sys

out, kind = sys.argv[1:3]
if kind == 'shapelib':
    # NAME C(12), NUM N(10,2), CNT N(6); an empty number is stored as NULL.
    rows = [('P-100', '12.5', '7'), ('  lead', '0', '-3600'), ('', '', ''), ('abcdefghijkl', '-3.25', '86399')]
    subprocess.run(['dbfcreate', out, '-s', 'NAME', '12', '-n', 'NUM', '10', '2', '-n', 'CNT', '6', '0'], check=True)
    for row in rows:
        subprocess.run(['dbfadd', out, *row], check=True)
    print(json.dumps({'fields': ['NAME', 'NUM', 'CNT'], 'records': [
        {'deleted': False, 'values': [r[0].ljust(12)] + [float(v) if v else None for v in r[1:]]} for r in rows]}))
    sys.exit()

import dbf

codepage = sys.argv[3]
chinese = codepage == 'cp936'
layout = 'part C(12); machine C(8); startp N(10,0); durp N(8,2); day D; note M'
rows = [
    ('P-100', 'M1', 3600, 12.5, datetime.date(2024, 2, 29), 'first memo'),
    ('  lead', 'M2    ', 0, 0.25, None, ''),
    ('', '', None, None, None, 'line one\r\nline two'),
    ('x' * 12, 'WIDE1234', -7200, -3.75, datetime.date(1999, 12, 31), 'm' * 700),
    ('中文零件' if chinese else 'caf\u00e9', '机床' if chinese else '\u00c4\u00d6', 86399, 1.0,
     datetime.date(2000, 1, 1), '备注' if chinese else '\u00e9t\u00e9'),
]
deleted = 2
table = dbf.Table(out, layout, dbf_type=kind, codepage=codepage)
table.open(dbf.READ_WRITE)
for row in rows:
    table.append(row)
dbf.delete(table[deleted])
table.close()
if len(sys.argv) > 4:   # a language driver other than the one dbf picks for the code page
    with open(out, 'r+b') as f:
        f.seek(29)
        f.write(bytes([int(sys.argv[4], 16)]))

def expected(value):
    if isinstance(value, datetime.date):
        return value.strftime('%Y%m%d')
    return float(value) if isinstance(value, (int, float)) else value

# What dbf itself reads back is what it wrote (it drops leading blanks of
# character values on the way in, for one).
table.open(dbf.READ_ONLY)
print(json.dumps({'fields': [f.split()[0].upper() for f in layout.split(';')], 'records': [
    {'deleted': i == deleted, 'values': [expected(v) for v in record]} for i, record in enumerate(table)]},
    ensure_ascii=False))
