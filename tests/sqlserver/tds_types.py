"""TDS data types: TYPE_INFO and values, written for result sets and read from bulk loads.

Fixed-length types (INT4, FLT8...) carry no length and cannot be NULL; SQL Server sends them for
NOT NULL columns and the nullable forms (INTN, FLTN...) with a length byte otherwise. Decimals,
dates, times, GUIDs and character and binary types always carry a length. (MAX) columns are
sent as PLP: a 64-bit total length, chunks each with a 32-bit length, and a zero-length chunk.
"""

import datetime
import decimal
import struct
import uuid
from dataclasses import dataclass

from tds_wire import ProtocolError, Reader

INT1, BIT, INT2, INT4, DATETIM4, FLT4, MONEY, DATETIME, FLT8, MONEY4, INT8 = (
    0x30, 0x32, 0x34, 0x38, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x7A, 0x7F)
GUID, INTN, BITN, DECIMALN, NUMERICN, FLTN, MONEYN, DATETIMN = (
    0x24, 0x26, 0x68, 0x6A, 0x6C, 0x6D, 0x6E, 0x6F)
DATEN, TIMEN, DATETIME2N, DATETIMEOFFSETN = 0x28, 0x29, 0x2A, 0x2B
BIGVARBINARY, BIGVARCHAR, BIGBINARY, BIGCHAR, NVARCHAR, NCHAR = 0xA5, 0xA7, 0xAD, 0xAF, 0xE7, 0xEF
TEXT, IMAGE, NTEXT = 0x23, 0x22, 0x63

FIXED_SIZE = {INT1: 1, BIT: 1, INT2: 2, INT4: 4, DATETIM4: 4, FLT4: 4, MONEY: 8, DATETIME: 8,
              FLT8: 8, MONEY4: 4, INT8: 8}
BYTE_LEN_TYPES = {GUID, INTN, BITN, DECIMALN, NUMERICN, FLTN, MONEYN, DATETIMN}
SCALED_TYPES = {TIMEN, DATETIME2N, DATETIMEOFFSETN}
USHORT_LEN_TYPES = {BIGVARBINARY, BIGVARCHAR, BIGBINARY, BIGCHAR, NVARCHAR, NCHAR}
COLLATED_TYPES = {BIGVARCHAR, BIGCHAR, NVARCHAR, NCHAR, TEXT, NTEXT}
PLP_MAX = 0xFFFF
PLP_NULL = 0xFFFFFFFFFFFFFFFF
PLP_UNKNOWN = 0xFFFFFFFFFFFFFFFE

# SQL_Latin1_General_CP1_CI_AS: LCID 0x0409 with case- and width-insensitive flags, sort id 52.
DEFAULT_COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])

# Decimals reach 38 digits; the default context would round them to 28.
WIDE = decimal.Context(prec=80)

DAY0_1900 = datetime.date(1900, 1, 1)
DAY0_0001 = datetime.date(1, 1, 1)

# Code page of a collation's locale (the low 16 bits of its LCID), for varchar and char data.
_LCID_CODE_PAGES = {
    0x0405: 'cp1250', 0x040E: 'cp1250', 0x0415: 'cp1250', 0x041A: 'cp1250', 0x041B: 'cp1250',
    0x0424: 'cp1250', 0x0418: 'cp1250', 0x041C: 'cp1250',
    0x0419: 'cp1251', 0x0422: 'cp1251', 0x0402: 'cp1251', 0x0423: 'cp1251', 0x042F: 'cp1251',
    0x0408: 'cp1253', 0x041F: 'cp1254', 0x040D: 'cp1255', 0x0401: 'cp1256',
    0x0425: 'cp1257', 0x0426: 'cp1257', 0x0427: 'cp1257', 0x042A: 'cp1258', 0x041E: 'cp874',
    0x0411: 'cp932', 0x0804: 'cp936', 0x0412: 'cp949', 0x0404: 'cp950',
}
# SQL collations (sort id not zero) that are not on code page 1252.
_SORT_ID_CODE_PAGES = {30: 'cp437', 40: 'cp850', 80: 'cp1250', 104: 'cp1251', 112: 'cp1253',
                       128: 'cp1254', 136: 'cp1255', 144: 'cp1256', 152: 'cp1257'}


