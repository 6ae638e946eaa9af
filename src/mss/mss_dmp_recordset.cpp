#include "mss/mss_dmp_recordset.h"

#include "mss/mss_dmp_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_literal.h"
#include "mss/mss_table_definition.h"
#include "tk/tk_exception.h"
#include "tk/tk_product.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

namespace {

constexpr std::string_view insert_tail = ");\r\nGO\r\n\r\n";

} // namespace

mss_dmp_recordset::mss_dmp_recordset(mss_dmp_database& database, std::u16string name,
                                     const udb_schema& schema, mss_dmp_table_text text)
    : udb_recordset(std::move(name), &database), file_(database.file()), text_(std::move(text)),
      unicode_(database.unicode()), rules_(database.context().rules) {
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
    const size_t start = out.size();
    try {
        out.append(insert_head_);
        for (size_t i = 0; i < schema.size(); ++i) {
            if (i > 0)
                out.append(", ");
            if (!mss_append_value_literal(out, record[i], schema[i], unicode_, rules_))
                notes_.add(i, udb_value_notes::number_out_of_range);
        }
        out.append(insert_tail);
    } catch (...) {
        out.resize(start);
        throw;
    }
    TK_TRACE(2, "Run SQL query: %.*s", static_cast<int>(out.size() - start - 2),
             out.data() + start);
    file_.commit_record();
}

void mss_dmp_recordset::finish() {
    TK_TRACE(2, "mss_dmp_recordset::finish");
    if (finished_)
        return;
    finished_ = true;
    if (!identity_pending_)
        file_.write(tk_to_utf8(text_.identity_off));
    file_.write(tk_to_utf8(text_.tail));
}
