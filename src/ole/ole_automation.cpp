#include "ole/ole_automation.h"

#include "ole/ole_number_text.h"
#include "ole/ole_system_time.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// Buffers larger than this are released when a VARIANT is cleared; smaller ones stay for
// the next value of a reused VARIANT.
constexpr size_t kept_capacity = 64 * 1024;

// The numeric reading of a source value.
struct number_value {
    enum kind_t { signed_int, unsigned_int, real, currency, decimal, text } kind;
    int64_t i = 0;
    uint64_t u = 0;
    double r = 0;
    CY cy{};
    DECIMAL dec{};
    ole_number parsed;
};

HRESULT read_number(const VARIANT& v, number_value& n) {
    switch (v.vt) {
    case VT_EMPTY:
        n.kind = number_value::signed_int;
        return S_OK;
    case VT_I1:
        n.kind = number_value::signed_int;
        n.i = v.cVal;
        return S_OK;
    case VT_I2:
        n.kind = number_value::signed_int;
        n.i = v.iVal;
        return S_OK;
    case VT_I4:
    case VT_INT:
        n.kind = number_value::signed_int;
        n.i = v.lVal;
        return S_OK;
    case VT_I8:
        n.kind = number_value::signed_int;
        n.i = v.llVal;
        return S_OK;
    case VT_BOOL:
        n.kind = number_value::signed_int;
        n.i = v.boolVal;
        return S_OK;
    case VT_UI1:
        n.kind = number_value::unsigned_int;
        n.u = v.bVal;
        return S_OK;
    case VT_UI2:
        n.kind = number_value::unsigned_int;
        n.u = v.uiVal;
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        n.kind = number_value::unsigned_int;
        n.u = v.ulVal;
        return S_OK;
    case VT_UI8:
        n.kind = number_value::unsigned_int;
        n.u = v.ullVal;
        return S_OK;
    case VT_R4:
        n.kind = number_value::real;
        n.r = v.fltVal;
        return S_OK;
    case VT_R8:
        n.kind = number_value::real;
        n.r = v.dblVal;
        return S_OK;
    case VT_DATE:
        n.kind = number_value::real;
        n.r = v.date;
        return S_OK;
    case VT_CY:
        n.kind = number_value::currency;
        n.cy = v.cyVal;
        return S_OK;
    case VT_DECIMAL:
        n.kind = number_value::decimal;
        n.dec = v.decVal;
        return S_OK;
    case VT_BSTR:
        n.kind = number_value::text;
        return ole_parse_number(std::u16string_view(v.bstrVal), n.parsed);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Whole numbers: the value rounded half to even, as a sign and 128-bit magnitude.
HRESULT to_whole(const number_value& n, bool& negative, ole_u128& magnitude) {
    negative = false;
    switch (n.kind) {
    case number_value::signed_int:
        negative = n.i < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(n.i) : static_cast<uint64_t>(n.i);
        return S_OK;
    case number_value::unsigned_int:
        magnitude = n.u;
        return S_OK;
    case number_value::real: {
        if (!std::isfinite(n.r) || std::fabs(n.r) >= 1.8446744073709552e19)
            return DISP_E_OVERFLOW;
        double r = std::nearbyint(n.r); // half to even in the default rounding mode
        negative = r < 0;
        magnitude = static_cast<uint64_t>(std::fabs(r));
        return S_OK;
    }
    case number_value::currency: {
        int64_t w = 0;
        if (HRESULT hr = VarI8FromCy(n.cy, w); FAILED(hr))
            return hr;
        negative = w < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(w) : static_cast<uint64_t>(w);
        return S_OK;
    }
    case number_value::decimal: {
        DECIMAL d = ole_decimal_round(n.dec, 0);
        negative = (d.sign & DECIMAL_NEG) != 0 && !ole_decimal_is_zero(d);
        magnitude = (ole_u128(d.Hi32) << 64) | d.Lo64;
        return S_OK;
    }
    case number_value::text:
        if (!ole_number_to_fixed(n.parsed, 0, magnitude))
            return DISP_E_OVERFLOW;
        negative = n.parsed.negative && magnitude != 0;
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

template <class T> HRESULT to_integer(const number_value& n, T& out) {
    bool negative = false;
    ole_u128 m = 0;
    if (HRESULT hr = to_whole(n, negative, m); FAILED(hr))
        return hr;
    if (negative) {
        if (!std::numeric_limits<T>::is_signed || m > ole_u128(std::numeric_limits<T>::max()) + 1)
            return DISP_E_OVERFLOW;
        out = static_cast<T>(-static_cast<int64_t>(static_cast<uint64_t>(m) - 1) - 1);
    } else {
        if (m > ole_u128(std::numeric_limits<T>::max()))
            return DISP_E_OVERFLOW;
        out = static_cast<T>(m);
    }
    return S_OK;
}

HRESULT to_double(const number_value& n, double& out) {
    switch (n.kind) {
    case number_value::signed_int:
        out = static_cast<double>(n.i);
        return S_OK;
    case number_value::unsigned_int:
        out = static_cast<double>(n.u);
        return S_OK;
    case number_value::real:
        out = n.r;
        return S_OK;
    case number_value::currency:
        return VarR8FromCy(n.cy, out);
    case number_value::decimal:
        return VarR8FromDec(n.dec, out);
    case number_value::text:
        out = ole_number_to_double(n.parsed);
        return std::isfinite(out) ? S_OK : DISP_E_OVERFLOW;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT to_currency(const number_value& n, CY& out) {
    switch (n.kind) {
    case number_value::signed_int:
        return VarCyFromI8(n.i, out);
    case number_value::unsigned_int:
        return VarCyFromUI8(n.u, out);
    case number_value::real:
        return VarCyFromR8(n.r, out);
    case number_value::currency:
        out = n.cy;
        return S_OK;
    case number_value::decimal:
        return VarCyFromDec(n.dec, out);
    case number_value::text: {
        ole_u128 m = 0;
        if (!ole_number_to_fixed(n.parsed, 4, m))
            return DISP_E_OVERFLOW;
        const ole_u128 limit =
            ole_u128(std::numeric_limits<int64_t>::max()) + (n.parsed.negative ? 1 : 0);
        if (m > limit)
            return DISP_E_OVERFLOW;
        out.int64 = n.parsed.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(m))
                                      : static_cast<int64_t>(m);
        return S_OK;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT to_decimal(const number_value& n, DECIMAL& out) {
    switch (n.kind) {
    case number_value::signed_int:
        return VarDecFromI8(n.i, out);
    case number_value::unsigned_int:
        return VarDecFromUI8(n.u, out);
    case number_value::real:
        return VarDecFromR8(n.r, out);
    case number_value::currency:
        return VarDecFromCy(n.cy, out);
    case number_value::decimal:
        out = n.dec;
        return S_OK;
    case number_value::text: {
        // The same reading as VarDecFromStr, without parsing twice.
        int scale = n.parsed.exponent < 0
                        ? static_cast<int>(std::min<int64_t>(-int64_t(n.parsed.exponent), 28))
                        : 0;
        for (;; --scale) {
            ole_u128 m = 0;
            if (ole_number_to_fixed(n.parsed, scale, m) && m < (ole_u128(1) << 96)) {
                out = DECIMAL{0, static_cast<uint8_t>(scale),
                              static_cast<uint8_t>(n.parsed.negative && m ? DECIMAL_NEG : 0),
                              static_cast<uint32_t>(m >> 64), static_cast<uint64_t>(m)};
                return S_OK;
            }
            if (scale == 0)
                return DISP_E_OVERFLOW;
        }
    }
    }
    return DISP_E_TYPEMISMATCH;
}

bool is_zero(const number_value& n) {
    switch (n.kind) {
    case number_value::signed_int:
        return n.i == 0;
    case number_value::unsigned_int:
        return n.u == 0;
    case number_value::real:
        return n.r == 0;
    case number_value::currency:
        return n.cy.int64 == 0;
    case number_value::decimal:
        return ole_decimal_is_zero(n.dec);
    case number_value::text:
        return n.parsed.count == 0;
    }
    return true;
}

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

void assign_ascii(std::u16string& out, const char* begin, const char* end) {
    out.assign(begin, end);
}

// "%.<digits>G": shortest of fixed and exponent form with that many significant digits,
// exponent as "E+20".
void format_real(double value, int digits, std::u16string& out) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    for (char* p = buffer; p != result.ptr; ++p)
        if (*p == 'e')
            *p = 'E';
    assign_ascii(out, buffer, result.ptr);
}

void format_integer(const number_value& n, std::u16string& out) {
    char buffer[32];
    auto result = n.kind == number_value::signed_int
                      ? std::to_chars(buffer, buffer + sizeof buffer, n.i)
                      : std::to_chars(buffer, buffer + sizeof buffer, n.u);
    assign_ascii(out, buffer, result.ptr);
}

// en-US form of a date: "12/31/2020", "12/31/2020 1:05:09 PM", "1:05:09 PM" for a time on
// the day zero.
HRESULT format_date(DATE value, std::u16string& out) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(value, st))
        return DISP_E_OVERFLOW;
    std::string text;
    auto put = [&text](unsigned v, bool two_digits) {
        if (two_digits && v < 10)
            text.push_back('0');
        text.append(std::to_string(v));
    };
    bool day_zero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
    bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
    if (!day_zero || midnight) {
        put(st.wMonth, false);
        text.push_back('/');
        put(st.wDay, false);
        text.push_back('/');
        put(st.wYear, false);
    }
    if (!midnight) {
        if (!text.empty())
            text.push_back(' ');
        put(st.wHour % 12 == 0 ? 12u : st.wHour % 12u, false);
        text.push_back(':');
        put(st.wMinute, true);
        text.push_back(':');
        put(st.wSecond, true);
        text.append(st.wHour < 12 ? " AM" : " PM");
    }
    out.assign(text.begin(), text.end());
    return S_OK;
}

HRESULT to_text(const VARIANT& v, std::u16string& out) {
    switch (v.vt) {
    case VT_EMPTY:
        out.clear();
        return S_OK;
    case VT_BOOL:
        out = v.boolVal ? u"True" : u"False";
        return S_OK;
    case VT_R4:
        format_real(v.fltVal, 7, out);
        return S_OK;
    case VT_R8:
        format_real(v.dblVal, 15, out);
        return S_OK;
    case VT_CY:
        return VarBstrFromCy(v.cyVal, LOCALE_EN_US, 0, out);
    case VT_DECIMAL:
        return VarBstrFromDec(v.decVal, LOCALE_EN_US, 0, out);
    case VT_DATE:
        return format_date(v.date, out);
    default: {
        number_value n{};
        if (HRESULT hr = read_number(v, n); FAILED(hr))
            return hr;
        format_integer(n, out);
        return S_OK;
    }
    }
}

HRESULT to_bool(const VARIANT& v, VARIANT_BOOL& out) {
    if (v.vt == VT_BSTR) {
        std::u16string_view s = trimmed(v.bstrVal);
        if (ole_equal_ascii_nocase(s, "true")) {
            out = VARIANT_TRUE;
            return S_OK;
        }
        if (ole_equal_ascii_nocase(s, "false")) {
            out = VARIANT_FALSE;
            return S_OK;
        }
    }
    number_value n{};
    if (HRESULT hr = read_number(v, n); FAILED(hr))
        return hr;
    out = is_zero(n) ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

// Converts `source` into the scalar or text of `result` (whose vt is set by the caller).
HRESULT convert(const VARIANT& source, VARTYPE vt, VARIANT& result) {
    if (vt == VT_BSTR)
        return to_text(source, result.bstrVal);
    if (vt == VT_BOOL)
        return to_bool(source, result.boolVal);
    if (vt == VT_DATE && source.vt == VT_BSTR)
        return VarDateFromStr(source.bstrVal, LOCALE_EN_US, 0, result.date);

    number_value n{};
    if (HRESULT hr = read_number(source, n); FAILED(hr))
        return hr;
    switch (vt) {
    case VT_I1:
        return to_integer(n, result.cVal);
    case VT_UI1:
        return to_integer(n, result.bVal);
    case VT_I2:
        return to_integer(n, result.iVal);
    case VT_UI2:
        return to_integer(n, result.uiVal);
    case VT_I4:
    case VT_INT:
        return to_integer(n, result.lVal);
    case VT_UI4:
    case VT_UINT:
        return to_integer(n, result.ulVal);
    case VT_I8:
        return to_integer(n, result.llVal);
    case VT_UI8:
        return to_integer(n, result.ullVal);
    case VT_R8:
        return to_double(n, result.dblVal);
    case VT_R4: {
        double d = 0;
        if (HRESULT hr = to_double(n, d); FAILED(hr))
            return hr;
        if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
            return DISP_E_OVERFLOW;
        result.fltVal = static_cast<float>(d);
        return S_OK;
    }
    case VT_DATE: {
        double d = 0;
        if (HRESULT hr = to_double(n, d); FAILED(hr))
            return hr;
        if (!(d >= DATE_MIN && d <= DATE_MAX))
            return DISP_E_OVERFLOW;
        result.date = d;
        return S_OK;
    }
    case VT_CY:
        return to_currency(n, result.cyVal);
    case VT_DECIMAL:
        return to_decimal(n, result.decVal);
    default:
        return DISP_E_BADVARTYPE;
    }
}

} // namespace

void VariantClear(VARIANT& v) {
    v.vt = VT_EMPTY;
    v.decVal = DECIMAL{};
    if (v.bstrVal.capacity() > kept_capacity)
        std::u16string().swap(v.bstrVal);
    else
        v.bstrVal.clear();
    if (v.parray.capacity() > kept_capacity)
        std::vector<uint8_t>().swap(v.parray);
    else
        v.parray.clear();
}

HRESULT VariantChangeType(VARIANT& v, uint16_t flags, VARTYPE vt) {
    if (v.vt == vt)
        return S_OK;
    if (vt == VT_EMPTY) {
        VariantClear(v);
        return S_OK;
    }
    if (vt == VT_NULL) {
        if (v.vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        VariantClear(v);
        v.vt = VT_NULL;
        return S_OK;
    }
    if (v.vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;

    VARIANT result;
    if (vt == VT_BSTR)
        result.bstrVal.swap(v.bstrVal); // reuse the text buffer; the source is not text
    HRESULT hr = convert(v, vt, result);
    if (vt == VT_BSTR && FAILED(hr)) {
        v.bstrVal.swap(result.bstrVal);
        return hr;
    }
    if (FAILED(hr))
        return hr;
    std::u16string text;
    if (vt == VT_BSTR)
        text.swap(result.bstrVal);
    VariantClear(v);
    v.decVal = result.decVal;
    v.bstrVal.swap(text);
    v.vt = vt;
    (void)flags;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT& dest, const VARIANT& source, uint16_t flags, VARTYPE vt) {
    VARIANT copy = source;
    HRESULT hr = VariantChangeType(copy, flags, vt);
    if (SUCCEEDED(hr))
        dest = std::move(copy);
    return hr;
}
