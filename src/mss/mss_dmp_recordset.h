// One table of a T-SQL script receiving its records as INSERT statements.
#pragma once

#include "udb/udb_recordset.h"

#include <string>
#include <vector>

class mss_dmp_database;
class mss_script_file;

// The statements around a table's records (mss_dmp_database.h shows where each goes).
struct mss_dmp_table_text {
    std::u16string insert_table; // the table the INSERT statements name
    std::u16string identity_on;  // written before the first record; empty: none
    std::u16string identity_off; // written by finish() when identity_on was written
    std::u16string tail;         // written by finish(), last
};

class mss_dmp_recordset : public udb_recordset {
public:
    mss_dmp_recordset(mss_dmp_database& database, std::u16string name, const udb_schema& schema,
                      mss_dmp_table_text text);
    ~mss_dmp_recordset() override;

    // Converts the record to the column types and writes its INSERT statement, or its row of
    // the open INSERT statement in the format that loads fast. A record whose field count
    // differs from the column count, that lacks the source field of a column, or one of whose
    // values has no literal, is a level-0 tk_exception and writes nothing: the statement goes
    // on with the next record.
    void append_record(udb_record& record) override;
    // Ends the open statement and batch, writes SET IDENTITY_INSERT ... OFF when ON was
    // written, and the tail.
    void finish() override;

private:
    // Checks that the record holds the source field of every column; done once per layout
    // of field names.
    void check_source_fields(const udb_record& record);
    // Ends the open INSERT statement, and its batch when `end_batch`.
    void close_statement(bool end_batch);

    mss_script_file& file_;
    mss_dmp_table_text text_;
    bool identity_pending_ = true;
    bool finished_ = false;
    bool unicode_;
    const udb_custom_conversion* rules_;
    tk_utf8_tables* utf8_tables_;
    // The format that loads fast (mss_dump_options): rows per statement (1 in the default
    // format) and per batch (0: a batch per statement).
    bool loads_fast_;
    uint32_t rows_per_insert_;
    uint32_t rows_per_batch_;
    uint32_t statement_rows_ = 0; // rows of the open statement
    uint32_t batch_rows_ = 0;     // rows of the open batch
    // "INSERT INTO [dbo].[T] ([A], [B]) VALUES (" in UTF-8.
    std::string insert_head_;
    // The name tokens of the fields of the last record whose layout was checked.
    std::vector<uint64_t> checked_ids_;
    // The names map's generation at that check.
    uint64_t checked_generation_ = 0;
};
