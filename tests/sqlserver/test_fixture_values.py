"""The shared fixtures against what their authors published: listings (*_summary.txt), CSV exports
made through a spreadsheet and a JSON export, compared with what `tabrix-cli inspect --json`
reads from each table.

TABRIX_CLI names the tabrix-cli program; the fixtures are in ../shared/fixtures."""

import csv
import io
import json
import os
import re
import tempfile
import unittest

from test_sql_engine_scripts import CLI, SHARED, cli

FIXTURES = os.path.join(SHARED, 'fixtures')
INFUSED = os.path.join(FIXTURES, 'infused-dbf', 'spec', 'fixtures')
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

    def inspect(self, path, *options):
        done = cli('inspect', '--json', '--limit', '100000', path, *options, home=self.home)
        self.assertEqual(done.returncode, 0, done.stderr)
        tables = json.loads(done.stdout)['tables']
        self.assertEqual(len(tables), 1)
        return tables[0]

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
            self.expect_csv(os.path.join(YELLOW, name + '.dbf'), os.path.join(YELLOW, name + '.csv'))

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


if __name__ == '__main__':
    unittest.main()
