// A small folder of DBF tables to try the program on, written with the program's own DBF
// writer: memo fields, text in two code pages (Windows Latin 1 and Russian MS-DOS), dates,
// decimals, logical values, empty values and a record carrying the deleted mark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

struct tabrix_sample_table {
    std::u16string name;
    uint32_t records;
    uint32_t deleted;
};

// Writes the sample tables into `folder` (created when missing) and answers what it wrote.
// Tables or memo files of the same names are replaced only when `replace` is set: without it
// nothing is written and tabrix_sample_exists is raised. Raises tk_exception when a file
// cannot be written.
std::vector<tabrix_sample_table> tabrix_write_sample(const std::filesystem::path& folder,
                                                     bool replace = false);

// The folder holds a file that the sample would replace; the text names it.
class tabrix_sample_exists : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
