"""Values of expressions and rows of queries: three-valued conditions, functions,
aggregates, joins, grouping and ordering."""

from __future__ import annotations

import datetime as dt
from decimal import Decimal

from sql_catalog import View
from sql_errors import SqlError, sql_error
from sql_eval import (AGGREGATES, Binding, Context, arithmetic, column_info_for, compare,
                      is_aggregate, like_regex, name_text)
from sql_parser import Name, Node
from sql_results import ResultSet
from sql_types import DECIMAL_CONTEXT, NStr, SqlType, negate, sort_key, type_name
import sql_functions
import sql_sysviews


class QueryEvaluator:
    """The query half of a session's executor (mixed into Executor)."""

    # -- values of expressions --------------------------------------------------------------
    def row_context(self, table, values):
        context = Context([Binding(table.name, table.name,
                                   [c.info() for c in table.columns], table.schema.name)])
        context.row = [values]
        return context

    def condition(self, node, context):
        return self.test(node, context) is True

    def test(self, node, context):
        """True, False or None (unknown) for a condition."""
        kind = node.kind
        if kind in ('and', 'or'):
            # False decides AND, True decides OR; otherwise unknown wins over the other value.
            decisive = kind == 'or'
            left = self.test(node.left, context)
            if left is decisive:
                return decisive
            right = self.test(node.right, context)
            if right is decisive:
                return decisive
            return None if left is None or right is None else not decisive
        if kind == 'not':
            value = self.test(node.expr, context)
            return None if value is None else not value
        if kind == 'compare':
            order = compare(self.value(node.left, context), self.value(node.right, context),
                            self.options['dateformat'], self.case_sensitive(node, context))
            if order is None:
                return None
            return {'=': order == 0, '<>': order != 0, '<': order < 0, '>': order > 0,
                    '<=': order <= 0, '>=': order >= 0}[node.op]
        if kind == 'is_null':
            value = self.value(node.expr, context)
            return (value is not None) if node.negated else (value is None)
        if kind == 'exists':
            _, rows = self.query(node.query, context)
            return bool(rows)
        if kind == 'in':
            value = self.value(node.expr, context)
            if isinstance(node.values, Node):
                _, rows = self.query(node.values, context)
                candidates = [r[0] for r in rows]
            else:
                candidates = [self.value(v, context) for v in node.values]
            if value is None:
                return None
            unknown = False
            for candidate in candidates:
                order = compare(value, candidate, self.options['dateformat'])
                if order == 0:
                    return not node.negated
                if order is None:
                    unknown = True
            if unknown:
                return None
            return node.negated
        if kind == 'like':
            value = self.value(node.expr, context)
            pattern = self.value(node.pattern, context)
            if value is None or pattern is None:
                return None
            escape = self.value(node.escape, context) if node.escape else None
            matched = like_regex(str(pattern), escape).match(str(value)) is not None
            return matched != node.negated
        if kind == 'between':
            value = self.value(node.expr, context)
            low = compare(value, self.value(node.low, context), self.options['dateformat'])
            high = compare(value, self.value(node.high, context), self.options['dateformat'])
            if low is None or high is None:
                return None
            return (low >= 0 and high <= 0) != node.negated
        if kind == 'truth':
            raise sql_error(4145, 'expression')
        raise sql_error(102, kind)

    def case_sensitive(self, node, context):
        """A comparison takes the collation of a column on either side."""
        for side in (node.left, node.right):
            if side.kind == 'column' and context is not None:
                collation = context.column_info(side.name).collation
                if len(collation) == 5 and not collation[2] & 0x10:
                    return True
        return False

    def value(self, node, context):
        kind = node.kind
        if kind == 'literal':
            return node.value
        if kind == 'column':
            if context is None:
                if node.name.schema is None and node.name.database is None:
                    raise sql_error(128, node.name.name)
                raise sql_error(4104, name_text(node.name))
            found, b, c = context.locate(node.name)
            return found.row[b][c]
        if kind == 'variable':
            return self.variable(node.name)
        if kind == 'binary':
            return arithmetic(node.op, self.value(node.left, context),
                              self.value(node.right, context))
        if kind == 'negate':
            value = self.value(node.expr, context)
            return None if value is None else negate(value)
        if kind == 'bitnot':
            value = self.value(node.expr, context)
            return None if value is None else ~value
        if kind == 'function':
            return self.function(node, context)
        if kind == 'cast':
            return self.cast(node, context)
        if kind == 'case':
            return self.case(node, context)
        if kind == 'subquery':
            _, rows = self.query(node.query, context)
            if len(rows) > 1:
                raise sql_error(512)
            return rows[0][0] if rows else None
        if kind in ('compare', 'and', 'or', 'not', 'is_null', 'in', 'like', 'between',
                    'exists'):
            raise sql_error(102, '=')
        if kind == 'default':
            raise sql_error(102, 'DEFAULT')
        raise sql_error(102, kind)

    def variable(self, name):
        engine = self.engine
        system = {
            '@@version': lambda: NStr(engine.version),
            '@@identity': lambda: self.last_identity,
            '@@rowcount': lambda: self.rowcount,
            '@@trancount': lambda: self.tran_count,
            '@@error': lambda: self.error,
            '@@spid': lambda: self.session.spid,
            '@@servername': lambda: NStr('TABRIXTEST'),
            '@@servicename': lambda: NStr('MSSQLSERVER'),
            '@@language': lambda: NStr('us_english'),
            '@@options': lambda: 5496,
            '@@microsoftversion': lambda: int(engine.product_version.split('.')[0]) << 24,
            '@@max_precision': lambda: 38,
            '@@textsize': lambda: 2147483647,
            '@@datefirst': lambda: 7,
            '@@lock_timeout': lambda: -1,
        }
        if name in system:
            return system[name]()
        if name in self.variables:
            return self.variables[name][1]
        raise sql_error(137, name)

    def cast(self, node, context):
        value = self.value(node.expr, context)
        sql_type = node.type
        try:
            if isinstance(value, (dt.date, dt.time)) and sql_type.name in ('char', 'varchar',
                                                                         'nchar', 'nvarchar'):
                style = self.value(node.style, context) if node.style is not None else 0
                converted = sql_type.convert(date_text(value, int(style or 0),
                                                       self.source_type(node.expr, context)))
            elif isinstance(value, Decimal) and sql_type.name in ('char', 'varchar', 'nchar',
                                                                  'nvarchar') and \
                    getattr(self.source_type(node.expr, context), 'name', '') in \
                    ('money', 'smallmoney'):
                # money as text: style 0 rounds to cents, 1 adds thousands separators, 2 keeps
                # four decimals.
                style = int(self.value(node.style, context) or 0) if node.style is not None \
                    else 0
                places = Decimal('0.0001') if style == 2 else Decimal('0.01')
                amount = value.quantize(places, context=DECIMAL_CONTEXT)
                converted = sql_type.convert(f'{amount:,f}' if style == 1 else f'{amount:f}')
            elif isinstance(value, str) and sql_type.name in ('binary', 'varbinary') and \
                    node.style is not None and self.value(node.style, context) in (1, 2):
                text = value[2:] if self.value(node.style, context) == 1 else value
                converted = bytes.fromhex(text)
            else:
                converted = sql_type.convert(value, True, self.options['dateformat'])
            if isinstance(converted, (str, bytes)):
                if isinstance(value, (int, Decimal)) and not sql_type.fits(converted) and \
                        sql_type.name in ('char', 'varchar', 'nchar', 'nvarchar'):
                    if sql_type.name.startswith('n'):
                        raise sql_error(8115, type_name(value), sql_type.name)
                    return '*'
                converted = sql_type.cut(converted)
            return converted
        except SqlError:
            if node.safe:
                return None
            raise

    def source_type(self, node, context):
        """The SQL type an expression has, where it says (columns, CAST, date functions);
        None otherwise."""
        if node.kind == 'column' and context is not None:
            info = context.column_info(node.name)
            return SqlType(info.type, info.length, info.precision, info.scale)
        if node.kind == 'cast':
            return node.type
        if node.kind == 'function' and node.name in ('getdate', 'current_timestamp'):
            return SqlType('datetime')
        if node.kind == 'function' and node.name == 'sysdatetime':
            return SqlType('datetime2', 0, 0, 7)
        return None

    def case(self, node, context):
        if node.operand is not None:
            operand = self.value(node.operand, context)
            for when, result in node.whens:
                if compare(operand, self.value(when, context), self.options['dateformat']) == 0:
                    return self.value(result, context)
        else:
            for when, result in node.whens:
                if self.test(when, context) is True:
                    return self.value(result, context)
        return self.value(node.otherwise, context) if node.otherwise is not None else None

    def function(self, node, context):
        name = node.name
        if name in AGGREGATES:
            return self.aggregate(node, context)
        handler = sql_functions.FUNCTIONS.get(name)
        if handler is None:
            raise sql_error(195, getattr(node, 'written', name))
        return handler(self, [self.value(a, context) for a in node.args], node)

    def aggregate(self, node, context):
        if context is None or context.group is None:
            raise sql_error(147)
        rows = context.group
        saved = context.row
        values = []
        try:
            for row in rows:
                context.row = row
                if node.star:
                    values.append(1)
                else:
                    values.append(self.value(node.args[0], context))
        finally:
            context.row = saved
        if node.name in ('count', 'count_big'):
            present = [v for v in values if v is not None]
            if node.distinct:
                present = list({sort_key(v): v for v in present}.values())
            return len(present)
        present = [v for v in values if v is not None]
        if node.distinct:
            present = list({sort_key(v): v for v in present}.values())
        if not present:
            return None
        if node.name == 'min':
            return min(present, key=sort_key)
        if node.name == 'max':
            return max(present, key=sort_key)
        total = present[0]
        for value in present[1:]:
            total = arithmetic('+', total, value)
        if node.name == 'sum':
            return total
        if isinstance(total, int):
            return arithmetic('/', total, len(present))
        if isinstance(total, Decimal):
            return DECIMAL_CONTEXT.divide(total, len(present)).quantize(
                Decimal(1).scaleb(-6), context=DECIMAL_CONTEXT)
        return total / len(present)

    # -- queries ----------------------------------------------------------------------------
    def query(self, node, outer, database=None):
        """(columns, rows) of a SELECT or a UNION."""
        if node.kind == 'set_op':
            left_columns, left = self.query(node.left, outer, database)
            right_columns, right = self.query(node.right, outer, database)
            if len(left_columns) != len(right_columns):
                raise sql_error(205)
            if node.op == 'union':
                rows = left + right
                if not node.all:
                    rows = distinct(rows)
            elif node.op == 'except':
                keys = {tuple(sort_key(v) for v in r) for r in right}
                rows = distinct([r for r in left if tuple(sort_key(v) for v in r) not in keys])
            else:
                keys = {tuple(sort_key(v) for v in r) for r in right}
                rows = distinct([r for r in left if tuple(sort_key(v) for v in r) in keys])
            if node.order:
                rows = self.order_plain(rows, left_columns, node.order)
            return left_columns, rows
        return self.select(node, outer, database)

    def source_binding(self, source):
        """The Binding of a table or view source, without reading its rows."""
        name = source.name
        system = sql_sysviews.system_table(self, name, None)
        if system is not None:
            return Binding(source.alias, name.name, system[0], name.schema)
        _, obj = self.resolve(name)
        if isinstance(obj, View):
            columns = [t.column_info(n, nullable) for n, t, nullable in obj.columns]
        else:
            columns = [c.info() for c in obj.columns]
        return Binding(source.alias, obj.name, columns, obj.schema.name)

    def source_rows(self, source, outer, database):
        """(Binding, rows) of one FROM item."""
        if source.kind == 'derived':
            columns, rows = self.query(source.query, outer, database)
            return Binding(source.alias, source.alias, columns), [list(r) for r in rows]
        if source.kind == 'function_source':
            raise sql_error(208, name_text(source.name))
        name = source.name
        alias = source.alias
        system = sql_sysviews.system_table(self, name, database)
        if system is not None:
            columns, rows = system
            return Binding(alias, name.name, columns, name.schema), rows
        owner, obj = self.resolve(name)
        if isinstance(obj, View):
            columns, rows = self.query(obj.query, None, owner)
            columns = [type(c)(**{**c.__dict__, 'name': name}) for c, (name, _, _) in
                       zip(columns, obj.columns)]
            return Binding(alias, obj.name, columns, obj.schema.name), [list(r) for r in rows]
        columns = [c.info() for c in obj.columns]
        rows = [values for _, values in owner.scan(obj)]
        return Binding(alias, obj.name, columns, obj.schema.name), rows

    def select(self, node, outer, database=None):
        saved_session_db = None
        if database is not None and database.name != self.session.database:
            saved_session_db = self.session.database
            self.session.database = database.name
        try:
            return self.select_in(node, outer)
        finally:
            if saved_session_db is not None:
                self.session.database = saved_session_db

    def select_in(self, node, outer):
        bindings, rows = [], [[]]
        for source in node.sources:
            binding, source_rows = self.source_rows(source, outer, None)
            bindings.append(binding)
            context = Context(bindings, outer)
            joined = []
            join = getattr(source, 'join', None)
            for left in rows:
                matched = False
                for right in source_rows:
                    candidate = left + [right]
                    if source.on is not None:
                        context.row = candidate
                        if self.test(source.on, context) is not True:
                            continue
                    matched = True
                    joined.append(candidate)
                if not matched and join in ('left', 'full'):
                    joined.append(left + [[None] * len(binding.columns)])
            rows = joined
        context = Context(bindings, outer)
        if node.where is not None:
            kept = []
            for row in rows:
                context.row = row
                if self.test(node.where, context) is True:
                    kept.append(row)
            rows = kept
        items = self.expand(node.items, bindings)
        aggregated = node.group is not None or any(
            is_aggregate(item.expr) for item in items if item.kind != 'star') or \
            node.having is not None
        if aggregated:
            groups = self.group(node, rows, context)
        else:
            groups = [(row, None) for row in rows]
        out_rows, source_of = [], []
        assignments = [i for i in items if i.kind == 'assign']
        for row, group in groups:
            context.row = row
            context.group = group
            if node.having is not None and self.test(node.having, context) is not True:
                continue
            values = [self.value(item.expr, context) for item in items]
            out_rows.append(values)
            source_of.append((row, group))
        context.group = None
        if assignments:
            for values in out_rows:
                for item, value in zip(items, values):
                    sql_type, _ = self.variables.get(item.variable, (None, None))
                    if sql_type is None:
                        raise sql_error(137, item.variable)
                    self.variables[item.variable] = (sql_type,
                                                     self.assign_value(sql_type, value))
            return [], []
        names = [self.item_name(item) for item in items]
        columns = []
        for i, item in enumerate(items):
            context.row = source_of[0][0] if source_of else [[None] * len(b.columns)
                                                             for b in bindings]
            columns.append(column_info_for(item.expr, [r[i] for r in out_rows], names[i],
                                           context))
        if node.distinct:
            pairs = distinct_pairs(out_rows, source_of)
            out_rows, source_of = [p[0] for p in pairs], [p[1] for p in pairs]
        if node.order:
            out_rows = self.order(out_rows, source_of, names, node.order, context, items)
        if node.top is not None:
            top = self.value(node.top, None)
            out_rows = out_rows[:int(top)]
        if node.into is not None:
            raise sql_error(156, 'INTO')
        return columns, [tuple(r) for r in out_rows]

    def item_name(self, item):
        if item.alias:
            return item.alias
        if item.expr.kind == 'column':
            return item.expr.name.name
        return ''

    def expand(self, items, bindings):
        expanded = []
        for item in items:
            if item.kind != 'star':
                expanded.append(item)
                continue
            if not bindings:
                raise sql_error(263)
            matched = False
            for binding in bindings:
                if item.qualifier is not None:
                    wanted = item.qualifier.name.lower()
                    if wanted not in (binding.alias or binding.name, binding.name):
                        continue
                matched = True
                for column in binding.columns:
                    qualifier = [binding.alias or binding.name]
                    expanded.append(Node('item', expr=Node('column', name=Name(
                        qualifier + [column.name])), alias=column.name))
            if not matched:
                raise sql_error(4104, name_text(item.qualifier) + '.*')
        return expanded

    def group(self, node, rows, context):
        if node.group is None:
            return [(rows[0] if rows else [[None] * len(b.columns) for b in context.bindings],
                     rows)]
        groups = {}
        for row in rows:
            context.row = row
            key = tuple(sort_key(self.value(e, context)) for e in node.group)
            groups.setdefault(key, (row, []))[1].append(row)
        return list(groups.values())

    def order(self, out_rows, source_of, names, order, context, items):
        lowered = [n.lower() for n in names]
        keyed = []
        for values, (row, group) in zip(out_rows, source_of):
            context.row = row
            context.group = group
            key = []
            for expr, descending in order:
                if expr.kind == 'literal' and isinstance(expr.value, int):
                    value = values[expr.value - 1]
                elif expr.kind == 'column' and expr.name.schema is None and \
                        expr.name.name.lower() in lowered:
                    value = values[lowered.index(expr.name.name.lower())]
                else:
                    value = self.value(expr, context)
                key.append(Descending(sort_key(value)) if descending else sort_key(value))
            keyed.append((key, values))
        context.group = None
        keyed.sort(key=lambda pair: pair[0])
        return [values for _, values in keyed]

    def order_plain(self, rows, columns, order):
        names = [c.name.lower() for c in columns]
        keyed = []
        for values in rows:
            key = []
            for expr, descending in order:
                if expr.kind == 'literal' and isinstance(expr.value, int):
                    value = values[expr.value - 1]
                elif expr.kind == 'column' and expr.name.name.lower() in names:
                    value = values[names.index(expr.name.name.lower())]
                else:
                    raise sql_error(104)
                key.append(Descending(sort_key(value)) if descending else sort_key(value))
            keyed.append((key, values))
        keyed.sort(key=lambda pair: pair[0])
        return [values for _, values in keyed]

    def do_select(self, node, out):
        if self.options['fmtonly']:
            columns, _ = self.fmtonly_query(node)
            out.append(ResultSet(columns, []))
            return
        columns, rows = self.query(node, None)
        if self.options['rowcount']:
            rows = rows[:self.options['rowcount']]
        if not columns and not rows and any(i.kind == 'assign' for i in
                                            getattr(node, 'items', [])):
            self.rowcount = 1
            return
        out.append(ResultSet(columns, list(rows)))
        self.count(out, len(rows))

    def fmtonly_query(self, node):
        """SET FMTONLY ON: the columns a query would return, without running it."""
        if node.kind == 'select' and len(node.sources) == 1 and \
                node.sources[0].kind == 'table' and all(i.kind == 'star' for i in node.items):
            try:
                _, table = self.table(node.sources[0].name)
                return [c.info() for c in table.columns], []
            except SqlError:
                pass
        columns, _ = self.query(node, None)
        return columns, []


