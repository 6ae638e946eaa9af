"""Rows: INSERT/UPDATE/DELETE/SELECT, keys and identity, batches, transactions, bulk load, temp
tables and dynamic SQL."""

import unittest
from decimal import Decimal

from engine_test_support import EngineTest, Info, ResultSet, RowCount, SqlError


class KeysTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE parent (id INT PRIMARY KEY, code VARCHAR(5), '
                    'CONSTRAINT uq_code UNIQUE (code))')
        self.run_ok('CREATE TABLE child (id INT IDENTITY, parent_id INT CONSTRAINT fk_parent '
                    'REFERENCES parent (id), tag VARCHAR(5))')
        self.run_ok('CREATE UNIQUE INDEX ux_tag ON child (tag) WHERE tag IS NOT NULL')
        self.run_ok("INSERT INTO parent VALUES (1, 'a'), (2, 'b')")

    def test_primary_and_unique_keys(self):
        error = self.assertError("INSERT INTO parent VALUES (1, 'c')", 2627,
                                 "Violation of PRIMARY KEY constraint '" + self.value(
                                     "SELECT name FROM sys.key_constraints WHERE type = 'PK'") +
                                 "'. Cannot insert duplicate key in object 'dbo.parent'. The "
                                 "duplicate key value is (1).")
        self.assertEqual((error.severity, error.batch_abort), (14, False))
        self.assertError("INSERT INTO parent VALUES (3, 'A ')", 2627,
                         "Violation of UNIQUE KEY constraint 'uq_code'. Cannot insert duplicate "
                         "key in object 'dbo.parent'. The duplicate key value is (A ).")
        self.run_ok("INSERT INTO child (parent_id, tag) VALUES (1, NULL), (1, NULL), (1, 'x')")
        self.assertError("INSERT INTO child (parent_id, tag) VALUES (2, 'X')", 2601,
                         "Cannot insert duplicate key row in object 'dbo.child' with unique "
                         "index 'ux_tag'. The duplicate key value is (X).")
        self.assertError("UPDATE parent SET code = 'b' WHERE id = 1", 2627)
        self.run_ok("UPDATE parent SET code = 'z' WHERE id = 1")
        self.assertError("CREATE UNIQUE INDEX ux_parent ON child (parent_id)", 1505)

    def test_foreign_keys(self):
        self.assertError('INSERT INTO child (parent_id) VALUES (9)', 547,
                         'The INSERT statement conflicted with the FOREIGN KEY constraint '
                         '"fk_parent". The conflict occurred in database "testdb", table '
                         '"dbo.parent", column \'id\'.')
        self.run_ok('INSERT INTO child (parent_id) VALUES (2), (NULL)')
        self.assertError('DELETE FROM parent WHERE id = 2', 547,
                         'The DELETE statement conflicted with the REFERENCE constraint '
                         '"fk_parent". The conflict occurred in database "testdb", table '
                         '"dbo.child", column \'parent_id\'.')
        self.assertError('DROP TABLE parent', 3726)
        self.run_ok('ALTER TABLE child NOCHECK CONSTRAINT fk_parent')
        self.run_ok('INSERT INTO child (parent_id) VALUES (9)')
        self.assertEqual(self.value("SELECT is_disabled FROM sys.foreign_keys"), True)
        self.assertError('ALTER TABLE child WITH CHECK CHECK CONSTRAINT fk_parent', 547)
        self.run_ok('DELETE FROM child WHERE parent_id = 9; '
                    'ALTER TABLE child WITH CHECK CHECK CONSTRAINT ALL')
        self.run_ok('CREATE TABLE leaf (p INT, CONSTRAINT fk_leaf FOREIGN KEY (p) '
                    'REFERENCES parent (id) ON DELETE CASCADE)')
        self.run_ok('INSERT INTO leaf VALUES (1), (1)')
        self.run_ok('DELETE FROM parent WHERE id = 1')
        self.assertEqual(self.value('SELECT COUNT(*) FROM leaf'), 0)
        self.assertEqual([e.number for e in self.errors(
            'ALTER TABLE leaf ADD CONSTRAINT fk_bad FOREIGN KEY (p) REFERENCES child '
            '(parent_id)')], [1776, 1750])

    def test_identity(self):
        self.run_ok('INSERT INTO child (parent_id) VALUES (1)')
        self.assertEqual(self.rows('SELECT @@IDENTITY, SCOPE_IDENTITY()'),
                         [(Decimal(1), Decimal(1))])
        self.assertError('INSERT INTO child (id, parent_id) VALUES (10, 1)', 544,
                         "Cannot insert explicit value for identity column in table 'child' "
                         "when IDENTITY_INSERT is set to OFF.")
        self.run_ok('SET IDENTITY_INSERT child ON')
        self.run_ok('INSERT INTO child (id, parent_id) VALUES (10, 1)')
        self.assertError('INSERT INTO child VALUES (11, 1, NULL)', 8101)
        self.assertError('INSERT INTO child (parent_id) VALUES (1)', 545)
        self.run_ok('CREATE TABLE other (id INT IDENTITY(5, 5))')
        self.assertError('SET IDENTITY_INSERT other ON', 8107,
                         "IDENTITY_INSERT is already ON for table 'testdb.dbo.child'. Cannot "
                         "perform SET operation for table 'other'.")
        self.assertError('SET IDENTITY_INSERT parent ON', 8106)
        self.run_ok('SET IDENTITY_INSERT child OFF')
        self.run_ok('INSERT INTO child (parent_id) VALUES (1)')
        self.assertEqual(self.value('SELECT MAX(id) FROM child'), 11)
        self.run_ok('INSERT INTO other DEFAULT VALUES; INSERT INTO other DEFAULT VALUES')
        self.assertEqual(self.rows('SELECT id FROM other'), [(5,), (10,)])
        self.assertEqual(self.value("SELECT IDENT_CURRENT('other')"), Decimal(10))


class StatementsTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE t (id INT, name NVARCHAR(20), amount DECIMAL(9,2))')

    def test_insert_forms(self):
        results = self.run_ok("INSERT INTO t VALUES (1, N'a', 1.5), (2, 'b', NULL)")
        self.assertEqual(results, [RowCount(2)])
        self.run_ok("INSERT t (id) SELECT id + 10 FROM t WHERE amount IS NULL")
        self.assertEqual(self.rows('SELECT id, name FROM t ORDER BY id DESC'),
                         [(12, None), (2, 'b'), (1, 'a')])
        values = ', '.join(f'({i}, NULL, NULL)' for i in range(1000))
        self.run_ok(f'INSERT INTO t VALUES {values}')
        too_many = values + ', (1000, NULL, NULL)'
        results = self.run_sql(f"PRINT 'first'; INSERT INTO t VALUES {too_many}")
        self.assertEqual([r.number for r in results], [10738])
        self.assertEqual(results[0].message, 'The number of row value expressions in the '
                                             'INSERT statement exceeds the maximum allowed '
                                             'number of 1000 row values.')
        self.assertError('INSERT INTO t (id, name) VALUES (1)', 109)
        self.assertError('INSERT INTO t VALUES (1)', 213)

    def test_update_delete_and_queries(self):
        self.run_ok("INSERT INTO t VALUES (1, N'Anna', 10), (2, N'bob', 20), (3, N'Cid', NULL)")
        self.assertEqual(self.run_ok("UPDATE t SET amount = amount * 2 WHERE name LIKE 'B%'"),
                         [RowCount(1)])
        self.assertEqual(self.rows("SELECT name FROM t WHERE amount BETWEEN 15 AND 40 OR "
                                   "id IN (1) ORDER BY name"), [('Anna',), ('bob',)])
        self.assertEqual(self.rows("SELECT COUNT(*), COUNT(amount), SUM(amount), MAX(name) "
                                   "FROM t"), [(3, 2, Decimal('50.00'), 'Cid')])
        self.assertEqual(self.rows("SELECT TOP 2 id AS n FROM t ORDER BY n DESC"),
                         [(3,), (2,)])
        self.assertEqual(self.run_ok('DELETE FROM t WHERE amount IS NULL'), [RowCount(1)])
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 2)
        self.assertError('SELECT nope FROM t', 207, "Invalid column name 'nope'.")

    def test_nocount_and_several_statements(self):
        results = self.run_ok("SET NOCOUNT ON; INSERT INTO t (id) VALUES (1); "
                              "SELECT id FROM t; PRINT N'done'")
        self.assertEqual(results[0], RowCount(None))
        self.assertIsInstance(results[1], ResultSet)
        self.assertEqual(self.prints(results), ['done'])

    def test_statement_and_batch_abort(self):
        results = self.run_sql("INSERT INTO t (id) VALUES (1); INSERT INTO t (id) VALUES "
                               "(2147483648); PRINT 'goes on'; SELECT * FROM missing; "
                               "PRINT 'never'")
        self.assertEqual([type(r).__name__ for r in results],
                         ['RowCount', 'SqlError', 'Info', 'Info', 'SqlError'])
        self.assertEqual(results[2], Info(3621, 'The statement has been terminated.', 0, 0))
        self.assertEqual(results[4].number, 208)
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 1)
        self.run_ok('SET XACT_ABORT ON')
        results = self.run_sql("BEGIN TRAN; INSERT INTO t (id) VALUES (5); "
                               "INSERT INTO t (id) VALUES (2147483648); PRINT 'never'")
        self.assertEqual([type(r).__name__ for r in results], ['RowCount', 'SqlError', 'Info'])
        self.assertFalse(self.session.in_transaction)
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 1)

    def test_raiserror(self):
        results = self.run_sql("RAISERROR('bad %s at %d%%', 16, 2, N'row', 5); "
                               "RAISERROR('note', 10, 1) WITH NOWAIT")
        self.assertEqual((results[0].number, results[0].severity, results[0].state,
                          results[0].message), (50000, 16, 2, 'bad row at 5%'))
        self.assertEqual(results[1], Info(50000, 'note', 1, 10))

    def test_a_failed_statement_leaves_no_row(self):
        self.assertError("INSERT INTO t (id, name) VALUES (1, 'ok'), (2, REPLICATE('x', 21))",
                         2628)
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 0)
        self.assertError("SELECT NO_SUCH_FUNCTION(1)", 195,
                         "'NO_SUCH_FUNCTION' is not a recognized built-in function name.")

    def test_compile_time_invalid_column_stops_whole_batch(self):
        for second in ('INSERT INTO t (nope) VALUES (2)', 'SELECT nope FROM t',
                       'DELETE FROM t WHERE nope = 1', 'SELECT NO_SUCH_FUNCTION(1)',
                       'SELECT x.id FROM t AS y'):
            results = self.run_sql(f'INSERT INTO t (id) VALUES (1); {second}')
            self.assertEqual([r.number for r in results], [195 if 'FUNC' in second else
                                                           4104 if 'x.' in second else 207])
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 0)
        # A table the batch itself creates is resolved when the statement runs.
        results = self.run_sql('CREATE TABLE later (a INT); INSERT INTO later (a) VALUES (1); '
                               "SELECT nope FROM later; PRINT 'never'")
        self.assertEqual([type(r).__name__ for r in results], ['RowCount', 'SqlError'])

    def test_exec_of_strings(self):
        self.run_ok("EXEC (N'INSERT INTO t (id) VALUES (1)'); "
                    "EXEC ('INSERT INTO t (id, name) VALUES (2, ''it''''s'')')")
        self.assertEqual(self.rows('SELECT name FROM t ORDER BY id'), [(None,), ("it's",)])
        self.run_ok("EXEC sp_executesql N'INSERT INTO t (id, name) VALUES (@id, @name)', "
                    "N'@id int, @name nvarchar(20)', @id = 3, @name = N'three'")
        self.assertEqual(self.value('SELECT name FROM t WHERE id = 3'), 'three')
        self.assertError("DECLARE @v INT = 1; EXEC ('SELECT @v')", 137,
                         'Must declare the scalar variable "@v".')
        self.run_ok("EXEC ('SET NOCOUNT ON')")
        self.assertEqual(self.run_ok('DELETE FROM t WHERE id = 99'), [RowCount(0)])
        self.run_ok("EXEC ('CREATE TABLE #inner (x INT)')")
        self.assertIsNone(self.value("SELECT OBJECT_ID('tempdb..#inner')"))


class TransactionsTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE t (id INT PRIMARY KEY)')

    def test_commit_and_rollback(self):
        self.run_ok('BEGIN TRANSACTION; INSERT INTO t VALUES (1)')
        self.assertTrue(self.session.in_transaction)
        self.assertEqual(self.value('SELECT @@TRANCOUNT'), 1)
        self.run_ok('COMMIT')
        self.run_ok('BEGIN TRAN; INSERT INTO t VALUES (2); CREATE TABLE u (x INT); '
                    'DROP TABLE t; ROLLBACK')
        self.assertEqual(self.rows('SELECT id FROM t'), [(1,)])
        self.assertIsNone(self.value("SELECT OBJECT_ID('u')"))
        self.assertError('COMMIT', 3902, 'The COMMIT TRANSACTION request has no corresponding '
                                         'BEGIN TRANSACTION.')
        self.assertError('ROLLBACK', 3903)
        self.run_ok('BEGIN TRAN; BEGIN TRAN; INSERT INTO t VALUES (3); COMMIT')
        self.assertTrue(self.session.in_transaction)
        self.run_ok('ROLLBACK')
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 1)
        self.assertError('BEGIN TRAN; CREATE DATABASE inside', 226)
        self.run_ok('ROLLBACK')
        self.run_ok('BEGIN TRAN outer_tran; INSERT INTO t VALUES (10); SAVE TRAN before_11; '
                    'INSERT INTO t VALUES (11); ROLLBACK TRAN before_11; COMMIT')
        self.assertEqual(self.rows('SELECT id FROM t WHERE id > 9'), [(10,)])
        self.assertError('BEGIN TRAN; ROLLBACK TRAN nowhere', 6401)
        self.run_ok('ROLLBACK')

    def test_autocommit_off_and_close(self):
        self.run_ok('SET IMPLICIT_TRANSACTIONS ON; INSERT INTO t VALUES (5)')
        self.assertTrue(self.session.in_transaction)
        self.session.close()
        session = self.engine.open_session('sa', 'testdb')
        self.assertEqual(self.value('SELECT COUNT(*) FROM t', session), 0)
        session.close()

    def test_errors_inside_a_transaction_keep_it_open(self):
        results = self.run_sql('BEGIN TRAN; INSERT INTO t VALUES (1); INSERT INTO t VALUES (1); '
                               'INSERT INTO t VALUES (2); COMMIT')
        self.assertEqual([r.number for r in results if isinstance(r, SqlError)], [2627])
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 2)


class BulkTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE b (id INT IDENTITY(1,1) PRIMARY KEY, name NVARCHAR(MAX) '
                    'NOT NULL, code VARCHAR(3), amount DECIMAL(6,2))')

    def test_columns_for_format_only_queries(self):
        results = self.run_ok('SET FMTONLY ON select * from b SET FMTONLY OFF')
        self.assertEqual(len(results), 1)
        self.assertEqual(results[0].rows, [])
        columns = results[0].columns
        self.assertEqual([(c.name, c.identity, c.nullable) for c in columns],
                         [('id', True, False), ('name', False, False), ('code', False, True),
                          ('amount', False, True)])
        self.assertEqual(self.session.bulk_columns('[dbo].[b]'), columns)

    def test_rows_all_or_none(self):
        long_text = 'x' * 10000
        count = self.session.insert_bulk('b', ['name', 'code', 'amount'],
                                         [(long_text, 'abc', Decimal('1.5')), ('y', None, None)],
                                         keep_identity=False, check_constraints=False,
                                         fire_triggers=False)
        self.assertEqual(count, 2)
        self.assertEqual(self.rows('SELECT id, LEN(name), amount FROM b'),
                         [(1, 10000, Decimal('1.50')), (2, 1, None)])
        with self.assertRaises(Exception) as raised:
            self.session.insert_bulk('b', ['name', 'code'], [('ok', 'x'), (None, 'y')],
                                     keep_identity=False, check_constraints=False,
                                     fire_triggers=False)
        self.assertEqual(raised.exception.number, 515)
        with self.assertRaises(Exception) as raised:
            self.session.insert_bulk('b', ['name', 'code'], [('ok', 'abcd')], False, False,
                                     False)
        self.assertEqual(raised.exception.number, 4815)
        self.assertEqual(self.value('SELECT COUNT(*) FROM b'), 2)
        self.session.insert_bulk('b', ['id', 'name'], [(40, 'kept')], True, False, False)
        with self.assertRaises(Exception) as raised:
            self.session.insert_bulk('b', ['id', 'name'], [(41, 'a'), (40, 'dup')], True,
                                     False, False)
        self.assertEqual(raised.exception.number, 2627)
        # The failed load's 41 moved the identity on; a rollback does not move it back.
        self.session.insert_bulk('b', ['name'], [('generated',)], True, False, False)
        self.assertEqual(self.rows('SELECT id FROM b ORDER BY id'), [(1,), (2,), (40,), (42,)])
        self.run_ok('CREATE TABLE checked (n INT CHECK (n > 0), p INT REFERENCES b (id))')
        self.session.insert_bulk('checked', ['n', 'p'], [(-1, 999)], False, False, False)
        with self.assertRaises(Exception) as raised:
            self.session.insert_bulk('checked', ['n'], [(-1,)], False, True, False)
        self.assertEqual(raised.exception.number, 547)
        self.assertError('INSERT INTO checked (n) VALUES (0)', 547)
        self.assertEqual(list(self.engine.dump('testdb', 'b'))[0],
                         {'id': 1, 'name': long_text, 'code': 'abc', 'amount': '1.50'})


