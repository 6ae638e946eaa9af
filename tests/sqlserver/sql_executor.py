"""Runs parsed statements for one session: DDL, DML with SQL Server's checks, queries, SET
options, transactions (an undo log over the shared sqlite stores) and dynamic SQL."""

from __future__ import annotations

import datetime as dt
import uuid
from decimal import Decimal

from sql_catalog import (Check, Column, Database, ForeignKey, Index, Schema, Table, View,
                         database_path)
from sql_errors import SqlError, info, sql_error
from sql_eval import (AGGREGATES, Binding, Context, arithmetic, column_info_for, compare,
                      decimal_round, is_aggregate, like_regex, truth)
from sql_parser import Name, Node, Parser, parse_condition, parse_expression
from sql_results import EnvChange, Info, ResultSet, RowCount
from sql_types import (NStr, SqlType, parse_datetime, sort_key, type_name)
import sql_sysviews


class BatchAbort(Exception):
    """Ends the batch after an error that SQL Server does not survive within a batch."""


class Executor:
    def __init__(self, engine, session):
        self.engine = engine
        self.session = session
        self.tran_count = 0
        self.undo = []
        self.dropped_stores = []            # (database, store) to drop at commit
        self.temp = {}                      # lower name → Table (#temp tables)
        self.options = {'nocount': False, 'xact_abort': False, 'quoted_identifier': True,
                        'dateformat': 'mdy', 'fmtonly': False, 'implicit_transactions': False,
                        'ansi_nulls': True, 'concat_null_yields_null': True}
        self.identity_insert = None         # Table with IDENTITY_INSERT ON
        self.variables = {}
        self.last_identity = None
        self.scope_identity = None
        self.rowcount = 0
        self.error = 0
        self.depth = 0

    @property
    def db(self):
        return self.engine.database(self.session.database)

    # -- batches ----------------------------------------------------------------------------
    def run_batch(self, text):
        """Yields one list of results per statement, taking the engine lock for each."""
        with self.engine.lock:
            try:
                statements = Parser(text, self.options['quoted_identifier']).batch()
                self.check_batch(statements)
            except SqlError as error:
                self.error = error.number
                yield [error]
                return
        for statement in statements:
            if self.session.cancelled:
                return
            out = []
            with self.engine.lock:
                try:
                    self.run(statement, out)
                except BatchAbort:
                    yield out
                    return
                finally:
                    self.flush()
            yield out

    def flush(self):
        for database in self.engine.databases.values():
            if database.dirty:
                database.save_catalog()
                database.dirty = False
            database.flush()

    def check_batch(self, statements):
        """Compile-time checks: statements that must start a batch, and column names of tables
        that exist now (a name missing there stops the batch before any statement runs)."""
        for position, statement in enumerate(statements):
            if statement.kind in ('create_view', 'create_schema') and position > 0:
                raise sql_error(111, 'CREATE VIEW' if statement.kind == 'create_view'
                                else 'CREATE SCHEMA', line=statement.line)
            self.check_columns(statement)

    def check_columns(self, statement):
        if statement.kind == 'block':
            for inner in statement.body:
                self.check_columns(inner)
            return
        if statement.kind == 'if':
            self.check_columns(statement.then)
            if statement.otherwise is not None:
                self.check_columns(statement.otherwise)
            return
        names = []
        if statement.kind == 'insert' and statement.columns:
            names = statement.columns
        elif statement.kind == 'update' and statement.sources is None:
            names = [column for column, _ in statement.assignments]
        if not names:
            return
        try:
            database, table = self.resolve(statement.table)
        except SqlError:
            return
        if not isinstance(table, Table):
            return
        for name in names:
            if table.column(name) is None:
                raise sql_error(207, name, line=statement.line)

    def run(self, statement, out):
        """Runs one statement; its error is put in `out`. Raises BatchAbort when the batch
        ends."""
        if statement.kind in ('block', 'if'):
            self.run_compound(statement, out)
            return
        mark = len(self.undo)
        implicit = False
        try:
            if self.options['implicit_transactions'] and self.tran_count == 0 and \
                    statement.kind in ('insert', 'update', 'delete', 'create_table', 'drop',
                                       'alter_add', 'alter_column', 'truncate', 'select') and \
                    not (statement.kind == 'select' and not statement.sources):
                self.tran_count = 1
                implicit = True
            handler = getattr(self, 'do_' + statement.kind)
            if statement.kind not in ('insert', 'update', 'delete', 'select', 'set', 'print',
                                      'declare', 'set_var', 'use', 'exec_string', 'exec',
                                      'begin_tran', 'commit', 'rollback', 'save_tran'):
                self.mark_dirty()
            handler(statement, out)
            self.error = 0
        except SqlError as error:
            del implicit
            if error.line == 1 and getattr(statement, 'line', 0):
                error.line = statement.line
            self.error = error.number
            self.rollback_to(mark)
            out.append(error)
            if error.batch_abort or self.options['xact_abort']:
                if self.options['xact_abort'] and self.tran_count:
                    self.rollback_to(0)
                    self.tran_count = 0
                    self.finish_transaction()
                raise BatchAbort() from None
            return
        if self.tran_count == 0:
            self.finish_transaction()

    def run_compound(self, statement, out):
        if statement.kind == 'block':
            for inner in statement.body:
                self.run(inner, out)
            return
        try:
            condition = self.condition(statement.condition, None)
        except SqlError as error:
            self.error = error.number
            out.append(error)
            if error.batch_abort or self.options['xact_abort']:
                raise BatchAbort() from None
            return
        if condition:
            self.run(statement.then, out)
        elif statement.otherwise is not None:
            self.run(statement.otherwise, out)

    def rollback_to(self, mark):
        if len(self.undo) > mark:
            self.mark_dirty()
        while len(self.undo) > mark:
            self.undo.pop()()

    def mark_dirty(self):
        for database in self.engine.databases.values():
            database.dirty = True

    def finish_transaction(self):
        """The work is committed: forget how to undo it and drop stores of dropped tables."""
        self.undo.clear()
        for database, store in self.dropped_stores:
            database.begin()
            database.store.execute(f'DROP TABLE IF EXISTS {store}')
        self.dropped_stores.clear()

    def count(self, out, n):
        self.rowcount = n
        out.append(RowCount(None if self.options['nocount'] else n))

    # -- names ------------------------------------------------------------------------------
    def database_named(self, name):
        database = self.engine.database(name) if name else self.db
        return database

    def resolve(self, name, kinds=(Table, View)):
        """(database, object) for a table or view name; SqlError 208 when there is none."""
        if name.name.startswith('#'):
            table = self.temp.get(name.name.lower())
            if table is None:
                raise sql_error(208, name.name)
            return self.engine.database('tempdb'), table
        database = self.database_named(name.database)
        obj = database.lookup(name.schema, name.name) if database else None
        if obj is None or not isinstance(obj, kinds):
            raise sql_error(208, name_text(name))
        return database, obj

    def table(self, name):
        database, obj = self.resolve(name)
        if not isinstance(obj, Table):
            raise sql_error(208, name_text(name))
        return database, obj

    def qualified(self, database, table):
        """db.schema.table as messages name a table."""
        if table.temp:
            return 'tempdb.dbo.' + table.name
        return f'{database.name}.{table.schema.name}.{table.name}'

    def schema_qualified(self, table):
        return f'{table.schema.name}.{table.name}'

    # -- simple statements ------------------------------------------------------------------
    def do_noop(self, node, out):
        pass

    def do_use(self, node, out):
        target = self.engine.database(node.database)
        if target is None:
            raise sql_error(911, node.database)
        if self.engine.banner == 'azure' and target.name.lower() != self.db.name.lower():
            raise sql_error(40508)
        old = self.session.database
        self.session.database = target.name
        out.append(EnvChange('database', target.name, old))
        out.append(Info(5701, info(5701).format(target.name), 1, 0))

    def do_print(self, node, out):
        value = self.value(node.expr, None)
        out.append(Info(0, '' if value is None else str(SqlType('nvarchar', -1).convert(value)),
                        1, 0))

    def do_declare(self, node, out):
        for name, sql_type, expr in node.variables:
            value = self.value(expr, None) if expr is not None else None
            self.variables[name] = (sql_type, self.assign_value(sql_type, value))

    def do_set_var(self, node, out):
        if node.name not in self.variables:
            raise sql_error(137, node.name)
        sql_type, _ = self.variables[node.name]
        self.variables[node.name] = (sql_type,
                                     self.assign_value(sql_type, self.value(node.expr, None)))

    def assign_value(self, sql_type, value):
        return sql_type.cut(sql_type.convert(value, True, self.options['dateformat']))

    def do_set(self, node, out):
        option = node.option
        if option == 'identity_insert':
            self.set_identity_insert(node)
            return
        if option == 'dateformat':
            if node.value not in ('mdy', 'dmy', 'ymd', 'ydm', 'myd', 'dym'):
                raise sql_error(2741, node.value)
            self.options['dateformat'] = node.value
            return
        if option in self.options:
            self.options[option] = node.value == 'on'

    def set_identity_insert(self, node):
        try:
            database, table = self.table(node.table)
        except SqlError:
            raise sql_error(1088, name_text(node.table)) from None
        if node.value == 'off':
            if self.identity_insert is table:
                self.identity_insert = None
            elif table.identity_column() is None:
                raise sql_error(8106, name_text(node.table))
            return
        if table.identity_column() is None:
            raise sql_error(8106, name_text(node.table))
        current = self.identity_insert
        if current is not None and current is not table and self.table_alive(current):
            owner = self.owner_database(current)
            raise sql_error(8107, self.qualified(owner, current), name_text(node.table))
        self.identity_insert = table

    def table_alive(self, table):
        return self.owner_database(table) is not None

    def owner_database(self, table):
        if table.temp:
            return self.engine.database('tempdb') if table.name.lower() in self.temp else None
        for database in self.engine.databases.values():
            if database.objects.get(table.object_id) is table:
                return database
        return None

    # -- transactions -----------------------------------------------------------------------
    def do_begin_tran(self, node, out):
        self.tran_count += 1

    def do_save_tran(self, node, out):
        if self.tran_count == 0:
            raise sql_error(628)

    def do_commit(self, node, out):
        if self.tran_count == 0:
            raise sql_error(3902)
        self.tran_count -= 1
        if self.tran_count == 0:
            self.finish_transaction()

    def do_rollback(self, node, out):
        if self.tran_count == 0:
            raise sql_error(3903)
        self.rollback_to(0)
        self.tran_count = 0
        self.finish_transaction()

    def close(self):
        if self.tran_count:
            self.rollback_to(0)
            self.tran_count = 0
        self.finish_transaction()
        tempdb = self.engine.database('tempdb')
        for table in list(self.temp.values()):
            tempdb.drop_store(table)
        self.temp.clear()
        tempdb.flush()

    # -- databases and schemas --------------------------------------------------------------
    def do_create_database(self, node, out):
        if self.tran_count:
            raise sql_error(226, 'CREATE DATABASE')
        if self.engine.database(node.name) is not None:
            raise sql_error(1801, node.name)
        self.engine._attach(node.name, database_path(self.engine.data_dir, node.name))

    def do_drop(self, node, out):
        if node.what == 'database':
            for name in node.names:
                self.drop_database(name.name, node.if_exists)
            return
        if node.what == 'schema':
            for name in node.names:
                self.drop_schema(name.name, node.if_exists)
            return
        if node.what in ('procedure', 'proc'):
            for name in node.names:
                if not node.if_exists:
                    raise sql_error(3701, 'procedure', name_text(name))
            return
        kind = Table if node.what == 'table' else View
        for name in node.names:
            try:
                database, obj = self.resolve(name, (kind,))
            except SqlError:
                if node.if_exists:
                    continue
                raise sql_error(3701, node.what, name_text(name)) from None
            if isinstance(obj, Table):
                self.drop_table(database, obj)
            else:
                self.remove_object(database, obj)

    def drop_database(self, name, if_exists):
        if self.tran_count:
            raise sql_error(226, 'DROP DATABASE')
        target = self.engine.database(name)
        if target is None or target.name.lower() in ('master', 'tempdb', 'model', 'msdb'):
            if if_exists and target is None:
                return
            if target is None:
                raise sql_error(3701, 'database', name)
            raise sql_error(3708, 'database', target.name, 'database')
        for session in self.engine.sessions:
            if session.database.lower() == target.name.lower() and not session.closed:
                raise sql_error(3702, target.name)
        del self.engine.databases[target.name.lower()]
        target.close()
        try:
            import os
            os.remove(target.path)
        except OSError:
            pass

    def do_create_schema(self, node, out):
        database = self.db
        if database.schema(node.name) is not None:
            raise sql_error(2714, node.name)
        schema = Schema(database.next_schema_id, node.name)
        database.next_schema_id += 1
        database.schemas[node.name.lower()] = schema
        self.undo.append(lambda: database.schemas.pop(node.name.lower(), None))

    def drop_schema(self, name, if_exists):
        database = self.db
        schema = database.schema(name)
        if schema is None or schema.schema_id < 5:
            if if_exists and schema is None:
                return
            raise sql_error(3701, 'schema', name)
        if any(key[0] == schema.schema_id for key in database.names):
            raise sql_error(3729, name, next(o.name for o in database.objects.values()
                                             if o.schema is schema))
        del database.schemas[name.lower()]
        self.undo.append(lambda: database.schemas.__setitem__(name.lower(), schema))

    # -- tables -----------------------------------------------------------------------------
    def target_schema(self, database, name):
        schema = database.schema(name.schema)
        if schema is None:
            raise sql_error(2760, name.schema)
        return schema

    def do_create_table(self, node, out):
        name = node.name
        temp = name.name.startswith('#')
        if temp:
            database = self.engine.database('tempdb')
            schema = database.schema('dbo')
            if name.name.lower() in self.temp:
                raise sql_error(2714, name.name)
        else:
            database = self.database_named(name.database)
            if database is None:
                raise sql_error(911, name.database)
            schema = self.target_schema(database, name)
            if database.name_taken(schema, name.name):
                raise sql_error(2714, name.name)
        if len(node.columns) > 1024:
            raise sql_error(1702, node.columns[1024].name, name.name, 1024)
        columns = []
        seen = set()
        for position, definition in enumerate(node.columns):
            if definition.name.lower() in seen:
                raise sql_error(2705, definition.name, name.name)
            seen.add(definition.name.lower())
            columns.append(self.make_column(definition, position))
        identities = [c for c in columns if c.identity is not None]
        if len(identities) > 1:
            raise sql_error(2744, name.name)
        table = Table(database.new_object_id(), schema, name.name, columns, temp)
        if temp:
            table.store = f't{table.object_id}_{self.session.spid}'
        self.validate_identity(table)
        database.create_store(table)
        if temp:
            self.temp[name.name.lower()] = table
            self.undo.append(lambda: (self.temp.pop(name.name.lower(), None),
                                      database.drop_store(table)))
        else:
            database.add_object(table)
            self.undo.append(lambda: (database.remove_object(table), database.drop_store(table)))
        for column in columns:
            if column.default is not None:
                self.name_default(database, table, column)
        for constraint in node.constraints:
            self.add_constraint(database, table, constraint, True)

    def validate_identity(self, table):
        column = table.identity_column()
        if column is None:
            return
        if column.type.name not in ('tinyint', 'smallint', 'int', 'bigint') and not (
                column.type.name in ('decimal', 'numeric') and column.type.scale == 0):
            raise sql_error(2749, column.name, table.name)
        column.nullable = False

    def make_column(self, definition, position, key=None):
        nullable = True if definition.nullable is None else definition.nullable
        column = Column(definition.name, definition.type, nullable, definition.identity,
                        definition.default, getattr(definition, 'default_text', None),
                        key or f'c{position}', position + 1, definition.default_name,
                        definition.rowguid)
        if column.identity is not None:
            column.nullable = False
            if column.default is not None:
                raise sql_error(1754, '', column.name)
        return column

    def name_default(self, database, table, column):
        if table.temp:
            return
        if column.default_name is None:
            column.default_name = f'DF__{table.name[:9]}__{column.name[:5]}__' \
                                  f'{table.object_id & 0xFFFFFFF:X}'
        if database.name_taken(table.schema, column.default_name):
            raise sql_error(2714, column.default_name)
        column.default_object_id = database.new_object_id()
        database.reserve_name(table.schema, column.default_name, column.default_object_id)
        self.undo.append(lambda: database.release_name(table.schema, column.default_name))

    def constraint_name(self, database, table, prefix, explicit):
        if explicit:
            if not table.temp and database.name_taken(table.schema, explicit):
                raise sql_error(2714, explicit)
            return explicit
        return f'{prefix}__{table.name[:8]}__{(table.object_id * 7919 + len(table.indexes) * 104729) & 0xFFFFFFFFFFFFFFF:016X}'

    def add_constraint(self, database, table, constraint, creating):
        kind = constraint.kind
        if kind in ('primary_key', 'unique'):
            primary = kind == 'primary_key'
            if primary and table.primary_key() is not None:
                raise sql_error(1779, table.name)
            for column_name, _ in constraint.columns:
                column = table.column(column_name)
                if column is None:
                    raise sql_error(1911, column_name)
                if primary and column.nullable:
                    if not creating:
                        raise sql_error(8111, table.name)
                    column.nullable = False
            name = self.constraint_name(database, table, 'PK' if primary else 'UQ',
                                        constraint.name)
            clustered = constraint.clustered and table.clustered_index() is None
            if constraint.clustered and table.clustered_index() is not None and \
                    (not primary or constraint.clustered is True and not creating):
                existing = table.clustered_index()
                if not primary:
                    raise sql_error(1902, table.name, existing.name)
            index = Index(name, 0, constraint.columns, unique=True, primary=primary,
                          constraint=not primary, clustered=clustered,
                          object_id=database.new_object_id())
            self.add_index(database, table, index)
            if not table.temp:
                database.reserve_name(table.schema, name, index.object_id)
                self.undo.append(lambda: database.release_name(table.schema, name))
        elif kind == 'foreign_key':
            self.add_foreign_key(database, table, constraint)
        elif kind == 'check':
            name = constraint.name or f'CK__{table.name[:8]}__{database.next_object_id:08X}'
            check = Check(name, database.new_object_id(), constraint.condition, constraint.text)
            if not creating:
                for _, values in database.scan(table):
                    if self.check_fails(table, check, values):
                        raise sql_error(547, 'ALTER TABLE', 'CHECK', name, database.name,
                                        self.schema_qualified(table), '')
            table.checks.append(check)
            self.undo.append(lambda: table.checks.remove(check))
            if not table.temp:
                database.reserve_name(table.schema, name, check.object_id)
                self.undo.append(lambda: database.release_name(table.schema, name))
        elif kind == 'default':
            column = table.column(constraint.column)
            if column is None:
                raise sql_error(1911, constraint.column)
            if column.default is not None:
                raise sql_error(1781, column.name)
            column.default, column.default_text = constraint.expr, constraint.text
            column.default_name = constraint.name
            self.name_default(database, table, column)

    def add_index(self, database, table, index):
        if table.index(index.name) is not None:
            raise sql_error(1913, index.name, self.schema_qualified(table))
        if index.clustered:
            existing = table.clustered_index()
            if existing is not None:
                raise sql_error(1902, self.schema_qualified(table), existing.name)
        ids = [i.index_id for i in table.indexes]
        index.index_id = 1 if index.clustered else max([1] + ids) + 1
        if index.unique:
            keys = {}
            for _, values in database.scan(table):
                if not self.in_index(index, table, values):
                    continue
                key = self.index_key(index, table, values)
                if key in keys:
                    if index.kind():
                        raise sql_error(1505, self.schema_qualified(table), index.name,
                                        key_text([values[table.columns.index(table.column(c))]
                                                  for c, _ in index.columns]))
                    raise sql_error(1505, self.schema_qualified(table), index.name,
                                    key_text([values[table.columns.index(table.column(c))]
                                              for c, _ in index.columns]))
                keys[key] = 1
            index.keys = keys
        table.indexes.append(index)
        self.undo.append(lambda: table.indexes.remove(index))

    def index_key(self, index, table, values):
        return tuple(sort_key(values[table.columns.index(table.column(name))])
                     for name, _ in index.columns)

    def in_index(self, index, table, values):
        if index.condition is None:
            return True
        return self.condition(index.condition, self.row_context(table, values)) is True

    def add_foreign_key(self, database, table, constraint):
        try:
            parent_db, parent = self.table(constraint.parent)
        except SqlError:
            name = constraint.name or '?'
            raise sql_error(1767, name, name_text(constraint.parent)) from None
        if table.temp:
            # Foreign keys are not enforced on temporary tables (SQL Server warns 1750 and
            # skips them).
            return
        name = constraint.name or \
            f'FK__{table.name[:8]}__{parent.name[:8]}__{database.next_object_id:08X}'
        parent_columns = constraint.parent_columns
        if parent_columns is None:
            key = parent.primary_key()
            if key is None:
                raise sql_error(1773, name, parent.name)
            parent_columns = [c for c, _ in key.columns]
        for column_name in constraint.columns:
            if table.column(column_name) is None:
                raise sql_error(1769, name, column_name, table.name)
        for column_name in parent_columns:
            if parent.column(column_name) is None:
                raise sql_error(1770, name, column_name, name_text(constraint.parent))
        wanted = sorted(c.lower() for c in parent_columns)
        if not any(i.unique and i.condition is None and
                   sorted(c.lower() for c, _ in i.columns) == wanted for i in parent.indexes):
            raise sql_error(1776, name_text(constraint.parent), name)
        if len(constraint.columns) != len(parent_columns):
            raise sql_error(8139, table.name)
        for child_name, parent_name in zip(constraint.columns, parent_columns):
            child_type, parent_type = table.column(child_name).type, \
                parent.column(parent_name).type
            if not types_compatible(child_type, parent_type):
                raise sql_error(1778, parent.name, parent_name, table.name, child_name, name)
        if database.name_taken(table.schema, name):
            raise sql_error(2714, name)
        foreign_key = ForeignKey(name, database.new_object_id(), table, constraint.columns,
                                 parent, parent_columns, constraint.on_delete,
                                 constraint.on_update)
        if getattr(constraint, 'check_existing', True):
            for _, values in database.scan(table):
                if not self.parent_exists(foreign_key, values):
                    raise sql_error(547, 'ALTER TABLE', 'FOREIGN KEY', name, parent_db.name,
                                    self.schema_qualified(parent),
                                    self.column_part(parent_columns))
        table.foreign_keys.append(foreign_key)
        database.reserve_name(table.schema, name, foreign_key.object_id)
        self.undo.append(lambda: (table.foreign_keys.remove(foreign_key),
                                  database.release_name(table.schema, name)))

    def column_part(self, columns):
        return f", column '{columns[0]}'" if len(columns) == 1 else ''

    def drop_table(self, database, table):
        for other in database.tables():
            for foreign_key in other.foreign_keys:
                if foreign_key.parent is table and other is not table:
                    raise sql_error(3726, self.schema_qualified(table))
        if self.identity_insert is table:
            self.identity_insert = None
        if table.temp:
            self.temp.pop(table.name.lower(), None)
        else:
            self.remove_object(database, table)
        names = self.owned_names(table)
        for name in names:
            database.release_name(table.schema, name)
        # The rows stay until the transaction ends, so that a rollback brings them back.
        old_store = table.store
        hidden = f'{old_store}_dropped_{id(self)}_{len(self.dropped_stores)}'
        database.rename_store(table, hidden)
        self.dropped_stores.append((database, hidden))

        def restore():
            database.rename_store(table, old_store)
            self.dropped_stores.remove((database, hidden))
            for name in names:
                database.reserve_name(table.schema, name, table.object_id)
            if table.temp:
                self.temp[table.name.lower()] = table
        self.undo.append(restore)

    def owned_names(self, table):
        names = [i.name for i in table.indexes if i.kind()]
        names += [f.name for f in table.foreign_keys]
        names += [c.name for c in table.checks]
        names += [c.default_name for c in table.columns if c.default_name]
        return names

    def remove_object(self, database, obj):
        database.remove_object(obj)

        self.undo.append(lambda: database.add_object(obj))

    def do_truncate(self, node, out):
        database, table = self.table(node.table)
        for other in database.tables():
            if any(f.parent is table for f in other.foreign_keys):
                raise sql_error(4712, self.schema_qualified(table), other.foreign_keys[0].name)
        for rowid, values in database.scan(table):
            self.delete_stored(database, table, rowid, values)
        if table.identity_column() is not None:
            table.identity_last = None

    def do_create_index(self, node, out):
        database, table = self.table(node.table)
        for column_name, _ in node.columns + [(c, False) for c in node.include]:
            if table.column(column_name) is None:
                raise sql_error(1911, column_name)
        index = Index(node.name, 0, node.columns, unique=node.unique, clustered=node.clustered,
                      condition=node.condition, filter_text=node.filter_text,
                      include=node.include)
        self.add_index(database, table, index)

    def do_drop_index(self, node, out):
        for name, table_name in node.indexes:
            if table_name is None:
                table_name = Name([name.database, name.schema])
                index_name = name.name
            else:
                index_name = name.name
            try:
                database, table = self.table(table_name)
            except SqlError:
                if node.if_exists:
                    continue
                raise
            index = table.index(index_name)
            if index is None:
                if node.if_exists:
                    continue
                raise sql_error(3701, 'index', f'{name_text(table_name)}.{index_name}')
            if index.kind():
                raise sql_error(3723, index.name, index.kind())
            table.indexes.remove(index)
            self.undo.append(lambda t=table, i=index: t.indexes.append(i))

    def do_alter_add(self, node, out):
        database, table = self.table(node.table)
        for item in node.items:
            if item.kind == 'column':
                self.add_column(database, table, item)
            else:
                item.check_existing = node.check
                self.add_constraint(database, table, item, False)

    def add_column(self, database, table, definition):
        if table.column(definition.name) is not None:
            raise sql_error(2705, definition.name, table.name)
        rows = database.scan(table)
        column = self.make_column(definition, len(table.columns), f'c{table.next_key}')
        if column.identity is not None and table.identity_column() is not None:
            raise sql_error(2744, table.name)
        if rows and not column.nullable and column.default is None and column.identity is None:
            raise sql_error(4901, column.name, table.name)
        table.next_key += 1
        table.columns.append(column)
        database.add_store_column(table, column)
        self.undo.append(lambda: table.columns.remove(column))
        if column.default is not None:
            self.name_default(database, table, column)
        if rows and (column.identity is not None or column.default is not None and
                     not column.nullable):
            for rowid, values in rows:
                if column.identity is not None:
                    value = self.next_identity(table, column)
                else:
                    value = self.convert_for_column(database, table, column,
                                                    self.value(column.default, None))
                database.update_row(table, rowid, values + [value])

    def do_alter_column(self, node, out):
        database, table = self.table(node.table)
        column = table.column(node.column)
        if column is None:
            raise sql_error(4924, node.column, table.name)
        for index in table.indexes:
            if any(c.lower() == column.name.lower() for c, _ in index.columns):
                if node.type.sql() != column.type.sql() or (node.nullable is not False and
                                                            index.primary):
                    raise sql_error(5074, index.name, column.name)
        for foreign_key in table.foreign_keys:
            if any(c.lower() == column.name.lower() for c in foreign_key.columns):
                raise sql_error(5074, foreign_key.name, column.name)
        if column.identity is not None and node.type.name != column.type.name:
            raise sql_error(4928, column.name)
        old_type, old_nullable = column.type, column.nullable
        nullable = True if node.nullable is None else node.nullable
        rows = database.scan(table)
        position = table.columns.index(column)
        converted = []
        for rowid, values in rows:
            value = values[position]
            if value is not None:
                try:
                    value = node.type.convert(value, False, self.options['dateformat'])
                except SqlError as error:
                    error.batch_abort = True
                    raise
                if not node.type.fits(value):
                    raise sql_error(self.engine.truncation_number,
                                    *self.truncation_args(database, table, column, value))
                value = node.type.cut(value)
            elif not nullable:
                raise sql_error(515, column.name, self.qualified(database, table),
                                'UPDATE')
            converted.append((rowid, values, value))
        column.type, column.nullable = node.type, nullable if column.identity is None else False

        def restore():
            column.type, column.nullable = old_type, old_nullable
        self.undo.append(restore)
        for rowid, values, value in converted:
            new_values = list(values)
            new_values[position] = value
            self.update_stored(database, table, rowid, values, new_values)

    def do_alter_drop_constraint(self, node, out):
        database, table = self.table(node.table)
        for name in node.names:
            lowered = name.lower()
            index = next((i for i in table.indexes if i.kind() and i.name.lower() == lowered),
                         None)
            if index is not None:
                for other in database.tables():
                    for foreign_key in other.foreign_keys:
                        if foreign_key.parent is table and [c.lower() for c in
                                                            foreign_key.parent_columns] == \
                                [c.lower() for c, _ in index.columns]:
                            raise sql_error(3725, index.name, self.schema_qualified(other),
                                            foreign_key.name)
                table.indexes.remove(index)
                database.release_name(table.schema, index.name)
                self.undo.append(lambda t=table, i=index: (
                    t.indexes.append(i), database.reserve_name(t.schema, i.name, i.object_id)))
                continue
            foreign_key = next((f for f in table.foreign_keys if f.name.lower() == lowered),
                               None)
            if foreign_key is not None:
                table.foreign_keys.remove(foreign_key)
                database.release_name(table.schema, foreign_key.name)
                self.undo.append(lambda t=table, f=foreign_key: (
                    t.foreign_keys.append(f),
                    database.reserve_name(t.schema, f.name, f.object_id)))
                continue
            check = next((c for c in table.checks if c.name.lower() == lowered), None)
            if check is not None:
                table.checks.remove(check)
                database.release_name(table.schema, check.name)
                self.undo.append(lambda t=table, c=check: t.checks.append(c))
                continue
            column = next((c for c in table.columns if c.default_name and
                           c.default_name.lower() == lowered), None)
            if column is not None:
                old = (column.default, column.default_text, column.default_name)
                database.release_name(table.schema, column.default_name)
                column.default = column.default_text = column.default_name = None
                self.undo.append(lambda c=column, o=old: setattr(c, 'default', o[0]) or
                                 setattr(c, 'default_text', o[1]) or
                                 setattr(c, 'default_name', o[2]))
                continue
            if node.if_exists:
                continue
            out.append(sql_error(3728, name))
            raise sql_error(3727)

    def do_alter_drop_column(self, node, out):
        database, table = self.table(node.table)
        for name in node.columns:
            column = table.column(name)
            if column is None:
                raise sql_error(4924, name, table.name)
            for index in table.indexes:
                if any(c.lower() == name.lower() for c, _ in index.columns):
                    out.append(sql_error(5074, index.name, column.name))
                    raise sql_error(4922, 'DROP COLUMN ' + column.name)
            position = table.columns.index(column)
            table.columns.remove(column)
            self.undo.append(lambda p=position, c=column: table.columns.insert(p, c))

    # -- views ------------------------------------------------------------------------------
    def do_create_view(self, node, out):
        database = self.database_named(node.name.database)
        schema = self.target_schema(database, node.name)
        if database.name_taken(schema, node.name.name):
            raise sql_error(2714, node.name.name)
        columns, _ = self.query(node.select, None, database)
        names = node.columns or [c.name for c in columns]
        for i, name in enumerate(names):
            if not name:
                raise sql_error(4511, i + 1, node.name.name)
        view = View(database.new_object_id(), schema, node.name.name, node.select, node.text,
                    names)
        database.add_object(view)
        self.undo.append(lambda: database.remove_object(view))

    # -- EXEC -------------------------------------------------------------------------------
    def do_exec_string(self, node, out):
        text = ''.join('' if v is None else str(v) for v in
                       (self.value(p, None) for p in node.parts))
        try:
            statements = Parser(text, self.options['quoted_identifier']).batch()
            self.check_batch(statements)
        except SqlError as error:
            out.append(error)
            self.error = error.number
            return
        self.depth += 1
        temp_before = set(self.temp)
        try:
            for statement in statements:
                self.run(statement, out)
        finally:
            self.depth -= 1
            # Temp tables made by dynamic SQL end with it.
            for name in set(self.temp) - temp_before:
                table = self.temp.pop(name)
                self.engine.database('tempdb').drop_store(table)

    def do_exec(self, node, out):
        procedure = node.procedure.name.lower()
        handler = sql_sysviews.PROCEDURES.get(procedure)
        if handler is None:
            raise sql_error(2812, node.procedure.name)
        args = [(name, self.value(expr, None)) for name, expr in node.args]
        handler(self, args, out)

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
        if kind == 'and':
            left = self.test(node.left, context)
            if left is False:
                return False
            right = self.test(node.right, context)
            if right is False:
                return False
            return None if left is None or right is None else True
        if kind == 'or':
            left = self.test(node.left, context)
            if left is True:
                return True
            right = self.test(node.right, context)
            if right is True:
                return True
            return None if left is None or right is None else False
        if kind == 'not':
            value = self.test(node.expr, context)
            return None if value is None else not value
        if kind == 'compare':
            order = compare(self.value(node.left, context), self.value(node.right, context),
                            self.options['dateformat'])
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
            return None if value is None else -value
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
                converted = date_text(value, style or 0)
                converted = sql_type.convert(converted)
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
        handler = sql_sysviews.FUNCTIONS.get(name)
        if handler is None:
            raise sql_error(195, name)
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
            return (total / len(present)).quantize(Decimal(1).scaleb(-6))
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
            columns = [type(c)(**{**c.__dict__, 'name': n}) for c, n in
                       zip(columns, obj.column_names)]
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

    def bulk_columns(self, name):
        parser = Parser(name)
        _, table = self.table(parser.name())
        return [c.info() for c in table.columns]

    # -- rows and their checks ------------------------------------------------------------------
    def convert_for_column(self, database, table, column, value, explicit=False):
        try:
            converted = column.type.convert(value, explicit, self.options['dateformat'])
        except SqlError as error:
            if error.number == 257 and column.type.name in ('binary', 'varbinary'):
                raise
            raise
        if not column.type.fits(converted):
            raise sql_error(self.engine.truncation_number,
                            *self.truncation_args(database, table, column, converted))
        return column.type.cut(converted)

    def truncation_args(self, database, table, column, value):
        if self.engine.truncation_number == 8152:
            return ()
        shown = column.type.cut(value)
        if isinstance(shown, bytes):
            shown = '0x' + shown.hex().upper()
        return self.qualified(database, table), column.name, shown

    def next_identity(self, table, column):
        seed, step = column.identity
        value = seed if table.identity_last is None else table.identity_last + step
        sql_type = column.type
        low_high = {'tinyint': (0, 255), 'smallint': (-2**15, 2**15 - 1),
                    'int': (-2**31, 2**31 - 1), 'bigint': (-2**63, 2**63 - 1)}
        low, high = low_high.get(sql_type.name, (-(10**sql_type.precision) + 1,
                                                 10**sql_type.precision - 1))
        if not low <= value <= high:
            raise sql_error(8115, 'IDENTITY', sql_type.sql_name())
        table.identity_last = value
        return Decimal(value) if sql_type.name in ('decimal', 'numeric') else value

    def see_identity(self, table, column, value):
        """An explicit identity value moves the counter when it lies beyond it."""
        _, step = column.identity
        if table.identity_last is None or (step > 0 and value > table.identity_last) or \
                (step < 0 and value < table.identity_last):
            table.identity_last = int(value)

    def build_row(self, database, table, given, statement='INSERT', keep_identity=None):
        """The full row for an insert: given values (column → value) converted and checked,
        defaults and identity filled in."""
        values = []
        identity_on = keep_identity if keep_identity is not None else \
            self.identity_insert is table
        for column in table.columns:
            if column.identity is not None:
                if identity_on:
                    value = given.get(column.name.lower())
                    if value is None:
                        raise sql_error(545 if column.name.lower() not in given else 515,
                                        *(((table.name,)) if column.name.lower() not in given
                                          else (column.name, self.qualified(database, table),
                                                statement)))
                    value = self.convert_for_column(database, table, column, value)
                    values.append(value)
                    continue
                values.append(None)
                continue
            if column.name.lower() in given:
                value = given[column.name.lower()]
                if isinstance(value, Node):
                    value = self.default_value(database, table, column)
                else:
                    value = self.convert_for_column(database, table, column, value)
            else:
                value = self.default_value(database, table, column)
            values.append(value)
        for column, value in zip(table.columns, values):
            if value is None and not column.nullable and column.identity is None:
                raise sql_error(515, column.name, self.qualified(database, table), statement)
        return values

    def default_value(self, database, table, column):
        if column.default is None:
            return None
        return self.convert_for_column(database, table, column,
                                       self.value(column.default, None))

    def check_fails(self, table, check, values):
        return self.test(check.condition, self.row_context(table, values)) is False

    def check_row(self, database, table, values, statement, skip_foreign=False):
        for check in table.checks:
            if self.check_fails(table, check, values):
                raise sql_error(547, statement, 'CHECK', check.name, database.name,
                                self.schema_qualified(table), '')
        for index in table.indexes:
            if not index.unique:
                continue
            self.ensure_keys(database, table, index)
            if not self.in_index(index, table, values):
                continue
            key = self.index_key(index, table, values)
            if index.keys.get(key):
                shown = key_text([values[table.columns.index(table.column(c))]
                                  for c, _ in index.columns])
                if index.kind():
                    raise sql_error(2627, index.kind(), index.name,
                                    self.schema_qualified(table), shown)
                raise sql_error(2601, self.schema_qualified(table), index.name, shown)
        if skip_foreign:
            return
        for foreign_key in table.foreign_keys:
            if not self.parent_exists(foreign_key, values):
                parent = foreign_key.parent
                parent_db = self.owner_database(parent) or database
                raise sql_error(547, statement, 'FOREIGN KEY', foreign_key.name, parent_db.name,
                                self.schema_qualified(parent),
                                self.column_part(foreign_key.parent_columns))

    def ensure_keys(self, database, table, index):
        if index.keys is None:
            keys = {}
            for _, values in database.scan(table):
                if self.in_index(index, table, values):
                    key = self.index_key(index, table, values)
                    keys[key] = keys.get(key, 0) + 1
            index.keys = keys

    def parent_exists(self, foreign_key, values):
        table = foreign_key.table
        child = [values[table.columns.index(table.column(c))] for c in foreign_key.columns]
        if any(v is None for v in child):
            return True
        parent = foreign_key.parent
        wanted = sorted(c.lower() for c in foreign_key.parent_columns)
        index = next(i for i in parent.indexes if i.unique and i.condition is None and
                     sorted(c.lower() for c, _ in i.columns) == wanted)
        database = self.owner_database(parent)
        self.ensure_keys(database, parent, index)
        by_name = {c.lower(): v for c, v in zip(foreign_key.parent_columns, child)}
        key = tuple(sort_key(by_name[c.lower()]) for c, _ in index.columns)
        return bool(index.keys.get(key))

    def track_keys(self, table, values, delta):
        for index in table.indexes:
            if index.unique and index.keys is not None and self.in_index(index, table, values):
                key = self.index_key(index, table, values)
                count = index.keys.get(key, 0) + delta
                if count > 0:
                    index.keys[key] = count
                else:
                    index.keys.pop(key, None)

    def insert_stored(self, database, table, values):
        rowid = database.insert_row(table, values)
        self.track_keys(table, values, 1)

        def undo():
            database.delete_row(table, rowid)
            self.track_keys(table, values, -1)
        self.undo.append(undo)
        return rowid

    def delete_stored(self, database, table, rowid, values):
        database.delete_row(table, rowid)
        self.track_keys(table, values, -1)

        def undo():
            database.insert_row(table, values, rowid)
            self.track_keys(table, values, 1)
        self.undo.append(undo)

    def update_stored(self, database, table, rowid, old, new):
        database.update_row(table, rowid, new)
        self.track_keys(table, old, -1)
        self.track_keys(table, new, 1)

        def undo():
            database.update_row(table, rowid, old)
            self.track_keys(table, new, -1)
            self.track_keys(table, old, 1)
        self.undo.append(undo)

    def store_new_row(self, database, table, values, statement='INSERT', check_foreign=True):
        identity = table.identity_column()
        if identity is not None:
            position = table.columns.index(identity)
            if values[position] is None:
                values[position] = self.next_identity(table, identity)
                generated = True
            else:
                self.see_identity(table, identity, values[position])
                generated = False
        self.check_row(database, table, values, statement, skip_foreign=not check_foreign)
        self.insert_stored(database, table, values)
        if identity is not None:
            database.dirty = True
            value = values[table.columns.index(identity)]
            self.last_identity = Decimal(value) if generated or True else None
            if not table.temp:
                self.scope_identity = self.last_identity

    # -- DML ----------------------------------------------------------------------------------
    def do_insert(self, node, out):
        database, table = self.table(node.table)
        identity = table.identity_column()
        identity_on = self.identity_insert is table
        if node.columns is not None:
            names = []
            for name in node.columns:
                column = table.column(name)
                if column is None:
                    raise sql_error(207, name)
                if column.name.lower() in names:
                    raise sql_error(264, column.name)
                names.append(column.name.lower())
            if identity is not None and identity.name.lower() in names and not identity_on:
                raise sql_error(544, table.name)
        else:
            if identity_on and identity is not None:
                raise sql_error(8101, table.name)
            names = [c.name.lower() for c in table.columns if c.identity is None]
        if node.select is not None:
            if node.select.kind == 'exec':
                raise sql_error(156, 'EXEC')
            _, source_rows = self.query(node.select, None)
            if source_rows and len(source_rows[0]) != len(names) or not source_rows and \
                    len(self.query(node.select, None)[0]) != len(names):
                raise sql_error(120 if source_rows and len(source_rows[0]) < len(names)
                                else 121)
            rows = [list(r) for r in source_rows]
        else:
            rows = []
            for row in node.rows:
                if node.default_values:
                    rows.append([])
                    continue
                if len(row) != len(names):
                    raise sql_error(213) if node.columns is None else \
                        sql_error(109 if len(row) < len(names) else 110)
                rows.append([v if v.kind == 'default' else self.value(v, None) for v in row])
        if node.default_values:
            names = []
        count = 0
        for row in rows:
            given = dict(zip(names, row))
            values = self.build_row(database, table, given)
            self.store_new_row(database, table, values)
            count += 1
        self.count(out, count)

    def target_rows(self, node, database, table):
        if node.sources:
            raise sql_error(102, 'FROM')
        context = Context([Binding(node.table.name if node.table.name.lower() !=
                                   table.name.lower() else table.name, table.name,
                                   [c.info() for c in table.columns], table.schema.name)])
        picked = []
        for rowid, values in database.scan(table):
            context.row = [values]
            if node.where is None or self.test(node.where, context) is True:
                picked.append((rowid, values))
        return picked, context

    def do_update(self, node, out):
        database, table = self.table(node.table)
        positions = []
        for name, _ in node.assignments:
            column = table.column(name)
            if column is None:
                raise sql_error(207, name)
            if column.identity is not None:
                raise sql_error(8102, column.name)
            positions.append(table.columns.index(column))
        picked, context = self.target_rows(node, database, table)
        changed = []
        for rowid, values in picked:
            context.row = [values]
            new = list(values)
            for (name, expr), position in zip(node.assignments, positions):
                column = table.columns[position]
                if expr.kind == 'default':
                    new[position] = self.default_value(database, table, column)
                else:
                    new[position] = self.convert_for_column(database, table, column,
                                                            self.value(expr, context))
                if new[position] is None and not column.nullable:
                    raise sql_error(515, column.name, self.qualified(database, table), 'UPDATE')
            changed.append((rowid, values, new))
        for rowid, old, new in changed:
            self.track_keys(table, old, -1)
        try:
            for rowid, old, new in changed:
                self.check_row(database, table, new, 'UPDATE')
                self.track_keys(table, new, 1)
        finally:
            for index in table.indexes:
                index.keys = None
        for rowid, old, new in changed:
            self.check_references(database, table, old, new, 'UPDATE')
            database.update_row(table, rowid, new)
            self.undo.append(lambda r=rowid, o=old: (database.update_row(table, r, o),
                                                     self.reset_keys(table)))
        self.count(out, len(changed))

    def reset_keys(self, table):
        for index in table.indexes:
            index.keys = None

    def check_references(self, database, table, old, new, statement):
        """Rows of other tables that point at a changed or deleted key."""
        for child_db in self.engine.databases.values():
            for child in child_db.tables():
                for foreign_key in child.foreign_keys:
                    if foreign_key.parent is not table:
                        continue
                    key_positions = [table.columns.index(table.column(c))
                                     for c in foreign_key.parent_columns]
                    old_key = [sort_key(old[p]) for p in key_positions]
                    if new is not None and [sort_key(new[p]) for p in key_positions] == old_key:
                        continue
                    child_positions = [child.columns.index(child.column(c))
                                       for c in foreign_key.columns]
                    action = foreign_key.on_delete if new is None else foreign_key.on_update
                    for rowid, values in child_db.scan(child):
                        if [sort_key(values[p]) for p in child_positions] != old_key:
                            continue
                        if action == 'CASCADE':
                            if new is None:
                                self.check_references(child_db, child, values, None, statement)
                                self.delete_stored(child_db, child, rowid, values)
                            else:
                                changed = list(values)
                                for p, q in zip(child_positions, key_positions):
                                    changed[p] = new[q]
                                self.update_stored(child_db, child, rowid, values, changed)
                        elif action in ('SET_NULL', 'SET_DEFAULT'):
                            changed = list(values)
                            for p in child_positions:
                                column = child.columns[p]
                                changed[p] = None if action == 'SET_NULL' else \
                                    self.default_value(child_db, child, column)
                            self.update_stored(child_db, child, rowid, values, changed)
                        else:
                            raise sql_error(547, statement, 'REFERENCE', foreign_key.name,
                                            child_db.name, self.schema_qualified(child),
                                            self.column_part(foreign_key.columns))

    def do_delete(self, node, out):
        database, table = self.table(node.table)
        picked, _ = self.target_rows(node, database, table)
        for rowid, values in picked:
            self.check_references(database, table, values, None, 'DELETE')
            self.delete_stored(database, table, rowid, values)
        self.count(out, len(picked))

    # -- bulk load ----------------------------------------------------------------------------
    def insert_bulk(self, name, columns, rows, keep_identity, check_constraints):
        parser = Parser(name)
        database, table = self.table(parser.name())
        chosen = []
        for column_name in columns:
            column = table.column(column_name)
            if column is None:
                raise sql_error(207, column_name)
            chosen.append(column)
        mark = len(self.undo)
        count = 0
        try:
            for row in rows:
                given = {}
                for column, value in zip(chosen, row):
                    if column.identity is not None and not keep_identity:
                        continue
                    if value is None and column.default is not None:
                        continue
                    if isinstance(value, (str, bytes)) and not column.type.fits(
                            column.type.convert(value, True, 'ymd')):
                        raise sql_error(4815, table.columns.index(column) + 1)
                    given[column.name.lower()] = value
                values = self.build_row(database, table, given, 'INSERT', keep_identity)
                self.store_new_row(database, table, values, 'INSERT', check_constraints)
                count += 1
        except SqlError:
            self.rollback_to(mark)
            self.flush()
            raise
        if self.tran_count == 0:
            self.finish_transaction()
        self.rowcount = count
        self.flush()
        return count


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


def types_compatible(a, b):
    if a.name == b.name:
        return a.sql() == b.sql() or a.name in ('varchar', 'nvarchar', 'char', 'nchar',
                                                'varbinary', 'binary')
    return False


def date_text(value, style):
    """CONVERT(varchar, date/time value, style) for the styles scripts use."""
    if isinstance(value, dt.datetime):
        if style in (120, 20):
            return value.strftime('%Y-%m-%d %H:%M:%S')
        if style in (121, 21, 126, 127):
            sep = 'T' if style in (126, 127) else ' '
            return value.isoformat(sep=sep, timespec='milliseconds')
        if style in (112,):
            return value.strftime('%Y%m%d')
        if style in (23,):
            return value.strftime('%Y-%m-%d')
        return value.isoformat(sep=' ')
    if isinstance(value, dt.date):
        if style == 112:
            return value.strftime('%Y%m%d')
        return value.isoformat()
    return value.isoformat()


__all__ = ['Executor', 'BatchAbort', 'Database', 'parse_condition', 'parse_expression',
           'parse_datetime', 'decimal_round', 'truth', 'EnvChange']