class Descending:
    __slots__ = ('key',)

    def __init__(self, key):
        self.key = key

    def __lt__(self, other):
        return other.key < self.key

    def __eq__(self, other):
        return self.key == other.key


def distinct(rows):
    seen, kept = set(), []
    for row in rows:
        key = tuple(sort_key(v) for v in row)
        if key not in seen:
            seen.add(key)
            kept.append(row)
    return kept


def distinct_pairs(rows, sources):
    seen, kept = set(), []
    for row, source in zip(rows, sources):
        key = tuple(sort_key(v) for v in row)
        if key not in seen:
            seen.add(key)
            kept.append((row, source))
    return kept


def date_text(value, style, sql_type=None):
    """CONVERT(varchar, date/time value, style) as SQL Server writes it. Without a style,
    datetime and smalldatetime read 'Mon dd yyyy hh:miAM'; datetime2 and time carry as many
    fractional digits as their scale; a value of unknown type is taken as datetime2."""
    kind = sql_type.name if sql_type is not None else \
        'date' if not isinstance(value, dt.datetime) and isinstance(value, dt.date) else \
        'time' if isinstance(value, dt.time) else 'datetime2'
    digits = 3 if kind == 'datetime' else 0 if kind in ('smalldatetime', 'date') else \
        (sql_type.scale if sql_type is not None else 7)
    if isinstance(value, dt.time):
        return value.strftime('%H:%M:%S') + fraction(value.microsecond, digits)
    if not isinstance(value, dt.datetime):
        value = dt.datetime.combine(value, dt.time())
    day, clock = value.strftime('%Y-%m-%d'), value.strftime('%H:%M:%S')
    if style in (0, 100) and kind in ('datetime', 'smalldatetime'):
        hour = value.hour % 12 or 12
        return f"{value.strftime('%b')} {value.day:2d} {value.year} {hour:2d}:" \
               f"{value.minute:02d}{'AM' if value.hour < 12 else 'PM'}"
    if style in (0, 20, 120, 21, 121, 126, 127):
        if kind == 'date':
            return day
        if style in (20, 120):
            return f'{day} {clock}'
        shown = fraction(value.microsecond, digits)
        if style in (126, 127) and kind == 'datetime' and not value.microsecond:
            shown = ''
        return f"{day}{'T' if style in (126, 127) else ' '}{clock}{shown}"
    formats = {1: '%m/%d/%y', 101: '%m/%d/%Y', 3: '%d/%m/%y', 103: '%d/%m/%Y', 4: '%d.%m.%y',
               104: '%d.%m.%Y', 12: '%y%m%d', 112: '%Y%m%d', 23: '%Y-%m-%d', 8: '%H:%M:%S',
               108: '%H:%M:%S', 110: '%m-%d-%Y', 111: '%Y/%m/%d'}
    if style in formats:
        return value.strftime(formats[style])
    raise sql_error(281, style)


def fraction(microseconds, digits):
    """'.fff...' with `digits` digits (time and datetime2 keep seven)."""
    if digits <= 0:
        return ''
    text = f'{microseconds:06d}0'
    return '.' + text[:digits]