// Memo file layouts on generated files: block numbers, bounded reads, the old layout's writer.
#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "support/test_support.h"
#include "test_table_builder.h"

#include <gtest/gtest.h>

namespace {

using dbf_test::be32;
using dbf_test::le32;
using tabrix_test::failure_message;
using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

// Places `bytes` at `offset` of `image`, growing it with zeros.
void put(std::string& image, size_t offset, const std::string& bytes) {
    if (image.size() < offset + bytes.size())
        image.resize(offset + bytes.size(), '\0');
    image.replace(offset, bytes.size(), bytes);
}

// A dBASE IV memo file with 512-byte blocks.
std::string dbt_image() {
    std::string image(512, '\0');
    put(image, 0, le32(5));
    put(image, 20, le32(512));
    return image;
}

void put_dbt_block(std::string& image, uint32_t block, uint32_t stored_length,
                   const std::string& data) {
    put(image, size_t(block) * 512,
        std::string("\xff\xff\x08\x00", 4) + le32(stored_length) + data);
}

} // namespace

TEST(MemoFiles, DbaseFourBlocksAreReadWithinTheFile) {
    scratch_dir dir;
    std::string image = dbt_image();
    put_dbt_block(image, 1, 8 + 12, "First memo\r\n");
    put_dbt_block(image, 2, 8, "");
    put_dbt_block(image, 3, 7, "x");
    put_dbt_block(image, 4, 8 + 6, std::string("ab\0cd!", 6));
    // Block 5 claims one byte more than the file holds.
    put_dbt_block(image, 5, 8 + 3, "xy");
    write_file(dir / "t.dbt", image);

    dbt_memo_file memo((dir / "t.dbt").string());
    EXPECT_EQ(memo.block_size(), 512u);
    std::string data = "stale";
    EXPECT_EQ(memo.read_memo(1, data), dbf_memo_block::text);
    EXPECT_EQ(data, "First memo\r\n");
    EXPECT_EQ(memo.read_memo(2, data), dbf_memo_block::text);
    EXPECT_EQ(data, "");
    EXPECT_EQ(memo.read_memo(3, data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
    EXPECT_EQ(memo.read_memo(4, data), dbf_memo_block::text);
    EXPECT_EQ(data, "ab");
    EXPECT_EQ(memo.read_memo(4, data, dbf_memo_read::binary), dbf_memo_block::text);
    EXPECT_EQ(data, std::string("ab\0cd!", 6));
    EXPECT_EQ(memo.read_memo(5, data), dbf_memo_block::invalid);
    EXPECT_EQ(memo.read_memo(6, data), dbf_memo_block::invalid);
    EXPECT_EQ(memo.read_memo(0xffffffffu, data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
}

TEST(MemoFiles, UnusableHeadersAreRefused) {
    scratch_dir dir;
    write_file(dir / "short.dbt", std::string(23, '\0'));
    EXPECT_EQ(failure_message([&] { dbt_memo_file m((dir / "short.dbt").string()); }),
              "Memo file is corrupted");
    write_file(dir / "zero.dbt", std::string(512, '\0'));
    EXPECT_EQ(failure_message([&] { dbt_memo_file m((dir / "zero.dbt").string()); }),
              "Memo file is corrupted");

    write_file(dir / "short.fpt", std::string(7, '\0'));
    EXPECT_EQ(failure_message([&] { fpt_memo_file m((dir / "short.fpt").string(), dbf_memo_vfp); }),
              "Memo file is corrupted");
    write_file(dir / "zero.fpt", std::string(512, '\0'));
    EXPECT_EQ(failure_message([&] { fpt_memo_file m((dir / "zero.fpt").string(), dbf_memo_vfp); }),
              "Memo file is corrupted");

    write_file(dir / "short.smt", std::string(511, '\0'));
    EXPECT_EQ(failure_message([&] { smt_memo_file m((dir / "short.smt").string()); }),
              "Memo file is corrupted");

    write_file(dir / "nonext.dbt", std::string(512, '\0'));
    EXPECT_EQ(failure_message([&] { old_memo_file m((dir / "nonext.dbt").string()); }),
              "Failed to read MEMO field");
    write_file(dir / "tiny.dbt", std::string(2, '\x05'));
    EXPECT_EQ(failure_message([&] { old_memo_file m((dir / "tiny.dbt").string()); }),
              "Failed to read MEMO field");
}

TEST(MemoFiles, FoxProBlocksCarryTypeAndBigEndianLength) {
    scratch_dir dir;
    // Block size 64 (bytes 0x00 0x40 at offset 6): block 8 starts at offset 512.
    std::string image(512, '\0');
    put(image, 0, be32(12));
    put(image, 6, std::string("\x00\x40", 2));
    put(image, 512, be32(1) + be32(10) + "Alice memo");
    put(image, 576, be32(0) + be32(4) + std::string("\x89P\0G", 4));
    put(image, 640, be32(2) + be32(0));
    put(image, 704, be32(1) + be32(3) + "ab"); // one byte past the end of the file
    write_file(dir / "t.fpt", image);

    fpt_memo_file memo((dir / "t.fpt").string(), dbf_memo_vfp);
    EXPECT_EQ(memo.block_size(), 64u);
    EXPECT_EQ(memo.next_free_block(), 12u);
    std::string data;
    EXPECT_EQ(memo.read_memo(8, data), dbf_memo_block::text);
    EXPECT_EQ(data, "Alice memo");
    EXPECT_EQ(memo.read_memo(9, data, dbf_memo_read::binary), dbf_memo_block::picture);
    EXPECT_EQ(data, std::string("\x89P\0G", 4));
    EXPECT_EQ(memo.read_memo(9, data), dbf_memo_block::picture);
    EXPECT_EQ(data, "\x89P");
    EXPECT_EQ(memo.read_memo(10, data), dbf_memo_block::object);
    EXPECT_EQ(data, "");
    EXPECT_EQ(memo.read_memo(11, data), dbf_memo_block::invalid);
    EXPECT_EQ(memo.read_memo(12, data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
}

TEST(MemoFiles, BlockNumbersFollowEachLayout) {
    scratch_dir dir;
    std::string fpt(512, '\0');
    put(fpt, 6, std::string("\x00\x40", 2));
    write_file(dir / "t.fpt", fpt);
    write_file(dir / "t.dbt", dbt_image());
    std::string old(512, '\0');
    put(old, 0, le32(1));
    write_file(dir / "o.dbt", old);
    write_file(dir / "t.smt", std::string(512, '\0'));

    fpt_memo_file vfp((dir / "t.fpt").string(), dbf_memo_vfp);
    fpt_memo_file fox((dir / "t.fpt").string(), dbf_memo_foxpro);
    fpt_memo_file dbc((dir / "t.fpt").string(), dbf_memo_dbc);
    dbt_memo_file dbt((dir / "t.dbt").string());
    old_memo_file plain((dir / "o.dbt").string());
    smt_memo_file smt((dir / "t.smt").string());

    EXPECT_EQ(vfp.get_block_number(le32(8)), 8u);
    EXPECT_EQ(dbc.get_block_number(le32(0x1234)), 0x1234u);
    EXPECT_EQ(fox.get_block_number("        12"), 12u);
    // A 4-byte memo field holds a binary block number whatever the table's version says.
    EXPECT_EQ(fox.get_block_number(le32(3)), 3u);
    EXPECT_EQ(vfp.get_block_number("ab"), 0u);

    const std::string blanks(10, ' ');
    EXPECT_EQ(fox.get_block_number(blanks), 0u);
    EXPECT_EQ(dbt.get_block_number(blanks), 0u);
    EXPECT_EQ(plain.get_block_number(blanks), 0u);
    EXPECT_EQ(smt.get_block_number(blanks), 0u);

    EXPECT_EQ(dbt.get_block_number("0000000001"), 1u);
    EXPECT_EQ(dbt.get_block_number("  42abcdef"), 42u);
    EXPECT_EQ(dbt.get_block_number("   -5     "), 0u);
    EXPECT_EQ(dbt.get_block_number("abc       "), 0u);
    EXPECT_EQ(dbt.get_block_number("9999999999"), 0u); // beyond a 32-bit signed number
    EXPECT_EQ(dbt.get_block_number("2147483647"), 2147483647u);
    EXPECT_EQ(dbt.get_block_number(std::string("  7\0 9    ", 10)), 7u);
    EXPECT_EQ(dbt.get_block_number(""), 0u);

    EXPECT_EQ(smt.get_block_number(std::string("\1\0\0\0\0\0", 6) + le32(77)), 77u);
    EXPECT_EQ(smt.get_block_number("123"), 0u);
}

TEST(MemoFiles, OldLayoutReadsToTheEndMarkerOrTheFileEnd) {
    scratch_dir dir;
    std::string image(512, '\0');
    put(image, 0, le32(4));
    put(image, 512, std::string("First\r\nline\x1a\x1a", 13));
    put(image, 1024, std::string(5000, 'y') + "\x1a");
    put(image, 12 * 512, "tail without marker");
    write_file(dir / "t.dbt", image);

    old_memo_file memo((dir / "t.dbt").string());
    EXPECT_EQ(memo.next_free_block(), 4u);
    std::string data;
    EXPECT_EQ(memo.read_memo(1, data), dbf_memo_block::text);
    EXPECT_EQ(data, "First\r\nline");
    // The data crosses the pieces it is read in.
    EXPECT_EQ(memo.read_memo(2, data), dbf_memo_block::text);
    EXPECT_EQ(data, std::string(5000, 'y'));
    // A block that starts inside another memo reads from there.
    EXPECT_EQ(memo.read_memo(11, data), dbf_memo_block::text);
    EXPECT_EQ(data, std::string(1024 + 5000 - 11 * 512, 'y'));
    EXPECT_EQ(memo.read_memo(12, data), dbf_memo_block::text);
    EXPECT_EQ(data, "tail without marker");
    EXPECT_EQ(memo.read_memo(13, data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
}

TEST(MemoFiles, OldLayoutIsCreatedAndWritten) {
    scratch_dir dir;
    const std::string path = (dir / "new.dbt").string();
    write_file(path, std::string(3000, 'z')); // an earlier file of that name is emptied
    {
        old_memo_file memo(path, old_memo_file::mode::create);
        EXPECT_EQ(memo.next_free_block(), 1u);
    }
    std::string image = read_file(path);
    ASSERT_EQ(image.size(), 512u);
    EXPECT_EQ(image.substr(0, 4), le32(1));
    EXPECT_EQ(image[16], '\3');

    {
        old_memo_file memo(path, old_memo_file::mode::write);
        memo.write_memo(memo.next_free_block(), std::string(511, 'a')); // 511 + 2 > 512
        EXPECT_EQ(memo.next_free_block(), 3u);
        memo.write_memo(memo.next_free_block(), "second");
        EXPECT_EQ(memo.next_free_block(), 4u);
        memo.write_memo(memo.next_free_block(), ""); // nothing is written
        EXPECT_EQ(memo.next_free_block(), 4u);
        memo.write_memo(memo.next_free_block(), std::string(510, 'b')); // exactly one block
        EXPECT_EQ(memo.next_free_block(), 5u);
    }
    image = read_file(path);
    EXPECT_EQ(image.substr(0, 4), le32(5));
    EXPECT_EQ(image.substr(512 + 511, 2), "\x1a\x1a");

    old_memo_file memo(path);
    std::string data;
    memo.read_memo(1, data);
    EXPECT_EQ(data, std::string(511, 'a'));
    memo.read_memo(3, data);
    EXPECT_EQ(data, "second");
    memo.read_memo(4, data);
    EXPECT_EQ(data, std::string(510, 'b'));
}

TEST(MemoFiles, SmtDataEndsAtZeroByte) {
    scratch_dir dir;
    std::string image(512, '\0');
    put(image, 4, le32(32));
    put(image, 32 * 20, std::string("smt text\0rest", 13));
    write_file(dir / "t.smt", image);
    smt_memo_file memo((dir / "t.smt").string());
    std::string data;
    EXPECT_EQ(memo.read_memo(20, data), dbf_memo_block::text);
    EXPECT_EQ(data, "smt text");
    EXPECT_EQ(memo.read_memo(21, data), dbf_memo_block::invalid);
}

TEST(MemoFiles, OpenFindsTheMemoFileWhateverItsCase) {
    scratch_dir dir;
    std::string fpt(512, '\0');
    put(fpt, 6, std::string("\x00\x40", 2));
    write_file(dir / "contacts.dbf", "");
    write_file(dir / "contacts.FPT", fpt);
    write_file(dir / "ORDERS.DBF", "");
    write_file(dir / "orders.fpt", fpt);
    write_file(dir / "expense reports.dbf", "");
    write_file(dir / "expense reports.FPT", fpt);
    write_file(dir / "db.DBC", "");
    write_file(dir / "db.DCT", fpt);
    write_file(dir / "old.dbf", "");
    std::string old(512, '\0');
    put(old, 0, le32(1));
    write_file(dir / "OLD.DBT", old);

    auto memo = dbf_memo_file::open((dir / "contacts.dbf").string(), dbf_memo_vfp);
    ASSERT_TRUE(memo);
    EXPECT_EQ(memo->path(), (dir / "contacts.FPT").string());
    EXPECT_EQ(dbf_memo_file::open((dir / "ORDERS.DBF").string(), dbf_memo_foxpro)->path(),
              (dir / "orders.fpt").string());
    EXPECT_EQ(dbf_memo_file::open((dir / "expense reports.dbf").string(), dbf_memo_vfp)->path(),
              (dir / "expense reports.FPT").string());
    auto dct = dbf_memo_file::open((dir / "db.DBC").string(), dbf_memo_dbc);
    EXPECT_EQ(dct->path(), (dir / "db.DCT").string());
    EXPECT_EQ(dct->kind(), dbf_memo_dbc);
    auto plain = dbf_memo_file::open((dir / "old.dbf").string(), dbf_memo_old);
    EXPECT_NE(dynamic_cast<old_memo_file*>(plain.get()), nullptr);
    // Any kind without a layout of its own is the old layout.
    EXPECT_NE(
        dynamic_cast<old_memo_file*>(dbf_memo_file::open((dir / "old.dbf").string(), 2).get()),
        nullptr);

    EXPECT_EQ(dbf_memo_file::open((dir / "old.dbf").string(), dbf_memo_none), nullptr);
    EXPECT_THROW(dbf_memo_file::open((dir / "old.dbf").string(), dbf_memo_vfp),
                 dbf_no_memo_exception);
    EXPECT_EQ(
        failure_message([&] { dbf_memo_file::open((dir / "ORDERS.DBF").string(), dbf_memo_smt); }),
        "Memo file not found");
    // A folder in place of the memo file is no memo file either.
    std::filesystem::create_directory(dir / "nested.smt");
    EXPECT_THROW(dbf_memo_file::open((dir / "nested.dbf").string(), dbf_memo_smt),
                 dbf_no_memo_exception);
    // A corrupted memo file stops the table, unlike a missing one.
    write_file(dir / "bad.dbf", "");
    write_file(dir / "bad.fpt", "1234");
    EXPECT_THROW(
        {
            try {
                dbf_memo_file::open((dir / "bad.dbf").string(), dbf_memo_vfp);
            } catch (const dbf_no_memo_exception&) {
                FAIL() << "a corrupted memo file is not a missing one";
            }
        },
        dbf_exception);
}
