// Whole T-SQL scripts, byte for byte, and the script writer's failures.
#include "mss/mss_dmp_database.h"
#include "mss/mss_dmp_recordset.h"
#include "mss/sql_engine.h"
#include "ole/ole_decimal.h"
#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "udb/udb_record.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

namespace {

using tabrix_test::count;

SYSTEMTIME day(uint16_t y, uint16_t m, uint16_t d) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = m;
    st.wDay = d;
    return st;
}

ole_variant decimal(std::string_view text) {
    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(text, LOCALE_EN_US, 0, d), S_OK);
    return ole_variant(d);
}

// The header's file name and date change from run to run.
std::string masked(std::string script) {
    script = std::regex_replace(script, std::regex("File name: [^\r]*\r\n"), "File name: PATH\r\n");
    return std::regex_replace(script, std::regex("Creation date: \\d\\d/\\d\\d/\\d{4}\r\n"),
                              "Creation date: DATE\r\n");
}

const std::string header = "/*\r\n"
                           "File name: PATH\r\n"
                           "Creation date: DATE\r\n"
                           "Created by Tabrix 2.3 \r\n"
                           "Run it with: sqlcmd -f 65001 -x -i <this file>\r\n"
                           "(-f 65001: the script is UTF-8; -x: texts holding $(...) are not "
                           "sqlcmd variables)\r\n"
                           "--------------------------------------------------\r\n"
                           "More conversion tools at https://www.quorvane.com\r\n"
                           "*/\r\n";
const std::string set_options = "SET QUOTED_IDENTIFIER ON;\r\nSET DATEFORMAT ymd;\r\nGO\r\n";

mss_dump_options default_options() {
    mss_dump_options options;
    options.title = "Tabrix 2.3 ";
    return options;
}

// A script without the header and comment blocks.
std::unique_ptr<mss_dmp_database> open_without_comments(const std::filesystem::path& path) {
    mss_dump_options options = default_options();
    options.dmp_ins_com = false;
    return sql_engine::create_dump(tk_from_utf8(path.string()), options);
}

// The schema of a typical DBF table: an auto-number key, text, a decimal, a date, a logical
// and a memo.
udb_schema people_schema() {
    udb_schema schema;
    schema.push_back(t_ftd(4, u"ID", VT_I4, false, true));
    schema.push_back(t_ftd(10, u"NAME", VT_BSTR, true));
    schema.push_back(t_ftd(12, u"PRICE", VT_DECIMAL, false, false, ole_variant(), 12 * 256 + 2));
    schema.push_back(t_ftd(8, u"BORN", VT_DATE, false, false, ole_variant(), 2));
    schema.push_back(t_ftd(1, u"OK", VT_BOOL));
    schema.push_back(t_ftd(0, u"NOTES", VT_BSTR));
    return schema;
}

void add_person(udb_record& r, int id, std::u16string_view name, std::string_view price,
                const SYSTEMTIME& born, bool ok, std::u16string_view notes) {
    r.clear();
    r.add_field(u"ID", 4, ole_variant(id));
    r.add_field(u"NAME", 10, ole_variant(name));
    r.add_field(u"PRICE", 12, decimal(price));
    r.add_field(u"BORN", 8, ole_variant(born));
    r.add_field(u"OK", 1, ole_variant(ok));
    r.add_field(u"NOTES", 0, ole_variant(notes));
}

std::string write_people(const std::filesystem::path& path, const mss_dump_options& options) {
    auto db = sql_engine::create_dump(tk_from_utf8(path.string()), options);
    auto table = db->create_table(u"people", people_schema(), udb_indexes());
    udb_record r;
    add_person(r, 1, u"O'Neil", "12.5", day(1970, 1, 2), true, u"Grüße\r\nzwei Zeilen");
    table->append_record(r);
    add_person(r, 2, u"", "-0.25", day(1700, 12, 31), false, u"");
    r[3].clear();
    table->append_record(r);
    table->finish();
    db->finish();
    return tabrix_test::read_file(path);
}

