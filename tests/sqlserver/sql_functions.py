"""Built-in functions: catalog look-ups (OBJECT_ID, OBJECT_NAME, DB_NAME...), server
properties and the text, number and date functions the tests and scripts use."""

from __future__ import annotations

import datetime as dt
import decimal
import math
import uuid
from decimal import Decimal

from sql_catalog import Table, View
from sql_errors import sql_error
from sql_parser import Parser
from sql_sysviews import COLLATION_NAME, TYPE_IDS, n, objects_of, type_precision
from sql_types import NStr, SqlType, type_name

def object_lookup(ex, text, kind=None):
    """OBJECT_ID: the id of a (possibly multi-part) name, or None."""
    if text is None:
        return None
    try:
        name = Parser(str(text)).name()
    except Exception:
        return None
    if name.name.startswith('#'):
        if name.database is not None and name.database.lower() != 'tempdb':
            return None
        table = ex.temp.get(name.name.lower())
        return table.object_id if table and (kind is None or kind.strip().upper() == 'U') \
            else None
    database = ex.engine.database(name.database) if name.database else ex.db
    if database is None:
        return None
    for object_id, object_name, schema, object_kind, _, _ in objects_of(database):
        if object_name.lower() == name.name.lower() and \
                schema.name.lower() == (name.schema or 'dbo').lower():
            if kind is None or object_kind == str(kind).strip().upper():
                return object_id
    return None


def find_object(ex, object_id, database_id=None):
    databases = [d for d in ex.engine.databases.values()
                 if database_id is None and d is ex.db or d.database_id == database_id]
    for database in databases:
        for found_id, name, schema, kind, parent, obj in objects_of(database):
            if found_id == object_id:
                return name, schema, obj
    if database_id is None or database_id == ex.engine.database('tempdb').database_id:
        for table in ex.temp.values():
            if table.object_id == object_id:
                return table.name, table.schema, table
    return None


def f_object_id(ex, args, node):
    return object_lookup(ex, args[0], args[1] if len(args) > 1 else None)


def f_object_name(ex, args, node):
    found = find_object(ex, args[0], args[1] if len(args) > 1 else None) \
        if args[0] is not None else None
    return n(found[0]) if found else None


def f_object_schema_name(ex, args, node):
    found = find_object(ex, args[0], args[1] if len(args) > 1 else None) \
        if args[0] is not None else None
    return n(found[1].name) if found else None


def f_objectproperty(ex, args, node):
    found = find_object(ex, args[0]) if args[0] is not None else None
    if found is None or args[1] is None:
        return None
    obj = found[2]
    prop = str(args[1]).lower()
    if prop == 'tablehasidentity':
        return int(isinstance(obj, Table) and obj.identity_column() is not None) \
            if isinstance(obj, Table) else None
    if prop == 'isusertable':
        return int(isinstance(obj, Table))
    if prop == 'isview':
        return int(isinstance(obj, View))
    if prop == 'istable':
        return int(isinstance(obj, Table))
    if prop == 'tablehasprimarykey':
        return int(obj.primary_key() is not None) if isinstance(obj, Table) else None
    if prop == 'tablehasclustindex':
        return int(obj.clustered_index() is not None) if isinstance(obj, Table) else None
    return None


def f_db_name(ex, args, node):
    if not args or args[0] is None:
        return n(ex.db.name) if not args else None
    for database in ex.engine.databases.values():
        if database.database_id == args[0]:
            return n(database.name)
    return None


def f_db_id(ex, args, node):
    if not args:
        return ex.db.database_id
    database = ex.engine.database(args[0])
    return database.database_id if database else None


def f_schema_name(ex, args, node):
    if not args:
        return n('dbo')
    for schema in ex.db.schemas.values():
        if schema.schema_id == args[0]:
            return n(schema.name)
    return None


def f_schema_id(ex, args, node):
    if not args:
        return 1
    schema = ex.db.schema(args[0]) if args[0] is not None else None
    return schema.schema_id if schema else None


def f_ident_current(ex, args, node):
    object_id = object_lookup(ex, args[0])
    found = find_object(ex, object_id) if object_id else None
    if found is None or not isinstance(found[2], Table) or found[2].identity_column() is None:
        return None
    table = found[2]
    value = table.identity_last if table.identity_last is not None else \
        table.identity_column().identity[0]
    return Decimal(value)


def f_col_length(ex, args, node):
    object_id = object_lookup(ex, args[0])
    found = find_object(ex, object_id) if object_id else None
    if found is None or not isinstance(found[2], Table):
        return None
    column = found[2].column(str(args[1]))
    return column.type.max_bytes() if column else None


