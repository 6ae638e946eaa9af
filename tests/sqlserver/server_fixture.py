"""The SQL Server the client-stack tests talk to, and the clients they drive.

By default each test class starts its own test server (scripts/test-server.sh, in a temporary
state folder). Given TABRIX_MSSQL_HOST (with TABRIX_MSSQL_PORT, default 1433,
TABRIX_MSSQL_LOGIN and TABRIX_MSSQL_PASSWORD) the tests run against that server instead, and
those that need the test server's own features (faults, statement log, store dump, banner)
skip.
"""

import json
import os
import shutil
import subprocess
import tempfile
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DRIVER = '/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so'
CLIENT_TIMEOUT = 60


def client_program(name: str) -> str:
    """odbc_query and odbc_bcp: CTest names them; by hand they are found in build/bin."""
    path = os.environ.get('TABRIX_' + name.upper(), os.path.join(ROOT, 'build', 'bin', name))
    if not os.access(path, os.X_OK):
        raise unittest.SkipTest(f'{name} is not built ({path}); build the tests first')
    return path


class Batch:
    """What odbc_query printed for one batch."""

    def __init__(self):
        # Each result: {'columns': [(name, type, size, digits, nullable)], 'rows': [[text]]}.
        self.results = []
        self.counts = []
        self.errors = []        # (native number, sqlstate, message)
        self.infos = []

    @property
    def rows(self):
        return [row for result in self.results for row in result['rows']]

    def error_numbers(self):
        return [e[0] for e in self.errors]


def parse_query_output(text: str):
    connected = False
    batches, current = [], Batch()
    for line in text.splitlines():
        word, _, rest = line.partition(' ')
        if line == 'CONNECTED':
            connected = True
        elif line == 'END':
            batches.append(current)
            current = Batch()
        elif line.startswith('COLUMNS'):
            columns = []
            for spec in line.split('\t')[1:]:
                name, type_name, size, digits, nullable = spec.rsplit(':', 4)
                columns.append((name, type_name, int(size), int(digits), nullable == '1'))
            current.results.append({'columns': columns, 'rows': []})
        elif line.startswith('ROW\t') or line == 'ROW':
            current.results[-1]['rows'].append(
                [None if v == 'NULL' else v.replace('\\t', '\t').replace('\\n', '\n')
                 .replace('\\r', '\r').replace('\\\\', '\\') for v in line.split('\t')[1:]])
        elif word == 'ROWCOUNT':
            current.counts.append(int(rest))
        elif word in ('ERROR', 'INFO'):
            number, state, message = rest.split(' ', 2)
            (current.errors if word == 'ERROR' else current.infos).append(
                (int(number), state, message))
    if current.errors or current.results:
        batches.append(current)
    return connected, batches


class Server:
    def __init__(self, banner: str = '2019'):
        self.state_dir = None
        host = os.environ.get('TABRIX_MSSQL_HOST')
        self.real = bool(host)
        if self.real:
            self.host = host
            self.port = int(os.environ.get('TABRIX_MSSQL_PORT', '1433'))
            self.login = os.environ.get('TABRIX_MSSQL_LOGIN', 'sa')
            self.password = os.environ['TABRIX_MSSQL_PASSWORD']
            return
        self.state_dir = tempfile.mkdtemp(prefix='tabrix-test-server-')
        out = self.script('start', '--banner', banner).stdout.strip()
        fields = dict(item.split('=', 1) for item in out.split())
        self.host = '127.0.0.1'
        self.port = int(fields['PORT'])
        self.login = fields['LOGIN']
        self.password = fields['PASSWORD']
        self.pid = int(fields['PID'])

    # --- the test server's own road ----------------------------------------------------------

    def script(self, *args, check=True) -> subprocess.CompletedProcess:
        env = dict(os.environ, TABRIX_TEST_SERVER_DIR=self.state_dir)
        return subprocess.run([os.path.join(ROOT, 'scripts', 'test-server.sh'), *args], env=env,
                              check=check, capture_output=True, text=True, timeout=60)

    def stop(self) -> None:
        if self.real:
            return
        self.script('stop')
        shutil.rmtree(self.state_dir, ignore_errors=True)

    def need_test_server(self, test: unittest.TestCase) -> None:
        if self.real:
            test.skipTest('needs the test server (faults, log or store), not a real SQL Server')

    def fault(self, spec: dict) -> None:
        self.script('fault', json.dumps(spec))

    def clear_faults(self) -> None:
        if not self.real:
            self.script('fault', 'clear')

    def log(self) -> list:
        return [json.loads(line) for line in self.script('log').stdout.splitlines()]

    def dump(self, database: str, table: str) -> list:
        return [json.loads(line) for line in self.script('dump', database, table).stdout
                .splitlines()]

    # --- the client stack --------------------------------------------------------------------

    def connection_string(self, database: str = None, password: str = None,
                          extra: str = '') -> str:
        text = (f'DRIVER={{{DRIVER}}};SERVER={self.host};PORT={self.port};UID={self.login};'
                f'PWD={password or self.password};TDS_Version=7.4;ClientCharset=UTF-8')
        return text + (f';DATABASE={database}' if database else '') + extra

    def query(self, *batches, database=None, password=None, extra='', options=()):
        """Runs batches through odbc_query; returns (connected, [Batch])."""
        done = subprocess.run([client_program('odbc_query'), *options,
                               self.connection_string(database, password, extra), *batches],
                              capture_output=True, text=True, timeout=CLIENT_TIMEOUT)
        return parse_query_output(done.stdout)

    def bcp(self, table, kinds, rows, database, options=()):
        """Loads rows (lists of text or None) through odbc_bcp; returns (exit status, output)."""

        def field(value):
            if value is None:
                return '\\N'
            return (str(value).replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n')
                    .replace('\r', '\\r'))

        stdin = ''.join('\t'.join(field(v) for v in row) + '\n' for row in rows)
        done = subprocess.run([client_program('odbc_bcp'), *options,
                               self.connection_string(database), table, *kinds],
                              input=stdin, capture_output=True, text=True,
                              timeout=CLIENT_TIMEOUT)
        return done.returncode, done.stdout + done.stderr

    def new_database(self, test: unittest.TestCase) -> str:
        """A database of the test's own, dropped when the test ends."""
        name = 'tbx_' + uuid.uuid4().hex[:10]
        connected, batches = self.query(f'CREATE DATABASE [{name}]')
        test.assertTrue(connected and not batches[0].errors, batches and batches[0].errors)
        test.addCleanup(self.query, f'DROP DATABASE [{name}]')
        return name


class ServerTestCase(unittest.TestCase):
    """One server for the test class."""
    banner = '2019'

    @classmethod
    def setUpClass(cls):
        cls.server = Server(cls.banner)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.addCleanup(self.server.clear_faults)

    def run_ok(self, *batches, database=None, options=()):
        """Runs batches that must all succeed; returns their Batch objects."""
        connected, out = self.server.query(*batches, database=database, options=options)
        self.assertTrue(connected)
        for text, batch in zip(batches, out):
            self.assertEqual(batch.errors, [], text)
        return out
