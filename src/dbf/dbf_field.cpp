#include "dbf/dbf_field.h"

#include "dbf/dbf_codepages.h"
#include "ole/ole_decimal.h"
#include "ole/ole_system_time.h"
#include "tk/tk_locale.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using k = dbf_field_kind;

std::string_view up_to_zero(std::span<const uint8_t> bytes) noexcept {
    const char* p = reinterpret_cast<const char*>(bytes.data());
    const void* zero = std::memchr(p, 0, bytes.size());
    return std::string_view(p, zero ? size_t(static_cast<const char*>(zero) - p) : bytes.size());
}

std::string_view trim_right(std::string_view s) noexcept {
    // Text fields are mostly padding: eight blanks are compared at once.
    constexpr char blanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (s.size() >= 8 && std::memcmp(s.data() + s.size() - 8, blanks, 8) == 0)
        s.remove_suffix(8);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::string_view trim_left(std::string_view s) noexcept {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return s;
}

bool is_digit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// The shape of number text: an optional sign, digits with at most one decimal point ('.' or
// ','), at least one digit, and an optional exponent. Nothing else, so that "*****", "1-2"
// or "12abc" are not numbers.
struct number_shape {
    bool valid = false;
    bool negative = false;
    bool has_exponent = false;
    std::string_view integer; // digits before the point
    std::string_view fraction;
};

number_shape shape_of(std::string_view t) noexcept {
    number_shape s;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        s.negative = t[i++] == '-';
    const size_t int_start = i;
    while (i < t.size() && is_digit(t[i]))
        ++i;
    s.integer = t.substr(int_start, i - int_start);
    if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        const size_t frac_start = ++i;
        while (i < t.size() && is_digit(t[i]))
            ++i;
        s.fraction = t.substr(frac_start, i - frac_start);
    }
    if (s.integer.empty() && s.fraction.empty())
        return s;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        const size_t exp_start = i;
        while (i < t.size() && is_digit(t[i]))
            ++i;
        if (i == exp_start)
            return s;
        s.has_exponent = true;
    }
    s.valid = i == t.size();
    return s;
}

// No number at all: blanks, or the lone point that some writers leave in an empty field with
// decimals ("    .   ").
bool is_blank_number(std::string_view t) noexcept {
    return t.empty() || t == "." || t == ",";
}

// The number text in the C form: '.' as the point, no '+'; a field is at most 255 bytes wide.
bool c_form(std::string_view t, char (&buffer)[256], std::string_view& out) noexcept {
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    if (t.size() >= sizeof buffer)
        return false;
    for (size_t i = 0; i < t.size(); ++i)
        buffer[i] = t[i] == ',' ? '.' : t[i];
    out = std::string_view(buffer, t.size());
    return true;
}

template <class T> bool parse_float(std::string_view t, T& value) noexcept {
    char buffer[256];
    std::string_view c;
    if (!shape_of(t).valid || !c_form(t, buffer, c))
        return false;
    auto [end, ec] = std::from_chars(c.data(), c.data() + c.size(), value);
    return ec == std::errc() && end == c.data() + c.size() && std::isfinite(value);
}

