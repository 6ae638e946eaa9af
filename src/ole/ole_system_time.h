// SYSTEMTIME, the calendar form of a date and time, and its documented conversions to and
// from the DATE scalar (days since 1899-12-30).
//
// A DATE's whole part counts days from 1899-12-30; its fraction is the time of day and is
// always taken as positive: -1.25 is 1899-12-29 06:00, not 18:00. Valid DATEs lie between
// 0100-01-01 (-657434) and 9999-12-31 (2958465, exclusive of the next day).
#pragma once

#include "ole/ole_types.h"

#include <cstdint>
#include <string_view>

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek; // 0 = Sunday; filled by VariantTimeToSystemTime, never read
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;

    friend constexpr bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};

inline constexpr DATE DATE_MIN = -657434.0;
inline constexpr DATE DATE_MAX = 2958465.99999999;

// Returns non-zero on success (the Windows convention). Fails for a year outside 100..9999,
// a month outside 1..12, a day outside 1..31, an hour above 23, minute or second above 59.
// A day beyond the month's length carries into the next month, as documented. Milliseconds
// are kept in the fraction (the documented function drops them; the value here is exact).
int SystemTimeToVariantTime(const SYSTEMTIME& st, DATE& out);
// Returns non-zero on success; fails for values outside DATE_MIN..DATE_MAX and NaN. The time
// is rounded to the nearest millisecond.
int VariantTimeToSystemTime(DATE value, SYSTEMTIME& out);

// Days from 1899-12-30 of a calendar date (proleptic Gregorian); no range checks.
int64_t ole_days_from_civil(int year, unsigned month, unsigned day);
// 0 = Sunday.
unsigned ole_day_of_week(int64_t days_from_epoch);

// The fixed stand-in for the system's date parser, reading the common en-US forms
// (see ole_date_from_str.cpp): "12/31/2020", "12/31/2020 1:05:09 PM", "Dec 31, 2020",
// "31 December 2020", "December 31, 2020 13:05", "2020-12-31", "1:05 PM" ... A text without
// a date gives 1899-12-30 with its time; a text without a time gives midnight.
// DISP_E_TYPEMISMATCH when the text is not one of these forms or names no valid date.
HRESULT VarDateFromStr(std::u16string_view text, LCID lcid, uint32_t flags, DATE& out);
