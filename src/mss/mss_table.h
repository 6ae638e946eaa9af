// One table on the server receiving its records through INSERT statements.
//
// Records are gathered into multi-row statements, INSERT ... VALUES (...), (...), of up to
// 1,000 rows (MS SQL's limit) or about a megabyte of text, each sent in a transaction of its
// own. When the server refuses a statement, its rows are sent again one by one, so that only
// the records the server refuses are reported (with their record numbers) and every other
// record is written. A connection that is lost stops the run.
//
// The value literals are the script's (mss_literal.h): a record reaches the server with the
// same values whether it goes through a script or straight in.
#pragma once

#include "udb/udb_recordset.h"

#include <cstdint>
#include <string>
#include <vector>

class mss_database;

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

    static constexpr size_t max_rows = 1000;
    static constexpr size_t max_statement_bytes = 1 << 20;

private:
    // Rows gathered for one statement.
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
    bool finished_ = false;
    bool unicode_;
    std::string insert_head_; // "INSERT INTO [s].[t] ([a], [b]) VALUES " in UTF-8
    batch pending_;
    uint64_t failed_ = 0;
};
