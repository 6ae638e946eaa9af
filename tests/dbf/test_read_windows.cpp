// Records read many at a time and memo blocks read with their header: every position still
// gives its own record, walking either way, after writes, and memos longer than one read.
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "support/test_support.h"
#include "test_table_builder.h"

#include <gtest/gtest.h>

using namespace dbf_test;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

namespace {

// Records of 251 bytes, so that a few hundred fill a read and the table spans several.
constexpr int32_t record_total = 2000;

std::string numbered_table() {
    std::vector<std::string> records;
    for (int32_t i = 0; i < record_total; ++i)
        records.push_back(record({right(std::to_string(i), 8), left("row", 242)}));
    return make_table(0x03, {{"N", 'N', 8}, {"T", 'C', 242}}, records);
}

int32_t number_at(dbf_recordset& table) {
    udb_record* r = table.get_item();
    return r ? (*r)[0].to_long() : -1;
}

} // namespace

TEST(ReadWindows, EveryPositionGivesItsOwnRecord) {
    scratch_dir dir;
    write_file(dir / "n.dbf", numbered_table());
    dbf_recordset table((dir / "n.dbf").string(), dbf_recordset::mode_read);

    int32_t expected = 0;
    for (table.reset(); !table.is_eof(); table.next())
        EXPECT_EQ(number_at(table), expected++);
    EXPECT_EQ(expected, record_total);

    // Backwards from the end, across the same windows.
    table.prev();
    for (expected = record_total - 1; expected > 0; --expected) {
        ASSERT_EQ(number_at(table), expected);
        table.prev();
    }
    EXPECT_EQ(number_at(table), 0);

    // Forwards again after a jump back to the start, and from the middle.
    table.reset();
    EXPECT_EQ(number_at(table), 0);
    for (int32_t i = 0; i < 1500; ++i)
        table.next();
    EXPECT_EQ(number_at(table), 1500);
    table.prev();
    EXPECT_EQ(number_at(table), 1499);
}

TEST(ReadWindows, AppendedRecordsReadBackAfterEarlierReads) {
    scratch_dir dir;
    write_file(dir / "n.dbf", numbered_table());
    dbf_recordset table((dir / "n.dbf").string(), dbf_recordset::mode_write);
    for (int32_t i = 0; i < record_total - 1; ++i)
        table.next();
    EXPECT_EQ(number_at(table), record_total - 1);

    udb_record rec;
    rec.add_field(u"N", 8, ole_variant(int(77777)));
    rec.add_field(u"T", 242, ole_variant(std::u16string_view(u"new")));
    table.append_record(rec);
    table.next();
    EXPECT_EQ(number_at(table), 77777);
    EXPECT_EQ((*table.get_item())[1].to_wstring(), u"new");
    table.prev();
    EXPECT_EQ(number_at(table), record_total - 1);
}

// dBASE IV memos longer than a first read are read whole in the fixture test of the dBASE 7
// image (test_fixtures_tables.cpp); FoxPro ones here.
TEST(ReadWindows, MemosInAnyOrderReadAlike) {
    // 3000 FoxPro memos of 1 to 1400 bytes in 64-byte blocks, about 1.2 MB: memos cross the
    // ends of the pieces read ahead, and some are longer than a first read.
    scratch_dir dir;
    std::string fpt(512, '\0');
    fpt[7] = 64;
    std::vector<std::pair<uint32_t, std::string>> memos;
    for (uint32_t i = 0; i <= 3000; ++i) {
        // The last memo is short and ends the file: its first read is cut short there.
        const std::string text =
            i == 3000 ? "end" : std::string(1 + (i * 7919) % 1400, char('a' + i % 26));
        memos.emplace_back(uint32_t(fpt.size() / 64), text);
        fpt += be32(1) + be32(uint32_t(text.size())) + text;
        fpt.resize((fpt.size() + 63) / 64 * 64, '\0');
    }
    write_file(dir / "m.fpt", fpt);
    fpt_memo_file memo((dir / "m.fpt").string(), dbf_memo_foxpro);
    std::string data;
    auto check = [&](size_t i) {
        ASSERT_EQ(memo.read_memo(memos[i].first, data), dbf_memo_block::text) << i;
        ASSERT_EQ(data, memos[i].second) << i;
    };
    for (size_t i = 0; i < memos.size(); ++i)
        check(i);
    for (size_t i = memos.size(); i-- > 0;)
        check(i);
    for (size_t i = 0; i < memos.size(); i += 97)
        check((i * 31) % memos.size());
    check(memos.size() - 1);
    check(0);
}
