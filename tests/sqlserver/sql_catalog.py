"""Databases and their objects: schemas, tables (rows in a sqlite store), views, indexes, keys.

Each database is one sqlite file `<name>.sqlite` under the engine's data directory: table rows in
`t<object_id>` (columns `c<n>`, values encoded by sql_types.SqlType.encode) and the catalog as
JSON in `_catalog`, so that a reader without the server can decode them.
"""

from __future__ import annotations

import datetime as dt
import json
import os
import sqlite3

from sql_types import SqlType

FIRST_USER_OBJECT_ID = 245575913


class Schema:
    def __init__(self, schema_id, name):
        self.schema_id = schema_id
        self.name = name


class Column:
    def __init__(self, name, sql_type, nullable=True, identity=None, default=None,
                 default_text=None, key=None, column_id=0, default_name=None, rowguid=False):
        self.name = name
        self.type = sql_type
        self.nullable = nullable
        self.identity = identity            # (seed, step) or None
        self.default = default              # expression tree
        self.default_text = default_text
        self.default_name = default_name
        self.default_object_id = 0
        self.key = key                      # store column name
        self.column_id = column_id
        self.rowguid = rowguid

    def info(self):
        return self.type.column_info(self.name, self.nullable, self.identity is not None)


class Index:
    def __init__(self, name, index_id, columns, unique=False, primary=False, constraint=False,
                 clustered=False, condition=None, filter_text=None, include=(), object_id=0):
        self.name = name
        self.index_id = index_id
        self.columns = columns              # [(column name, descending)]
        self.unique = unique
        self.primary = primary
        self.constraint = constraint        # a UNIQUE constraint (not a CREATE UNIQUE INDEX)
        self.clustered = clustered
        self.condition = condition
        self.filter_text = filter_text
        self.include = list(include)
        self.object_id = object_id          # the constraint's own object id (PK, UQ)
        self.create_date = dt.datetime.now()
        self.keys = None                    # key → count of rows; built when first needed

    def kind(self):
        return 'PRIMARY KEY' if self.primary else 'UNIQUE KEY' if self.constraint else None


class ForeignKey:
    def __init__(self, name, object_id, table, columns, parent, parent_columns, on_delete,
                 on_update):
        self.name = name
        self.object_id = object_id
        self.table = table
        self.columns = columns
        self.parent = parent
        self.parent_columns = parent_columns
        self.on_delete = on_delete
        self.on_update = on_update
        self.disabled = False               # ALTER TABLE ... NOCHECK CONSTRAINT
        self.create_date = dt.datetime.now()


class Check:
    def __init__(self, name, object_id, condition, text):
        self.name = name
        self.object_id = object_id
        self.condition = condition
        self.text = text
        self.disabled = False


class Table:
    kind = 'U'

    def __init__(self, object_id, schema, name, columns, temp=False):
        self.object_id = object_id
        self.schema = schema
        self.name = name
        self.columns = columns
        self.indexes = []
        self.foreign_keys = []
        self.checks = []
        self.temp = temp
        self.identity_last = None           # last identity value given out (None: none yet)
        self.next_key = len(columns)
        self.create_date = dt.datetime.now()
        self.modify_date = self.create_date
        self.store = f't{object_id}'

    def column(self, name):
        lowered = name.lower()
        for column in self.columns:
            if column.name.lower() == lowered:
                return column
        return None

    def identity_column(self):
        for column in self.columns:
            if column.identity is not None:
                return column
        return None

    def primary_key(self):
        for index in self.indexes:
            if index.primary:
                return index
        return None

    def clustered_index(self):
        for index in self.indexes:
            if index.clustered:
                return index
        return None

    def index(self, name):
        for index in self.indexes:
            if index.name.lower() == name.lower():
                return index
        return None


class View:
    kind = 'V'

    def __init__(self, object_id, schema, name, query, text, definition, columns):
        self.object_id = object_id
        self.schema = schema
        self.name = name
        self.query = query
        self.text = text                    # the SELECT
        self.definition = definition        # the CREATE VIEW statement as written
        self.columns = columns              # [(name, SqlType, nullable)]
        self.create_date = dt.datetime.now()
        self.modify_date = self.create_date


