// `tabrix-cli inspect`: what a folder of DBF tables (or one table) holds, before converting it.
//
//   inspect PATH [--encoding CODEPAGE] [--table NAME] [--limit N] [--json]
//
// For every table: its version byte, code page, record count, memo file and columns (name,
// type letter, length, decimals, the value type and size each maps to, and the SQL Server
// type of its script column); with --limit or --json its records too. The JSON form is one
// object:
//   {"tables":[{"name":…,"file":…,"version":"0x30","codepage":…,"records":…,"memo":…,
//     "fields":[{"name":…,"type":"N","length":…,"decimals":…,"vt":…,"size":…,
//                "sqltype":"NUMERIC(10,2)"}],
//     "rows":[{"deleted":false,"values":[…]}]}],
//    "failed":[{"file":…,"error":…}],
//    "warnings":[{"file":…,"warning":…}]}
// each value being its text, or null for an empty or null value. Every failure and warning
// is also written to the error stream, once.
#pragma once

#include "app/cli/exit_status.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct inspect_options {
    std::string path;      // a folder, or one table file
    uint32_t encoding = 0; // overrides the tables' code page (dbf_parse_encoding); 0 none
    std::optional<std::string> table; // only this table of the folder
    std::optional<uint64_t> limit;    // records shown per table
    bool json = false;
    bool help = false;
};

// Reads the arguments that follow "inspect". False, with the reason in `error`, for a usage
// error.
bool parse_inspect_args(const std::vector<std::string>& args, inspect_options& options,
                        std::string& error);

// Writes the report to `out` and every failure and warning to `err`. Returns exit_usage when
// PATH or the table named is not there, exit_with_errors when a table (or the folder) could
// not be read whole or a warning was given (a table cut short is shown with the records it
// holds whole), as convert does for the same causes; exit_success otherwise.
int inspect_folder(const inspect_options& options, std::ostream& out, std::ostream& err);

// The whole command: argv[0] is "inspect"; the report goes to stdout, failures to stderr.
int inspect_main(int argc, char** argv);
int inspect_main(int argc, char** argv, std::ostream& out, std::ostream& err);

// The usage text of the command.
std::string_view inspect_usage_text() noexcept;

// UTF-16 text as a JSON string (quotes included): UTF-8, with '"', '\' and control characters
// escaped; a lone surrogate is written as its \u escape.
void append_json_string(std::string& out, std::u16string_view text);

// The name of a value type code ("VT_I4", "VT_ARRAY|VT_UI1"), or its number as text.
std::string vartype_name(uint16_t vt);
