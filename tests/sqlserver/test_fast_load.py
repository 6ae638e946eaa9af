"""Fast load (bulk copy) against statement load: `tabrix-cli convert --direct` with and without
--no-fast-load leaves the same tables, for every fixture folder and for generated tables of the
values the driver's bulk copy cannot carry by itself; faults injected into bulk loads report
exactly the bad records and lose none of the others."""

import json
import os
import re
import tempfile

from test_direct_mode import DirectModeBase, EXIT_ERRORS, EXIT_OK, EXIT_STOPPED
from test_sql_engine_scripts import SHARED, fixture_folders
from vfp_table import write_table

NULLABLE = {'null'}
EDGE_FIELDS = [
    ('ID', 'I', 4, 0, {'autoinc'}),
    ('NAME', 'C', 20, 0, NULLABLE),
    ('SMALL', 'N', 6, 2, NULLABLE),     # NUMERIC(5,2): -99.99 to 999.99
    ('WIDE', 'N', 20, 4, NULLABLE),     # NUMERIC(19,4)
    ('BORN', 'D', 8, 0, NULLABLE),
    ('SEEN', 'T', 8, 0, NULLABLE),
    ('OK', 'L', 1, 0, NULLABLE),
    ('NOTE', 'M', 4, 0, NULLABLE),
    ('RATIO', 'B', 8, 3, NULLABLE),
    ('PRICE', 'Y', 8, 4, NULLABLE),
]


def edge_records():
    """NULL in every column, memos around the driver's 4 KiB, dates around 1753, numbers at
    their columns' limits."""
    memos = [b'', b'm' * 4095, b'n' * 4097, b'o' * 1_000_000, 'é'.encode('cp1252') * 2049,
             'short memo']
    dates = ['00010101', '17521231', '17530101', '99991231', '20240229', '19000101']
    stamps = [(1, 1, 1, 0, 0, 0, 0), (1752, 12, 31, 23, 59, 59, 0), (1753, 1, 1, 0, 0, 0, 0),
              (9999, 12, 31, 23, 59, 59, 990), (2024, 2, 29, 12, 30, 15, 123),
              (1900, 1, 1, 0, 0, 0, 10)]
    smalls = ['999.99', '-99.99', '0.00', '1.00', '-0.01', '12.34']
    wides = ['999999999999999.9999', '-99999999999999.9999', '0.0001', '-0.0001', '0', '1.5']
    ratios = [1.7976931348623157e308, -2.2250738585072014e-308, 0.0, 1.005, -1.0, 3.5]
    prices = [922337203685477_5807, -922337203685477_5808, 0, 1, -1, 12345]
    records = [(1, None, None, None, None, None, None, None, None, None)]
    for i in range(40):
        k = i % 6
        records.append((i + 2, f"O'Neil {i}", smalls[k], wides[(i + 1) % 6], dates[k],
                        stamps[(k + 2) % 6], i % 2 == 0, memos[(i + 3) % 6], ratios[k],
                        prices[(k + 4) % 6]))
    records.append((42, 'last', None, None, None, None, None, None, None, None))
    return records


