// Helpers shared by the test programs: the shared fixture folder and scratch folders.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace tabrix_test {

// The folder of DBF tables written by other software, or an empty path when it is absent
// (a clone without ../shared beside it).
std::filesystem::path fixtures_dir();

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

} // namespace tabrix_test

// Skips the current test, visibly, when the shared fixtures are not there.
#define TABRIX_REQUIRE_FIXTURES()                                                                 \
    do {                                                                                          \
        if (::tabrix_test::fixtures_dir().empty())                                                \
            GTEST_SKIP() << "shared fixtures not found beside the repository (../shared/fixtures)"; \
    } while (0)
