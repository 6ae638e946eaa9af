"""SQL Server's data types: declared sizes, value checks and conversions, and the sqlite encoding.

Values travel as Python values: None, bool, int, Decimal, float, str (NStr for Unicode text),
bytes, date, time, datetime and UUID. Decimals never pass through float.
"""

from __future__ import annotations

import datetime as dt
import decimal
import re
import unicodedata
import uuid
from decimal import Decimal

from sql_errors import sql_error
from sql_results import ColumnInfo

# SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, ignore case/kana/width, sort id 52.
DEFAULT_COLLATION = b'\x09\x04\xd0\x00\x34'

DECIMAL_CONTEXT = decimal.Context(prec=60, rounding=decimal.ROUND_HALF_UP)


class NStr(str):
    """Unicode text (N'...' literals, nchar/nvarchar values): only its type name differs."""


INTEGER_RANGES = {
    'bit': (0, 1),
    'tinyint': (0, 255),
    'smallint': (-2**15, 2**15 - 1),
    'int': (-2**31, 2**31 - 1),
    'bigint': (-2**63, 2**63 - 1),
}
MONEY_LIMITS = {
    'money': Decimal('922337203685477.5807'),
    'smallmoney': Decimal('214748.3647'),
}
TEXT_TYPES = ('char', 'varchar', 'nchar', 'nvarchar')
BINARY_TYPES = ('binary', 'varbinary')
DATE_TYPES = ('date', 'time', 'datetime', 'datetime2', 'smalldatetime')
EXACT_TYPES = ('decimal', 'numeric', 'money', 'smallmoney')
NUMBER_TYPES = tuple(INTEGER_RANGES) + EXACT_TYPES + ('real', 'float')

SYNONYMS = {
    'integer': 'int', 'dec': 'decimal', 'double': 'float', 'text': 'varchar', 'ntext': 'nvarchar',
    'image': 'varbinary', 'sysname': 'nvarchar', 'character': 'char', 'rowguidcol': None,
}
KNOWN_TYPES = set(INTEGER_RANGES) | set(EXACT_TYPES) | {'real', 'float', 'uniqueidentifier'} | \
    set(TEXT_TYPES) | set(BINARY_TYPES) | set(DATE_TYPES)


