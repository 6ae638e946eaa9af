#include "ole/ole_decimal.h"

#include "ole/ole_number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr ole_u128 max_mantissa = (ole_u128(1) << 96) - 1;

ole_u128 mantissa(const DECIMAL& d) {
    return (ole_u128(d.Hi32) << 64) | d.Lo64;
}

DECIMAL make_decimal(ole_u128 m, int scale, bool negative) {
    DECIMAL d{};
    d.scale = static_cast<uint8_t>(scale);
    d.sign = negative && m != 0 ? DECIMAL_NEG : 0;
    d.Hi32 = static_cast<uint32_t>(m >> 64);
    d.Lo64 = static_cast<uint64_t>(m);
    return d;
}

bool negative(const DECIMAL& d) {
    return (d.sign & DECIMAL_NEG) != 0;
}

// The DECIMAL of a parsed number: as many decimals as the text has (at most 28), fewer when
// the 96-bit integer would overflow.
HRESULT from_number(const ole_number& n, DECIMAL& out) {
    int scale = n.exponent < 0 ? static_cast<int>(std::min<int64_t>(-int64_t(n.exponent), 28)) : 0;
    for (;; --scale) {
        ole_u128 m = 0;
        if (ole_number_to_fixed(n, scale, m) && m <= max_mantissa) {
            out = make_decimal(m, scale, n.negative);
            return S_OK;
        }
        if (scale == 0)
            return DISP_E_OVERFLOW;
    }
}

// The value rounded half to even to a whole number, as magnitude and sign.
HRESULT to_integer(const DECIMAL& d, ole_u128& magnitude, bool& is_negative) {
    if (!ole_decimal_is_valid(d))
        return E_INVALIDARG;
    ole_u128 m = mantissa(d);
    ole_u128 divisor = ole_pow10_u128(d.scale);
    ole_u128 q = m / divisor;
    ole_u128 r = m % divisor;
    if (ole_round_up_half_even(q, r, divisor))
        ++q;
    magnitude = q;
    is_negative = negative(d) && q != 0;
    return S_OK;
}

template <class T> HRESULT to_signed(const DECIMAL& d, T& out) {
    ole_u128 m = 0;
    bool neg = false;
    if (HRESULT hr = to_integer(d, m, neg); FAILED(hr))
        return hr;
    const ole_u128 limit = ole_u128(std::numeric_limits<T>::max()) + (neg ? 1 : 0);
    if (m > limit)
        return DISP_E_OVERFLOW;
    out = neg ? static_cast<T>(-static_cast<int64_t>(static_cast<uint64_t>(m) - 1) - 1)
              : static_cast<T>(m);
    return S_OK;
}

template <class T> HRESULT to_unsigned(const DECIMAL& d, T& out) {
    ole_u128 m = 0;
    bool neg = false;
    if (HRESULT hr = to_integer(d, m, neg); FAILED(hr))
        return hr;
    if (neg || m > std::numeric_limits<T>::max())
        return DISP_E_OVERFLOW;
    out = static_cast<T>(m);
    return S_OK;
}

// Writes the text backwards from `end`; returns its first character.
char* format(const DECIMAL& d, char* end) {
    char* p = end;
    if (ole_decimal_is_zero(d)) {
        *--p = '0';
        return p;
    }
    char digits[48];
    const char* first = ole_u128_digits(mantissa(d), digits + sizeof digits);
    const char* last = digits + sizeof digits;
    int scale = d.scale;
    // Trailing zeros of the fraction are not printed: 1.50 is "1.5", 1.00 is "1".
    while (scale > 0 && last[-1] == '0') {
        --last;
        --scale;
    }
    const int count = static_cast<int>(last - first);
    if (scale > 0) {
        const int fraction = std::min(count, scale);
        p -= fraction;
        std::copy(last - fraction, last, p);
        for (int k = fraction; k < scale; ++k)
            *--p = '0';
        *--p = '.';
        last -= fraction;
    }
    if (last == first)
        *--p = '0';
    p -= last - first;
    std::copy(first, last, p);
    if (negative(d))
        *--p = '-';
    return p;
}

template <class Text> HRESULT from_text(Text text, DECIMAL& out) {
    ole_number n;
    if (HRESULT hr = ole_parse_number(text, n); FAILED(hr))
        return hr;
    return from_number(n, out);
}

// `value` rounded to `digits` significant digits.
HRESULT from_real(double value, int digits, DECIMAL& out) {
    if (!std::isfinite(value))
        return DISP_E_OVERFLOW;
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, digits - 1);
    ole_number n;
    if (FAILED(ole_parse_number(std::string_view(buffer, result.ptr - buffer), n)))
        return DISP_E_OVERFLOW;
    return from_number(n, out);
}

} // namespace

HRESULT VarDecFromStr(std::u16string_view text, LCID, uint32_t, DECIMAL& out) {
    return from_text(text, out);
}

HRESULT VarDecFromStr(std::string_view text, LCID, uint32_t, DECIMAL& out) {
    return from_text(text, out);
}

HRESULT VarBstrFromDec(const DECIMAL& value, LCID, uint32_t, std::u16string& out) {
    if (!ole_decimal_is_valid(value))
        return E_INVALIDARG;
    char buffer[64];
    char* end = buffer + sizeof buffer;
    char* p = format(value, end);
    out.assign(p, end);
    return S_OK;
}

