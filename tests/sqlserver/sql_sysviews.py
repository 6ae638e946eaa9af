"""Catalog views (sys.*, INFORMATION_SCHEMA.*), built-in functions and the system procedures
sent as text (sp_tables, sp_columns), computed from the live catalog with SQL Server's column
types."""

from __future__ import annotations

import datetime as dt
import math
import uuid
from decimal import Decimal

from sql_catalog import Table, View
from sql_errors import sql_error
from sql_parser import Parser
from sql_results import ResultSet
from sql_types import NStr, SqlType, type_name

SYSNAME = ('nvarchar', 128, False)

# SQL Server's system type ids (sys.types) and ODBC SQL types (sp_columns DATA_TYPE).
TYPE_IDS = {'image': 34, 'text': 35, 'uniqueidentifier': 36, 'date': 40, 'time': 41,
            'datetime2': 42, 'tinyint': 48, 'smallint': 52, 'int': 56, 'smalldatetime': 58,
            'real': 59, 'money': 60, 'datetime': 61, 'float': 62, 'ntext': 99, 'bit': 104,
            'decimal': 106, 'numeric': 108, 'smallmoney': 122, 'bigint': 127,
            'varbinary': 165, 'varchar': 167, 'binary': 173, 'char': 175, 'nvarchar': 231,
            'nchar': 239}
ODBC_TYPES = {'bit': -7, 'tinyint': -6, 'smallint': 5, 'int': 4, 'bigint': -5, 'decimal': 3,
              'numeric': 2, 'money': 3, 'smallmoney': 3, 'real': 7, 'float': 6, 'date': -9,
              'time': -9, 'datetime': 11, 'smalldatetime': 11, 'datetime2': -9, 'char': 1,
              'varchar': 12, 'nchar': -8, 'nvarchar': -9, 'binary': -2, 'varbinary': -3,
              'uniqueidentifier': -11}
COLLATION_NAME = 'SQL_Latin1_General_CP1_CI_AS'


def col(name, kind, length=0, nullable=True, precision=0, scale=0):
    sql_type = SqlType(kind, length, precision, scale)
    return sql_type.column_info(name, nullable)


def sysname(name, nullable=False):
    return col(name, 'nvarchar', 128, nullable)


def n(value):
    return None if value is None else NStr(value)


def objects_of(database):
    """(object, type, parent object id, schema) for every object of a database."""
    found = []
    for obj in database.objects.values():
        found.append((obj.object_id, obj.name, obj.schema, obj.kind, 0, obj))
        if isinstance(obj, Table):
            for index in obj.indexes:
                if index.kind():
                    found.append((index.object_id, index.name, obj.schema,
                                  'PK' if index.primary else 'UQ', obj.object_id, index))
            for foreign_key in obj.foreign_keys:
                found.append((foreign_key.object_id, foreign_key.name, obj.schema, 'F',
                              obj.object_id, foreign_key))
            for check in obj.checks:
                found.append((check.object_id, check.name, obj.schema, 'C', obj.object_id,
                              check))
            for column in obj.columns:
                if column.default_name:
                    found.append((column.default_object_id, column.default_name, obj.schema,
                                  'D', obj.object_id, column))
    return found


TYPE_DESC = {'U': 'USER_TABLE', 'V': 'VIEW', 'PK': 'PRIMARY_KEY_CONSTRAINT',
             'UQ': 'UNIQUE_CONSTRAINT', 'F': 'FOREIGN_KEY_CONSTRAINT', 'C': 'CHECK_CONSTRAINT',
             'D': 'DEFAULT_CONSTRAINT'}