const std::string people_structure =
    "\r\n/*\r\nTable structure for table 'people'\r\n*/\r\n\r\n"
    "IF OBJECT_ID ('[dbo].[people]', 'U') IS NOT NULL\r\n"
    "DROP TABLE [dbo].[people];\r\n"
    "GO\r\n"
    "CREATE TABLE [dbo].[people] (\r\n"
    "\t[ID] INT IDENTITY NOT NULL,\r\n"
    "\t[NAME] NVARCHAR(10)  NOT NULL,\r\n"
    "\t[PRICE] NUMERIC(12,2),\r\n"
    "\t[BORN] DATE,\r\n"
    "\t[OK] BIT,\r\n"
    "\t[NOTES] NVARCHAR(MAX)\r\n"
    ")\n"
    "GO\n"
    "CREATE CLUSTERED INDEX [ID_clust_idx] ON [dbo].[people]([ID])\n"
    "GO\n";

const std::string people_data =
    "\r\n/*\r\nDumping data for table 'people'\r\n*/\r\n\r\n"
    "SET IDENTITY_INSERT [dbo].[people] ON;\r\nGO\r\n"
    "INSERT INTO [dbo].[people] ([ID], [NAME], [PRICE], [BORN], [OK], [NOTES]) VALUES (1, "
    "N'O''Neil', 12.5, '1970-01-02', 1, N'Grüße\r\nzwei Zeilen');\r\nGO\r\n\r\n"
    "INSERT INTO [dbo].[people] ([ID], [NAME], [PRICE], [BORN], [OK], [NOTES]) VALUES (2, "
    "'', -0.25, NULL, 0, '');\r\nGO\r\n\r\n"
    "SET IDENTITY_INSERT [dbo].[people] OFF;\r\nGO\r\n";

} // namespace

TEST(MssScript, WholeScriptWithDefaultOptions) {
    tabrix_test::scratch_dir dir;
    std::string script = write_people(dir / "people.sql", default_options());
    EXPECT_EQ(masked(script), header + set_options + people_structure + people_data);
    // UTF-8 without a byte-order mark, and the header names the file by its own path.
    EXPECT_EQ(script.compare(0, 2, "/*"), 0);
    EXPECT_NE(script.find("File name: " + (dir / "people.sql").string() + "\r\n"),
              std::string::npos);
}

TEST(MssScript, OptionsShapeTheScript) {
    tabrix_test::scratch_dir dir;
    mss_dump_options options = default_options();
    options.dmp_ins_com = false;
    options.dmp_ins_db = true;
    options.dmp_ins_tab = false;
    // No comments, no tables: no CREATE DATABASE either, and no IDENTITY to switch on.
    std::string script = write_people(dir / "a.sql", options);
    EXPECT_EQ(script.compare(0, set_options.size(), set_options), 0);
    EXPECT_EQ(script.find("CREATE"), std::string::npos);
    EXPECT_EQ(script.find("IDENTITY_INSERT"), std::string::npos);
    EXPECT_NE(script.find("VALUES (2, '', -0.25, NULL, 0, '');\r\nGO\r\n\r\n"), std::string::npos);

    options.dmp_ins_tab = true;
    script = write_people(dir / "my]db's.sql", options);
    const std::string database = "USE master;\r\nGO\r\n\r\n"
                                 "if exists(select * from master.sys.databases where "
                                 "name='my]db''s') DROP DATABASE [my]]db's];\r\n"
                                 "CREATE DATABASE [my]]db's];\r\nGO\r\n"
                                 "USE [my]]db's];\r\nGO\r\n";
    EXPECT_EQ(script.compare(0, database.size() + set_options.size(), database + set_options), 0);

    options.database_name = "Lager";
    options.dmp_unicode = false;
    script = write_people(dir / "b.sql", options);
    EXPECT_NE(script.find("CREATE DATABASE [Lager];"), std::string::npos);
    EXPECT_NE(script.find("[NAME] VARCHAR(10)  NOT NULL"), std::string::npos);
    EXPECT_NE(script.find("(1, 'O''Neil', 12.5,"), std::string::npos);
}

