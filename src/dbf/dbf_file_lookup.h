// Finding the files of a table on a file system that tells case apart.
//
// Tables come from systems that ignore case: ORDERS.DBF may sit beside orders.fpt, contacts.dbf
// beside contacts.FPT. Every companion file (memo, index) is looked for by name without regard
// to case among the entries of the table's folder, and then opened by its real name.
#pragma once

#include <string>
#include <string_view>

// True when two file names are the same apart from case (ASCII letters always; other letters
// too when both names are UTF-8).
bool dbf_same_file_name(std::string_view a, std::string_view b);

// The real path of the regular file that `path` names, its last component matched without
// regard to case; empty when there is none. A name that exists as written wins; among several
// that differ only in case the first in byte order is taken.
std::string dbf_find_file(const std::string& path);

// `path` with its extension (the part of the file name from the last dot) replaced by
// `extension` (given without dot).
std::string dbf_replace_extension(const std::string& path, std::string_view extension);

// The real path of the file that is `table_path` with the extension `extension`; empty when
// there is none.
std::string dbf_find_companion(const std::string& table_path, std::string_view extension);

// The index file of a table: its path with the extension "idx" or, when there is none, "cdx";
// empty when neither exists. Index files are looked for, not read.
std::string dbf_find_index_file(const std::string& table_path);
