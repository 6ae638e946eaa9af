// One ODBC statement handle: SQL text sent as it stands (SQLExecDirectW).
//
// A batch of several statements gives one result per statement, and the error of a later
// statement shows only when its result is reached: every execution therefore reads all of
// its results (SQLMoreResults) before it returns, and raises the first error among them.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class odb_recordset;

class odb_statement {
public:
    // `connection`: the connection handle (odb_connection::handle()).
    explicit odb_statement(void* connection);
    ~odb_statement();
    odb_statement(const odb_statement&) = delete;
    odb_statement& operator=(const odb_statement&) = delete;

    // Runs the text and reads every result; rows of result sets are passed over. Returns the
    // rows that the statements affected, added up (statements that report none add nothing).
    // A statement that affects nothing (DDL, SQL_NO_DATA) is a success. Raises odb_exception.
    int64_t execute(std::u16string_view sql);
    // Runs a text whose first result holds rows; the recordset reads them and, at their end,
    // the results that follow. Only one recordset of a statement is open at a time.
    std::unique_ptr<odb_recordset> open(std::u16string_view sql);

    void* handle() const noexcept { return stmt_; }
    // Reads the results that are left, raising the first error among them, and closes the
    // cursor. Returns the rows they affected.
    int64_t drain();

private:
    // Sends the text; the first result is then current.
    void send(std::u16string_view sql);

    void* stmt_ = nullptr;
};
