"""Runs parsed statements for one session: DDL, DML with SQL Server's checks, queries, SET
options, transactions (an undo log over the shared sqlite stores) and dynamic SQL."""

from __future__ import annotations

from sql_catalog import Table, View
from sql_ddl import DdlStatements
from sql_dml import DmlStatements
from sql_errors import SqlError, info, sql_error
from sql_eval import AGGREGATES, Context, name_text
from sql_parser import Node, Parser
from sql_query import QueryEvaluator
from sql_results import EnvChange, Info, RowCount
from sql_types import SqlType
import sql_functions
import sql_procedures


class BatchAbort(Exception):
    """Ends the batch after an error that SQL Server does not survive within a batch."""


class Executor(DdlStatements, DmlStatements, QueryEvaluator):
    def __init__(self, engine, session):
        self.engine = engine
        self.session = session
        self.tran_count = 0
        self.undo = []
        self.dropped_stores = []            # (database, store) to drop at commit
        self.temp = {}                      # lower name → Table (#temp tables)
        self.options = {'nocount': False, 'xact_abort': False, 'quoted_identifier': True,
                        'dateformat': 'mdy', 'fmtonly': False, 'implicit_transactions': False,
                        'ansi_nulls': True, 'concat_null_yields_null': True,
                        'rowcount': 0}
        self.identity_insert = None         # Table with IDENTITY_INSERT ON
        self.tran_name = ''
        self.savepoints = []                # (name, undo mark)
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
            except Exception as fault:      # noqa: BLE001 (reported, see internal_error)
                yield [internal_error(fault)]
                return
        for statement in statements:
            if self.session.cancelled or self.session.closed:
                return
            out = []
            with self.engine.lock:
                try:
                    self.run(statement, out)
                except BatchAbort:
                    yield out
                    return
                except Exception as fault:  # noqa: BLE001
                    # Its work cannot be trusted: the statement and any open transaction are
                    # rolled back.
                    self.rollback_to(0)
                    self.tran_count = 0
                    self.finish_transaction()
                    out.append(internal_error(fault))
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
        names_known = True
        for position, statement in enumerate(statements):
            if statement.kind in ('create_view', 'create_schema') and position > 0:
                raise sql_error(111, 'CREATE VIEW' if statement.kind == 'create_view'
                                else 'CREATE SCHEMA', line=statement.line)
            # After a USE, names are resolved in the database it opens, when they run.
            names_known = names_known and statement.kind != 'use'
            if names_known:
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
        self.check_expressions(statement, None)
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

    def check_expressions(self, node, outer):
        """Unknown functions, and names of columns that the tables of a query (when they exist
        now) do not have, are compile errors."""
        if node.kind == 'function' and node.name not in AGGREGATES and \
                node.name not in sql_functions.FUNCTIONS:
            raise sql_error(195, getattr(node, 'written', node.name))
        if node.kind == 'select':
            self.check_select(node, outer)
        elif node.kind in ('update', 'delete') and node.sources is None and \
                node.where is not None:
            context = self.compile_context([Node('table', name=node.table, alias=None)], outer)
            if context is not None:
                self.check_columns_in(node.where, context)
        for child in child_nodes(node):
            if child.kind != 'select':
                self.check_expressions(child, outer)

    def compile_context(self, sources, outer):
        """The bindings of a query's sources as they exist now; None when one does not exist
        yet (its names are resolved when the statement runs)."""
        bindings = []
        for source in sources:
            if source.kind != 'table':
                return None
            try:
                bindings.append(self.source_binding(source))
            except SqlError:
                return None
        return Context(bindings, outer)

    def check_select(self, node, outer):
        context = self.compile_context(node.sources, outer)
        if context is None:
            return
        for source in node.sources:
            if source.on is not None:
                self.check_columns_in(source.on, context)
        for part in [i for i in node.items if i.kind != 'star'] + \
                [node.where, node.having] + (node.group or []):
            if part is not None:
                self.check_columns_in(part, context)

    def check_columns_in(self, node, context):
        if node.kind == 'column':
            context.locate(node.name)
            return
        for child in child_nodes(node):
            if child.kind == 'select':
                self.check_select(child, context)
                self.check_expressions(child, context)
            else:
                self.check_columns_in(child, context)

    def run(self, statement, out):
        """Runs one statement; its error is put in `out`. Raises BatchAbort when the batch
        ends."""
        if statement.kind in ('block', 'if'):
            self.run_compound(statement, out)
            return
        mark = len(self.undo)
        try:
            if self.options['implicit_transactions'] and self.tran_count == 0 and \
                    statement.kind in ('insert', 'update', 'delete', 'create_table', 'drop',
                                       'alter_add', 'alter_column', 'truncate', 'select') and \
                    not (statement.kind == 'select' and not statement.sources):
                self.tran_count = 1
            handler = getattr(self, 'do_' + statement.kind)
            if statement.kind not in ('insert', 'update', 'delete', 'select', 'set', 'print',
                                      'declare', 'set_var', 'use', 'exec_string', 'exec',
                                      'begin_tran', 'commit', 'rollback', 'save_tran'):
                self.mark_dirty()
            handler(statement, out)
            self.error = 0
        except SqlError as error:
            if error.line == 1 and getattr(statement, 'line', 0):
                error.line = statement.line
            self.error = error.number
            self.rollback_to(mark)
            preceding = getattr(error, 'preceding', [])
            out.extend(preceding)
            out.append(error)
            if any(e.number in TERMINATING for e in preceding + [error]) and \
                    statement.kind in ('insert', 'update', 'delete', 'create_index',
                                       'alter_add', 'alter_column'):
                out.append(Info(3621, 'The statement has been terminated.', 0, 0))
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
        self.savepoints.clear()
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

    def do_raiserror(self, node, out):
        """RAISERROR(message or number, severity, state, arguments...): severity 10 or less is
        a message, above it an error 50000 (or the number given) that ends the statement."""
        values = [self.value(a, None) for a in node.args]
        message, severity, state = values[0], int(values[1] or 0), int(values[2] or 0)
        number = 50000
        if isinstance(message, int):
            number, message = message, f'Error {message}, severity {severity}, state {state} ' \
                                       'was raised, but no message with that error number was ' \
                                       'found in sys.messages.'
        text = printf(str(message), values[3:])
        if severity <= 10:
            out.append(Info(number, text, state, severity))
            return
        raise SqlError(number, min(severity, 18), state, text)

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
        if option == 'language':
            # The language sets the date order that text dates are read in.
            name = str(node.value).lower()
            if name not in LANGUAGE_DATEFORMATS:
                return
            self.options['dateformat'] = LANGUAGE_DATEFORMATS[name]
            out.append(Info(5703, f'Changed language setting to {LANGUAGE_NAMES.get(name, name)}.',
                            1, 0))
            return
        if option == 'rowcount':
            value = self.value(Node('variable', name=node.value), None) \
                if isinstance(node.value, str) and node.value.startswith('@') else node.value
            self.options['rowcount'] = max(0, int(value or 0))
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
        if self.tran_count == 0:
            self.tran_name = (node.name or '').lower()
        self.tran_count += 1

    def do_save_tran(self, node, out):
        if self.tran_count == 0:
            raise sql_error(628)
        self.savepoints.append((node.name.lower(), len(self.undo)))

    def do_commit(self, node, out):
        if self.tran_count == 0:
            raise sql_error(3902)
        self.tran_count -= 1
        if self.tran_count == 0:
            self.finish_transaction()

    def do_rollback(self, node, out):
        if self.tran_count == 0:
            raise sql_error(3903)
        name = (node.name or '').lower()
        if name and name != self.tran_name:
            # A savepoint: its work is undone and the transaction goes on.
            marks = [mark for saved, mark in self.savepoints if saved == name]
            if not marks:
                raise sql_error(6401, node.name)
            self.rollback_to(marks[-1])
            self.savepoints = [(s, m) for s, m in self.savepoints if m <= marks[-1]]
            return
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

    # -- EXEC -------------------------------------------------------------------------------
    def do_exec_string(self, node, out):
        text = ''.join('' if v is None else str(v) for v in
                       (self.value(p, None) for p in node.parts))
        self.run_dynamic(text, {}, out)

    def run_dynamic(self, text, variables, out):
        """Dynamic SQL: a batch of its own, with its own variables (`variables`: the
        parameters of sp_executesql) and temp tables that end with it."""
        try:
            statements = Parser(text, self.options['quoted_identifier']).batch()
            self.check_batch(statements)
        except SqlError as error:
            out.append(error)
            self.error = error.number
            return
        self.depth += 1
        temp_before = set(self.temp)
        outer_variables, self.variables = self.variables, variables
        # SET options set by dynamic SQL end with it, as they do with any module's scope.
        outer_options, outer_identity_insert = dict(self.options), self.identity_insert
        try:
            for statement in statements:
                self.run(statement, out)
        finally:
            self.variables = outer_variables
            self.options, self.identity_insert = outer_options, outer_identity_insert
            self.depth -= 1
            # Temp tables made by dynamic SQL end with it.
            for name in set(self.temp) - temp_before:
                table = self.temp.pop(name)
                self.engine.database('tempdb').drop_store(table)

    def do_exec(self, node, out):
        procedure = node.procedure.name.lower()
        handler = sql_procedures.PROCEDURES.get(procedure)
        if handler is None:
            raise sql_error(2812, node.procedure.name)
        args = [(name, self.value(expr, None)) for name, expr in node.args]
        handler(self, args, out)


