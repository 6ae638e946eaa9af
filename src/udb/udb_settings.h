// The settings of one conversion, as one value: what the settings store, a profile, the command
// line and the wizard read and write. The initial value of each member is its default (the
// value a fresh installation starts with and a missing stored value falls back to).
//
// How each setting is kept and edited (settings-file name, profile key, command-line option,
// wizard control) is its row in udb_setting_table.h.
#pragma once

#include "udb/udb_database.h"

#include <cstdint>
#include <string>
#include <vector>

// What happens to a selected table that the destination has already.
enum class udb_mode : int32_t {
    overwrite_database = 0, // the whole database was dropped before the run
    overwrite_tables = 1,   // the table is dropped and created again
    skip_existing = 2,      // the table is not converted
    merge = 3,              // records are appended after a structure check
};

struct udb_settings {
    // ---- Source and destination --------------------------------------------------------------
    // The folder of source tables.
    std::u16string source;
    // A database name (server) or a script file path.
    std::u16string destination;
    // The trace file (narrow, in the system's character set); kept with profiles only.
    std::string logfile;
    // Writing to a server (true) or a T-SQL script (false).
    bool direct = true;
    // The code page override of the source tables: a language-driver byte (1 to 255) or a code
    // page number (above 255), 0 for each table's own.
    uint32_t encoding = 0;
    // The code page of the tables that name none (a code page number).
    uint32_t default_encoding = 1252;

    // ---- What the run does -------------------------------------------------------------------
    udb_mode mode = udb_mode::overwrite_database;
    bool table_definitions_only = false;
    bool skip_indexes = false;
    bool skip_deleted = false;
    // Logical values written as their letters 'T'/'F' into CHAR(1) columns.
    bool bool_as_is = false;

    // ---- Script options ----------------------------------------------------------------------
    // NVARCHAR columns and N'' literals.
    bool dmp_unicode = true;
    // The file header and the comment blocks of each table.
    bool dmp_ins_com = true;
    // The CREATE DATABASE block.
    bool dmp_ins_db = false;
    // DROP TABLE, CREATE TABLE and the indexes of each table.
    bool dmp_ins_tab = true;
    // The format that loads fast: records per INSERT statement (0 counts as 1) and per batch
    // (0: a GO after every statement).
    uint32_t rows_per_insert = 0;
    uint32_t rows_per_batch = 0;

    // ---- Server connection -------------------------------------------------------------------
    std::u16string host;
    std::u16string login;
    std::u16string password;
    bool windows_auth = true;
    // Tables go under [dbo] whatever the login.
    bool as_dbo = true;
    // An ODBC driver by name or library path; empty: the first installed of those known.
    std::u16string driver;
    // A whole ODBC connection string, used instead of host, login, password and driver.
    std::u16string connection_string;
    // Encryption of the connection: 0 off, 1 on, 2 the driver's default.
    uint32_t encrypt = 2;
    bool trust_server_certificate = false;
    // Bulk copy where the driver offers it (INSERT statements its safety net), and the records
    // per committed bulk batch.
    bool fast_load = true;
    uint32_t batch_size = 1000;

    // ---- Table lists (profiles only) ---------------------------------------------------------
    // The tables to convert, in conversion order.
    std::vector<std::u16string> selected_tables;
    // (table, query text) pairs kept with the profile; every run adds its tables.
    udb_named_texts selected_entries;
    // Kept with the profile; the run does not use them.
    udb_named_texts selected_views;
    udb_named_texts available_queries;

    bool operator==(const udb_settings&) const = default;
};
