#include "udb/udb_database.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"
#include "udb/udb_recordset.h"

namespace {

const udb_run_context no_run;

} // namespace

udb_database::udb_database(std::u16string name, bool case_sensitive)
    : name_(std::move(name)), case_sensitive_(case_sensitive), context_(&no_run) {
    TK_TRACE(2, "udb_database::ctor(%s)", tk_trace_text(name_).c_str());
}

udb_database::~udb_database() {
    TK_TRACE(2, "udb_database::dtor");
}

void udb_database::create_schema(std::u16string_view) {}

void udb_database::create_index(std::u16string_view, const udb_schema&, const udb_index&) {}

void udb_database::create_indexes(std::u16string_view table, const udb_schema& schema,
                                  const udb_indexes& indexes) {
    TK_TRACE(2, "udb_database::create_indexes(%s)", tk_trace_text(table).c_str());
    TK_TRACE(1, "idxs.size=%d", int(indexes.size()));
    for (const udb_index& index : indexes)
        create_index(table, schema, index);
    TK_TRACE(1, "udb_database::create_indexes - at the END");
}

void udb_database::create_views(const udb_named_texts&) {}

void udb_database::delete_fk(const udb_relationship&) {}

void udb_database::delete_idx(std::u16string_view, const udb_index&) {}

int32_t udb_database::find_table_name(std::u16string_view name) const {
    for (size_t i = 0; i < table_names_.size(); ++i) {
        TK_TRACE(1, "Compare with %s", tk_trace_text(table_names_[i]).c_str());
        const bool same =
            case_sensitive_ ? table_names_[i] == name : tk_equal_nocase(table_names_[i], name);
        if (same)
            return int32_t(i);
    }
    return -1;
}

bool udb_database::delete_tab(std::u16string_view name) {
    TK_TRACE(2, "udb_database::delete_tab(%s)", tk_trace_text(name).c_str());
    const int32_t i = find_table_name(name);
    if (i < 0) {
        TK_TRACE(2, "Table not found!");
        return false;
    }
    table_names_.erase(table_names_.begin() + i);
    return true;
}

void udb_database::get_schema_info(std::vector<std::u16string>& schemas) {
    schemas.clear();
}

std::unique_ptr<udb_recordset> udb_database::query(std::u16string_view) {
    TK_FAIL();
}

void udb_database::create_relationships(const udb_relationships&) {}

bool udb_database::is_table_exist(std::u16string_view name) const {
    TK_TRACE(2, "udb_database::is_table_exist(%s,case_sensitive=%d)", tk_trace_text(name).c_str(),
             int(case_sensitive_));
    const bool exists = find_table_name(name) >= 0;
    TK_TRACE(1, exists ? "table exists" : "table not found");
    return exists;
}

void udb_database::finish() {}

void udb_database::abandon() noexcept {
    try {
        finish();
    } catch (...) {
        TK_TRACE(3, "Cannot finish the database of a stopped run");
    }
}
