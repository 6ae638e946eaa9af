#include "mss/mss_table.h"

#include "mss/mss_database.h"
#include "mss/mss_literal.h"
#include "mss/mss_server_errors.h"
#include "mss/mss_table_definition.h"
#include "odb/odb_connection.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <utility>

namespace {

// What is sent after a statement that may have left its transaction open: a batch-ending
// error (a failed conversion) stops the batch before COMMIT.
constexpr std::u16string_view close_transaction = u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION";

} // namespace

mss_table::mss_table(mss_database& database, std::u16string name, const udb_schema& schema,
                     bool identity)
    : udb_recordset(std::move(name), &database), database_(database),
      safe_(database.safe_name(name_)), identity_(identity), unicode_(database.unicode()) {
    mutable_schema() = schema;
    notes_.reset(schema.size());
    insert_head_ = tk_to_utf8(mss_insert_head(safe_, schema));
}

mss_table::~mss_table() {
    TK_TRACE(2, "mss_table::dtor");
}

void mss_table::append_record(udb_record& record) {
    const udb_schema& schema = get_schema();
    if (record.size() != schema.size())
        throw tk_exception("The structure of data source does not conform to the destination "
                           "table.",
                           tk_exception::recoverable);
    convert_record(record);
    std::string& text = pending_.text;
    const size_t start = text.size();
    try {
        text.append(pending_.ends.empty() ? "(" : ",\r\n(");
        for (size_t i = 0; i < schema.size(); ++i) {
            if (i > 0)
                text.append(", ");
            if (!mss_append_value_literal(text, record[i], schema[i], unicode_, context().rules))
                notes_.add(i, udb_value_notes::number_out_of_range);
        }
        text.push_back(')');
    } catch (...) {
        text.resize(start);
        throw;
    }
    pending_.ends.push_back(text.size());
    pending_.numbers.push_back(record.number());
    if (pending_.ends.size() >= max_rows || text.size() >= max_statement_bytes)
        flush();
}

void mss_table::send(const std::string& utf8, size_t unwritten) {
    try {
        database_.connection().execute(tk_from_utf8(utf8));
    } catch (const odb_exception& e) {
        if (e.connection_lost())
            throw tk_exception("The connection to the server was lost while writing table '" +
                                   tk_to_utf8(name_) + "': " + e.server_text() + "\n" +
                                   std::to_string(unwritten) +
                                   " records of the table were not written; the records "
                                   "written before are in the table.",
                               tk_exception::stop_run);
        throw;
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
        flush();
    } catch (...) {
        try {
            switch_identity_off();
        } catch (const std::exception& e) {
            TK_TRACE(3, "IDENTITY_INSERT stays on: %s", e.what());
        }
        throw;
    }
    switch_identity_off();
}

void mss_table::switch_identity_off() {
    if (!identity_on_)
        return;
    identity_on_ = false;
    try {
        send(tk_to_utf8(u"SET IDENTITY_INSERT " + safe_ + u" OFF"), 0);
    } catch (const odb_exception& e) {
        throw mss_server_error(e);
    }
}
