"""The test server through the real client stack: unixODBC with the FreeTDS driver (statements
and its bulk-copy interface) and isql; tsql runs whole scripts in test_direct_mode.py. Run
against a real SQL Server by setting TABRIX_MSSQL_HOST and friends (see server_fixture.py)."""

import concurrent.futures
import subprocess
import time
import unittest

from server_fixture import ServerTestCase, client_program

# Every column type direct mode and the script use: (column type, T-SQL literal, the text ODBC
# gives back, the text bound for bulk copy). The driver (FreeTDS 1.3.17) misreads bound date text
# before 1900 (it sends 1900-01-01 for 1000-01-01) and overruns its buffer on bound values past
# 4096 bytes, so the bulk-copy values stay inside both.
LONG_TEXT = 'Ab\u00e9' * 1500          # 4500 characters: past one 4 KiB packet as UTF-16
TYPES = [
    ('bit', '1', '1', '1'),
    ('tinyint', '255', '255', '255'),
    ('smallint', '-32768', '-32768', '-32768'),
    ('int', '-2147483648', '-2147483648', '-2147483648'),
    ('bigint', '9223372036854775807', '9223372036854775807', '9223372036854775807'),
    ('decimal(38,10)', '-1234567890123456789012345678.0123456789',
     '-1234567890123456789012345678.0123456789', '-1234567890123456789012345678.0123456789'),
    ('numeric(5,2)', '123.45', '123.45', '123.45'),
    ('money', '-922337203685477.5808', '-922337203685477.5808', '-922337203685477.5808'),
    ('smallmoney', '214748.3647', '214748.3647', '214748.3647'),
    ('real', '1.5', '1.5', '1.5'),
    ('float', '-2.25E+300', '-2.25e+300', '-2.25E+300'),
    ('date', "'1582-10-04'", '1582-10-04', '2024-02-29'),
    ('time(3)', "'23:59:59.997'", '23:59:59.997', '23:59:59.997'),
    ('datetime', "'1753-01-01T00:00:00.003'", '1753-01-01 00:00:00.003', '1753-01-01 00:00:00.003'),
    ('datetime2(6)', "'9999-12-31T23:59:59.999999'", '9999-12-31 23:59:59.999999',
     '9999-12-31 23:59:59.999999'),
    ('smalldatetime', "'2079-06-06T23:59:00'", '2079-06-06 23:59:00', '2079-06-06 23:59:00'),
    ('char(3)', "'ab'", 'ab ', 'ab'),
    ('varchar(10)', "'x\u00e9y'", 'x\u00e9y', 'x\u00e9y'),
    ('varchar(max)', "'" + 'v' * 5000 + "'", 'v' * 5000, 'v' * 4000),
    ('nchar(2)', "N'\u03a9'", '\u03a9 ', '\u03a9'),
    ('nvarchar(50)', "N'\u65e5\u672c\u8a9e'", '\u65e5\u672c\u8a9e', '\u65e5\u672c\u8a9e'),
    ('nvarchar(max)', f"N'{LONG_TEXT}'", LONG_TEXT, 'N\u00e9' * 1000),
    ('binary(4)', '0x01', '01000000', '01'),
    ('varbinary(10)', '0x', '', ''),
    ('varbinary(max)', '0x' + 'ab' * 6000, 'ab' * 6000, 'cd' * 4000),
    ('uniqueidentifier', "'6F9619FF-8B86-D011-B42D-00C04FC964FF'",
     '6F9619FF-8B86-D011-B42D-00C04FC964FF', '6F9619FF-8B86-D011-B42D-00C04FC964FF'),
]

# The type names the driver reports. Nullable smallmoney and smalldatetime columns travel as
# MONEYN and DATETIMN of 4 bytes, which the driver names money and datetime.
ODBC_TYPE_NAMES = {'smallmoney': 'money', 'smalldatetime': 'datetime', 'decimal(38,10)': 'decimal',
                   'numeric(5,2)': 'numeric', 'time(3)': 'time',
                   'datetime2(6)': 'datetime2', 'char(3)': 'char', 'varchar(10)': 'varchar',
                   'varchar(max)': 'varchar', 'nchar(2)': 'nchar', 'nvarchar(50)': 'nvarchar',
                   'nvarchar(max)': 'nvarchar', 'binary(4)': 'binary',
                   'varbinary(10)': 'varbinary', 'varbinary(max)': 'varbinary'}

