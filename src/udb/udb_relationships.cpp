#include "udb/udb_relationships.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"

bool udb_relationships::is_acceptable_name(std::u16string_view name) const {
    TK_TRACE(2, "udb_relationships::is_acceptable_name(%s)", tk_trace_text(name).c_str());
    for (const udb_relationship& r : list_) {
        if (tk_equal_nocase(r.name, name))
            return false;
    }
    return true;
}

const udb_relationship& udb_relationships::get_index(std::u16string_view name) const {
    TK_TRACE(2, "udb_relationships::get_index(%s)", tk_trace_text(name).c_str());
    for (const udb_relationship& r : list_) {
        if (tk_equal_nocase(r.name, name))
            return r;
    }
    TK_FAIL();
}