def code_page(collation: bytes) -> str:
    if len(collation) != 5:
        return 'cp1252'
    sort_id = collation[4]
    if sort_id:
        for first, name in sorted(_SORT_ID_CODE_PAGES.items(), reverse=True):
            if sort_id >= first:
                return name if sort_id < first + 8 else 'cp1252'
        return 'cp1252'
    lcid = struct.unpack_from('<I', collation)[0] & 0xFFFF
    return _LCID_CODE_PAGES.get(lcid, 'cp1252')


@dataclass
class WireType:
    """One column's TYPE_INFO as it travels."""
    type_id: int
    size: int = 0          # fixed size, length-byte size, or USHORT max length (0xFFFF = MAX)
    precision: int = 0
    scale: int = 0
    collation: bytes = b''

    @property
    def plp(self) -> bool:
        return self.type_id in USHORT_LEN_TYPES and self.size == PLP_MAX

    def metadata(self) -> bytes:
        t = self.type_id
        if t in FIXED_SIZE or t == DATEN:
            return bytes([t])
        if t in (DECIMALN, NUMERICN):
            return bytes([t, self.size, self.precision, self.scale])
        if t in BYTE_LEN_TYPES:
            return bytes([t, self.size])
        if t in SCALED_TYPES:
            return bytes([t, self.scale])
        if t in USHORT_LEN_TYPES:
            out = bytes([t]) + struct.pack('<H', self.size)
            return out + (self.collation or DEFAULT_COLLATION if t in COLLATED_TYPES else b'')
        raise ValueError(f'no TYPE_INFO for type {t:#x}')


_DECIMAL_BYTES = [(9, 5), (19, 9), (28, 13), (38, 17)]


def decimal_size(precision: int) -> int:
    for top, size in _DECIMAL_BYTES:
        if precision <= top:
            return size
    raise ValueError(f'precision {precision} is over 38')


def time_size(scale: int) -> int:
    return 3 if scale <= 2 else 4 if scale <= 4 else 5


def wire_type(column) -> WireType:
    """The TYPE_INFO SQL Server sends for a column of the engine's ColumnInfo."""
    name = column.type
    nullable = column.nullable
    fixed = {'tinyint': (INT1, 1), 'smallint': (INT2, 2), 'int': (INT4, 4), 'bigint': (INT8, 8),
             'bit': (BIT, 1), 'real': (FLT4, 4), 'float': (FLT8, 8), 'money': (MONEY, 8),
             'smallmoney': (MONEY4, 4), 'datetime': (DATETIME, 8),
             'smalldatetime': (DATETIM4, 4)}
    if name in fixed:
        type_id, size = fixed[name]
        if not nullable:
            return WireType(type_id, size)
        family = {INT1: INTN, INT2: INTN, INT4: INTN, INT8: INTN, BIT: BITN, FLT4: FLTN,
                  FLT8: FLTN, MONEY: MONEYN, MONEY4: MONEYN, DATETIME: DATETIMN,
                  DATETIM4: DATETIMN}[type_id]
        return WireType(family, size)
    if name in ('decimal', 'numeric'):
        precision = column.precision or 18
        return WireType(DECIMALN if name == 'decimal' else NUMERICN, decimal_size(precision),
                        precision, column.scale)
    if name == 'date':
        return WireType(DATEN)
    if name in ('time', 'datetime2', 'datetimeoffset'):
        return WireType({'time': TIMEN, 'datetime2': DATETIME2N,
                         'datetimeoffset': DATETIMEOFFSETN}[name], scale=column.scale)
    if name == 'uniqueidentifier':
        return WireType(GUID, 16)
    text = {'char': (BIGCHAR, 1), 'varchar': (BIGVARCHAR, 1), 'nchar': (NCHAR, 2),
            'nvarchar': (NVARCHAR, 2), 'binary': (BIGBINARY, 1), 'varbinary': (BIGVARBINARY, 1)}
    if name in text:
        type_id, unit = text[name]
        size = PLP_MAX if column.length < 0 else max(column.length, 1) * unit
        if size > 8000 and size != PLP_MAX:
            raise ValueError(f'{name}({column.length}) is longer than 8000 bytes')
        return WireType(type_id, size, collation=column.collation or DEFAULT_COLLATION
                        if type_id in COLLATED_TYPES else b'')
    raise ValueError(f'no TDS type for column type {name!r}')


