#include "odb/odb_bulk_copy.h"

#include "odb/odb_bcp_api.h"
#include "odb/odb_connection.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <cstring>

namespace {

int bcp_type_of(odb_bulk_copy::kind kind, bool utf16_text) {
    switch (kind) {
    case odb_bulk_copy::kind::binary:
        return odb_bcp_api::type_varbinary;
    case odb_bulk_copy::kind::datetime:
        return odb_bcp_api::type_datetime;
    case odb_bulk_copy::kind::text:
        break;
    }
    // varchar, not char: the driver overruns its buffer converting char data of over 4 KiB
    // even where the value would fit varchar's path.
    return utf16_text ? odb_bcp_api::type_nvarchar : odb_bcp_api::type_varchar;
}

const odb_bcp_api& bcp_of(const odb_connection& connection) {
    if (connection.bcp() == nullptr)
        throw tk_exception("The connection offers no bulk copy", tk_exception::internal);
    return *connection.bcp();
}

void put_length(std::vector<unsigned char>& buffer, int32_t length) {
    std::memcpy(buffer.data(), &length, sizeof length);
}

} // namespace

odb_bulk_copy::odb_bulk_copy(odb_connection& connection, std::u16string_view table,
                             const std::vector<kind>& columns, bool keep_identity)
    : bcp_(bcp_of(connection)), kinds_(columns), utf8_(tk_codepage::get(tk_cp_utf8)) {
    const std::u16string name(table);
    if (!bcp_.init(name))
        bcp_.fail("bcp_initW");
    // From here on the copy is open: a failure below ends it in the destructor.
    struct guard {
        odb_bulk_copy* copy;
        ~guard() {
            if (copy != nullptr)
                copy->bcp_.done();
        }
    } open{this};
    if (keep_identity && !bcp_.control(odb_bcp_api::option_keep_identity, 1))
        bcp_.fail("bcp_control(BCPKEEPIDENTITY)");
    buffers_.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        buffers_[i].assign(sizeof(int32_t) + max_value_bytes, 0);
        put_length(buffers_[i], -1);
        if (!bcp_.bind(buffers_[i].data(), bcp_type_of(columns[i], bcp_.utf16_text()), int(i + 1)))
            bcp_.fail("bcp_bind");
    }
    open.copy = nullptr;
}

odb_bulk_copy::~odb_bulk_copy() {
    if (!done_)
        bcp_.done();
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
    if (kinds_[column] == kind::text && bcp_.utf16_text()) {
        // UTF-16 in the machine's byte order (SQLWCHAR); the caller checked that it fits.
        const bool utf8 = utf8_.decode_checked(bytes, utf16_);
        const size_t length = utf16_.size() * sizeof(char16_t);
        if (!utf8 || length > max_value_bytes)
            throw tk_exception("A text of " + std::to_string(bytes.size()) +
                                   " bytes is not UTF-8 or over the bulk copy's limit as UTF-16",
                               tk_exception::internal);
        put_length(buffer, int32_t(length));
        if (length != 0)
            std::memcpy(buffer.data() + sizeof(int32_t), utf16_.data(), length);
        return;
    }
    put_length(buffer, int32_t(bytes.size()));
    if (!bytes.empty())
        std::memcpy(buffer.data() + sizeof(int32_t), bytes.data(), bytes.size());
}

void odb_bulk_copy::set_datetime(size_t column, int32_t days, int32_t ticks) {
    std::vector<unsigned char>& buffer = buffers_[column];
    // DBDATETIME: the days, then the ticks, each a 4-byte integer in the machine's order.
    put_length(buffer, 2 * sizeof(int32_t));
    std::memcpy(buffer.data() + sizeof(int32_t), &days, sizeof days);
    std::memcpy(buffer.data() + 2 * sizeof(int32_t), &ticks, sizeof ticks);
}

bool odb_bulk_copy::send_row() {
    if (bcp_.send_row()) {
        started_ = true;
        return true;
    }
    if (!started_)
        done_ = true;
    return false;
}

int64_t odb_bulk_copy::commit_batch() {
    const int rows = bcp_.batch();
    if (rows < 0)
        bcp_.fail("bcp_batch");
    return rows;
}

int64_t odb_bulk_copy::done() {
    done_ = true;
    const int rows = bcp_.done();
    if (rows < 0)
        bcp_.fail("bcp_done");
    return rows;
}
