"""Expressions and queries: values, three-valued conditions, joins, grouping, ordering, with
SQL Server's type precedence for comparisons and arithmetic."""

from __future__ import annotations

import datetime as dt
import decimal
import re
import uuid
from decimal import Decimal

from sql_errors import sql_error
from sql_parser import Node
from sql_types import (DECIMAL_CONTEXT, NStr, SqlType, parse_datetime, sort_key, text_key,
                       type_name, type_of_value)

AGGREGATES = ('count', 'count_big', 'sum', 'min', 'max', 'avg')


class Binding:
    """One source of a query: its alias, column names and metadata."""

    def __init__(self, alias, name, columns, schema=None):
        self.alias = (alias or '').lower()
        self.name = (name or '').lower()
        self.schema = (schema or '').lower()
        self.columns = columns              # [ColumnInfo]
        self.lowered = [c.name.lower() for c in columns]


class Context:
    """Where column names are looked up while a query runs: its bindings, the current row (one
    value list per binding), the rows of the current group, and the outer query's context."""

    def __init__(self, bindings, outer=None):
        self.bindings = bindings
        self.outer = outer
        self.row = None
        self.group = None
        self.by_name = {}
        self.by_alias = {}
        for b, binding in enumerate(bindings):
            for c, name in enumerate(binding.lowered):
                self.by_name.setdefault(name, []).append((b, c))
                for alias in {binding.alias or binding.name, binding.name}:
                    self.by_alias[(alias, name)] = (b, c)
                    if binding.schema:
                        self.by_alias[(binding.schema + '.' + alias, name)] = (b, c)

    def locate(self, name):
        """(context, binding index, column index) for a column name, or SqlError 207/209."""
        column = name.name.lower()
        table = None
        if name.schema is not None:
            table = name.schema.lower()
            if name.database:
                table = name.database.lower() + '.' + table
        context = self
        while context is not None:
            if table is not None:
                found = context.by_alias.get((table, column))
                if found:
                    return context, found[0], found[1]
            else:
                found = context.by_name.get(column)
                if found:
                    if len(found) > 1:
                        raise sql_error(209, name.name)
                    return context, found[0][0], found[0][1]
            context = context.outer
        if table is not None:
            raise sql_error(4104, '.'.join(p for p in (name.database, name.schema, name.name)
                                           if p))
        raise sql_error(207, name.name)

    def column_info(self, name):
        context, b, c = self.locate(name)
        return context.bindings[b].columns[c]


def is_aggregate(node):
    if node is None or not isinstance(node, Node):
        return False
    if node.kind == 'function' and node.name in AGGREGATES:
        return True
    if node.kind in ('subquery', 'exists'):
        return False
    for value in node.__dict__.values():
        if isinstance(value, Node) and is_aggregate(value):
            return True
        if isinstance(value, list):
            for item in value:
                if isinstance(item, Node) and is_aggregate(item):
                    return True
                if isinstance(item, tuple) and any(isinstance(x, Node) and is_aggregate(x)
                                                   for x in item):
                    return True
    return False


def compare(a, b, dateformat='mdy', case_sensitive=False):
    """-1, 0 or 1; None when either side is NULL. The side of lower type precedence is
    converted to the other's type, as SQL Server does."""
    if a is None or b is None:
        return None
    a, b = unify(a, b, dateformat)
    if case_sensitive and isinstance(a, str) and isinstance(b, str):
        ka, kb = text_key(a, True), text_key(b, True)
    else:
        ka, kb = sort_key(a), sort_key(b)
    if ka[0] != kb[0]:
        raise sql_error(206, type_name(a), type_name(b))
    return (ka > kb) - (ka < kb)


def unify(a, b, dateformat='mdy'):
    a_text, b_text = isinstance(a, str), isinstance(b, str)
    if a_text and b_text or isinstance(a, bytes) and isinstance(b, bytes):
        return a, b
    if a_text or isinstance(a, bytes):
        return convert_to_like(a, b, dateformat), b
    if b_text or isinstance(b, bytes):
        return a, convert_to_like(b, a, dateformat)
    if isinstance(a, (dt.date, dt.time)) != isinstance(b, (dt.date, dt.time)):
        if isinstance(a, dt.datetime) and isinstance(b, (int, Decimal, float)):
            return a, SqlType('datetime').convert(b)
        if isinstance(b, dt.datetime) and isinstance(a, (int, Decimal, float)):
            return SqlType('datetime').convert(a), b
        raise sql_error(206, type_name(a), type_name(b))
    if isinstance(a, uuid.UUID) != isinstance(b, uuid.UUID):
        raise sql_error(206, type_name(a), type_name(b))
    if isinstance(a, float) and isinstance(b, Decimal):
        return a, float(b)
    if isinstance(b, float) and isinstance(a, Decimal):
        return float(a), b
    return a, b