class Database:
    """One database: its objects in memory, its rows in sqlite (shared by all sessions; the
    engine's lock serialises access)."""

    def __init__(self, name, database_id, path):
        self.name = name
        self.database_id = database_id
        self.path = path
        self.create_date = dt.datetime.now()
        self.store = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self.store.execute('PRAGMA synchronous=OFF')
        self.store.execute('PRAGMA journal_mode=MEMORY')
        self.store.execute('CREATE TABLE IF NOT EXISTS _catalog (name TEXT PRIMARY KEY, '
                           'json TEXT)')
        self.schemas = {}
        for schema_id, schema_name in ((1, 'dbo'), (2, 'guest'), (3, 'INFORMATION_SCHEMA'),
                                       (4, 'sys')):
            self.schemas[schema_name.lower()] = Schema(schema_id, schema_name)
        self.next_schema_id = 5
        self.objects = {}                   # object_id → Table/View
        self.names = {}                     # (schema_id, lower name) → object_id (any object)
        self.next_object_id = FIRST_USER_OBJECT_ID + database_id * 1000003
        self.in_sqlite_tx = False
        self.dirty = False
        self.load_catalog()

    def close(self):
        self.store.close()

    def schema(self, name):
        return self.schemas.get((name or 'dbo').lower())

    def new_object_id(self):
        self.next_object_id += 16
        return self.next_object_id

    def lookup(self, schema, name):
        """The table or view named so, or None."""
        schema_obj = self.schema(schema)
        if schema_obj is None:
            return None
        object_id = self.names.get((schema_obj.schema_id, name.lower()))
        return self.objects.get(object_id)

    def name_taken(self, schema, name):
        return (schema.schema_id, name.lower()) in self.names

    def add_object(self, obj):
        self.objects[obj.object_id] = obj
        self.names[(obj.schema.schema_id, obj.name.lower())] = obj.object_id

    def remove_object(self, obj):
        self.objects.pop(obj.object_id, None)
        self.names.pop((obj.schema.schema_id, obj.name.lower()), None)

    def reserve_name(self, schema, name, object_id):
        """Constraint names live in the same name space as tables and views."""
        self.names[(schema.schema_id, name.lower())] = object_id

    def release_name(self, schema, name):
        self.names.pop((schema.schema_id, name.lower()), None)

    def tables(self):
        return [o for o in self.objects.values() if isinstance(o, Table)]

    def views(self):
        return [o for o in self.objects.values() if isinstance(o, View)]

    # -- rows -------------------------------------------------------------------------------
    def begin(self):
        if not self.in_sqlite_tx:
            self.store.execute('BEGIN')
            self.in_sqlite_tx = True

    def flush(self):
        if self.in_sqlite_tx:
            self.store.execute('COMMIT')
            self.in_sqlite_tx = False

    def create_store(self, table):
        self.begin()
        columns = ', '.join(c.key for c in table.columns)
        self.store.execute(f'CREATE TABLE {table.store} ({columns})')

    def drop_store(self, table):
        self.begin()
        self.store.execute(f'DROP TABLE IF EXISTS {table.store}')

    def rename_store(self, table, new):
        self.begin()
        self.store.execute(f'ALTER TABLE {table.store} RENAME TO {new}')
        table.store = new

    def add_store_column(self, table, column):
        self.begin()
        self.store.execute(f'ALTER TABLE {table.store} ADD COLUMN {column.key}')

    def scan(self, table):
        """[(rowid, [values])] in insertion order."""
        keys = ', '.join(c.key for c in table.columns)
        types = [c.type for c in table.columns]
        rows = self.store.execute(f'SELECT rowid, {keys} FROM {table.store} ORDER BY rowid')
        return [(row[0], [t.decode(v) for t, v in zip(types, row[1:])]) for row in rows]

    def read(self, table, rowid):
        keys = ', '.join(c.key for c in table.columns)
        row = self.store.execute(f'SELECT {keys} FROM {table.store} WHERE rowid=?',
                                 (rowid,)).fetchone()
        return [c.type.decode(v) for c, v in zip(table.columns, row)]

    def insert_row(self, table, values, rowid=None):
        self.begin()
        keys = ', '.join(['rowid'] + [c.key for c in table.columns])
        marks = ', '.join('?' * (len(table.columns) + 1))
        encoded = [rowid] + [c.type.encode(v) for c, v in zip(table.columns, values)]
        cursor = self.store.execute(f'INSERT INTO {table.store} ({keys}) VALUES ({marks})',
                                    encoded)
        return cursor.lastrowid

    def delete_row(self, table, rowid):
        self.begin()
        self.store.execute(f'DELETE FROM {table.store} WHERE rowid=?', (rowid,))

    def update_row(self, table, rowid, values):
        self.begin()
        sets = ', '.join(f'{c.key}=?' for c in table.columns)
        encoded = [c.type.encode(v) for c, v in zip(table.columns, values)] + [rowid]
        self.store.execute(f'UPDATE {table.store} SET {sets} WHERE rowid=?', encoded)

    # -- the catalog as JSON: readers of the store decode rows with it, and a server started
    # again on the same directory finds its objects -----------------------------------------
    def save_catalog(self):
        if self.path == ':memory:':
            return
        tables, views = [], []
        for obj in sorted(self.objects.values(), key=lambda o: o.object_id):
            if isinstance(obj, View):
                views.append({'object_id': obj.object_id, 'schema': obj.schema.name,
                              'name': obj.name, 'text': obj.text,
                              'definition': obj.definition,
                              'columns': [[n, t.name, t.length, t.precision, t.scale, null]
                                          for n, t, null in obj.columns]})
                continue
            if obj.temp:
                continue
            tables.append({
                'object_id': obj.object_id, 'schema': obj.schema.name, 'name': obj.name,
                'store': obj.store, 'identity_last': obj.identity_last,
                'next_key': obj.next_key,
                'columns': [{'name': c.name, 'key': c.key, 'type': c.type.name,
                             'length': c.type.length, 'precision': c.type.precision,
                             'scale': c.type.scale, 'collation': c.type.collation,
                             'nullable': c.nullable,
                             'identity': c.identity, 'default': c.default_text,
                             'default_name': c.default_name,
                             'default_object_id': c.default_object_id,
                             'rowguid': c.rowguid} for c in obj.columns],
                'indexes': [{'name': i.name, 'index_id': i.index_id, 'columns': i.columns,
                             'unique': i.unique, 'primary': i.primary,
                             'constraint': i.constraint, 'clustered': i.clustered,
                             'filter': i.filter_text, 'include': i.include,
                             'object_id': i.object_id} for i in obj.indexes],
                'foreign_keys': [{'name': f.name, 'object_id': f.object_id,
                                  'columns': f.columns, 'parent': f.parent.object_id,
                                  'parent_columns': f.parent_columns,
                                  'on_delete': f.on_delete, 'on_update': f.on_update,
                                  'disabled': f.disabled}
                                 for f in obj.foreign_keys],
                'checks': [{'name': c.name, 'object_id': c.object_id, 'text': c.text,
                            'disabled': c.disabled}
                           for c in obj.checks]})
        schemas = [{'id': s.schema_id, 'name': s.name} for s in self.schemas.values()]
        catalog = {'schemas': schemas, 'tables': tables, 'views': views,
                   'next_object_id': self.next_object_id,
                   'next_schema_id': self.next_schema_id}
        self.begin()
        self.store.execute('INSERT OR REPLACE INTO _catalog VALUES (?, ?)',
                           ('tables', json.dumps(tables)))
        self.store.execute('INSERT OR REPLACE INTO _catalog VALUES (?, ?)',
                           ('catalog', json.dumps(catalog)))

    def load_catalog(self):
        row = self.store.execute("SELECT json FROM _catalog WHERE name='catalog'").fetchone()
        if row is None:
            return
        from sql_parser import parse_condition, parse_expression, parse_select
        catalog = json.loads(row[0])
        for schema in catalog['schemas']:
            self.schemas[schema['name'].lower()] = Schema(schema['id'], schema['name'])
        self.next_object_id = catalog['next_object_id']
        self.next_schema_id = catalog['next_schema_id']
        tables = {}
        for saved in catalog['tables']:
            columns = []
            for position, c in enumerate(saved['columns']):
                column = Column(c['name'], SqlType(c['type'], c['length'], c['precision'],
                                                   c['scale'], c['collation']), c['nullable'],
                                tuple(c['identity']) if c['identity'] else None,
                                parse_expression(c['default']) if c['default'] else None,
                                c['default'], c['key'], position + 1, c['default_name'],
                                c['rowguid'])
                column.default_object_id = c['default_object_id']
                columns.append(column)
            table = Table(saved['object_id'], self.schema(saved['schema']), saved['name'],
                          columns)
            table.store = saved['store']
            table.identity_last = saved['identity_last']
            table.next_key = saved['next_key']
            for i in saved['indexes']:
                table.indexes.append(Index(
                    i['name'], i['index_id'], [tuple(c) for c in i['columns']], i['unique'],
                    i['primary'], i['constraint'], i['clustered'],
                    parse_condition(i['filter']) if i['filter'] else None, i['filter'],
                    i['include'], i['object_id']))
            for c in saved['checks']:
                check = Check(c['name'], c['object_id'], parse_condition(c['text']), c['text'])
                check.disabled = c['disabled']
                table.checks.append(check)
            self.add_object(table)
            for name, object_id in [(i.name, i.object_id) for i in table.indexes if i.kind()] + \
                    [(c.name, c.object_id) for c in table.checks] + \
                    [(c.default_name, c.default_object_id) for c in columns if c.default_name]:
                self.reserve_name(table.schema, name, object_id)
            tables[table.object_id] = (table, saved)
        for table, saved in tables.values():
            for f in saved['foreign_keys']:
                parent = tables[f['parent']][0]
                foreign_key = ForeignKey(f['name'], f['object_id'], table, f['columns'], parent,
                                         f['parent_columns'], f['on_delete'], f['on_update'])
                foreign_key.disabled = f['disabled']
                table.foreign_keys.append(foreign_key)
                self.reserve_name(table.schema, f['name'], f['object_id'])
        for saved in catalog['views']:
            self.add_object(View(saved['object_id'], self.schema(saved['schema']),
                                 saved['name'], parse_select(saved['text']), saved['text'],
                                 saved['definition'],
                                 [(c[0], SqlType(*c[1:5]), c[5]) for c in saved['columns']]))