TABLE = 'CREATE TABLE [all types] (id int IDENTITY(1,1) NOT NULL PRIMARY KEY, ' + ', '.join(
    f'c{i} {t} NULL' for i, (t, _, _, _) in enumerate(TYPES)) + ')'


class SessionTests(ServerTestCase):
    def test_login_and_its_failures(self):
        connected, out = self.server.query('SELECT DB_NAME()')
        self.assertTrue(connected)
        self.assertEqual(out[0].rows, [['master']])

        connected, out = self.server.query('SELECT 1', password='wrong')
        self.assertFalse(connected)
        self.assertIn(18456, out[0].error_numbers())
        self.assertIn("Login failed for user 'sa'.", ' '.join(e[2] for e in out[0].errors))

        connected, out = self.server.query('SELECT 1', database='no_such_db')
        self.assertFalse(connected)
        self.assertIn(4060, out[0].error_numbers())
        self.assertIn(18456, out[0].error_numbers())

        self.server.need_test_server(self)
        # The server offers no encryption: a client that may go without connects in clear
        # text, one that requires it gives up.
        self.assertTrue(self.server.query('SELECT 1', extra=';Encryption=request')[0])
        self.assertFalse(self.server.query('SELECT 1', extra=';Encryption=require')[0])

        self.server.fault({'refuse_login': 1})
        connected, out = self.server.query('SELECT 1')
        self.assertFalse(connected)
        self.assertIn(18456, out[0].error_numbers())
        self.assertTrue(self.server.query('SELECT 1')[0], 'only one login is refused')

    def test_batches_messages_and_errors_in_order(self):
        db = self.server.new_database(self)
        connected, out = self.server.query(
            "CREATE TABLE t (k int PRIMARY KEY, s varchar(3) NOT NULL); PRINT 'made'",
            "INSERT INTO t VALUES (1, 'a'), (2, 'b'); INSERT INTO t VALUES (1, 'c'); "
            "SELECT k FROM t ORDER BY k",
            "INSERT INTO t VALUES (3, NULL)",
            "INSERT INTO t VALUES (4, 'long')",
            "SET NOCOUNT ON; INSERT INTO t VALUES (5, 'e'); SELECT COUNT(*) FROM t",
            'SELECT nothing FROM t', 'SELECT (1', 'USE master; SELECT DB_NAME()',
            database=db)
        self.assertTrue(connected)
        self.assertEqual(out[0].infos[0][0], 0)
        self.assertIn('made', out[0].infos[0][2])
        # An error ends its statement, not the batch.
        self.assertEqual(out[1].counts[:1], [2])
        self.assertEqual(out[1].error_numbers(), [2627])
        self.assertEqual(out[1].rows, [['1'], ['2']])
        self.assertEqual(out[2].error_numbers(), [515])
        self.assertIn(out[3].error_numbers()[0], (8152, 2628))
        self.assertEqual(out[4].counts, [])
        self.assertEqual(out[4].rows, [['3']])
        self.assertEqual(out[5].error_numbers(), [207])
        self.assertEqual(out[6].error_numbers(), [102])
        self.assertEqual(out[7].rows, [['master']])
        self.assertIn(5701, [i[0] for i in out[7].infos])

    def test_statement_forms_and_catalog_answers(self):
        db = self.server.new_database(self)
        values = ', '.join(f"({i}, N'n{i}')" for i in range(1, 1001))
        out = self.run_ok(
            'SET QUOTED_IDENTIFIER ON; SET DATEFORMAT ymd; SET NOCOUNT OFF',
            'CREATE SCHEMA [sales]',
            'CREATE TABLE [sales].[parent] (id int IDENTITY(5,2) NOT NULL PRIMARY KEY, '
            "code char(4) NOT NULL UNIQUE, amount decimal(12,2) NULL DEFAULT 0, "
            "note nvarchar(max) NULL)",
            'CREATE TABLE [child]] x] (k int NOT NULL, parent int NULL, n nvarchar(20))',
            'ALTER TABLE [child]] x] ALTER COLUMN n nvarchar(40) NULL',
            'ALTER TABLE [child]] x] ADD CONSTRAINT [pk_child] PRIMARY KEY (k)',
            'ALTER TABLE [child]] x] ADD CONSTRAINT [fk_child] FOREIGN KEY (parent) '
            'REFERENCES [sales].[parent] (id)',
            'CREATE UNIQUE NONCLUSTERED INDEX [ix_n] ON [child]] x] (n) WHERE n IS NOT NULL',
            "IF OBJECT_ID(N'[dbo].[v]', N'V') IS NOT NULL DROP VIEW [dbo].[v]",
            'CREATE VIEW [v] AS SELECT k, n FROM [child]] x]',
            f'INSERT INTO [child]] x] (k, n) VALUES {values}',
            "SET IDENTITY_INSERT [sales].[parent] ON; INSERT INTO [sales].[parent] (id, code) "
            "VALUES (100, 'a''b'); SET IDENTITY_INSERT [sales].[parent] OFF; "
            "INSERT INTO [sales].[parent] (code) VALUES ('c')",
            'SELECT id, code, amount FROM [sales].[parent] ORDER BY id',
            "SELECT t.name, SCHEMA_NAME(t.schema_id) FROM sys.tables t ORDER BY t.name",
            "SELECT c.name, c.max_length, c.is_nullable, c.is_identity FROM sys.columns c "
            "WHERE c.object_id = OBJECT_ID(N'[sales].[parent]') ORDER BY c.column_id",
            "SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH FROM "
            "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'child] x' ORDER BY ORDINAL_POSITION",
            "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'[child]] x]') "
            "AND name IS NOT NULL ORDER BY name",
            "SELECT name, OBJECT_NAME(parent_object_id) FROM sys.foreign_keys",
            "SELECT OBJECT_SCHEMA_NAME(OBJECT_ID(N'sales.parent')), DB_NAME()",
            'SELECT COUNT(*) FROM [v]',
            "SELECT name FROM master.sys.databases WHERE name = DB_NAME()",
            "EXEC sp_columns @table_name = N'parent', @table_owner = N'sales'",
            'DROP VIEW [v]', 'DROP TABLE [child]] x]', database=db)
        self.assertEqual(out[10].counts, [1000])
        # An explicit identity past the seed moves the next generated one on.
        self.assertEqual(out[12].rows, [['100', "a'b ", '0.00'], ['102', 'c   ', '0.00']])
        self.assertEqual(out[12].results[0]['columns'][2][1:4], ('decimal', 12, 2))
        self.assertEqual(out[13].rows, [['child] x', 'dbo'], ['parent', 'sales']])
        self.assertEqual(out[13].results[0]['columns'][0][1], 'nvarchar')
        self.assertEqual(out[14].rows, [['id', '4', '0', '1'], ['code', '4', '0', '0'],
                                        ['amount', '9', '1', '0'], ['note', '-1', '1', '0']])
        self.assertEqual(out[15].rows, [['k', 'int', None], ['parent', 'int', None],
                                        ['n', 'nvarchar', '40']])
        self.assertEqual(out[16].rows, [['ix_n'], ['pk_child']])
        self.assertEqual(out[17].rows, [['fk_child', 'child] x']])
        self.assertEqual(out[18].rows, [['sales', db]])
        self.assertEqual(out[19].rows, [['1000']])
        self.assertEqual(out[20].rows, [[db]])
        self.assertEqual([r[3] for r in out[21].rows], ['id', 'code', 'amount', 'note'])

    def test_error_numbers_reach_the_client(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE p (id int PRIMARY KEY, u int NULL)',
                    'CREATE UNIQUE INDEX ux ON p (u)',
                    'CREATE TABLE c (k int NOT NULL, p int REFERENCES p (id), s varchar(3), '
                    'd date NULL, n tinyint NULL)',
                    'CREATE TABLE i (id int IDENTITY(1,1), v int)',
                    'CREATE TABLE j (id int IDENTITY(1,1), v int)',
                    "INSERT INTO p VALUES (1, 1)", database=db)
        cases = [
            ("INSERT INTO c (k, s) VALUES (1, 'long')", (8152, 2628)),
            ('INSERT INTO c (k, n) VALUES (1, 300)', (220, 8115)),
            ("INSERT INTO c (k, d) VALUES (1, '2024-02-30')", (241, 242)),
            ("INSERT INTO c (k) VALUES ('x')", (245,)),
            ("INSERT INTO c (k, n) VALUES (1, CAST('1.5x' AS decimal(5,2)))", (8114,)),
            ('INSERT INTO c (k) VALUES (NULL)', (515,)),
            ('INSERT INTO p VALUES (1, 2)', (2627,)),
            ('INSERT INTO p VALUES (2, 1)', (2601,)),
            ('INSERT INTO c (k, p) VALUES (1, 9)', (547,)),
            ('INSERT INTO i (id, v) VALUES (1, 1)', (544,)),
            ('SET IDENTITY_INSERT i ON; SET IDENTITY_INSERT j ON', (8107,)),
            ('CREATE TABLE p (x int)', (2714,)),
            ('SELECT * FROM nowhere', (208,)),
            ('SELECT nothing FROM p', (207,)),
            ('SELECT FROM WHERE', (102, 156)),
            (f'CREATE DATABASE [{db}]', (1801,)),
            ('DROP DATABASE [no such database]', (3701,)),
        ]
        connected, out = self.server.query(*[sql for sql, _ in cases], database=db)
        self.assertTrue(connected)
        for (sql, numbers), batch in zip(cases, out):
            with self.subTest(sql):
                self.assertTrue(batch.errors)
                self.assertIn(batch.errors[0][0], numbers)

    def test_database_in_use_cannot_be_dropped(self):
        self.server.need_test_server(self)
        db = self.server.new_database(self)
        self.server.fault({'delay': {'seconds': 10, 'match': "'hold'"}})
        holder = subprocess.Popen([client_program('odbc_query'), self.server.connection_string(db),
                                   "SELECT 'hold'"], stdout=subprocess.DEVNULL)
        self.addCleanup(holder.wait)
        self.addCleanup(holder.kill)
        deadline = time.monotonic() + 10
        while not any(e['kind'] == 'login' and e['database'] == db for e in self.server.log()):
            self.assertLess(time.monotonic(), deadline, 'the holding session never logged in')
            time.sleep(0.05)
        connected, out = self.server.query(f'DROP DATABASE [{db}]')
        self.assertEqual(out[0].error_numbers(), [3702])

    def test_transactions_through_the_driver(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (k int)', database=db)
        connected, out = self.server.query(
            'INSERT INTO t VALUES (1)', ':rollback', 'INSERT INTO t VALUES (2)', ':commit',
            'INSERT INTO t VALUES (3)', database=db, options=['--manual-commit'])
        self.assertTrue(connected)
        self.assertEqual(sum(len(b.errors) for b in out), 0, [b.errors for b in out])
        # The last insert was never committed: the session's close rolls it back.
        out = self.run_ok('SELECT k FROM t', 'BEGIN TRAN; INSERT INTO t VALUES (4); '
                          'SELECT @@TRANCOUNT; ROLLBACK; SELECT COUNT(*) FROM t', database=db)
        self.assertEqual(out[0].rows, [['2']])
        self.assertEqual(out[1].rows, [['1'], ['1']])

    def test_every_type_through_statements(self):
        db = self.server.new_database(self)
        self.run_ok(TABLE, database=db)
        columns = ', '.join(f'c{i}' for i in range(len(TYPES)))
        literals = ', '.join(literal for _, literal, _, _ in TYPES)
        self.run_ok(f'INSERT INTO [all types] ({columns}) VALUES ({literals})',
                    f'INSERT INTO [all types] (c0) VALUES (NULL)', database=db)
        out = self.run_ok(f'SELECT {columns} FROM [all types] ORDER BY id', database=db)
        result = out[0].results[0]
        for (type_name, _, expected, _), value, null, column in zip(
                TYPES, result['rows'][0], result['rows'][1], result['columns']):
            with self.subTest(type_name):
                self.assertEqual(column[1], ODBC_TYPE_NAMES.get(type_name, type_name))
                self.assertEqual(value, expected)
                self.assertIsNone(null)
        # Empty (MAX) values are a zero-length PLP stream, not NULL.
        empty = self.run_ok("SELECT CAST('' AS varchar(max)), CAST(N'' AS nvarchar(max)), "
                            'CAST(0x AS varbinary(max)), CAST(NULL AS varchar(max))')
        self.assertEqual(empty[0].rows, [['', '', '', None]])
        if not self.server.real:
            stored = self.server.dump(db, 'all types')
            self.assertEqual(len(stored), 2)
            self.assertEqual(stored[0]['c5'], '-1234567890123456789012345678.0123456789')

    def test_catalog_functions_get_an_error_not_a_hang(self):
        # isql's "help" lists tables through SQLTables, which the driver sends as an RPC.
        # isql prepares statements unless told -e, and the driver sends a prepared statement
        # as an RPC too.
        done = subprocess.run(['isql', '-k', self.server.connection_string(), '-v', '-e'],
                              input='help\nSELECT 42\n', capture_output=True, text=True,
                              timeout=60)
        self.assertIn('| 42', done.stdout)
        if not self.server.real:
            self.assertIn("Could not find stored procedure 'sp_tables'", done.stdout)
            self.assertIn('sp_tables', [e.get('text') for e in self.server.log()
                                        if e['kind'] == 'rpc'])

    def test_concurrent_sessions(self):
        dbs = [self.server.new_database(self) for _ in range(4)]

        def work(db):
            return self.server.query('CREATE TABLE t (k int)', *[
                f'INSERT INTO t VALUES ({i})' for i in range(20)], 'SELECT SUM(k) FROM t',
                database=db)

        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            results = list(pool.map(work, dbs))
        for connected, out in results:
            self.assertTrue(connected)
            self.assertEqual(out[-1].rows, [['190']])
            self.assertEqual([e for b in out for e in b.errors], [])


class BulkCopyTests(ServerTestCase):
    def bcp_ok(self, table, kinds, rows, db, options=()):
        status, output = self.server.bcp(table, kinds, rows, db, options)
        self.assertEqual(status, 0, output)
        return output

    def test_every_type_with_nulls_and_generated_identity(self):
        db = self.server.new_database(self)
        self.run_ok(TABLE, database=db)
        kinds = ['skip'] + ['hex' if 'binary' in t else 'text' for t, _, _, _ in TYPES]
        values = [None] + [v for _, _, _, v in TYPES]
        output = self.bcp_ok('[all types]', kinds, [values, [None] * len(values), values], db)
        self.assertIn('DONE 3', output)
        columns = ', '.join(f'c{i}' for i in range(len(TYPES)))
        out = self.run_ok(f'SELECT id, {columns} FROM [all types] ORDER BY id', database=db)
        rows = out[0].rows
        self.assertEqual([r[0] for r in rows], ['1', '2', '3'])
        for (type_name, _, _, bound), got, null in zip(TYPES, rows[0][1:], rows[1][1:]):
            expected = bound
            if type_name.startswith(('char', 'nchar')):
                expected = bound.ljust(int(type_name.split('(')[1][:-1]))
            elif type_name == 'binary(4)':
                expected = bound.ljust(8, '0')
            elif type_name == 'float':
                expected = '-2.25e+300'
            with self.subTest(type_name):
                self.assertEqual(got, expected)
                self.assertIsNone(null)

    def test_identity_kept_and_batches_counted(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (id int IDENTITY(1,1) NOT NULL, s varchar(20) NOT NULL)',
                    database=db)
        rows = [[str(10 * i), f'row {i}'] for i in range(1, 6)]
        output = self.bcp_ok('t', ['int', 'text'], rows, db, ['--keep-identity', '--batch', '2'])
        self.assertEqual([line for line in output.splitlines() if line.startswith('BATCH')],
                         ['BATCH 2', 'BATCH 2'])
        self.assertIn('DONE 5', output)
        out = self.run_ok('SELECT id, s FROM t ORDER BY id', database=db)
        self.assertEqual(out[0].rows, [[str(10 * i), f'row {i}'] for i in range(1, 6)])

    def test_a_failing_batch_stores_none_of_its_rows(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (k int NOT NULL PRIMARY KEY)', database=db)
        status, output = self.server.bcp('t', ['int'], [['1'], ['2'], ['3'], ['3']], db,
                                         ['--batch', '2'])
        self.assertNotEqual(status, 0)
        self.assertIn('2627', output)
        out = self.run_ok('SELECT k FROM t ORDER BY k', database=db)
        self.assertEqual(out[0].rows, [['1'], ['2']])


class FaultTests(ServerTestCase):
    def setUp(self):
        super().setUp()
        self.server.need_test_server(self)

    def test_fail_statement_n(self):
        self.server.fault({'fail_statement': {'n': 2, 'match': '^SELECT'}})
        connected, out = self.server.query('SELECT 1', 'SET NOCOUNT ON', 'SELECT 2', 'SELECT 3')
        self.assertTrue(connected)
        self.assertEqual([b.error_numbers() for b in out], [[], [], [1205], []])
        self.assertEqual(out[3].rows, [['3']])

    def test_fail_bulk_row_n(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (k int)', database=db)
        self.server.fault({'fail_bulk_row': {'n': 3}})
        status, output = self.server.bcp('t', ['int'], [[str(i)] for i in range(1, 6)], db,
                                         ['--batch', '2'])
        self.assertNotEqual(status, 0)
        self.assertIn('1205', output)
        self.assertEqual([r['k'] for r in self.server.dump(db, 't')], [1, 2])

    def test_drop_connection_after_n_rows(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (k int)', database=db)
        self.server.fault({'drop_after_rows': 3})
        connected, out = self.server.query(*[f'INSERT INTO t VALUES ({i})' for i in range(1, 6)],
                                           database=db)
        self.assertTrue(connected)
        self.assertEqual([b.errors == [] for b in out[:2]], [True, True])
        # The third insert is stored, but its answer never comes: the driver reads an end of
        # stream (20017), then the link is gone.
        self.assertEqual(out[2].error_numbers()[:1], [20017])
        self.assertEqual(out[3].errors[0][1], '08S01')
        self.assertEqual([r['k'] for r in self.server.dump(db, 't')], [1, 2, 3])

    def test_delay_and_attention(self):
        self.server.fault({'delay': {'seconds': 30, 'match': 'slow'}})
        connected, out = self.server.query("SELECT 'slow'", 'SELECT 2', options=['--timeout', '1'])
        self.assertTrue(connected)
        self.assertEqual(out[0].errors[0][1], 'HYT00')
        self.assertEqual(out[1].rows, [['2']], 'the session goes on after the cancel')
        self.assertIn('attention', [e['kind'] for e in self.server.log()])

    def test_statement_log(self):
        db = self.server.new_database(self)
        self.server.query('CREATE TABLE t (k int)', 'INSERT INTO t VALUES (1), (2)', 'SELECT x',
                          database=db)
        entries = [e for e in self.server.log() if e['kind'] == 'batch' and e['database'] == db]
        self.assertEqual([e['text'] for e in entries],
                         ['CREATE TABLE t (k int)', 'INSERT INTO t VALUES (1), (2)', 'SELECT x'])
        self.assertEqual([e['rows'] for e in entries], [0, 2, 0])
        self.assertEqual(entries[2]['errors'], [207])


class OldServerTests(ServerTestCase):
    banner = '2008R2'

    def test_banner(self):
        self.server.need_test_server(self)
        out = self.run_ok('SELECT @@VERSION', "SELECT CAST(SERVERPROPERTY('ProductVersion') "
                          'AS nvarchar(30))')
        self.assertIn('2008 R2', out[0].rows[0][0])
        self.assertTrue(out[1].rows[0][0].startswith('10.50.'))


if __name__ == '__main__':
    unittest.main()