def convert_to_like(value, other, dateformat):
    """Text or bytes converted to the type of `other` (which has the higher precedence)."""
    if isinstance(other, bool):
        return SqlType('bit').convert(value)
    if isinstance(other, int):
        return SqlType('bigint' if type_name(other) == 'bigint' else 'int').convert(value)
    if isinstance(other, Decimal):
        return SqlType('numeric', 0, 38, 18).convert(value)
    if isinstance(other, float):
        return SqlType('float').convert(value)
    if isinstance(other, dt.datetime):
        return parse_datetime(value, 'datetime2', dateformat)
    if isinstance(other, dt.date):
        return SqlType('date').convert(value, dateformat=dateformat)
    if isinstance(other, dt.time):
        return SqlType('time', 0, 0, 7).convert(value)
    if isinstance(other, uuid.UUID):
        return SqlType('uniqueidentifier').convert(value)
    if isinstance(other, str) and isinstance(value, bytes):
        return value.decode('cp1252', 'replace')
    return value


def like_regex(pattern, escape=None):
    out, i = [], 0
    while i < len(pattern):
        c = pattern[i]
        if escape and c == escape and i + 1 < len(pattern):
            out.append(re.escape(pattern[i + 1]))
            i += 2
            continue
        if c == '%':
            out.append('.*')
        elif c == '_':
            out.append('.')
        elif c == '[':
            end = pattern.find(']', i + 1)
            if end < 0:
                out.append(re.escape(c))
            else:
                body = pattern[i + 1:end]
                if body.startswith('^'):
                    body = '^' + body[1:].replace('\\', '\\\\')
                else:
                    body = body.replace('\\', '\\\\')
                out.append('[' + body + ']')
                i = end
        else:
            out.append(re.escape(c))
        i += 1
    return re.compile(''.join(out) + r'\Z', re.IGNORECASE | re.DOTALL)


def arithmetic(op, a, b):
    if a is None or b is None:
        return None
    if op == '+' and isinstance(a, str) and isinstance(b, str):
        text = a + b
        return NStr(text) if isinstance(a, NStr) or isinstance(b, NStr) else text
    if isinstance(a, str) and not isinstance(b, str):
        a = convert_to_like(a, b, 'mdy')
    elif isinstance(b, str) and not isinstance(a, str):
        b = convert_to_like(b, a, 'mdy')
    if isinstance(a, (dt.datetime, dt.date)) and op in '+-' and \
            isinstance(b, (int, Decimal, float)):
        base = a if isinstance(a, dt.datetime) else dt.datetime.combine(a, dt.time())
        delta = dt.timedelta(days=float(b))
        return base + delta if op == '+' else base - delta
    if isinstance(a, bool):
        a = int(a)
    if isinstance(b, bool):
        b = int(b)
    if not isinstance(a, (int, Decimal, float)) or not isinstance(b, (int, Decimal, float)):
        if op in '&|^' and isinstance(a, int) and isinstance(b, int):
            pass
        raise sql_error(8117, type_name(a), 'add' if op == '+' else 'subtract' if op == '-'
                        else 'multiply' if op == '*' else 'divide' if op == '/' else 'modulo')
    if isinstance(a, float) or isinstance(b, float):
        a, b = float(a), float(b)
    elif isinstance(a, Decimal) or isinstance(b, Decimal):
        a, b = Decimal(a), Decimal(b)
    if op in '/%' and b == 0:
        raise sql_error(8134)
    if op == '+':
        result = a + b if not isinstance(a, Decimal) else DECIMAL_CONTEXT.add(a, b)
    elif op == '-':
        result = a - b if not isinstance(a, Decimal) else DECIMAL_CONTEXT.subtract(a, b)
    elif op == '*':
        result = a * b if not isinstance(a, Decimal) else DECIMAL_CONTEXT.multiply(a, b)
    elif op == '/':
        if isinstance(a, int):
            result = abs(a) // abs(b) * (1 if (a >= 0) == (b >= 0) else -1)
        elif isinstance(a, Decimal):
            scale = max(6, -a.as_tuple().exponent + 0)
            result = DECIMAL_CONTEXT.divide(a, b).quantize(Decimal(1).scaleb(-scale),
                                                           context=DECIMAL_CONTEXT)
        else:
            result = a / b
    elif op == '%':
        if isinstance(a, float):
            raise sql_error(8117, 'float', 'modulo')
        result = DECIMAL_CONTEXT.remainder(a, b) if isinstance(a, Decimal) else \
            abs(a) % abs(b) * (1 if a >= 0 else -1)
    elif op == '&':
        result = a & b
    elif op == '|':
        result = a | b
    else:
        result = a ^ b
    if isinstance(result, int) and not -2**63 <= result < 2**63:
        raise sql_error(8115, 'expression', 'bigint')
    if isinstance(result, int) and isinstance(a, int) and isinstance(b, int) and \
            -2**31 <= a < 2**31 and -2**31 <= b < 2**31 and not -2**31 <= result < 2**31:
        raise sql_error(8115, 'expression', 'int')
    return result


