// A calendar date and/or time parsed from the many text shapes DBF data and user input take,
// checked, and printed in the ISO-like form MS SQL reads ("2020-12-31 23:59:59").
#pragma once

#include "ole/ole_system_time.h"

#include <cstdint>
#include <string>
#include <string_view>

class ole_variant;

class ole_date {
public:
    enum : int32_t {
        invalid = 0,   // nothing parsed
        date_time = 1, // date and time
        date_only = 2,
        time_only = 3,
    };

    ole_date() = default;
    // VT_DATE from its calendar fields; VT_EMPTY and VT_NULL give an invalid date; any other
    // type is an internal error.
    explicit ole_date(const ole_variant& value);
    explicit ole_date(const SYSTEMTIME& st);
    // Parses the text (see import_from_string for the order of the forms tried). Wide text
    // is converted to the ANSI code page first.
    explicit ole_date(std::string_view text);
    explicit ole_date(std::u16string_view text);

    // The parser proper, without the AM/PM handling and day/year swap of the constructor.
    void import_from_string(std::string_view text);

    bool is_valid() const;
    // A date without day, month and year is a time; one at 00:00:00 is a date.
    void refine_type();
    // Seconds text such as "15.5": whole seconds and milliseconds, both truncated.
    void process_milliseconds(std::string_view seconds_text);

    // VT_DATE of the calendar fields.
    ole_variant to_variant() const;
    // "%04d-%02d-%02d %02d:%02d:%02d" with ".%03d" milliseconds when with_ms and not zero;
    // the date alone at midnight; "%02d:%02d:%02d" for a time. Empty when invalid.
    std::u16string to_wstring(bool with_ms) const;
    // As to_wstring, but a time prints as "0000-00-00 %02d:%02d:%02d".
    std::string to_string(bool with_ms) const;
    // The narrow text appended to `out` (the hot path of value printing).
    void append_to(std::string& out, bool with_ms) const;

    int32_t type() const { return type_; }
    const SYSTEMTIME& system_time() const { return st_; }

private:
    bool import_fixed_forms(std::string_view text);
    void append_text(std::string& out, bool with_ms, bool narrow) const;

    int32_t type_ = invalid;
    SYSTEMTIME st_{};
};
