// The shared fixtures: tables written by other software, read and compared with what their
// authors stated of their layout. Their values, listings and CSV and JSON exports are compared
// with what tabrix-cli inspect reads by tests/sqlserver/test_fixture_values.py.
#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

fs::path fixture(const std::string& relative) {
    return tabrix_test::fixtures_dir() / relative;
}

std::unique_ptr<dbf_recordset> open_fixture(const std::string& relative, uint8_t user_cp = 0) {
    return std::make_unique<dbf_recordset>(fixture(relative).string(), dbf_recordset::mode_read,
                                           user_cp);
}

struct rows {
    std::vector<std::vector<ole_variant>> values;
    std::vector<bool> deleted;
};

rows read_all(dbf_recordset& table) {
    rows out;
    for (table.reset(); !table.is_eof(); table.next()) {
        udb_record* r = table.get_item();
        std::vector<ole_variant> values;
        for (size_t i = 0; i < r->size(); ++i)
            values.push_back((*r)[i]);
        out.values.push_back(std::move(values));
        out.deleted.push_back(r->is_deleted());
    }
    return out;
}

bool is_nothing(const ole_variant& v) {
    return v.get_type() == VT_EMPTY || v.get_type() == VT_NULL;
}

std::string memo_text(dbf_memo_file& memo, uint32_t block) {
    std::string data;
    memo.read_memo(block, data);
    return data;
}

std::string fixture_path(const std::string& relative) {
    return fixture(relative).string();
}

} // namespace

// ---- Values stated by the source projects -----------------------------------------------------

TEST(fixtures_tables, dbase7_tables) {
    TABRIX_REQUIRE_FIXTURES();
    auto table = open_fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII.dbf");
    EXPECT_EQ(table->get_version(), 0x8C);
    EXPECT_EQ(table->get_header().data_offset, 645u);
    EXPECT_EQ(table->get_header().rec_size, 126);
    EXPECT_EQ(table->get_record_count(), 3u);
    const auto& fds = table->get_descriptors();
    ASSERT_EQ(fds.size(), 12u);
    const struct {
        const char* name;
        char type;
        int length;
        uint32_t offset;
    } columns[] = {{"NAME", 'C', 20, 1},     {"BIRTHDAY", 'D', 8, 21}, {"IS_MAN", 'L', 1, 29},
                   {"BIO", 'M', 10, 30},     {"MONEY", 'N', 20, 40},   {"IMAGE", 'M', 10, 60},
                   {"AUTO_INC", '+', 4, 70}, {"INTEGER", 'I', 4, 74},  {"LARGE_INT", 'N', 20, 78},
                   {"DATETIME", '@', 8, 98}, {"BLOB", 'B', 10, 106},   {"DBASE_OLE", 'G', 10, 116}};
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(fds[i].name_view(), columns[i].name);
        EXPECT_EQ(char(fds[i].field_type), columns[i].type);
        EXPECT_EQ(fds[i].len, columns[i].length);
        EXPECT_EQ(fds[i].offset, columns[i].offset);
    }
    EXPECT_EQ(fds[4].dec, 4);
    const udb_schema& schema = table->get_schema();
    EXPECT_EQ(schema[6].vartype, VT_I4);
    EXPECT_TRUE(schema[6].b_auto_num);
    EXPECT_EQ(schema[7].vartype, VT_I4);
    EXPECT_EQ(schema[9].vartype, VT_DATE);
    EXPECT_EQ(schema[10].vartype, VT_BLOB);

    const rows all = read_all(*table);
    const int auto_inc[] = {0, 1, 2}, integer[] = {1, 2, 3}, large[] = {4, 5, 6};
    const char* stamps[] = {"1800-01-01 01:01:01", "1970-01-01", "2020-02-20 20:20:20"};
    for (size_t r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(all.values[r][6].to_long(), auto_inc[r]);
        EXPECT_EQ(all.values[r][7].to_long(), integer[r]);
        EXPECT_EQ(all.values[r][8].to_double(), large[r]);
        EXPECT_EQ(all.values[r][9].to_string(), stamps[r]);
        EXPECT_TRUE(is_nothing(all.values[r][11]));
    }
    EXPECT_EQ(all.values[0][0].to_wstring(), u"Groot");
    EXPECT_EQ(all.values[0][10].to_string(), "0x717765"); // 'qwe'
    // The image of record 1 (memo block 0x3F) is read in the memo file tests.
    ASSERT_NE(table->get_memo_file(), nullptr);
    EXPECT_EQ(table->get_memo_kind(), dbf_memo_dbase4);

    table = open_fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII_ts.dbf");
    EXPECT_EQ(table->get_version(), 0x04);
    const rows ts = read_all(*table);
    ASSERT_EQ(ts.values.size(), 15u);
    std::vector<std::string> live;
    for (size_t r = 0; r < ts.values.size(); ++r)
        if (!ts.deleted[r])
            live.push_back(ts.values[r][0].to_string());
    EXPECT_EQ(live, (std::vector<std::string>{"1900-01-01", "1900-01-02", "1900-01-03",
                                              "2000-01-01", "2000-01-02", "2000-01-03",
                                              "2000-01-04", "2000-01-05", "2000-01-10"}));
}

