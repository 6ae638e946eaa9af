#include "ole/ole_system_time.h"

#include <cmath>

namespace {

// Days from 1970-01-01 to 1899-12-30.
constexpr int64_t epoch_offset = -25569;
constexpr int64_t ms_per_day = 86'400'000;

struct civil {
    int64_t year;
    unsigned month;
    unsigned day;
};

// The inverse of ole_days_from_civil (proleptic Gregorian, eras of 400 years).
civil civil_from_days(int64_t ole_days) {
    int64_t z = ole_days + epoch_offset + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

} // namespace

int64_t ole_days_from_civil(int year, unsigned month, unsigned day) {
    int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = month > 2 ? month - 3 : month + 9;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - epoch_offset;
}

unsigned ole_day_of_week(int64_t days_from_epoch) {
    // 1899-12-30 was a Saturday.
    int64_t d = (days_from_epoch + 6) % 7;
    return static_cast<unsigned>(d < 0 ? d + 7 : d);
}

int SystemTimeToVariantTime(const SYSTEMTIME& st, DATE& out) {
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return 0;
    int64_t days = ole_days_from_civil(st.wYear, st.wMonth, st.wDay);
    int64_t ms =
        ((int64_t(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
    double fraction = static_cast<double>(ms) / static_cast<double>(ms_per_day);
    // Before the epoch the fraction still counts forward from the day's start.
    out = days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
    return 1;
}

int VariantTimeToSystemTime(DATE value, SYSTEMTIME& out) {
    if (!(value >= DATE_MIN && value <= DATE_MAX))
        return 0;
    double whole = std::trunc(value);
    int64_t days = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(value - whole) * static_cast<double>(ms_per_day));
    if (ms >= ms_per_day) {
        ms -= ms_per_day;
        ++days;
    }
    civil c = civil_from_days(days);
    if (c.year < 100 || c.year > 9999)
        return 0;
    out.wYear = static_cast<uint16_t>(c.year);
    out.wMonth = static_cast<uint16_t>(c.month);
    out.wDay = static_cast<uint16_t>(c.day);
    out.wDayOfWeek = static_cast<uint16_t>(ole_day_of_week(days));
    out.wMilliseconds = static_cast<uint16_t>(ms % 1000);
    ms /= 1000;
    out.wSecond = static_cast<uint16_t>(ms % 60);
    ms /= 60;
    out.wMinute = static_cast<uint16_t>(ms % 60);
    out.wHour = static_cast<uint16_t>(ms / 60);
    return 1;
}