def v_objects(ex, db, only=None):
    columns = [sysname('name'), col('object_id', 'int', nullable=False),
               col('principal_id', 'int'), col('schema_id', 'int', nullable=False),
               col('parent_object_id', 'int', nullable=False), col('type', 'char', 2),
               col('type_desc', 'nvarchar', 60), col('create_date', 'datetime', nullable=False),
               col('modify_date', 'datetime', nullable=False),
               col('is_ms_shipped', 'bit', nullable=False)]
    rows = []
    for object_id, name, schema, kind, parent, obj in objects_of(db):
        if only and kind not in only:
            continue
        created = getattr(obj, 'create_date', db.create_date)
        rows.append([n(name), object_id, None, schema.schema_id, parent, kind.ljust(2),
                     n(TYPE_DESC[kind]), created, getattr(obj, 'modify_date', created), False])
    return columns, rows


def v_tables(ex, db):
    columns, rows = v_objects(ex, db, ('U',))
    columns = columns + [col('lob_data_space_id', 'int', nullable=False),
                         col('is_replicated', 'bit'), col('has_replication_filter', 'bit'),
                         col('temporal_type', 'tinyint')]
    return columns, [r + [1, False, False, 0] for r in rows]


def v_views(ex, db):
    return v_objects(ex, db, ('V',))


def v_schemas(ex, db):
    columns = [sysname('name'), col('schema_id', 'int', nullable=False),
               col('principal_id', 'int')]
    rows = [[n(s.name), s.schema_id, 1 if s.schema_id == 1 else s.schema_id]
            for s in sorted(db.schemas.values(), key=lambda s: s.schema_id)]
    return columns, rows


def relations(db):
    """(object, columns as [(name, SqlType, nullable, identity, column)]) of tables and
    views."""
    found = []
    for obj in db.objects.values():
        if isinstance(obj, Table):
            found.append((obj, [(c.name, c.type, c.nullable, c.identity is not None, c)
                                for c in obj.columns]))
        elif isinstance(obj, View):
            found.append((obj, view_columns(obj, db)))
    return found


def view_columns(view, db):
    from sql_executor import Executor
    del Executor
    columns = getattr(view, 'cached_columns', None)
    if columns is None:
        return [(name, SqlType('nvarchar', 4000), True, False, None)
                for name in view.column_names]
    return columns


def v_columns(ex, db):
    columns = [col('object_id', 'int', nullable=False), sysname('name', True),
               col('column_id', 'int', nullable=False),
               col('system_type_id', 'tinyint', nullable=False),
               col('user_type_id', 'int', nullable=False),
               col('max_length', 'smallint', nullable=False),
               col('precision', 'tinyint', nullable=False),
               col('scale', 'tinyint', nullable=False), sysname('collation_name', True),
               col('is_nullable', 'bit'), col('is_ansi_padded', 'bit', nullable=False),
               col('is_rowguidcol', 'bit', nullable=False),
               col('is_identity', 'bit', nullable=False),
               col('is_computed', 'bit', nullable=False),
               col('default_object_id', 'int', nullable=False)]
    rows = []
    for obj, cols in relations(db):
        for position, (name, sql_type, nullable, identity, column) in enumerate(cols):
            precision, scale = type_precision(sql_type)
            rows.append([obj.object_id, n(name), position + 1, TYPE_IDS[sql_type.name],
                         TYPE_IDS[sql_type.name], sql_type.max_bytes(), precision, scale,
                         n(COLLATION_NAME) if is_text(sql_type) else None, nullable,
                         True, bool(column and column.rowguid), identity, False,
                         column.default_object_id if column is not None else 0])
    return columns, rows


def is_text(sql_type):
    return sql_type.name in ('char', 'varchar', 'nchar', 'nvarchar')


def type_precision(sql_type):
    """sys.columns precision and scale."""
    fixed = {'bit': (1, 0), 'tinyint': (3, 0), 'smallint': (5, 0), 'int': (10, 0),
             'bigint': (19, 0), 'money': (19, 4), 'smallmoney': (10, 4), 'real': (24, 0),
             'float': (53, 0), 'date': (10, 0), 'datetime': (23, 3), 'smalldatetime': (16, 0)}
    if sql_type.name in fixed:
        return fixed[sql_type.name]
    if sql_type.name in ('decimal', 'numeric'):
        return sql_type.precision, sql_type.scale
    if sql_type.name == 'time':
        return 8 + (sql_type.scale + 1 if sql_type.scale else 0), sql_type.scale
    if sql_type.name == 'datetime2':
        return 19 + (sql_type.scale + 1 if sql_type.scale else 0), sql_type.scale
    return 0, 0


