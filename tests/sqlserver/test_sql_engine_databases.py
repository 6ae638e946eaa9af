"""Databases, sessions and server identity: CREATE/DROP DATABASE, USE, logins, @@VERSION."""

import os
import unittest

from engine_test_support import Engine, EngineTest, EnvChange, Info, SqlError


class DatabasesTest(EngineTest):
    database = None

    def test_create_use_and_drop(self):
        self.run_ok('CREATE DATABASE [Sales]]Db]')
        results = self.run_ok('USE [Sales]]Db]; SELECT DB_NAME()')
        self.assertEqual(results[0], EnvChange('database', 'Sales]Db', 'master'))
        self.assertEqual(results[1], Info(5701, "Changed database context to 'Sales]Db'."))
        self.assertEqual(results[2].rows, [('Sales]Db',)])
        self.assertError('CREATE DATABASE [SALES]]DB]', 1801,
                         "Database 'SALES]DB' already exists. Choose a different database "
                         "name.")
        self.run_ok('USE master')
        self.run_ok('DROP DATABASE [sales]]db]')
        error = self.assertError('DROP DATABASE [Sales]]Db]', 3701,
                                 "Cannot drop the database 'Sales]Db', because it does not "
                                 "exist or you do not have permission.")
        self.assertEqual(error.severity, 11)
        self.assertError('USE nowhere', 911)

    def test_each_database_is_its_own_store(self):
        self.run_ok('CREATE DATABASE a; CREATE DATABASE b')
        self.run_ok('USE a; CREATE TABLE t (x INT); INSERT INTO t VALUES (1)')
        self.run_ok('USE b; CREATE TABLE t (x INT); INSERT INTO t VALUES (2), (3)')
        self.assertEqual(self.value('SELECT COUNT(*) FROM a.dbo.t'), 1)
        self.assertEqual(self.value('SELECT COUNT(*) FROM a..t'), 1)
        self.assertEqual(self.value('SELECT COUNT(*) FROM t'), 2)
        self.assertTrue(os.path.exists(os.path.join(self.work.name, 'a.sqlite')))
        self.assertEqual(list(self.engine.dump('b', 't')), [{'x': 2}, {'x': 3}])
        self.assertEqual(self.engine.query('b', 'SELECT SUM(x) FROM t'), [(5,)])
        with self.assertRaises(SqlError):
            self.engine.query('b', 'SELECT * FROM nowhere')

    def test_drop_while_another_session_uses_it(self):
        self.run_ok('CREATE DATABASE busy')
        other = self.engine.open_session('sa', 'busy')
        self.assertError('DROP DATABASE busy', 3702,
                         'Cannot drop database "busy" because it is currently in use.')
        other.close()
        self.run_ok('DROP DATABASE busy')
        self.assertFalse(os.path.exists(os.path.join(self.work.name, 'busy.sqlite')))

    def test_database_lists(self):
        self.run_ok('CREATE DATABASE listed')
        names = [r[0] for r in self.rows('SELECT name FROM master.sys.databases ORDER BY '
                                         'database_id')]
        self.assertEqual(names, ['master', 'tempdb', 'model', 'msdb', 'listed'])
        self.assertEqual(self.rows("SELECT name FROM sys.sysdatabases WHERE name = 'LISTED'"),
                         [('listed',)])
        self.assertEqual(self.value("SELECT COUNT(*) FROM master.dbo.sysdatabases"), 5)
        self.run_ok("if exists(select * from master.sys.databases where name='listed') "
                    "DROP DATABASE [listed]; CREATE DATABASE [listed]")

    def test_login_and_default_database(self):
        self.assertTrue(self.engine.check_login('SA', 'Tabrix-Test-1'))
        self.assertFalse(self.engine.check_login('sa', 'wrong'))
        with self.assertRaises(SqlError) as raised:
            self.engine.open_session('sa', 'missing')
        self.assertEqual(raised.exception.number, 4060)
        self.assertEqual(raised.exception.message, 'Cannot open database "missing" requested '
                                                   'by the login. The login failed.')

    def test_schema_name_and_server_functions(self):
        self.assertEqual(self.rows('SELECT SCHEMA_NAME(), DB_NAME(), DB_ID(), @@TRANCOUNT'),
                         [('dbo', 'master', 1, 0)])


class BannersTest(unittest.TestCase):
    def test_every_banner(self):
        import tempfile
        expected = {'2008R2': ('Microsoft SQL Server 2008 R2', 8152),
                    '2017': ('Microsoft SQL Server 2017', 8152),
                    '2019': ('Microsoft SQL Server 2019', 2628),
                    '2022': ('Microsoft SQL Server 2022', 2628),
                    'azure': ('Microsoft SQL Azure', 2628)}
        for banner, (start, truncation) in expected.items():
            with self.subTest(banner=banner), tempfile.TemporaryDirectory() as work:
                engine = Engine(work, banner)
                session = engine.open_session('sa', None)
                results = list(session.execute('SELECT @@VERSION; CREATE TABLE t (c CHAR(1)); '
                                               "INSERT INTO t VALUES ('ab')"))
                self.assertTrue(results[0].rows[0][0].startswith(start))
                self.assertEqual(results[0].columns[0].type, 'nvarchar')
                self.assertEqual([r.number for r in results if isinstance(r, SqlError)],
                                 [truncation])
                engine.close()
        with self.assertRaises(ValueError):
            Engine('/nonexistent', '2005')

    def test_azure_use_switches_no_database(self):
        import tempfile
        with tempfile.TemporaryDirectory() as work:
            engine = Engine(work, 'azure')
            session = engine.open_session('sa', None)
            list(session.execute('CREATE DATABASE other'))
            errors = [r for r in session.execute('USE other') if isinstance(r, SqlError)]
            self.assertEqual([e.number for e in errors], [40508])
            engine.close()


if __name__ == '__main__':
    unittest.main()
