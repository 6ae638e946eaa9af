#include "ole/ole_currency.h"

#include "ole/ole_number_text.h"

#include <cmath>
#include <limits>

namespace {

__extension__ typedef __int128 i128;

HRESULT from_number(const ole_number& n, CY& out) {
    ole_u128 m = 0;
    if (!ole_number_to_fixed(n, 4, m))
        return DISP_E_OVERFLOW;
    const ole_u128 limit = ole_u128(std::numeric_limits<int64_t>::max()) + (n.negative ? 1 : 0);
    if (m > limit)
        return DISP_E_OVERFLOW;
    out.int64 = n.negative ? static_cast<int64_t>(-static_cast<i128>(m)) : static_cast<int64_t>(m);
    return S_OK;
}

// The amount rounded half to even to a whole number.
i128 whole(CY value) {
    i128 v = value.int64;
    i128 q = v / CY_SCALE;
    i128 r = v % CY_SCALE;
    i128 twice = (r < 0 ? -r : r) * 2;
    if (twice > CY_SCALE || (twice == CY_SCALE && (q & 1) != 0))
        q += v < 0 ? -1 : 1;
    return q;
}

template <class T> HRESULT to_integer(CY value, T& out) {
    i128 q = whole(value);
    if (q < std::numeric_limits<T>::min() || q > std::numeric_limits<T>::max())
        return DISP_E_OVERFLOW;
    out = static_cast<T>(q);
    return S_OK;
}

char* format(CY value, char* end) {
    uint64_t m = value.int64 < 0 ? 0 - static_cast<uint64_t>(value.int64) : value.int64;
    uint64_t integer = m / CY_SCALE;
    unsigned fraction = static_cast<unsigned>(m % CY_SCALE);
    char* p = end;
    if (fraction != 0) {
        int width = 4;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --width;
        }
        for (int k = 0; k < width; ++k) {
            *--p = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        *--p = '.';
    }
    do {
        *--p = static_cast<char>('0' + integer % 10);
        integer /= 10;
    } while (integer != 0);
    if (value.int64 < 0)
        *--p = '-';
    return p;
}

template <class Text> HRESULT from_text(Text text, CY& out) {
    ole_number n;
    if (HRESULT hr = ole_parse_number(text, n); FAILED(hr))
        return hr;
    return from_number(n, out);
}

} // namespace

HRESULT VarCyFromStr(std::u16string_view text, LCID, uint32_t, CY& out) {
    return from_text(text, out);
}

HRESULT VarCyFromStr(std::string_view text, LCID, uint32_t, CY& out) {
    return from_text(text, out);
}

HRESULT VarBstrFromCy(CY value, LCID, uint32_t, std::u16string& out) {
    char buffer[32];
    char* end = buffer + sizeof buffer;
    char* p = format(value, end);
    out.assign(p, end);
    return S_OK;
}

void ole_currency_append_text(CY value, std::string& out) {
    char buffer[32];
    char* end = buffer + sizeof buffer;
    out.append(format(value, end), end);
}

HRESULT VarCyFromI8(int64_t value, CY& out) {
    i128 v = static_cast<i128>(value) * CY_SCALE;
    if (v < std::numeric_limits<int64_t>::min() || v > std::numeric_limits<int64_t>::max())
        return DISP_E_OVERFLOW;
    out.int64 = static_cast<int64_t>(v);
    return S_OK;
}

HRESULT VarCyFromUI8(uint64_t value, CY& out) {
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / CY_SCALE))
        return DISP_E_OVERFLOW;
    out.int64 = static_cast<int64_t>(value) * CY_SCALE;
    return S_OK;
}

HRESULT VarCyFromR8(double value, CY& out) {
    double scaled = value * CY_SCALE;
    if (!std::isfinite(scaled))
        return DISP_E_OVERFLOW;
    double r = std::nearbyint(scaled); // the default rounding mode: half to even
    // -2^63 and 2^63 are exact doubles; the range is [-2^63, 2^63).
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return DISP_E_OVERFLOW;
    out.int64 = static_cast<int64_t>(r);
    return S_OK;
}

HRESULT VarCyFromDec(const DECIMAL& value, CY& out) {
    if (!ole_decimal_is_valid(value))
        return E_INVALIDARG;
    DECIMAL d = value;
    if (d.scale > 4)
        d = ole_decimal_round(d, 4);
    ole_u128 m = (ole_u128(d.Hi32) << 64) | d.Lo64;
    m *= ole_pow10_u128(4 - d.scale);
    bool neg = (d.sign & DECIMAL_NEG) != 0;
    const ole_u128 limit = ole_u128(std::numeric_limits<int64_t>::max()) + (neg ? 1 : 0);
    if (m > limit)
        return DISP_E_OVERFLOW;
    out.int64 = neg ? static_cast<int64_t>(-static_cast<i128>(m)) : static_cast<int64_t>(m);
    return S_OK;
}

HRESULT VarI1FromCy(CY value, int8_t& out) {
    return to_integer(value, out);
}
HRESULT VarUI1FromCy(CY value, uint8_t& out) {
    return to_integer(value, out);
}
HRESULT VarI2FromCy(CY value, int16_t& out) {
    return to_integer(value, out);
}
HRESULT VarUI2FromCy(CY value, uint16_t& out) {
    return to_integer(value, out);
}
HRESULT VarI4FromCy(CY value, int32_t& out) {
    return to_integer(value, out);
}
HRESULT VarUI4FromCy(CY value, uint32_t& out) {
    return to_integer(value, out);
}
HRESULT VarI8FromCy(CY value, int64_t& out) {
    return to_integer(value, out);
}
HRESULT VarUI8FromCy(CY value, uint64_t& out) {
    return to_integer(value, out);
}

HRESULT VarR8FromCy(CY value, double& out) {
    // One correctly rounded division whenever the amount is exact in a double.
    out = static_cast<double>(value.int64) / static_cast<double>(CY_SCALE);
    return S_OK;
}

HRESULT VarDecFromCy(CY value, DECIMAL& out) {
    uint64_t m = value.int64 < 0 ? 0 - static_cast<uint64_t>(value.int64) : value.int64;
    out = DECIMAL{0, 4, static_cast<uint8_t>(value.int64 < 0 ? DECIMAL_NEG : 0), 0, m};
    return S_OK;
}
