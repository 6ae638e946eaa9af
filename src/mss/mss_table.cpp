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
#include <utility>

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
    if (database.facts().fast_load && !database.connection().bulk_copy()) {
        const std::string& why = database.connection().bulk_copy_note();
        TK_TRACE(3, "Table %s goes by statement: %s", tk_trace_text(safe_).c_str(), why.c_str());
        database.note_no_bulk_copy(why);
    }
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
    pending_.text.clear();
    pending_.ends.clear();
    pending_.numbers.clear();
}

void mss_table::append_record(udb_record& record) {
    const udb_schema& schema = get_schema();
    if (record.size() != schema.size())
        throw tk_exception("The structure of data source does not conform to the destination "
                           "table.",
                           tk_exception::recoverable);
    convert_record(record);
    const size_t start = pending_.text.size();
    const udb_run_context& run = context();
    value_starts_.clear();
    try {
        pending_.text.append(pending_.ends.empty() ? "(" : ",\r\n(");
        for (size_t i = 0; i < schema.size(); ++i) {
            if (i > 0)
                pending_.text.append(", ");
            value_starts_.push_back(pending_.text.size());
            if (!mss_append_value_literal(pending_.text, record[i], schema[i], unicode_, run.rules,
                                          run.utf8_tables))
                notes_.add(i, udb_value_notes::number_out_of_range);
        }
        value_starts_.push_back(pending_.text.size());
        pending_.text.push_back(')');
    } catch (...) {
        pending_.text.resize(start);
        throw;
    }
    pending_.ends.push_back(pending_.text.size());
    pending_.numbers.push_back(record.number());
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
            if (pending_.ends.size() >= batch_size_)
                commit_bulk(false);
            return;
        }
        // The record goes by statement: the copy's records before it are committed first.
        std::string row = take_last_row(start);
        commit_bulk(true);
        restore_row(std::move(row), record.number());
        by_statement_ = true;
    }
    if (pending_.ends.size() >= max_rows_ || pending_.text.size() >= max_statement_bytes)
        flush();
}

std::string mss_table::take_last_row(size_t start) {
    // A row after the first begins with the ",\r\n" that joins it to the one before.
    const size_t begin = start == 0 ? 0 : start + 3;
    std::string row = pending_.text.substr(begin);
    for (size_t& at : value_starts_)
        at -= begin;
    pending_.text.resize(start);
    pending_.ends.pop_back();
    pending_.numbers.pop_back();
    return row;
}

void mss_table::restore_row(std::string row, uint32_t number) {
    if (!pending_.text.empty())
        pending_.text.append(",\r\n");
    for (size_t& at : value_starts_)
        at += pending_.text.size();
    pending_.text.append(row);
    pending_.ends.push_back(pending_.text.size());
    pending_.numbers.push_back(number);
}

bool mss_table::put_values(odb_bulk_copy* copy) {
    for (size_t i = 0; i + 1 < value_starts_.size(); ++i) {
        // Each literal ends where ", " (or the closing parenthesis) begins.
        const size_t begin = value_starts_[i];
        const size_t end =
            i + 2 < value_starts_.size() ? value_starts_[i + 1] - 2 : value_starts_[i + 1];
        if (!mss_put_bulk_value(copy, i, std::string_view(pending_.text).substr(begin, end - begin),
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
        TK_TRACE(2, "Bulk batch of %d records into %s: %d committed", int(pending_.ends.size()),
                 tk_trace_text(safe_).c_str(), int(committed));
        bulk_records_ += pending_.ends.size();
        stored_ += pending_.ends.size();
        database_.add_records_stored(pending_.ends.size(), true);
        bulk_failures_ = 0;
        forget_rows();
    } catch (const odb_exception& e) {
        bulk_failed(e.what(), false);
    }
}

void mss_table::bulk_failed(const std::string& why, bool refused) {
    TK_TRACE(3, "Bulk batch of %d records into %s failed (%s); sent again by statement",
             int(pending_.ends.size()), tk_trace_text(safe_).c_str(), why.c_str());
    copy_.reset();
    if (++bulk_failures_ >= 2)
        fast_ = false;
    unconfirmed_ = pending_.ends.size();
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

void mss_table::send(const std::string& utf8, size_t unwritten) {
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
            text += std::to_string(unwritten) + " records of the table were not written; the " +
                    std::to_string(stored_) + " records written before are in the table.";
        throw tk_exception(text, tk_exception::stop_run);
    }
}

void mss_table::flush() {
    if (pending_.ends.empty())
        return;
    // The rows leave the table's hands before anything is sent: whatever happens to them
    // (a stop in the middle of reporting a refused row included), they are never sent twice.
    const batch rows = std::exchange(pending_, batch{});
    if (identity_ && !identity_on_) {
        send(tk_to_utf8(u"SET IDENTITY_INSERT " + safe_ + u" ON"), rows.ends.size());
        identity_on_ = true;
    }
    std::string statement = "BEGIN TRANSACTION;\r\n";
    statement += insert_head_;
    statement += rows.text;
    statement += ";\r\nCOMMIT TRANSACTION;";
    TK_TRACE(2, "Insert %d records into %s", int(rows.ends.size()), tk_trace_text(safe_).c_str());
    try {
        send(statement, rows.ends.size());
        database_.add_records_stored(rows.ends.size());
        stored_ += rows.ends.size();
        statement_records_ += rows.ends.size();
    } catch (const odb_exception& e) {
        TK_TRACE(3, "Batch of %d records refused (%s); sent again one by one",
                 int(rows.ends.size()), e.what());
        send(tk_to_utf8(close_transaction), rows.ends.size());
        replay(rows);
    }
}

void mss_table::replay(const batch& rows) {
    size_t begin = 0;
    for (size_t row = 0; row < rows.ends.size(); ++row) {
        // Each row's text begins after the ",\r\n" that joined it to the one before.
        const size_t start = row == 0 ? 0 : begin + 3;
        std::string statement = insert_head_;
        statement.append(rows.text, start, rows.ends[row] - start);
        begin = rows.ends[row];
        try {
            send(statement, rows.ends.size() - row);
            database_.add_records_stored(1);
            ++stored_;
            ++statement_records_;
        } catch (const odb_exception& e) {
            report_row(rows.numbers[row], mss_server_message(e));
        }
    }
}

void mss_table::report_row(uint32_t number, const std::string& message) {
    ++failed_;
    const tk_exception e(message, tk_exception::recoverable);
    if (error_handler* handler = error_handler::try_instance()) {
        handler->set_record_context(name_, int32_t(number));
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
        try {
            switch_identity_off();
        } catch (const std::exception& e) {
            TK_TRACE(3, "IDENTITY_INSERT stays on: %s", e.what());
        }
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
        send(tk_to_utf8(u"SET IDENTITY_INSERT " + safe_ + u" OFF"), 0);
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
}