def read_store(path, schema, name):
    """Rows of a table read straight from a database file (no server needed): dicts of
    column name → decoded value."""
    store = sqlite3.connect(f'file:{path}?mode=ro', uri=True)
    try:
        row = store.execute("SELECT json FROM _catalog WHERE name='tables'").fetchone()
        for table in json.loads(row[0]) if row else []:
            if table['name'].lower() == name.lower() and \
                    table['schema'].lower() == (schema or 'dbo').lower():
                columns = table['columns']
                types = [SqlType(c['type'], c['length'], c['precision'], c['scale'])
                         for c in columns]
                keys = ', '.join(c['key'] for c in columns)
                for values in store.execute(f"SELECT {keys} FROM {table['store']} "
                                            'ORDER BY rowid'):
                    yield {c['name']: t.decode(v) for c, t, v in zip(columns, types, values)}
                return
        raise KeyError(f'{schema}.{name}')
    finally:
        store.close()


def database_path(data_dir, name):
    return os.path.join(data_dir, name.lower() + '.sqlite')


def index_key(index, table, values):
    """The key of a row in a unique index, compared as the default collation does; None when a
    filter leaves the row out."""
    positions = [table.columns.index(table.column(name)) for name, _ in index.columns]
    return tuple(table.columns[p].type.key(values[p]) for p in positions)
