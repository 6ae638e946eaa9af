// The script file's writing thread: order, and what a failed write leaves behind.
#include "mss/mss_script_file.h"
#include "support/test_support.h"
#include "tk/tk_exception.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

TEST(MssScriptFile, AFailedWriteOfTheWritingThreadStopsTheFileAtWholeRecords) {
    tabrix_test::scratch_dir dir;
    const std::string path = (dir / "limited.sql").string();
    // Records of 10,000 bytes, numbered, so that order and completeness show in the file.
    auto record = [](size_t i) {
        std::string text = std::to_string(i) + ":";
        text.resize(9998, 'x');
        return text + "\r\n";
    };

    // A file-size limit of 1 MiB: the writing thread's write that crosses it is cut short and
    // fails, with many buffers handed to the thread before and after.
    constexpr rlim_t limit_bytes = 1 << 20;
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = limit_bytes;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    int level = -1;
    size_t handed = 0;
    uint64_t on_disk = 0;
    {
        mss_script_file file(path);
        try {
            for (; handed < 300; ++handed) {
                file.buffer() += record(handed);
                file.commit_record();
            }
            file.close();
        } catch (const tk_exception& e) {
            level = e.level();
        }
        on_disk = file.records_on_disk();
    }
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(level, 1);
    EXPECT_LT(handed, 300u);
    // Nothing after the failure: the file is exactly the records up to the limit, in order.
    std::string expected;
    for (size_t i = 0; expected.size() < limit_bytes; ++i)
        expected += record(i);
    expected.resize(limit_bytes);
    EXPECT_EQ(tabrix_test::read_file(path + ".incomplete"), expected);
    EXPECT_EQ(on_disk, limit_bytes / 10000);
}
