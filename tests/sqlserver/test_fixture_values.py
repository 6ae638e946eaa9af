"""The shared fixtures against what their authors published or stated: listings (*_summary.txt),
CSV exports made through a spreadsheet, a JSON export and the values their tests name, compared
with what `tabrix-cli inspect --json` reads from each table.

TABRIX_CLI names the tabrix-cli program; the fixtures are in ../shared/fixtures."""

import csv
import glob
import io
import json
import os
import re
import tempfile
import unittest

from test_sql_engine_scripts import CLI, SHARED, cli, fixture_folders

FIXTURES = os.path.join(SHARED, 'fixtures')
# The infused-dbf project keeps its tables in the 'fixtures' folder of its test folder.
INFUSED = next(iter(glob.glob(os.path.join(FIXTURES, 'infused-dbf', '*', 'fixtures'))), '')
YELLOW = os.path.join(FIXTURES, 'yellowfeather-DbfDataReader', 'test', 'fixtures')
HENCK = os.path.join(FIXTURES, 'henck-dBASE.NET', 'dBASE.NET.Tests', 'fixtures')


def read_listing(path):
    """Database, type byte, encoding, memo, record count and (name, type, length, decimals) of
    every column of a listing."""
    listing = {'columns': []}
    in_columns = False
    with open(path, encoding='utf-8') as file:
        for line in file:
            line = line.rstrip('\r\n')
            if in_columns:
                cols = line.split()
                if len(cols) >= 4:
                    listing['columns'].append((cols[0], cols[1][0], int(cols[2]), int(cols[3])))
            elif line.startswith('------'):
                in_columns = True
            else:
                for key in ('Database', 'Type', 'Encoding', 'Memo File', 'Records'):
                    if line.startswith(key + ': '):
                        listing[key] = line[len(key) + 2:]
    return listing


def parse_number(text):
    try:
        return float(text.strip().lstrip('+'))
    except ValueError:
        return None


def spreadsheet_date(value, exported, with_time):
    """inspect's date ("1999-03-05" or "1999-03-05 10:00:00") as the spreadsheet wrote it:
    dd-mm-yy (hh:mm), or yyyy/mm/dd before 1900."""
    match = re.match(r'(\d{4})-(\d\d)-(\d\d)(?: (\d\d):(\d\d):(\d\d))?', value)
    year, month, day = match.group(1, 2, 3)
    if exported == f'{year}/{month}/{day}':
        return exported
    shown = f'{day}-{month}-{year[2:]}'
    if with_time and match.group(4) and len(exported) > len(shown):
        shown += f' {match.group(4)}:{match.group(5)}'
    return shown