TEST(MssScript, IndexesAndKeys) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "i.sql");
    udb_schema schema;
    schema.push_back(t_ftd(300, u"A", VT_BSTR));
    schema.push_back(t_ftd(200, u"B", VT_BSTR));
    schema.push_back(t_ftd(150, u"C", VT_BSTR));
    schema.push_back(t_ftd(1, u"L", VT_BOOL));
    schema.push_back(t_ftd(4, u"K", VT_I4, false, false, ole_variant(u"7")));
    udb_indexes indexes;
    indexes.push_back({u"pk", false, true, {u"K"}});
    indexes.push_back({u"ab", false, false, {u"A", u"B"}});
    indexes.push_back({u"ac", true, false, {u"A", u"C"}});
    indexes.push_back({u"l", false, false, {u"L"}});
    indexes.push_back({u"none", false, false, {}});
    indexes.push_back({u"pk2", false, true, {u"A"}});
    db->create_table(u"T", schema, indexes)->finish();
    db->finish();
    const std::string expected = set_options +
                                 "IF OBJECT_ID ('[dbo].[T]', 'U') IS NOT NULL\r\n"
                                 "DROP TABLE [dbo].[T];\r\nGO\r\n"
                                 "CREATE TABLE [dbo].[T] (\r\n"
                                 "\t[A] NVARCHAR(300) ,\r\n"
                                 "\t[B] NVARCHAR(200) ,\r\n"
                                 "\t[C] NVARCHAR(150) ,\r\n"
                                 "\t[L] BIT,\r\n"
                                 "\t[K] INT NOT NULL DEFAULT 7,\r\n"
                                 "\t PRIMARY KEY ([K])\r\n"
                                 ")\nGO\n"
                                 "CREATE UNIQUE INDEX [ac] ON [dbo].[T]([A], [C]) WHERE [A] IS "
                                 "NOT NULL AND [C] IS NOT NULL\nGO\n";
    EXPECT_EQ(tabrix_test::read_file(dir / "i.sql"), expected);
}

TEST(MssScript, ClusteredIndexNeedsASmallKey) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "c.sql");
    udb_schema memos;
    memos.push_back(t_ftd(0, u"M1", VT_BSTR));
    memos.push_back(t_ftd(0, u"M2", VT_BLOB));
    db->create_table(u"memos", memos, udb_indexes())->finish();
    udb_schema wide;
    wide.push_back(t_ftd(451, u"W", VT_BSTR));
    wide.push_back(t_ftd(901, u"B", VT_BLOB));
    wide.push_back(t_ftd(450, u"N]", VT_BSTR));
    db->create_table(u"wide", wide, udb_indexes())->finish();
    db->finish();
    std::string script = tabrix_test::read_file(dir / "c.sql");
    EXPECT_EQ(script.find("CREATE CLUSTERED INDEX [M"), std::string::npos);
    EXPECT_NE(script.find("CREATE CLUSTERED INDEX [N]]_clust_idx] ON [dbo].[wide]([N]]])\nGO\n"),
              std::string::npos);
}

TEST(MssScript, DefaultsIdentityAndNames) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "d.sql");
    udb_schema schema;
    schema.push_back(t_ftd(4, u"A", VT_I4, false, true));
    schema.push_back(t_ftd(8, u"B", VT_I8, false, true));
    schema.push_back(t_ftd(20, u"T", VT_BSTR, false, false, ole_variant(u"it's")));
    schema.push_back(t_ftd(38, u"G", VT_BSTR, false, false, ole_variant(u"NEWID()"), 1));
    schema.push_back(t_ftd(38, u"H", VT_BSTR, false, false, ole_variant(u"x"), 1));
    schema.push_back(t_ftd(4, u"N", VT_I4, false, false, ole_variant(u"1); DROP TABLE x; --")));
    auto table = db->create_table(u"Таблица ]x", schema, udb_indexes());
    table->finish(); // no records: no SET IDENTITY_INSERT
    db->finish();
    const std::string expected =
        set_options + "IF OBJECT_ID (N'[dbo].[Таблица ]]x]', 'U') IS NOT NULL\r\n"
                      "DROP TABLE [dbo].[Таблица ]]x];\r\nGO\r\n"
                      "CREATE TABLE [dbo].[Таблица ]]x] (\r\n"
                      "\t[A] INT IDENTITY NOT NULL,\r\n"
                      "\t[B] BIGINT NOT NULL,\r\n"
                      "\t[T] NVARCHAR(20)  DEFAULT 'it''s',\r\n"
                      "\t[G]  uniqueidentifier DEFAULT newid(),\r\n"
                      "\t[H]  uniqueidentifier,\r\n"
                      "\t[N] INT DEFAULT '1); DROP TABLE x; --'\r\n"
                      ")\nGO\n"
                      "CREATE CLUSTERED INDEX [A_clust_idx] ON [dbo].[Таблица ]]x]([A])\n"
                      "GO\n";
    EXPECT_EQ(tabrix_test::read_file(dir / "d.sql"), expected);
}

