// The options of a T-SQL script, built by the conversion driver from the settings and the
// profile.
#pragma once

#include <cstdint>
#include <string>

struct mss_dump_options {
    // NVARCHAR columns and N'' literals.
    bool dmp_unicode = true;
    // The file header and the comment blocks before each table's structure and data.
    bool dmp_ins_com = true;
    // The CREATE DATABASE block (only together with dmp_ins_tab).
    bool dmp_ins_db = false;
    // DROP TABLE, CREATE TABLE and the indexes of each table.
    bool dmp_ins_tab = true;
    // The indexes of each table, the clustered index written for a table without a primary
    // key among them.
    bool dmp_indexes = true;
    // What the script does, when it runs, with a table that the database has already.
    enum class existing_table {
        drop,   // dropped and created again
        skip,   // left as it is, rows and all; the script's records for it go nowhere
        append, // the records are added to it
    };
    existing_table existing = existing_table::drop;
    // The format that loads fast (both 0: off, one INSERT statement and one batch per record).
    // rows_per_insert: records per INSERT statement, at most mss_max_rows_per_insert (0 counts
    // as 1); rows_per_batch: records per batch, a GO after every so many (0: a GO after every
    // statement). With either on, the head also sets NOCOUNT and XACT_ABORT on.
    // udb_setting_table names both for the command line, profiles and stored settings.
    uint32_t rows_per_insert = 0;
    uint32_t rows_per_batch = 0;
    bool loads_fast() const noexcept { return rows_per_insert != 0 || rows_per_batch != 0; }
    // Written after "Created by " in the header: the product name and version.
    std::string title;
    // The name used in the CREATE DATABASE block; empty: the script file's name without
    // folder and extension.
    std::string database_name;

    mss_dump_options();
};
