"""Catalog views (sys.*, INFORMATION_SCHEMA.*), computed from the live catalog with SQL
Server's column types."""

from __future__ import annotations

import datetime as dt

from sql_catalog import Table, View
from sql_errors import sql_error
from sql_types import NStr, SqlType, collation_name

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
    return [(name, sql_type, nullable, False, None) for name, sql_type, nullable in view.columns]


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
                         n(collation_name(sql_type.collation)) if is_text(sql_type) else None,
                         nullable,
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
                         key.index_id if key else None, fk.disabled, fk.disabled,
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
                         n(collation_name(sql_type.collation)) if text else None, None, None,
                         None])
    return columns, rows


def i_views(ex, db):
    columns = [sysname('TABLE_CATALOG', True), sysname('TABLE_SCHEMA', True),
               sysname('TABLE_NAME'), col('VIEW_DEFINITION', 'nvarchar', 4000),
               col('CHECK_OPTION', 'varchar', 7), col('IS_UPDATABLE', 'varchar', 2)]
    rows = [[n(db.name), n(v.schema.name), n(v.name),
             n(v.definition[:4000]), 'NONE', 'NO'] for v in db.views()]
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
    columns, rows = handler(ex, db)
    return columns, [list(r) for r in rows]