TEST(MssScript, RecoverableFailuresWriteNothing) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "f.sql");
    auto table = db->create_table(u"people", people_schema(), udb_indexes());
    db->file().flush();
    const uint64_t size = db->file().size();
    auto expect_level0 = [](auto&& action, std::string_view message) {
        try {
            action();
            ADD_FAILURE() << "no exception for " << message;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.message(), message);
            EXPECT_EQ(e.level(), 0);
        }
    };
    expect_level0([&] { db->create_table(u"PEOPLE", people_schema(), udb_indexes()); },
                  "The specified table already exists");
    expect_level0([&] { db->create_table(u"empty", udb_schema(), udb_indexes()); },
                  "A table without columns cannot be created in MS SQL");
    udb_record short_record;
    short_record.add_field(u"ID", 4, ole_variant(1));
    expect_level0([&] { table->append_record(short_record); },
                  "The structure of data source does not conform to the destination table.");
    EXPECT_EQ(db->file().size(), size);

    // A record whose fields are not the table's: the conversion stops the run.
    udb_record other;
    for (int i = 0; i < 6; ++i)
        other.add_field(u"X" + tk_from_utf8(std::to_string(i)), 1, ole_variant(1));
    try {
        table->append_record(other);
        ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
    }
    // A text that cannot be written leaves no half statement behind.
    udb_record bad;
    std::u16string broken = u"x";
    broken.push_back(char16_t(0xDC00));
    add_person(bad, 1, broken, "1", day(2000, 1, 1), true, u"");
    EXPECT_THROW(table->append_record(bad), tk_exception);
    add_person(bad, 3, u"ok", "1", day(2000, 1, 1), true, u"");
    table->append_record(bad);
    table->finish();
    db->finish();
    // The script is closed: nothing more can go in.
    EXPECT_THROW(db->query(u"SELECT 1"), tk_mail_assertion);
    std::string script = tabrix_test::read_file(dir / "f.sql");
    EXPECT_EQ(script.substr(size),
              "SET IDENTITY_INSERT [dbo].[people] ON;\r\nGO\r\n"
              "INSERT INTO [dbo].[people] ([ID], [NAME], [PRICE], [BORN], [OK], [NOTES]) VALUES "
              "(3, N'ok', 1, '2000-01-01', 1, '');\r\nGO\r\n\r\n"
              "SET IDENTITY_INSERT [dbo].[people] OFF;\r\nGO\r\n");
}

TEST(MssScript, ValuesLargerThanTheBufferArriveWhole) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "big.sql");
    udb_schema schema;
    schema.push_back(t_ftd(0, u"M", VT_BSTR));
    auto table = db->create_table(u"big", schema, udb_indexes());
    const std::u16string memo(3 * mss_script_file::flush_threshold, u'\u00e9');
    udb_record r;
    r.add_field(u"M", 0, ole_variant(memo));
    for (int i = 0; i < 3; ++i)
        table->append_record(r);
    table->finish();
    db->finish();
    const std::string script = tabrix_test::read_file(dir / "big.sql");
    const std::string insert =
        "INSERT INTO [dbo].[big] ([M]) VALUES (N'" + tk_to_utf8(memo) + "');\r\nGO\r\n\r\n";
    EXPECT_EQ(script.substr(script.size() - 3 * insert.size()), insert + insert + insert);
}