# --- values, server to client -------------------------------------------------------------

def _datetime_parts(value) -> tuple:
    if isinstance(value, datetime.datetime):
        return value.date(), value.time()
    if isinstance(value, datetime.date):
        return value, datetime.time()
    raise TypeError(f'{value!r} is not a date')


def _micros(t: datetime.time) -> int:
    return ((t.hour * 60 + t.minute) * 60 + t.second) * 1_000_000 + t.microsecond


def _time_bytes(t: datetime.time, scale: int) -> bytes:
    units = _micros(t) * 10 ** scale // 1_000_000 if scale <= 6 else _micros(t) * 10 ** (scale - 6)
    return units.to_bytes(time_size(scale), 'little')


def _money_units(value) -> int:
    units = WIDE.multiply(decimal.Decimal(value), 10000)
    if units != units.to_integral_value():
        raise ValueError(f'{value} has more than four decimals')
    return int(units)


def _fixed_value(t: int, value) -> bytes:
    if t in (INT1, INT2, INT4, INT8):
        return int(value).to_bytes(FIXED_SIZE[t], 'little', signed=t != INT1)
    if t == BIT:
        return b'\x01' if value else b'\x00'
    if t == FLT4:
        return struct.pack('<f', float(value))
    if t == FLT8:
        return struct.pack('<d', float(value))
    if t == MONEY:
        units = _money_units(value)
        return struct.pack('<iI', units >> 32, units & 0xFFFFFFFF)
    if t == MONEY4:
        return struct.pack('<i', _money_units(value))
    day, time = _datetime_parts(value)
    if t == DATETIME:
        ticks = (_micros(time) * 3 + 5000) // 10000
        days = (day - DAY0_1900).days
        if ticks >= 25920000:
            days, ticks = days + 1, 0
        return struct.pack('<iI', days, ticks)
    if t == DATETIM4:
        minutes = (_micros(time) + 30_000_000) // 60_000_000
        days = (day - DAY0_1900).days + minutes // 1440
        return struct.pack('<HH', days, minutes % 1440)
    raise ValueError(f'type {t:#x} is not fixed-length')


_NULLABLE_FIXED = {(INTN, 1): INT1, (INTN, 2): INT2, (INTN, 4): INT4, (INTN, 8): INT8,
                   (BITN, 1): BIT, (FLTN, 4): FLT4, (FLTN, 8): FLT8, (MONEYN, 4): MONEY4,
                   (MONEYN, 8): MONEY, (DATETIMN, 4): DATETIM4, (DATETIMN, 8): DATETIME}


