#include "mss/mss_dmp_recordset.h"

#include "mss/mss_dmp_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_literal.h"
#include "mss/mss_table_definition.h"
#include "tk/tk_exception.h"
#include "tk/tk_product.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>

namespace {

constexpr std::string_view insert_tail = ");\r\nGO\r\n\r\n";
// The format that loads fast: rows of one statement on lines of their own.
constexpr std::string_view row_separator = "),\r\n(";
constexpr std::string_view statement_end = ");\r\n";
constexpr std::string_view batch_end = "GO\r\n";

} // namespace

mss_dmp_recordset::mss_dmp_recordset(mss_dmp_database& database, std::u16string name,
                                     const udb_schema& schema, mss_dmp_table_text text)
    : udb_recordset(std::move(name), &database), file_(database.file()), text_(std::move(text)),
      unicode_(database.unicode()), rules_(database.context().rules),
      utf8_tables_(database.context().utf8_tables), loads_fast_(database.options().loads_fast()),
      rows_per_insert_(std::max<uint32_t>(1, database.options().rows_per_insert)),
      rows_per_batch_(database.options().rows_per_batch) {
    mutable_schema() = schema;
    notes_.reset(schema.size());
    insert_head_ = tk_to_utf8(mss_insert_head(text_.insert_table, schema) + u"(");
}

mss_dmp_recordset::~mss_dmp_recordset() {
    TK_TRACE(2, "mss_dmp_recordset::dtor");
}

void mss_dmp_recordset::check_source_fields(const udb_record& record) {
    const uint64_t generation = database_ ? database_->get_names_map().generation() : 0;
    if (checked_ids_.size() == record.size() && checked_generation_ == generation) {
        size_t i = 0;
        while (i < record.size() && checked_ids_[i] == record[i].get_name_id())
            ++i;
        if (i == record.size())
            return;
    }
    const udb_schema& schema = get_schema();
    for (const t_ftd& column : schema) {
        std::u16string original =
            database_ ? database_->get_names_map().get_fn_orig_name(name_, column.name, true)
                      : column.name;
        TK_TRACE(1, "Name=%s, original name=%s", tk_trace_text(column.name).c_str(),
                 tk_trace_text(original).c_str());
        if (!record.find_field(original)) {
            TK_TRACE(2, "Field %s not found", tk_trace_text(original).c_str());
            throw tk_exception(
                "Generic error occurred while migrating the data.\nContact to " TK_SUPPORT_EMAIL
                " for the solution.",
                tk_exception::recoverable);
        }
    }
    checked_generation_ = generation;
    checked_ids_.clear();
    for (size_t i = 0; i < record.size(); ++i)
        checked_ids_.push_back(record[i].get_name_id());
}

void mss_dmp_recordset::append_record(udb_record& record) {
    const udb_schema& schema = get_schema();
    TK_TRACE(2, "mss_dmp_recordset::append_record(schema size=%d, record size=%d",
             static_cast<int>(schema.size()), static_cast<int>(record.size()));
    if (record.size() != schema.size())
        throw tk_exception("The structure of data source does not conform to the destination "
                           "table.",
                           tk_exception::recoverable);
    convert_record(record);
    if (identity_pending_ && !text_.identity_on.empty()) {
        file_.write(tk_to_utf8(text_.identity_on));
        identity_pending_ = false;
    }
    check_source_fields(record);

    std::string& out = file_.buffer();
    // A record that fails takes back all it wrote, the statement's head or the separator
    // before its row included.
    const size_t start = out.size();
    try {
        out.append(statement_rows_ == 0 ? std::string_view(insert_head_) : row_separator);
        for (size_t i = 0; i < schema.size(); ++i) {
            if (i > 0)
                out.append(", ");
            if (!mss_append_value_literal(out, record[i], schema[i], unicode_, rules_,
                                          utf8_tables_))
                notes_.add(i, udb_value_notes::number_out_of_range);
        }
        if (!loads_fast_)
            out.append(insert_tail);
    } catch (...) {
        out.resize(start);
        throw;
    }
    TK_TRACE(2, "Run SQL query: %.*s", static_cast<int>(out.size() - start), out.data() + start);
    if (!loads_fast_) {
        file_.commit_record();
        return;
    }
    ++statement_rows_;
    ++batch_rows_;
    const bool batch_full = rows_per_batch_ != 0 && batch_rows_ >= rows_per_batch_;
    if (batch_full || statement_rows_ >= rows_per_insert_)
        close_statement(batch_full || rows_per_batch_ == 0);
    else
        file_.commit();
}

void mss_dmp_recordset::close_statement(bool end_batch) {
    std::string& out = file_.buffer();
    if (statement_rows_ != 0)
        out.append(statement_end);
    if (end_batch && batch_rows_ != 0) {
        out.append(batch_end);
        batch_rows_ = 0;
    }
    // The records of a statement reach the file together, with its end.
    file_.commit_records(statement_rows_);
    statement_rows_ = 0;
}

void mss_dmp_recordset::finish() {
    TK_TRACE(2, "mss_dmp_recordset::finish");
    if (finished_)
        return;
    finished_ = true;
    if (loads_fast_)
        close_statement(true);
    if (!identity_pending_)
        file_.write(tk_to_utf8(text_.identity_off));
    file_.write(tk_to_utf8(text_.tail));
}