// A whole number; a fraction is cut off, as the xBase products read a number into a field
// without decimals. `cut` tells whether the fraction had a digit other than zero.
bool parse_whole(std::string_view t, int64_t& value, bool& cut) noexcept {
    const number_shape s = shape_of(t);
    cut = false;
    if (!s.valid)
        return false;
    if (s.has_exponent) {
        double d = 0;
        if (!parse_float(t, d) || !(std::fabs(d) < 9.2e18))
            return false;
        value = int64_t(d);
        cut = double(value) != d;
        return true;
    }
    uint64_t magnitude = 0;
    const uint64_t limit = s.negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    for (char c : s.integer) {
        const uint64_t digit = uint64_t(c - '0');
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    value = s.negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    cut = s.fraction.find_first_not_of('0') != std::string_view::npos;
    return true;
}

// False when the text is not carried as it stands: not a number or too large for the type
// (no value), or a fraction that the field's column drops (the whole part is kept).
bool decode_whole(std::string_view t, VARTYPE vt, ole_variant& out) {
    int64_t v = 0;
    bool cut = false;
    if (is_blank_number(t) || !parse_whole(t, v, cut)) {
        out.clear();
        return is_blank_number(t);
    }
    switch (vt) {
    case VT_I1:
        if (v >= INT8_MIN && v <= INT8_MAX) {
            out.set_i1(int8_t(v));
            return !cut;
        }
        break;
    case VT_I2:
        if (v >= INT16_MIN && v <= INT16_MAX) {
            out.set_i2(int16_t(v));
            return !cut;
        }
        break;
    case VT_I4:
        if (v >= INT32_MIN && v <= INT32_MAX) {
            out.set_i4(int32_t(v));
            return !cut;
        }
        break;
    default:
        out.set_i8(v);
        return !cut;
    }
    out.clear();
    return false;
}

// The DECIMAL of a number without exponent and with at most 19 digits, straight from its
// digits: the general number reader costs several times more, and nearly every N field
// holds such a number. The result is the one that reader gives: trailing zeros of the
// fraction dropped, zero without sign.
bool plain_decimal(const number_shape& s, DECIMAL& out) noexcept {
    if (s.has_exponent || s.integer.size() + s.fraction.size() > 19)
        return false;
    uint64_t mantissa = 0;
    for (char c : s.integer)
        mantissa = mantissa * 10 + uint64_t(c - '0');
    for (char c : s.fraction)
        mantissa = mantissa * 10 + uint64_t(c - '0');
    size_t scale = s.fraction.size();
    while (scale > 0 && mantissa % 10 == 0) {
        mantissa /= 10;
        --scale;
    }
    VarDecFromUI8(mantissa, out);
    out.scale = uint8_t(scale);
    if (s.negative && mantissa != 0)
        out.sign = DECIMAL_NEG;
    return true;
}

// False when the text is there but is no number a DECIMAL holds (no value).
bool decode_decimal(std::string_view t, ole_variant& out) {
    const number_shape shape = shape_of(t);
    DECIMAL value{};
    if (shape.valid && plain_decimal(shape, value)) {
        out.set_decimal(value);
        return true;
    }
    char buffer[256];
    std::string_view c;
    if (is_blank_number(t) || !shape.valid || !c_form(t, buffer, c) ||
        FAILED(VarDecFromStr(c, LOCALE_EN_US, 0, value))) {
        out.clear();
        return is_blank_number(t);
    }
    out.set_decimal(value);
    return true;
}

bool is_leap(int64_t y) noexcept {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned days_in_month(int64_t y, unsigned m) noexcept {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : days[m - 1];
}

bool is_calendar_date(int64_t y, unsigned m, unsigned d) noexcept {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m);
}

// False when the date is outside what a date value holds (the years 100 to 9999): the
// value is left empty then.
bool set_date(ole_variant& out, int64_t days_from_1970, uint32_t ms_of_day) {
    int64_t y = 0;
    unsigned m = 0, d = 0;
    dbf_civil_from_days(days_from_1970, y, m, d);
    if (y < 1 || y > 9999) {
        out.clear();
        return false;
    }
    SYSTEMTIME st{};
    st.wYear = uint16_t(y);
    st.wMonth = uint16_t(m);
    st.wDay = uint16_t(d);
    st.wHour = uint16_t(ms_of_day / 3'600'000);
    st.wMinute = uint16_t(ms_of_day / 60'000 % 60);
    st.wSecond = uint16_t(ms_of_day / 1000 % 60);
    st.wMilliseconds = uint16_t(ms_of_day % 1000);
    TK_TRACE(1, "SYSTEMTIME=%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond);
    if (out.set_date(st))
        return true;
    out.clear();
    return false;
}

// D: eight digits YYYYMMDD. Other text is read by the general date parser, and kept only
// when it names a real calendar date. False for text that names no date a value can hold;
// blanks and zeros are a date never set.
bool decode_date(std::string_view t, ole_variant& out) {
    if (t.size() == 8 && std::all_of(t.begin(), t.end(), is_digit)) {
        auto num = [&](size_t at, size_t n) {
            unsigned v = 0;
            for (size_t i = at; i < at + n; ++i)
                v = v * 10 + unsigned(t[i] - '0');
            return v;
        };
        const unsigned y = num(0, 4), m = num(4, 2), d = num(6, 2);
        if (!is_calendar_date(y, m, d)) {
            out.clear();
            return t == "00000000";
        }
        return set_date(out, dbf_days_from_civil(y, m, d), 0);
    }
    if (t.empty()) {
        out.clear();
        return true;
    }
    out.assign_from_string(t, VT_DATE);
    SYSTEMTIME st{};
    out.get_system_time(st);
    if (out.get_type() == VT_DATE && is_calendar_date(st.wYear, st.wMonth, st.wDay))
        return true;
    out.clear();
    return false;
}

// T: Julian day number and milliseconds since midnight. Times are kept to the second, the
// stored milliseconds rounded up by one to undo the float arithmetic of their writers. False
// for a date-time no value holds; all zeros is a value never set.
bool decode_datetime(const uint8_t* p, ole_variant& out) {
    const int64_t julian = int32_t(dbf_le32(p));
    const uint32_t ms = dbf_le32(p + 4);
    if (julian < dbf_julian_0001 || ms >= dbf_ms_per_day) {
        out.clear();
        return julian == 0 && ms == 0;
    }
    int64_t days = julian - dbf_julian_1970;
    uint32_t seconds = (ms + 1) / 1000;
    if (seconds == 86400) {
        seconds = 0;
        ++days;
    }
    TK_TRACE(1, "lDay=%d, lHour=%u, lMin=%u, lSec=%u", int(julian - dbf_julian_0001),
             seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return set_date(out, days, seconds * 1000);
}

// @ (level 7): milliseconds since 0000-12-31 (day 1 is 0001-01-01) as a big-endian double.
bool decode_timestamp(const uint8_t* p, ole_variant& out) {
    const uint64_t raw = dbf_be64(p);
    const double v = std::bit_cast<double>(raw);
    if (!std::isfinite(v) || v < double(dbf_ms_per_day) || v > 4.0e14) {
        out.clear();
        return raw == 0;
    }
    const int64_t total = std::llround(v);
    const int64_t ordinal = total / dbf_ms_per_day;
    // Day 1 is 0001-01-01, 719163 days before 1970-01-02.
    return set_date(out, ordinal - 719163, uint32_t(total % dbf_ms_per_day));
}

// Significant digits of number text: the digits from the first non-zero one on, trailing
// zeros of a fraction left out.
size_t significant_digits(const number_shape& s) noexcept {
    std::string_view integer = s.integer, fraction = s.fraction;
    while (!integer.empty() && integer.front() == '0')
        integer.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (integer.empty())
        while (!fraction.empty() && fraction.front() == '0')
            fraction.remove_prefix(1);
    return integer.size() + fraction.size();
}

void decode_double(double v, ole_variant& out) {
    if (std::isfinite(v))
        out.set_r8(v);
    else
        out.clear();
}

void decode_logical(uint8_t c, ole_variant& out) {
    TK_TRACE(1, "Processing as BOOLEAN");
    switch (c) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
        return out.set_bool(true);
    case 'F':
    case 'f':
    case 'N':
    case 'n':
        return out.set_bool(false);
    default:
        // '?' and blank: the value was never set.
        return out.clear();
    }
}

} // namespace

// ---- Dates -----------------------------------------------------------------------------------

int64_t dbf_days_from_civil(int64_t y, unsigned m, unsigned d) noexcept {
    // 1970-01-01 is day 25569 of the DATE count, which starts at 1899-12-30.
    return ole_days_from_civil(int(y), m, d) - 25569;
}

void dbf_civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) noexcept {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2);
}

