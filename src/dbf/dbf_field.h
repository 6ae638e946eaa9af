// One field of a DBF record: its bytes decoded by the field's type letter into a value.
//
// Text is converted from the table's code page. Fixed-width numbers, dates and times are
// checked as they are read: text that is not a number (the "*****" of an overflowed field),
// dates that are not calendar dates and binary values outside their range become VT_EMPTY,
// never 0 or a made-up value. Memo fields are read by dbf_record, which holds the memo file.
#pragma once

#include "dbf/dbf_header.h"
#include "udb/udb_field.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class tk_codepage;

class dbf_field : public udb_field {
public:
    // A field of the descriptor's column without a value yet (records are refilled in place).
    dbf_field(const dbf_field_descriptor& fd, std::u16string name);
    // The field with its value decoded from `bytes` (the field's width of record bytes);
    // text in `codepage` (0: the default code page).
    dbf_field(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd, uint32_t codepage);

    // The value of a field that is not a memo field.
    static ole_variant get_variant(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd,
                                   uint32_t codepage);
    // The same, into `out`, reusing its buffers; `bytes` is exactly the field's width. False
    // when the value could not be carried as it stands: text with bytes the code page cannot
    // decode (U+FFFD in their place), a number with more digits than a double keeps, number
    // text that is no number or too large for its type (left empty), a fraction in a field
    // without decimals (its whole part kept), a date no date value holds (left empty).
    // With `narrow`, text of a single-byte code page keeps its bytes (attach_narrow).
    static bool decode(std::span<const uint8_t> bytes, const dbf_field_descriptor& fd,
                       const tk_codepage& codepage, ole_variant& out, bool narrow = false);

    // The column name of a descriptor: its name bytes in the given code page.
    static std::u16string column_name(const dbf_field_descriptor& fd, const tk_codepage& codepage);
    // The names of the columns (every descriptor but _NullFlags), in order, unique ignoring
    // case as MS SQL's usual collations compare them: a name that an earlier column has
    // already gets "_2" (or the first higher number that no column has), so that two fields
    // named Point_ID become Point_ID and Point_ID_2.
    static std::vector<std::u16string>
    column_names(const std::vector<dbf_field_descriptor>& descriptors, const tk_codepage& codepage);
};

// The code page object text is decoded with; 0 and an unknown code page stand for the
// default code page (dbf_default_codepage).
const tk_codepage& dbf_text_codepage(uint32_t codepage);

// ---- Number and date text, shared with the writer -------------------------------------------

// The bytes up to the first zero byte, blanks removed at both ends.
std::string_view dbf_field_text(std::span<const uint8_t> bytes) noexcept;

// Days from 1970-01-01 to a calendar date and back (proleptic Gregorian).
int64_t dbf_days_from_civil(int64_t year, unsigned month, unsigned day) noexcept;
void dbf_civil_from_days(int64_t days, int64_t& year, unsigned& month, unsigned& day) noexcept;

// The Julian day number of 1970-01-01 and of 0001-01-01.
inline constexpr int64_t dbf_julian_1970 = 2440588;
inline constexpr int64_t dbf_julian_0001 = 1721426;
inline constexpr uint32_t dbf_ms_per_day = 86'400'000;