def f_serverproperty(ex, args, node):
    prop = str(args[0]).lower() if args[0] is not None else ''
    engine = ex.engine
    values = {
        'productversion': engine.product_version,
        'productmajorversion': engine.product_version.split('.')[0],
        'edition': 'SQL Azure' if engine.banner == 'azure' else 'Developer Edition (64-bit)',
        'engineedition': 5 if engine.banner == 'azure' else 3,
        'servername': 'TABRIXTEST', 'machinename': 'TABRIXTEST',
        'collation': COLLATION_NAME, 'productlevel': 'RTM', 'isintegratedsecurityonly': 0,
    }
    value = values.get(prop)
    return n(value) if isinstance(value, str) else value


def f_databasepropertyex(ex, args, node):
    database = ex.engine.database(args[0]) if args[0] is not None else None
    if database is None:
        return None
    prop = str(args[1]).lower()
    return {'collation': n(COLLATION_NAME), 'status': n('ONLINE'),
            'updateability': n('READ_WRITE'), 'useraccess': n('MULTI_USER'),
            'recovery': n('FULL')}.get(prop)


def text_arg(value):
    return None if value is None else SqlType('nvarchar', -1).convert(value) \
        if not isinstance(value, str) else value


def keep_kind(original, text):
    return NStr(text) if isinstance(original, NStr) else text


def f_len(ex, args, node):
    value = text_arg(args[0])
    return None if value is None else len(value.rstrip(' '))


def f_datalength(ex, args, node):
    value = args[0]
    if value is None:
        return None
    if isinstance(value, bytes):
        return len(value)
    if isinstance(value, NStr):
        return len(value) * 2
    if isinstance(value, str):
        return len(value.encode('cp1252', 'replace'))
    sizes = {'bit': 1, 'int': 4, 'bigint': 8, 'float': 8, 'date': 3, 'datetime': 8,
             'uniqueidentifier': 16, 'numeric': 9}
    return sizes.get(type_name(value), 8)


def f_isnull(ex, args, node):
    return args[1] if args[0] is None else args[0]


def f_coalesce(ex, args, node):
    return next((a for a in args if a is not None), None)


def f_nullif(ex, args, node):
    from sql_eval import compare
    return None if compare(args[0], args[1]) == 0 else args[0]


def f_upper(ex, args, node):
    return None if args[0] is None else keep_kind(args[0], text_arg(args[0]).upper())


def f_lower(ex, args, node):
    return None if args[0] is None else keep_kind(args[0], text_arg(args[0]).lower())


def f_ltrim(ex, args, node):
    return None if args[0] is None else keep_kind(args[0], text_arg(args[0]).lstrip(' '))


def f_rtrim(ex, args, node):
    return None if args[0] is None else keep_kind(args[0], text_arg(args[0]).rstrip(' '))


def f_trim(ex, args, node):
    return None if args[0] is None else keep_kind(args[0], text_arg(args[0]).strip(' '))


def f_substring(ex, args, node):
    if None in args[:3]:
        return None
    value, start, length = args[0], int(args[1]), int(args[2])
    if length < 0:
        raise sql_error(536, 'substring')
    end = start + length - 1
    start = max(start, 1)
    piece = value[start - 1:max(end, 0)]
    return keep_kind(value, piece) if isinstance(value, str) else piece


def f_left(ex, args, node):
    if None in args:
        return None
    value = text_arg(args[0])
    return keep_kind(args[0], value[:int(args[1])])


def f_right(ex, args, node):
    if None in args:
        return None
    value = text_arg(args[0])
    count = int(args[1])
    return keep_kind(args[0], value[-count:] if count else '')


def f_replace(ex, args, node):
    if None in args:
        return None
    import re
    value, old, new = (text_arg(a) for a in args)
    if not old:
        return value
    return keep_kind(args[0], re.sub(re.escape(old), lambda m: new, value, flags=re.IGNORECASE))


def f_charindex(ex, args, node):
    if None in args[:2]:
        return None
    start = int(args[2]) - 1 if len(args) > 2 and args[2] else 0
    return text_arg(args[1]).lower().find(text_arg(args[0]).lower(), max(start, 0)) + 1


def f_replicate(ex, args, node):
    if None in args:
        return None
    count = int(args[1])
    return keep_kind(args[0], text_arg(args[0]) * count) if count >= 0 else None


def f_space(ex, args, node):
    return None if args[0] is None or args[0] < 0 else ' ' * int(args[0])


