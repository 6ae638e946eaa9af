// Memo files written by other software, read through the block numbers their tables store.
#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::string fixture(const std::string& relative) {
    return (tabrix_test::fixtures_dir() / relative).string();
}

std::string memo_text(dbf_memo_file& memo, uint32_t block,
                      dbf_memo_read how = dbf_memo_read::text) {
    std::string data;
    memo.read_memo(block, data, how);
    return data;
}

} // namespace

TEST(MemoFixtures, DbaseThreeMemos) {
    TABRIX_REQUIRE_FIXTURES();
    auto memo =
        dbf_memo_file::open(fixture(tabrix_test::infused_dbf + "/dbase_83.dbf"), dbf_memo_old);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->get_block_number("         1"), 1u);
    const std::string text = memo_text(*memo, 1);
    EXPECT_EQ(text.substr(0, 41), "Our Original assortment...a little taste ");
    EXPECT_EQ(text.size(), 524u);
    EXPECT_EQ(text.substr(text.size() - 20), "and Raspberry Blanc.");

    auto cars = dbf_memo_file::open(
        fixture("dans-dbf-lib/src/test/resources/dbase3plus/cars_del2/cars.dbf"), dbf_memo_old);
    EXPECT_EQ(memo_text(*cars, 1).substr(0, 48),
              "THIS IS A DESCRIPTION OF PASSAT, YEAR MODEL 1997");

    // The table is missing its memo file.
    EXPECT_THROW(
        dbf_memo_file::open(fixture(tabrix_test::infused_dbf + "/dbase_83_missing_memo.dbf"),
                            dbf_memo_old),
        dbf_no_memo_exception);
}

TEST(MemoFixtures, PointerPastTheEndReadsNothing) {
    TABRIX_REQUIRE_FIXTURES();
    // PNTRERR.DBF's memo file is PNTRERR.DBT (upper case); its first record points at block
    // 99 of a 4096-byte file.
    auto memo = dbf_memo_file::open(
        fixture("dans-dbf-lib/src/test/resources/dbase3plus/fileExceptions/PNTRERR.DBF"),
        dbf_memo_old);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->file_size(), 4096u);
    std::string data = "stale";
    EXPECT_EQ(memo->read_memo(memo->get_block_number("        99"), data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
    EXPECT_EQ(memo->get_block_number("          "), 0u);
    EXPECT_EQ(memo_text(*memo, 2).substr(0, 27), "This is a very long memo.  ");
    // The last memo ends with its marker in the file's last two bytes.
    const std::string last = memo_text(*memo, 7);
    EXPECT_EQ(last.substr(0, 10), "1234567890");
    EXPECT_EQ(last.size(), 4096u - 7 * 512 - 2);
}

TEST(MemoFixtures, DbaseFourAndSevenMemos) {
    TABRIX_REQUIRE_FIXTURES();
    auto memo =
        dbf_memo_file::open(fixture(tabrix_test::infused_dbf + "/dbase_8b.dbf"), dbf_memo_dbase4);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->block_size(), 512u);
    EXPECT_EQ(memo_text(*memo, 1), "First memo\r\n");

    auto client = dbf_memo_file::open(
        fixture("yellowfeather-DbfDataReader/test/fixtures/client.dbf"), dbf_memo_dbase4);
    EXPECT_EQ(client->get_block_number("0000000001"), 1u);
    EXPECT_EQ(memo_text(*client, 1),
              "85-200  08/02/85\r\n    C-300-400 BOOK CASE                535.00 1\r\n");

    // dBASE 7: the image of record 1, at block 0x3F, is a PNG of 98,026 bytes up to its IEND
    // chunk (its stored length, 98,034, counts the block's 8 header bytes).
    auto seven = dbf_memo_file::open(fixture("luads-php-xbase/tests/Resources/dBase/dBaseVII.dbf"),
                                     dbf_memo_dbase4);
    EXPECT_EQ(seven->get_block_number("0000000063"), 0x3Fu);
    std::string png;
    EXPECT_EQ(seven->read_memo(0x3F, png, dbf_memo_read::binary), dbf_memo_block::text);
    ASSERT_EQ(png.size(), 98026u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

TEST(MemoFixtures, FoxProMemos) {
    TABRIX_REQUIRE_FIXTURES();
    // memotest.FPT: upper-case extension, 512-byte blocks.
    auto memo =
        dbf_memo_file::open(fixture("olemb-dbfread/tests/cases/memotest.dbf"), dbf_memo_vfp);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->block_size(), 512u);
    EXPECT_EQ(memo_text(*memo, memo->get_block_number(std::string("\1\0\0\0", 4))), "Alice memo");
    EXPECT_EQ(memo_text(*memo, 2), "Bob memo");
    EXPECT_EQ(memo_text(*memo, 4), "Deleted Guy memo");
    EXPECT_THROW(
        dbf_memo_file::open(fixture("olemb-dbfread/tests/cases/no_memofile.dbf"), dbf_memo_vfp),
        dbf_no_memo_exception);

    // contacts.dbf beside contacts.FPT.
    auto contacts = dbf_memo_file::open(
        fixture(tabrix_test::infused_dbf + "/foxprodb/contacts.dbf"), dbf_memo_vfp);
    EXPECT_EQ(contacts->block_size(), 64u);
    EXPECT_EQ(memo_text(*contacts, 8).substr(0, 48),
              "Education includes a B.A. in Psychology from Sta");

    auto vfp =
        dbf_memo_file::open(fixture(tabrix_test::infused_dbf + "/dbase_30.dbf"), dbf_memo_vfp);
    EXPECT_EQ(memo_text(*vfp, 8), "Domestic Life\r\nWeddings\r\n");

    // FoxPro 2: decimal block numbers.
    auto fox =
        dbf_memo_file::open(fixture(tabrix_test::infused_dbf + "/dbase_f5.dbf"), dbf_memo_foxpro);
    EXPECT_EQ(fox->get_block_number("         8"), 8u);
    EXPECT_EQ(memo_text(*fox, 8).substr(0, 14), "El meu pare.\r\n");

    // The database container's memo file (.DCT) holds binary properties.
    auto dbc = dbf_memo_file::open(
        fixture(tabrix_test::infused_dbf + "/foxprodb/FOXPRO-DB-TEST.DBC"), dbf_memo_dbc);
    EXPECT_EQ(dbc->get_block_number(std::string("\x08\0\0\0", 4)), 8u);
    std::string property;
    EXPECT_EQ(dbc->read_memo(8, property, dbf_memo_read::binary), dbf_memo_block::text);
    EXPECT_EQ(property, std::string("\x0b\0\0\0\x01\0\x18\0\0\0\n", 11));
}
