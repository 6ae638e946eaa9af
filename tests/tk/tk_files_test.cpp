#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_files.h"
#include "tk/tk_huge_file.h"
#include "tk/tk_memory_file.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using tabrix_test::failure_message;
using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

namespace {

std::string bytes_0_to(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(i);
    return s;
}

} // namespace

// New tables are created through a memory image; reading goes through tk_huge_file.
TEST(tk_memory_file, a_created_image_grows_with_writes_and_is_written_whole) {
    scratch_dir dir;
    std::string path = (dir / "t.bin").string();
    write_file(path, bytes_0_to(8)); // an earlier file of that name is emptied
    {
        tk_memory_file f(path, tk_file::mode_create);
        EXPECT_EQ(f.size(), 0u);
        f.put_at(10, "ABCD", 4); // the gap before it is zeros
        EXPECT_EQ(f.size(), 14u);
        f.flush();
        EXPECT_EQ(read_file(path), std::string(10, '\0') + "ABCD");
        f.put_at(0, "Z", 1);
    } // the destructor writes the last change
    EXPECT_EQ(read_file(path), "Z" + std::string(9, '\0') + "ABCD");
}

TEST(tk_huge_file, positioned_reads_and_writes) {
    scratch_dir dir;
    std::string path = (dir / "big.dbf").string();
    {
        tk_huge_file f(path, true); // a writable open creates the file
        EXPECT_EQ(f.size(), 0u);
        // Far beyond 4 GB: the file is sparse, the offset must not be cut to 32 bits.
        const uint64_t far = (uint64_t{1} << 32) + 16;
        f.put_at(far, "\x01\x02\x03\x04", 4);
        EXPECT_EQ(f.size(), far + 4);
        EXPECT_EQ(f.u32_at(far), 0x04030201u);
        EXPECT_EQ(f.u16_at(far + 2), 0x0403);
        EXPECT_EQ(f.byte_at(16), 0); // the hole reads as zeros, not as the bytes at 16 + 4 GB
        f.put_at(0, "head", 4);
    }
    tk_huge_file f(path, false);
    char buf[4];
    f.get_at(0, buf, 4);
    EXPECT_EQ(std::string(buf, 4), "head");
    EXPECT_EQ(failure_message([&] { f.get_at(f.size() - 2, buf, 4); }), "Error reading from file");
    EXPECT_EQ(failure_message([&] { f.u32_at(f.size()); }), "Error reading from file");
    // Writing through a read-only handle fails instead of being lost.
    EXPECT_EQ(failure_message([&] { f.put_at(0, "x", 1); }), "Cannot write into file");
}

TEST(tk_huge_file, read_only_open_of_a_missing_file_fails_and_creates_nothing) {
    scratch_dir dir;
    std::string missing = (dir / "missing.dbf").string();
    EXPECT_EQ(failure_message([&] { tk_huge_file f(missing, false); }),
              "Error opening file: No such file or directory");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(failure_message([&] { tk_huge_file f(dir.path().string(), false); }),
              "Error opening file: Is a directory");
    EXPECT_EQ(failure_message([&] { tk_huge_file f((dir / "no/such/folder.dbf").string(), true); }),
              "Error opening file: No such file or directory");
}

TEST(tk_huge_file, a_short_write_raises) {
    // A file-size limit makes the system write only the part below it, then refuse.
    scratch_dir dir;
    tk_huge_file f((dir / "limited.dbf").string(), true);
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = 10;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string straddling = failure_message([&] { f.put_at(6, "12345678", 8); });
    std::string beyond = failure_message([&] { f.put_at(20, "1", 1); });
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(straddling, "Cannot write into file");
    EXPECT_EQ(beyond, "Cannot write into file");
    EXPECT_EQ(f.size(), 10u);
}

TEST(tk_files, existence_tests) {
    scratch_dir dir;
    std::string file = (dir / "t.dbf").string();
    write_file(file, "x");
    EXPECT_TRUE(tk_is_file_exist(file));
    EXPECT_TRUE(tk_is_file_exist(std::u16string(file.begin(), file.end())));
    EXPECT_FALSE(tk_is_file_exist((dir / "none.dbf").string()));
    EXPECT_FALSE(tk_is_file_exist(dir.path().string())); // a folder is not a file
    EXPECT_FALSE(fs::exists(dir / "none.dbf"));
}

TEST(tk_temp_chdir, enters_and_returns) {
    scratch_dir dir;
    fs::path before = fs::current_path();
    {
        tk_temp_chdir in(dir.path().string());
        EXPECT_TRUE(in.ok());
        EXPECT_EQ(fs::current_path(), fs::canonical(dir.path()));
    }
    EXPECT_EQ(fs::current_path(), before);
    {
        tk_temp_chdir bad((dir / "none").string());
        EXPECT_FALSE(bad.ok());
        EXPECT_EQ(fs::current_path(), before);
        std::vector<std::string> names{"stale"};
        bad.find_files("*", names);
        EXPECT_TRUE(names.empty()); // never the listing of some other folder
    }
    tk_temp_chdir stay("");
    EXPECT_TRUE(stay.ok());
    EXPECT_EQ(fs::current_path(), before);
}

TEST(tk_temp_chdir, find_files_ignores_case_and_lists_in_a_stable_order) {
    scratch_dir dir;
    for (const char* name : {"ORDERS.DBF", "clients.dbf", "Items.Dbf", "notes.dbt", "x.dbf.bak",
                             "Ärger.dbf", "readme"})
        write_file(dir / name, "");
    fs::create_directory(dir / "folder.dbf");

    tk_temp_chdir in(dir.path().string());
    std::vector<std::string> names;
    in.find_files("*.dbf", names);
    EXPECT_EQ(names,
              (std::vector<std::string>{"clients.dbf", "Items.Dbf", "ORDERS.DBF", "Ärger.dbf"}));
    in.find_files("??????.DBF", names);
    EXPECT_EQ(names, (std::vector<std::string>{"ORDERS.DBF"}));
    in.find_files("*.*", names);
    EXPECT_EQ(names.size(), 7u); // "readme" too, the folder not
    in.find_files("*.cdx", names);
    EXPECT_TRUE(names.empty());

    std::vector<std::u16string> wide;
    in.find_files(u"ä*.DBF", wide);
    EXPECT_EQ(wide, (std::vector<std::u16string>{u"Ärger.dbf"}));
}

TEST(tk_files, pattern_matching) {
    EXPECT_TRUE(tk_match_pattern("*.dbf", "ORDERS.DBF"));
    EXPECT_TRUE(tk_match_pattern("*", ""));
    EXPECT_TRUE(tk_match_pattern("a*b*c", "aXXbYYbc"));
    EXPECT_TRUE(tk_match_pattern("*.*", "noext"));
    EXPECT_FALSE(tk_match_pattern("*.dbf", "orders.dbf.bak"));
    EXPECT_FALSE(tk_match_pattern("?", ""));
    EXPECT_FALSE(tk_match_pattern("a?c", "ac"));
    EXPECT_TRUE(tk_match_pattern("ŁÓDŹ.*", "łódź.dbf"));
}
