"""DDL and the catalog views that describe its results."""

import unittest
from decimal import Decimal

from engine_test_support import EngineTest

EVERY_TYPE = '''CREATE TABLE dbo.every (
    id INT IDENTITY(100, 10) NOT NULL,
    b BIT NULL, ti TINYINT, si SMALLINT, i INT, bi BIGINT,
    d DECIMAL(9,3), n NUMERIC(38,9), m MONEY, sm SMALLMONEY, r REAL, f FLOAT,
    dt DATE, tm TIME(3), dtm DATETIME, sdt SMALLDATETIME, dt2 DATETIME2(4),
    c CHAR(3), vc VARCHAR(10), vcm VARCHAR(MAX), nc NCHAR(2), nvc NVARCHAR(20),
    nvcm NVARCHAR(MAX), bin BINARY(4), vb VARBINARY(8), vbm VARBINARY(MAX),
    g UNIQUEIDENTIFIER DEFAULT newid(), CONSTRAINT pk_every PRIMARY KEY (id))'''


class CreateTableTest(EngineTest):
    def test_every_type_in_result_metadata(self):
        self.run_ok(EVERY_TYPE)
        columns = {c.name: c for c in self.columns('SELECT * FROM every')}
        expect = {'id': ('int', 0, 0, 0), 'b': ('bit', 0, 0, 0), 'd': ('decimal', 0, 9, 3),
                  'n': ('numeric', 0, 38, 9), 'm': ('money', 0, 19, 4),
                  'sm': ('smallmoney', 0, 10, 4), 'tm': ('time', 0, 0, 3),
                  'dt2': ('datetime2', 0, 0, 4), 'c': ('char', 3, 0, 0),
                  'vcm': ('varchar', -1, 0, 0), 'nvc': ('nvarchar', 20, 0, 0),
                  'bin': ('binary', 4, 0, 0), 'vbm': ('varbinary', -1, 0, 0),
                  'g': ('uniqueidentifier', 0, 0, 0), 'f': ('float', 0, 0, 0),
                  'r': ('real', 0, 0, 0), 'sdt': ('smalldatetime', 0, 0, 0)}
        for name, (kind, length, precision, scale) in expect.items():
            column = columns[name]
            self.assertEqual((column.type, column.length, column.precision, column.scale),
                             (kind, length, precision, scale), name)
        self.assertTrue(columns['id'].identity)
        self.assertFalse(columns['id'].nullable)
        self.assertEqual(columns['vc'].collation, b'\x09\x04\xd0\x00\x34')
        self.assertEqual(columns['i'].collation, b'')
        self.run_ok("INSERT INTO every (b) VALUES (1); INSERT INTO every (b) VALUES (0)")
        self.assertEqual(self.rows('SELECT id, b FROM every ORDER BY id'),
                         [(100, True), (110, False)])

    def test_names_ignore_case_and_take_escapes(self):
        self.run_ok('CREATE TABLE [My]]Table] ([Col "A"] INT, "Col B" INT)')
        self.run_ok('INSERT INTO [my]]TABLE] ([col "a"], [COL B]) VALUES (1, 2)')
        self.assertEqual(self.rows('SELECT "col b" FROM [MY]]table]'), [(2,)])
        self.assertError('CREATE TABLE [MY]]TABLE] (x INT)', 2714,
                         "There is already an object named 'MY]TABLE' in the database.")

    def test_limits_of_names_and_rows(self):
        self.run_ok(f"CREATE TABLE [{'n' * 128}] (a INT)")
        self.assertError(f"CREATE TABLE [{'n' * 129}] (a INT)", 103,
                         f"The identifier that starts with '{'n' * 128}' is too long. Maximum "
                         "length is 128.")
        self.assertError('CREATE TABLE wide (a CHAR(8000), b NCHAR(50))', 1701,
                         "Creating or altering table 'wide' failed because the minimum row size "
                         "would be 8107, including 7 bytes of internal overhead. This exceeds "
                         "the maximum allowable table row size of 8060 bytes.")
        self.run_ok('CREATE TABLE wide (a CHAR(8000), b NVARCHAR(4000), c VARCHAR(MAX))')

    def test_if_object_id_guards(self):
        guard = ("IF OBJECT_ID ('[dbo].[guarded]', 'U') IS NOT NULL\r\n"
                 "DROP TABLE [dbo].[guarded];\r\n")
        self.run_ok(guard)
        self.run_ok('CREATE TABLE guarded (x INT)')
        self.run_ok(guard)
        self.assertIsNone(self.value("SELECT OBJECT_ID('dbo.guarded')"))
        self.run_ok("IF OBJECT_ID ('[dbo].[guarded]', 'U') IS NULL\r\nBEGIN\r\n"
                    "CREATE TABLE [dbo].[guarded] (x INT);\r\n"
                    "EXEC (N'CREATE CLUSTERED INDEX [x_clust_idx] ON [dbo].[guarded]([x])');"
                    "\r\nEND;\r\n")
        self.assertEqual(self.value("SELECT COUNT(*) FROM sys.indexes WHERE object_id = "
                                    "OBJECT_ID('guarded') AND type = 1"), 1)
        self.assertIsNone(self.value("SELECT OBJECT_ID('guarded', 'V')"))

    def test_drop_table_and_missing_objects(self):
        self.run_ok('CREATE TABLE gone (x INT)')
        self.run_ok('DROP TABLE gone')
        error = self.assertError('DROP TABLE gone', 3701,
                                 "Cannot drop the table 'gone', because it does not exist or "
                                 "you do not have permission.")
        self.assertEqual(error.severity, 11)
        self.run_ok('DROP TABLE IF EXISTS gone')
        self.assertError('SELECT * FROM dbo.gone', 208, "Invalid object name 'dbo.gone'.")

    def test_syntax_errors_stop_the_batch_before_it_runs(self):
        results = self.run_sql("CREATE TABLE early (x INT); SELECT FROM WHERE")
        self.assertEqual([r.number for r in results], [156])
        self.assertEqual(results[0].message, "Incorrect syntax near the keyword 'FROM'.")
        self.assertEqual(results[0].severity, 15)
        self.assertIsNone(self.value("SELECT OBJECT_ID('early')"))
        self.assertError("SELECT 1 +", 102, "Incorrect syntax near '+'.")
        self.assertError("SELECT 'open", 105)

    def test_defaults_nullability_and_alter_column(self):
        self.run_ok("CREATE TABLE t (a INT NOT NULL, b NVARCHAR(5) CONSTRAINT df_b DEFAULT N'zz',"
                    " c DATETIME DEFAULT '2001-02-03')")
        self.run_ok('INSERT INTO t (a) VALUES (1)')
        self.assertEqual(self.rows('SELECT b, CONVERT(VARCHAR(10), c, 120) FROM t'),
                         [('zz', '2001-02-03')])
        self.run_ok('ALTER TABLE t ALTER COLUMN b NVARCHAR(10) NOT NULL')
        info = {c.name: c for c in self.columns('SELECT * FROM t')}
        self.assertEqual((info['b'].length, info['b'].nullable), (10, False))
        self.assertError("ALTER TABLE t ALTER COLUMN b NVARCHAR(1)", 2628)
        self.assertError("ALTER TABLE t ALTER COLUMN nope INT", 4924)

    def test_constraints_and_indexes_in_the_catalog(self):
        self.run_ok('CREATE TABLE parent (id INT NOT NULL, code NVARCHAR(4) NOT NULL)')
        self.run_ok('ALTER TABLE parent ADD PRIMARY KEY (id)')
        self.run_ok('ALTER TABLE parent ADD CONSTRAINT uq_code UNIQUE (code)')
        self.run_ok('CREATE TABLE child (id INT PRIMARY KEY NONCLUSTERED, parent_id INT, '
                    'label VARCHAR(9))')
        self.run_ok('ALTER TABLE child ADD CONSTRAINT fk_child FOREIGN KEY(parent_id) '
                    'REFERENCES parent(id) ON DELETE CASCADE ON UPDATE CASCADE;')
        self.run_ok('CREATE UNIQUE NONCLUSTERED INDEX ux_label ON child(label DESC) '
                    'WHERE label IS NOT NULL')
        self.run_ok('CREATE CLUSTERED INDEX cx ON child(parent_id)')
        self.assertError('CREATE CLUSTERED INDEX cx2 ON child(label)', 1902)
        self.assertError('CREATE INDEX cx ON child(label)', 1913)
        self.assertEqual([e.number for e in self.errors(
            'ALTER TABLE parent ADD PRIMARY KEY (code)')], [1779, 1750])
        indexes = self.rows("SELECT i.name, i.type_desc, i.is_unique, i.is_primary_key, "
                            "i.is_unique_constraint, i.has_filter, i.filter_definition "
                            "FROM sys.indexes i WHERE i.object_id = OBJECT_ID('child') "
                            "ORDER BY i.index_id")
        self.assertEqual(indexes[0], ('cx', 'CLUSTERED', False, False, False, False, None))
        self.assertEqual(indexes[-1], ('ux_label', 'NONCLUSTERED', True, False, False, True,
                                       '(label IS NOT NULL)'))
        self.assertEqual(self.rows("SELECT c.name, ic.key_ordinal, ic.is_descending_key FROM "
                                   "sys.index_columns ic JOIN sys.indexes i ON i.object_id = "
                                   "ic.object_id AND i.index_id = ic.index_id JOIN sys.columns "
                                   "c ON c.object_id = ic.object_id AND c.column_id = "
                                   "ic.column_id WHERE i.name = 'ux_label'"),
                         [('label', 1, True)])
        self.assertEqual(self.rows("SELECT name, OBJECT_NAME(parent_object_id), "
                                   "OBJECT_NAME(referenced_object_id), "
                                   "delete_referential_action_desc FROM sys.foreign_keys"),
                         [('fk_child', 'child', 'parent', 'CASCADE')])
        self.assertEqual(self.rows("SELECT CONSTRAINT_NAME, CONSTRAINT_TYPE FROM "
                                   "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE TABLE_NAME = "
                                   "'parent' ORDER BY CONSTRAINT_NAME")[1],
                         ('uq_code', 'UNIQUE'))
        self.run_ok('ALTER TABLE child DROP CONSTRAINT fk_child')
        self.run_ok('DROP INDEX IF EXISTS [ux_label] ON [dbo].[child]')
        self.run_ok('DROP INDEX IF EXISTS [ux_label] ON [dbo].[child]')
        self.assertEqual([e.number for e in self.errors(
            'ALTER TABLE child DROP CONSTRAINT fk_child')], [3728, 3727])

    def test_schemas_and_views(self):
        self.run_ok('CREATE SCHEMA sales')
        self.assertError('CREATE SCHEMA sales', 2714)
        self.assertError('SELECT 1; CREATE SCHEMA late', 111)
        self.run_ok('CREATE TABLE sales.orders (id INT, total DECIMAL(10,2))')
        self.run_ok("INSERT INTO sales.orders VALUES (1, 10.50), (2, 3)")
        self.run_ok('CREATE VIEW sales.big AS SELECT id, total FROM sales.orders '
                    'WHERE total > 5')
        self.assertEqual(self.rows('SELECT * FROM sales.big'), [(1, Decimal('10.50'))])
        self.assertEqual(self.rows("SELECT DATA_TYPE, NUMERIC_PRECISION, NUMERIC_SCALE FROM "
                                   "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'big' AND "
                                   "COLUMN_NAME = 'total'"), [('decimal', 10, 2)])
        self.assertEqual(self.rows("SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE FROM "
                                   "INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"),
                         [('sales', 'big', 'VIEW'), ('sales', 'orders', 'BASE TABLE')])
        self.assertIn('WHERE total > 5', self.value(
            "SELECT VIEW_DEFINITION FROM INFORMATION_SCHEMA.VIEWS"))
        self.assertEqual(self.rows("SELECT SCHEMA_NAME FROM INFORMATION_SCHEMA.SCHEMATA "
                                   "WHERE SCHEMA_NAME IN ('dbo', 'sales') ORDER BY 1"),
                         [('dbo',), ('sales',)])
        self.assertEqual(self.rows("SELECT OBJECT_SCHEMA_NAME(OBJECT_ID('sales.big')), "
                                   "OBJECT_NAME(OBJECT_ID('sales.big'))"), [('sales', 'big')])
        self.run_ok('IF OBJECT_ID(N\'[sales].[big]\') IS NOT NULL DROP VIEW [sales].[big]')
        self.assertError('DROP VIEW sales.big', 3701)


