// Memos ended by a terminator (old .dbt and .smt layouts) read through the read-ahead window:
// memos across window ends, longer than a window, at the end of the file, out of order, and
// after writes.
#include "dbf/dbf_memo_file.h"
#include "support/test_support.h"
#include "test_table_builder.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using dbf_test::le32;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

struct placed_memo {
    uint32_t block;
    std::string text;
};

// Memos one after the other from `first_block`, each followed by `terminator` and padded to
// whole blocks; lengths vary so that memos straddle the ends of 64 KiB windows, and one is
// longer than a window. The last memo has no terminator: it ends with the file.
std::vector<placed_memo> place_memos(std::string& image, uint32_t block_size, uint32_t first_block,
                                     char terminator) {
    std::vector<placed_memo> memos;
    uint32_t block = first_block;
    for (int i = 0; i < 400; ++i) {
        const size_t length = i == 150 ? 150000 : size_t(i * 37 % 1500);
        std::string text(length, char('a' + i % 26));
        if (!text.empty())
            text[0] = char('0' + i % 10);
        const bool last = i == 399;
        const size_t at = size_t(block) * block_size;
        image.resize(at);
        image += text;
        if (!last)
            image += terminator;
        memos.push_back({block, text});
        block += uint32_t((text.size() + 1 + block_size - 1) / block_size);
    }
    return memos;
}

void expect_memos(dbf_memo_file& memo, const std::vector<placed_memo>& memos) {
    std::string data;
    for (size_t i = 0; i < memos.size(); ++i) {
        ASSERT_EQ(memo.read_memo(memos[i].block, data), dbf_memo_block::text) << i;
        ASSERT_EQ(data, memos[i].text) << i;
    }
    // Backwards: every read leaves the window behind.
    for (size_t i = memos.size(); i-- > 0;) {
        ASSERT_EQ(memo.read_memo(memos[i].block, data), dbf_memo_block::text) << i;
        ASSERT_EQ(data, memos[i].text) << i;
    }
    const uint64_t past = (memo.file_size() + memo.block_size() - 1) / memo.block_size();
    EXPECT_EQ(memo.read_memo(uint32_t(past), data), dbf_memo_block::invalid);
    EXPECT_EQ(data, "");
}

} // namespace

TEST(MemoReadAhead, MemosInAndOutOfFileOrder) {
    scratch_dir dir;
    // Old layout: 512-byte blocks from block 1, ended by 0x1A, the next free block in the
    // header.
    std::string image(512, '\0');
    std::vector<placed_memo> memos = place_memos(image, 512, 1, '\x1a');
    image.replace(0, 4, le32(memos.back().block + 1));
    write_file(dir / "t.dbt", image);
    old_memo_file old_layout((dir / "t.dbt").string());
    expect_memos(old_layout, memos);

    // .smt: the block size in the header, memos ended by a zero byte.
    image.assign(512, '\0');
    image.replace(4, 4, le32(32));
    memos = place_memos(image, 32, 16, '\0');
    write_file(dir / "t.smt", image);
    smt_memo_file smt((dir / "t.smt").string());
    expect_memos(smt, memos);
}

TEST(MemoReadAhead, OldLayoutReadsWhatWasJustWritten) {
    scratch_dir dir;
    const std::string path = (dir / "w.dbt").string();
    old_memo_file memo(path, old_memo_file::mode::create);
    memo.write_memo(1, "first");
    memo.write_memo(2, "second");
    std::string data;
    memo.read_memo(1, data); // the window now holds both blocks
    EXPECT_EQ(data, "first");
    memo.write_memo(2, "changed");
    memo.read_memo(2, data);
    EXPECT_EQ(data, "changed");
    // A memo written past the end of the file as it was when last read.
    memo.write_memo(memo.next_free_block(), std::string(700, 'n'));
    memo.read_memo(3, data);
    EXPECT_EQ(data, std::string(700, 'n'));
    EXPECT_EQ(memo.read_memo(5, data), dbf_memo_block::invalid);
}