void ole_decimal_append_text(const DECIMAL& value, std::string& out) {
    DECIMAL d = value;
    if (d.scale > DECIMAL_MAX_SCALE)
        d.scale = DECIMAL_MAX_SCALE;
    char buffer[64];
    char* end = buffer + sizeof buffer;
    char* p = format(d, end);
    out.append(p, end);
}

HRESULT VarDecFromI8(int64_t value, DECIMAL& out) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
    out = make_decimal(magnitude, 0, value < 0);
    return S_OK;
}

HRESULT VarDecFromUI8(uint64_t value, DECIMAL& out) {
    out = make_decimal(value, 0, false);
    return S_OK;
}

HRESULT VarDecFromI4(int32_t value, DECIMAL& out) {
    return VarDecFromI8(value, out);
}
HRESULT VarDecFromUI4(uint32_t value, DECIMAL& out) {
    return VarDecFromUI8(value, out);
}

HRESULT VarDecFromR8(double value, DECIMAL& out) {
    // 15 significant digits, the precision a double is trusted to carry.
    return from_real(value, 15, out);
}

HRESULT VarDecFromR4(float value, DECIMAL& out) {
    return from_real(value, 7, out);
}

HRESULT VarI1FromDec(const DECIMAL& value, int8_t& out) {
    return to_signed(value, out);
}
HRESULT VarUI1FromDec(const DECIMAL& value, uint8_t& out) {
    return to_unsigned(value, out);
}
HRESULT VarI2FromDec(const DECIMAL& value, int16_t& out) {
    return to_signed(value, out);
}
HRESULT VarUI2FromDec(const DECIMAL& value, uint16_t& out) {
    return to_unsigned(value, out);
}
HRESULT VarI4FromDec(const DECIMAL& value, int32_t& out) {
    return to_signed(value, out);
}
HRESULT VarUI4FromDec(const DECIMAL& value, uint32_t& out) {
    return to_unsigned(value, out);
}
HRESULT VarI8FromDec(const DECIMAL& value, int64_t& out) {
    return to_signed(value, out);
}
HRESULT VarUI8FromDec(const DECIMAL& value, uint64_t& out) {
    return to_unsigned(value, out);
}

HRESULT VarR8FromDec(const DECIMAL& value, double& out) {
    if (!ole_decimal_is_valid(value))
        return E_INVALIDARG;
    ole_u128 m = mantissa(value);
    // Both operands exact in a double: one correctly rounded division.
    if (m < (ole_u128(1) << 53) && value.scale <= 22) {
        out = static_cast<double>(static_cast<uint64_t>(m)) /
              static_cast<double>(static_cast<uint64_t>(ole_pow10_u128(value.scale)));
    } else {
        ole_number n;
        char buffer[48];
        char* end = buffer + sizeof buffer;
        char* p = ole_u128_digits(m, end);
        n.count = static_cast<int>(end - p);
        std::copy(p, end, n.digits);
        n.exponent = -value.scale;
        out = ole_number_to_double(n);
    }
    if (negative(value))
        out = -out;
    return S_OK;
}

HRESULT VarR4FromDec(const DECIMAL& value, float& out) {
    double d = 0;
    HRESULT hr = VarR8FromDec(value, d);
    out = static_cast<float>(d);
    return hr;
}

bool ole_decimal_is_zero(const DECIMAL& value) {
    return value.Hi32 == 0 && value.Lo64 == 0;
}

bool ole_decimal_is_valid(const DECIMAL& value) {
    return value.scale <= DECIMAL_MAX_SCALE && (value.sign & ~DECIMAL_NEG) == 0;
}

int ole_decimal_compare(const DECIMAL& a, const DECIMAL& b) {
    bool za = ole_decimal_is_zero(a), zb = ole_decimal_is_zero(b);
    bool na = negative(a) && !za, nb = negative(b) && !zb;
    if (na != nb)
        return na ? -1 : 1;
    // Bring both to the larger scale; 96 bits times 10^28 needs up to 190 bits, so compare
    // the whole parts first and the scaled fractions after.
    int s = std::max(a.scale, b.scale);
    ole_u128 ma = mantissa(a), mb = mantissa(b);
    ole_u128 da = ole_pow10_u128(a.scale), db = ole_pow10_u128(b.scale);
    ole_u128 wa = ma / da, wb = mb / db;
    int result = 0;
    if (wa != wb)
        result = wa < wb ? -1 : 1;
    else {
        ole_u128 fa = (ma % da) * ole_pow10_u128(s - a.scale);
        ole_u128 fb = (mb % db) * ole_pow10_u128(s - b.scale);
        result = fa == fb ? 0 : (fa < fb ? -1 : 1);
    }
    return na ? -result : result;
}

DECIMAL ole_decimal_round(const DECIMAL& value, uint8_t scale) {
    if (value.scale <= scale)
        return value;
    ole_u128 divisor = ole_pow10_u128(value.scale - scale);
    ole_u128 m = mantissa(value);
    ole_u128 q = m / divisor;
    if (ole_round_up_half_even(q, m % divisor, divisor))
        ++q;
    return make_decimal(q, scale, negative(value));
}

int ole_decimal_digits(const DECIMAL& value) {
    ole_u128 m = mantissa(value);
    int digits = 1;
    while (digits < 39 && m >= ole_pow10_u128(digits))
        ++digits;
    return digits;
}
