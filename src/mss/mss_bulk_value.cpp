#include "mss/mss_bulk_value.h"

#include "mss/mss_column_types.h"
#include "ole/ole_variant.h"
#include "tk/tk_string.h"
#include "udb/udb_ftd.h"

#include <cstdint>

namespace {

// The first year DATETIME holds; the driver turns earlier dates into other dates.
constexpr int first_datetime_year = 1753;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

bool is_leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

// Reads `count` digits at `at`; false when there are not that many.
bool read_number(std::string_view text, size_t& at, size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!is_digit(text[at + i]))
            return false;
        value = value * 10 + (text[at + i] - '0');
    }
    at += count;
    return true;
}

bool expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c)
        return false;
    ++at;
    return true;
}

// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss[.fff]" or "hh:mm:ss[.fff]" (on 1900-01-01) in DATETIME's
// form; false for what DATETIME cannot hold exactly.
bool parse_datetime(std::string_view text, int32_t& days, int32_t& ticks) {
    size_t at = 0;
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, ms = 0;
    const bool has_date = text.size() >= 10 && text[4] == '-';
    if (has_date) {
        if (!read_number(text, at, 4, year) || !expect(text, at, '-') ||
            !read_number(text, at, 2, month) || !expect(text, at, '-') ||
            !read_number(text, at, 2, day))
            return false;
        if (at < text.size() && !expect(text, at, ' '))
            return false;
    }
    if (at < text.size()) {
        if (!read_number(text, at, 2, hour) || !expect(text, at, ':') ||
            !read_number(text, at, 2, minute) || !expect(text, at, ':') ||
            !read_number(text, at, 2, second))
            return false;
        if (at < text.size() && (!expect(text, at, '.') || !read_number(text, at, 3, ms)))
            return false;
    }
    if (at != text.size() || year < first_datetime_year || month < 1 || month > 12 || day < 1 ||
        day > days_in_month(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    // DATETIME counts three-hundredths of a second: only whole hundredths are exact.
    if (ms % 10 != 0)
        return false;
    days = int32_t(days_from_civil(year, unsigned(month), unsigned(day)) -
                   days_from_civil(1900, 1, 1));
    ticks = ((hour * 60 + minute) * 60 + second) * 300 + ms * 3 / 10;
    return true;
}

// The text between the apostrophes of 'text' or N'text' with every doubled apostrophe made
// one; false for anything else (texts joined with "+", expressions).
bool unquote(std::string_view literal, std::string& out) {
    size_t at = !literal.empty() && literal[0] == 'N' ? 1 : 0;
    if (literal.size() < at + 2 || literal[at] != '\'' || literal.back() != '\'')
        return false;
    out.clear();
    std::string_view inner = literal.substr(at + 1, literal.size() - at - 2);
    for (size_t quote = inner.find('\''); quote != std::string_view::npos;
         quote = inner.find('\'')) {
        if (quote + 1 >= inner.size() || inner[quote + 1] != '\'')
            return false;
        out.append(inner.substr(0, quote + 1));
        inner.remove_prefix(quote + 2);
    }
    out.append(inner);
    return true;
}

// Whether the driver's conversion of UTF-8 text (to UTF-16 for NVARCHAR columns) stays within
// its limit.
bool fits_driver(std::string_view utf8) {
    // A UTF-16 unit takes at least one byte of UTF-8: a text of up to half the limit fits
    // either way, and most texts are not counted a byte at a time.
    if (utf8.size() <= odb_bulk_copy::max_value_bytes / 2)
        return true;
    size_t units = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80)
            units += b >= 0xF0 ? 2 : 1;
    }
    return std::max(utf8.size(), units * 2) <= odb_bulk_copy::max_value_bytes;
}

bool unhex(std::string_view digits, std::string& out) {
    if (digits.size() % 2 != 0 || digits.size() / 2 > odb_bulk_copy::max_value_bytes)
        return false;
    out.clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = tk_string::hex_digit(digits[i]);
        const int low = tk_string::hex_digit(digits[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(char(high * 16 + low));
    }
    return true;
}

bool is_number_text(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!is_digit(c) && c != '-' && c != '+' && c != '.' && c != 'e' && c != 'E')
            return false;
    return true;
}

} // namespace

