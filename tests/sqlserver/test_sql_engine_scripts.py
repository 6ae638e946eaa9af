"""End to end: the T-SQL script Tabrix writes for each fixture folder (and for its sample) runs on
a fresh engine, split at GO lines as sqlcmd does, and every table holds the values
`tabrix-cli inspect --json` shows.

TABRIX_CLI names the tabrix-cli program; the fixtures are in ../shared/fixtures from the
repository root (TABRIX_SHARED_DIR overrides it)."""

import datetime as dt
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
from decimal import Decimal, InvalidOperation

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sql_engine import Engine, SqlError  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
SHARED = os.environ.get('TABRIX_SHARED_DIR', os.path.join(ROOT, '..', 'shared'))
CLI = os.environ.get('TABRIX_CLI', '')

_GO = re.compile(r'^[ \t]*go[ \t]*(\d+)?[ \t]*(--.*)?\r?$', re.IGNORECASE)


def split_batches(script):
    """The batches of a script, cut at lines that hold only GO (GO n repeats the batch n
    times), with every other line kept as written."""
    batches, current = [], []
    for line in script.splitlines(keepends=True):
        match = _GO.match(line.rstrip('\n'))
        if match:
            batch = ''.join(current)
            if batch.strip():
                batches.extend([batch] * int(match.group(1) or 1))
            current = []
        else:
            current.append(line)
    if ''.join(current).strip():
        batches.append(''.join(current))
    return batches


def run_script(engine, script):
    """Runs every batch on one session; returns the errors the server reported."""
    session = engine.open_session('sa', None)
    errors = []
    try:
        for batch in split_batches(script):
            for result in session.execute(batch):
                if isinstance(result, SqlError):
                    errors.append((result.number, result.message, batch[:200]))
        return errors, session.database
    finally:
        session.close()


def fixture_folders():
    folders = set()
    for root, _, files in os.walk(os.path.join(SHARED, 'fixtures')):
        if any(f.lower().endswith('.dbf') for f in files):
            folders.add(root)
    return sorted(folders)


def cli(*args, home):
    env = dict(os.environ, HOME=home)
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env, timeout=300)


def same_value(expected, actual, sqltype):
    """Does the engine's value hold what inspect shows (inspect writes every value as text)?"""
    if expected is None or actual is None:
        return expected is None and actual is None
    kind = sqltype.split('(')[0].upper()
    if isinstance(actual, bool):
        return expected in (('1', 'T', 'Y', 'true') if actual else ('0', 'F', 'N', 'false'))
    if isinstance(actual, (int, Decimal)):
        try:
            return Decimal(expected) == Decimal(actual)
        except InvalidOperation:
            return False
    if isinstance(actual, float):
        try:
            return float(expected) == actual or abs(float(expected) - actual) <= \
                abs(actual) * (1e-6 if kind == 'REAL' else 1e-15)
        except ValueError:
            return False
    if isinstance(actual, dt.datetime):
        if actual.time() == dt.time() and expected == actual.date().isoformat():
            return True
        shown = actual.isoformat(sep=' ')
        return expected in (shown, shown.rstrip('0').rstrip('.'), actual.strftime(
            '%Y-%m-%d %H:%M:%S'), actual.strftime('%Y-%m-%dT%H:%M:%S')) or \
            expected.replace('T', ' ').startswith(actual.strftime('%Y-%m-%d %H:%M:%S'))
    if isinstance(actual, (dt.date, dt.time)):
        return expected == actual.isoformat()
    if isinstance(actual, bytes):
        return expected.lower() in (actual.hex(), '0x' + actual.hex()) or \
            expected.encode('latin-1', 'replace') == actual
    return expected == actual


@unittest.skipUnless(CLI and os.path.exists(CLI), 'TABRIX_CLI does not name the tabrix-cli '
                     'program: the scripts cannot be written')
class FixtureScriptsTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.home = os.path.join(self.work.name, 'home')
        os.makedirs(self.home)

    def tearDown(self):
        self.work.cleanup()

    def write_script(self, folder, mode, create_database, options=()):
        script_path = os.path.join(self.work.name, f'script-{mode}.sql')
        args = ['convert', '--no-stored-settings', '-s', folder, '-o', script_path,
                '-m', str(mode), '--overwrite', '--no-progress', *options]
        if create_database:
            args.append('--create-database')
        converted = cli(*args, home=self.home)
        if not os.path.exists(script_path):
            self.skipTest(f'{folder}: no script written ({converted.stderr.strip()[:200]})')
        with open(script_path, encoding='utf-8', newline='') as file:
            return file.read()

    def convert_and_check(self, folder, mode, create_database, options=()):
        script = self.write_script(folder, mode, create_database, options)
        inspected = cli('inspect', '--json', folder, home=self.home)
        # Status 1: some file could not be read whole; inspect says so and shows the rest.
        self.assertIn(inspected.returncode, (0, 1), inspected.stderr)
        tables = json.loads(inspected.stdout)['tables']
        engine = Engine(tempfile.mkdtemp(dir=self.work.name))
        try:
            errors, database = run_script(engine, script)
            self.assertEqual(errors, [], f'{folder} mode {mode}: the server reported errors')
            self.compare_tables(engine, database, tables, folder, script)
        finally:
            engine.close()

    def compare_tables(self, engine, database, tables, folder, script):
        db = engine.database(database)
        by_name = {t.name.lower(): t for t in db.tables()}
        for table in tables:
            if table.get('error') or not table.get('fields'):
                continue
            created = by_name.get(table['name'].lower())
            if created is None:
                created = self.renamed_table(db, table, script)
            with self.subTest(folder=folder, table=table['name']):
                self.assertIsNotNone(created, f"{table['name']} was not created")
                rows = [values for _, values in db.scan(created)]
                expected_rows = table.get('rows', [])
                self.assertEqual(len(rows), len(expected_rows))
                fields = table['fields']
                self.assertEqual(len(created.columns), len(fields))
                for number, (row, expected) in enumerate(zip(rows, expected_rows)):
                    for field, value, expected_value in zip(fields, row, expected['values']):
                        self.assertTrue(same_value(expected_value, value, field['sqltype']),
                                        f"{table['name']} record {number + 1} field "
                                        f"{field['name']}: {expected_value!r} shown, "
                                        f"{value!r} stored")

    def renamed_table(self, db, table, script):
        """A table whose name the script changed: found by its CREATE TABLE column list."""
        names = [f['name'].lower() for f in table['fields']]
        for candidate in db.tables():
            if [c.name.lower() for c in candidate.columns] == names:
                return candidate
        return None

    def test_sample_every_mode(self):
        sample = os.path.join(self.work.name, 'sample')
        made = cli('sample', sample, home=self.home)
        self.assertEqual(made.returncode, 0, made.stderr)
        for mode in (1, 2, 3):
            with self.subTest(mode=mode):
                self.convert_and_check(sample, mode, False)
        self.convert_and_check(sample, 0, True)

    def test_modes_run_twice(self):
        """A script run again meets the tables of its first run and does what its mode says:
        modes 0 and 1 make them anew, mode 2 leaves them and their rows as they are (a table
        emptied in between stays empty), mode 3 adds its records to them."""
        sample = os.path.join(self.work.name, 'sample')
        made = cli('sample', sample, home=self.home)
        self.assertEqual(made.returncode, 0, made.stderr)

        def row_counts(engine, database):
            db = engine.database(database)
            return {t.name: sum(1 for _ in db.scan(t)) for t in db.tables()}

        for mode in (0, 1, 2, 3):
            with self.subTest(mode=mode):
                script = self.write_script(sample, mode, mode == 0)
                engine = Engine(tempfile.mkdtemp(dir=self.work.name))
                try:
                    errors, database = run_script(engine, script)
                    self.assertEqual(errors, [])
                    first = row_counts(engine, database)
                    self.assertGreater(len(first), 1)
                    emptied = sorted(first)[0]
                    session = engine.open_session('sa', database)
                    try:
                        for result in session.execute(f'DELETE FROM [{emptied}]'):
                            self.assertNotIsInstance(result, SqlError)
                    finally:
                        session.close()
                    errors, database = run_script(engine, script)
                    self.assertEqual(errors, [], f'mode {mode}, second run')
                    expected = {name: {0: n, 1: n, 2: n, 3: 2 * n}[mode]
                                for name, n in first.items()}
                    expected[emptied] = {0: first[emptied], 1: first[emptied], 2: 0,
                                         3: first[emptied]}[mode]
                    self.assertEqual(row_counts(engine, database), expected)
                finally:
                    engine.close()

    def test_fast_loading_format(self):
        """Statements of several rows and batches of several statements fill the same tables,
        on the sample and every fixture folder: 7 rows a statement and a batch every 10 rows
        end statements inside batches and at their ends."""
        sample = os.path.join(self.work.name, 'sample')
        made = cli('sample', sample, home=self.home)
        self.assertEqual(made.returncode, 0, made.stderr)
        fast = ('--rows-per-insert', '7', '--rows-per-batch', '10')
        for folder in [sample, *fixture_folders()]:
            for mode in (1, 2):
                with self.subTest(folder=os.path.relpath(folder, SHARED), mode=mode):
                    self.convert_and_check(folder, mode, False, fast)


class SplitBatchesTest(unittest.TestCase):
    def test_go_lines(self):
        script = "SELECT 1\r\nGO\r\nselect 'a\r\ngo x'\n  go  \nPRINT 1\nGO 2\n"
        self.assertEqual(split_batches(script),
                         ['SELECT 1\r\n', "select 'a\r\ngo x'\n", 'PRINT 1\n', 'PRINT 1\n'])


if __name__ == '__main__':
    unittest.main()
