// A small folder of DBF tables to try the program on, written with the program's own DBF
// writer: memo fields, text in two code pages (Windows Latin 1 and Russian MS-DOS), dates,
// decimals, logical values, empty values and a record carrying the deleted mark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct tabrix_sample_table {
    std::u16string name;
    uint32_t records;
    uint32_t deleted;
};

// Writes the sample tables into `folder` (created when missing), replacing earlier sample
// tables of the same names, and answers what it wrote. Raises tk_exception when a file cannot
// be written.
std::vector<tabrix_sample_table> tabrix_write_sample(const std::filesystem::path& folder);