// SQL Server compiles a whole batch, skipped branches too: a statement that names the columns
// of a table that may exist in another shape stands only inside EXEC (N'...').
TEST(MssScript, ExistingTablesAreDroppedSkippedOrAppendedToWhenTheScriptRuns) {
    tabrix_test::scratch_dir dir;
    mss_dump_options options = default_options();
    options.dmp_ins_com = false;
    udb_indexes indexes;
    indexes.push_back({u"by_name", true, false, {u"NAME"}});
    const std::string create = "BEGIN\r\nCREATE TABLE [dbo].[people] (\r\n\t[ID] INT IDENTITY";
    const std::string if_missing = "IF OBJECT_ID ('[dbo].[people]', 'U') IS NULL\r\n";
    auto write = [&](mss_dump_options::existing_table existing, bool with_indexes) {
        options.existing = existing;
        options.dmp_indexes = with_indexes;
        auto db = sql_engine::create_dump(tk_from_utf8((dir / "m.sql").string()), options);
        auto table = db->create_table(u"people", people_schema(), indexes);
        udb_record r;
        add_person(r, 1, u"O'Neil", "12.5", day(1970, 1, 2), true, u"");
        table->append_record(r);
        table->finish();
        db->finish();
        return tabrix_test::read_file(dir / "m.sql");
    };

    std::string script = write(mss_dump_options::existing_table::drop, false);
    EXPECT_EQ(count(script, "DROP TABLE [dbo].[people]"), 1u);
    EXPECT_EQ(count(script, "INDEX"), 0u) << "no index, the clustered one neither";

    script = write(mss_dump_options::existing_table::skip, true);
    EXPECT_EQ(count(script, "DROP TABLE [dbo].[people]"), 0u);
    EXPECT_EQ(count(script, "INSERT INTO #tabrix_rows ([ID], [NAME], [PRICE]"), 1u);
    EXPECT_NE(script.find("CREATE TABLE #tabrix_rows (\r\n\t[ID] INT NULL,\r\n\t[NAME] "
                          "NVARCHAR(10)  COLLATE DATABASE_DEFAULT NULL,\r\n"),
              std::string::npos)
        << "the table's own text columns, in the database's collation";
    // After the records: created and filled only when missing.
    const size_t tail = script.find(if_missing + create);
    ASSERT_NE(tail, std::string::npos) << script;
    EXPECT_LT(script.find("INSERT INTO #tabrix_rows"), tail);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[people]"), 1u);
    EXPECT_NE(script.find("EXEC (N'SET IDENTITY_INSERT [dbo].[people] ON; INSERT INTO "
                          "[dbo].[people] ([ID], [NAME], [PRICE], [BORN], [OK], [NOTES]) SELECT "
                          "[ID], [NAME], [PRICE], [BORN], [OK], [NOTES] FROM #tabrix_rows; SET "
                          "IDENTITY_INSERT [dbo].[people] OFF;');\r\n"
                          "EXEC (N'CREATE CLUSTERED INDEX [ID_clust_idx] ON "
                          "[dbo].[people]([ID])');\r\n"
                          "EXEC (N'CREATE UNIQUE INDEX [by_name] ON [dbo].[people]([NAME]) WHERE "
                          "[NAME] IS NOT NULL');\r\nEND;\r\nDROP TABLE #tabrix_rows;\r\nGO\r\n"),
              std::string::npos)
        << script;
    EXPECT_EQ(count(script, "SET IDENTITY_INSERT"), 2u) << "only inside EXEC";

    script = write(mss_dump_options::existing_table::append, true);
    EXPECT_EQ(count(script, "DROP TABLE"), 0u);
    EXPECT_NE(script.find(if_missing + create), std::string::npos) << script;
    EXPECT_NE(script.find(");\r\nEXEC (N'CREATE CLUSTERED INDEX [ID_clust_idx]"),
              std::string::npos);
    EXPECT_NE(script.find("IF OBJECTPROPERTY(OBJECT_ID('[dbo].[people]'), 'TableHasIdentity') = "
                          "1 SET IDENTITY_INSERT [dbo].[people] ON;\r\nGO\r\nINSERT INTO "
                          "[dbo].[people] ([ID]"),
              std::string::npos)
        << script;
}

