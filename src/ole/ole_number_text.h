// Number text as the OLE Automation conversions read it, for the ole layer's own use: the
// en-US grammar, the significant digits with their power of ten, and exact rounding of that
// form to a fixed number of decimals.
#pragma once

#include "ole/ole_types.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

__extension__ typedef unsigned __int128 ole_u128;

// value = (-1)^negative * digits * 10^exponent, digits without leading or trailing zeros
// (no digits at all is zero). Digits beyond the first `max_digits` are not kept; `sticky`
// says whether any of them was non-zero, which is all that rounding needs.
struct ole_number {
    static constexpr int max_digits = 40;

    bool negative = false;
    bool sticky = false;
    int count = 0;
    int32_t exponent = 0;
    char digits[max_digits] = {};
};

// Reads en-US number text (see VarDecFromStr in ole_decimal.h for the grammar; ','
// separators must stand between groups of three digits). DISP_E_TYPEMISMATCH for anything
// else.
HRESULT ole_parse_number(std::string_view text, ole_number& out);
HRESULT ole_parse_number(std::u16string_view text, ole_number& out);

// The value times 10^scale rounded half to even into `out`; false when it does not fit in
// 128 bits.
bool ole_number_to_fixed(const ole_number& n, int scale, ole_u128& out);

// The nearest double (correctly rounded); +-infinity beyond the double range.
double ole_number_to_double(const ole_number& n);

// Decimal digits of `value` written backwards from `end`; returns the first digit.
char* ole_u128_digits(ole_u128 value, char* end);

// Half-to-even rounding of a quotient: q and remainder r of a division by d (all positive).
inline bool ole_round_up_half_even(ole_u128 q, ole_u128 r, ole_u128 d) {
    ole_u128 twice = r * 2;
    return twice > d || (twice == d && (q & 1) != 0);
}

// 10^n for n in 0..38.
ole_u128 ole_pow10_u128(int n);

// A double truncated toward zero into an integer type; false outside its range and for NaN.
template <class T> bool ole_truncate_to(double value, T& out) {
    double t = std::trunc(value);
    // Both limits are zero or powers of two, so their doubles are exact.
    constexpr double low = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double high = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
    if (!(t >= low && t < high))
        return false;
    out = static_cast<T>(t);
    return true;
}

// The text equals a lower-case ASCII word, ignoring the case of ASCII letters.
bool ole_equal_ascii_nocase(std::u16string_view text, std::string_view lower_word);
