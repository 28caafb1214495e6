#!/usr/bin/python3
"""usage: make_table.py OUT.dbf shapelib | make_table.py OUT_PREFIX random SEED COUNT | make_table.py OUT_PREFIX code-pages
Writes a table with shapelib's dbfcreate/dbfadd, COUNT tables of seeded random shapes with
python3-dbf, or a table per code page of a language driver or a .cpg file, and prints each as
python3-dbfread reads it: a line "table PATH", its language driver and fields, then each record
in file order, '*' first when it is marked deleted, the bytes of its fields as stored and memos as
text, each field after a '|'."""
import datetime
import math
import struct
import subprocess
import sys
import unicodedata

import dbf
import dbfread
import dbfread.codepages


def shapelib(out):
    # NAME C(12), NUM N(10,2), CNT N(6); an empty number is stored as NULL.
    subprocess.run(['dbfcreate', out, '-s', 'NAME', '12', '-n', 'NUM', '10', '2', '-n', 'CNT', '6', '0'], check=True)
    for row in [('P-100', '12.5', '7'), ('  lead', '0', '-3600'), ('', '', ''), ('abcdefghijkl', '-3.25', '86399')]:
        subprocess.run(['dbfadd', out, *row], check=True)
    yield out, [], None


def random_tables(out, seed, count):
    import random
    for n in range(count):
        rng = random.Random(f'{seed}-{n}')
        flavour = rng.choice(['db3', 'fp', 'vfp', 'clp'])
        codepage = rng.choice(['cp437', 'cp850', 'cp852', 'cp866', 'cp1250', 'cp1251', 'cp1252', 'cp936', 'cp950'])
        wide = codepage in ('cp936', 'cp950')
        letters = 'AZaz09 .-' + ('中文零件' if wide else bytes(range(0xA0, 0x100)).decode(codepage, 'replace').replace('\ufffd', ''))
        specs, makers = [], []
        for f in range(rng.randint(1, 12)):
            shape = rng.choice('CCNNDLM')
            if shape == 'C':
                length = rng.choice([1, 2, 254, rng.randint(1, 254), 300 if flavour == 'clp' else 10])
                specs.append(f'c{f} C({length})')
                makers.append(lambda l=length: ''.join(rng.choice(letters) for _ in range(rng.randint(0, l // (2 if wide else 1)))))
            elif shape == 'N':
                length = rng.randint(1, 18)
                decimals = rng.randint(0, length - 2) if length > 2 and rng.random() < 0.6 else 0
                specs.append(f'n{f} N({length},{decimals})')
                def number(length=length, decimals=decimals):
                    value = round(rng.uniform(-1, 1) * 10 ** rng.randint(0, length), decimals) + 0.0   # never -0.0
                    room = length - (decimals + 1 if decimals else 0)   # for the integer part, sign included
                    return value if len('%.0f' % math.floor(value)) <= room else 0
                makers.append(number)
            elif shape == 'D':
                specs.append(f'd{f} D')
                makers.append(lambda: datetime.date(rng.randint(1, 9999), rng.randint(1, 12), rng.randint(1, 28)))
            elif shape == 'L':
                specs.append(f'l{f} L')
                makers.append(lambda: rng.choice([True, False]))
            else:
                specs.append(f'm{f} M')
                makers.append(lambda: ''.join(rng.choice(letters) for _ in range(rng.choice([0, 1, 511, 512, 513, rng.randint(0, 3000)]))))
        if flavour == 'fp' and not any(' M' in s for s in specs):   # dbf writes no version byte for these
            specs.append('memo M')
            makers.append(lambda: 'x')
        path = f'{out}-{seed}-{n}-{flavour}-{codepage}.dbf'
        table = dbf.Table(path, '; '.join(specs), dbf_type=flavour, codepage=codepage, memo_size=rng.choice([64, 512]))
        table.open(dbf.READ_WRITE)
        deleted = []
        for r in range(rng.choice([0, 1, rng.randint(2, 12)])):
            table.append(tuple(None if rng.random() < 0.2 else make() for make in makers))
            if rng.random() < 0.3:
                dbf.delete(table[r])
                deleted.append(r)
        table.close()
        if not any(' M' in s for s in specs):   # without memos, any version byte a reader knows
            with open(path, 'r+b') as f:
                f.write(bytes([rng.choice([0x03, 0x83, 0x8B, 0x8E, 0x43, 0x63, 0xCB, 0x30, 0x31, 0x32, 0xF5, 0xFB])]))
        elif flavour == 'fp' and n % 2:   # FoxBASE's byte, with the same FoxPro memos
            with open(path, 'r+b') as f:
                f.write(b'\xfb')
        yield path, deleted, None


def character(text):
    # One character that every code page library agrees on: no control code, no private use.
    return len(text) == 1 and unicodedata.category(text) not in ('Cc', 'Co')


def every_code_page(out):
    # The high bytes that are characters of a code page, or a few words where there are none, stored
    # raw: under each language driver dbfread knows, its own table deciding what they read as (driver 0
    # is ASCII to dbfread and names no code page here); then under driver 0 beside a .cpg file naming
    # the code page as the tools that write those files spell it, Python's codec deciding.
    spellings = [('UTF-8', 'utf8'), ('gbk', 'gbk'), ('GB2312', 'gbk'), ('GB18030', 'gb18030'), ('Big5', 'cp950'),
                 ('Shift_JIS', 'cp932'), ('SJIS', 'cp932'), ('EUC-KR', 'cp949'), ('Latin1', 'latin1'),
                 ('Macintosh', 'mac_roman'), ('Windows-1257', 'cp1257'), ('ANSI 1250', 'cp1250'), ('OEM 866', 'cp866'),
                 ('CP437', 'cp437'), ('IBM850', 'cp850'), ('MS1253', 'cp1253'), ('1255', 'cp1255'),
                 ('ISO-8859-5', 'iso8859_5'), ('ISO8859_15', 'iso8859_15'), ('8859-7', 'iso8859_7'), ('iso-8859-13', 'iso8859_13')]
    # Visual FoxPro's later bytes, which dbfread does not know: French Canadian, Greek, Slovenian, Turkish, Baltic.
    drivers = sorted((d, codec) for d, (codec, _) in dbfread.codepages.codepages.items() if d)
    drivers += [(0x6C, 'cp863'), (0x86, 'cp737'), (0x87, 'cp852'), (0x88, 'cp857'), (0xCC, 'cp1257')]
    tables = [(f'driver-{d:02x}', d, codec, None) for d, codec in drivers]
    tables += [(f'cpg-{n}', 0, codec, spelling) for n, (spelling, codec) in enumerate(spellings)]
    for name, driver, codec, cpg in tables:
        high = bytes(b for b in range(0x80, 0x100) if character(bytes([b]).decode(codec, 'ignore')))
        text = high or '中文零件'.encode(codec, 'ignore')
        path = f'{out}-{name}.dbf'
        with open(path, 'wb') as f:
            f.write(struct.pack('<BBBBIHH17xB2x', 3, 126, 12, 8, 1, 65, 255, driver) + struct.pack('<11sc4xBB14x', b'T', b'C', 254, 0)
                    + b'\r ' + text.ljust(254) + b'\x1a')
        if cpg:
            with open(f'{out}-{name}.cpg', 'w') as f:
                f.write(cpg)
        yield path, [], codec


out, kind = sys.argv[1:3]
makers = {'shapelib': lambda: shapelib(out), 'code-pages': lambda: every_code_page(out),
          'random': lambda: random_tables(out, sys.argv[3], int(sys.argv[4]))}
for path, deleted, encoding in makers[kind]():
    raw = dbfread.DBF(path, raw=True, load=True, encoding=encoding)
    text = dbfread.DBF(path, load=True, encoding=encoding)
    assert len(raw.deleted) == len(deleted)
    print('table', path)
    print(f'driver {raw.header.language_driver:02x}', *(f'{f.name}:{f.type}{f.length}.{f.decimal_count}' for f in raw.fields))
    kept, gone = iter(zip(raw.records, text.records)), iter(zip(raw.deleted, text.deleted))
    for r in range(len(raw.records) + len(raw.deleted)):
        stored, read = next(gone if r in deleted else kept)
        print('*' if r in deleted else ' ', *(
            '|' + ((read[f.name] or '') if f.type == 'M' else stored[f.name].decode(raw.encoding)) for f in raw.fields), sep='')
