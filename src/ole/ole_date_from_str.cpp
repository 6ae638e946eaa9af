// The en-US date reader that stands in for the system's own parser.
//
// Accepted: a date as month/day/year (separators '/', '-', '.' or blanks; day and month are
// swapped when the month is above 12 and the day is not), year/month/day when the first
// number has three or four digits, or with the month's English name or three-letter
// abbreviation anywhere ("Dec 31, 2020", "31 December 2020", "2020 Dec 31"); a time as
// h:mm, h:mm:ss or h:mm:ss.fff, before or after the date, with an optional AM/PM (A/P);
// an optional leading day name ("Thursday, ..."). Years of one or two digits are 2000-2029
// for 0-29 and 1930-1999 otherwise. The day must exist in its month.
#include "ole/ole_number_text.h"
#include "ole/ole_system_time.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct token {
    enum kind_t { number, word, separator };
    kind_t kind = separator;
    char16_t sep = 0;  // the separator character (' ' for any run of blanks)
    int64_t value = 0; // number
    int digits = 0;    // number: digit count
    std::u16string_view text;
};

bool is_letter(char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char16_t c) {
    return c >= '0' && c <= '9';
}
bool is_blank(char16_t c) {
    return c == ' ' || c == '\t' || c == 0xA0 || c == '\r' || c == '\n';
}

constexpr std::array<std::string_view, 12> month_names = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> day_names = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

// 1..12 for a month name, its three-letter abbreviation or "sept"; 0 otherwise.
int month_of(std::u16string_view w) {
    for (size_t m = 0; m < month_names.size(); ++m)
        if (ole_equal_ascii_nocase(w, month_names[m]) ||
            ole_equal_ascii_nocase(w, month_names[m].substr(0, 3)))
            return static_cast<int>(m) + 1;
    return ole_equal_ascii_nocase(w, "sept") ? 9 : 0;
}

bool is_day_name(std::u16string_view w) {
    for (std::string_view d : day_names)
        if (ole_equal_ascii_nocase(w, d) || ole_equal_ascii_nocase(w, d.substr(0, 3)))
            return true;
    return false;
}

bool tokenize(std::u16string_view text, std::vector<token>& out) {
    size_t i = 0;
    while (i < text.size()) {
        char16_t c = text[i];
        size_t start = i;
        if (is_digit(c)) {
            token t;
            t.kind = token::number;
            while (i < text.size() && is_digit(text[i])) {
                if (t.digits < 9)
                    t.value = t.value * 10 + (text[i] - '0');
                ++t.digits;
                ++i;
            }
            if (t.digits > 9)
                return false;
            t.text = text.substr(start, i - start);
            out.push_back(t);
        } else if (is_letter(c)) {
            while (i < text.size() && is_letter(text[i]))
                ++i;
            token t;
            t.kind = token::word;
            t.text = text.substr(start, i - start);
            out.push_back(t);
        } else if (is_blank(c)) {
            while (i < text.size() && is_blank(text[i]))
                ++i;
            token t;
            t.kind = token::separator;
            t.sep = ' ';
            out.push_back(t);
        } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
            token t;
            t.kind = token::separator;
            t.sep = c;
            out.push_back(t);
            ++i;
        } else
            return false;
    }
    return true;
}

unsigned days_in_month(int64_t year, unsigned month) {
    static constexpr unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[month - 1];
}

int64_t full_year(const token& t) {
    if (t.digits <= 2)
        return t.value < 30 ? 2000 + t.value : 1900 + t.value;
    return t.value;
}

struct parsed_time {
    bool present = false;
    int64_t hour = 0, minute = 0, second = 0, ms = 0;
};