class SqlType:
    """A declared type: name in lower case, length (-1 = MAX), precision and scale."""

    __slots__ = ('name', 'length', 'precision', 'scale', 'collation')

    def __init__(self, name, length=0, precision=0, scale=0, collation=None):
        self.name = name
        self.length = length
        self.precision = precision
        self.scale = scale
        self.collation = collation          # text types: a COLLATE name; None: the database's

    @property
    def case_sensitive(self):
        return self.collation is not None and collation_case_sensitive(self.collation)

    def key(self, value):
        """The value as this type's collation compares it in keys."""
        if self.case_sensitive and isinstance(value, str):
            return text_key(value, True)
        return sort_key(value)

    @staticmethod
    def declared(name, args, column='', max_arg=False):
        """The type a DDL or CAST names: `args` are the numbers in parentheses, `max_arg` is
        True for (MAX)."""
        name = name.lower()
        if name in ('text', 'ntext', 'image'):
            return SqlType(SYNONYMS[name], -1)
        if name == 'sysname':
            return SqlType('nvarchar', 128)
        if name == 'double':
            name = 'float'
        name = SYNONYMS.get(name, name) or name
        if name not in KNOWN_TYPES:
            raise sql_error(2715, 1, name)
        if name in TEXT_TYPES or name in BINARY_TYPES:
            if max_arg:
                if name in ('char', 'nchar', 'binary'):
                    raise sql_error(102, 'max')
                return SqlType(name, -1)
            length = args[0] if args else 1
            limit = 4000 if name.startswith('n') else 8000
            if length > limit or length < 1:
                raise sql_error(131, length, column, limit)
            return SqlType(name, length)
        if name in ('decimal', 'numeric'):
            precision = args[0] if args else 18
            scale = args[1] if len(args) > 1 else 0
            if not 1 <= precision <= 38 or scale > precision:
                raise sql_error(102, ')')
            return SqlType(name, 0, precision, scale)
        if name == 'float':
            if args and args[0] <= 24:
                return SqlType('real')
            return SqlType('float')
        if name in ('datetime2', 'time'):
            scale = args[0] if args else 7
            if not 0 <= scale <= 7:
                raise sql_error(102, ')')
            return SqlType(name, 0, 0, scale)
        return SqlType(name)

    def __repr__(self):
        return self.sql()

    def sql(self):
        """The type as INFORMATION_SCHEMA and messages spell it."""
        if self.name in TEXT_TYPES or self.name in BINARY_TYPES:
            return f"{self.name}({'max' if self.length < 0 else self.length})"
        if self.name in ('decimal', 'numeric'):
            return f'{self.name}({self.precision},{self.scale})'
        if self.name in ('datetime2', 'time'):
            return f'{self.name}({self.scale})'
        return self.name

    def column_info(self, name, nullable=True, identity=False):
        precision, scale = self.precision, self.scale
        if self.name == 'money':
            precision, scale = 19, 4
        elif self.name == 'smallmoney':
            precision, scale = 10, 4
        collation = collation_bytes(self.collation) if self.name in TEXT_TYPES else b''
        return ColumnInfo(name, self.name, self.length, precision, scale, nullable, identity,
                          collation)

    def max_bytes(self):
        """sys.columns max_length: bytes, -1 for MAX."""
        fixed = {'bit': 1, 'tinyint': 1, 'smallint': 2, 'int': 4, 'bigint': 8, 'money': 8,
                 'smallmoney': 4, 'real': 4, 'float': 8, 'date': 3, 'datetime': 8,
                 'smalldatetime': 4, 'uniqueidentifier': 16}
        if self.name in fixed:
            return fixed[self.name]
        if self.length < 0:
            return -1
        if self.name in ('nchar', 'nvarchar'):
            return self.length * 2
        if self.name in TEXT_TYPES or self.name in BINARY_TYPES:
            return self.length
        if self.name in ('decimal', 'numeric'):
            return 5 if self.precision <= 9 else 9 if self.precision <= 19 else \
                13 if self.precision <= 28 else 17
        if self.name == 'time':
            return 3 if self.scale <= 2 else 4 if self.scale <= 4 else 5
        return 6 if self.scale <= 2 else 7 if self.scale <= 4 else 8   # datetime2

    # -- sqlite encoding ---------------------------------------------------------------------
    def encode(self, value):
        if value is None:
            return None
        if isinstance(value, bool):
            return int(value)
        if isinstance(value, (Decimal, dt.date, dt.time, uuid.UUID)):
            return str(value).upper() if isinstance(value, uuid.UUID) else \
                value.isoformat(sep=' ') if isinstance(value, dt.datetime) else \
                format(value, 'f') if isinstance(value, Decimal) else value.isoformat()
        return value

    def decode(self, stored):
        if stored is None:
            return None
        name = self.name
        if name == 'bit':
            return bool(stored)
        if name in EXACT_TYPES:
            return Decimal(stored)
        if name == 'date':
            return dt.date.fromisoformat(stored)
        if name == 'time':
            return dt.time.fromisoformat(stored)
        if name in ('datetime', 'datetime2', 'smalldatetime'):
            return dt.datetime.fromisoformat(stored)
        if name == 'uniqueidentifier':
            return uuid.UUID(stored)
        if name in ('nchar', 'nvarchar'):
            return NStr(stored)
        return stored

    # -- conversion --------------------------------------------------------------------------
    def convert(self, value, explicit=False, dateformat='mdy'):
        """The value as this type holds it, or SQL Server's error. Text is not cut here: the
        caller decides between silent truncation (CAST) and a truncation error (a column)."""
        if value is None:
            return None
        name = self.name
        if name in INTEGER_RANGES:
            return self._to_integer(value)
        if name in EXACT_TYPES:
            return self._to_exact(value)
        if name in ('real', 'float'):
            return self._to_float(value)
        if name in DATE_TYPES:
            return self._to_date(value, dateformat)
        if name in TEXT_TYPES:
            return self._to_text(value)
        if name in BINARY_TYPES:
            return self._to_binary(value, explicit)
        return self._to_uuid(value)

    def fits(self, value):
        """Text or bytes that need cutting to fit; None when the value fits (trailing blanks of
        text are cut silently, as SQL Server does)."""
        if self.length < 0 or not isinstance(value, (str, bytes)):
            return True
        if self.name in ('char', 'varchar') and isinstance(value, str):
            size = len(value.encode('cp1252', 'replace'))
        else:
            size = len(value)
        if size <= self.length:
            return True
        return isinstance(value, str) and not value[self.length:].strip(' ')

    def cut(self, value):
        """The value cut and padded to the declared length (CAST semantics)."""
        if isinstance(value, str):
            if self.length >= 0:
                value = value[:self.length]
                if self.name in ('char', 'nchar'):
                    value = value.ljust(self.length)
            return NStr(value) if self.name in ('nchar', 'nvarchar') else value
        if isinstance(value, bytes) and self.length >= 0:
            value = value[:self.length]
            if self.name == 'binary':
                value = value.ljust(self.length, b'\0')
        return value

    def _overflow(self, value):
        return sql_error(8115, type_name(value) if not isinstance(value, int) or
                         isinstance(value, bool) else 'expression', self.sql_name())

    def sql_name(self):
        return 'numeric' if self.name == 'decimal' else self.name

    def _to_integer(self, value):
        name = self.name
        low, high = INTEGER_RANGES[name]
        if isinstance(value, bool):
            return value if name == 'bit' else int(value)
        if isinstance(value, str):
            text = value.strip(' ')
            if name == 'bit' and text.lower() in ('true', 'false'):
                return text.lower() == 'true'
            if text == '':
                number = 0
            elif re.fullmatch(r'[+-]?\d+', text):
                number = int(text)
            else:
                raise sql_error(245, type_name(value), value, name)
            if name == 'bit':
                return number != 0
            if not low <= number <= high:
                if name in ('tinyint', 'smallint'):
                    raise sql_error(244, type_name(value), value,
                                    'INT1' if name == 'tinyint' else 'INT2')
                if name == 'int':
                    raise sql_error(248, type_name(value), value)
                raise sql_error(8115, 'expression', name)
            return number
        if isinstance(value, (int, Decimal, float)):
            if isinstance(value, float) and value != value:
                raise self._overflow(value)
            number = int(value)
            if name == 'bit':
                return number != 0
            if not low <= number <= high:
                if isinstance(value, int) and name in ('tinyint', 'smallint'):
                    raise sql_error(220, name, value)
                raise self._overflow(value)
            return number
        if isinstance(value, bytes):
            # The low-order bytes, read as the integer type's own two's complement.
            size = max(1, (high.bit_length() + 1) // 8)
            number = int.from_bytes(value[-size:].rjust(size, b'\0'), 'big',
                                    signed=name not in ('bit', 'tinyint'))
            return number != 0 if name == 'bit' else number
        raise sql_error(206, type_name(value), name)

    def _exact_limit(self):
        if self.name in MONEY_LIMITS:
            return 4, MONEY_LIMITS[self.name]
        return self.scale, Decimal(10) ** (self.precision - self.scale)

    def _to_exact(self, value):
        scale, limit = self._exact_limit()
        if isinstance(value, bool):
            number = Decimal(int(value))
        elif isinstance(value, int):
            number = Decimal(value)
        elif isinstance(value, Decimal):
            number = value
        elif isinstance(value, float):
            if value != value or value in (float('inf'), float('-inf')):
                raise self._overflow(value)
            number = Decimal(repr(value))
        elif isinstance(value, str):
            text = value.strip(' ')
            if self.name in MONEY_LIMITS:
                text = text.replace(',', '').lstrip('$')
            if not re.fullmatch(r'[+-]?(\d+\.?\d*|\.\d+)', text):
                raise sql_error(8114, type_name(value), self.sql_name())
            number = Decimal(text)
        else:
            raise sql_error(206, type_name(value), self.name)
        rounded = number.quantize(Decimal(1).scaleb(-scale), context=DECIMAL_CONTEXT)
        if self.name in MONEY_LIMITS:
            # A count of ten-thousandths in a two's-complement integer: one more step below zero.
            out_of_range = rounded > limit or rounded < -limit - Decimal('0.0001')
        else:
            out_of_range = rounded.copy_abs() >= limit
        if out_of_range:
            raise sql_error(8115, type_name(value), self.sql_name())
        return rounded

    def _to_float(self, value):
        if isinstance(value, (bool, int, Decimal, float)):
            number = float(value)
        elif isinstance(value, str):
            text = value.strip(' ')
            try:
                number = float(text) if text else 0.0
            except ValueError:
                number = None
            if number is None or not re.fullmatch(r'[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?', text
                                                  or '0'):
                raise sql_error(8114, type_name(value), 'float')
        else:
            raise sql_error(206, type_name(value), self.name)
        if number in (float('inf'), float('-inf')) or \
                self.name == 'real' and abs(number) > 3.4028234663852886e38:
            raise sql_error(8115, type_name(value), self.name)
        if self.name == 'real':
            import struct
            number = struct.unpack('<f', struct.pack('<f', number))[0]
        return number

    def _to_date(self, value, dateformat):
        name = self.name
        if isinstance(value, str):
            parsed = parse_datetime(value, name, dateformat)
        elif isinstance(value, dt.datetime):
            parsed = value
        elif isinstance(value, dt.date):
            parsed = dt.datetime.combine(value, dt.time())
        elif isinstance(value, dt.time):
            if name in ('date',):
                raise sql_error(206, 'time', name)
            parsed = dt.datetime.combine(dt.date(1900, 1, 1), value)
        elif isinstance(value, (int, Decimal, float)) and not isinstance(value, bool) and \
                name in ('datetime', 'smalldatetime'):
            try:
                parsed = dt.datetime(1900, 1, 1) + dt.timedelta(days=float(value))
            except OverflowError:
                raise sql_error(8115, type_name(value), name) from None
        else:
            raise sql_error(206, type_name(value), name)
        if name == 'date':
            return parsed.date()
        if name == 'time':
            return round_time(parsed, self.scale).time() if not isinstance(value, dt.time) or \
                self.scale < 6 else value
        if name == 'datetime':
            if parsed.year < 1753:
                raise sql_error(242, type_name(value), name)
            return round_datetime(parsed)
        if name == 'smalldatetime':
            if not dt.datetime(1900, 1, 1) <= parsed < dt.datetime(2079, 6, 6, 23, 59, 30):
                raise sql_error(242, type_name(value), name)
            return (parsed + dt.timedelta(seconds=30, milliseconds=1)).replace(
                second=0, microsecond=0)
        return round_time(parsed, self.scale)

    def _to_text(self, value):
        unicode = self.name.startswith('n')
        if isinstance(value, bool):
            text = '1' if value else '0'
        elif isinstance(value, str):
            text = value
        elif isinstance(value, (int, Decimal)):
            text = format(value, 'f') if isinstance(value, Decimal) else str(value)
        elif isinstance(value, float):
            text = float_text(value)
        elif isinstance(value, dt.datetime):
            text = value.isoformat(sep=' ')
        elif isinstance(value, (dt.date, dt.time)):
            text = value.isoformat()
        elif isinstance(value, uuid.UUID):
            text = str(value).upper()
        elif isinstance(value, bytes):
            text = value.decode('utf-16-le', 'replace') if unicode else \
                value.decode('cp1252', 'replace')
        else:
            raise sql_error(206, type_name(value), self.name)
        if unicode:
            return NStr(text)
        # Text outside the database's code page 1252 becomes '?', as on the server.
        return str(text.encode('cp1252', 'replace').decode('cp1252'))

    def _to_binary(self, value, explicit):
        if isinstance(value, bytes):
            return value
        if isinstance(value, str):
            if not explicit:
                raise sql_error(257, type_name(value), self.name)
            return value.encode('utf-16-le') if isinstance(value, NStr) else \
                value.encode('cp1252', 'replace')
        if isinstance(value, (bool, int)):
            return int(value).to_bytes(4 if -2**31 <= value < 2**31 else 8, 'big', signed=True)
        if isinstance(value, uuid.UUID):
            return value.bytes_le
        raise sql_error(206, type_name(value), self.name)

    def _to_uuid(self, value):
        if isinstance(value, uuid.UUID):
            return value
        if isinstance(value, str):
            text = value.strip(' ')
            if text.startswith('{') and text.endswith('}'):
                text = text[1:-1]
            if not re.fullmatch(r'[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-'
                                r'[0-9a-fA-F]{12}', text):
                raise sql_error(8169)
            return uuid.UUID(text)
        if isinstance(value, bytes) and len(value) >= 16:
            return uuid.UUID(bytes_le=value[:16])
        raise sql_error(206, type_name(value), self.name)


def negate(value):
    """-value without rounding a Decimal of more than 28 digits."""
    return value.copy_negate() if isinstance(value, Decimal) else -value


def collation_case_sensitive(name):
    upper = name.upper()
    return '_CS' in upper or upper.endswith('_BIN') or upper.endswith('_BIN2')


def collation_name(name):
    return 'SQL_Latin1_General_CP1_CI_AS' if name is None else name


def collation_bytes(name):
    """The 5-byte TDS collation: LCID (US English, 0x0409 for every name here), comparison
    flags (ignore case 0x1, accent 0x2, kana 0x4, width 0x8 in the high nibble of byte 2;
    binary in byte 3) and the SQL sort id (Windows collations have 0)."""
    if name is None:
        return DEFAULT_COLLATION
    upper = name.upper()
    binary = upper.endswith('_BIN') or upper.endswith('_BIN2')
    flags = 0 if binary else (0 if '_CS' in upper else 1) | (0 if '_AS' in upper else 2) | \
        (0 if '_KS' in upper else 4) | (0 if '_WS' in upper else 8)
    version = 0x01 if upper.endswith('_BIN') else 0x02 if upper.endswith('_BIN2') else 0
    sort_id = 0
    if upper.startswith('SQL_LATIN1_GENERAL_CP1_'):
        sort_id = {'CI_AS': 52, 'CS_AS': 51, 'CI_AI': 54}.get(upper[23:], 0)
    return bytes([0x09, 0x04, flags << 4, version, sort_id])


def type_name(value):
    """The SQL Server type a value carries, as conversion messages name it."""
    if isinstance(value, bool):
        return 'bit'
    if isinstance(value, int):
        return 'int' if -2**31 <= value < 2**31 else 'bigint' if -2**63 <= value < 2**63 \
            else 'numeric'
    if isinstance(value, Decimal):
        return 'numeric'
    if isinstance(value, float):
        return 'float'
    if isinstance(value, NStr):
        return 'nvarchar'
    if isinstance(value, str):
        return 'varchar'
    if isinstance(value, bytes):
        return 'varbinary'
    if isinstance(value, dt.datetime):
        return 'datetime'
    if isinstance(value, dt.date):
        return 'date'
    if isinstance(value, dt.time):
        return 'time'
    if isinstance(value, uuid.UUID):
        return 'uniqueidentifier'
    return 'sql_variant'


def type_of_value(value):
    """A SqlType for an expression's value (result set metadata of computed columns)."""
    name = type_name(value)
    if name == 'numeric':
        sign, digits, exponent = value.as_tuple() if isinstance(value, Decimal) else \
            Decimal(value).as_tuple()
        scale = max(0, -exponent) if isinstance(exponent, int) else 0
        precision = max(len(digits), scale, 1)
        return SqlType('numeric', 0, min(38, max(precision, scale + 1)), min(scale, 38))
    if name in ('varchar', 'nvarchar'):
        return SqlType(name, max(1, len(value)) if len(value) <= 4000 else -1)
    if name == 'varbinary':
        return SqlType(name, max(1, len(value)) if len(value) <= 8000 else -1)
    if name == 'datetime':
        return SqlType('datetime2', 0, 0, 7)
    if name == 'time':
        return SqlType('time', 0, 0, 7)
    if name == 'sql_variant':
        return SqlType('int')
    return SqlType(name)


def float_text(value):
    """float to text as CONVERT(varchar, float) style 0 writes it: up to 6 significant digits."""
    if value == int(value) and abs(value) < 1e6:
        return str(int(value))
    text = f'{value:.6g}'
    if 'e' in text:
        mantissa, exponent = text.split('e')
        text = f'{mantissa}e{exponent[0]}{exponent[1:].lstrip("0").rjust(3, "0")}'
    return text


def round_time(value, scale):
    """A datetime rounded to `scale` fractional digits (microseconds keep 6)."""
    if scale >= 6:
        return value
    unit = 10 ** (6 - scale)
    micro = (value.microsecond + unit // 2) // unit * unit
    return value.replace(microsecond=0) + dt.timedelta(microseconds=micro)


def round_datetime(value):
    """datetime holds 1/300 seconds: .000, .003, .007 ..."""
    ticks = (value.microsecond * 300 + 500000) // 1000000
    micro = (ticks * 1000000 * 2 + 300) // 600
    return value.replace(microsecond=0) + dt.timedelta(microseconds=micro)


_DATE_PART = re.compile(
    r'(?P<a>\d{1,4})(?P<sep>[-/.])(?P<b>\d{1,2})(?P=sep)(?P<c>\d{1,4})$|(?P<compact>\d{8})$')
_TIME_PART = re.compile(r'(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:[.:](\d{1,7}))?)?\s*([AaPp][Mm])?$')


def parse_datetime(text, target, dateformat='mdy'):
    """Date/time text as SQL Server reads it. Unreadable text is error 241; a calendar value out of
    datetime's range (or a day that does not exist, for datetime and smalldatetime) is 242."""
    legacy = target in ('datetime', 'smalldatetime')
    source = type_name(text)
    body = text.strip()
    if body == '':
        return dt.datetime(1900, 1, 1)
    date_text, time_text = body, ''
    if 'T' in body:
        date_text, time_text = body.split('T', 1)
    elif ' ' in body:
        date_text, time_text = body.split(None, 1)
    elif ':' in body:
        date_text, time_text = '', body
    year, month, day = 1900, 1, 1
    if date_text:
        match = _DATE_PART.match(date_text)
        if not match:
            raise sql_error(241)
        if match.group('compact'):
            digits = match.group('compact')
            year, month, day = int(digits[:4]), int(digits[4:6]), int(digits[6:])
        else:
            a, b, c = match.group('a'), match.group('b'), match.group('c')
            if len(a) == 4:
                year = int(a)
                # datetime reads yyyy-xx-xx with day and month in DATEFORMAT's order (dmy:
                # year-day-month); date and datetime2 always as year-month-day.
                day_first = dateformat.index('d') < dateformat.index('m')
                month, day = (int(c), int(b)) if legacy and day_first else (int(b), int(c))
            else:
                year = int(c) if len(c) == 4 else 2000 + int(c) if int(c) < 50 else 1900 + int(c)
                order = {'mdy': (a, b), 'dmy': (b, a), 'myd': (a, c), 'dym': (c, a)}.get(
                    dateformat, (a, b))
                month, day = int(order[0]), int(order[1])
    hour = minute = second = micro = 0
    if time_text:
        match = _TIME_PART.match(time_text.strip())
        if not match:
            raise sql_error(241)
        hour, minute = int(match.group(1)), int(match.group(2))
        second = int(match.group(3) or 0)
        fraction = match.group(4) or ''
        micro = int((fraction + '000000')[:6]) if fraction else 0
        if len(fraction) == 7 and int(fraction[6]) >= 5:
            micro += 1
        if match.group(5):
            if hour > 12:
                raise sql_error(241)
            hour = hour % 12 + (12 if match.group(5).lower() == 'pm' else 0)
        if legacy and len(fraction) > 3 and fraction[3:].strip('0'):
            # datetime accepts at most three fractional digits.
            raise sql_error(241)
    try:
        value = dt.datetime(year, month, day, hour, minute, second) + \
            dt.timedelta(microseconds=micro)
    except (ValueError, OverflowError):
        if legacy:
            raise sql_error(242, source, target) from None
        raise sql_error(241) from None
    if legacy and value.year < 1753:
        raise sql_error(242, source, target)
    return value


# Letters that sort as the letters they are made from.
_LIGATURES = str.maketrans({'æ': 'ae', 'œ': 'oe', 'ø': 'o', 'đ': 'd', 'ł': 'l', 'þ': 'th'})


def text_key(text, case_sensitive=False):
    """Text as a case-insensitive (or case-sensitive), accent-sensitive collation orders it:
    letters first without their accents ('e' < 'é' < 'f'), then accents, then case; trailing
    blanks do not count."""
    text = text.rstrip(' ')
    folded = text.casefold()
    base = ''.join(c for c in unicodedata.normalize('NFKD', folded.translate(_LIGATURES))
                   if not unicodedata.combining(c))
    return (2, base, folded, text) if case_sensitive else (2, base, folded)


def sort_key(value):
    if isinstance(value, str):
        return text_key(value)
    if isinstance(value, bytes):
        return (3, value.rstrip(b'\0'))
    if value is None:
        return (0,)
    if isinstance(value, uuid.UUID):
        return (4, value.bytes_le[10:], value.bytes_le[8:10], value.bytes_le[6:8],
                value.bytes_le[4:6], value.bytes_le[:4])
    if isinstance(value, (dt.datetime, dt.date, dt.time)):
        if isinstance(value, dt.datetime):
            return (5, value)
        if isinstance(value, dt.date):
            return (5, dt.datetime.combine(value, dt.time()))
        return (6, value)
    return (1, value)
