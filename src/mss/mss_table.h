// One table on the server receiving its records by bulk copy, with INSERT statements as its
// safety net.
//
// With fast load (and a driver that offers bulk copy) records go through odb_bulk_copy and
// are committed every `batch_size` records. Each batch's records are kept (as the statement
// text below) until the server has committed them: when a batch fails, its records are sent
// again through statements, so that only the records the server refuses are reported. A
// record whose values the bulk copy cannot carry exactly (mss_bulk_value.h) ends the copy and
// goes by statement, with the records after it up to the next statement batch, so that the
// records keep their order; then the copy starts again. Bulk copy is given up for the table
// after two batches in a row failed (a server that refuses bulk loads).
//
// Statements: records are gathered into multi-row statements, INSERT ... VALUES (...), (...), of up
// to 1,000 rows (MS SQL's limit) or about a megabyte of text, each sent in a transaction of its
// own. When the server refuses a statement, its rows are sent again one by one, so that only
// the records the server refuses are reported (with their record numbers) and every other
// record is written. A connection that is lost stops the run.
//
// The value literals are the script's (mss_literal.h): a record reaches the server with the
// same values whether it goes through a script or straight in.
#pragma once

#include "mss/mss_bulk_value.h"
#include "udb/udb_recordset.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class mss_database;
class odb_bulk_copy;
class odb_exception;

class mss_table : public udb_recordset {
public:
    // `identity`: the table has an IDENTITY column; its values are written as they stand
    // (SET IDENTITY_INSERT ON before the first statement, OFF when the table is finished).
    mss_table(mss_database& database, std::u16string name, const udb_schema& schema, bool identity);
    ~mss_table() override;

    // Converts the record to the column types and adds it to the statement being gathered;
    // sends the statement when it is full. A record whose field count differs from the column
    // count is a level-0 tk_exception.
    void append_record(udb_record& record) override;
    // Sends what is gathered and switches IDENTITY_INSERT off again.
    void finish() override;
    uint64_t records_failed() const noexcept override { return failed_; }
    // Records the server committed, by the way they went.
    uint64_t records_bulk() const noexcept { return bulk_records_; }
    uint64_t records_by_statement() const noexcept { return statement_records_; }

    static constexpr size_t max_rows = 1000;
    static constexpr size_t max_statement_bytes = 1 << 20;

private:
    // Puts the last gathered row, whose values' literals begin at value_starts_, into the bulk
    // copy (opened when needed) and sends it; false when a value cannot be carried.
    bool put_bulk_row();
    // Whether every value of the last gathered row can go by bulk copy; puts them into the
    // copy when one is given.
    bool put_values(odb_bulk_copy* copy);
    // Takes the last gathered row (from `start`, its first byte in pending_.text) out, and puts it
    // back after what is gathered; value_starts_ follows it.
    std::string take_last_row(size_t start);
    void restore_row(std::string row, uint32_t number);
    // Commits the bulk copy's gathered rows; with `end`, ends the copy too.
    void commit_bulk(bool end);
    // The copy's batch failed: its records go again through statements.
    // `refused`: the server refused the load itself (its first row).
    void bulk_failed(const std::string& why, bool refused);
    void forget_rows();
    // Rows gathered for one statement (or one bulk batch).
    struct batch {
        std::string text;              // the rows' "(...)" texts, joined by ",\r\n"
        std::vector<size_t> ends;      // where each row's text ends
        std::vector<uint32_t> numbers; // each row's record number
    };

    // Sends the gathered rows; on refusal, sends them again one by one.
    void flush();
    void replay(const batch& rows);
    // Runs the text; the server's error is rethrown as odb_exception, a lost connection as a
    // level-1 tk_exception that stops the run and says how many records were left `unwritten`.
    void send(const std::string& utf8, size_t unwritten);
    void report_row(uint32_t number, const std::string& message);
    void switch_identity_off();

    mss_database& database_;
    std::u16string safe_;
    bool identity_;
    bool identity_on_ = false;
    bool identity_by_driver_ = false; // a bulk copy may have switched IDENTITY_INSERT on
    bool finished_ = false;
    bool unicode_;
    std::string insert_head_; // "INSERT INTO [s].[t] ([a], [b]) VALUES " in UTF-8
    batch pending_;
    std::vector<size_t> value_starts_; // the last row's literals, and the end of the last one
    uint64_t failed_ = 0;
    uint64_t stored_ = 0;    // this table's records on the server
    size_t unconfirmed_ = 0; // records of a failed bulk batch being sent again

    bool fast_;                 // bulk copy is used
    size_t batch_size_;         // records per bulk batch
    size_t max_rows_;           // records per statement
    bool by_statement_ = false; // the current batch goes by statements
    int bulk_failures_ = 0;     // batches in a row that failed
    std::vector<mss_bulk_column> bulk_columns_;
    std::unique_ptr<odb_bulk_copy> copy_;
    std::string scratch_;
    uint64_t bulk_records_ = 0;
    uint64_t statement_records_ = 0;
};