TEST(MssScript, AScriptTakesItsNameOnlyWhenWhole) {
    tabrix_test::scratch_dir dir;
    tabrix_test::write_file(dir / "s.sql", "earlier");
    std::filesystem::create_symlink(dir / "s.sql", dir / "link.sql");
    auto db = open_without_comments(dir / "link.sql");
    db->create_table(u"t", people_schema(), udb_indexes())->finish();
    db->file().flush();
    EXPECT_EQ(tabrix_test::read_file(dir / "s.sql"), "earlier");
    EXPECT_EQ(db->file().working_path(), (dir / "s.sql.incomplete").string());
    db->finish();
    EXPECT_NE(tabrix_test::read_file(dir / "s.sql").find("CREATE TABLE [dbo].[t]"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.sql"));
    EXPECT_FALSE(std::filesystem::exists(dir / "s.sql.incomplete"));

    // Stopped: the working file stays beside the script, under the next free name when an
    // earlier one is there.
    tabrix_test::write_file(dir / "s.sql.incomplete", "older");
    db = open_without_comments(dir / "s.sql");
    db->create_table(u"t", people_schema(), udb_indexes());
    db->abandon();
    EXPECT_NE(tabrix_test::read_file(dir / "s.sql.incomplete-2").find("CREATE TABLE"),
              std::string::npos);
    EXPECT_EQ(tabrix_test::read_file(dir / "s.sql.incomplete"), "older");
    EXPECT_NE(tabrix_test::read_file(dir / "s.sql").find("CREATE TABLE"), std::string::npos);
}

TEST(MssScript, FilesThatCannotBeWrittenStopTheRun) {
    tabrix_test::scratch_dir dir;
    try {
        sql_engine::create_dump(tk_from_utf8((dir / "missing" / "x.sql").string()),
                                default_options());
        ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
        EXPECT_NE(e.message().find("x.sql"), std::string::npos);
    }
    // A device is written into, never replaced.
    if (!std::filesystem::is_character_file("/dev/full"))
        GTEST_SKIP() << "/dev/full is not available";
    auto db = sql_engine::create_dump(u"/dev/full", default_options());
    try {
        db->finish();
        ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
        EXPECT_NE(e.message().find("No space left on device"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST(MssScript, SchemasViewsKeysAndDrops) {
    tabrix_test::scratch_dir dir;
    auto db = open_without_comments(dir / "v.sql");
    db->create_schema(u"dbo");
    db->create_schema(u"sales");
    db->create_views({{u"v1", u"select `a` from t where isnull(b) and c = 'it''s `q`'"},
                      {u"2v", u"SELECT now() FROM t"},
                      {u"v3", u"update t set a = 1"}});
    udb_relationships keys;
    keys.push_back({u"fk_ab", u"", u"child", u"parent", u"", {u"A"}, {u"B"}});
    keys.push_back(
        {u"fk_cd", u"", u"child", u"parent", u"ON DELETE NO ACTION", {u"C", u"D"}, {u"E", u"F"}});
    db->create_relationships(keys);
    db->delete_fk(keys[0]);
    db->delete_idx(u"child", {u"ix", false, false, {u"A"}});
    db->delete_idx(u"child", {u"pk", false, true, {u"A"}});
    EXPECT_EQ(db->query(u"SELECT 1"), nullptr);
    EXPECT_FALSE(db->test_query(u"SELECT 1"));
    EXPECT_EQ(db->get_query(u"q", u"SELECT 1", 0), nullptr);
    EXPECT_THROW(db->get_table(u"child", udb_open_mode::read), tk_mail_assertion);
    db->finish();
    const std::string expected =
        set_options + "CREATE SCHEMA [sales];\r\nGO\r\n" +
        "IF OBJECT_ID('[v1]') IS NOT NULL DROP VIEW [v1]\r\nGO\r\n"
        "CREATE VIEW [v1] AS select [a] from t where (b) is null and c = 'it''s `q`'\r\nGO\r\n"
        "IF OBJECT_ID('[_2v]') IS NOT NULL DROP VIEW [_2v]\r\nGO\r\n"
        "CREATE VIEW [_2v] AS SELECT getdate() FROM t\r\nGO\r\n"
        "ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_ab] FOREIGN KEY([A]) REFERENCES "
        "[dbo].[parent]([B]) ON DELETE CASCADE ON UPDATE CASCADE;\r\nGO\r\n"
        "ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_cd] FOREIGN KEY([C], [D]) REFERENCES "
        "[dbo].[parent]([E], [F]) ON DELETE NO ACTION;\r\nGO\r\n"
        "ALTER TABLE [dbo].[child] DROP CONSTRAINT [fk_ab]\nGO\n"
        "DROP INDEX IF EXISTS [ix] ON [dbo].[child]\nGO\n"
        "ALTER TABLE [dbo].[child] DROP CONSTRAINT [pk]\nGO\n"
        "SELECT 1\n";
    EXPECT_EQ(tabrix_test::read_file(dir / "v.sql"), expected);
    EXPECT_EQ(db->get_names_map().get_tn_mapped_name(u"2v", true), u"_2v");
}

TEST(MssScript, FastLoadingFormatGroupsRowsAndBatches) {
    tabrix_test::scratch_dir dir;
    mss_dump_options options = default_options();
    options.dmp_ins_com = false;
    options.rows_per_insert = 2;
    options.rows_per_batch = 3;
    auto db = sql_engine::create_dump(tk_from_utf8((dir / "f.sql").string()), options);
    auto table = db->create_table(u"people", people_schema(), udb_indexes());
    udb_record r;
    std::u16string broken = u"x";
    broken.push_back(char16_t(0xDC00));
    for (int id = 1; id <= 6; ++id) {
        // Records 1 and 4 fail: each is left out of the statement it would have opened.
        add_person(r, id, id % 3 == 1 ? std::u16string_view(broken) : u"it's", "1",
                   day(2000, 1, id), true, u"");
        if (id % 3 == 1)
            EXPECT_THROW(table->append_record(r), tk_exception);
        else
            table->append_record(r);
    }
    add_person(r, 7, u"last", "1", day(2000, 1, 7), false, u"");
    table->append_record(r);
    table->finish();
    db->finish();
    const std::string insert =
        "INSERT INTO [dbo].[people] ([ID], [NAME], [PRICE], [BORN], [OK], [NOTES]) VALUES ";
    std::string script = tabrix_test::read_file(dir / "f.sql");
    const std::string head = "SET QUOTED_IDENTIFIER ON;\r\nSET DATEFORMAT ymd;\r\n"
                             "SET NOCOUNT ON;\r\nSET XACT_ABORT ON;\r\nGO\r\n";
    EXPECT_EQ(script.substr(0, head.size()), head);
    const size_t data = script.find("SET IDENTITY_INSERT");
    ASSERT_NE(data, std::string::npos);
    // Two rows a statement, a batch every three rows: the third row ends its statement early.
    EXPECT_EQ(script.substr(data), "SET IDENTITY_INSERT [dbo].[people] ON;\r\nGO\r\n" + insert +
                                       "(2, N'it''s', 1, '2000-01-02', 1, ''),\r\n"
                                       "(3, N'it''s', 1, '2000-01-03', 1, '');\r\n" +
                                       insert + "(5, N'it''s', 1, '2000-01-05', 1, '');\r\nGO\r\n" +
                                       insert +
                                       "(6, N'it''s', 1, '2000-01-06', 1, ''),\r\n"
                                       "(7, N'last', 1, '2000-01-07', 0, '');\r\nGO\r\n"
                                       "SET IDENTITY_INSERT [dbo].[people] OFF;\r\nGO\r\n");
}