TEST(fixtures_tables, every_table_file_reads_to_its_end) {
    TABRIX_REQUIRE_FIXTURES();
    size_t tables = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tabrix_test::fixtures_dir())) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (!entry.is_regular_file() || (ext != ".dbf" && ext != ".dbc"))
            continue;
        SCOPED_TRACE(entry.path().string());
        if (entry.file_size() < 32) {
            EXPECT_THROW(dbf_recordset(entry.path().string(), dbf_recordset::mode_read),
                         dbf_exception);
            continue;
        }
        dbf_recordset table(entry.path().string(), dbf_recordset::mode_read);
        size_t n = 0;
        for (table.reset(); !table.is_eof(); table.next(), ++n)
            ASSERT_EQ(table.get_item()->size(), table.get_schema().size());
        EXPECT_EQ(n, table.get_record_count());
        ++tables;
    }
    EXPECT_GE(tables, 29u);
}

// Memo files read through the block numbers their tables store: the binary memos and the ends
// of memo files that the tables' values do not show.
TEST(fixtures_tables, binary_memos_and_memos_at_the_file_end) {
    TABRIX_REQUIRE_FIXTURES();
    // dBASE 7: the image of record 1, at block 0x3F, is a PNG of 98,026 bytes up to its IEND
    // chunk (its stored length, 98,034, counts the block's 8 header bytes).
    auto seven = dbf_memo_file::open(
        fixture_path("luads-php-xbase/tests/Resources/dBase/dBaseVII.dbf"), dbf_memo_dbase4);
    ASSERT_TRUE(seven);
    EXPECT_EQ(seven->get_block_number("0000000063"), 0x3Fu);
    std::string png;
    EXPECT_EQ(seven->read_memo(0x3F, png, dbf_memo_read::binary), dbf_memo_block::text);
    ASSERT_EQ(png.size(), 98026u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

    // The database container's memo file (.DCT) holds binary properties.
    auto dbc = dbf_memo_file::open(
        fixture_path(tabrix_test::infused_dbf + "/foxprodb/FOXPRO-DB-TEST.DBC"), dbf_memo_dbc);
    ASSERT_TRUE(dbc);
    EXPECT_EQ(dbc->get_block_number(std::string("\x08\0\0\0", 4)), 8u);
    std::string property;
    EXPECT_EQ(dbc->read_memo(8, property, dbf_memo_read::binary), dbf_memo_block::text);
    EXPECT_EQ(property, std::string("\x0b\0\0\0\x01\0\x18\0\0\0\n", 11));

    // PNTRERR.DBT (upper case) is 4096 bytes; its last memo ends with its marker in the file's
    // last two bytes.
    auto memo = dbf_memo_file::open(
        fixture_path("dans-dbf-lib/src/test/resources/dbase3plus/fileExceptions/PNTRERR.DBF"),
        dbf_memo_old);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->file_size(), 4096u);
    EXPECT_EQ(memo_text(*memo, 7).size(), 4096u - 7 * 512 - 2);
}