class SessionsTest(EngineTest):
    def test_quoted_identifier_off_reads_double_quotes_as_text(self):
        self.run_ok('CREATE TABLE q ("x y" VARCHAR(5))')
        self.run_ok('SET QUOTED_IDENTIFIER OFF')
        self.run_ok('INSERT INTO q VALUES ("it\'s")')
        self.assertEqual(self.value('SELECT [x y] FROM q'), "it's")
        self.run_ok('SET QUOTED_IDENTIFIER ON')
        self.assertEqual(self.value('SELECT "x y" FROM q'), "it's")

    def test_cancel_stops_between_statements(self):
        batches = self.session.execute("PRINT 'one'; PRINT 'two'; PRINT 'three'")
        self.assertEqual(next(batches).message, 'one')
        self.session.cancel()
        self.assertEqual(list(batches), [])
        self.assertEqual(self.prints(self.run_ok("PRINT 'again'")), ['again'])

    def test_concurrent_sessions(self):
        import threading
        self.run_ok('CREATE TABLE shared (id INT IDENTITY PRIMARY KEY, who INT)')
        sessions = [self.engine.open_session('sa', 'testdb') for _ in range(4)]
        failures = []

        def work(number, session):
            for _ in range(25):
                results = list(session.execute(f'INSERT INTO shared (who) VALUES ({number})'))
                failures.extend(r for r in results if not isinstance(r, RowCount))
        threads = [threading.Thread(target=work, args=(n, s)) for n, s in enumerate(sessions)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(failures, [])
        self.assertEqual(self.rows('SELECT COUNT(*), COUNT(DISTINCT id), MAX(id) FROM shared'),
                         [(100, 100, 100)])
        for session in sessions:
            session.close()


class TempTablesTest(EngineTest):
    def test_temp_tables_belong_to_their_session(self):
        self.run_ok("IF OBJECT_ID (N'tempdb..#tabrix_rows') IS NOT NULL\r\n"
                    "DROP TABLE #tabrix_rows;\r\nCREATE TABLE #tabrix_rows (\r\n\t[ID] BIGINT "
                    "NULL,\r\n\t[NAME] NVARCHAR(31)  COLLATE DATABASE_DEFAULT NULL\r\n);")
        self.run_ok("INSERT INTO #tabrix_rows ([ID], [NAME]) VALUES (1, N'x')")
        other = self.engine.open_session('sa', 'testdb')
        self.assertError('SELECT * FROM #tabrix_rows', 208, session=other)
        self.run_ok('CREATE TABLE #tabrix_rows (y INT)', other)
        other.close()
        self.run_ok('CREATE TABLE target (ID BIGINT, NAME NVARCHAR(31))')
        self.run_ok("IF OBJECT_ID ('[dbo].[target]', 'U') IS NOT NULL\r\nBEGIN\r\n"
                    "EXEC (N'INSERT INTO [dbo].[target] ([ID], [NAME]) SELECT [ID], [NAME] "
                    "FROM #tabrix_rows;');\r\nEND;\r\nDROP TABLE #tabrix_rows;")
        self.assertEqual(self.rows('SELECT * FROM target'), [(1, 'x')])
        self.assertIsNone(self.value("SELECT OBJECT_ID('tempdb..#tabrix_rows')"))


if __name__ == '__main__':
    unittest.main()
