#include "udb/udb_recordset.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"
#include "udb/udb_database.h"

namespace {

constexpr char structure_mismatch[] =
    "The structure of data source does not conform to the destination table.";

} // namespace

udb_recordset::udb_recordset(std::u16string name, udb_database* database)
    : name_(std::move(name)), database_(database) {}

const udb_run_context& udb_recordset::context() const noexcept {
    static const udb_run_context no_run;
    return database_ != nullptr ? database_->context() : no_run;
}

void udb_recordset::append_records(std::span<udb_record* const> records) {
    for (udb_record* record : records)
        append_record(*record);
}

udb_recordset::~udb_recordset() {
    TK_TRACE(2, "udb_recordset::dtor");
}

void udb_recordset::update() {
    TK_TRACE(2, "udb_recordset::update");
}

udb_record* udb_recordset::get_item() {
    return nullptr;
}

bool udb_recordset::is_eof() {
    return true;
}

void udb_recordset::next() {}

void udb_recordset::prev() {}

void udb_recordset::reset() {}

void udb_recordset::finish() {}

udb_schema& udb_recordset::mutable_schema() noexcept {
    mapped_ids_.clear();
    mapped_columns_.clear();
    return schema_;
}

void udb_recordset::add_index(const udb_index& index) {
    TK_TRACE(2, "udb_recordset::add_index(%s, %d)", tk_trace_text(index.name).c_str(),
             int(key_index_));
    if (!indexes_.is_acceptable_name(index.name)) {
        TK_TRACE(3, "Index '%s' cannot be processed", tk_trace_text(index.name).c_str());
        return;
    }
    if (key_index_ == -1 && (index.b_primary || index.b_unique)) {
        TK_TRACE(1, "Store primary/unique key");
        key_index_ = int32_t(indexes_.size());
    }
    indexes_.push_back(index);
}

int32_t udb_recordset::lookup_column(const udb_field& field) const {
    const std::u16string mapped =
        database_ != nullptr
            ? database_->get_names_map().get_fn_mapped_name(name_, field.get_name(), true)
            : field.get_name();
    TK_TRACE(1, "Got mapped field name: %s", tk_trace_text(mapped).c_str());
    const int32_t column = schema_.get_field_idx(mapped);
    if (column < 0) {
        TK_TRACE(2, "Field '%s' not found in schema", tk_trace_text(mapped).c_str());
        throw tk_exception(structure_mismatch, tk_exception::stop_run);
    }
    TK_TRACE(1, "from=%s, to=%s", tk_trace_text(field.get_name()).c_str(),
             tk_trace_text(mapped).c_str());
    return column;
}

void udb_recordset::convert_record(udb_record& record) {
    TK_TRACE(2, "udb_recordset::convert_record");
    // Every record of a table has the same fields, so the name look-ups (a names-map walk
    // and a locale-aware schema search per field) are made once; later records are only
    // matched by the fields' name tokens.
    const uint64_t generation = database_ != nullptr ? database_->get_names_map().generation() : 0;
    const size_t n = record.size();
    if (generation != mapped_generation_ || mapped_columns_.size() != n) {
        mapped_ids_.assign(n, 0);
        mapped_columns_.assign(n, -1);
        mapped_generation_ = generation;
    }
    for (size_t i = 0; i < n; ++i) {
        udb_field& field = record[i];
        if (mapped_columns_[i] < 0 || mapped_ids_[i] != field.get_name_id()) {
            mapped_columns_[i] = -1;
            const int32_t column = lookup_column(field);
            mapped_ids_[i] = field.get_name_id();
            mapped_columns_[i] = column;
        }
        field.change_type(schema_[size_t(mapped_columns_[i])].vartype);
    }
}
