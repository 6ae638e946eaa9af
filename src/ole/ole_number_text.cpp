#include "ole/ole_number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr std::array<ole_u128, 39> make_powers() {
    std::array<ole_u128, 39> p{};
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i)
        p[i] = p[i - 1] * 10;
    return p;
}
constexpr std::array<ole_u128, 39> powers_of_ten = make_powers();

template <class Ch> bool is_blank(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0;
}
template <class Ch> bool is_digit(Ch c) {
    return c >= '0' && c <= '9';
}

// Appends one significant-position digit, keeping leading zeros out and counting what does
// not fit.
struct digit_sink {
    ole_number& n;
    int32_t dropped_integer_digits = 0;
    bool seen_nonzero = false;

    void integer_digit(char d) {
        if (!seen_nonzero && d == '0')
            return;
        seen_nonzero = true;
        if (n.count < ole_number::max_digits)
            n.digits[n.count++] = d;
        else {
            ++dropped_integer_digits;
            n.sticky |= d != '0';
        }
    }
    void fraction_digit(char d) {
        --n.exponent;
        if (!seen_nonzero && d == '0')
            return;
        seen_nonzero = true;
        if (n.count < ole_number::max_digits)
            n.digits[n.count++] = d;
        else {
            ++n.exponent;
            n.sticky |= d != '0';
        }
    }
};

template <class Ch> HRESULT parse(std::basic_string_view<Ch> text, ole_number& out) {
    out = ole_number{};
    size_t b = 0, e = text.size();
    while (b < e && is_blank(text[b]))
        ++b;
    while (e > b && is_blank(text[e - 1]))
        --e;
    if (b == e)
        return DISP_E_TYPEMISMATCH;

    bool parens = false;
    if (text[b] == '(' && text[e - 1] == ')') {
        parens = true;
        ++b;
        --e;
    }
    size_t i = b;
    auto skip_blanks = [&] {
        while (i < e && is_blank(text[i]))
            ++i;
    };
    skip_blanks();
    bool leading_sign = false;
    bool dollar = false;
    for (int round = 0; round < 2 && i < e; ++round) {
        if (!leading_sign && !parens && (text[i] == '+' || text[i] == '-')) {
            leading_sign = true;
            out.negative = text[i] == '-';
            ++i;
            skip_blanks();
        } else if (!dollar && text[i] == '$') {
            dollar = true;
            ++i;
            skip_blanks();
        }
    }

    digit_sink sink{out};
    int digit_count = 0;
    // Integer part with optional thousands separators between groups of three.
    int group = 0;
    bool grouped = false;
    while (i < e) {
        Ch c = text[i];
        if (is_digit(c)) {
            sink.integer_digit(static_cast<char>(c));
            ++digit_count;
            ++group;
            ++i;
        } else if (c == ',') {
            if (group == 0 || (grouped && group != 3) || (!grouped && group > 3))
                return DISP_E_TYPEMISMATCH;
            grouped = true;
            group = 0;
            ++i;
        } else
            break;
    }
    if (grouped && group != 3)
        return DISP_E_TYPEMISMATCH;
    if (i < e && text[i] == '.') {
        ++i;
        while (i < e && is_digit(text[i])) {
            sink.fraction_digit(static_cast<char>(text[i]));
            ++digit_count;
            ++i;
        }
    }
    if (digit_count == 0)
        return DISP_E_TYPEMISMATCH;
    out.exponent += sink.dropped_integer_digits;

    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < e && (text[i] == '+' || text[i] == '-')) {
            negative_exponent = text[i] == '-';
            ++i;
        }
        if (i == e || !is_digit(text[i]))
            return DISP_E_TYPEMISMATCH;
        int32_t value = 0;
        while (i < e && is_digit(text[i])) {
            if (value < 100000)
                value = value * 10 + (text[i] - '0');
            ++i;
        }
        out.exponent += negative_exponent ? -value : value;
    }
    skip_blanks();
    if (i < e && (text[i] == '+' || text[i] == '-') && !leading_sign && !parens) {
        out.negative = text[i] == '-';
        ++i;
        skip_blanks();
    }
    if (i != e)
        return DISP_E_TYPEMISMATCH;
    if (parens)
        out.negative = true;

    while (out.count > 0 && out.digits[out.count - 1] == '0') {
        --out.count;
        ++out.exponent;
    }
    if (out.count == 0) {
        out.exponent = 0;
        out.sticky = false;
        out.negative = false;
    }
    return S_OK;
}