def encode_value(wt: WireType, value) -> bytes:
    """One value of a ROW token."""
    t = wt.type_id
    if t in FIXED_SIZE:
        if value is None:
            raise ValueError('NULL in a NOT NULL column')
        return _fixed_value(t, value)
    if t in USHORT_LEN_TYPES:
        if value is not None:
            if t in (NVARCHAR, NCHAR):
                data = str(value).encode('utf-16-le', 'surrogatepass')
            elif t in (BIGVARCHAR, BIGCHAR):
                data = str(value).encode(code_page(wt.collation), 'replace')
            else:
                data = bytes(value)
        if wt.plp:
            if value is None:
                return struct.pack('<Q', PLP_NULL)
            chunk = struct.pack('<I', len(data)) + data if data else b''
            return struct.pack('<Q', len(data)) + chunk + b'\x00\x00\x00\x00'
        if value is None:
            return b'\xff\xff'
        return struct.pack('<H', len(data)) + data
    if value is None:
        return b'\x00'
    if (t, wt.size) in _NULLABLE_FIXED:
        data = _fixed_value(_NULLABLE_FIXED[(t, wt.size)], value)
    elif t in (DECIMALN, NUMERICN):
        units = decimal.Decimal(value).scaleb(wt.scale, WIDE)
        if units != units.to_integral_value():
            raise ValueError(f'{value} has more than {wt.scale} decimals')
        units = int(units)
        data = bytes([0 if units < 0 else 1]) + abs(units).to_bytes(wt.size - 1, 'little')
    elif t == GUID:
        data = (value if isinstance(value, uuid.UUID) else uuid.UUID(str(value))).bytes_le
    elif t == DATEN:
        data = (_datetime_parts(value)[0] - DAY0_0001).days.to_bytes(3, 'little')
    elif t == TIMEN:
        data = _time_bytes(value if isinstance(value, datetime.time) else value.time(), wt.scale)
    elif t == DATETIME2N:
        day, time = _datetime_parts(value)
        data = _time_bytes(time, wt.scale) + (day - DAY0_0001).days.to_bytes(3, 'little')
    else:
        raise ValueError(f'cannot write a value of type {t:#x}')
    return bytes([len(data)]) + data


# --- TYPE_INFO and values, client to server (bulk load) ------------------------------------

def read_type_info(r: Reader) -> WireType:
    t = r.u8()
    if t in FIXED_SIZE:
        return WireType(t, FIXED_SIZE[t])
    if t == DATEN:
        return WireType(t)
    if t in (DECIMALN, NUMERICN):
        size, precision, scale = r.u8(), r.u8(), r.u8()
        # SQL Server sends the length for the precision; some clients send the fewest bytes
        # the precision needs (6 for 10 digits), which SQL Server accepts as well.
        if not 1 <= precision <= 38 or scale > precision or not 2 <= size <= 17:
            raise ProtocolError(f'decimal({precision},{scale}) with length {size}')
        return WireType(t, size, precision, scale)
    if t in BYTE_LEN_TYPES:
        return WireType(t, r.u8())
    if t in SCALED_TYPES:
        scale = r.u8()
        if scale > 7:
            raise ProtocolError(f'time scale {scale} is over 7')
        return WireType(t, scale=scale)
    if t in USHORT_LEN_TYPES:
        size = r.u16()
        return WireType(t, size, collation=r.take(5) if t in COLLATED_TYPES else b'')
    if t in (TEXT, NTEXT, IMAGE):
        size = r.u32()
        collation = r.take(5) if t != IMAGE else b''
        parts = r.u8()
        for _ in range(parts):
            r.us_varchar()
        return WireType(t, size, collation=collation)
    raise ProtocolError(f'unknown data type {t:#x}')


def _read_plp(r: Reader):
    total = r.u64()
    if total == PLP_NULL:
        return None
    chunks = []
    while True:
        size = r.u32()
        if size == 0:
            break
        chunks.append(r.take(size))
    data = b''.join(chunks)
    if total != PLP_UNKNOWN and total != len(data):
        raise ProtocolError(f'PLP value announced {total} bytes and carried {len(data)}')
    return data


