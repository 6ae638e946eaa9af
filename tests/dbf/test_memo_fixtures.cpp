// Memo files written by other software, read through the block numbers their tables store.
#include "dbf/dbf_memo_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::string fixture(const std::string& relative) {
    return (tabrix_test::fixtures_dir() / relative).string();
}

std::string memo_text(dbf_memo_file& memo, uint32_t block) {
    std::string data;
    memo.read_memo(block, data);
    return data;
}

} // namespace

// The values the tables give are compared in test_fixtures_tables.cpp; here the binary
// memos and the ends of memo files that the tables' values do not show.
TEST(MemoFixtures, BinaryMemosAndMemosAtTheFileEnd) {
    TABRIX_REQUIRE_FIXTURES();
    // dBASE 7: the image of record 1, at block 0x3F, is a PNG of 98,026 bytes up to its IEND
    // chunk (its stored length, 98,034, counts the block's 8 header bytes).
    auto seven = dbf_memo_file::open(fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII.dbf"),
                                     dbf_memo_dbase4);
    ASSERT_TRUE(seven);
    EXPECT_EQ(seven->get_block_number("0000000063"), 0x3Fu);
    std::string png;
    EXPECT_EQ(seven->read_memo(0x3F, png, dbf_memo_read::binary), dbf_memo_block::text);
    ASSERT_EQ(png.size(), 98026u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

    // The database container's memo file (.DCT) holds binary properties.
    auto dbc = dbf_memo_file::open(
        fixture(tabrix_test::infused_dbf + "/foxprodb/FOXPRO-DB-TEST.DBC"), dbf_memo_dbc);
    ASSERT_TRUE(dbc);
    EXPECT_EQ(dbc->get_block_number(std::string("\x08\0\0\0", 4)), 8u);
    std::string property;
    EXPECT_EQ(dbc->read_memo(8, property, dbf_memo_read::binary), dbf_memo_block::text);
    EXPECT_EQ(property, std::string("\x0b\0\0\0\x01\0\x18\0\0\0\n", 11));

    // PNTRERR.DBT (upper case) is 4096 bytes; its last memo ends with its marker in the file's
    // last two bytes.
    auto memo = dbf_memo_file::open(
        fixture("dans-dbf-lib/src/test/resources/dbase3plus/fileExceptions/PNTRERR.DBF"),
        dbf_memo_old);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->file_size(), 4096u);
    EXPECT_EQ(memo_text(*memo, 7).size(), 4096u - 7 * 512 - 2);
}
