// The text that defines a table in MS SQL: its columns, primary key and indexes. The script
// and the server destination both build their tables from it, so that a table has the same
// shape whichever way it reaches the server.
#pragma once

#include "udb/udb_index.h"
#include "udb/udb_schema.h"

class udb_custom_conversion;

#include <string>
#include <string_view>

// The table's primary key: the first primary-key index of 1 to 16 columns (MS SQL's limit);
// null when there is none.
const udb_index* mss_primary_key(const udb_indexes& indexes);

// Whether the column is one of the index's fields (exact names, as the schema holds them).
bool mss_is_key_column(const udb_index* key, const t_ftd& column);

struct mss_column_definitions {
    std::u16string text;   // "\t[A] INT NOT NULL,\r\n\t[B] NVARCHAR(10) " ...
    bool identity = false; // a column was given IDENTITY
};

// The column definitions of CREATE TABLE, joined by ",\r\n". Columns of `key` are NOT NULL.
// MS SQL allows one IDENTITY column per table: the first auto-number column gets it.
// `case_sensitive_keys`: text columns of the key compare case-sensitively
// (COLLATE Latin1_General_CS_AS), as the DBF index they come from did; other text columns
// keep the database's collation.
mss_column_definitions mss_define_columns(const udb_schema& schema, const udb_index* key,
                                          bool unicode, bool case_sensitive_keys,
                                          const udb_custom_conversion* rules = nullptr);

// "CREATE CLUSTERED INDEX [col_clust_idx] ON <safe>([col])" over the first column that can
// carry one; empty when no column can.
std::u16string mss_clustered_index_statement(std::u16string_view safe_table,
                                             const udb_schema& schema, bool unicode);
// "CREATE [UNIQUE] INDEX [name] ON <safe>(...)", a unique one with a filter that lets NULLs
// repeat; empty for a primary key and for an index MS SQL cannot hold (no fields, more than
// 900 bytes, a logical column, a text or binary column of no fixed size or over 8,000).
std::u16string mss_index_statement(std::u16string_view safe_table, const udb_schema& schema,
                                   const udb_index& index);
// "INSERT INTO <safe> ([A], [B]) VALUES ": the head of every INSERT statement of a table.
std::u16string mss_insert_head(std::u16string_view safe_table, const udb_schema& schema);
// "[A], [B]": the bracketed names joined by ", ".
void mss_join_bracketed(std::u16string& out, const std::vector<std::u16string>& names);
