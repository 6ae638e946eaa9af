// Values of a record on their way into a bulk copy.
//
// A value reaches the bulk copy as the same literal the INSERT statements carry
// (mss_append_value_literal), so that both ways agree on NULLs, defaults, truncation and
// dates; the literal is then put into the copy in a form the driver carries exactly:
//   NULL                 NULL;
//   'text', N'text'      the text, UTF-8 (for date columns: the server's DATETIME form);
//   0x0A1B               the bytes;
//   numbers              their text; for NUMERIC and MONEY columns rounded by us to the
//                        column's scale, half away from zero as the server rounds (the driver
//                        cuts the digits off instead).
// What the driver cannot carry exactly is refused, and the record goes by statement instead:
// a value longer than the driver's 4 KiB after its conversion to UTF-16, a date before 1753
// (the driver makes other dates of them) or with milliseconds DATETIME cannot hold, a decimal
// that rounds to more digits than the column holds (the server's error comes from the
// statement), and any literal that is an expression.
#pragma once

#include "odb/odb_bulk_copy.h"

#include <string>
#include <string_view>

struct t_ftd;

struct mss_bulk_column {
    odb_bulk_copy::kind kind = odb_bulk_copy::kind::text;
    // NUMERIC and MONEY columns: the digits after the point and the precision; -1 otherwise.
    int scale = -1;
    int precision = 0;
};

mss_bulk_column mss_bulk_column_of(const t_ftd& column);

// Puts the literal's value into the copy's column; false when the copy cannot carry it
// exactly. Without a copy, only tells whether it could. `scratch` is reused from value to
// value.
bool mss_put_bulk_value(odb_bulk_copy* copy, size_t index, std::string_view literal,
                        const mss_bulk_column& column, std::string& scratch);

// The decimal text rounded to `scale` digits after the point, half away from zero; false
// when it is not a plain decimal (sign, digits, point) or has more than precision - scale
// integer digits after rounding.
bool mss_round_decimal_text(std::string_view text, int precision, int scale, std::string& out);
