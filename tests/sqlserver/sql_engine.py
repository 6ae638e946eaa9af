"""The SQL side of the test server: T-SQL batches in, SQL Server's results and errors out.

One Engine serves every session of a server; each database is its own sqlite store under the
engine's data directory. The protocol side turns what Session.execute yields into TDS tokens.

Where it differs from SQL Server (a test that depends on these does not prove much):
- No locking or isolation: statements of all sessions run one at a time under one lock, and a
  session sees the uncommitted rows of another (no blocking, no deadlock 1205, no lock
  timeouts). A rollback undoes the session's own changes from an undo log.
- T-SQL is a subset: no stored procedures, triggers, functions, cursors, TRY/CATCH, WHILE,
  MERGE, CTEs, window functions, SELECT INTO, computed columns, rowversion/timestamp, sql_variant
  (sys.identity_columns gives bigint where SQL Server gives sql_variant), datetimeoffset, xml.
  Also missing: UPDATE/DELETE ... FROM with joins, INSERT into views, OUTPUT, system procedures
  other than sp_tables, sp_columns and sp_executesql (sp_rename, sp_help... answer 2812), and
  temporary tables are not listed in tempdb's catalog views (OBJECT_ID('tempdb..#t') finds
  them). Unknown syntax is error 102/156 as on the server, so a test meets the gap loudly.
- Compilation is approximated: syntax errors, unknown functions and column names missing from
  tables that exist when the batch starts stop the whole batch before it runs; everything else
  (missing tables, deferred names) fails when its statement runs, with the batch-abort or
  statement-abort SQL Server gives that error number.
- Collations: the database default is SQL_Latin1_General_CP1_CI_AS (case-insensitive, trailing
  blanks ignored); a column COLLATE name containing _CS_ (or _BIN) makes its keys and
  comparisons case-sensitive. Text sorts by its letters without accents, then accents, then
  case (Unicode decomposition), not by the collation's own sort tables (punctuation and some
  letters order differently); accent-insensitive (_AI) and kana/width options are not modelled,
  nor code pages other than 1252 for varchar.
- Arithmetic: decimal results keep exact values but not SQL Server's precision/scale derivation
  rules for expressions (e.g. the scale of a division); float text conversion is approximate.
- time and datetime2 keep microseconds: a 7th fractional digit is rounded away.
- Truncation is 2628 (with table, column and value) for the 2019/2022/Azure banners and 8152
  for 2008 R2 and 2017, as databases at those servers' default compatibility levels report it.
- Object ids, constraint names generated for unnamed constraints and the dates in catalog views
  follow SQL Server's shape (PK__table__hex), not its values.
- Catalog views hold the columns the tests and direct mode query, not every column.
"""

from __future__ import annotations

import datetime as dt
import itertools
import os
import threading
from typing import Iterator

from sql_catalog import Database, database_path, read_store
from sql_errors import SqlError, sql_error
from sql_executor import Executor
from sql_results import ColumnInfo, EnvChange, Info, ResultSet, RowCount

__all__ = ['SqlError', 'ColumnInfo', 'ResultSet', 'RowCount', 'Info', 'EnvChange', 'Engine',
           'Session', 'BANNERS', 'read_store']

# @@VERSION and the compatibility level of new databases, per server version.
BANNERS = {
    '2008R2': ('Microsoft SQL Server 2008 R2 (SP3) - 10.50.6000.34 (X64) \n\tAug 19 2014 '
               '12:21:34 \n\tCopyright (c) Microsoft Corporation\n\tDeveloper Edition (64-bit) on '
               'Windows NT 6.1 <X64> (Build 7601: Service Pack 1) (Hypervisor)\n', 100,
               '10.50.6000.34'),
    '2017': ('Microsoft SQL Server 2017 (RTM-CU31) (KB5016884) - 14.0.3456.2 (X64) \n\tSep  2 '
             '2022 11:01:50 \n\tCopyright (C) 2017 Microsoft Corporation\n\tDeveloper Edition '
             '(64-bit) on Linux (Ubuntu 18.04.6 LTS)', 140, '14.0.3456.2'),
    '2019': ('Microsoft SQL Server 2019 (RTM-CU22) (KB5027702) - 15.0.4322.2 (X64) \n\tJul 27 '
             '2023 18:11:00 \n\tCopyright (C) 2019 Microsoft Corporation\n\tDeveloper Edition '
             '(64-bit) on Linux (Ubuntu 20.04.6 LTS) <X64>', 150, '15.0.4322.2'),
    '2022': ('Microsoft SQL Server 2022 (RTM-CU10) (KB5031778) - 16.0.4095.4 (X64) \n\tOct 30 '
             '2023 16:12:44 \n\tCopyright (C) 2022 Microsoft Corporation\n\tDeveloper Edition '
             '(64-bit) on Linux (Ubuntu 22.04.3 LTS) <X64>', 160, '16.0.4095.4'),
    'azure': ('Microsoft SQL Azure (RTM) - 12.0.2000.8 \n\tOct  2 2023 11:33:52 \n\tCopyright '
              '(C) 2022 Microsoft Corporation\n', 160, '12.0.2000.8'),
}

