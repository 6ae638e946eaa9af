#include "ole/ole_variant.h"

#include "ole/ole_date.h"
#include "ole/ole_number_text.h"
#include "tk/tk_locale.h"
#include "tk/tk_string.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The leading whole number of a text as the C library reads it (blanks, sign, digits, then
// anything), saturated to the given range as the Microsoft run-time library's atoi and
// _atoi64 do on overflow.
int64_t leading_integer(std::string_view text, int64_t min, int64_t max) {
    size_t i = 0;
    while (i < text.size() && is_c_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? 0 - static_cast<uint64_t>(min) : static_cast<uint64_t>(max);
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > limit)
            return negative ? min : max;
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

// "%u" / "%I64u": blanks, an optional sign (a minus negates modulo 2^n), digits; no digits
// leaves 0. Values beyond the range saturate.
uint64_t scan_unsigned(std::string_view text, uint64_t max) {
    size_t i = 0;
    while (i < text.size() && is_c_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned d = static_cast<unsigned>(text[i] - '0');
        if (value > (max - d) / 10)
            return max;
        value = value * 10 + d;
    }
    return negative ? (0 - value) & max : value;
}

// Calls `use` with a copy of `text` whose decimal commas became points; short texts are
// copied on the stack.
template <class Use> auto with_decimal_points(std::string_view text, Use use) {
    char buffer[128];
    std::string long_copy;
    char* p = buffer;
    if (text.size() > sizeof buffer) {
        long_copy.assign(text);
        p = long_copy.data();
    } else
        std::memcpy(buffer, text.data(), text.size());
    std::replace(p, p + text.size(), ',', '.');
    return use(std::string_view(p, text.size()));
}

// The C library's atof on a text whose decimal commas became points: the longest number at
// the start, 0 when there is none; never the process locale's decimal separator.
double leading_real(std::string_view text) {
    return with_decimal_points(text, [](std::string_view s) {
        while (!s.empty() && is_c_space(s.front()))
            s.remove_prefix(1);
        bool negative = false;
        if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
            negative = s[0] == '-';
            s.remove_prefix(1);
        }
        double value = 0;
        auto result = std::from_chars(s.data(), s.data() + s.size(), value);
        if (result.ec == std::errc::invalid_argument)
            value = 0;
        else if (result.ec == std::errc::result_out_of_range)
            value = value == 0 ? 0 : std::numeric_limits<double>::infinity();
        return negative ? -value : value;
    });
}

bool is_ascii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Number text for VarCyFromStr / VarDecFromStr: decimal commas become points.
template <class Convert> HRESULT convert_number_text(std::string_view text, Convert convert) {
    return with_decimal_points(text, [&](std::string_view copy) {
        if (is_ascii(copy))
            return convert(copy);
        return convert(std::u16string_view(tk_from_codepage(copy, tk_ansi_codepage())));
    });
}

template <class T> void append_integer(std::string& out, T value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_scientific(std::string& out, double value, int precision) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, precision);
    out.append(buffer, result.ptr);
}

// The bool rule of the numeric views: 0xFFFF is 1, anything else its signed 16-bit value.
int32_t bool_value(VARIANT_BOOL b) {
    return b == VARIANT_TRUE ? 1 : b;
}

// A double truncated toward zero and saturated, for the numeric views that cannot fail.
template <class T> T saturate(double value) {
    if (std::isnan(value))
        return 0;
    T out{};
    if (ole_truncate_to(value, out))
        return out;
    return value < 0 ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
}

