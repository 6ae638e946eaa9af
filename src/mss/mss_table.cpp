#include "mss/mss_table.h"

#include "mss/mss_database.h"
#include "mss/mss_literal.h"
#include "mss/mss_server_errors.h"
#include "mss/mss_table_definition.h"
#include "odb/odb_bulk_copy.h"
#include "odb/odb_connection.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>

namespace {

// What is sent after a statement that may have left its transaction open: a batch-ending
// error (a failed conversion) stops the batch before COMMIT.
constexpr std::u16string_view close_transaction = u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION";

} // namespace

mss_table::mss_table(mss_database& database, std::u16string name, const udb_schema& schema,
                     bool identity)
    : udb_recordset(std::move(name), &database), database_(database),
      safe_(database.safe_name(name_)), identity_(identity), unicode_(database.unicode()),
      fast_(database.facts().fast_load && database.connection().bulk_copy() && !schema.empty()),
      batch_size_(std::max<size_t>(1, database.facts().batch_size)),
      max_rows_(std::min(batch_size_, max_rows)) {
    mutable_schema() = schema;
    notes_.reset(schema.size());
    insert_head_ = tk_to_utf8(mss_insert_head(safe_, schema));
    if (fast_) {
        bulk_columns_.reserve(schema.size());
        for (size_t i = 0; i < schema.size(); ++i)
            bulk_columns_.push_back(mss_bulk_column_of(schema[i]));
    }
}

mss_table::~mss_table() {
    TK_TRACE(2, "mss_table::dtor");
}

void mss_table::forget_rows() {
    rows_.clear();
    row_ends_.clear();
    row_numbers_.clear();
}

void mss_table::append_record(udb_record& record) {
    const udb_schema& schema = get_schema();
    if (record.size() != schema.size())
        throw tk_exception("The structure of data source does not conform to the destination "
                           "table.",
                           tk_exception::recoverable);
    convert_record(record);
    const size_t start = rows_.size();
    value_starts_.clear();
    try {
        rows_.append(row_ends_.empty() ? "(" : ",\r\n(");
        for (size_t i = 0; i < schema.size(); ++i) {
            if (i > 0)
                rows_.append(", ");
            value_starts_.push_back(rows_.size());
            if (!mss_append_value_literal(rows_, record[i], schema[i], unicode_))
                notes_.add(i, udb_value_notes::number_out_of_range);
        }
        value_starts_.push_back(rows_.size());
        rows_.push_back(')');
    } catch (...) {
        rows_.resize(start);
        throw;
    }
    row_ends_.push_back(rows_.size());
    row_numbers_.push_back(record.number());
    if (fast_ && by_statement_ && put_values(nullptr)) {
        // The first record the copy can carry after records that went by statement: they
        // are sent, and a copy starts again with this one.
        std::string row = take_last_row(start);
        flush();
        by_statement_ = false;
        restore_row(std::move(row), record.number());
    }
    if (fast_ && !by_statement_) {
        if (put_bulk_row()) {
            if (row_ends_.size() >= batch_size_)
                commit_bulk(false);
            return;
        }
        // The record goes by statement: the copy's records before it are committed first.
        std::string row = take_last_row(start);
        commit_bulk(true);
        restore_row(std::move(row), record.number());
        by_statement_ = true;
    }
    if (row_ends_.size() >= max_rows_ || rows_.size() >= max_statement_bytes)
        flush();
}

std::string mss_table::take_last_row(size_t start) {
    // A row after the first begins with the ",\r\n" that joins it to the one before.
    const size_t begin = start == 0 ? 0 : start + 3;
    std::string row = rows_.substr(begin);
    for (size_t& at : value_starts_)
        at -= begin;
    rows_.resize(start);
    row_ends_.pop_back();
    row_numbers_.pop_back();
    return row;
}

void mss_table::restore_row(std::string row, uint32_t number) {
    if (!rows_.empty())
        rows_.append(",\r\n");
    for (size_t& at : value_starts_)
        at += rows_.size();
    rows_.append(row);
    row_ends_.push_back(rows_.size());
    row_numbers_.push_back(number);
}

bool mss_table::put_values(odb_bulk_copy* copy) {
    for (size_t i = 0; i + 1 < value_starts_.size(); ++i) {
        // Each literal ends where ", " (or the closing parenthesis) begins.
        const size_t begin = value_starts_[i];
        const size_t end =
            i + 2 < value_starts_.size() ? value_starts_[i + 1] - 2 : value_starts_[i + 1];
        if (!mss_put_bulk_value(copy, i, std::string_view(rows_).substr(begin, end - begin),
                                bulk_columns_[i], scratch_))
            return false;
    }
    return true;
}

bool mss_table::put_bulk_row() {
    if (copy_ == nullptr) {
        if (!put_values(nullptr))
            return false;
        std::vector<odb_bulk_copy::kind> kinds;
        for (const mss_bulk_column& column : bulk_columns_)
            kinds.push_back(column.kind);
        try {
            copy_ =
                std::make_unique<odb_bulk_copy>(database_.connection(), safe_, kinds, identity_);
        } catch (const odb_exception& e) {
            TK_TRACE(3, "Bulk copy into %s refused (%s); records go by statement",
                     tk_trace_text(safe_).c_str(), e.what());
            fast_ = false;
            return false;
        }
        // The driver switches IDENTITY_INSERT on when it starts sending rows, and leaves it
        // on; statements after the copy switch it on again themselves.
        identity_on_ = false;
        identity_by_driver_ = identity_;
    }
    if (!put_values(copy_.get()))
        return false;
    if (!copy_->send_row())
        bulk_failed("the driver refused a record", !copy_->started());
    return true;
}

