"""Direct mode end to end: `tabrix-cli convert --direct` fills a database on the server, and what
it holds is what the T-SQL script of the same folder holds once tsql has run it on a fresh
database of the same server, table by table, row by row; failures give their texts and exit
statuses. Run against a real SQL Server by setting TABRIX_MSSQL_HOST and friends (see
server_fixture.py); the cases that need the test server's faults skip there.

TABRIX_CLI names the tabrix-cli program."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest
import uuid

from server_fixture import ServerTestCase
from test_sql_engine_scripts import CLI

EXIT_OK, EXIT_ERRORS, EXIT_STOPPED, EXIT_CANNOT_CONNECT = 0, 1, 2, 3


@unittest.skipUnless(CLI and os.path.exists(CLI), 'TABRIX_CLI does not name tabrix-cli')
@unittest.skipUnless(shutil.which('tsql'), 'tsql (freetds-bin) runs the scripts; not installed')
class DirectModeBase(ServerTestCase):
    maxDiff = None

    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix='tabrix-direct-')
        self.addCleanup(shutil.rmtree, self.work, True)
        self.home = os.path.join(self.work, 'home')
        os.makedirs(self.home)

    # --- running things ----------------------------------------------------------------------

    def cli(self, *args, password=None):
        env = dict(os.environ, HOME=self.home, TABRIX_PASSWORD=password or self.server.password)
        env.pop('SQLCMDPASSWORD', None)
        return subprocess.run([CLI, *args], capture_output=True, text=True, env=env,
                              stdin=subprocess.DEVNULL, timeout=600)

    def server_args(self):
        return ['-S', f'{self.server.host},{self.server.port}', '-U', self.server.login]

    def direct(self, folder, database, mode, *extra, password=None):
        return self.cli('convert', '--no-stored-settings', '--no-progress', '-s', folder,
                        *self.server_args(), '-d', database, '-m', str(mode), *extra,
                        password=password)

    def database_name(self):
        name = 'tbx_' + uuid.uuid4().hex[:10]
        self.addCleanup(self.server.query, f'IF DB_ID(N\'{name}\') IS NOT NULL '
                                           f'DROP DATABASE [{name}]')
        return name

    def run_script(self, folder, database, mode):
        """The folder's script for the mode, run by tsql; returns the server's error lines.
        Mode 0 scripts drop and create the database themselves (named after the script)."""
        path = os.path.join(self.work, database + '.sql')
        args = ['convert', '--no-stored-settings', '--no-progress', '-s', folder, '-o', path,
                '-m', str(mode), '--overwrite', '--no-comments']
        if mode == 0:
            args.append('--create-database')
        written = self.cli(*args)
        self.assertTrue(os.path.exists(path), written.stderr)
        with open(path, encoding='utf-8', newline='') as file:
            script = file.read()
        if mode != 0:
            script = f'USE [{database}]\ngo\n' + script
        done = subprocess.run(['tsql', '-H', self.server.host, '-p', str(self.server.port), '-U',
                               self.server.login, '-P', self.server.password, '-o', 'q'],
                              input=script + '\nexit\n', capture_output=True, text=True,
                              env=dict(os.environ, LANG='C.UTF-8'), timeout=600)
        self.assertEqual(done.returncode, 0, done.stderr)
        return [line for line in (done.stdout + done.stderr).splitlines()
                if line.startswith('Msg ')]

    # --- reading the server ------------------------------------------------------------------

    def tables(self, database):
        connected, out = self.server.query('SELECT name FROM sys.tables ORDER BY name',
                                           database=database)
        self.assertTrue(connected)
        return [row[0] for row in out[0].rows]

    def contents(self, database):
        """Every table's rows in a stable order, each row as its values' text, read in one
        session through the ODBC query client (the same road for a real server)."""
        tables = self.tables(database)
        if not tables:
            return {}
        selects = ['SELECT * FROM [' + table.replace(']', ']]') + ']' for table in tables]
        connected, out = self.server.query(*selects, database=database)
        self.assertTrue(connected)
        contents = {}
        for table, batch in zip(tables, out):
            self.assertEqual(batch.errors, [], table)
            contents[table] = sorted(json.dumps(row, ensure_ascii=False) for row in batch.rows)
        return contents

    def rows(self, database, table):
        return self.contents(database)[table]

    def assert_same(self, direct_db, script_db, what):
        direct, script = self.contents(direct_db), self.contents(script_db)
        self.assertEqual(sorted(direct), sorted(script), f'{what}: the tables differ')
        for table in script:
            self.assertEqual(len(direct[table]), len(script[table]),
                             f'{what}: table {table} holds another number of rows')
            self.assertEqual(direct[table], script[table], f'{what}: table {table}')

    # --- one folder in every mode ------------------------------------------------------------

    def check_folder(self, folder):
        label = os.path.basename(folder)
        for mode in (0, 1, 2, 3):
            with self.subTest(folder=label, mode=mode):
                direct_db, script_db = self.database_name(), self.database_name()
                if mode == 0:
                    # The script of mode 0 creates the database of its own name.
                    script_db = direct_db + '_s'
                    self.addCleanup(self.server.query,
                                    f"IF DB_ID(N'{script_db}') IS NOT NULL "
                                    f"DROP DATABASE [{script_db}]")
                else:
                    self.server.query(f'CREATE DATABASE [{script_db}]')
                # Twice in a row: the second run meets what the first one left.
                for run in (1, 2):
                    done = self.direct(folder, direct_db, mode)
                    self.assertIn(done.returncode, (EXIT_OK, EXIT_ERRORS), done.stderr)
                    errors = self.run_script(folder, script_db, mode)
                    if errors:
                        self.assertEqual(done.returncode, EXIT_ERRORS,
                                         f'run {run}: the script met {errors[:3]}; direct mode '
                                         f'reported nothing')
                    self.assertNotIn('Internal error', done.stderr)
                    self.assert_same(direct_db, script_db, f'{label} mode {mode} run {run}')


class DirectModeContentsTest(DirectModeBase):
    """Every mode, twice, on the sample, against the script."""

    def test_sample_every_mode(self):
        sample = os.path.join(self.work, 'sample')
        made = self.cli('sample', sample)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.check_folder(sample)
        # The sample holds values of every kind; a few of them as the server has them.
        database = self.database_name()
        self.assertEqual(self.direct(sample, database, 1).returncode, EXIT_OK)
        customers = '\n'.join(self.rows(database, 'customers'))
        self.assertIn("O'Brien's Pub", customers)
        self.assertIn('München', customers)


class DirectModeFailureTest(DirectModeBase):
    """What the user reads, and the exit status, when something goes wrong."""

    def sample(self):
        sample = os.path.join(self.work, 'sample')
        self.assertEqual(self.cli('sample', sample).returncode, 0)
        return sample

    def test_login_refused(self):
        done = self.direct(self.sample(), self.database_name(), 1, password='wrong')
        self.assertEqual(done.returncode, EXIT_CANNOT_CONNECT, done.stderr)
        self.assertIn('Invalid user name or password.', done.stderr)
        pinged = self.cli('ping', *self.server_args(), '--no-stored-settings', password='wrong')
        self.assertEqual(pinged.returncode, 1)
        self.assertIn('Invalid user name or password.', pinged.stderr)

    def test_integrated_login_refused_says_what_it_needs(self):
        self.server.need_test_server(self)
        done = self.cli('convert', '--no-stored-settings', '-s', self.sample(), '-S',
                        f'{self.server.host},{self.server.port}', '-E', '-d', 'x')
        self.assertEqual(done.returncode, EXIT_CANNOT_CONNECT, done.stderr)
        self.assertIn('Integrated (Kerberos) authentication needs a Kerberos ticket', done.stderr)

    def test_password_with_semicolon_stays_a_password(self):
        # Were the value not braced, "PORT=1" would send the driver to port 1 and the failure
        # would be another one.
        done = self.cli('ping', *self.server_args(), '--no-stored-settings',
                        password='x;PORT=1;UID=nobody')
        self.assertEqual(done.returncode, 1)
        self.assertIn('Invalid user name or password.', done.stderr)

    def test_server_not_there(self):
        done = self.cli('convert', '--no-stored-settings', '-s', self.sample(), '-S',
                        '127.0.0.1,1', '-U', 'sa', '-d', 'x')
        self.assertEqual(done.returncode, EXIT_CANNOT_CONNECT)
        self.assertIn('cannot connect to 127.0.0.1,1', done.stderr)
        listed = self.cli('databases', '-S', '127.0.0.1,1', '-U', 'sa', '--no-stored-settings')
        self.assertEqual(listed.returncode, EXIT_CANNOT_CONNECT)

    def test_ping_and_databases(self):
        database = self.database_name()
        self.assertEqual(self.direct(self.sample(), database, 1).returncode, EXIT_OK)
        pinged = self.cli('ping', *self.server_args(), '--no-stored-settings')
        self.assertEqual(pinged.returncode, 0, pinged.stderr)
        self.assertIn('Server: Microsoft SQL Server', pinged.stdout)
        self.assertIn('Driver: ', pinged.stdout)
        listed = self.cli('databases', *self.server_args(), '--no-stored-settings')
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertIn(database, listed.stdout.splitlines())
        self.assertIn('master', listed.stdout.splitlines())

    def test_duplicate_keys_fail_only_their_records(self):
        sample = self.sample()
        database = self.database_name()
        self.assertEqual(self.direct(sample, database, 1).returncode, EXIT_OK)
        before = self.rows(database, 'orders')
        # A key on the table: merging the same records again meets it on every record but
        # the one whose key was removed.
        self.server.query('ALTER TABLE [orders] ALTER COLUMN [ORDER_NO] BIGINT NOT NULL',
                          'ALTER TABLE [orders] ADD PRIMARY KEY ([ORDER_NO])',
                          'DELETE FROM [orders] WHERE [ORDER_NO] = 1003', database=database)
        done = self.direct(sample, database, 3)
        self.assertEqual(done.returncode, EXIT_ERRORS, done.stderr)
        self.assertIn('The specified record violates the integrity constraints.', done.stderr)
        self.assertIn('orders, record #1:', done.stderr)
        self.assertNotIn('record #3:', done.stderr)
        self.assertIn(f'records failed:  {len(before) - 1}', done.stdout)
        self.assertEqual(self.rows(database, 'orders'), before)

    def test_stop_on_error_stops_at_the_first_refused_record(self):
        sample = self.sample()
        database = self.database_name()
        self.assertEqual(self.direct(sample, database, 1).returncode, EXIT_OK)
        self.server.query('ALTER TABLE [customers] ALTER COLUMN [ID] BIGINT NOT NULL',
                          'ALTER TABLE [customers] ADD PRIMARY KEY ([ID])', database=database)
        done = self.direct(sample, database, 3, '--stop-on-error')
        self.assertEqual(done.returncode, EXIT_STOPPED, done.stderr)
        self.assertEqual(done.stderr.count('error: '), 1, done.stderr)
        self.assertIn('customers, record #1:', done.stderr)
        self.assertEqual(len(self.rows(database, 'customers')), 6)

    def test_refused_batch_is_sent_again_row_by_row(self):
        self.server.need_test_server(self)
        database = self.database_name()
        self.server.fault({'fail_statement': {'n': 1, 'match': 'INSERT INTO'}})
        done = self.direct(self.sample(), database, 1)
        self.assertEqual(done.returncode, EXIT_OK, done.stderr)
        self.assertIn('records written: 13', done.stdout)
        self.assertEqual(sum(len(self.rows(database, t)) for t in self.tables(database)), 13)

    def test_failed_table_statement(self):
        self.server.need_test_server(self)
        database = self.database_name()
        self.server.fault({'fail_statement': {'n': 1, 'match': r'CREATE TABLE \[dbo\]\.\[orders',
                                              'number': 1105,
                                              'message': "Could not allocate space for object"}})
        done = self.direct(self.sample(), database, 1)
        self.assertEqual(done.returncode, EXIT_ERRORS, done.stderr)
        self.assertIn('orders: Could not allocate space for object', done.stderr)
        self.assertEqual(sorted(self.tables(database)), ['customers', 'stock'])

    def test_dropped_connection_stops_the_run(self):
        self.server.need_test_server(self)
        database = self.database_name()
        self.server.fault({'drop_after_rows': 6})
        done = self.direct(self.sample(), database, 1)
        self.server.clear_faults()
        self.assertEqual(done.returncode, EXIT_STOPPED, done.stderr)
        self.assertIn('The connection to the server was lost', done.stderr)
        self.assertNotIn('records written: 13', done.stdout)



class NewerServerTest(DirectModeBase):
    """A server newer than any the version table names is a new server, not an old one."""
    banner = '2022'

    def test_converts_on_2022(self):
        self.server.need_test_server(self)
        sample = os.path.join(self.work, 'sample')
        self.assertEqual(self.cli('sample', sample).returncode, 0)
        pinged = self.cli('ping', *self.server_args(), '--no-stored-settings')
        self.assertIn('2022', pinged.stdout)
        database = self.database_name()
        done = self.direct(sample, database, 1)
        self.assertEqual(done.returncode, EXIT_OK, done.stderr)
        self.assertEqual(sorted(self.tables(database)), ['customers', 'orders', 'stock'])


class AzureTest(DirectModeBase):
    banner = 'azure'

    def test_no_database_list_but_a_conversion(self):
        self.server.need_test_server(self)
        listed = self.cli('databases', *self.server_args(), '--no-stored-settings')
        self.assertEqual(listed.returncode, EXIT_ERRORS)
        self.assertIn('Azure SQL does not allow to list databases.', listed.stderr)
        sample = os.path.join(self.work, 'sample')
        self.assertEqual(self.cli('sample', sample).returncode, 0)
        database = self.database_name()
        done = self.direct(sample, database, 1)
        self.assertEqual(done.returncode, EXIT_OK, done.stderr)
        self.assertEqual(self.direct(sample, database, 3).returncode, EXIT_OK)


if __name__ == '__main__':
    unittest.main()