def v_identity_columns(ex, db):
    columns, rows = v_columns(ex, db)
    extra = [col('seed_value', 'bigint'), col('increment_value', 'bigint'),
             col('last_value', 'bigint'), col('is_not_for_replication', 'bit')]
    identity_rows = []
    for table in db.tables():
        column = table.identity_column()
        if column is None:
            continue
        base = next(r for r in rows if r[0] == table.object_id and
                    r[1].lower() == column.name.lower())
        identity_rows.append(base + [column.identity[0], column.identity[1],
                                     table.identity_last, False])
    return columns + extra, identity_rows


def v_indexes(ex, db):
    columns = [col('object_id', 'int', nullable=False), sysname('name', True),
               col('index_id', 'int', nullable=False), col('type', 'tinyint', nullable=False),
               col('type_desc', 'nvarchar', 60), col('is_unique', 'bit'),
               col('data_space_id', 'int'), col('ignore_dup_key', 'bit'),
               col('is_primary_key', 'bit'), col('is_unique_constraint', 'bit'),
               col('fill_factor', 'tinyint', nullable=False), col('is_padded', 'bit'),
               col('is_disabled', 'bit'), col('is_hypothetical', 'bit'),
               col('allow_row_locks', 'bit'), col('allow_page_locks', 'bit'),
               col('has_filter', 'bit'), col('filter_definition', 'nvarchar', -1)]
    rows = []
    for table in db.tables():
        if table.clustered_index() is None:
            rows.append([table.object_id, None, 0, 0, n('HEAP'), False, 1, False, False, False,
                         0, False, False, False, True, True, False, None])
        for index in sorted(table.indexes, key=lambda i: i.index_id):
            rows.append([table.object_id, n(index.name), index.index_id,
                         1 if index.clustered else 2,
                         n('CLUSTERED' if index.clustered else 'NONCLUSTERED'), index.unique, 1,
                         False, index.primary, index.constraint, 0, False, False, False, True,
                         True, index.condition is not None,
                         n(f'({index.filter_text})') if index.filter_text else None])
    return columns, rows


def v_index_columns(ex, db):
    columns = [col('object_id', 'int', nullable=False), col('index_id', 'int', nullable=False),
               col('index_column_id', 'int', nullable=False),
               col('column_id', 'int', nullable=False),
               col('key_ordinal', 'tinyint', nullable=False),
               col('partition_ordinal', 'tinyint', nullable=False),
               col('is_descending_key', 'bit'), col('is_included_column', 'bit')]
    rows = []
    for table in db.tables():
        for index in table.indexes:
            entries = [(c, d, False) for c, d in index.columns] + \
                [(c, False, True) for c in index.include]
            for position, (name, descending, included) in enumerate(entries):
                column = table.column(name)
                rows.append([table.object_id, index.index_id, position + 1,
                             table.columns.index(column) + 1,
                             0 if included else position + 1, 0, descending, included])
    return columns, rows


ACTIONS = {'NO_ACTION': 0, 'CASCADE': 1, 'SET_NULL': 2, 'SET_DEFAULT': 3}


