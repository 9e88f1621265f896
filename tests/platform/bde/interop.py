#!/usr/bin/python3
"""Reads and writes dBase files with Debian's Python DBF libraries for the engine's tests.

  interop.py dbfread TABLE     one JSON list per record (deleted records skipped)
  interop.py dbf TABLE         the same through the dbf package
  interop.py write-db3 TABLE   writes a dBase III table with a memo through the dbf package
  interop.py write-vfp TABLE   writes a FoxPro table with an .FPT memo through the dbf package
"""
import datetime
import json
import sys


def plain(v):
    if isinstance(v, (datetime.date, datetime.datetime)):
        return v.isoformat()
    if isinstance(v, bytes):
        return v.decode('latin-1')
    return v


def emit(rows):
    for r in rows:
        print(json.dumps([plain(v) for v in r], ensure_ascii=False))


def main():
    mode, path = sys.argv[1], sys.argv[2]
    if mode == 'dbfread':
        import dbfread
        t = dbfread.DBF(path, char_decode_errors='strict')
        emit(list(r.values()) for r in t)
    elif mode == 'dbf':
        import dbf
        t = dbf.Table(path)
        t.open()
        rows = []
        for r in t:
            if dbf.is_deleted(r):
                continue
            vals = []
            for i in range(len(r)):
                v = r[i]
                if isinstance(v, str):
                    v = v.rstrip(' ')
                vals.append(v)
            rows.append(vals)
        t.close()
        emit(rows)
    elif mode in ('write-db3', 'write-vfp'):
        import dbf
        kind, cp = ('db3', 'cp866') if mode == 'write-db3' else ('vfp', 'cp1251')
        t = dbf.Table(path, 'name C(12); qty N(6,2); born D; ok L; notes M', dbf_type=kind, codepage=cp)
        t.open(mode=dbf.READ_WRITE)
        t.append(('Жук', 12.5, dbf.Date(2001, 2, 3), True, 'мемо\nтекст'))
        t.append(('plain', -3, None, False, 'x' * 700))
        t.append(('', None, None, None, ''))
        t.close()
    else:
        sys.exit('unknown mode ' + mode)


main()
