// MS SQL column types for the columns of the data model.
//
// Two mappings: the script's (upper-case keywords, complete with size, precision and
// IDENTITY) and the server destination's (lower-case, the size added only when asked for).
// A column with a type chosen by the user (`native_type`) keeps that type in the script.
#pragma once

#include "udb/udb_run_context.h"

#include <cstdint>
#include <string>

struct t_ftd;
class udb_custom_conversion;

// INT and BIGINT columns (the types that can be IDENTITY).
bool mss_is_whole_number(uint16_t vt) noexcept;
// Columns written as text (NVARCHAR, VARCHAR, uniqueidentifier): VT_BSTR and every type
// without a mapping of its own.
bool mss_is_text_type(uint16_t vt) noexcept;

// Precision and scale of a VT_DECIMAL or VT_CY column as written in NUMERIC(p,s): those of
// `dw_reserved`, with the precision raised to the scale when it is smaller (MS SQL refuses
// a scale above the precision). `known` is false when `dw_reserved` is 0.
struct mss_numeric_shape {
    int precision = 0;
    int scale = 0;
    bool known = false;
};
mss_numeric_shape mss_numeric_of(const t_ftd& column) noexcept;

// The script's column type, as it follows the column name in CREATE TABLE:
//   whole numbers          INT / BIGINT, with " IDENTITY" for an auto-number column when
//                          `identity` allows it (a table has at most one identity column);
//   floats                 REAL / FLOAT;
//   decimals, currency     NUMERIC(p,s) up to precision 38, FLOAT above; without a known
//                          precision MONEY for currency and NUMERIC(38,9) for decimals;
//   dates                  DATE, TIME or DATETIME2;
//   logicals               BIT, or CHAR(1) when a custom rule writes them as text;
//   binary (65, 70)        "VARBINARY(n) " for 1 to 7999 bytes, else VARBINARY(MAX);
//   text and the rest      " uniqueidentifier" for a GUID column, "NVARCHAR(n) " /
//                          "VARCHAR(n) " for 1 to 3999 characters, else NVARCHAR(MAX) /
//                          VARCHAR(MAX).
// `rules`: the run's custom conversion rules, null for none.
std::u16string mss_script_type(const t_ftd& column, bool unicode, bool identity = true,
                               const udb_custom_conversion* rules = nullptr);

// Whether the script type of the column ends in " IDENTITY".
bool mss_script_identity(const t_ftd& column) noexcept;

// The server's column type; `type_only` leaves out the size suffix "(n) ". Text follows the
// target's Unicode fact; dates only and times only get their own types where it has them.
std::u16string get_mss_native_type(const t_ftd& column, bool type_only,
                                   const udb_target_facts& target);