// The whole-number views (to_long, to_i8, to_ui8), which differ only in their width and in
// the conversions they use for CY and DECIMAL. A failed conversion gives 0.
template <class T>
T whole_number(const VARIANT& v, int64_t i8, uint64_t ui8, HRESULT (*from_cy)(CY, T&),
               HRESULT (*from_decimal)(const DECIMAL&, T&)) {
    T out = 0;
    HRESULT hr = S_OK;
    switch (v.vt) {
    case VT_I2:
        return static_cast<T>(v.iVal);
    case VT_I4:
        return static_cast<T>(v.lVal);
    case VT_I1:
        return static_cast<T>(v.cVal);
    case VT_UI1:
        return static_cast<T>(v.bVal);
    case VT_UI2:
        return static_cast<T>(v.uiVal);
    case VT_UI4:
        return static_cast<T>(v.ulVal);
    case VT_R4:
        return saturate<T>(v.fltVal);
    case VT_R8:
        return saturate<T>(v.dblVal);
    case VT_BOOL:
        return static_cast<T>(bool_value(v.boolVal));
    case VT_I8:
        return static_cast<T>(i8);
    case VT_UI8:
        return static_cast<T>(ui8);
    case VT_CY:
        hr = from_cy(v.cyVal, out);
        break;
    case VT_DECIMAL:
        hr = from_decimal(v.decVal, out);
        break;
    default:
        return 0;
    }
    if (FAILED(hr)) {
        TK_TRACE(3, "ole_variant: %s conversion failed: %08X", v.vt == VT_CY ? "CY" : "DECIMAL",
                 static_cast<unsigned>(hr));
        return 0;
    }
    return out;
}

const tk_codepage& ansi_codepage() {
    return tk_codepage::get(tk_ansi_codepage());
}

} // namespace

// ---- Construction and assignment ------------------------------------------------------------

ole_variant::ole_variant(const SYSTEMTIME& st) {
    set_date(st);
}
ole_variant::ole_variant(CY value) noexcept {
    set_cy(value);
}
ole_variant::ole_variant(const DECIMAL& value) noexcept {
    set_decimal(value);
}
ole_variant::ole_variant(const char16_t* bstr) {
    *this = bstr;
}
ole_variant::ole_variant(bool value) noexcept {
    set_bool(value);
}
ole_variant::ole_variant(char value) noexcept {
    set_i1(static_cast<int8_t>(value));
}
ole_variant::ole_variant(signed char value) noexcept {
    set_i1(value);
}
ole_variant::ole_variant(unsigned char value) noexcept {
    set_ui1(value);
}
ole_variant::ole_variant(short value) noexcept {
    set_i2(value);
}
ole_variant::ole_variant(unsigned short value) noexcept {
    set_ui2(value);
}
ole_variant::ole_variant(int value) noexcept {
    set_i4(value);
}
ole_variant::ole_variant(unsigned int value) noexcept {
    set_ui4(value);
}
ole_variant::ole_variant(long value) noexcept {
    set_i8(value);
}
ole_variant::ole_variant(unsigned long value) noexcept {
    set_ui8(value);
}
ole_variant::ole_variant(long long value) noexcept {
    set_i8(value);
}
ole_variant::ole_variant(unsigned long long value) noexcept {
    set_ui8(value);
}
ole_variant::ole_variant(float value) noexcept {
    set_r4(value);
}
ole_variant::ole_variant(double value) noexcept {
    set_r8(value);
}
ole_variant::ole_variant(std::string_view text) {
    attach_string(text);
}
ole_variant::ole_variant(std::u16string_view text) {
    attach_wstring(text);
}
ole_variant::ole_variant(size_t count, const uint8_t* bytes) {
    attach_binary(count, bytes);
}

ole_variant& ole_variant::operator=(const ole_variant& other) {
    if (this != &other) {
        // Member-wise: the text and byte buffers keep their capacity.
        i8_ = other.i8_;
        ui8_ = other.ui8_;
        system_time_ = other.system_time_;
        var_.vt = other.var_.vt;
        std::memcpy(&var_.decVal, &other.var_.decVal, sizeof(DECIMAL));
        var_.bstrVal.assign(other.var_.bstrVal);
        var_.parray.assign(other.var_.parray.begin(), other.var_.parray.end());
        narrow_codepage_ = other.narrow_codepage_;
        if (narrow_codepage_)
            narrow_.assign(other.narrow_);
    }
    return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
    if (this != &other) {
        i8_ = other.i8_;
        ui8_ = other.ui8_;
        system_time_ = other.system_time_;
        var_ = std::move(other.var_);
        other.var_.vt = VT_EMPTY;
        narrow_codepage_ = other.narrow_codepage_;
        narrow_.swap(other.narrow_);
        other.narrow_codepage_ = nullptr;
    }
    return *this;
}