# SET LANGUAGE: the date order of each language (sys.syslanguages.dateformat).
LANGUAGE_DATEFORMATS = {'us_english': 'mdy', 'english': 'mdy', 'british': 'dmy',
                        'deutsch': 'dmy', 'german': 'dmy', 'français': 'dmy', 'french': 'dmy',
                        'italiano': 'dmy', 'italian': 'dmy', 'español': 'dmy', 'spanish': 'dmy',
                        'nederlands': 'dmy', 'dutch': 'dmy', 'polski': 'dmy', 'polish': 'dmy',
                        'русский': 'dmy', 'russian': 'dmy', 'português': 'dmy',
                        'portuguese': 'dmy', 'dansk': 'dmy', 'danish': 'dmy', 'svenska': 'ymd',
                        'swedish': 'ymd', '日本語': 'ymd', 'japanese': 'ymd'}
LANGUAGE_NAMES = {'english': 'us_english', 'german': 'Deutsch', 'french': 'Français',
                  'italian': 'Italiano', 'spanish': 'Español', 'dutch': 'Nederlands',
                  'polish': 'polski', 'russian': 'русский', 'portuguese': 'Português',
                  'danish': 'Dansk', 'swedish': 'Svenska', 'japanese': '日本語',
                  'deutsch': 'Deutsch', 'français': 'Français'}

