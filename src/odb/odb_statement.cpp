#include "odb/odb_statement.h"

#include "odb/odb_diag.h"
#include "odb/odb_recordset.h"
#include "tk/tk_trace.h"

#include <optional>

odb_statement::odb_statement(void* connection) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    odb_check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &stmt), SQL_HANDLE_DBC, connection,
              "SQLAllocHandle(SQL_HANDLE_STMT)");
    stmt_ = stmt;
}

odb_statement::~odb_statement() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

namespace {

int64_t row_count(SQLHSTMT stmt) {
    SQLLEN rows = -1;
    if (odb_succeeded(SQLRowCount(stmt, &rows)) && rows > 0)
        return rows;
    return 0;
}

} // namespace

void odb_statement::send(std::u16string_view sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    const SQLRETURN rc =
        SQLExecDirectW(stmt_, const_cast<SQLWCHAR*>(odb_wide(sql)), SQLINTEGER(sql.size()));
    if (odb_succeeded(rc) || rc == SQL_NO_DATA)
        return;
    std::vector<odb_diagnostic> records = odb_read_diagnostics(SQL_HANDLE_STMT, stmt_);
    // The failed statement may be followed by others of the batch: they are read (and their
    // errors added) so that the statement is free for the next text.
    try {
        drain();
    } catch (const odb_exception& later) {
        records.insert(records.end(), later.diagnostics().begin(), later.diagnostics().end());
    }
    throw odb_exception("SQLExecDirectW", std::move(records));
}

int64_t odb_statement::drain() {
    int64_t rows = row_count(stmt_);
    std::optional<odb_exception> failure;
    for (;;) {
        const SQLRETURN rc = SQLMoreResults(stmt_);
        if (rc == SQL_NO_DATA)
            break;
        if (!odb_succeeded(rc)) {
            std::vector<odb_diagnostic> records = odb_read_diagnostics(SQL_HANDLE_STMT, stmt_);
            if (!failure)
                failure.emplace("SQLMoreResults", std::move(records));
            // A connection that is gone gives no further result.
            if (failure->connection_lost() || rc == SQL_INVALID_HANDLE)
                break;
            continue;
        }
        rows += row_count(stmt_);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    if (failure)
        throw *failure;
    return rows;
}

int64_t odb_statement::execute(std::u16string_view sql) {
    send(sql);
    return drain();
}

std::unique_ptr<odb_recordset> odb_statement::open(std::u16string_view sql) {
    send(sql);
    return std::make_unique<odb_recordset>(*this);
}