SYSTEM_DATABASES = ('master', 'tempdb', 'model', 'msdb')


class Engine:
    """One per server, shared by all sessions; every statement runs under its lock."""

    def __init__(self, data_dir: str, banner: str = '2019', password: str = 'Tabrix-Test-1'):
        if banner not in BANNERS:
            raise ValueError(f'unknown banner {banner!r}: one of {", ".join(BANNERS)}')
        self.data_dir = data_dir
        self.banner = banner
        self.version, self.compatibility_level, self.product_version = BANNERS[banner]
        self.lock = threading.RLock()
        self.logins = {'sa': password}
        self.databases = {}
        self.sessions = set()
        self._spids = itertools.count(51)
        self.start_time = dt.datetime.now()
        os.makedirs(data_dir, exist_ok=True)
        for name in SYSTEM_DATABASES:
            path = ':memory:' if name == 'tempdb' else database_path(data_dir, name)
            self._attach(name, path)
        for file in sorted(os.listdir(data_dir)):
            if file.endswith('.sqlite') and file[:-7] not in SYSTEM_DATABASES:
                self._attach(file[:-7], os.path.join(data_dir, file))

    def _attach(self, name, path):
        database_id = max((d.database_id for d in self.databases.values()), default=0) + 1
        database = Database(name, database_id, path)
        self.databases[name.lower()] = database
        return database

    @property
    def truncation_number(self):
        """SQL Server 2019 and later name the table, column and value (2628) where databases
        at their default compatibility level; older ones only say 8152."""
        return 2628 if self.compatibility_level >= 150 else 8152

    def database(self, name):
        return self.databases.get((name or '').lower())

    def add_login(self, user: str, password: str) -> None:
        with self.lock:
            self.logins[user.lower()] = password

    def check_login(self, user: str, password: str) -> bool:
        with self.lock:
            return self.logins.get(user.lower()) == password

    def open_session(self, user: str, database: str | None) -> 'Session':
        with self.lock:
            target = self.database(database or 'master')
            if target is None:
                raise sql_error(4060, database)
            session = Session(self, user, target.name, next(self._spids))
            self.sessions.add(session)
            return session

    def dump(self, database: str, table: str) -> Iterator[dict]:
        """Rows of a table as JSON-ready dicts: Decimal as text, bytes as hex, dates as ISO text,
        bit as true/false. `table` may be schema-qualified ('sales.orders')."""
        with self.lock:
            target = self.database(database)
            if target is None:
                raise KeyError(database)
            target.flush()
            schema, _, name = table.rpartition('.')
            rows = list(read_store(target.path, schema or 'dbo', name)) \
                if target.path != ':memory:' else []
        for row in rows:
            yield {k: json_value(v) for k, v in row.items()}

    def query(self, database: str, sql: str) -> list:
        """The rows of the last result set of `sql`, run on a session of its own (a test's
        side road to the data); an error is raised as SqlError."""
        session = self.open_session('sa', database)
        try:
            rows = []
            for result in session.execute(sql):
                if isinstance(result, SqlError):
                    raise result
                if isinstance(result, ResultSet):
                    rows = result.rows
            return rows
        finally:
            session.close()

    def close(self):
        with self.lock:
            for session in list(self.sessions):
                session.close()
            for database in self.databases.values():
                database.flush()
                database.close()


def json_value(value):
    import decimal
    import uuid
    if isinstance(value, decimal.Decimal):
        return format(value, 'f')
    if isinstance(value, bytes):
        return value.hex()
    if isinstance(value, (dt.date, dt.time)):
        return value.isoformat(sep=' ') if isinstance(value, dt.datetime) else value.isoformat()
    if isinstance(value, uuid.UUID):
        return str(value).upper()
    return value


class Session:
    """One connection's state: current database, SET options, temp tables, open transaction."""

    def __init__(self, engine, user, database, spid):
        self.engine = engine
        self.user = user
        self.database = database
        self.spid = spid
        self.cancelled = False
        self.closed = False
        self.executor = Executor(engine, self)

    @property
    def in_transaction(self) -> bool:
        return self.executor.tran_count > 0

    def execute(self, batch_text: str) -> Iterator:
        """Runs one SQL batch; yields ResultSet, RowCount, Info, EnvChange and SqlError in order.
        A statement error is yielded and the batch goes on unless it ends the batch."""
        self.cancelled = False
        for statement_results in self.executor.run_batch(batch_text):
            yield from statement_results

    def bulk_columns(self, table: str) -> list:
        with self.engine.lock:
            return self.executor.bulk_columns(table)

    def insert_bulk(self, table: str, columns: list, rows: list, keep_identity: bool = False,
                    check_constraints: bool = False, fire_triggers: bool = False) -> int:
        """All rows or none (raises SqlError with SQL Server's number)."""
        with self.engine.lock:
            return self.executor.insert_bulk(table, columns, rows, keep_identity,
                                             check_constraints)

    def cancel(self) -> None:
        self.cancelled = True

    def close(self) -> None:
        with self.engine.lock:
            if self.closed:
                return
            self.closed = True
            self.executor.close()
            self.engine.sessions.discard(self)