ole_variant& ole_variant::operator=(const char16_t* bstr) {
    std::u16string& text = set_bstr();
    if (bstr)
        text.assign(bstr);
    return *this;
}

ole_variant::~ole_variant() = default;

// ---- Setters --------------------------------------------------------------------------------

void ole_variant::clear() noexcept {
    VariantClear(var_);
    narrow_codepage_ = nullptr;
    i8_ = 0;
    ui8_ = 0;
}

void ole_variant::set_null() noexcept {
    clear();
    var_.vt = VT_NULL;
}

#define OLE_VARIANT_SETTER(name, type, vt_code, member)                                            \
    void ole_variant::name(type value) noexcept {                                                  \
        var_.bstrVal.clear();                                                                      \
        narrow_codepage_ = nullptr;                                                                \
        var_.parray.clear();                                                                       \
        var_.decVal = DECIMAL{};                                                                   \
        var_.vt = vt_code;                                                                         \
        var_.member = value;                                                                       \
    }

OLE_VARIANT_SETTER(set_i1, int8_t, VT_I1, cVal)
OLE_VARIANT_SETTER(set_ui1, uint8_t, VT_UI1, bVal)
OLE_VARIANT_SETTER(set_i2, int16_t, VT_I2, iVal)
OLE_VARIANT_SETTER(set_ui2, uint16_t, VT_UI2, uiVal)
OLE_VARIANT_SETTER(set_i4, int32_t, VT_I4, lVal)
OLE_VARIANT_SETTER(set_ui4, uint32_t, VT_UI4, ulVal)
OLE_VARIANT_SETTER(set_r4, float, VT_R4, fltVal)
OLE_VARIANT_SETTER(set_r8, double, VT_R8, dblVal)
OLE_VARIANT_SETTER(set_cy, CY, VT_CY, cyVal)
#undef OLE_VARIANT_SETTER

void ole_variant::set_bool(bool value) noexcept {
    set_i2(value ? VARIANT_TRUE : VARIANT_FALSE);
    var_.vt = VT_BOOL;
}

void ole_variant::set_i8(int64_t value) noexcept {
    set_i4(0);
    var_.vt = VT_I8;
    i8_ = value;
}

void ole_variant::set_ui8(uint64_t value) noexcept {
    set_i4(0);
    var_.vt = VT_UI8;
    ui8_ = value;
}

void ole_variant::set_decimal(const DECIMAL& value) noexcept {
    set_i4(0);
    var_.decVal = value;
    var_.decVal.wReserved = 0;
    var_.vt = VT_DECIMAL;
}

bool ole_variant::set_date(const SYSTEMTIME& st) noexcept {
    set_i4(0);
    var_.vt = VT_DATE;
    system_time_ = st;
    var_.date = 0;
    if (!SystemTimeToVariantTime(st, var_.date)) {
        // Times without a day and out-of-range calendars have no DATE; the calendar
        // fields still carry the value.
        TK_TRACE(2, "Failed to convert SYSTEMTIME->VARIANT");
        var_.date = 0;
        return false;
    }
    return true;
}

std::u16string& ole_variant::set_bstr() noexcept {
    narrow_codepage_ = nullptr;
    var_.parray.clear();
    var_.decVal = DECIMAL{};
    var_.bstrVal.clear();
    var_.vt = VT_BSTR;
    return var_.bstrVal;
}

// ---- Text in --------------------------------------------------------------------------------

void ole_variant::attach_string(std::string_view text) {
    attach_string(text, ansi_codepage());
}

void ole_variant::attach_string(std::string_view text, const tk_codepage& codepage) {
    codepage.decode(text, set_bstr());
}

void ole_variant::attach_wstring(std::u16string_view text) {
    set_bstr().assign(text);
}

void ole_variant::attach_narrow(std::string_view bytes, const tk_codepage& codepage) {
    TK_ASSERT(codepage.byte_characters() != nullptr);
    set_bstr();
    narrow_.assign(bytes);
    narrow_codepage_ = &codepage;
}

void ole_variant::decode_narrow() const {
    narrow_codepage_->decode(narrow_, var_.bstrVal);
    narrow_codepage_ = nullptr;
}

