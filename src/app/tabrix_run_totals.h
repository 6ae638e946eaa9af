// What a run did, counted as it goes: tables created, records read, deleted and written.
//
// The counts come from wrappers that stand between the driver and its two databases, so the
// driver and the databases stay unaware of them. The source's counts are written by the
// thread that reads its records ahead (udb_record_reader), the destination's by the worker
// thread, once per record each: the two sets lie in cache lines of their own, since counts
// of both threads in one line would move it between the cores on every record. Read the
// counts once the run has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class udb_database;

// One table of a run: the source table as it was opened, then its destination table.
struct tabrix_table_totals {
    std::u16string name;          // the source table
    bool created = false;         // the destination table was created (or opened to add to)
    uint64_t records_read = 0;    // source records the run went past
    uint64_t records_deleted = 0; // of those, records carrying the deleted mark
    alignas(64) uint64_t records_written = 0; // records the destination accepted
};

struct tabrix_run_totals {
    // Per table, in the order the run opened them. A destination table counts into the
    // source table opened last, which is the table being converted.
    std::vector<tabrix_table_totals> tables;
    alignas(64) uint64_t records_read = 0;   // source records the run went past
    uint64_t records_deleted = 0;            // of those, records carrying the deleted mark
    alignas(64) uint64_t tables_created = 0; // destination tables that create_table returned
    uint64_t records_written = 0; // records the destination accepted (or stored, see below)
};

// The database with every table it hands out (get_table, create_table, get_query) counted
// into `totals`; everything else goes straight to `inner`. `stored`, when given, answers how
// many records reached the destination's storage; once the destination is finished or
// abandoned, that number replaces the count of accepted records, so that a run that stops
// (a full disk) counts what is really there.
std::unique_ptr<udb_database> tabrix_counting_database(std::unique_ptr<udb_database> inner,
                                                       tabrix_run_totals& totals,
                                                       std::function<uint64_t()> stored = {});
