#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <regex>
#include <thread>
#include <unistd.h>

using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

namespace {

int evaluations = 0;

const char* counted(const char* text) {
    ++evaluations;
    return text;
}

std::string level_of_failure(tk_log& log, const std::string& name, std::string& message) {
    try {
        log.set_logfile(name);
    } catch (const tk_exception& e) {
        message = e.message();
        return std::to_string(e.level());
    }
    return "none";
}

} // namespace

TEST(tk_trace, without_a_log_nothing_is_evaluated) {
    ASSERT_FALSE(tk_log::exists());
    evaluations = 0;
    TK_TRACE(3, "%s", counted("x"));
    EXPECT_EQ(evaluations, 0);

    // A log without a file name formats nothing either and writes nowhere.
    tk_log log;
    TK_TRACE(3, "%s", counted("x"));
    EXPECT_EQ(evaluations, 1);
    EXPECT_FALSE(log.enabled());
}

TEST(tk_trace, the_first_line_empties_the_file_then_lines_are_appended) {
    scratch_dir dir;
    std::string path = (dir / "trace.log").string();
    write_file(path, "left from an earlier run\n");

    tk_log log(tk_log::options{2, true, false});
    log.set_logfile(path);
    EXPECT_TRUE(log.enabled());
    EXPECT_EQ(read_file(path), "left from an earlier run\n"); // nothing until the first line

    TK_TRACE(2, "udb_schema::find_field(%s)", "NAME");
    TK_TRACE(1, "below the threshold");
    TK_TRACE(3, "Converting table %s (%d records)", "ORDERS", 14);
    TK_TRACE(2, "wide: %s", tk_trace_text(u"Заказы").c_str());
    EXPECT_EQ(read_file(path), "udb_schema::find_field(NAME)\r\n"
                               "Converting table ORDERS (14 records)\r\n"
                               "wide: \xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7\xD1\x8B\r\n");
}

TEST(tk_trace, time_stamps_and_plain_line_ends) {
    scratch_dir dir;
    std::string path = (dir / "trace.log").string();
    {
        tk_log log;
        log.set_logfile(path);
        TK_TRACE(1, "stamped");
    }
    EXPECT_TRUE(std::regex_match(read_file(path),
                                 std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] stamped\r\n")))
        << read_file(path);

    tk_log bare(tk_log::options{1, false, false});
    bare.set_logfile(path);
    std::string long_line(20000, 'x'); // longer than the formatting buffer
    TK_TRACE(1, "%s", long_line.c_str());
    TK_TRACE(1, "%d", 2);
    EXPECT_EQ(read_file(path), long_line + "2");
}

TEST(tk_trace, lines_from_several_threads_stay_whole) {
    scratch_dir dir;
    std::string path = (dir / "trace.log").string();
    tk_log log(tk_log::options{1, false, false});
    log.set_logfile(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                TK_TRACE(1, "thread %d line %02d;", t, i);
        });
    for (std::thread& t : threads)
        t.join();
    std::string text = read_file(path);
    std::regex line("thread [0-3] line [0-4][0-9];");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator()),
        200);
}

TEST(tk_trace, unusable_log_file_names_are_user_errors) {
    scratch_dir dir;
    tk_log log;
    std::string message;
    EXPECT_EQ(level_of_failure(log, dir.path().string(), message), "1");
    EXPECT_EQ(message, "Logfile name specifies an existing path.");
    EXPECT_EQ(level_of_failure(log, (dir / "none/trace.log").string(), message), "1");
    EXPECT_EQ(message, "Logfile path does not exist.\nPlease verify the correct path was given.");
    EXPECT_FALSE(log.enabled());

    if (::geteuid() != 0) { // the superuser may write any file
        std::string read_only = (dir / "ro.log").string();
        write_file(read_only, "");
        ::chmod(read_only.c_str(), 0444);
        EXPECT_EQ(level_of_failure(log, read_only, message), "1");
        EXPECT_EQ(message, "Logfile name specifies an existing read-only file.");
    }
    EXPECT_EQ(level_of_failure(log, "", message), "none"); // an empty name is ignored
    EXPECT_FALSE(log.enabled());
}