mss_bulk_column mss_bulk_column_of(const t_ftd& column) {
    mss_bulk_column bulk;
    if (column.vartype == VT_DATE)
        bulk.kind = odb_bulk_copy::kind::datetime;
    else if (ole_variant::is_binary(column.vartype))
        bulk.kind = odb_bulk_copy::kind::binary;
    else if (column.vartype == VT_DECIMAL || column.vartype == VT_CY) {
        const mss_numeric_shape shape = mss_numeric_of(column);
        const bool money = column.vartype == VT_CY;
        if (!shape.known) {
            bulk.precision = money ? 19 : 38;
            bulk.scale = money ? 4 : 9;
        } else if (shape.precision <= 38) {
            bulk.precision = shape.precision;
            bulk.scale = shape.scale;
        }
    }
    return bulk;
}

bool mss_round_decimal_text(std::string_view text, int precision, int scale, std::string& out) {
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        ++at;
    const size_t int_begin = at;
    while (at < text.size() && is_digit(text[at]))
        ++at;
    const std::string_view whole = text.substr(int_begin, at - int_begin);
    std::string_view fraction;
    if (at < text.size() && text[at] == '.') {
        const size_t begin = ++at;
        while (at < text.size() && is_digit(text[at]))
            ++at;
        fraction = text.substr(begin, at - begin);
    }
    if (at != text.size() || (whole.empty() && fraction.empty()))
        return false;
    // The digits kept, then one carried in from the first digit cut off.
    std::string digits(whole);
    for (int i = 0; i < scale; ++i)
        digits.push_back(size_t(i) < fraction.size() ? fraction[size_t(i)] : '0');
    if (size_t(scale) < fraction.size() && fraction[size_t(scale)] >= '5') {
        size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    const size_t int_digits = digits.size() - size_t(scale);
    size_t first = 0;
    while (first + 1 < int_digits && digits[first] == '0')
        ++first;
    const size_t significant = int_digits - first - (digits[first] == '0' ? 1 : 0);
    if (int(significant) > precision - scale)
        return false;
    out.clear();
    if (negative && digits.find_first_not_of('0') != std::string::npos)
        out.push_back('-');
    out.append(digits, first, int_digits - first);
    if (scale > 0) {
        out.push_back('.');
        out.append(digits, int_digits, size_t(scale));
    }
    return true;
}

bool mss_put_bulk_value(odb_bulk_copy* copy, size_t index, std::string_view literal,
                        const mss_bulk_column& column, std::string& scratch) {
    if (literal == "NULL") {
        if (copy != nullptr)
            copy->set_null(index);
        return true;
    }
    const bool quoted = !literal.empty() && (literal[0] == '\'' || literal[0] == 'N');
    switch (column.kind) {
    case odb_bulk_copy::kind::datetime: {
        int32_t days = 0;
        int32_t ticks = 0;
        if (!quoted || !unquote(literal, scratch) || !parse_datetime(scratch, days, ticks))
            return false;
        if (copy != nullptr)
            copy->set_datetime(index, days, ticks);
        return true;
    }
    case odb_bulk_copy::kind::binary:
        if (literal.size() < 2 || literal[0] != '0' || (literal[1] != 'x' && literal[1] != 'X') ||
            !unhex(literal.substr(2), scratch))
            return false;
        if (copy != nullptr)
            copy->set_bytes(index, scratch);
        return true;
    case odb_bulk_copy::kind::text:
        break;
    }
    std::string_view text = literal;
    if (quoted) {
        if (!unquote(literal, scratch))
            return false;
        text = scratch;
    } else if (!is_number_text(literal)) {
        return false;
    }
    if (column.scale >= 0) {
        // Short enough to stay in the string's own storage.
        std::string rounded;
        if (!mss_round_decimal_text(text, column.precision, column.scale, rounded))
            return false;
        scratch = rounded;
        text = scratch;
    }
    if (!fits_driver(text))
        return false;
    if (copy != nullptr)
        copy->set_bytes(index, text);
    return true;
}
