#include "odb/odb_connection.h"

#include "odb/odb_bcp_api.h"
#include "odb/odb_diag.h"
#include "odb/odb_environment.h"
#include "odb/odb_recordset.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <vector>

#define TDSODBC_BCP
#include <odbcss.h>

odb_connection::odb_connection(const odb_environment& environment,
                               std::u16string_view connection_string, uint32_t login_timeout,
                               bool bulk_copy) {
    SQLHDBC dbc = SQL_NULL_HDBC;
    odb_check(SQLAllocHandle(SQL_HANDLE_DBC, environment.handle(), &dbc), SQL_HANDLE_ENV,
              environment.handle(), "SQLAllocHandle(SQL_HANDLE_DBC)");
    dbc_ = dbc;
    try {
        if (login_timeout != 0)
            SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(SQLULEN(login_timeout)), 0);
        const bool bcp_on =
            bulk_copy &&
            odb_succeeded(SQLSetConnectAttr(
                dbc, SQL_COPT_SS_BCP, reinterpret_cast<SQLPOINTER>(SQL_BCP_ON), SQL_IS_INTEGER));
        std::u16string text(connection_string);
        std::vector<char16_t> out(1024, u'\0');
        SQLSMALLINT out_length = 0;
        odb_check(SQLDriverConnectW(dbc, nullptr, odb_wide(text.data()), SQLSMALLINT(text.size()),
                                    odb_wide(out.data()), SQLSMALLINT(out.size()), &out_length,
                                    SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, dbc, "SQLDriverConnectW");
        connected_ = true;
        statement_ = std::make_unique<odb_statement>(dbc_);
        if (bcp_on)
            bcp_ = odb_bcp_api::find(dbc_, tk_to_utf8_lossy(driver_name()), bulk_copy_note_);
        else if (bulk_copy)
            bulk_copy_note_ = "the driver does not offer bulk copy";
        if (!bulk_copy_note_.empty())
            TK_TRACE(3, "No bulk copy: %s", bulk_copy_note_.c_str());
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        throw;
    }
}

odb_connection::~odb_connection() {
    bcp_.reset();
    statement_.reset();
    if (connected_)
        SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

int64_t odb_connection::execute(std::u16string_view sql) {
    TK_TRACE(2, "Run SQL query: %s", tk_trace_text(sql.substr(0, 4096)).c_str());
    return statement_->execute(sql);
}

std::unique_ptr<odb_recordset> odb_connection::open(std::u16string_view sql) {
    TK_TRACE(2, "Open SQL query: %s", tk_trace_text(sql).c_str());
    return statement_->open(sql);
}

std::u16string odb_connection::query_value(std::u16string_view sql) {
    std::unique_ptr<odb_recordset> rows = open(sql);
    std::u16string value;
    if (rows->column_count() > 0 && rows->fetch()) {
        value = rows->text(0);
        while (rows->fetch()) {
        }
    }
    return value;
}

void odb_connection::set_autocommit(bool on) {
    odb_check(
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                          SQL_IS_UINTEGER),
        SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
}

void odb_connection::end_transaction(int16_t how) {
    odb_check(SQLEndTran(SQL_HANDLE_DBC, dbc_, how), SQL_HANDLE_DBC, dbc_, "SQLEndTran");
}

void odb_connection::commit() {
    end_transaction(SQL_COMMIT);
}

void odb_connection::rollback() {
    end_transaction(SQL_ROLLBACK);
}

std::u16string odb_connection::driver_name() const {
    char16_t name[256] = {};
    SQLSMALLINT length = 0;
    if (!odb_succeeded(SQLGetInfoW(dbc_, SQL_DRIVER_NAME, name, sizeof name, &length)))
        return {};
    return name;
}
