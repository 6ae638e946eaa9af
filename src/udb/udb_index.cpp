#include "udb/udb_index.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

#include <utility>

bool udb_index::starts_with_fields(const std::vector<std::u16string>& columns) const {
    TK_TRACE(2, "udb_index::starts_with_fields(%s)", tk_trace_text(name).c_str());
    if (columns.size() > fields.size())
        return false;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!tk_equal_nocase(fields[i], columns[i])) {
            TK_TRACE(1, "Field '%s' not found", tk_trace_text(columns[i]).c_str());
            return false;
        }
    }
    TK_TRACE(1, "starts_with_fields returns true");
    return true;
}

const udb_index* udb_indexes::find(std::u16string_view name) const {
    for (const udb_index& index : list_) {
        if (tk_equal_nocase(index.name, name))
            return &index;
    }
    return nullptr;
}

udb_index* udb_indexes::find(std::u16string_view name) {
    return const_cast<udb_index*>(std::as_const(*this).find(name));
}

bool udb_indexes::is_acceptable_name(std::u16string_view name) const {
    TK_TRACE(2, "udb_indexes::is_acceptable_name(%s)", tk_trace_text(name).c_str());
    return find(name) == nullptr;
}

bool udb_indexes::find2(std::u16string_view name) const {
    TK_TRACE(2, "udb_indexes::find2(%s)", tk_trace_text(name).c_str());
    return find(name) != nullptr;
}

const udb_index& udb_indexes::get_index(std::u16string_view name) const {
    TK_TRACE(2, "udb_indexes::get_index(%s)", tk_trace_text(name).c_str());
    const udb_index* index = find(name);
    TK_ASSERT(index != nullptr);
    return *index;
}

void udb_indexes::push_back(const udb_index& index) {
    TK_TRACE(2, "udb_indexes::push_back(%s)", tk_trace_text(index.name).c_str());
    udb_index* existing = find(index.name);
    if (existing == nullptr) {
        TK_TRACE(1, "Index does not exist, add it");
        list_.push_back(index);
    } else if (existing->b_primary) {
        TK_TRACE(1, "Primary key with the same name exists, skip it.");
    } else if (index.b_primary) {
        TK_TRACE(1, "Upgrade existing index to primary key.");
        *existing = index;
    } else if (existing->b_unique) {
        TK_TRACE(1, "Unique index with the same name exists, skip it.");
    } else if (index.b_unique) {
        TK_TRACE(1, "Set unique attribute for existing index.");
        *existing = index;
    }
}

bool udb_indexes::is_idx_field(std::u16string_view column, bool primary_only) const {
    TK_TRACE(2, "udb_indexes::is_idx_field(%s)", tk_trace_text(column).c_str());
    for (const udb_index& index : list_) {
        if (primary_only && !index.b_primary)
            continue;
        for (const std::u16string& field : index.fields) {
            if (field == column) {
                TK_TRACE(1, "index field");
                return true;
            }
        }
    }
    TK_TRACE(1, "non-index field");
    return false;
}
