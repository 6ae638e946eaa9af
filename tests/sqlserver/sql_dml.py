"""Rows: conversions and checks against column types, keys, identity, INSERT/UPDATE/DELETE
and bulk loads, each change recorded for rollback."""

from __future__ import annotations

from decimal import Decimal

from sql_errors import SqlError, sql_error
from sql_eval import Binding, Context, key_text
from sql_parser import Node, Parser


class DmlStatements:
    """The data half of a session's executor (mixed into Executor)."""

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
        bulk = keep_identity is not None
        identity_on = keep_identity if bulk else self.identity_insert is table
        for column in table.columns:
            if column.identity is not None:
                key = column.name.lower()
                if not identity_on or bulk and key not in given:
                    values.append(None)     # generated when the row is stored
                    continue
                if key not in given:
                    raise sql_error(545, table.name)
                if given[key] is None:
                    raise sql_error(515, column.name, self.qualified(database, table),
                                    statement)
                values.append(self.convert_for_column(database, table, column, given[key]))
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
        """CHECK constraints, unique keys and foreign keys of a new row version. A bulk load
        without CHECK_CONSTRAINTS skips the CHECK and FOREIGN KEY constraints, as SQL Server
        does (it marks them not trusted)."""
        for check in [] if skip_foreign else [c for c in table.checks if not c.disabled]:
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
            if not foreign_key.disabled and not self.parent_exists(foreign_key, values):
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
        key = tuple(parent.column(c).type.key(by_name[c.lower()]) for c, _ in index.columns)
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
            else:
                self.see_identity(table, identity, values[position])
        self.check_row(database, table, values, statement, skip_foreign=not check_foreign)
        self.insert_stored(database, table, values)
        if identity is not None:
            database.dirty = True
            value = values[table.columns.index(identity)]
            self.last_identity = Decimal(value)
            # EXEC of a string is a scope of its own: SCOPE_IDENTITY() outside it does not see
            # its inserts.
            if self.depth == 0:
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
            source_columns, source_rows = self.query(node.select, None)
            if len(source_columns) != len(names):
                raise sql_error(120 if len(source_columns) < len(names) else 121)
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
        if identity is None:
            # @@IDENTITY and SCOPE_IDENTITY() are NULL after an insert into a table without one.
            self.last_identity = None
            if self.depth == 0:
                self.scope_identity = None
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
        if node.top is not None:
            picked = picked[:max(0, int(self.value(node.top, None)))]
        if self.options['rowcount']:
            picked = picked[:self.options['rowcount']]
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
        for index in table.indexes:
            if index.unique:
                self.ensure_keys(database, table, index)
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
                    if foreign_key.parent is not table or foreign_key.disabled:
                        continue
                    key_positions = [table.columns.index(table.column(c))
                                     for c in foreign_key.parent_columns]
                    old_key = [table.columns[p].type.key(old[p]) for p in key_positions]
                    if new is not None and \
                            [table.columns[p].type.key(new[p]) for p in key_positions] == old_key:
                        continue
                    child_positions = [child.columns.index(child.column(c))
                                       for c in foreign_key.columns]
                    action = foreign_key.on_delete if new is None else foreign_key.on_update
                    for rowid, values in child_db.scan(child):
                        if [table.columns[q].type.key(values[p]) for p, q in
                                zip(child_positions, key_positions)] != old_key:
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