def v_foreign_keys(ex, db):
    columns, _ = v_objects(ex, db, ('F',))
    columns = columns + [col('referenced_object_id', 'int'), col('key_index_id', 'int'),
                         col('is_disabled', 'bit', nullable=False),
                         col('is_not_trusted', 'bit', nullable=False),
                         col('delete_referential_action', 'tinyint'),
                         col('delete_referential_action_desc', 'nvarchar', 60),
                         col('update_referential_action', 'tinyint'),
                         col('update_referential_action_desc', 'nvarchar', 60)]
    rows = []
    for table in db.tables():
        for fk in table.foreign_keys:
            wanted = sorted(c.lower() for c in fk.parent_columns)
            key = next((i for i in fk.parent.indexes if i.unique and
                        sorted(c.lower() for c, _ in i.columns) == wanted), None)
            rows.append([n(fk.name), fk.object_id, None, table.schema.schema_id,
                         table.object_id, 'F ', n('FOREIGN_KEY_CONSTRAINT'), fk.create_date,
                         fk.create_date, False, fk.parent.object_id,
                         key.index_id if key else None, False, False,
                         ACTIONS[fk.on_delete], n(fk.on_delete),
                         ACTIONS[fk.on_update], n(fk.on_update)])
    return columns, rows


def v_foreign_key_columns(ex, db):
    columns = [col('constraint_object_id', 'int', nullable=False),
               col('constraint_column_id', 'int', nullable=False),
               col('parent_object_id', 'int', nullable=False),
               col('parent_column_id', 'int', nullable=False),
               col('referenced_object_id', 'int', nullable=False),
               col('referenced_column_id', 'int', nullable=False)]
    rows = []
    for table in db.tables():
        for fk in table.foreign_keys:
            for i, (child, parent) in enumerate(zip(fk.columns, fk.parent_columns)):
                rows.append([fk.object_id, i + 1, table.object_id,
                             table.columns.index(table.column(child)) + 1,
                             fk.parent.object_id,
                             fk.parent.columns.index(fk.parent.column(parent)) + 1])
    return columns, rows


def v_key_constraints(ex, db):
    columns, _ = v_objects(ex, db, ('PK', 'UQ'))
    columns = columns + [col('unique_index_id', 'int')]
    rows = []
    for table in db.tables():
        for index in table.indexes:
            if index.kind():
                kind = 'PK' if index.primary else 'UQ'
                rows.append([n(index.name), index.object_id, None, table.schema.schema_id,
                             table.object_id, kind, n(TYPE_DESC[kind]), index.create_date,
                             index.create_date, False, index.index_id])
    return columns, rows


def v_types(ex, db):
    columns = [sysname('name'), col('system_type_id', 'tinyint', nullable=False),
               col('user_type_id', 'int', nullable=False),
               col('schema_id', 'int', nullable=False),
               col('max_length', 'smallint', nullable=False),
               col('precision', 'tinyint', nullable=False),
               col('scale', 'tinyint', nullable=False), sysname('collation_name', True),
               col('is_nullable', 'bit'), col('is_user_defined', 'bit', nullable=False)]
    rows = []
    for name, type_id in sorted(TYPE_IDS.items(), key=lambda item: item[1]):
        sql_type = SqlType(name, 8000 if name in ('varchar', 'char', 'varbinary', 'binary')
                           else 4000 if name in ('nvarchar', 'nchar') else 0,
                           18 if name in ('decimal', 'numeric') else 0,
                           7 if name in ('time', 'datetime2') else 0)
        if name in ('text', 'ntext', 'image'):
            max_length, precision, scale = 16, 0, 0
        else:
            max_length = sql_type.max_bytes()
            precision, scale = type_precision(sql_type)
        rows.append([n(name), type_id, type_id, 4, max_length, precision, scale,
                     n(COLLATION_NAME) if name in ('char', 'varchar', 'nchar', 'nvarchar',
                                                   'text', 'ntext') else None, True, False])
    rows.append([n('sysname'), 231, 256, 4, 256, 0, 0, n(COLLATION_NAME), False, False])
    return columns, rows