class CatalogTest(EngineTest):
    def setUp(self):
        super().setUp()
        self.run_ok(EVERY_TYPE)

    def test_sys_tables_columns_and_identity(self):
        self.assertEqual(self.rows("SELECT t.name, s.name FROM sys.tables t JOIN sys.schemas s "
                                   "ON s.schema_id = t.schema_id"), [('every', 'dbo')])
        columns = self.rows("SELECT name, TYPE_NAME(system_type_id), max_length, c.precision, "
                            "scale, is_nullable, is_identity FROM sys.columns c WHERE object_id "
                            "= OBJECT_ID('dbo.every') ORDER BY column_id")
        self.assertEqual(columns[0], ('id', 'int', 4, 10, 0, False, True))
        self.assertEqual(columns[6], ('d', 'decimal', 5, 9, 3, True, False))
        self.assertEqual(columns[21], ('nvc', 'nvarchar', 40, 0, 0, True, False))
        self.assertEqual(columns[22][2], -1)
        metadata = {c.name: c for c in self.columns('SELECT name, max_length, is_identity '
                                                    'FROM sys.columns')}
        self.assertEqual((metadata['name'].type, metadata['name'].length), ('nvarchar', 128))
        self.assertEqual(metadata['max_length'].type, 'smallint')
        self.assertEqual(metadata['is_identity'].type, 'bit')
        self.run_ok('INSERT INTO every (i) VALUES (1)')
        self.assertEqual(self.rows("SELECT name, seed_value, increment_value, last_value FROM "
                                   "sys.identity_columns"), [('id', 100, 10, 100)])
        self.assertEqual(self.value("SELECT OBJECTPROPERTY(OBJECT_ID('every'), "
                                    "'TableHasIdentity')"), 1)

    def test_information_schema_columns(self):
        rows = self.rows("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, "
                         "NUMERIC_PRECISION, NUMERIC_SCALE, IS_NULLABLE FROM "
                         "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'every' "
                         "ORDER BY ORDINAL_POSITION")
        self.assertEqual(rows[0], ('id', 'int', None, 10, 0, 'NO'))
        self.assertEqual(rows[19], ('vcm', 'varchar', -1, None, None, 'YES'))
        self.assertEqual(rows[7], ('n', 'numeric', None, 38, 9, 'YES'))

    def test_sp_tables_and_sp_columns_as_text(self):
        tables = [r for r in self.run_ok("EXEC sp_tables @table_name = 'every'")][0]
        self.assertEqual(tables.rows, [('testdb', 'dbo', 'every', 'TABLE', None)])
        columns = [r for r in self.run_ok("sp_columns N'every'")][0]
        names = [c.name for c in columns.columns]
        self.assertEqual(names[:6], ['TABLE_QUALIFIER', 'TABLE_OWNER', 'TABLE_NAME',
                                     'COLUMN_NAME', 'DATA_TYPE', 'TYPE_NAME'])
        self.assertEqual(columns.rows[0][3:6], ('id', 4, 'int identity'))
        self.assertEqual(len(columns.rows), 27)
        self.assertError('EXEC sp_nothing', 2812,
                         "Could not find stored procedure 'sp_nothing'.")


