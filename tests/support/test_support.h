// Helpers shared by the test programs: the shared fixture folder, scratch folders and a
// reporter that records what an error_handler shows.
#pragma once

#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tabrix_test {

// The folder of DBF tables written by other software, or an empty path when it is absent
// (a clone without ../shared beside it).
std::filesystem::path fixtures_dir();

// The infused-dbf tables keep their project's own folder names below fixtures_dir().
inline const std::string infused_dbf = "infused-dbf/spec/fixtures";

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// How many times `part` occurs in `text`, overlapping occurrences counted.
size_t count(const std::string& text, const std::string& part);

// The blank-separated words of `text`: command lines and lists of names written as one string.
std::vector<std::string> words(std::string_view text);

// The message of the tk_exception that `f` raises; "(no exception)" when it raises none.
template <class F> std::string failure_message(F&& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        return e.message();
    }
    return "(no exception)";
}

// What the user would have seen, and the answers to the continue questions.
struct reporter_log {
    std::vector<std::string> errors;        // level 1
    std::vector<std::string> questions;     // level 0
    std::vector<std::string> internal;      // level 2
    std::deque<tk_continue_answer> answers; // one per question; Continue when none is left
};

class recording_reporter : public error_reporter {
public:
    explicit recording_reporter(reporter_log& log) : log_(log) {}
    void show_error(const std::string& text) override { log_.errors.push_back(text); }
    tk_continue_answer ask_continue(const std::string& text) override;
    void show_internal_error(const std::string& text) override { log_.internal.push_back(text); }

private:
    reporter_log& log_;
};

} // namespace tabrix_test

// Skips the current test, visibly, when the shared fixtures are not there.
#define TABRIX_REQUIRE_FIXTURES()                                                                  \
    do {                                                                                           \
        if (::tabrix_test::fixtures_dir().empty())                                                 \
            GTEST_SKIP()                                                                           \
                << "shared fixtures not found beside the repository (../shared/fixtures)";         \
    } while (0)