def v_databases(ex, db):
    columns = [sysname('name'), col('database_id', 'int', nullable=False),
               col('source_database_id', 'int'), col('owner_sid', 'varbinary', 85),
               col('create_date', 'datetime', nullable=False),
               col('compatibility_level', 'tinyint', nullable=False),
               sysname('collation_name', True), col('user_access', 'tinyint'),
               col('user_access_desc', 'nvarchar', 60), col('is_read_only', 'bit'),
               col('state', 'tinyint'), col('state_desc', 'nvarchar', 60),
               col('recovery_model', 'tinyint'), col('recovery_model_desc', 'nvarchar', 60)]
    rows = []
    for database in sorted(ex.engine.databases.values(), key=lambda d: d.database_id):
        rows.append([n(database.name), database.database_id, None, b'\x01', database.create_date,
                     ex.engine.compatibility_level, n(COLLATION_NAME), 0, n('MULTI_USER'), False,
                     0, n('ONLINE'), 3 if database.database_id <= 4 else 1,
                     n('SIMPLE' if database.database_id <= 4 else 'FULL')])
    return columns, rows


def v_sysdatabases(ex, db):
    columns = [sysname('name', True), col('dbid', 'smallint'), col('sid', 'varbinary', 85),
               col('mode', 'smallint'), col('status', 'int'), col('status2', 'int'),
               col('crdate', 'datetime', nullable=False),
               col('reserved', 'datetime', nullable=False), col('category', 'int'),
               col('cmptlevel', 'tinyint', nullable=False), col('filename', 'nvarchar', 260),
               col('version', 'smallint')]
    rows = []
    for database in sorted(ex.engine.databases.values(), key=lambda d: d.database_id):
        rows.append([n(database.name), database.database_id, b'\x01', 0, 65536, 1627389952,
                     database.create_date, dt.datetime(1900, 1, 1), 0,
                     ex.engine.compatibility_level,
                     n(f'/var/opt/mssql/data/{database.name}.mdf'), 904])
    return columns, rows


def i_tables(ex, db):
    columns = [sysname('TABLE_CATALOG', True), sysname('TABLE_SCHEMA', True),
               sysname('TABLE_NAME'), col('TABLE_TYPE', 'varchar', 10)]
    rows = [[n(db.name), n(obj.schema.name), n(obj.name),
             'BASE TABLE' if isinstance(obj, Table) else 'VIEW']
            for obj in sorted(db.objects.values(), key=lambda o: o.object_id)]
    return columns, rows


def i_columns(ex, db):
    columns = [sysname('TABLE_CATALOG', True), sysname('TABLE_SCHEMA', True),
               sysname('TABLE_NAME'), sysname('COLUMN_NAME', True),
               col('ORDINAL_POSITION', 'int'), col('COLUMN_DEFAULT', 'nvarchar', 4000),
               col('IS_NULLABLE', 'varchar', 3), sysname('DATA_TYPE', True),
               col('CHARACTER_MAXIMUM_LENGTH', 'int'), col('CHARACTER_OCTET_LENGTH', 'int'),
               col('NUMERIC_PRECISION', 'tinyint'), col('NUMERIC_PRECISION_RADIX', 'smallint'),
               col('NUMERIC_SCALE', 'int'), col('DATETIME_PRECISION', 'smallint'),
               sysname('CHARACTER_SET_CATALOG', True), sysname('CHARACTER_SET_SCHEMA', True),
               sysname('CHARACTER_SET_NAME', True), sysname('COLLATION_CATALOG', True),
               sysname('COLLATION_SCHEMA', True), sysname('COLLATION_NAME', True),
               sysname('DOMAIN_CATALOG', True), sysname('DOMAIN_SCHEMA', True),
               sysname('DOMAIN_NAME', True)]
    rows = []
    for obj, cols in sorted(relations(db), key=lambda r: r[0].object_id):
        for position, (name, sql_type, nullable, identity, column) in enumerate(cols):
            length = octets = precision = radix = scale = datetime_precision = None
            kind = sql_type.name
            if kind in ('char', 'varchar', 'nchar', 'nvarchar', 'binary', 'varbinary'):
                length = sql_type.length
                octets = sql_type.max_bytes()
            elif kind in ('date', 'time', 'datetime', 'datetime2', 'smalldatetime'):
                datetime_precision = {'date': 0, 'datetime': 3, 'smalldatetime': 0}.get(
                    kind, sql_type.scale)
            elif kind != 'uniqueidentifier':
                precision, scale = type_precision(sql_type)
                radix = 2 if kind in ('real', 'float') else 10
                if kind in ('real', 'float'):
                    scale = None
            default = f'({column.default_text})' if column is not None and \
                column.default_text else None
            text = is_text(sql_type)
            rows.append([n(db.name), n(obj.schema.name), n(obj.name), n(name), position + 1,
                         n(default), 'YES' if nullable else 'NO', n(kind), length, octets,
                         precision, radix, scale, datetime_precision, None, None,
                         n('iso_1') if kind in ('char', 'varchar') else
                         n('UNICODE') if kind in ('nchar', 'nvarchar') else None, None, None,
                         n(COLLATION_NAME) if text else None, None, None, None])
    return columns, rows