def f_concat(ex, args, node):
    parts = [text_arg(a) or '' for a in args]
    text = ''.join(parts)
    return NStr(text) if any(isinstance(a, NStr) for a in args) else text


def f_getdate(ex, args, node):
    from sql_types import round_datetime
    return round_datetime(dt.datetime.now())


def f_sysdatetime(ex, args, node):
    return dt.datetime.now()


def f_newid(ex, args, node):
    return uuid.uuid4()


def f_abs(ex, args, node):
    value = args[0]
    return None if value is None else value.copy_abs() if isinstance(value, Decimal) else \
        abs(value)


def f_round(ex, args, node):
    from sql_eval import decimal_round
    value, digits = args[0], args[1]
    if value is None or digits is None:
        return None
    truncate = len(args) > 2 and args[2]
    if isinstance(value, float):
        factor = 10 ** digits
        return math.trunc(value * factor) / factor if truncate else round(value, digits)
    if isinstance(value, int):
        if digits >= 0:
            return value
        factor = 10 ** -digits
        return int(decimal_round(Decimal(value), digits, bool(truncate)))
    return decimal_round(value, int(digits), bool(truncate))


def whole(value, rounding):
    """FLOOR/CEILING: the result keeps the argument's type."""
    if value is None or isinstance(value, int):
        return value
    if isinstance(value, Decimal):
        return value.to_integral_value(rounding=rounding)
    return float(math.floor(value) if rounding == decimal.ROUND_FLOOR else math.ceil(value))


def f_floor(ex, args, node):
    return whole(args[0], decimal.ROUND_FLOOR)


def f_ceiling(ex, args, node):
    return whole(args[0], decimal.ROUND_CEILING)


def f_scope_identity(ex, args, node):
    return ex.scope_identity


def f_user_name(ex, args, node):
    return n('dbo')


def f_suser_sname(ex, args, node):
    return n(ex.session.user)


def f_has_dbaccess(ex, args, node):
    return 1 if ex.engine.database(args[0]) is not None else None


def f_type_name(ex, args, node):
    for name, type_id in TYPE_IDS.items():
        if type_id == args[0]:
            return n(name)
    return None


def f_isnumeric(ex, args, node):
    value = args[0]
    if isinstance(value, (int, Decimal, float)):
        return 1
    if isinstance(value, str):
        try:
            float(value.strip().replace(',', '').lstrip('$'))
            return 1
        except ValueError:
            return 0
    return 0


def f_columnproperty(ex, args, node):
    object_id = args[0]
    found = find_object(ex, object_id) if object_id is not None else None
    if found is None or not isinstance(found[2], Table):
        return None
    column = found[2].column(str(args[1]))
    if column is None:
        return None
    prop = str(args[2]).lower()
    if prop == 'isidentity':
        return int(column.identity is not None)
    if prop == 'allowsnull':
        return int(column.nullable)
    if prop == 'precision':
        return type_precision(column.type)[0] or column.type.length
    return None


FUNCTIONS = {
    'object_id': f_object_id, 'object_name': f_object_name,
    'object_schema_name': f_object_schema_name, 'objectproperty': f_objectproperty,
    'db_name': f_db_name, 'db_id': f_db_id, 'schema_name': f_schema_name,
    'schema_id': f_schema_id, 'ident_current': f_ident_current, 'col_length': f_col_length,
    'serverproperty': f_serverproperty, 'databasepropertyex': f_databasepropertyex,
    'len': f_len, 'datalength': f_datalength, 'isnull': f_isnull, 'coalesce': f_coalesce,
    'nullif': f_nullif, 'upper': f_upper, 'lower': f_lower, 'ltrim': f_ltrim,
    'rtrim': f_rtrim, 'trim': f_trim, 'substring': f_substring, 'left': f_left,
    'right': f_right, 'replace': f_replace, 'replicate': f_replicate, 'space': f_space,
    'charindex': f_charindex, 'concat': f_concat,
    'getdate': f_getdate, 'current_timestamp': f_getdate, 'sysdatetime': f_sysdatetime,
    'newid': f_newid, 'abs': f_abs, 'round': f_round, 'floor': f_floor,
    'ceiling': f_ceiling, 'scope_identity': f_scope_identity, 'user_name': f_user_name,
    'current_user': f_user_name, 'user': f_user_name, 'session_user': f_user_name,
    'suser_sname': f_suser_sname, 'system_user': f_suser_sname, 'suser_name': f_suser_sname,
    'has_dbaccess': f_has_dbaccess, 'type_name': f_type_name, 'isnumeric': f_isnumeric,
    'columnproperty': f_columnproperty,
}