class FastLoadTest(DirectModeBase):
    def load(self, folder, fast, *extra, mode=0):
        database = self.database_name()
        done = self.direct(folder, database, mode, *([] if fast else ['--no-fast-load']), *extra)
        self.assertNotIn('Internal error', done.stderr)
        return database, done

    def bulk_rows(self, database):
        """Rows the server received by bulk load into the database."""
        return sum(entry.get('rows', 0) for entry in self.server.log()
                   if entry.get('kind') == 'bulk' and entry.get('database') == database)

    def assert_same_load(self, folder, *extra, label='', bulk_expected=True):
        fast_db, fast = self.load(folder, True, *extra)
        slow_db, slow = self.load(folder, False, *extra)
        self.assertEqual(fast.returncode, slow.returncode, fast.stderr + slow.stderr)
        self.assertEqual(fast.stderr, slow.stderr.replace(slow_db, fast_db))
        self.assert_same(fast_db, slow_db, label)
        if bulk_expected and not self.server.real:
            self.assertGreater(self.bulk_rows(fast_db), 0, f'{label}: nothing went by bulk load')
        return fast_db, fast

    def edge_folder(self):
        folder = tempfile.mkdtemp(prefix='edge-', dir=self.work)
        write_table(folder, 'edge', EDGE_FIELDS, edge_records())
        return folder

    def test_fixture_folders(self):
        folders = fixture_folders()
        if not folders:
            self.skipTest(f'no DBF fixtures under {SHARED}/fixtures')
        for folder in folders:
            with self.subTest(folder=os.path.relpath(folder, SHARED)):
                self.assert_same_load(folder, label=folder, bulk_expected=False)

    def test_edge_values(self):
        folder = self.edge_folder()
        for batch in ('1000', '7'):
            with self.subTest(batch_size=batch):
                database, done = self.assert_same_load(folder, '--batch-size', batch,
                                                       label=f'batch {batch}')
                rows = self.rows(database, 'edge')
                self.assertEqual(len(rows), 42)
                # Identity values are the table's own; IDENTITY_INSERT was switched off.
                self.assertIn('42', [json.loads(row)[0] for row in rows])
                connected, out = self.server.query(
                    "INSERT INTO [edge] ([NAME]) VALUES ('after'); SELECT MAX([ID]) FROM [edge]",
                    database=database)
                self.assertTrue(connected)
                self.assertEqual(out[-1].errors, [])
                ways = re.search(r'loaded by: +bulk copy (\d+), statements (\d+)', done.stdout)
                self.assertIsNotNone(ways, done.stdout)
                bulk, statements = int(ways[1]), int(ways[2])
                self.assertEqual(bulk + statements, 42)
                # Long memos and dates before 1753 went by statement, the rest by bulk.
                self.assertGreater(bulk, 10)
                self.assertGreater(statements, 10)
                if not self.server.real:
                    self.assertEqual(self.bulk_rows(database), bulk)

    def test_failed_bulk_batch_is_sent_again(self):
        self.server.need_test_server(self)
        folder = self.edge_folder()
        self.server.fault({'fail_bulk_row': {'n': 3, 'number': 1205,
                                             'message': 'Transaction was deadlocked'}})
        database, done = self.load(folder, True, '--batch-size', '5')
        self.server.clear_faults()
        reference, slow = self.load(folder, False)
        self.assertEqual(done.returncode, slow.returncode, done.stderr)
        self.assertNotIn('record #', done.stderr)
        self.assert_same(database, reference, 'after a failed bulk batch')

    def test_refused_bulk_load(self):
        self.server.need_test_server(self)
        folder = self.edge_folder()
        self.server.fault({'fail_statement': {'n': 1, 'match': '(?i)insert bulk', 'number': 4834,
                                              'message': 'You do not have permission to use '
                                                         'the bulk load statement.'}})
        database, done = self.load(folder, True)
        self.server.clear_faults()
        reference, slow = self.load(folder, False)
        self.assertEqual(done.returncode, slow.returncode, done.stderr)
        self.assertNotIn('record #', done.stderr)
        self.assert_same(database, reference, 'after a refused bulk load')

    def test_bad_records_in_a_bulk_batch(self):
        sample = os.path.join(self.work, 'sample')
        self.assertEqual(self.cli('sample', sample).returncode, 0)
        database, done = self.load(sample, True, mode=1)
        before = self.rows(database, 'orders')
        self.server.query('ALTER TABLE [orders] ALTER COLUMN [ORDER_NO] BIGINT NOT NULL',
                          'ALTER TABLE [orders] ADD PRIMARY KEY ([ORDER_NO])',
                          'DELETE FROM [orders] WHERE [ORDER_NO] = 1003', database=database)
        done = self.direct(sample, database, 3)
        self.assertEqual(done.returncode, EXIT_ERRORS, done.stderr)
        failed = re.findall(r'orders, record #(\d+):', done.stderr)
        self.assertEqual(failed, ['1', '2', '4'])
        self.assertEqual(self.rows(database, 'orders'), before)

    def test_dropped_connection_during_bulk_load(self):
        self.server.need_test_server(self)
        folder = tempfile.mkdtemp(prefix='many-', dir=self.work)
        write_table(folder, 'many', [('ID', 'I', 4, 0, set()), ('NAME', 'C', 10, 0, set())],
                    [(i, f'n{i}') for i in range(1, 101)])
        self.server.fault({'drop_after_rows': 25})
        database, done = self.load(folder, True, '--batch-size', '10')
        self.server.clear_faults()
        self.assertEqual(done.returncode, EXIT_STOPPED, done.stderr)
        self.assertIn('The connection to the server was lost', done.stderr)
        stored = len(self.server.dump(database, 'many'))
        said = re.search(r'(\d+) records of the table are on the server; the (\d+) records of '
                         r'the last bulk batch may be there too', done.stderr)
        self.assertIsNotNone(said, done.stderr)
        confirmed, unconfirmed = int(said[1]), int(said[2])
        self.assertEqual(confirmed % 10, 0)
        self.assertLessEqual(confirmed, stored)
        self.assertLessEqual(stored, confirmed + unconfirmed)