def i_views(ex, db):
    columns = [sysname('TABLE_CATALOG', True), sysname('TABLE_SCHEMA', True),
               sysname('TABLE_NAME'), col('VIEW_DEFINITION', 'nvarchar', 4000),
               col('CHECK_OPTION', 'varchar', 7), col('IS_UPDATABLE', 'varchar', 2)]
    rows = [[n(db.name), n(v.schema.name), n(v.name),
             n(f'CREATE VIEW {v.name} AS {v.text}'[:4000]), 'NONE', 'NO'] for v in db.views()]
    return columns, rows


def i_schemata(ex, db):
    columns = [sysname('CATALOG_NAME', True), sysname('SCHEMA_NAME'),
               sysname('SCHEMA_OWNER', True), sysname('DEFAULT_CHARACTER_SET_CATALOG', True),
               sysname('DEFAULT_CHARACTER_SET_SCHEMA', True),
               sysname('DEFAULT_CHARACTER_SET_NAME', True)]
    rows = [[n(db.name), n(s.name), n('dbo'), None, None, n('iso_1')]
            for s in sorted(db.schemas.values(), key=lambda s: s.schema_id)]
    return columns, rows


def i_table_constraints(ex, db):
    columns = [sysname('CONSTRAINT_CATALOG', True), sysname('CONSTRAINT_SCHEMA', True),
               sysname('CONSTRAINT_NAME'), sysname('TABLE_CATALOG', True),
               sysname('TABLE_SCHEMA', True), sysname('TABLE_NAME'),
               col('CONSTRAINT_TYPE', 'varchar', 11), col('IS_DEFERRABLE', 'varchar', 2),
               col('INITIALLY_DEFERRED', 'varchar', 2)]
    rows = []
    for table in db.tables():
        named = [(i.name, 'PRIMARY KEY' if i.primary else 'UNIQUE') for i in table.indexes
                 if i.kind()]
        named += [(f.name, 'FOREIGN KEY') for f in table.foreign_keys]
        named += [(c.name, 'CHECK') for c in table.checks]
        for name, kind in named:
            rows.append([n(db.name), n(table.schema.name), n(name), n(db.name),
                         n(table.schema.name), n(table.name), kind, 'NO', 'NO'])
    return columns, rows


def i_key_column_usage(ex, db):
    columns = [sysname('CONSTRAINT_CATALOG', True), sysname('CONSTRAINT_SCHEMA', True),
               sysname('CONSTRAINT_NAME'), sysname('TABLE_CATALOG', True),
               sysname('TABLE_SCHEMA', True), sysname('TABLE_NAME'), sysname('COLUMN_NAME',
                                                                             True),
               col('ORDINAL_POSITION', 'int')]
    rows = []
    for table in db.tables():
        keyed = [(i.name, [c for c, _ in i.columns]) for i in table.indexes if i.kind()]
        keyed += [(f.name, f.columns) for f in table.foreign_keys]
        for name, names in keyed:
            for position, column in enumerate(names):
                rows.append([n(db.name), n(table.schema.name), n(name), n(db.name),
                             n(table.schema.name), n(table.name),
                             n(table.column(column).name), position + 1])
    return columns, rows


