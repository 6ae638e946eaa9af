#include "mss/mss_validator.h"

#include "mss/mss_names.h"
#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_trace.h"
#include "udb/udb_schema.h"

#include <cstdio>

mss_validator::mss_validator() : udb_validator(0) {}

bool mss_validator::is_acceptable(std::u16string_view name) const {
    TK_TRACE(2, "mss_validator::is_acceptable(%s)", tk_trace_text(name).c_str());
    if (!udb_validator::is_acceptable(name))
        return false;
    TK_TRACE(1, "udb_validator::is_acceptable has been passed");
    TK_ASSERT(!name.empty());
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']') {
        TK_TRACE(1, "Names enclosed in [...] are always acceptable");
        return true;
    }
    return name.front() == u'_' || tk_is_alpha(name.front());
}

std::u16string mss_validator::get_safe_name(std::u16string_view name) const {
    TK_TRACE(2, "mss_validator::get_safe_name(%s)", tk_trace_text(name).c_str());
    std::u16string current(name);
    for (unsigned step = 0; is_duplicated(current); ++step) {
        TK_TRACE(2, "Duplicate table name was found");
        if (step % 2 == 0) {
            current.insert(current.begin(), u'_');
        } else {
            char digits[16];
            int n = std::snprintf(digits, sizeof digits, "%u", step / 2 + 1);
            current.insert(0, std::u16string(digits, digits + n));
        }
    }
    return current;
}

mss_tn_validator::mss_tn_validator(const std::vector<std::u16string>& tables,
                                   const std::vector<std::u16string>& names_in_use) {
    TK_TRACE(2, "mss_tn_validator::ctor");
    for (const auto& name : tables)
        add_existing_name(name);
    for (const auto& name : names_in_use)
        add_existing_name(name);
}

mss_fn_validator::mss_fn_validator(const udb_schema& schema) {
    TK_TRACE(2, "mss_fn_validator::ctor1");
    for (const auto& field : schema) {
        if (!field.name.empty() && is_acceptable(field.name))
            add_existing_name(field.name);
    }
}
