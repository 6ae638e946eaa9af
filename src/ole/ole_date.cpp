#include "ole/ole_date.h"

#include "ole/ole_variant.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <charconv>
#include <cmath>

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

// The scanf directives the date forms use, read the same way: "%d" (optionally with a
// width) skips blanks and reads an optional sign and digits, "%s" skips blanks and reads up
// to the next blank, a blank matches any run of blanks (or none), any other character
// matches itself.
class scanner {
public:
    explicit scanner(std::string_view text) : s_(text) {}

    bool number(uint16_t& out, size_t width = 0) {
        skip_blanks();
        size_t limit = width ? std::min(s_.size(), pos_ + width) : s_.size();
        size_t i = pos_;
        bool negative = false;
        if (i < limit && (s_[i] == '-' || s_[i] == '+'))
            negative = s_[i++] == '-';
        size_t digits_start = i;
        int64_t value = 0;
        while (i < limit && s_[i] >= '0' && s_[i] <= '9') {
            if (value < 1'000'000'000)
                value = value * 10 + (s_[i] - '0');
            ++i;
        }
        if (i == digits_start)
            return false;
        pos_ = i;
        // A 16-bit field receives the value modulo 2^16, as the C library stores it.
        out = static_cast<uint16_t>(negative ? -value : value);
        return true;
    }
    bool word(std::string_view& out) {
        skip_blanks();
        size_t start = pos_;
        while (pos_ < s_.size() && !is_space(s_[pos_]))
            ++pos_;
        out = s_.substr(start, pos_ - start);
        return pos_ != start;
    }
    bool literal(char c) {
        if (is_space(c)) {
            skip_blanks();
            return true;
        }
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

private:
    void skip_blanks() {
        while (pos_ < s_.size() && is_space(s_[pos_]))
            ++pos_;
    }

    std::string_view s_;
    size_t pos_ = 0;
};

// "%4d%02d%02d%02d%02d%02d" into the given fields; returns the number of items read.
int scan_timestamp(std::string_view text, uint16_t* const* fields, int count) {
    scanner in(text);
    for (int k = 0; k < count; ++k)
        if (!in.number(*fields[k], k == 0 ? 4 : 2))
            return k;
    return count;
}

// "%hd<sep>%hd<sep>%hd %hd:%hd:%s"; returns the number of items read.
int scan_datetime(std::string_view text, char sep, SYSTEMTIME& st, std::string_view& seconds) {
    scanner in(text);
    if (!in.number(st.wYear))
        return 0;
    if (!in.literal(sep) || !in.number(st.wMonth))
        return 1;
    if (!in.literal(sep) || !in.number(st.wDay))
        return 2;
    if (!in.literal(' ') || !in.number(st.wHour))
        return 3;
    if (!in.literal(':') || !in.number(st.wMinute))
        return 4;
    if (!in.literal(':') || !in.word(seconds))
        return 5;
    return 6;
}

// The C library's atof: the longest number at the start of the text, 0 when there is none.
double leading_double(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::invalid_argument)
        value = 0;
    return negative ? -value : value;
}

void put_number(std::string& out, unsigned value, int width) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    for (auto n = result.ptr - buffer; n < width; ++n)
        out.push_back('0');
    out.append(buffer, result.ptr);
}

} // namespace

ole_date::ole_date(const ole_variant& value) {
    TK_TRACE(2, "ole_date::ole_date(VARIANT, vt=%d)", value.get_type());
    switch (value.get_type()) {
    case VT_EMPTY:
    case VT_NULL:
        return;
    case VT_DATE:
        // The calendar fields keep what the DATE cannot (milliseconds, times without a day).
        value.get_system_time(st_);
        type_ = date_time;
        refine_type();
        return;
    default:
        TK_FAIL();
    }
}

