// Writes scripts for the independent T-SQL parser check (tests/mss/sql/check_sql.mjs): small
// scripts with every statement form the writer has, and a script per folder of the shared
// fixtures. They go to $TABRIX_SQL_SAMPLES or, by default, sql-samples beside the build's
// bin folder.
#include "dbf/dbf_database.h"
#include "mss/mss_dmp_database.h"
#include "mss/mss_validator.h"
#include "mss/sql_engine.h"
#include "ole/ole_decimal.h"
#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_recordset.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

fs::path samples_dir() {
    static const fs::path dir = [] {
        const char* env = std::getenv("TABRIX_SQL_SAMPLES");
        fs::path d =
            env && *env ? fs::path(env) : fs::path(TABRIX_BIN_DIR).parent_path() / "sql-samples";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::u16string sample_path(const std::string& name) {
    return tk_from_utf8((samples_dir() / name).string());
}

mss_dump_options all_options() {
    mss_dump_options options;
    options.title = "Tabrix 2.3 ";
    options.dmp_ins_db = true;
    return options;
}

SYSTEMTIME moment(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s,
                  uint16_t ms) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

udb_schema every_type_schema() {
    udb_schema s;
    s.push_back(t_ftd(4, u"ID", VT_I4, false, true));
    s.push_back(t_ftd(20, u"NAME", VT_BSTR, true, false, ole_variant(u"it's")));
    s.push_back(t_ftd(0, u"MEMO", VT_BSTR));
    s.push_back(t_ftd(12, u"PRICE", VT_DECIMAL, false, false, ole_variant(), 12 * 256 + 2));
    s.push_back(t_ftd(8, u"CASH", VT_CY));
    s.push_back(t_ftd(8, u"RATE", VT_R8));
    s.push_back(t_ftd(4, u"RATIO", VT_R4));
    s.push_back(t_ftd(8, u"BIG", VT_I8));
    s.push_back(t_ftd(8, u"DAY", VT_DATE, false, false, ole_variant(), 2));
    s.push_back(t_ftd(8, u"STAMP", VT_DATE, false, false, ole_variant(), 1));
    s.push_back(t_ftd(1, u"OK", VT_BOOL));
    s.push_back(t_ftd(0, u"PIC", VT_BLOB));
    s.push_back(t_ftd(38, u"GUID", VT_BSTR, false, false, ole_variant(u"newid()"), 1));
    s.push_back(t_ftd(10, u"SELECT", VT_BSTR));
    s.push_back(t_ftd(10, u"odd]name", VT_BSTR));
    return s;
}

void fill_every_type(udb_record& r, int i) {
    DECIMAL price{};
    VarDecFromStr(i % 2 ? "-123456789012.5" : "1234.5", LOCALE_EN_US, 0, price);
    const uint8_t bytes[] = {0x00, 0xFF, 0x27, uint8_t(i)};
    r.clear();
    r.add_field(u"ID", 4, ole_variant(i));
    r.add_field(u"NAME", 20, i % 3 ? ole_variant(u"O'Neil \"q\" ]") : ole_variant());
    r.add_field(
        u"MEMO", 0,
        ole_variant(u"line 1\r\nGO\r\n:r other.sql\r\n$(var) C:\\dir\\\r\nline 5 -- /* */ ; "
                    u"Grüße Привет 𝄞"));
    r.add_field(u"PRICE", 12, ole_variant(price));
    r.add_field(u"CASH", 8, ole_variant(CY{-123456}));
    r.add_field(u"RATE", 8, ole_variant(i % 2 ? 1e308 * 10 : 0.1));
    r.add_field(u"RATIO", 4, ole_variant(1.5f));
    r.add_field(u"BIG", 8, ole_variant(int64_t(-9000000000000000000)));
    r.add_field(u"DAY", 8, ole_variant(moment(1600, 2, 29, 0, 0, 0, 0)));
    r.add_field(u"STAMP", 8, ole_variant(moment(2020, 12, 31, 23, 59, 58, 7)));
    r.add_field(u"OK", 1, ole_variant(i % 2 == 0));
    r.add_field(u"PIC", 0, ole_variant(sizeof bytes, bytes));
    r.add_field(u"GUID", 38, ole_variant(u"guid{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    r.add_field(u"SELECT", 10, ole_variant(u""));
    r.add_field(u"odd]name", 10, ole_variant(u"x"));
}

void write_every_type(const std::string& file, const mss_dump_options& options,
                      const udb_run_context& context = {}) {
    auto db = sql_engine::create_dump(sample_path(file), options);
    db->set_context(context);
    db->create_schema(u"sales");
    udb_indexes indexes;
    indexes.push_back({u"pk_id", false, true, {u"ID"}});
    indexes.push_back({u"by_name", true, false, {u"NAME", u"SELECT"}});
    indexes.push_back({u"by_day", false, false, {u"DAY"}});
    auto table = db->create_table(u"every type", every_type_schema(), indexes);
    udb_record r;
    for (int i = 1; i <= 4; ++i) {
        fill_every_type(r, i);
        table->append_record(r);
    }
    table->finish();
    udb_schema plain;
    plain.push_back(t_ftd(10, u"A", VT_BSTR));
    plain.push_back(t_ftd(4, u"B", VT_I4, false, true));
    auto second = db->create_table(u"[sales].[second]", plain, udb_indexes());
    second->finish();
    udb_relationships keys;
    keys.push_back({u"fk_second", u"", u"[sales].[second]", u"every type", u"", {u"B"}, {u"ID"}});
    db->create_relationships(keys);
    db->create_views({{u"v_names", u"select `NAME`, now() as t, isnull(MEMO) from `every type`"},
                      {u"1v", u"SELECT ifnull(NAME, 'x') FROM [every type]"}});
    db->delete_idx(u"every type", indexes[2]);
    db->delete_idx(u"every type", indexes[0]);
    db->delete_fk(keys[0]);
    db->delete_tab(u"[sales].[second]");
    db->finish();
}

// A folder of the shared fixtures converted table by table, as the conversion driver does.
struct folder_result {
    size_t tables = 0;
    size_t failed_tables = 0;
    uint64_t records = 0;
    uint64_t failed_records = 0;
    uint64_t undecodable = 0; // text values the source reported as holding undecodable bytes
};

folder_result convert_folder(const fs::path& folder, const std::string& file) {
    folder_result result;
    dbf_database source(tk_from_utf8(folder.string()), false, 0);
    auto script = sql_engine::create_dump(sample_path(file), all_options());
    mss_tn_validator validator(source.get_table_names(), script->get_table_names());
    for (const std::u16string& name : source.get_table_names()) {
        ++result.tables;
        try {
            auto table = source.get_table(name, dbf_database::mode_read);
            std::u16string destination =
                validator.is_acceptable(name) ? name : validator.get_safe_name(name);
            validator.add_existing_name(destination);
            auto target =
                script->create_table(destination, table->get_schema(), table->get_indexes());
            for (table->reset(); !table->is_eof(); table->next()) {
                try {
                    if (udb_record* record = table->get_item()) {
                        target->append_record(*record);
                        ++result.records;
                    }
                } catch (const tk_exception& e) {
                    if (e.level() > 0)
                        throw;
                    ++result.failed_records;
                }
            }
            target->finish();
            for (size_t c = 0; c < table->get_schema().size(); ++c)
                result.undecodable +=
                    table->value_notes().count(c, udb_value_notes::undecodable_text);
        } catch (const tk_exception& e) {
            if (e.level() > 1)
                throw;
            ++result.failed_tables;
            std::cerr << "    " << tk_to_utf8(name) << ": " << e.message() << "\n";
        }
    }
    script->finish();
    return result;
}

// A table in the format that loads fast, with everyday values that both parsers read.
void write_loads_fast(const std::string& file, mss_dump_options options) {
    options.rows_per_insert = 3;
    options.rows_per_batch = 5;
    auto db = sql_engine::create_dump(sample_path(file), options);
    udb_schema schema;
    schema.push_back(t_ftd(4, u"ID", VT_I4, false, true));
    schema.push_back(t_ftd(40, u"NAME", VT_BSTR));
    schema.push_back(t_ftd(12, u"AMOUNT", VT_DECIMAL, false, false, ole_variant(), 12 * 256 + 2));
    schema.push_back(t_ftd(8, u"BORN", VT_DATE, false, false, ole_variant(), 2));
    schema.push_back(t_ftd(1, u"ACTIVE", VT_BOOL));
    schema.push_back(t_ftd(8, u"BIG", VT_I8));
    schema.push_back(t_ftd(0, u"NOTE", VT_BSTR));
    auto table = db->create_table(u"people", schema, udb_indexes());
    const std::u16string names[] = {u"O'Brien", u"Zoë Müller", u"", u"Ærin Øster", u"Seán"};
    udb_record r;
    for (int i = 1; i <= 12; ++i) {
        DECIMAL amount{};
        VarDecFromStr(i % 2 ? "-1234.5" : "98765.25", LOCALE_EN_US, 0, amount);
        r.clear();
        r.add_field(u"ID", 4, ole_variant(i));
        r.add_field(u"NAME", 40, ole_variant(std::u16string_view(names[i % 5])));
        r.add_field(u"AMOUNT", 12, i % 4 ? ole_variant(amount) : ole_variant());
        r.add_field(u"BORN", 8, ole_variant(moment(1950 + i, 1 + i % 12, 1 + i, 0, 0, 0, 0)));
        r.add_field(u"ACTIVE", 1, ole_variant(i % 3 == 0));
        r.add_field(u"BIG", 8, ole_variant(int64_t(-9000000000000000000) + i));
        r.add_field(u"NOTE", 0, ole_variant(u"it's paid, déjà\r\nnext line"));
        table->append_record(r);
    }
    table->finish();
    db->finish();
}

} // namespace

TEST(MssSqlSamples, EveryStatementForm) {
    write_every_type("every-type.sql", all_options());
    mss_dump_options plain = all_options();
    plain.dmp_unicode = false;
    plain.dmp_ins_com = false;
    write_every_type("every-type-plain.sql", plain);
    {
        udb_custom_conversion rules;
        rules.add_rule(std::make_unique<tabrix_bool_rule>());
        write_every_type("every-type-logical-as-is.sql", all_options(), {.rules = &rules});
    }
    // Existing tables skipped or appended to, when the script runs.
    mss_dump_options skip = all_options();
    skip.dmp_ins_db = false;
    skip.existing = mss_dump_options::existing_table::skip;
    write_every_type("every-type-skip-existing.sql", skip);
    mss_dump_options append = skip;
    append.existing = mss_dump_options::existing_table::append;
    write_every_type("every-type-merge.sql", append);
    // The format that loads fast: rows grouped into statements and batches.
    mss_dump_options fast = all_options();
    fast.rows_per_insert = 3;
    write_every_type("loads-fast.sql", fast);
    fast.rows_per_batch = 2;
    fast.existing = mss_dump_options::existing_table::skip;
    fast.dmp_ins_db = false;
    write_every_type("loads-fast-skip-existing.sql", fast);
    write_loads_fast("loads-fast-two-parsers.sql", all_options());
    write_loads_fast("loads-fast-skip-existing-two-parsers.sql", fast);
    std::string script = tabrix_test::read_file(samples_dir() / "every-type-logical-as-is.sql");
    EXPECT_NE(script.find("[OK] CHAR(1)"), std::string::npos);
    EXPECT_NE(script.find(", 'T', 0x00FF27"), std::string::npos);
}

// Column definitions and statements that stand in the script of a fixture folder, by the
// folder's path end. The values themselves are compared with the authors' in
// test_fixtures_tables.cpp and, for every folder, with the server's tables by the test server's
// script tests.
struct expected_rows {
    std::string folder;
    std::vector<std::string> rows;
};

const std::vector<expected_rows>& expected_fixture_rows() {
    static const std::vector<expected_rows> rows = {
        {tabrix_test::infused_dbf,
         {"\t[PRODUCTID] INT IDENTITY NOT NULL,", "\t[UNITPRICE] MONEY,",
          // Two fields named Point_ID; F(20,18) read exactly; the width holds the point.
          "\t[Point_ID] NVARCHAR(12) ,\r\n", "\t[Point_ID_2] INT\r\n", "\t[FLOAT] NUMERIC(19,18),",
          "\t[GPS_Second] NUMERIC(11,3),", "\t[UPDATED] DATETIME2,"}},
        {"luads-php-xbase/tests/Resources/dBase",
         {"\t[LARGE_INT] NUMERIC(20,0),", "\t[DATETIME] DATETIME2,",
          "\t[DBASE_OLE] VARBINARY(MAX)"}},
        {"valentin-kaiser-go-dbase/examples/test_data/database",
         {"INSERT INTO [dbo].[expense reports] (", "N'Feb. ''95 Sales Trip'"}},
    };
    return rows;
}

TEST(MssSqlSamples, EveryFixtureFolderConverts) {
    TABRIX_REQUIRE_FIXTURES();
    std::set<fs::path> folders;
    for (const auto& entry : fs::recursive_directory_iterator(tabrix_test::fixtures_dir())) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (entry.is_regular_file() && ext == ".dbf")
            folders.insert(entry.path().parent_path());
    }
    ASSERT_FALSE(folders.empty());
    size_t n = 0;
    uint64_t records = 0;
    size_t checked = 0;
    for (const fs::path& folder : folders) {
        const std::string file = "fixtures-" + std::to_string(++n) + ".sql";
        folder_result result = convert_folder(folder, file);
        records += result.records;
        EXPECT_GT(result.tables, 0u) << folder;
        // Only the deliberately damaged tables fail: a 1-byte file and one without columns.
        if (folder.string().find("fileExceptions") == std::string::npos &&
            folder.filename() != "test") {
            EXPECT_EQ(result.failed_tables, 0u) << folder;
        }
        const std::string script = tabrix_test::read_file(samples_dir() / file);
        // U+FFFD only where the source reported bytes its code page cannot decode.
        if (result.undecodable == 0) {
            EXPECT_EQ(script.find("\xEF\xBF\xBD"), std::string::npos) << file << ": " << folder;
        }
        for (const expected_rows& expected : expected_fixture_rows()) {
            if (!folder.string().ends_with(expected.folder))
                continue;
            ++checked;
            for (const std::string& row : expected.rows)
                EXPECT_NE(script.find(row), std::string::npos) << file << ": " << row;
        }
    }
    EXPECT_EQ(checked, expected_fixture_rows().size());
    EXPECT_GT(records, 1000u);
}