SYS_VIEWS = {
    'objects': v_objects, 'tables': v_tables, 'views': v_views, 'schemas': v_schemas,
    'columns': v_columns, 'identity_columns': v_identity_columns, 'indexes': v_indexes,
    'index_columns': v_index_columns, 'foreign_keys': v_foreign_keys,
    'foreign_key_columns': v_foreign_key_columns, 'key_constraints': v_key_constraints,
    'types': v_types, 'databases': v_databases, 'sysdatabases': v_sysdatabases,
    'all_objects': v_objects, 'all_columns': v_columns,
}
SERVER_VIEWS = ('databases', 'sysdatabases')
INFORMATION_SCHEMA = {
    'tables': i_tables, 'columns': i_columns, 'views': i_views, 'schemata': i_schemata,
    'table_constraints': i_table_constraints, 'key_column_usage': i_key_column_usage,
}
COMPATIBILITY_VIEWS = ('sysdatabases',)


def system_table(ex, name, database):
    """(columns, rows) when `name` is a catalog view, else None."""
    schema = (name.schema or '').lower()
    view = name.name.lower()
    if schema == 'sys' and view in SYS_VIEWS or \
            schema in ('', 'dbo') and view in COMPATIBILITY_VIEWS:
        handler = SYS_VIEWS[view]
    elif schema == 'information_schema' and view in INFORMATION_SCHEMA:
        handler = INFORMATION_SCHEMA[view]
    else:
        return None
    db = database or (ex.engine.database(name.database) if name.database else ex.db)
    if db is None:
        raise sql_error(208, '.'.join(p for p in (name.database, name.schema, name.name) if p))
    if view in SERVER_VIEWS:
        db = ex.engine.database('master')
    if view in ('views',) and schema == 'sys':
        handler = v_views
    for obj in db.views():
        if not hasattr(obj, 'cached_columns'):
            obj.cached_columns = None
    columns, rows = handler(ex, db)
    return columns, [list(r) for r in rows]


# -- built-in functions ----------------------------------------------------------------------
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
    return None if args[0] is None else abs(args[0])


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


def f_floor(ex, args, node):
    value = args[0]
    if value is None:
        return None
    return value if isinstance(value, int) else \
        Decimal(math.floor(value)) if isinstance(value, Decimal) else float(math.floor(value))


def f_ceiling(ex, args, node):
    value = args[0]
    if value is None:
        return None
    return value if isinstance(value, int) else \
        Decimal(math.ceil(value)) if isinstance(value, Decimal) else float(math.ceil(value))


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


def f_iif(ex, args, node):
    raise sql_error(102, 'IIF')


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
    'right': f_right, 'replace': f_replace, 'charindex': f_charindex, 'concat': f_concat,
    'getdate': f_getdate, 'current_timestamp': f_getdate, 'sysdatetime': f_sysdatetime,
    'newid': f_newid, 'abs': f_abs, 'round': f_round, 'floor': f_floor,
    'ceiling': f_ceiling, 'scope_identity': f_scope_identity, 'user_name': f_user_name,
    'current_user': f_user_name, 'user': f_user_name, 'session_user': f_user_name,
    'suser_sname': f_suser_sname, 'system_user': f_suser_sname, 'suser_name': f_suser_sname,
    'has_dbaccess': f_has_dbaccess, 'type_name': f_type_name, 'isnumeric': f_isnumeric,
    'columnproperty': f_columnproperty,
}


# -- system procedures sent as text -------------------------------------------------------------
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
    if not args or args[0][1] is None:
        raise sql_error(2812, 'sp_executesql')
    from sql_parser import Node
    ex.do_exec_string(Node('exec_string', parts=[Node('literal', value=args[0][1])]), out)


PROCEDURES = {'sp_tables': p_sp_tables, 'sp_columns': p_sp_columns,
              'sp_executesql': p_sp_executesql}

_ = View
