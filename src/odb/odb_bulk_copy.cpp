#include "odb/odb_bulk_copy.h"

#include "odb/odb_connection.h"
#include "odb/odb_diag.h"
#include "tk/tk_exception.h"

#include <cstring>

#define TDSODBC_BCP
#include <odbcss.h>

namespace {

int bcp_type_of(odb_bulk_copy::kind kind) {
    switch (kind) {
    case odb_bulk_copy::kind::binary:
        return BCP_TYPE_SQLVARBINARY;
    case odb_bulk_copy::kind::datetime:
        return BCP_TYPE_SQLDATETIME;
    case odb_bulk_copy::kind::text:
        break;
    }
    // varchar, not char: the driver overruns its buffer converting char data of over 4 KiB
    // even where the value would fit varchar's path.
    return BCP_TYPE_SQLVARCHAR;
}

void put_length(std::vector<unsigned char>& buffer, int32_t length) {
    std::memcpy(buffer.data(), &length, sizeof length);
}

} // namespace

odb_bulk_copy::odb_bulk_copy(odb_connection& connection, std::u16string_view table,
                             const std::vector<kind>& columns, bool keep_identity)
    : dbc_(connection.handle()) {
    const std::u16string name(table);
    if (bcp_initW(dbc_, odb_wide(name), nullptr, nullptr, BCP_DIRECTION_IN) != SUCCEED)
        odb_check(SQL_ERROR, SQL_HANDLE_DBC, dbc_, "bcp_initW");
    // From here on the copy is open: a failure below ends it in the destructor.
    struct guard {
        odb_bulk_copy* copy;
        ~guard() {
            if (copy != nullptr)
                bcp_done(copy->dbc_);
        }
    } open{this};
    if (keep_identity && bcp_control(dbc_, BCPKEEPIDENTITY, reinterpret_cast<void*>(1)) != SUCCEED)
        odb_check(SQL_ERROR, SQL_HANDLE_DBC, dbc_, "bcp_control(BCPKEEPIDENTITY)");
    buffers_.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        buffers_[i].assign(sizeof(int32_t) + max_value_bytes, 0);
        put_length(buffers_[i], -1);
        if (bcp_bind(dbc_, buffers_[i].data(), sizeof(int32_t), SQL_VARLEN_DATA, nullptr, 0,
                     bcp_type_of(columns[i]), int(i + 1)) != SUCCEED)
            odb_check(SQL_ERROR, SQL_HANDLE_DBC, dbc_, "bcp_bind");
    }
    open.copy = nullptr;
}

odb_bulk_copy::~odb_bulk_copy() {
    if (!done_)
        bcp_done(dbc_);
}

void odb_bulk_copy::set_null(size_t column) {
    put_length(buffers_[column], -1);
}

void odb_bulk_copy::set_bytes(size_t column, std::string_view bytes) {
    if (bytes.size() > max_value_bytes)
        throw tk_exception("A value of " + std::to_string(bytes.size()) +
                               " bytes is over the bulk copy's limit",
                           tk_exception::internal);
    std::vector<unsigned char>& buffer = buffers_[column];
    put_length(buffer, int32_t(bytes.size()));
    if (!bytes.empty())
        std::memcpy(buffer.data() + sizeof(int32_t), bytes.data(), bytes.size());
}

void odb_bulk_copy::set_datetime(size_t column, int32_t days, int32_t ticks) {
    std::vector<unsigned char>& buffer = buffers_[column];
    DBDATETIME value{days, ticks};
    put_length(buffer, int32_t(sizeof value));
    std::memcpy(buffer.data() + sizeof(int32_t), &value, sizeof value);
}

bool odb_bulk_copy::send_row() {
    if (bcp_sendrow(dbc_) == SUCCEED) {
        started_ = true;
        return true;
    }
    if (!started_)
        done_ = true;
    return false;
}

int64_t odb_bulk_copy::commit_batch() {
    const int rows = bcp_batch(dbc_);
    if (rows < 0)
        odb_check(SQL_ERROR, SQL_HANDLE_DBC, dbc_, "bcp_batch");
    return rows;
}

int64_t odb_bulk_copy::done() {
    done_ = true;
    const int rows = bcp_done(dbc_);
    if (rows < 0)
        odb_check(SQL_ERROR, SQL_HANDLE_DBC, dbc_, "bcp_done");
    return rows;
}
