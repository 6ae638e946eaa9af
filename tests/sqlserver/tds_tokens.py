"""Tokens of the tabular result stream, written by the server and read from bulk loads."""

import struct

from tds_types import WireType, encode_value, read_type_info, read_value
from tds_wire import ProtocolError, Reader, b_varchar, us_varchar

COLMETADATA = 0x81
ERROR = 0xAA
INFO = 0xAB
LOGINACK = 0xAD
ROW = 0xD1
NBCROW = 0xD2
ENVCHANGE = 0xE3
DONE = 0xFD
DONEPROC = 0xFE

DONE_FINAL = 0x00
DONE_MORE = 0x01
DONE_ERROR = 0x02
DONE_INXACT = 0x04
DONE_COUNT = 0x10
DONE_ATTN = 0x20
DONE_SRVERROR = 0x100

# CurCmd of DONE: the kind of statement it ends.
CMD_SELECT = 0xC1
CMD_INSERT = 0xC3

ENV_DATABASE = 1
ENV_LANGUAGE = 2
ENV_PACKET_SIZE = 4
ENV_COLLATION = 7
ENV_BEGIN_TRAN = 8
ENV_COMMIT_TRAN = 9
ENV_ROLLBACK_TRAN = 10

# COLMETADATA flags.
FLAG_NULLABLE = 0x0001
FLAG_UPDATEABLE = 0x0008
FLAG_IDENTITY = 0x0010


def done(status: int, count: int = 0, command: int = 0, token: int = DONE) -> bytes:
    return struct.pack('<BHHQ', token, status, command, count)


def message(token: int, number: int, state: int, severity: int, text: str, server: str,
            line: int = 1, procedure: str = '') -> bytes:
    # SQL Server's messages stay under 8000 bytes; a longer text would not fit its length field.
    body = (struct.pack('<iBB', number, state, severity) + us_varchar(text[:4000])
            + b_varchar(server) + b_varchar(procedure) + struct.pack('<i', line))
    return struct.pack('<BH', token, len(body)) + body


def envchange_text(kind: int, new: str, old: str) -> bytes:
    body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return struct.pack('<BH', ENVCHANGE, len(body)) + body


def envchange_bytes(kind: int, new: bytes, old: bytes) -> bytes:
    body = bytes([kind, len(new)]) + new + bytes([len(old)]) + old
    return struct.pack('<BH', ENVCHANGE, len(body)) + body


def loginack(tds_version: int, program: str, version: tuple) -> bytes:
    # The TDS version is the one big-endian field of the stream.
    body = (b'\x01' + struct.pack('>I', tds_version) + b_varchar(program)
            + bytes([version[0], version[1], version[2] >> 8, version[2] & 0xFF]))
    return struct.pack('<BH', LOGINACK, len(body)) + body


class ResultColumns:
    """Wire types of one result set, for its COLMETADATA and ROW tokens."""

    def __init__(self, columns, wire_types):
        self.columns = columns
        self.types = wire_types

    def colmetadata(self) -> bytes:
        out = [struct.pack('<BH', COLMETADATA, len(self.columns))]
        for column, wt in zip(self.columns, self.types):
            flags = FLAG_UPDATEABLE
            if column.nullable:
                flags |= FLAG_NULLABLE
            if column.identity:
                flags = (flags & ~FLAG_UPDATEABLE) | FLAG_IDENTITY
            out.append(struct.pack('<IH', 0, flags))
            out.append(wt.metadata())
            out.append(b_varchar(column.name))
        return b''.join(out)

    def row(self, values) -> bytes:
        """A ROW token, or an NBCROW (a bitmap of the NULL columns, then the other values)
        when that is shorter, as SQL Server chooses."""
        if len(values) != len(self.types):
            raise ValueError(f'a row of {len(values)} values for {len(self.types)} columns')
        encoded = [encode_value(wt, v) for wt, v in zip(self.types, values)]
        plain = bytes([ROW]) + b''.join(encoded)
        if None not in values:
            return plain
        bitmap = bytearray((len(values) + 7) // 8)
        for i, value in enumerate(values):
            if value is None:
                bitmap[i // 8] |= 1 << (i % 8)
        compact = bytes([NBCROW]) + bytes(bitmap) + b''.join(
            data for data, value in zip(encoded, values) if value is not None)
        return compact if len(compact) < len(plain) else plain


class BulkColumn:
    def __init__(self, name: str, wire: WireType, flags: int):
        self.name = name
        self.wire = wire
        self.flags = flags


def read_colmetadata(r: Reader) -> list:
    count = r.u16()
    if count == 0xFFFF:
        return []
    columns = []
    for _ in range(count):
        r.u32()  # user type
        flags = r.u16()
        wire = read_type_info(r)
        columns.append(BulkColumn(r.b_varchar(), wire, flags))
    return columns


def read_bulk_rows(payload: bytes):
    """The columns and rows of a bulk load message: COLMETADATA, ROW or NBCROW tokens, and an
    optional closing DONE."""
    r = Reader(payload)
    if r.u8() != COLMETADATA:
        raise ProtocolError('a bulk load must start with COLMETADATA')
    columns = read_colmetadata(r)
    if not columns:
        raise ProtocolError('a bulk load without columns')
    rows = []
    while r.remaining():
        token = r.u8()
        if token == ROW:
            rows.append(tuple(read_value(c.wire, r) for c in columns))
        elif token == NBCROW:
            bitmap = r.take((len(columns) + 7) // 8)
            rows.append(tuple(None if bitmap[i // 8] >> (i % 8) & 1 else read_value(c.wire, r)
                              for i, c in enumerate(columns)))
        elif token == DONE:
            r.take(12)
            if r.remaining():
                raise ProtocolError('bytes after the DONE of a bulk load')
        else:
            raise ProtocolError(f'unexpected token {token:#x} in a bulk load')
    return columns, rows
