"""The system procedures answered when sent as text: sp_tables, sp_columns and
sp_executesql (with its parameters)."""

from __future__ import annotations

from sql_catalog import Table
from sql_errors import sql_error
from sql_parser import Parser
from sql_results import ResultSet
from sql_sysviews import (ODBC_TYPES, TYPE_IDS, col, n, relations, sysname, type_precision)

def named_args(args, order):
    """Positional and @name= arguments of a procedure call, by parameter name."""
    values = {}
    for position, (name, value) in enumerate(args):
        key = name[1:] if name else order[position] if position < len(order) else None
        if key is None:
            raise sql_error(8144, 'procedure')
        values[key.lower()] = value
    return values


def like(pattern, text):
    from sql_eval import like_regex
    return pattern is None or like_regex(str(pattern)).match(text) is not None


def p_sp_tables(ex, args, out):
    values = named_args(args, ['table_name', 'table_owner', 'table_qualifier', 'table_type'])
    db = ex.db
    types = values.get('table_type')
    wanted = None
    if types:
        wanted = {t.strip().strip("'\"").upper() for t in str(types).split(',')}
    columns = [sysname('TABLE_QUALIFIER', True), sysname('TABLE_OWNER', True),
               sysname('TABLE_NAME', True), col('TABLE_TYPE', 'varchar', 32),
               col('REMARKS', 'varchar', 254)]
    rows = []
    for obj in db.objects.values():
        kind = 'TABLE' if isinstance(obj, Table) else 'VIEW'
        if wanted and kind not in wanted:
            continue
        if not like(values.get('table_name'), obj.name) or \
                not like(values.get('table_owner'), obj.schema.name):
            continue
        rows.append((n(db.name), n(obj.schema.name), n(obj.name), kind, None))
    rows.sort(key=lambda r: (r[3], r[1].lower(), r[2].lower()))
    out.append(ResultSet(columns, rows))
    ex.count(out, len(rows))


def p_sp_columns(ex, args, out):
    values = named_args(args, ['table_name', 'table_owner', 'table_qualifier', 'column_name',
                               'odbcver'])
    db = ex.db
    columns = [sysname('TABLE_QUALIFIER', True), sysname('TABLE_OWNER', True),
               sysname('TABLE_NAME', True), sysname('COLUMN_NAME', True),
               col('DATA_TYPE', 'smallint'), sysname('TYPE_NAME', True),
               col('PRECISION', 'int'), col('LENGTH', 'int'), col('SCALE', 'smallint'),
               col('RADIX', 'smallint'), col('NULLABLE', 'smallint'),
               col('REMARKS', 'varchar', 254), col('COLUMN_DEF', 'nvarchar', 4000),
               col('SQL_DATA_TYPE', 'smallint'), col('SQL_DATETIME_SUB', 'smallint'),
               col('CHAR_OCTET_LENGTH', 'int'), col('ORDINAL_POSITION', 'int'),
               col('IS_NULLABLE', 'varchar', 254), col('SS_DATA_TYPE', 'tinyint')]
    rows = []
    for obj, cols in sorted(relations(db), key=lambda r: (r[0].schema.name.lower(),
                                                          r[0].name.lower())):
        if not like(values.get('table_name'), obj.name) or \
                not like(values.get('table_owner'), obj.schema.name):
            continue
        for position, (name, sql_type, nullable, identity, column) in enumerate(cols):
            if not like(values.get('column_name'), name):
                continue
            kind = sql_type.name
            data_type = ODBC_TYPES[kind]
            if sql_type.length < 0:
                data_type = {'varchar': -1, 'nvarchar': -10, 'varbinary': -4}[kind]
            precision, scale = type_precision(sql_type)
            if kind in ('char', 'varchar', 'nchar', 'nvarchar', 'binary', 'varbinary'):
                precision = 2147483647 if sql_type.length < 0 and kind != 'nvarchar' else \
                    1073741823 if sql_type.length < 0 else sql_type.length
                length = 2147483647 if sql_type.length < 0 else sql_type.max_bytes()
                scale = None
            elif kind == 'uniqueidentifier':
                precision, length, scale = 36, 16, None
            elif kind in ('date', 'time', 'datetime2'):
                precision = {'date': 10, 'time': 8 + (sql_type.scale + 1 if sql_type.scale
                                                      else 0)}.get(kind, precision)
                length = precision * 2
                scale = None if kind == 'date' else sql_type.scale
            else:
                length = {'bit': 1, 'tinyint': 1, 'smallint': 2, 'int': 4, 'bigint': 8,
                          'real': 4, 'float': 8, 'money': 21, 'smallmoney': 12,
                          'datetime': 16, 'smalldatetime': 16}.get(kind, precision + 2)
                if kind in ('real', 'float', 'bit'):
                    scale = None
            type_label = kind + (' identity' if identity else '')
            radix = 10 if kind in ('tinyint', 'smallint', 'int', 'bigint', 'decimal',
                                   'numeric', 'money', 'smallmoney', 'real', 'float') else None
            octets = sql_type.max_bytes() if kind in ('char', 'varchar', 'nchar', 'nvarchar',
                                                      'binary', 'varbinary') else None
            if sql_type.length < 0:
                octets = 2147483647 if kind != 'nvarchar' else 2147483646
            sql_data_type = 9 if kind in ('datetime', 'smalldatetime') else data_type
            sub = 3 if kind in ('datetime', 'smalldatetime') else None
            default = f'({column.default_text})' if column is not None and \
                column.default_text else None
            rows.append((n(db.name), n(obj.schema.name), n(obj.name), n(name), data_type,
                         n(type_label), precision, length, scale, radix, int(nullable), None,
                         n(default), sql_data_type, sub, octets, position + 1,
                         'YES' if nullable else 'NO', TYPE_IDS[kind] % 256))
    out.append(ResultSet(columns, rows))
    ex.count(out, len(rows))


def p_sp_executesql(ex, args, out):
    """sp_executesql N'statement' [, N'@a int, @b nvarchar(5)' [, @a = 1, @b = N'x']]."""
    if not args or args[0][1] is None:
        raise sql_error(214, '@statement', 'ntext/nchar/nvarchar')
    variables = {}
    if len(args) > 1 and args[1][1]:
        parser = Parser(str(args[1][1]))
        while parser.tok.kind == 'var':
            name = parser.next().value
            parser.word('as')
            variables[name] = (parser.data_type(''), None)
            parser.word('output', 'out')
            if not parser.op(','):
                break
        if parser.tok.kind != 'eof':
            raise parser.error()
    for position, (name, value) in enumerate(args[2:]):
        if name is None:
            name = list(variables)[position] if position < len(variables) else None
        if name not in variables:
            raise sql_error(8145, name or '?', 'sp_executesql')
        sql_type = variables[name][0]
        variables[name] = (sql_type, ex.assign_value(sql_type, value))
    ex.run_dynamic(str(args[0][1]), variables, out)


PROCEDURES = {'sp_tables': p_sp_tables, 'sp_columns': p_sp_columns,
              'sp_executesql': p_sp_executesql}