def _decode_fixed(t: int, data: bytes):
    if t in (INT1, INT2, INT4, INT8):
        return int.from_bytes(data, 'little', signed=t != INT1)
    if t == BIT:
        return data[0] != 0
    if t == FLT4:
        return struct.unpack('<f', data)[0]
    if t == FLT8:
        return struct.unpack('<d', data)[0]
    if t == MONEY:
        high, low = struct.unpack('<iI', data)
        return decimal.Decimal((high << 32) | low).scaleb(-4, WIDE)
    if t == MONEY4:
        return decimal.Decimal(struct.unpack('<i', data)[0]).scaleb(-4, WIDE)
    if t == DATETIME:
        days, ticks = struct.unpack('<iI', data)
        micros = (ticks * 10000 + 1) // 3
        return datetime.datetime.combine(DAY0_1900 + datetime.timedelta(days=days),
                                         datetime.time()) + datetime.timedelta(microseconds=micros)
    if t == DATETIM4:
        days, minutes = struct.unpack('<HH', data)
        return datetime.datetime.combine(DAY0_1900 + datetime.timedelta(days=days),
                                         datetime.time()) + datetime.timedelta(minutes=minutes)
    raise ProtocolError(f'type {t:#x} is not fixed-length')


def _decode_time(data: bytes, scale: int) -> datetime.time:
    units = int.from_bytes(data, 'little')
    micros = units * 1_000_000 // 10 ** scale if scale <= 6 else units // 10 ** (scale - 6)
    if micros >= 86_400_000_000:
        raise ProtocolError('time of day past midnight')
    seconds, micro = divmod(micros, 1_000_000)
    return datetime.time(seconds // 3600, seconds // 60 % 60, seconds % 60, micro)


def _decode_date(data: bytes) -> datetime.date:
    try:
        return DAY0_0001 + datetime.timedelta(days=int.from_bytes(data, 'little'))
    except OverflowError as exc:
        raise ProtocolError('date out of range') from exc


def read_value(wt: WireType, r: Reader):
    """One value of a ROW token, as the engine's Python value."""
    t = wt.type_id
    if t in FIXED_SIZE:
        return _decode_fixed(t, r.take(FIXED_SIZE[t]))
    if t in USHORT_LEN_TYPES or t in (TEXT, NTEXT, IMAGE):
        if wt.plp:
            data = _read_plp(r)
        elif t in USHORT_LEN_TYPES:
            size = r.u16()
            data = None if size == 0xFFFF else r.take(size)
        else:
            pointer = r.u8()
            if pointer == 0:
                data = None
            else:
                r.take(pointer + 8)
                data = r.take(r.u32())
        if data is None:
            return None
        if t in (NVARCHAR, NCHAR, NTEXT):
            if len(data) % 2:
                raise ProtocolError('odd byte count in UTF-16 text')
            return data.decode('utf-16-le', 'surrogatepass')
        if t in (BIGVARCHAR, BIGCHAR, TEXT):
            return data.decode(code_page(wt.collation), 'replace')
        return data
    size = r.u8()
    if size == 0:
        return None
    data = r.take(size)
    if (t, size) in _NULLABLE_FIXED:
        return _decode_fixed(_NULLABLE_FIXED[(t, size)], data)
    if t in (DECIMALN, NUMERICN):
        if size < 2:
            raise ProtocolError(f'decimal value of {size} bytes')
        magnitude = int.from_bytes(data[1:], 'little')
        return decimal.Decimal(magnitude if data[0] else -magnitude).scaleb(-wt.scale, WIDE)
    if t == GUID and size == 16:
        return uuid.UUID(bytes_le=data)
    if t == DATEN and size == 3:
        return _decode_date(data)
    tsize = time_size(wt.scale)
    if t == TIMEN and size == tsize:
        return _decode_time(data, wt.scale)
    if t == DATETIME2N and size == tsize + 3:
        return datetime.datetime.combine(_decode_date(data[tsize:]),
                                         _decode_time(data[:tsize], wt.scale))
    raise ProtocolError(f'value of {size} bytes for type {t:#x}')
