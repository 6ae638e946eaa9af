#include "udb/tabrix_bool_rule.h"

#include "tk/tk_trace.h"
#include "udb/udb_ftd.h"

bool tabrix_bool_rule::accepts_value(const ole_variant& value) const {
    return value.get_type() == VT_BOOL;
}

bool tabrix_bool_rule::accepts_field(const t_ftd& field) const {
    return field.vartype == VT_BOOL;
}

std::u16string tabrix_bool_rule::handle2(const ole_variant& value) const {
    TK_TRACE(2, "tabrix_bool_rule::handle2");
    if (value.get_type() != VT_BOOL)
        return std::u16string();
    return value.to_bool() ? u"'T'" : u"'F'";
}

void tabrix_bool_rule::handle1_1(const t_ftd&, odb_column_desc&) const {}