class DirectModeQueriesTest(EngineTest):
    """The statements and catalog queries direct mode sends, as it sends them."""

    def setUp(self):
        super().setUp()
        self.run_ok('CREATE TABLE [parent] ([CODE] nvarchar(5) NOT NULL, [QTY] int)')
        self.run_ok('ALTER TABLE [parent] ALTER COLUMN [CODE] nvarchar(5) collate '
                    'Latin1_General_CS_AS NOT NULL')
        self.run_ok('ALTER TABLE [dbo].[parent] ADD PRIMARY KEY([CODE])')
        self.run_ok('CREATE TABLE [child] ([ID] int IDENTITY(5,2) NOT NULL, '
                    '[CODE] nvarchar(5) collate Latin1_General_CS_AS)')
        self.run_ok('ALTER TABLE [dbo].[child] ADD CONSTRAINT [rel] FOREIGN KEY ([CODE]) '
                    'REFERENCES [dbo].[parent]([CODE]) ON UPDATE CASCADE ON DELETE NO ACTION')

    def test_case_sensitive_keys(self):
        self.run_ok("INSERT INTO [parent] VALUES (N'abc', 1), (N'ABC', 2)")
        self.assertEqual(self.value("SELECT COUNT(*) FROM parent WHERE CODE = 'abc'"), 1)
        self.assertError("INSERT INTO [child] ([CODE]) VALUES (N'Abc')", 547)
        self.assertEqual(self.value("SELECT collation_name FROM sys.columns WHERE name = "
                                    "'CODE' AND object_id = OBJECT_ID('parent')"),
                         'Latin1_General_CS_AS')

    def test_catalog_queries(self):
        self.assertEqual(self.rows('SELECT name from master.sys.databases ORDER BY name'),
                         [('master',), ('model',), ('msdb',), ('tempdb',), ('testdb',)])
        self.assertEqual(len(self.rows('SELECT name from master.sys.sysdatabases ORDER BY '
                                       'name')), 5)
        self.run_ok("IF NOT EXISTS (SELECT  schema_name FROM    information_schema.schemata "
                    "WHERE   schema_name = 'stock' ) BEGIN EXEC sp_executesql N'CREATE SCHEMA "
                    "[stock]' END")
        self.assertIn(('stock',), self.rows('SELECT name FROM master.sys.schemas where '
                                            'principal_id < 16384') +
                      self.rows('SELECT name FROM sys.schemas'))
        tables = [r for r in self.run_ok("exec sp_tables @table_owner='dbo', "
                                         "@table_type=\"'TABLE'\"")][0]
        self.assertEqual([r[2] for r in tables.rows], ['child', 'parent'])
        self.assertEqual(self.rows("select table_name, column_name, data_type from "
                                   "INFORMATION_SCHEMA.COLUMNS where table_schema='dbo' and "
                                   "table_name not in ('sysalternates','sysconstraints',"
                                   "'syssegments')")[:2],
                         [('parent', 'CODE', 'nvarchar'), ('parent', 'QTY', 'int')])
        self.assertEqual(self.rows("SELECT NAME AS COLUMNNAME,CAST(LAST_VALUE AS INT),"
                                   "CAST(INCREMENT_VALUE AS INT) FROM SYS.IDENTITY_COLUMNS "
                                   "WHERE OBJECT_NAME(OBJECT_ID)='child' AND "
                                   "OBJECT_SCHEMA_NAME(OBJECT_ID)='dbo'"), [('ID', None, 2)])
        columns = [r for r in self.run_ok('EXEC sp_columns @table_name=[child], '
                                          '@table_owner=[dbo]')][0]
        self.assertEqual([(r[3], r[5]) for r in columns.rows],
                         [('ID', 'int identity'), ('CODE', 'nvarchar')])
        indexes = self.rows(
            "SELECT      ind.name, col.name, ind.is_primary_key, ind.is_unique FROM      "
            "sys.indexes ind INNER JOIN      sys.index_columns ic ON  ind.object_id = "
            "ic.object_id and ind.index_id = ic.index_id INNER JOIN      sys.columns col ON "
            "ic.object_id = col.object_id and ic.column_id = col.column_id INNER JOIN      "
            "sys.tables t ON ind.object_id = t.object_id WHERE      "
            "SCHEMA_NAME(t.schema_id)='dbo' AND t.name='parent' AND t.is_ms_shipped=0 ORDER BY "
            "     t.name, ind.name, ind.index_id, ic.index_column_id")
        self.assertEqual([r[1:] for r in indexes], [('CODE', True, True)])
        keys = self.rows(
            "SELECT       obj.name, col1.name, tab2.name, col2.name,      "
            "fks.delete_referential_action_desc, fks.update_referential_action_desc FROM      "
            "sys.foreign_keys fks INNER JOIN sys.foreign_key_columns fkc      ON fks.object_id "
            "= fkc.constraint_object_id INNER JOIN sys.objects obj     ON obj.object_id = "
            "fkc.constraint_object_id INNER JOIN sys.tables tab1     ON tab1.object_id = "
            "fkc.parent_object_id INNER JOIN sys.columns col1     ON col1.column_id = "
            "parent_column_id AND col1.object_id = tab1.object_id INNER JOIN sys.tables tab2  "
            "   ON tab2.object_id = fkc.referenced_object_id INNER JOIN sys.columns col2     ON "
            "col2.column_id = referenced_column_id AND col2.object_id = tab2.object_id WHERE   "
            "   SCHEMA_NAME(tab1.schema_id)='dbo' AND tab1.name = 'child' ORDER BY obj.name")
        self.assertEqual(keys, [('rel', 'CODE', 'parent', 'CODE', 'NO_ACTION', 'CASCADE')])

    def test_views_and_writes(self):
        self.run_ok("IF OBJECT_ID('big') IS NOT NULL DROP VIEW [big]")
        self.run_ok('CREATE VIEW [big] AS select CODE, QTY from parent where QTY > 1')
        self.assertEqual(self.rows("select table_name, view_definition from "
                                   "information_schema.views where table_schema='dbo' and "
                                   "table_name not in ('sysalternates','sysconstraints',"
                                   "'syssegments')"),
                         [('big', 'CREATE VIEW [big] AS select CODE, QTY from parent where '
                                  'QTY > 1')])
        self.run_ok("SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [child] ON; ")
        self.run_ok("INSERT INTO [parent]([CODE], [QTY]) VALUES( N'x', 1)")
        self.run_ok("SET IDENTITY_INSERT [child] ON;INSERT INTO [child]([ID], [CODE]) "
                    "VALUES( 7, N'x')")
        self.run_ok("SET IDENTITY_INSERT [child] OFF;")
        self.run_ok("UPDATE [parent] SET [QTY]=5 WHERE [CODE]=N'x'")
        self.assertEqual(self.rows('SELECT * FROM big'), [('x', 5)])
        self.run_ok("UPDATE [parent] SET [CODE]=N'y' WHERE [CODE]=N'x'")
        self.assertEqual(self.rows('SELECT ID, CODE FROM child'), [(7, 'y')])


if __name__ == '__main__':
    unittest.main()