void mss_table::commit_bulk(bool end) {
    if (copy_ == nullptr)
        return;
    try {
        const int64_t committed = end ? copy_->done() : copy_->commit_batch();
        if (end)
            copy_.reset();
        TK_TRACE(2, "Bulk batch of %d records into %s: %d committed", int(row_ends_.size()),
                 tk_trace_text(safe_).c_str(), int(committed));
        bulk_records_ += row_ends_.size();
        stored_ += row_ends_.size();
        database_.add_records_stored(row_ends_.size(), true);
        bulk_failures_ = 0;
        forget_rows();
    } catch (const odb_exception& e) {
        bulk_failed(e.what(), false);
    }
}

void mss_table::bulk_failed(const std::string& why, bool refused) {
    TK_TRACE(3, "Bulk batch of %d records into %s failed (%s); sent again by statement",
             int(row_ends_.size()), tk_trace_text(safe_).c_str(), why.c_str());
    copy_.reset();
    if (++bulk_failures_ >= 2)
        fast_ = false;
    unconfirmed_ = row_ends_.size();
    if (refused) {
        // The driver leaves the connection pending on a load the server refused: every
        // statement after it would fail with "Invalid cursor state".
        TK_TRACE(3, "Reconnecting after the refused bulk load into %s",
                 tk_trace_text(safe_).c_str());
        if (database_.reconnect()) {
            identity_on_ = false;
            identity_by_driver_ = false;
        }
    }
    flush();
    unconfirmed_ = 0;
}

void mss_table::send(const std::string& utf8) {
    try {
        database_.connection().execute(tk_from_utf8(utf8));
    } catch (const odb_exception& e) {
        if (!e.connection_lost())
            throw;
        std::string text = "The connection to the server was lost while writing table '" +
                           tk_to_utf8(name_) + "': " + e.server_text() + "\n";
        // A bulk batch whose commit was never answered may be on the server or not.
        if (unconfirmed_ > 0)
            text += std::to_string(stored_) + " records of the table are on the server; the " +
                    std::to_string(unconfirmed_) +
                    " records of the last bulk batch may be there too (the server did not "
                    "answer its commit).";
        else
            text += std::to_string(row_ends_.size()) +
                    " records of the table were not written; the " + std::to_string(stored_) +
                    " records written before are in the table.";
        throw tk_exception(text, tk_exception::stop_run);
        throw;
    }
}

void mss_table::flush() {
    if (row_ends_.empty())
        return;
    if (identity_ && !identity_on_) {
        send(tk_to_utf8(u"SET IDENTITY_INSERT " + safe_ + u" ON"));
        identity_on_ = true;
    }
    std::string statement = "BEGIN TRANSACTION;\r\n";
    statement += insert_head_;
    statement += rows_;
    statement += ";\r\nCOMMIT TRANSACTION;";
    TK_TRACE(2, "Insert %d records into %s", int(row_ends_.size()), tk_trace_text(safe_).c_str());
    try {
        send(statement);
        database_.add_records_stored(row_ends_.size());
        stored_ += row_ends_.size();
        statement_records_ += row_ends_.size();
    } catch (const odb_exception& e) {
        TK_TRACE(3, "Batch of %d records refused (%s); sent again one by one",
                 int(row_ends_.size()), e.what());
        send(tk_to_utf8(close_transaction));
        replay();
    }
    forget_rows();
}

void mss_table::replay() {
    size_t begin = 0;
    for (size_t row = 0; row < row_ends_.size(); ++row) {
        // Each row's text begins after the ",\r\n" that joined it to the one before.
        const size_t start = row == 0 ? 0 : begin + 3;
        std::string statement = insert_head_;
        statement.append(rows_, start, row_ends_[row] - start);
        begin = row_ends_[row];
        try {
            send(statement);
            database_.add_records_stored(1);
            ++stored_;
            ++statement_records_;
        } catch (const odb_exception& e) {
            report_row(row, mss_server_message(e));
        }
    }
}

void mss_table::report_row(size_t row, const std::string& message) {
    ++failed_;
    const tk_exception e(message, tk_exception::recoverable);
    if (error_handler* handler = error_handler::try_instance()) {
        handler->set_record_context(name_, int32_t(row_numbers_[row]));
        handler->handle(e, false);
        return;
    }
    TK_TRACE(3, "Error:\n%s", message.c_str());
}

void mss_table::finish() {
    TK_TRACE(2, "mss_table::finish");
    if (finished_)
        return;
    finished_ = true;
    // IDENTITY_INSERT is the session's: it is switched off again however the last statement
    // went, or the next table with an IDENTITY column could not switch it on.
    try {
        commit_bulk(true);
        flush();
    } catch (...) {
        copy_.reset();
        switch_identity_off();
        throw;
    }
    switch_identity_off();
    if (bulk_records_ > 0)
        TK_TRACE(3, "Table %s: %llu records by bulk copy, %llu by statement",
                 tk_trace_text(safe_).c_str(), static_cast<unsigned long long>(bulk_records_),
                 static_cast<unsigned long long>(statement_records_));
}

void mss_table::switch_identity_off() {
    if (!identity_on_ && !identity_by_driver_)
        return;
    identity_on_ = false;
    identity_by_driver_ = false;
    try {
        send(tk_to_utf8(u"SET IDENTITY_INSERT " + safe_ + u" OFF"));
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
}