// acc * 10^digits + add (digits 0..19, add below 10^digits); false beyond 128 bits.
inline bool shift_add(ole_u128& acc, int digits, uint64_t add) {
    const ole_u128 factor = powers_of_ten[static_cast<size_t>(digits)];
    // Below 2^64 the product of two 64-bit values plus one more cannot overflow.
    if ((acc >> 64) != 0 && acc > (~ole_u128(0) - add) / factor)
        return false;
    acc = acc * factor + add;
    return true;
}

// The integer of the digits [begin, end) followed by `zeros` zeros, 19 digits at a time in
// 64-bit arithmetic; false beyond 128 bits.
bool digits_value(const char* begin, const char* end, int64_t zeros, ole_u128& out) {
    if ((end - begin) + zeros > 39)
        return false;
    ole_u128 acc = 0;
    while (begin < end) {
        uint64_t chunk = 0;
        int length = 0;
        for (; begin < end && length < 19; ++begin, ++length)
            chunk = chunk * 10 + static_cast<uint64_t>(*begin - '0');
        if (!shift_add(acc, length, chunk))
            return false;
    }
    for (; zeros > 0; zeros -= 19)
        if (!shift_add(acc, static_cast<int>(std::min<int64_t>(zeros, 19)), 0))
            return false;
    out = acc;
    return true;
}

} // namespace

HRESULT ole_parse_number(std::string_view text, ole_number& out) {
    return parse(text, out);
}
HRESULT ole_parse_number(std::u16string_view text, ole_number& out) {
    return parse(text, out);
}

bool ole_number_to_fixed(const ole_number& n, int scale, ole_u128& out) {
    out = 0;
    if (n.count == 0)
        return true;
    const int64_t shift = int64_t(n.exponent) + scale;
    if (shift >= 0)
        return digits_value(n.digits, n.digits + n.count, shift, out);
    // Drop the last -shift digits with half-to-even rounding.
    const int64_t keep = n.count + shift;
    ole_u128 kept = 0;
    if (keep > 0 && !digits_value(n.digits, n.digits + keep, 0, kept))
        return false;
    int first_dropped = keep >= 0 ? n.digits[keep] - '0' : 0;
    bool rest = n.sticky || keep < 0; // below zero every digit lies past the first dropped one
    for (int64_t k = std::max<int64_t>(keep + 1, 0); k < n.count && !rest; ++k)
        rest = n.digits[k] != '0';
    if (first_dropped > 5 || (first_dropped == 5 && (rest || (kept & 1) != 0))) {
        if (kept == ~ole_u128(0))
            return false;
        ++kept;
    }
    out = kept;
    return true;
}

double ole_number_to_double(const ole_number& n) {
    if (n.count == 0)
        return n.negative ? -0.0 : 0.0;
    char buffer[ole_number::max_digits + 16];
    char* p = buffer;
    for (int k = 0; k < n.count; ++k)
        *p++ = n.digits[k];
    // A sticky non-zero tail only matters for exact ties; one more digit keeps them apart.
    if (n.sticky)
        *p++ = '1';
    int32_t exponent = n.exponent - (n.sticky ? 1 : 0);
    *p++ = 'e';
    p = std::to_chars(p, buffer + sizeof buffer, exponent).ptr;
    double value = 0;
    auto [end, ec] = std::from_chars(buffer, p, value);
    if (ec == std::errc::result_out_of_range)
        value = n.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return n.negative ? -value : value;
}

char* ole_u128_digits(ole_u128 value, char* end) {
    // 64-bit arithmetic per digit; 128-bit division only once per 19 digits.
    constexpr uint64_t chunk = 10'000'000'000'000'000'000u;
    char* p = end;
    while (value > std::numeric_limits<uint64_t>::max()) {
        uint64_t low = static_cast<uint64_t>(value % chunk);
        value /= chunk;
        for (int k = 0; k < 19; ++k) {
            *--p = static_cast<char>('0' + low % 10);
            low /= 10;
        }
    }
    uint64_t rest = static_cast<uint64_t>(value);
    do {
        *--p = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    return p;
}

ole_u128 ole_pow10_u128(int n) {
    return powers_of_ten[static_cast<size_t>(n)];
}

bool ole_equal_ascii_nocase(std::u16string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char16_t>(c - 'A' + 'a');
        if (c != static_cast<unsigned char>(lower_word[i]))
            return false;
    }
    return true;
}