ole_variant ole_variant::from_string(std::string_view text, VARTYPE vt) {
    ole_variant v;
    v.assign_from_string(text, vt);
    return v;
}

ole_variant ole_variant::from_wstring(std::u16string_view text, VARTYPE vt) {
    ole_variant v;
    v.assign_from_wstring(text, vt);
    return v;
}

void ole_variant::assign_from_wstring(std::u16string_view text, VARTYPE vt) {
    TK_TRACE(2, "ole_variant::from_wstring(%s, %d)", tk_trace_text(text).c_str(), vt);
    if (vt == VT_BSTR) {
        set_bstr().assign(text.substr(0, text.find(u'\0')));
        return;
    }
    bool ascii = true;
    for (char16_t c : text)
        ascii = ascii && c < 0x80;
    if (ascii) {
        char buffer[128];
        if (text.size() <= sizeof buffer) {
            for (size_t k = 0; k < text.size(); ++k)
                buffer[k] = static_cast<char>(text[k]);
            assign_from_string(std::string_view(buffer, text.size()), vt);
            return;
        }
    }
    assign_from_string(tk_to_ansi_nothrow(text), vt);
}

void ole_variant::assign_from_string(std::string_view text, VARTYPE vt) {
    TK_TRACE(2, "ole_variant::from_string(%.*s, %d)", static_cast<int>(text.size()), text.data(),
             vt);
    if (text.empty() && vt != VT_BSTR) {
        clear();
        return;
    }
    constexpr int64_t int_min = std::numeric_limits<int32_t>::min();
    constexpr int64_t int_max = std::numeric_limits<int32_t>::max();
    switch (vt) {
    case VT_I1:
        set_i1(static_cast<int8_t>(leading_integer(text, int_min, int_max)));
        return;
    case VT_UI1:
        set_ui1(static_cast<uint8_t>(leading_integer(text, int_min, int_max)));
        return;
    case VT_I2:
        set_i2(static_cast<int16_t>(leading_integer(text, int_min, int_max)));
        return;
    case VT_UI2:
        set_ui2(static_cast<uint16_t>(leading_integer(text, int_min, int_max)));
        return;
    case VT_I4:
        set_i4(static_cast<int32_t>(leading_integer(text, int_min, int_max)));
        return;
    case VT_UI4:
        set_ui4(static_cast<uint32_t>(scan_unsigned(text, std::numeric_limits<uint32_t>::max())));
        return;
    case VT_UI8:
        set_ui8(scan_unsigned(text, std::numeric_limits<uint64_t>::max()));
        return;
    case VT_I8:
        set_i8(leading_integer(text, std::numeric_limits<int64_t>::min(),
                               std::numeric_limits<int64_t>::max()));
        return;
    case VT_R4:
        set_r4(static_cast<float>(leading_real(text)));
        return;
    case VT_R8:
        set_r8(leading_real(text));
        return;
    case VT_BOOL:
        if (tk_equal_nocase(text, "yes") || tk_equal_nocase(text, "true"))
            set_bool(true);
        else if (tk_equal_nocase(text, "no") || tk_equal_nocase(text, "false"))
            set_bool(false);
        else
            set_bool(leading_integer(text, int_min, int_max) != 0);
        return;
    case VT_CY: {
        CY cy{};
        HRESULT hr =
            convert_number_text(text, [&](auto t) { return VarCyFromStr(t, LOCALE_EN_US, 0, cy); });
        if (FAILED(hr)) {
            TK_TRACE(3, "VarCyFromStr failed: %08X", static_cast<unsigned>(hr));
            clear();
        } else
            set_cy(cy);
        return;
    }
    case VT_DECIMAL: {
        DECIMAL dec{};
        HRESULT hr = convert_number_text(
            text, [&](auto t) { return VarDecFromStr(t, LOCALE_EN_US, 0, dec); });
        if (FAILED(hr)) {
            TK_TRACE(2, "ERROR: VarDecFromStr for '%.*s' failed (hr=%08X)",
                     static_cast<int>(text.size()), text.data(), static_cast<unsigned>(hr));
            clear();
        } else
            set_decimal(dec);
        return;
    }
    case VT_DATE: {
        ole_date date(text);
        if (date.is_valid())
            set_date(date.system_time());
        else
            clear();
        return;
    }
    case VT_BYTE_ARRAY:
    case VT_BLOB:
        set_hex_text(text);
        return;
    default:
        attach_string(text);
        if (FAILED(VariantChangeType(var_, 0, vt)))
            throw ole_type_exception();
        return;
    }
}

