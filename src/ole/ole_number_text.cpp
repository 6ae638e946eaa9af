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

bool mul_add(ole_u128& acc, unsigned mul, unsigned add) {
    constexpr ole_u128 max = ~ole_u128(0);
    if (acc > (max - add) / mul)
        return false;
    acc = acc * mul + add;
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
    int64_t shift = int64_t(n.exponent) + scale;
    if (shift >= 0) {
        if (n.count + shift > 39)
            return false;
        for (int k = 0; k < n.count; ++k)
            if (!mul_add(out, 10, n.digits[k] - '0'))
                return false;
        for (int64_t k = 0; k < shift; ++k)
            if (!mul_add(out, 10, 0))
                return false;
        return true;
    }
    // Drop the last `drop` digits with half-to-even rounding.
    int64_t drop = -shift;
    int64_t keep = n.count - drop;
    for (int64_t k = 0; k < keep; ++k)
        if (!mul_add(out, 10, n.digits[k] - '0'))
            return false;
    int first_dropped = keep >= 0 ? n.digits[keep] - '0' : 0;
    bool rest = n.sticky;
    for (int64_t k = std::max<int64_t>(keep + 1, 0); k < n.count && !rest; ++k)
        rest = n.digits[k] != '0';
    if (keep < 0)
        rest = true; // every digit lies below the first dropped position
    bool up = first_dropped > 5 || (first_dropped == 5 && (rest || (out & 1) != 0));
    if (up && !mul_add(out, 1, 1))
        return false;
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
    char* p = end;
    do {
        *--p = static_cast<char>('0' + static_cast<unsigned>(value % 10));
        value /= 10;
    } while (value != 0);
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
