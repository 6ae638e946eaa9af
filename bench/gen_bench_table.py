#!/usr/bin/env python3
"""Writes the benchmark table with its memo file, in one of two layouts:

    gen_bench_table.py FOLDER [RECORDS] [foxpro|dbase3]

foxpro (the default): a FoxPro 2.x table (version byte 0xF5) with an .fpt memo file;
dbase3: a dBASE III table (version byte 0x83) with a .dbt memo file.
FOLDER/bench.dbf and its memo file are written; RECORDS defaults to 1,000,000. The text is
Windows Latin 1 (language driver 0x03) with accented letters and apostrophes, every record has
a memo of 30 to 250 bytes, every 50th record carries the deleted mark, and the values come from
a fixed seed, so every run writes the same bytes.

FoxPro layouts: the table header is 32 bytes (version, last update YY MM DD, record count u32,
header length u16, record length u16, flags at 28, language driver at 29), then 32-byte field
descriptors (name[11], type, offset u32, length, decimals) and 0x0D. The memo file starts with
the next free block (u32 big-endian) and the block size (u16 big-endian at offset 6); each memo
is a block holding its type (1 = text) and length (both u32 big-endian) and then the text. A
memo field holds the first block's number as 10 right-aligned digits. A dBASE III memo file
has 512-byte blocks, the next free block (u32 little-endian) at offset 0, and each memo is its
text ended by two bytes 0x1A.
"""
import random
import struct
import sys

FIELDS = [  # name, type, length, decimals
    ("ID", "N", 10, 0),
    ("NAME", "C", 40, 0),
    ("CITY", "C", 25, 0),
    ("BORN", "D", 8, 0),
    ("AMOUNT", "N", 12, 2),
    ("ACTIVE", "L", 1, 0),
    ("NOTE", "M", 10, 0),
]
BLOCK = 64
MEMO_HEADER_BLOCKS = 512 // BLOCK
DBT_BLOCK = 512

FIRST = ["Anna", "Jürgen", "Zoë", "François", "Seán", "Ærin", "José", "Renée", "Björn", "Ian"]
LAST = ["Müller", "O'Brien", "Dubois", "Øster", "García", "Smith", "Brûlé", "Nuñez", "Kowal"]
CITIES = ["München", "Besançon", "Dublin", "Ærøskøbing", "Sevilla", "Leeds", "Zürich", "Córdoba"]
WORDS = ["order", "déjà", "payé", "it's", "früh", "naïve", "façade", "client", "note", "größe",
         "memo", "año", "crème", "delivery", "Tuesday", "O'Neil", "réservé", "paid", "late"]


def text(value, width):
    data = value.encode("cp1252")[:width]
    return data + b" " * (width - len(data))


def number(value, width):
    data = value.encode("ascii")
    assert len(data) <= width
    return b" " * (width - len(data)) + data


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    layout = sys.argv[3] if len(sys.argv) > 3 else "foxpro"
    if layout not in ("foxpro", "dbase3"):
        sys.exit(f"unknown layout {layout}: foxpro or dbase3")
    dbase3 = layout == "dbase3"
    block = DBT_BLOCK if dbase3 else BLOCK
    rnd = random.Random(20240601)

    header_length = 32 + 32 * len(FIELDS) + 1
    record_length = 1 + sum(f[2] for f in FIELDS)
    header = bytearray(32)
    header[0] = 0x83 if dbase3 else 0xF5
    header[1:4] = bytes([124, 6, 1])
    struct.pack_into("<IHH", header, 4, count, header_length, record_length)
    header[28] = 0 if dbase3 else 0x02  # FoxPro: the table has a memo file
    header[29] = 0x03  # Windows Latin 1
    descriptors = bytearray()
    offset = 1
    for name, kind, length, decimals in FIELDS:
        d = bytearray(32)
        d[0:len(name)] = name.encode("ascii")
        d[11] = ord(kind)
        struct.pack_into("<I", d, 12, offset)
        d[16] = length
        d[17] = decimals
        descriptors += d
        offset += length

    next_block = 1 if dbase3 else MEMO_HEADER_BLOCKS
    memo_name = f"{folder}/bench.dbt" if dbase3 else f"{folder}/bench.fpt"
    with open(f"{folder}/bench.dbf", "wb") as dbf, open(memo_name, "wb") as fpt:
        dbf.write(header + descriptors + b"\r")
        fpt.write(b"\0" * (next_block * block))
        records = []
        for i in range(1, count + 1):
            memo = " ".join(rnd.choice(WORDS) for _ in range(rnd.randint(4, 30)))
            memo = memo.encode("cp1252")[:250]
            if dbase3:
                stored = memo + b"\x1a\x1a"
            else:
                stored = struct.pack(">II", 1, len(memo)) + memo
            blocks = (len(stored) + block - 1) // block
            fpt.write(stored.ljust(blocks * block, b"\0"))
            rec = b"".join((
                b"*" if i % 50 == 0 else b" ",
                number(str(i), 10),
                text(f"{rnd.choice(FIRST)} {rnd.choice(LAST)}", 40),
                text(rnd.choice(CITIES), 25),
                b"%04d%02d%02d" % (rnd.randint(1920, 2010), rnd.randint(1, 12), rnd.randint(1, 28)),
                number("%.2f" % (rnd.randint(-10_000_000, 100_000_000) / 100), 12),
                rnd.choice((b"T", b"F")),
                number(str(next_block), 10),
            ))
            assert len(rec) == record_length
            next_block += blocks
            records.append(rec)
            if len(records) == 10_000:
                dbf.write(b"".join(records))
                records.clear()
        dbf.write(b"".join(records) + b"\x1a")
        fpt.seek(0)
        if dbase3:
            fpt.write(struct.pack("<I", next_block))
        else:
            fpt.write(struct.pack(">IHH", next_block, 0, BLOCK))


if __name__ == "__main__":
    main()