void ole_variant::set_hex_text(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        TK_TRACE(1, "Empty BLOB");
        clear();
        return;
    }
    if (text.size() % 2 != 0) {
        TK_TRACE(2, "Incorrect BLOB (size is odd)");
        clear();
        return;
    }
    if ((text[0] == '0' || text[0] == '\\') && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    std::span<uint8_t> bytes = allocate_safe_array(text.size() / 2);
    for (size_t k = 0; k < bytes.size(); ++k) {
        int high = tk_string::hex_digit(text[2 * k]);
        int low = tk_string::hex_digit(text[2 * k + 1]);
        if (high < 0 || low < 0) {
            // Not hexadecimal text: no value rather than made-up bytes.
            TK_TRACE(2, "Incorrect BLOB (not hexadecimal)");
            clear();
            return;
        }
        bytes[k] = static_cast<uint8_t>(high << 4 | low);
    }
}

// ---- Binary ---------------------------------------------------------------------------------

void ole_variant::attach_binary(size_t count, const uint8_t* bytes) {
    std::span<uint8_t> data = allocate_safe_array(count);
    if (count)
        std::memcpy(data.data(), bytes, count);
}

void ole_variant::attach_binary(const std::vector<uint8_t>& bytes) {
    attach_binary(bytes.size(), bytes.data());
}

std::span<uint8_t> ole_variant::allocate_safe_array(size_t count) {
    if (var_.vt != VT_BYTE_ARRAY) {
        set_i4(0);
        var_.vt = VT_BYTE_ARRAY;
    }
    var_.parray.resize(count);
    return {var_.parray.data(), var_.parray.size()};
}

size_t ole_variant::get_bytes(const uint8_t*& bytes) const {
    bytes = nullptr;
    if (var_.vt == VT_EMPTY || var_.vt == VT_NULL)
        return 0;
    TK_ASSERT(var_.vt == VT_BYTE_ARRAY);
    bytes = var_.parray.data();
    return var_.parray.size();
}

// ---- Values out -----------------------------------------------------------------------------

void ole_variant::get_system_time(SYSTEMTIME& st) const noexcept {
    st = var_.vt == VT_DATE ? system_time_ : SYSTEMTIME{};
}

std::u16string_view ole_variant::bstr_view() const {
    widen();
    return var_.vt == VT_BSTR ? std::u16string_view(var_.bstrVal) : std::u16string_view();
}

std::string ole_variant::to_string() const {
    widen();
    std::string out;
    if (var_.vt == VT_BSTR) {
        std::u16string_view text = var_.bstrVal;
        ansi_codepage().encode(text.substr(0, text.find(u'\0')), out);
    } else
        append_string(out);
    return out;
}