@unittest.skipUnless(CLI and os.path.exists(CLI), 'TABRIX_CLI does not name tabrix-cli')
@unittest.skipUnless(os.path.isdir(FIXTURES), f'no DBF fixtures under {FIXTURES}')
class PublishedValuesTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        home = tempfile.TemporaryDirectory()
        self.addCleanup(home.cleanup)
        self.home = home.name

    def inspect(self, path, *options, status=0):
        done = cli('inspect', '--json', '--limit', '100000', path, *options, home=self.home)
        self.assertEqual(done.returncode, status, done.stderr)
        tables = json.loads(done.stdout)['tables']
        self.assertEqual(len(tables), 1)
        return tables[0]

    def values(self, path, status=0):
        return [row['values'] for row in self.inspect(path, status=status)['rows']]

    def test_every_folder_gives_the_status_of_its_failures(self):
        folders = fixture_folders()
        self.assertEqual(len(folders), 10)
        for folder in folders:
            done = cli('inspect', '--json', folder, home=self.home)
            # A table that cannot be read (the one-byte EMPTY.DBF) or a memo file missing gives
            # status 1, as convert does.
            self.assertEqual(done.returncode, 1 if done.stderr else 0, folder)
            if os.path.basename(folder) == 'fileExceptions':
                self.assertEqual(done.returncode, 1)
        done = cli('inspect', '--json', os.path.join(FIXTURES, 'olemb-dbfread', 'tests', 'cases',
                                                     'no_memofile.dbf'), home=self.home)
        self.assertIn('no_memofile.dbf: Memo file not found; these fields are NULL: MEMO',
                      done.stderr)

    def test_listings_of_every_table(self):
        tables = [(INFUSED, name) for name in (
            'cp1251', 'dbase_02', 'dbase_03', 'dbase_03_cyrillic', 'dbase_30', 'dbase_31',
            'dbase_32', 'dbase_83', 'dbase_8b', 'dbase_f5')]
        tables += [(YELLOW, name) for name in ('client', 'dbase_03_nullchar',
                                               'foxpro_currency_01')]
        for folder, name in tables:
            with self.subTest(table=name):
                listing = read_listing(os.path.join(folder, name + '_summary.txt'))
                table = self.inspect(os.path.join(folder, name + '.dbf'))
                if listing['Database'] == name + '.dbf':
                    self.assertEqual(table['version'].lower(), '0x' + listing['Type'][1:3])
                records = int(listing['Records'])
                self.assertEqual(table['records'], records)
                self.assertEqual(len(table['rows']), records)
                self.assertEqual(table['memo'] is not None, listing['Memo File'] == 'true')
                if listing.get('Encoding') == 'cp1251':
                    self.assertEqual(table['codepage'], 1251)
                # The dBASE II listing comes from a reader that ignores the decimal byte of
                # its descriptors.
                columns = []
                for f, c in zip(table['fields'], listing['columns']):
                    # A name met twice is numbered ("Point_ID_2"); the listing has the file's.
                    name = f['name']
                    if re.sub(r'_\d+$', '', name) in [column[0] for column in columns]:
                        name = re.sub(r'_\d+$', '', name)
                    columns.append((name, f['type'], f['length'],
                                    f['decimals'] if table['version'] != '0x02' else c[3]))
                # inspect shows columns: Visual FoxPro's _NullFlags descriptor is none.
                self.assertEqual(columns, [c for c in listing['columns'] if c[1] != '0'])

    def expect_csv(self, table_path, csv_path, *options):
        table = self.inspect(table_path, *options)
        # The export holds the table's bytes: it is read in the table's code page.
        with open(csv_path, 'rb') as file:
            text = file.read().decode(f"cp{table['codepage']}")
        exported = list(csv.reader(io.StringIO(text, newline='')))
        fields = table['fields']
        self.assertEqual(exported[0], [f['name'] for f in fields])
        self.assertEqual(len(exported) - 1, len(table['rows']))
        for number, (row, values) in enumerate(zip(exported[1:], table['rows'])):
            self.assertEqual(len(row), len(fields), f'row {number}')
            for field, value, shown in zip(fields, values['values'], row):
                with self.subTest(row=number, column=field['name']):
                    self.expect_exported(value, field['vt'], shown)

    def expect_exported(self, value, vt, exported):
        """One value against an export made through a spreadsheet: dates as dd-mm-yy
        (hh:mm), the empty date as 1899/12/30, logical values as TRUE/FALSE, blank numbers
        as 0, and numeric looking text rewritten as a number."""
        if value is None:
            numeric = vt not in ('VT_BSTR', 'VT_DATE', 'VT_BOOL')
            self.assertIn(exported, ('', '1899/12/30', *(('0',) if numeric else ())))
        elif vt == 'VT_BOOL':
            self.assertEqual(exported, 'TRUE' if value == '1' else 'FALSE')
        elif vt == 'VT_DATE':
            self.assertEqual(spreadsheet_date(value, exported, True), exported)
        elif vt == 'VT_BSTR':
            mine = value.replace('\r\n', '\n')
            # Date-looking text the spreadsheet rewrote ("03/01/1999" as "03-01-99").
            if len(mine) == 10 and mine[2] == '/' and mine[5] == '/' and mine != exported:
                mine = f'{mine[:2]}-{mine[3:5]}-{mine[8:]}'
            have, want = parse_number(mine), parse_number(exported)
            # Numeric text the spreadsheet rewrote ("19990000100001" as "1.999E+13").
            if mine != exported and have is not None and want is not None:
                self.assertAlmostEqual(have, want, delta=1e-3 * max(1.0, abs(want)))
            else:
                self.assertEqual(mine, exported)
        else:
            want = parse_number(exported)
            self.assertIsNotNone(want, exported)
            self.assertAlmostEqual(float(value), want, delta=1e-9 * max(1.0, abs(want)))

    def test_csv_exports(self):
        self.expect_csv(os.path.join(INFUSED, 'dbase_30.dbf'),
                        os.path.join(HENCK, '30', 'dbase_30.csv'))
        self.expect_csv(os.path.join(INFUSED, 'dbase_31.dbf'),
                        os.path.join(HENCK, '31', 'dbase_31.csv'))
        # Written by FoxPro for DOS without a language driver: its text is code page 437.
        self.expect_csv(os.path.join(INFUSED, 'dbase_f5.dbf'),
                        os.path.join(HENCK, 'f5', 'dbase_f5.csv'), '--encoding', '0x01')
        for name in ('client', 'dbase_03_nullchar', 'foxpro_currency_01'):
            self.expect_csv(os.path.join(YELLOW, name + '.dbf'),
                            os.path.join(YELLOW, name + '.csv'))

    def test_json_export(self):
        base = os.path.join(FIXTURES, 'valentin-kaiser-go-dbase', 'examples')
        with open(os.path.join(base, 'database', 'export', 'EXPENSE_REPORTS.json'),
                  encoding='utf-8') as file:
            expected = json.load(file)
        table = self.inspect(os.path.join(base, 'test_data', 'database', 'expense reports.dbf'))
        fields = table['fields']
        self.assertEqual(expected['Columns'], len(fields))
        self.assertEqual(len(expected['Data']), len(table['rows']))
        for row, values in zip(expected['Data'], table['rows']):
            for field, value in zip(fields, values['values']):
                with self.subTest(column=field['name']):
                    want = row[field['name']]
                    if want is None:
                        self.assertIn(value, (None, ''))
                    elif isinstance(want, bool):
                        self.assertEqual(value, '1' if want else '0')
                    elif isinstance(want, (int, float)):
                        self.assertEqual(float(value), want)
                    elif field['vt'] == 'VT_DATE':  # "1995-03-01T00:00:00Z"
                        self.assertEqual(value, want[:10])
                    else:
                        self.assertEqual(value, want)

    def test_visual_foxpro_tables(self):
        cases = os.path.join(FIXTURES, 'olemb-dbfread', 'tests', 'cases')
        memotest = self.inspect(os.path.join(cases, 'memotest.dbf'))
        self.assertEqual([row['values'] for row in memotest['rows']],
                         [['Alice', '1987-03-01', 'Alice memo'], ['Bob', '1980-11-12', 'Bob memo'],
                          ['Deleted Guy', '1979-12-22', 'Deleted Guy memo']])
        self.assertEqual([row['deleted'] for row in memotest['rows']], [False, False, True])
        # The same bytes without the memo file: the table opens, the memo fields have no value.
        self.assertEqual(self.values(os.path.join(cases, 'no_memofile.dbf'), status=1)[1],
                         ['Bob', '1980-11-12', None])

        # Varchar with its length in the last byte; _NullFlags is no column.
        self.assertEqual(self.values(os.path.join(INFUSED, 'dbase_32.dbf'))[0], ['Bad Meets Evil'])
        dbase_31 = self.inspect(os.path.join(INFUSED, 'dbase_31.dbf'))
        self.assertEqual(len(dbase_31['fields']), 10)
        self.assertEqual(dbase_31['fields'][0]['sqltype'], 'INT IDENTITY')
        mazovia = self.inspect(os.path.join(INFUSED, 'mazovia.dbf'))
        self.assertEqual(mazovia['codepage'], 620)
        self.assertEqual([row['values'][1] for row in mazovia['rows']],
                         ['English', 'Ś╫êëτ⌡ś'])
        self.assertFalse(mazovia['rows'][0]['deleted'])  # deletion byte 0x00
        self.assertEqual(self.values(os.path.join(INFUSED, 'cp1251.dbf'))[0][1],
                         'амбулаторно-поликлиническое')

        # The database container and a table of it, with its memo file in upper case.
        container = self.inspect(os.path.join(INFUSED, 'foxprodb', 'FOXPRO-DB-TEST.DBC'),
                                 status=1)
        self.assertTrue(container['memo'].endswith('FOXPRO-DB-TEST.DCT'))
        self.assertEqual(len(container['rows']), 58)
        self.assertEqual(sorted(row['values'][3] for row in container['rows']
                                if row['values'][2] == 'Table'),
                         ['calls', 'contacts', 'setup', 'types'])
        # The container is no table of its folder.
        folder = cli('inspect', '--json', os.path.join(INFUSED, 'foxprodb'), home=self.home)
        self.assertEqual([t['name'] for t in json.loads(folder.stdout)['tables']], ['contacts'])
        contacts = self.inspect(os.path.join(INFUSED, 'foxprodb', 'contacts.dbf'))
        self.assertTrue(contacts['memo'].endswith('contacts.FPT'))
        self.assertEqual(len(contacts['rows']), 5)
        spouses = [f['name'] for f in contacts['fields']].index('SPOUSES_IN')
        self.assertEqual(contacts['rows'][1]['values'][spouses], 'Tennis, golf')

    def test_dbase3_tables(self):
        resources = os.path.join(FIXTURES, 'dans-dbf-lib', 'src', 'test', 'resources',
                                 'dbase3plus')
        cars = self.inspect(os.path.join(resources, 'cars_del2', 'cars.dbf'))
        self.assertEqual([row['deleted'] for row in cars['rows']], [True] * 4)
        continents = self.inspect(os.path.join(
            FIXTURES, 'albfernandez-javadbf', 'src', 'test', 'resources',
            'bug-77-no-header-record-terminator', 'continents_no_header_record_terminator.dbf'))
        self.assertEqual([(f['name'], f['size']) for f in continents['fields']], [('name', 80)])
        self.assertEqual([row['values'][0] for row in continents['rows']],
                         ['North America', 'South America', 'Africa', 'Australia', 'Asia',
                          'Europe', 'Antarctica'])
        dbase_02 = self.values(os.path.join(INFUSED, 'dbase_02.dbf'))
        self.assertEqual(len(dbase_02), 9)
        self.assertEqual(dbase_02[0][:2], ['2', 'Stegman'])
        self.assertEqual(dbase_02[0][8], '07/31/82')
        self.assertEqual(dbase_02[4][12], '3838.383')

        # A memo pointer past the end of the memo file: that memo has no value, said, and the
        # rest reads.
        damaged = self.values(os.path.join(resources, 'fileExceptions', 'PNTRERR.DBF'), status=1)
        self.assertEqual(len(damaged), 4)
        self.assertEqual(damaged[0], ['One character memo', None])
        self.assertIsNone(damaged[1][1])
        self.assertEqual(damaged[3][1][:10], '1234567890')


if __name__ == '__main__':
    unittest.main()