// ---- Fields ----------------------------------------------------------------------------------

std::string_view dbf_field_text(std::span<const uint8_t> bytes) noexcept {
    return trim_right(trim_left(up_to_zero(bytes)));
}

const tk_codepage& dbf_text_codepage(uint32_t codepage) {
    const uint32_t effective = codepage != 0 ? codepage : dbf_default_codepage;
    if (const tk_codepage* page = tk_codepage::find(effective))
        return *page;
    TK_TRACE(3, "Code page %u is not known, using code page %u", effective,
             unsigned(dbf_default_codepage));
    return tk_codepage::get(dbf_default_codepage);
}

dbf_field::dbf_field(const dbf_field_descriptor& fd, std::u16string name)
    : udb_field(std::move(name), fd.size) {}

dbf_field::dbf_field(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd,
                     uint32_t codepage)
    : dbf_field(fd, column_name(fd, dbf_text_codepage(codepage))) {
    decode(bytes, fd, dbf_text_codepage(codepage), *this);
}

ole_variant dbf_field::get_variant(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd,
                                   uint32_t codepage) {
    ole_variant v;
    decode(bytes, fd, dbf_text_codepage(codepage), v);
    return v;
}

std::u16string dbf_field::column_name(const dbf_field_descriptor& fd, const tk_codepage& codepage) {
    std::u16string name;
    codepage.decode(fd.name_view(), name);
    return name;
}