def column_info_for(node, values, name, context):
    """Result set metadata of a computed column: from the expression where it says, else from
    the values it produced."""
    if node.kind == 'column':
        info = context.column_info(node.name)
        copy = type(info)(**info.__dict__)
        copy.name = name
        return copy
    if node.kind == 'cast':
        return node.type.column_info(name)
    if node.kind == 'function':
        fixed = {'count': 'int', 'count_big': 'bigint', 'object_id': 'int', 'db_id': 'smallint',
                 'schema_id': 'int', 'len': 'int', 'datalength': 'int', 'charindex': 'int',
                 'objectproperty': 'int', 'scope_identity': 'numeric', 'ident_current': 'numeric',
                 'getdate': 'datetime', 'newid': 'uniqueidentifier', 'col_length': 'smallint',
                 'columnproperty': 'int', 'sysdatetime': 'datetime2',
                 'current_timestamp': 'datetime'}
        names = {'db_name': 128, 'schema_name': 128, 'object_name': 128,
                 'object_schema_name': 128, 'user_name': 128, 'suser_sname': 128,
                 'type_name': 128, 'current_user': 128, 'user': 128, 'system_user': 128,
                 'session_user': 128}
        if node.name in fixed:
            sql_type = SqlType(fixed[node.name])
            if sql_type.name == 'numeric':
                sql_type = SqlType('numeric', 0, 38, 0)
            elif sql_type.name == 'datetime2':
                sql_type.scale = 7
            return sql_type.column_info(name)
        if node.name in names:
            return SqlType('nvarchar', names[node.name]).column_info(name)
    if node.kind == 'variable' and node.name == '@@version':
        return SqlType('nvarchar', 300).column_info(name)
    sample = next((v for v in values if v is not None), None)
    if isinstance(sample, str):
        longest = max((len(v) for v in values if isinstance(v, str)), default=1)
        kind = 'nvarchar' if any(isinstance(v, NStr) for v in values) else 'varchar'
        return SqlType(kind, max(1, longest) if longest <= 4000 else -1).column_info(name)
    if isinstance(sample, Decimal):
        scale = max((-v.as_tuple().exponent for v in values if isinstance(v, Decimal)),
                    default=0)
        digits = max((len(v.as_tuple().digits) + max(0, v.as_tuple().exponent) for v in values
                      if isinstance(v, Decimal)), default=1)
        return SqlType('numeric', 0, min(38, max(digits, scale + 1)), max(0, scale)) \
            .column_info(name)
    if isinstance(sample, int) and not isinstance(sample, bool):
        wide = any(isinstance(v, int) and not -2**31 <= v < 2**31 for v in values)
        return SqlType('bigint' if wide else 'int').column_info(name)
    return type_of_value(sample).column_info(name)


def decimal_round(value, digits, truncate=False):
    exponent = Decimal(1).scaleb(-digits)
    rounding = decimal.ROUND_DOWN if truncate else decimal.ROUND_HALF_UP
    rounded = value.quantize(exponent, rounding=rounding, context=DECIMAL_CONTEXT)
    return rounded.quantize(Decimal(1).scaleb(value.as_tuple().exponent),
                            context=DECIMAL_CONTEXT) if digits >= 0 else rounded


def key_text(values):
    """'(1, abc)' as duplicate-key messages show a key."""
    parts = []
    for value in values:
        if value is None:
            parts.append('<NULL>')
        elif isinstance(value, bool):
            parts.append('1' if value else '0')
        elif isinstance(value, Decimal):
            parts.append(format(value, 'f'))
        elif isinstance(value, dt.datetime):
            parts.append(value.isoformat(sep=' '))
        elif isinstance(value, uuid.UUID):
            parts.append(str(value).upper())
        elif isinstance(value, bytes):
            parts.append('0x' + value.hex().upper())
        else:
            parts.append(str(value))
    return '(' + ', '.join(parts) + ')'


def name_text(name):
    """A multi-part name as SQL Server repeats it in messages (without brackets)."""
    parts = [name.database, name.schema, name.name]
    while parts and parts[0] is None:
        parts.pop(0)
    return '.'.join(p or '' for p in parts)
