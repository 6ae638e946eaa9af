"""Writes Visual FoxPro tables (version byte 0x30) with a .fpt memo file, for tests that need
values a fixture does not hold: long memos, extreme dates and numbers, NULLs, auto-increment
columns.

    write_table(folder, name, fields, records)

`fields`: (name, type, length, decimals, options) with type C, N, D, T, L, I, B, Y or M and
options a set of 'null' (the field takes NULL) and 'autoinc'. `records`: one tuple per record,
None for NULL; C text, N text as it stands in the field, D 'YYYYMMDD', T (year, month, day,
hour, minute, second, ms), L bool, I/B/Y numbers (Y in ten-thousandths), M bytes or text.

Layouts: the header is 32 bytes (version, YY MM DD, record count u32, header length u16,
record length u16, flags at 28: 0x02 the table has a memo file, code page mark at 29), then
32-byte field descriptors (name[11], type, offset u32, length, decimals, flags: 0x02 nullable,
0x08 auto-increment, then the next auto-increment value u32 and its step), 0x0D and the
263-byte database container link. Nullable fields have a bit each, in field order, in the
hidden _NullFlags field (type 0). T is the Julian day and the milliseconds since midnight,
both u32 little-endian; a memo field holds its first block's number, u32 little-endian. The
memo file starts with the next free block (u32 big-endian) and the block size (u16
big-endian at 6); each memo is a block holding its type (1 text) and length, big-endian.
"""
import os
import struct

BLOCK = 64
MEMO_HEADER = 512


def julian_day(year, month, day):
    a = (14 - month) // 12
    y = year + 4800 - a
    m = month + 12 * a - 3
    return day + (153 * m + 2) // 5 + 365 * y + y // 4 - y // 100 + y // 400 - 32045


def write_table(folder, name, fields, records):
    nullable = [f for f in fields if 'null' in f[4]]
    layout = list(fields)
    if nullable:
        layout.append(('_NullFlags', '0', (len(nullable) + 7) // 8, 0, {'system'}))
    header_length = 32 + 32 * len(layout) + 1 + 263
    record_length = 1 + sum(f[2] for f in layout)
    has_memo = any(f[1] == 'M' for f in fields)

    head = bytearray(32)
    head[0] = 0x30
    head[1:4] = bytes([124, 1, 1])
    struct.pack_into('<IHH', head, 4, len(records), header_length, record_length)
    head[28] = 0x02 if has_memo else 0
    head[29] = 0x03  # Windows Latin 1
    out = bytearray(head)
    offset = 1
    for field_name, kind, length, decimals, options in layout:
        d = bytearray(32)
        d[0:len(field_name)] = field_name.encode('ascii')
        d[11] = ord(kind)
        struct.pack_into('<I', d, 12, offset)
        d[16], d[17] = length, decimals
        d[18] = ((0x02 if 'null' in options else 0) | (0x08 if 'autoinc' in options else 0) |
                 (0x05 if 'system' in options else 0))
        if 'autoinc' in options:
            struct.pack_into('<IB', d, 19, len(records) + 1, 1)
        out += d
        offset += length
    out += b'\r' + bytes(263)

    memo = bytearray(MEMO_HEADER)
    for record in records:
        row = bytearray(b' ')
        flags = 0
        for i, (field_name, kind, length, decimals, options) in enumerate(fields):
            value = record[i]
            if value is None:
                flags |= 1 << nullable.index(fields[i])
            if kind == 'C':
                data = (value or '').encode('cp1252')[:length].ljust(length)
            elif kind == 'N':
                data = (value or '').encode('ascii').rjust(length)
            elif kind == 'D':
                data = (value or '').encode('ascii').ljust(length)
            elif kind == 'L':
                data = b'?' if value is None else (b'T' if value else b'F')
            elif kind == 'T':
                if value is None:
                    data = bytes(8)
                else:
                    y, mo, dd, h, mi, s, ms = value
                    data = struct.pack('<II', julian_day(y, mo, dd),
                                       ((h * 60 + mi) * 60 + s) * 1000 + ms)
            elif kind == 'I':
                data = struct.pack('<i', value or 0)
            elif kind == 'B':
                data = struct.pack('<d', value or 0.0)
            elif kind == 'Y':
                data = struct.pack('<q', value or 0)
            elif kind == 'M':
                if value is None:
                    data = bytes(4)
                else:
                    text = value if isinstance(value, bytes) else value.encode('cp1252')
                    block = len(memo) // BLOCK
                    memo += struct.pack('>II', 1, len(text)) + text
                    memo += bytes(-len(memo) % BLOCK)
                    data = struct.pack('<I', block)
            else:
                raise ValueError(kind)
            assert len(data) == length, (field_name, data)
            row += data
        if nullable:
            row += flags.to_bytes((len(nullable) + 7) // 8, 'little')
        out += row
    out += b'\x1a'
    with open(os.path.join(folder, name + '.dbf'), 'wb') as file:
        file.write(out)
    if has_memo:
        struct.pack_into('>I', memo, 0, len(memo) // BLOCK)
        struct.pack_into('>H', memo, 6, BLOCK)
        with open(os.path.join(folder, name + '.fpt'), 'wb') as file:
            file.write(memo)
