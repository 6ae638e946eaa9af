// T-SQL literals for field values.
//
// A value is written by the type it carries after conversion to its column's type:
//   text                N'O''Neil' (N only with the Unicode flag), '' when empty; a text
//                       that names a GUID ("guid{...}") as the plain literal of the GUID;
//   date                '2020-12-31', '2020-12-31 23:59:59', '2020-12-31 23:59:59.050' or
//                       '10:30:00' (never with N);
//   numbers, logicals   bare: 42, -1.5, 1.2500000000000000e+00, 1, 0;
//   binary              0x0A1B;
//   no value            NULL, or the column default's literal for a not-null column.
// Dates are written as they are: the script's date columns (DATE, TIME, DATETIME2) hold every
// date a value holds. Doubles are clamped to +-1.79e308 / +-2.23e-308 and NaN is NULL; a
// decimal with more integer digits than its column holds is NULL, never another number. A
// custom conversion rule that accepts a value writes it instead.
//
// The text is UTF-8, appended to a byte string: these functions are the INSERT writer's hot
// path. The wide forms serve the callers that build statements as wide text.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <string>
#include <string_view>

struct t_ftd;
class tk_utf8_tables;
class udb_custom_conversion;
class udb_field;

// The literal of one value of a column, appended to `out`; false when the value could not be
// written as it stands (a decimal too wide for its column, written as NULL). Raises
// tk_exception of level 1 ("Cannot create string representation") for text that is not valid
// UTF-16. A rule of `rules` (the run's, null for none) that accepts the value writes its
// literal instead. Text held as the bytes of a single-byte code page goes straight to UTF-8
// through the table `tables` has for it (the run's; null: through UTF-16), with the same
// result.
bool mss_append_value_literal(std::string& out, const ole_variant& value, const t_ftd& column,
                              bool unicode, const udb_custom_conversion* rules = nullptr,
                              tk_utf8_tables* tables = nullptr);

// The literal of a value given as text and type, appended to `out` (used for defaults that
// stand in for missing values).
void mss_append_text_literal(std::string& out, std::u16string_view text, VARTYPE vt, bool unicode);

// Wide forms of the two above. A missing field or descriptor is an internal error.
std::u16string mss_get_fld_append_str(const udb_field* field, const t_ftd* column, bool unicode,
                                      const udb_custom_conversion* rules = nullptr);
std::u16string to_mssql_str(std::u16string_view text, VARTYPE vt, bool unicode);

// The value brought into MS SQL's range. Dates are adjusted only for DATETIME columns, the
// ones whose `dw_reserved` is neither date-only nor time-only; a time without a date is kept.
ole_variant mssql_get_safe_variant(const ole_variant& value, uint32_t date_kind = 0);

// Whether a decimal value has more integer digits than its column holds (after rounding to
// the column's scale, which MS SQL does itself). Never with `dw_reserved` 0. A value that is
// not VT_DECIMAL is an internal error.
bool dec_is_out_of_range(const ole_variant& value, const t_ftd& column);
// Whether the integer part of a number's text fits precision - scale digits; the sign and
// leading zeros are not digits of the value.
bool check_dec_str_prec_scale(std::string_view text, int precision, int scale);
// The largest value of the column's precision and scale: "999.99" for (5,2), "-999." for
// (3,0) when negative.
std::string gen_dec_value(const t_ftd& column, bool negative);