// Takes h:mm[:ss[.fff]] out of the token list when it is there.
bool take_time(std::vector<token>& tokens, parsed_time& time) {
    for (size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (tokens[i].kind != token::number || tokens[i + 1].kind != token::separator ||
            tokens[i + 1].sep != ':' || tokens[i + 2].kind != token::number)
            continue;
        size_t end = i + 3;
        time.present = true;
        time.hour = tokens[i].value;
        time.minute = tokens[i + 2].value;
        if (tokens[i + 2].digits != 2)
            return false;
        if (end + 1 < tokens.size() && tokens[end].kind == token::separator &&
            tokens[end].sep == ':' && tokens[end + 1].kind == token::number) {
            if (tokens[end + 1].digits != 2)
                return false;
            time.second = tokens[end + 1].value;
            end += 2;
            if (end + 1 < tokens.size() && tokens[end].kind == token::separator &&
                tokens[end].sep == '.' && tokens[end + 1].kind == token::number) {
                // Milliseconds from the first three decimals.
                std::u16string_view f = tokens[end + 1].text;
                int64_t ms = 0;
                for (size_t k = 0; k < 3; ++k)
                    ms = ms * 10 + (k < f.size() ? f[k] - '0' : 0);
                time.ms = ms;
                end += 2;
            }
        }
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
        return true;
    }
    return true;
}

} // namespace

HRESULT VarDateFromStr(std::u16string_view text, LCID, uint32_t, DATE& out) {
    std::vector<token> tokens;
    tokens.reserve(16);
    if (!tokenize(text, tokens))
        return DISP_E_TYPEMISMATCH;

    parsed_time time;
    if (!take_time(tokens, time))
        return DISP_E_TYPEMISMATCH;

    int month_from_name = 0;
    int am_pm = 0; // 1 AM, 2 PM
    std::vector<token> numbers;
    std::u16string date_separators;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const token& t = tokens[i];
        if (t.kind == token::number)
            numbers.push_back(t);
        else if (t.kind == token::word) {
            if (ole_equal_ascii_nocase(t.text, "am") || ole_equal_ascii_nocase(t.text, "a")) {
                if (am_pm)
                    return DISP_E_TYPEMISMATCH;
                am_pm = 1;
            } else if (ole_equal_ascii_nocase(t.text, "pm") ||
                       ole_equal_ascii_nocase(t.text, "p")) {
                if (am_pm)
                    return DISP_E_TYPEMISMATCH;
                am_pm = 2;
            } else if (int m = month_of(t.text); m != 0 && month_from_name == 0)
                month_from_name = m;
            else if (!(i == 0 && is_day_name(t.text)))
                return DISP_E_TYPEMISMATCH;
        } else if (t.sep == ':')
            return DISP_E_TYPEMISMATCH;
        else if (t.sep != ' ' && t.sep != ',')
            date_separators.push_back(t.sep);
    }
    // One kind of date separator: "12/31-2020" is not a date.
    for (char16_t s : date_separators)
        if (s != date_separators[0])
            return DISP_E_TYPEMISMATCH;

    if (am_pm != 0) {
        if (!time.present || time.hour < 1 || time.hour > 12)
            return DISP_E_TYPEMISMATCH;
        if (am_pm == 1 && time.hour == 12)
            time.hour = 0;
        else if (am_pm == 2 && time.hour < 12)
            time.hour += 12;
    }
    if (time.hour > 23 || time.minute > 59 || time.second > 59)
        return DISP_E_TYPEMISMATCH;

    int64_t year = 1899, month = 12, day = 30;
    if (month_from_name != 0) {
        if (numbers.size() != 2)
            return DISP_E_TYPEMISMATCH;
        month = month_from_name;
        bool year_first = numbers[0].digits >= 3 || numbers[0].value > 31;
        day = year_first ? numbers[1].value : numbers[0].value;
        year = full_year(year_first ? numbers[0] : numbers[1]);
    } else if (numbers.size() == 3) {
        if (numbers[0].digits >= 3) {
            year = numbers[0].value;
            month = numbers[1].value;
            day = numbers[2].value;
        } else {
            month = numbers[0].value;
            day = numbers[1].value;
            year = full_year(numbers[2]);
            if (month > 12 && day <= 12)
                std::swap(month, day);
        }
    } else if (!numbers.empty() || !time.present)
        return DISP_E_TYPEMISMATCH;

    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > days_in_month(year, static_cast<unsigned>(month)))
        return DISP_E_TYPEMISMATCH;

    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(time.hour);
    st.wMinute = static_cast<uint16_t>(time.minute);
    st.wSecond = static_cast<uint16_t>(time.second);
    st.wMilliseconds = static_cast<uint16_t>(time.ms);
    return SystemTimeToVariantTime(st, out) ? S_OK : DISP_E_TYPEMISMATCH;
}
