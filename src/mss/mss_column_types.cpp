#include "mss/mss_column_types.h"

#include "ole/ole_types.h"
#include "tk/tk_trace.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_ftd.h"

#include <algorithm>

namespace {

// NUMERIC(p,s) stops at precision 38.
constexpr int max_numeric_precision = 38;
// The script's limits: text up to 3999 characters and binary up to 7999 bytes get a size;
// longer or unbounded columns get MAX.
constexpr uint32_t max_script_text = 3999;
constexpr uint32_t max_script_binary = 7999;

std::u16string ascii(const char* text) {
    std::u16string out;
    while (*text)
        out.push_back(char16_t(static_cast<unsigned char>(*text++)));
    return out;
}

std::u16string with_size(const char* keyword, uint32_t size, const char* tail) {
    return ascii(keyword) + u"(" + ascii(std::to_string(size).c_str()) + u")" + ascii(tail);
}

} // namespace

bool mss_is_whole_number(uint16_t vt) noexcept {
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
        return true;
    default:
        return false;
    }
}

bool mss_is_text_type(uint16_t vt) noexcept {
    switch (vt) {
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
    case VT_DATE:
    case VT_BOOL:
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        return false;
    default:
        return !mss_is_whole_number(vt);
    }
}

mss_numeric_shape mss_numeric_of(const t_ftd& column) noexcept {
    mss_numeric_shape shape;
    if (column.dw_reserved == 0)
        return shape;
    shape.known = true;
    shape.scale = column.decimal_scale();
    shape.precision = std::max<int>(column.decimal_precision(), shape.scale);
    return shape;
}

bool mss_script_identity(const t_ftd& column) noexcept {
    return column.native_type.empty() && column.b_auto_num && mss_is_whole_number(column.vartype);
}

std::u16string mss_script_type(const t_ftd& column, bool unicode, bool identity,
                               const udb_custom_conversion* rules) {
    TK_TRACE(2, "mss_dmp_database::get_native_type(%s)", tk_trace_text(column.name).c_str());
    TK_TRACE(1, "t_ftd.name=%s, t_ftd.type=%d, t_ftd.size=%d, t_ftd.native_type=%s",
             tk_trace_text(column.name).c_str(), column.vartype, static_cast<int>(column.size),
             tk_trace_text(column.native_type).c_str());
    if (!column.native_type.empty()) {
        TK_TRACE(1, "Field has custom type mapping defined");
        return column.native_type;
    }
    const char* identity_suffix = identity && column.b_auto_num ? " IDENTITY" : "";
    if (mss_is_whole_number(column.vartype)) {
        const bool big = column.vartype == VT_I8 || column.vartype == VT_UI8;
        return ascii(big ? "BIGINT" : "INT") + ascii(identity_suffix);
    }
    switch (column.vartype) {
    case VT_R4:
        return u"REAL";
    case VT_R8:
        return u"FLOAT";
    case VT_CY:
    case VT_DECIMAL: {
        mss_numeric_shape shape = mss_numeric_of(column);
        TK_TRACE(1, "Processing VT_DECIMAL with precision=%d", shape.precision);
        if (!shape.known)
            return column.vartype == VT_CY ? u"MONEY" : u"NUMERIC(38,9)";
        if (shape.precision > max_numeric_precision)
            return u"FLOAT";
        return ascii(
            ("NUMERIC(" + std::to_string(shape.precision) + "," + std::to_string(shape.scale) + ")")
                .c_str());
    }
    case VT_DATE:
        if (column.dw_reserved == t_ftd::date_only)
            return u"DATE";
        if (column.dw_reserved == t_ftd::time_only)
            return u"TIME";
        // Scripts target SQL Server 2008 and later: DATETIME2 holds the years 1 to 9999 to
        // the millisecond and beyond, where DATETIME starts at 1753.
        return u"DATETIME2";
    case VT_BOOL:
        // A rule that writes logical values as text ('T', 'F') needs a text column.
        return rules != nullptr && rules->rule_for(column) ? u"CHAR(1)" : u"BIT";
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        if (column.size >= 1 && column.size <= max_script_binary)
            return with_size("VARBINARY", column.size, " ");
        return u"VARBINARY(MAX)";
    default:
        TK_TRACE(1, "mss_engine::get_native_type - process as VT_BSTR(dw_reserved=%d)",
                 static_cast<int>(column.dw_reserved));
        if (column.dw_reserved == t_ftd::text_guid)
            return u" uniqueidentifier";
        if (column.size >= 1 && column.size <= max_script_text)
            return with_size(unicode ? "NVARCHAR" : "VARCHAR", column.size, " ");
        return unicode ? u"NVARCHAR(MAX)" : u"VARCHAR(MAX)";
    }
}

std::u16string get_mss_native_type(const t_ftd& column, bool type_only,
                                   const udb_target_facts& target) {
    TK_TRACE(2, "get_mss_native_type1(bTypeOnly=%d)", type_only ? 1 : 0);
    TK_TRACE(1, "vartype=%08X, size=%d", static_cast<unsigned>(column.vartype),
             static_cast<int>(column.size));
    const bool unicode = target.unicode;
    if (column.vartype == VT_DATE && target.date_types) {
        if (column.dw_reserved == t_ftd::date_only)
            return u"date";
        if (column.dw_reserved == t_ftd::time_only)
            return u"time";
    }
    switch (column.vartype) {
    case VT_I2:
    case VT_UI2:
        return u"smallint";
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return u"int";
    case VT_R4:
        return u"real";
    case VT_R8:
        return u"float";
    case VT_CY:
        return u"smallmoney";
    case VT_DATE:
        return u"datetime";
    case VT_BSTR:
        if (column.size == 0 || column.size > 4000)
            return unicode ? u"nvarchar(max)" : u"varchar(max)";
        if (type_only)
            return unicode ? u"nvarchar" : u"varchar";
        return with_size(unicode ? "nvarchar" : "varchar", column.size, " ");
    case VT_BOOL:
        return u"bit";
    case VT_DECIMAL: {
        int precision = column.decimal_precision();
        if (precision <= max_numeric_precision)
            return u"numeric";
        TK_TRACE(3, "get_mss_native_type: VT_DECIMAL(%d)", precision);
        return u"float";
    }
    case VT_I1:
    case VT_UI1:
        return u"tinyint";
    case VT_I8:
    case VT_UI8:
        return u"bigint";
    case VT_BLOB:
    case VT_BLOB_OBJECT:
        if (column.size == 0 || column.size > 8000)
            return u"varbinary(max)";
        if (type_only)
            return u"varbinary";
        return with_size("varbinary", column.size, " ");
    default:
        return unicode ? u"nvarchar(max)" : u"varchar(max)";
    }
}
