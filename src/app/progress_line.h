// The one-line progress bar of the command line: a bar, the percentage, the table and its
// records, fitted to the terminal's width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class udb_converter;

struct progress_snapshot {
    uint32_t percent = 0;
    uint32_t tables_finished = 0;
    uint32_t table_count = 0;
    uint32_t current_record = 0; // counted from 0
    uint32_t records_in_table = 0;
    std::u16string table;
    bool finished = false;
};

// The converter's counters as the worker has them now.
progress_snapshot take_progress_snapshot(const udb_converter& converter);

// "[#######.............]  35%  table 2/5 orders  1,200/3,000 records", UTF-8, at most `width`
// columns (table names are cut with "..." to fit).
std::string format_progress_line(const progress_snapshot& progress, size_t width);

// 1234567 -> "1,234,567"
std::string format_count(uint64_t value);
