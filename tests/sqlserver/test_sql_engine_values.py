"""Values against their column types: conversions, exact decimals, dates, text and the errors
SQL Server raises for values that do not fit."""

import datetime as dt
import unittest
import uuid
from decimal import Decimal

from engine_test_support import EngineTest


class ValuesTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE v (ti TINYINT, i INT, bi BIGINT, d DECIMAL(5,2), '
                    'n NUMERIC(38,9), m MONEY, f FLOAT, r REAL, b BIT, dt DATE, tm TIME(2), '
                    'dtm DATETIME, dt2 DATETIME2(3), sdt SMALLDATETIME, c CHAR(4), '
                    'vc VARCHAR(5), nvc NVARCHAR(3), vb VARBINARY(2), g UNIQUEIDENTIFIER)')

    def stored(self, column, literal):
        self.run_ok('DELETE FROM v')
        self.run_ok(f'INSERT INTO v ({column}) VALUES ({literal})')
        return self.value(f'SELECT {column} FROM v')

    def test_exact_numbers(self):
        self.assertEqual(self.stored('d', '123.455'), Decimal('123.46'))
        self.assertEqual(self.stored('d', '-0.005'), Decimal('-0.01'))
        self.assertEqual(self.stored('n', '12345678901234567890123456789.123456789'),
                         Decimal('12345678901234567890123456789.123456789'))
        self.assertEqual(self.stored('n', '-12345678901234567890123456789.123456789'),
                         Decimal('-12345678901234567890123456789.123456789'))
        self.assertEqual(self.value('SELECT ABS(n) - 1 FROM v'),
                         Decimal('12345678901234567890123456788.123456789'))
        self.assertEqual(self.stored('m', "'$1,234.56789'"), Decimal('1234.5679'))
        self.assertEqual(self.rows('SELECT CAST(m AS VARCHAR(20)), CONVERT(VARCHAR(20), m, 1) '
                                   'FROM v'), [('1234.57', '1,234.57')])
        self.assertEqual(self.stored('d', "'  7.1 '"), Decimal('7.10'))
        self.assertEqual(self.stored('m', '-922337203685477.5808'),
                         Decimal('-922337203685477.5808'))
        self.assertEqual(self.stored('bi', '9223372036854775807'), 2**63 - 1)
        self.assertEqual(self.stored('i', '7.9'), 7)
        self.assertEqual(self.stored('i', "''"), 0)
        self.assertEqual(self.stored('f', '0.1'), 0.1)
        self.assertEqual(self.stored('r', '0.1'), 0.10000000149011612)
        self.assertEqual(self.stored('b', "'TRUE'"), True)
        self.assertEqual(self.stored('b', '42'), True)
        self.assertEqual(self.value('SELECT 0.1 + 0.2'), Decimal('0.3'))
        self.assertEqual(self.value('SELECT 7 / 2'), 3)
        self.assertEqual(self.value('SELECT -7 % 3'), -1)

    def test_overflow(self):
        error = self.assertError('INSERT INTO v (d) VALUES (1000)', 8115,
                                 'Arithmetic overflow error converting int to data type '
                                 'numeric.')
        self.assertFalse(error.batch_abort)
        self.assertError('INSERT INTO v (m) VALUES (922337203685477.5808)', 8115)
        self.assertError('INSERT INTO v (d) VALUES (999.999)', 8115,
                         'Arithmetic overflow error converting numeric to data type numeric.')
        self.assertError('INSERT INTO v (ti) VALUES (256)', 220,
                         'Arithmetic overflow error for data type tinyint, value = 256.')
        self.assertError('INSERT INTO v (i) VALUES (2147483648)', 8115,
                         'Arithmetic overflow error converting expression to data type int.')
        self.assertError('SELECT 2147483647 + 1', 8115)
        self.assertError('SELECT 1 / 0', 8134, 'Divide by zero error encountered.')

    def test_conversion_failures_end_the_batch(self):
        results = self.run_sql("INSERT INTO v (i) VALUES ('12x'); PRINT 'not reached'")
        self.assertEqual(len(results), 1)
        self.assertEqual(results[0].number, 245)
        self.assertEqual(results[0].message, "Conversion failed when converting the varchar "
                                             "value '12x' to data type int.")
        self.assertTrue(results[0].batch_abort)
        self.assertError("INSERT INTO v (i) VALUES (N'x')", 245,
                         "Conversion failed when converting the nvarchar value 'x' to data "
                         "type int.")
        self.assertError("INSERT INTO v (d) VALUES ('1,5')", 8114,
                         'Error converting data type varchar to numeric.')
        self.assertError("INSERT INTO v (f) VALUES ('x')", 8114,
                         'Error converting data type varchar to float.')
        self.assertError("INSERT INTO v (g) VALUES ('not-a-guid')", 8169)
        self.assertError("INSERT INTO v (vb) VALUES ('ab')", 257)

    def test_dates(self):
        self.assertEqual(self.stored('dt', "'2024-02-29'"), dt.date(2024, 2, 29))
        self.assertEqual(self.stored('dt', "'20240229'"), dt.date(2024, 2, 29))
        self.assertEqual(self.stored('dt', "'0001-01-01'"), dt.date(1, 1, 1))
        self.assertEqual(self.stored('dtm', "'2020-01-01 10:00:00.001'"),
                         dt.datetime(2020, 1, 1, 10, 0))
        self.assertEqual(self.stored('dtm', "'2020-01-01T10:00:00.005'"),
                         dt.datetime(2020, 1, 1, 10, 0, 0, 6667))
        self.assertEqual(self.stored('dtm', "'2020-01-01 23:59:59.999'"),
                         dt.datetime(2020, 1, 2))
        self.assertEqual(self.stored('dt2', "'2020-01-01 10:00:00.12345'"),
                         dt.datetime(2020, 1, 1, 10, 0, 0, 123000))
        self.assertEqual(self.stored('tm', "'13:14:15.129'"), dt.time(13, 14, 15, 130000))
        self.assertEqual(self.stored('sdt', "'2020-01-01 10:00:30'"),
                         dt.datetime(2020, 1, 1, 10, 1))
        self.assertEqual(self.stored('dtm', "'03/04/2020'"), dt.datetime(2020, 3, 4))
        self.run_ok('SET DATEFORMAT dmy')
        self.assertEqual(self.stored('dtm', "'03/04/2020'"), dt.datetime(2020, 4, 3))
        self.assertError("INSERT INTO v (dtm) VALUES ('2020-03-14')", 242)
        self.assertEqual(self.stored('dt2', "'2020-03-14'"), dt.datetime(2020, 3, 14))
        self.run_ok('SET DATEFORMAT ydm')
        self.assertEqual(self.stored('dtm', "'2020-04-03'"), dt.datetime(2020, 3, 4))
        self.assertEqual(self.stored('dt', "'2020-04-03'"), dt.date(2020, 4, 3))
        results = self.run_ok('SET LANGUAGE british')
        self.assertEqual(results[0].message, 'Changed language setting to british.')
        self.assertEqual(self.stored('dtm', "'03/04/2020'"), dt.datetime(2020, 4, 3))
        self.run_ok('SET DATEFORMAT ymd')
        self.run_ok('DELETE FROM v')
        self.run_ok("INSERT INTO v (dtm, dt2, tm) VALUES ('2020-01-05 13:04:05.123', "
                    "'2020-01-05 13:04:05.123', '13:04:05.12')")
        self.assertEqual(self.rows("SELECT CAST(dtm AS VARCHAR(30)), CAST(dt2 AS VARCHAR(30)), "
                                   "CAST(tm AS VARCHAR(20)), CONVERT(VARCHAR(10), dtm, 103) "
                                   "FROM v"),
                         [('Jan  5 2020  1:04PM', '2020-01-05 13:04:05.123', '13:04:05.12',
                           '05/01/2020')])
        self.assertError("INSERT INTO v (dtm) VALUES ('1752-12-31')", 242,
                         'The conversion of a varchar data type to a datetime data type '
                         'resulted in an out-of-range value.')
        self.assertError("INSERT INTO v (dtm) VALUES ('2021-02-30')", 242)
        self.assertError("INSERT INTO v (dt) VALUES ('2021-02-30')", 241,
                         'Conversion failed when converting date and/or time from character '
                         'string.')
        self.assertError("INSERT INTO v (sdt) VALUES ('2080-01-01')", 242)

    def test_text(self):
        self.assertEqual(self.stored('c', "'ab'"), 'ab  ')
        self.assertEqual(self.stored('vc', "'abc   '"), 'abc   '[:5])
        self.assertEqual(self.stored('vc', "'Жук'"), '???')
        self.assertEqual(self.stored('nvc', "N'Жук'"), 'Жук')
        self.assertEqual(self.stored('vc', "'it''s'"), "it's")
        self.assertEqual(self.stored('vc', "'é'"), 'é')
        self.assertEqual(self.stored('vb', '0xABCD'), b'\xab\xcd')
        self.assertEqual(self.stored('g', "'6F9619FF-8B86-D011-B42D-00C04FC964FF'"),
                         uuid.UUID('6F9619FF-8B86-D011-B42D-00C04FC964FF'))
        self.assertEqual(self.value("SELECT N'a' + 'b'"), 'ab')
        # A backslash that ends a line inside a string joins the lines.
        self.assertEqual(self.value("SELECT N'one \\\r\ntwo'"), 'one two')
        self.assertEqual(self.value("SELECT CONVERT(NVARCHAR(MAX), N'a\\') + N'\r\nb'"),
                         'a\\\r\nb')
        self.assertEqual(self.value("SELECT CAST('abcdef' AS VARCHAR(3))"), 'abc')
        self.assertEqual(self.value("SELECT CAST(123 AS CHAR(2))"), '*')
        self.assertEqual(self.value("SELECT LEN('ab  ')"), 2)
        self.assertEqual(self.value("SELECT COUNT(*) FROM v WHERE 'AB ' = 'ab'"), 1)

    def test_collation_order_and_equality(self):
        self.run_ok("CREATE TABLE o (n NVARCHAR(9)); INSERT INTO o VALUES (N'Zeta'), "
                    "(N'émile'), (N'Ærø'), (N'apple'), (N'Emile  '), (N'f')")
        self.assertEqual([r[0] for r in self.rows('SELECT n FROM o ORDER BY n')],
                         ['Ærø', 'apple', 'Emile  ', 'émile', 'f', 'Zeta'])
        self.assertEqual(self.value("SELECT COUNT(*) FROM o WHERE n = N'EMILE'"), 1)

    def test_truncation(self):
        error = self.assertError("INSERT INTO v (nvc) VALUES (N'abcd')", 2628,
                                 "String or binary data would be truncated in table "
                                 "'testdb.dbo.v', column 'nvc'. Truncated value: 'abc'.")
        self.assertFalse(error.batch_abort)
        self.assertError("INSERT INTO v (vb) VALUES (0x010203)", 2628)
        self.assertEqual(self.stored('nvc', "N'abc   '"), 'abc')

    def test_null_into_not_null(self):
        self.run_ok('CREATE TABLE nn (a INT NOT NULL, b INT)')
        self.assertError('INSERT INTO nn (b) VALUES (1)', 515,
                         "Cannot insert the value NULL into column 'a', table 'testdb.dbo.nn'; "
                         "column does not allow nulls. INSERT fails.")
        self.run_ok('INSERT INTO nn VALUES (1, 1)')
        self.assertError('UPDATE nn SET a = NULL', 515,
                         "Cannot insert the value NULL into column 'a', table 'testdb.dbo.nn'; "
                         "column does not allow nulls. UPDATE fails.")


class OldServerTruncationTest(EngineTest):
    banner = '2017'

    def test_8152_before_2019(self):
        self.run_ok('CREATE TABLE t (c VARCHAR(2))')
        self.assertError("INSERT INTO t VALUES ('abc')", 8152,
                         'String or binary data would be truncated.')


if __name__ == '__main__':
    unittest.main()
