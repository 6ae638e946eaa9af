"""Statements that define things: databases, schemas, tables, columns, constraints, indexes
and views."""

from __future__ import annotations

from sql_catalog import Check, Column, ForeignKey, Index, Schema, Table, View, database_path
from sql_errors import SqlError, sql_error
from sql_eval import key_text, name_text
from sql_parser import Name
from sql_types import SqlType

# Errors of a constraint definition that SQL Server follows with 1750.
LEADS_TO_1750 = frozenset({1505, 1767, 1769, 1770, 1773, 1776, 1778, 1779, 1902, 1911, 2714,
                           8111, 8139})


class DdlStatements:
    """The DDL half of a session's executor (mixed into Executor)."""

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
                error = sql_error(3701, 'database', name)
                error.state = 1
                raise error
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
        self.check_row_size(name.name, columns)
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
            self.constraint_step(database, table, constraint, True)

    def check_row_size(self, name, columns):
        """The fixed-length part of a row must fit a page's 8060 bytes (variable-length
        values can move off the row; fixed ones cannot)."""
        overhead = 4 + 2 + (len(columns) + 7) // 8
        bits = sum(1 for c in columns if c.type.name == 'bit')
        fixed = sum(c.type.max_bytes() for c in columns
                    if c.type.name not in ('bit', 'varchar', 'nvarchar', 'varbinary'))
        variable = [c for c in columns if c.type.name in ('varchar', 'nvarchar', 'varbinary')]
        if variable:
            overhead += 2
        size = fixed + (bits + 7) // 8 + overhead
        if size > 8060:
            raise sql_error(1701, name, size, overhead, 8060)

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
        # SQL Server's shape for unnamed constraints: PK__table__16 hex digits.
        suffix = (table.object_id * 7919 + len(table.indexes) * 104729) & 0xFFFFFFFFFFFFFFF
        return f'{prefix}__{table.name[:8]}__{suffix:016X}'

    def constraint_step(self, database, table, constraint, creating):
        """A constraint that cannot be made: its error, then 1750."""
        try:
            self.add_constraint(database, table, constraint, creating)
        except SqlError as error:
            if error.number not in LEADS_TO_1750:
                raise
            follow = sql_error(1750)
            follow.preceding = [error]
            raise follow from None

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
        return tuple(table.column(name).type.key(values[table.columns.index(table.column(name))])
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
                self.constraint_step(database, table, item, False)

    def add_column(self, database, table, definition):
        if table.column(definition.name) is not None:
            raise sql_error(2705, definition.name, table.name)
        rows = database.scan(table)
        column = self.make_column(definition, len(table.columns), f'c{table.next_key}')
        if column.identity is not None and table.identity_column() is not None:
            raise sql_error(2744, table.name)
        if rows and not column.nullable and column.default is None and column.identity is None:
            raise sql_error(4901, column.name, table.name)
        self.check_row_size(table.name, table.columns + [column])
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
                if node.type.sql() != column.type.sql() or \
                        node.type.collation != column.type.collation or \
                        node.nullable is not False and index.primary:
                    raise sql_error(5074, index.name, column.name)
        for foreign_key in table.foreign_keys:
            if any(c.lower() == column.name.lower() for c in foreign_key.columns):
                raise sql_error(5074, foreign_key.name, column.name)
        if column.identity is not None and node.type.name != column.type.name:
            raise sql_error(4928, column.name)
        self.check_row_size(table.name, [c if c is not column else
                                         type(c)(c.name, node.type) for c in table.columns])
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
        self.reset_keys(table)

        def restore():
            column.type, column.nullable = old_type, old_nullable
            self.reset_keys(table)
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

    def do_switch_constraints(self, node, out):
        """ALTER TABLE ... [WITH CHECK] CHECK|NOCHECK CONSTRAINT name|ALL: foreign keys and
        CHECK constraints stop or start being enforced; WITH CHECK validates the rows."""
        database, table = self.table(node.table)
        switchable = {c.name.lower(): c for c in table.foreign_keys + table.checks}
        chosen = list(switchable.values()) if node.names is None else []
        for name in node.names or []:
            if name.lower() not in switchable:
                raise sql_error(4917, name)
            chosen.append(switchable[name.lower()])
        for constraint in chosen:
            if node.enable and node.validate:
                for _, values in database.scan(table):
                    failed = not self.parent_exists(constraint, values) \
                        if isinstance(constraint, ForeignKey) else \
                        self.check_fails(table, constraint, values)
                    if failed:
                        kind = 'FOREIGN KEY' if isinstance(constraint, ForeignKey) else 'CHECK'
                        raise sql_error(547, 'ALTER TABLE', kind, constraint.name,
                                        database.name, self.schema_qualified(table), '')
            before = constraint.disabled
            constraint.disabled = not node.enable
            self.undo.append(lambda c=constraint, b=before: setattr(c, 'disabled', b))

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
                    node.definition,
                    [(name, SqlType(c.type, c.length, c.precision, c.scale), c.nullable)
                     for name, c in zip(names, columns)])
        database.add_object(view)
        self.undo.append(lambda: database.remove_object(view))


def types_compatible(a, b):
    if a.name == b.name:
        return a.sql() == b.sql() or a.name in ('varchar', 'nvarchar', 'char', 'nchar',
                                                'varbinary', 'binary')
    return False