# Errors after which SQL Server adds "The statement has been terminated." (3621, severity 0).
TERMINATING = frozenset({220, 512, 515, 547, 1505, 2601, 2627, 2628, 8115, 8134, 8152})


def printf(text, args):
    """RAISERROR's message: %s, %d, %i, %u and %% take the arguments in order."""
    import re
    values = iter(args)

    def replace(match):
        if match.group(0) == '%%':
            return '%'
        value = next(values, None)
        return '(null)' if value is None else str(value)
    return re.sub(r'%%|%[-+ #0]*\d*(?:\.\d+)?(?:h|l|I64)?[sdiuxXo]', replace, text)


def internal_error(fault):
    """A fault of this server itself (not of the batch): it ends the batch with a message that
    names it, so that the test that met it fails visibly instead of the connection dying."""
    import traceback
    where = traceback.extract_tb(fault.__traceback__)[-1]
    return SqlError(50000, 16, 1, f'Test server fault: {type(fault).__name__}: {fault} '
                    f'({where.filename.rsplit("/", 1)[-1]}:{where.lineno})', 1, True)


def child_nodes(node):
    for value in node.__dict__.values():
        if isinstance(value, Node):
            yield value
        elif isinstance(value, (list, tuple)):
            for item in value:
                if isinstance(item, Node):
                    yield item
                elif isinstance(item, tuple):
                    yield from (x for x in item if isinstance(x, Node))
