#include "udb/udb_schema.h"

#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

namespace {

const t_ftd& empty_descriptor() {
    static const t_ftd empty{};
    return empty;
}

} // namespace

int32_t udb_schema::get_field_idx(std::u16string_view name) const {
    TK_TRACE(2, "udb_schema::get_field_idx(%s)", tk_trace_text(name).c_str());
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (tk_equal_nocase(fields_[i].name, name))
            return int32_t(i);
    }
    return -1;
}

bool udb_schema::find_field(std::u16string_view name) const {
    TK_TRACE(2, "udb_schema::find_field(%s)", tk_trace_text(name).c_str());
    TK_TRACE(1, "Schema size=%d", int(fields_.size()));
    for (size_t i = 0; i < fields_.size(); ++i) {
        TK_TRACE(1, "Processing field #%d", int(i));
        TK_TRACE(1, "Field name: '%s'", tk_trace_text(fields_[i].name).c_str());
        if (tk_equal_nocase(fields_[i].name, name))
            return true;
    }
    return false;
}

uint32_t udb_schema::get_field_size(std::u16string_view name) const {
    TK_TRACE(2, "udb_schema::get_field_size(%s)", tk_trace_text(name).c_str());
    const int32_t i = get_field_idx(name);
    if (i < 0) {
        TK_TRACE(3, "Field '%s' not found", tk_trace_text(name).c_str());
        return 0xFFFFFFFFu;
    }
    return fields_[size_t(i)].size;
}

uint16_t udb_schema::get_field_type(std::u16string_view name) const {
    TK_TRACE(2, "udb_schema::get_field_type(%s)", tk_trace_text(name).c_str());
    const int32_t i = get_field_idx(name);
    if (i < 0) {
        TK_TRACE(2, "Field '%s' not found", tk_trace_text(name).c_str());
        return VT_NULL;
    }
    return fields_[size_t(i)].vartype;
}

const t_ftd& udb_schema::get_field1(std::u16string_view name) const {
    TK_TRACE(2, "udb_schema::get_field1(%s)", tk_trace_text(name).c_str());
    const int32_t i = get_field_idx(name);
    if (i < 0) {
        TK_TRACE(3, "Field '%s' not found", tk_trace_text(name).c_str());
        return empty_descriptor();
    }
    return fields_[size_t(i)];
}

bool udb_schema::conform_to(const udb_schema& dest) const {
    TK_TRACE(2, "udb_schema::conform_to");
    if (fields_.size() != dest.fields_.size()) {
        TK_TRACE(2, "Tables are not conformed: src_size=%d, dest_size=%d", int(fields_.size()),
                 int(dest.fields_.size()));
        return false;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        const t_ftd& s = fields_[i];
        const t_ftd& d = dest.fields_[i];
        if (!s.conform_to(d)) {
            TK_TRACE(
                2, "Column #%d doesn't conform (src_vt=%d, src_size=%d, dest_vt=%d, dest_size=%d)",
                int(i + 1), int(s.vartype), int(s.size), int(d.vartype), int(d.size));
            return false;
        }
    }
    return true;
}
