"""A fresh engine per test and short ways to run batches on it."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sql_engine import Engine, EnvChange, Info, ResultSet, RowCount, SqlError  # noqa: E402


class EngineTest(unittest.TestCase):
    banner = '2019'
    database = 'testdb'

    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.engine = Engine(self.work.name, self.banner)
        self.session = self.engine.open_session('sa', None)
        if self.database:
            self.run_ok(f'CREATE DATABASE {self.database}; USE {self.database}')

    def tearDown(self):
        self.engine.close()
        self.work.cleanup()

    def run_sql(self, sql, session=None):
        return list((session or self.session).execute(sql))

    def run_ok(self, sql, session=None):
        results = self.run_sql(sql, session)
        errors = [r for r in results if isinstance(r, SqlError)]
        self.assertEqual(errors, [], sql)
        return results

    def rows(self, sql, session=None):
        sets = [r for r in self.run_ok(sql, session) if isinstance(r, ResultSet)]
        self.assertTrue(sets, sql)
        return sets[-1].rows

    def value(self, sql, session=None):
        rows = self.rows(sql, session)
        self.assertEqual(len(rows), 1, sql)
        return rows[0][0]

    def columns(self, sql):
        return [r for r in self.run_ok(sql) if isinstance(r, ResultSet)][-1].columns

    def errors(self, sql, session=None):
        return [r for r in self.run_sql(sql, session) if isinstance(r, SqlError)]

    def assertError(self, sql, number, message=None, session=None):
        errors = self.errors(sql, session)
        self.assertEqual([e.number for e in errors], [number], (sql, errors))
        if message is not None:
            self.assertEqual(errors[0].message, message)
        return errors[0]

    def prints(self, results):
        return [r.message for r in results if isinstance(r, Info) and r.number == 0]


__all__ = ['EngineTest', 'Engine', 'EnvChange', 'Info', 'ResultSet', 'RowCount', 'SqlError']