void ole_variant::append_string(std::string& out) const {
    widen();
    switch (var_.vt) {
    case VT_BYTE_ARRAY: {
        static constexpr char digits[] = "0123456789ABCDEF";
        size_t count = std::min(var_.parray.size(), max_text_bytes);
        if (count == 0)
            return;
        size_t start = out.size();
        out.resize(start + 2 + 2 * count);
        char* p = out.data() + start;
        *p++ = '0';
        *p++ = 'x';
        for (size_t k = 0; k < count; ++k) {
            *p++ = digits[var_.parray[k] >> 4];
            *p++ = digits[var_.parray[k] & 15];
        }
        return;
    }
    case VT_DECIMAL:
        if (ole_decimal_is_valid(var_.decVal))
            ole_decimal_append_text(var_.decVal, out);
        return;
    case VT_DATE:
        ole_date(system_time_).append_to(out, true);
        return;
    case VT_CY:
        ole_currency_append_text(var_.cyVal, out);
        return;
    case VT_BSTR: {
        std::u16string_view text = var_.bstrVal;
        std::string narrow;
        ansi_codepage().encode(text.substr(0, text.find(u'\0')), narrow);
        out.append(narrow);
        return;
    }
    case VT_BOOL:
        out.push_back(var_.boolVal == VARIANT_TRUE ? '1' : '0');
        return;
    case VT_I1:
        append_integer(out, int(var_.cVal));
        return;
    case VT_I2:
        append_integer(out, var_.iVal);
        return;
    case VT_I4:
    case VT_INT:
        append_integer(out, var_.lVal);
        return;
    case VT_UI1:
        append_integer(out, unsigned(var_.bVal));
        return;
    case VT_UI2:
        append_integer(out, var_.uiVal);
        return;
    case VT_UI4:
    case VT_UINT:
        append_integer(out, var_.ulVal);
        return;
    case VT_R4:
        // Nine significant digits: the fewest that read back as the same float for every
        // float (seven, as "%.6e" gives, lose the last bits of DBF F fields).
        append_scientific(out, var_.fltVal, 8);
        return;
    case VT_R8:
        append_scientific(out, var_.dblVal, 16);
        return;
    case VT_I8:
        append_integer(out, i8_);
        return;
    case VT_UI8:
        append_integer(out, ui8_);
        return;
    default:
        return;
    }
}

std::u16string ole_variant::to_wstring() const {
    widen();
    if (var_.vt == VT_BSTR)
        return std::u16string(bstr_view().substr(0, var_.bstrVal.find(u'\0')));
    // Every other text is ASCII.
    std::string narrow;
    append_string(narrow);
    return std::u16string(narrow.begin(), narrow.end());
}

int32_t ole_variant::to_long() const {
    widen();
    return whole_number<int32_t>(var_, i8_, ui8_, VarI4FromCy, VarI4FromDec);
}

int64_t ole_variant::to_i8() const {
    widen();
    return whole_number<int64_t>(var_, i8_, ui8_, VarI8FromCy, VarI8FromDec);
}

uint64_t ole_variant::to_ui8() const {
    widen();
    return whole_number<uint64_t>(var_, i8_, ui8_, VarUI8FromCy, VarUI8FromDec);
}

double ole_variant::to_double() const {
    switch (var_.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return 0.0;
    case VT_I2:
        return var_.iVal;
    case VT_I4:
        return var_.lVal;
    case VT_I1:
        return var_.cVal;
    case VT_UI1:
        return var_.bVal;
    case VT_UI2:
        return var_.uiVal;
    case VT_UI4:
        return var_.ulVal;
    case VT_R4:
        return var_.fltVal;
    case VT_R8:
        return var_.dblVal;
    case VT_BOOL:
        return bool_value(var_.boolVal);
    case VT_I8:
        return static_cast<double>(i8_);
    case VT_UI8:
        return static_cast<double>(ui8_);
    case VT_CY: {
        double out = 0;
        VarR8FromCy(var_.cyVal, out);
        return out;
    }
    case VT_DECIMAL: {
        double out = 0;
        if (HRESULT hr = VarR8FromDec(var_.decVal, out); FAILED(hr)) {
            TK_TRACE(3, "VarR8FromDec failed: %08X", static_cast<unsigned>(hr));
            return 0;
        }
        return out;
    }
    default:
        TK_FAIL();
    }
}

bool ole_variant::to_bool() const {
    switch (var_.vt) {
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I1:
    case VT_UI1:
        return to_i8() != 0;
    case VT_R4:
        return var_.fltVal != 0;
    case VT_R8:
        return var_.dblVal != 0;
    case VT_I8:
        return i8_ != 0;
    case VT_UI8:
        return ui8_ != 0;
    case VT_CY:
    case VT_DECIMAL:
        return to_long() != 0;
    case VT_BOOL:
        return var_.boolVal == VARIANT_TRUE;
    default:
        return false;
    }
}

bool ole_variant::is_binary(VARTYPE vt) noexcept {
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_BYTE_ARRAY;
}

bool ole_variant::is_string_or_date(VARTYPE vt) noexcept {
    return vt == VT_BSTR || vt == VT_DATE;
}
