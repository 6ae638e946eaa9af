// One connection to a data source, opened from a whole connection string.
#pragma once

#include "odb/odb_statement.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class odb_bcp_api;
class odb_environment;
class odb_recordset;

class odb_connection {
public:
    // Connects (SQLDriverConnectW, no prompt); raises odb_exception with the driver's or the
    // server's reason. `login_timeout` in seconds, 0 for the driver's own. `bulk_copy` asks
    // the driver for its bcp interface (odb_bcp_api, used by odb_bulk_copy), which it offers
    // only when asked before connecting; a driver that does not know the request connects
    // without it.
    odb_connection(const odb_environment& environment, std::u16string_view connection_string,
                   uint32_t login_timeout = 15, bool bulk_copy = false);
    // Disconnects; a transaction still open is rolled back by the server.
    ~odb_connection();
    odb_connection(const odb_connection&) = delete;
    odb_connection& operator=(const odb_connection&) = delete;

    // odb_statement::execute on the connection's own statement.
    int64_t execute(std::u16string_view sql);
    // odb_statement::open on the connection's own statement.
    std::unique_ptr<odb_recordset> open(std::u16string_view sql);
    // The first value of the first row of the text's result; empty when there is no row or
    // the value is NULL.
    std::u16string query_value(std::u16string_view sql);

    // Manual commit: statements run in one transaction until commit() or rollback().
    void set_autocommit(bool on);
    void commit();
    void rollback();

    // SQL_DRIVER_NAME: the driver's file ("libtdsodbc.so", "libmsodbcsql-18.x.so").
    std::u16string driver_name() const;
    void* handle() const noexcept { return dbc_; }
    // Whether the driver offers a bcp interface (bulk copy was asked for and found).
    bool bulk_copy() const noexcept { return bcp_ != nullptr; }
    // The driver's bcp interface; nullptr without one.
    const odb_bcp_api* bcp() const noexcept { return bcp_.get(); }
    // Why there is no bcp interface when bulk copy was asked for; empty otherwise.
    const std::string& bulk_copy_note() const noexcept { return bulk_copy_note_; }

private:
    void end_transaction(int16_t how);

    void* dbc_ = nullptr;
    bool connected_ = false;
    std::unique_ptr<odb_bcp_api> bcp_;
    std::string bulk_copy_note_;
    std::unique_ptr<odb_statement> statement_;
};
