#include "udb/udb_ftd.h"

#include "tk/tk_trace.h"

#include <utility>

namespace {

// Text types a column may hold besides VT_BSTR: ANSI and wide C strings.
constexpr uint16_t vt_lpstr = 30;
constexpr uint16_t vt_lpwstr = 31;

bool is_text_type(uint16_t vt) {
    return vt == VT_BSTR || vt == vt_lpstr || vt == vt_lpwstr;
}

bool is_binary_type(uint16_t vt) {
    return ole_variant::is_binary(vt);
}

// Destination types that take numbers.
bool is_numeric_destination(uint16_t vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

// Source types whose values a numeric column takes. VT_INT and VT_UINT are deliberately
// absent: they are machine-sized and only conform to the very same type.
bool is_numeric_source(uint16_t vt) {
    switch (vt) {
    case VT_BOOL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_DECIMAL:
    case VT_CY:
        return true;
    default:
        return false;
    }
}

// "yyyy-mm-dd hh:mm:ss": a text column this wide holds a date and time.
constexpr uint32_t date_time_text_size = 19;

} // namespace

t_ftd::t_ftd(uint32_t size_, std::u16string name_, uint16_t vartype_, bool not_null, bool auto_num,
             const ole_variant& default_value_, uint32_t reserved, std::u16string native_type_)
    : size(size_), name(std::move(name_)), vartype(vartype_), native_type(std::move(native_type_)),
      b_auto_num(auto_num), b_not_null(not_null), default_value(default_value_),
      dw_reserved(reserved) {
    TK_TRACE(1, "\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d",
             tk_trace_text(name).c_str(), int(vartype), int(size), int(b_not_null),
             int(dw_reserved));
}

bool t_ftd::conform_to(const t_ftd& dest) const {
    TK_TRACE(1, "t_ftd::conform_to");
    const uint16_t s = vartype;
    const uint16_t d = dest.vartype;
    if ((s == VT_DECIMAL && d == VT_CY) || (s == VT_CY && d == VT_DECIMAL))
        return true;
    if (s == d && !(s == VT_BSTR && size != dest.size))
        return true;

    const bool size_fits = dest.size == 0 || dest.size >= size;
    if (d == VT_DATE)
        return s == VT_DATE || (s == VT_BSTR && size == date_time_text_size);
    if (is_numeric_destination(d))
        return is_numeric_source(s);
    if (is_text_type(d)) {
        if (is_text_type(s))
            return size_fits;
        return !is_binary_type(s);
    }
    if (is_binary_type(d))
        return is_text_type(s) || is_binary_type(s) ? size_fits : true;
    return false;
}