std::vector<std::u16string>
dbf_field::column_names(const std::vector<dbf_field_descriptor>& descriptors,
                        const tk_codepage& codepage) {
    std::vector<std::u16string> stored;
    for (const dbf_field_descriptor& fd : descriptors)
        if (fd.is_column())
            stored.push_back(column_name(fd, codepage));
    const auto among = [](const std::vector<std::u16string>& names, std::u16string_view name) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::u16string& n) { return tk_equal_nocase(n, name); });
    };
    std::vector<std::u16string> names;
    names.reserve(stored.size());
    for (const std::u16string& name : stored) {
        if (!among(names, name)) {
            names.push_back(name);
            continue;
        }
        for (uint32_t n = 2;; ++n) {
            std::u16string candidate = name + u"_";
            for (char c : std::to_string(n))
                candidate.push_back(char16_t(c));
            if (!among(names, candidate) && !among(stored, candidate)) {
                names.push_back(std::move(candidate));
                break;
            }
        }
    }
    return names;
}

bool dbf_field::decode(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd,
                       const tk_codepage& codepage, ole_variant& out, bool narrow) {
    TK_TRACE(1, "dbf_field::get_variant(%s, '%c')", fd.name.data(), fd.field_type);
    const uint8_t* p = bytes.data();
    const size_t width = bytes.size();
    switch (fd.kind) {
    case k::text:
    case k::varchar: {
        // The caller settles the real length of a varchar from the null flags; here the bytes
        // are the value.
        const std::string_view text =
            fd.kind == k::text ? trim_right(up_to_zero(bytes)) : up_to_zero(bytes);
        if (narrow) {
            out.attach_narrow(text, codepage);
            return codepage.maps_all(text);
        }
        return codepage.decode_checked(text, out.set_bstr());
    }
    case k::varbinary:
    case k::unknown:
        // Every byte, zero bytes included: binary data has no terminator.
        if (width == 0)
            out.attach_binary(0, p);
        else
            std::memcpy(out.allocate_safe_array(width).data(), p, width);
        return true;
    case k::integer_text:
        return decode_whole(dbf_field_text(bytes), fd.vartype, out);
    case k::real_text: {
        const std::string_view text = dbf_field_text(bytes);
        double v = 0;
        if (!parse_float(text, v)) {
            out.clear();
            return is_blank_number(text);
        }
        out.set_r8(v);
        // A double keeps 15 significant digits for certain.
        return significant_digits(shape_of(text)) <= 15;
    }
    case k::decimal_text:
        return decode_decimal(dbf_field_text(bytes), out);
    case k::date_text:
        return decode_date(dbf_field_text(bytes), out);
    case k::logical:
        if (width == 0)
            out.clear();
        else
            decode_logical(p[0], out);
        return true;
    case k::currency:
        TK_TRACE(1, "Processing as CURRENCY");
        if (width < 8)
            out.clear();
        else
            out.set_cy(CY{int64_t(dbf_le64(p))});
        return true;
    case k::int_le:
        TK_TRACE(1, "Processing as INTEGER");
        if (width < 4)
            out.clear();
        else
            out.set_i4(int32_t(dbf_le32(p)));
        return true;
    case k::int_be_flipped: {
        // Stored so that the bytes sort as the numbers do; all zeros is a value never set.
        const uint32_t raw = width < 4 ? 0 : dbf_be32(p);
        if (raw == 0)
            out.clear();
        else
            out.set_i4(int32_t(raw ^ 0x80000000u));
        return true;
    }
    case k::double_le:
        TK_TRACE(1, "Processing as DOUBLE");
        if (width < 8)
            out.clear();
        else
            decode_double(std::bit_cast<double>(dbf_le64(p)), out);
        return true;
    case k::double_ordered: {
        // Sortable form: a positive number has its sign bit set, a negative one all its bits
        // inverted. All zeros (a value never set) decodes to a NaN and so to no value.
        if (width < 8) {
            out.clear();
            return true;
        }
        uint64_t raw = dbf_be64(p);
        raw = (raw & 0x8000000000000000ull) ? raw ^ 0x8000000000000000ull : ~raw;
        decode_double(std::bit_cast<double>(raw), out);
        return true;
    }
    case k::datetime:
        TK_TRACE(1, "Processing as DATETIME");
        if (width < 8) {
            out.clear();
            return true;
        }
        return decode_datetime(p, out);
    case k::timestamp:
        if (width < 8) {
            out.clear();
            return true;
        }
        return decode_timestamp(p, out);
    case k::memo_text:
    case k::memo_binary:
    case k::null_flags:
        break;
    }
    out.clear();
    return true;
}