ole_date::ole_date(const SYSTEMTIME& st) : type_(date_time), st_(st) {
    TK_TRACE(2, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(std::u16string_view text)
    : ole_date(std::string_view(tk_to_ansi_nothrow(text))) {}

ole_date::ole_date(std::string_view given) {
    TK_TRACE(2, "ole_date::ole_date('%.*s')", static_cast<int>(given.size()), given.data());
    std::string_view text = trim(given);
    TK_TRACE(1, "After tk_trim: %.*s", static_cast<int>(text.size()), text.data());
    for (std::string_view mark : {"AM", "PM", "am", "pm"}) {
        if (size_t at = text.find(mark); at != std::string_view::npos) {
            text = trim(text.substr(0, at));
            break;
        }
    }
    TK_TRACE(1, "Again buf1=%.*s", static_cast<int>(text.size()), text.data());
    if (text.size() < 5) {
        TK_TRACE(2, "Invalid date/time format: '%.*s'", static_cast<int>(text.size()), text.data());
        return;
    }
    import_from_string(text);

    if ((type_ == date_time || type_ == date_only) && st_.wDay > 31 && st_.wYear < 32)
        std::swap(st_.wDay, st_.wYear);

    bool pm =
        given.find("PM") != std::string_view::npos || given.find("pm") != std::string_view::npos;
    bool am = !pm && (given.find("AM") != std::string_view::npos ||
                      given.find("am") != std::string_view::npos);
    if (pm && st_.wHour < 12)
        st_.wHour = static_cast<uint16_t>(st_.wHour + 12);
    // 12 AM is the first hour of the day: 12:30 AM is 00:30.
    if (am && st_.wHour == 12)
        st_.wHour = 0;
}

void ole_date::import_from_string(std::string_view text) {
    TK_TRACE(2, "ole_date::import_from_string");
    type_ = invalid;
    st_ = SYSTEMTIME{};
    if (import_fixed_forms(text))
        return;

    TK_TRACE(1, "Trying the en-US date reader...");
    // The forms it reads are ASCII; any other byte stays a non-ASCII unit and is refused.
    std::u16string wide(text.begin(), text.end());
    for (char16_t& c : wide)
        c = static_cast<unsigned char>(c);
    DATE date = 0;
    SYSTEMTIME st{};
    if (SUCCEEDED(VarDateFromStr(wide, LOCALE_EN_US, 0, date)) &&
        VariantTimeToSystemTime(date, st)) {
        TK_TRACE(1, "Got datetime using Microsoft API");
        st_ = st;
        st_.wDayOfWeek = 0;
        type_ = date_time;
        refine_type();
        return;
    }
    type_ = invalid;
    TK_TRACE(2, "Invalid date/time format: '%.*s'", static_cast<int>(text.size()), text.data());
}

bool ole_date::import_fixed_forms(std::string_view text) {
    uint16_t* const timestamp[] = {&st_.wYear, &st_.wMonth,  &st_.wDay,
                                   &st_.wHour, &st_.wMinute, &st_.wSecond};
    if (text.size() == 14) {
        TK_TRACE(1, "Trying timestamp format (1)...");
        if (scan_timestamp(text, timestamp, 6) == 6) {
            type_ = date_time;
            if (is_valid())
                return true;
        }
        type_ = invalid;
        st_ = SYSTEMTIME{};
    }
    if (text.size() == 8) {
        TK_TRACE(1, "Trying timestamp format (2)...");
        if (scan_timestamp(text, timestamp, 3) == 3) {
            type_ = date_only;
            if (is_valid())
                return true;
        }
        type_ = invalid;
        st_ = SYSTEMTIME{};
    }

    TK_TRACE(1, "Trying pure time format...");
    {
        scanner in(text);
        std::string_view seconds;
        int items = 0;
        if (in.number(st_.wHour)) {
            items = 1;
            if (in.literal(':') && in.number(st_.wMinute)) {
                items = 2;
                if (in.literal(':') && in.word(seconds))
                    items = 3;
            }
        }
        if (items == 3 || (items == 2 && seconds.empty())) {
            type_ = time_only;
            if (is_valid()) {
                if (items == 3)
                    process_milliseconds(seconds);
                // Seconds are only known now: 10:30:75 is not a time.
                if (is_valid())
                    return true;
            }
        }
    }

    type_ = invalid;
    st_ = SYSTEMTIME{};
    int format = 0;
    for (char sep : {'-', '/', '.'}) {
        ++format;
        TK_TRACE(1, "Trying datetime format #%d", format);
        std::string_view seconds;
        int items = scan_datetime(text, sep, st_, seconds);
        if (items == 3) {
            TK_TRACE(1, "Format #%d succeeded (3 items)", format);
            type_ = date_only;
            if (is_valid())
                return true;
        } else if (items == 6) {
            TK_TRACE(1, "Format #%d succeeded (6 items)", format);
            type_ = date_time;
            if (is_valid()) {
                process_milliseconds(seconds);
                if (is_valid()) {
                    refine_type();
                    return true;
                }
            }
        }
    }
    return false;
}

bool ole_date::is_valid() const {
    TK_TRACE(1, "ole_date::is_valid");
    if (type_ == invalid)
        return false;
    if (st_.wDay == 0 && st_.wMonth == 0 && st_.wYear == 0)
        TK_TRACE(1, "DATETIME is a pute time");
    else {
        if (st_.wMonth < 1 || st_.wMonth > 12) {
            TK_TRACE(1, "Invalid month");
            return false;
        }
        if (st_.wDay == 0 || st_.wYear == 0 || (st_.wDay >= 32 && st_.wYear >= 32)) {
            TK_TRACE(1, "Invalid day and/or year");
            return false;
        }
    }
    if (st_.wHour > 60 || st_.wMinute > 60 || st_.wSecond > 60) {
        TK_TRACE(1, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::refine_type() {
    TK_TRACE(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", st_.wYear, st_.wMonth, st_.wDay,
             st_.wHour, st_.wMinute, st_.wSecond);
    if (st_.wDay == 0 && st_.wMonth == 0 && st_.wYear == 0)
        type_ = time_only;
    else if (st_.wHour == 0 && st_.wMinute == 0 && st_.wSecond == 0 && st_.wDay != 0 &&
             st_.wMonth != 0 && st_.wYear != 0)
        type_ = date_only;
}

void ole_date::process_milliseconds(std::string_view seconds_text) {
    TK_TRACE(1, "ole_date::process_milliseconds");
    TK_TRACE(1, "Got row sec: '%.*s'", static_cast<int>(seconds_text.size()), seconds_text.data());
    double v = leading_double(seconds_text);
    if (!std::isfinite(v) || std::fabs(v) > 65535.0)
        v = 65535.0; // no second of a valid time; is_valid rejects it
    double second = std::trunc(v);
    // Truncated, not rounded; the small margin keeps "15.123" at 123 ms although 0.123 has
    // no exact binary form.
    double ms = std::trunc(std::fabs(v - second) * 1000.0 + 1e-6);
    st_.wSecond = static_cast<uint16_t>(static_cast<int32_t>(second));
    st_.wMilliseconds = static_cast<uint16_t>(std::min(ms, 999.0));
    TK_TRACE(1, "Got sec: %d", st_.wSecond);
    TK_TRACE(1, "Got msec: %d", st_.wMilliseconds);
}

ole_variant ole_date::to_variant() const {
    TK_TRACE(2, "ole_date::to_variant");
    return ole_variant(st_);
}

void ole_date::append_to(std::string& out, bool with_ms) const {
    append_text(out, with_ms, true);
}

std::string ole_date::to_string(bool with_ms) const {
    TK_TRACE(2, "ole_date::to_string");
    std::string out;
    append_text(out, with_ms, true);
    return out;
}

std::u16string ole_date::to_wstring(bool with_ms) const {
    TK_TRACE(2, "ole_date::to_wstring");
    std::string narrow;
    append_text(narrow, with_ms, false);
    return std::u16string(narrow.begin(), narrow.end());
}

void ole_date::append_text(std::string& out, bool with_ms, bool narrow) const {
    unsigned year = st_.wYear;
    // Two-digit years: 0-49 are this century, 50-99 the last.
    if (year < 100 && (narrow || (st_.wMonth != 0 && st_.wDay != 0)))
        year += year < 50 ? 2000 : 1900;
    auto put_date = [&] {
        put_number(out, year, 4);
        out.push_back('-');
        put_number(out, st_.wMonth, 2);
        out.push_back('-');
        put_number(out, st_.wDay, 2);
    };
    auto put_time = [&](bool ms) {
        put_number(out, st_.wHour, 2);
        out.push_back(':');
        put_number(out, st_.wMinute, 2);
        out.push_back(':');
        put_number(out, st_.wSecond, 2);
        // Three digits always: ".5" would read back as 500 ms, not 5.
        if (ms && st_.wMilliseconds != 0) {
            out.push_back('.');
            put_number(out, st_.wMilliseconds, 3);
        }
    };
    switch (type_) {
    case date_time:
        put_date();
        if (st_.wHour != 0 || st_.wMinute != 0 || st_.wSecond != 0) {
            TK_TRACE(1, "printing datetime...");
            out.push_back(' ');
            put_time(with_ms);
        }
        return;
    case date_only:
        TK_TRACE(1, "printing date...");
        put_date();
        return;
    case time_only:
        TK_TRACE(1, "printing time...");
        if (narrow)
            out.append("0000-00-00 ");
        put_time(true);
        return;
    default:
        return;
    }
}
