// DECIMAL: a 96-bit unsigned integer with a power-of-ten scale of 0 to 28 and a sign bit,
// and the documented OLE Automation conversions to and from it.
//
// The value is (-1)^sign * (Hi32 * 2^64 + Lo64) / 10^scale. Every conversion is exact where
// the target can hold the value; conversions to whole numbers round half to even (banker's
// rounding), as the Var*FromDec functions do, and report DISP_E_OVERFLOW when the rounded
// value does not fit.
#pragma once

#include "ole/ole_types.h"

#include <cstdint>
#include <string>
#include <string_view>

struct DECIMAL {
    // The VARIANT's type code when the DECIMAL is stored in one (it overlays the VARIANT).
    uint16_t wReserved;
    uint8_t scale;
    // 0x80 for a negative value, 0 otherwise.
    uint8_t sign;
    uint32_t Hi32;
    uint64_t Lo64;
};

inline constexpr uint8_t DECIMAL_NEG = 0x80;
inline constexpr uint8_t DECIMAL_MAX_SCALE = 28;

// ---- Text ---------------------------------------------------------------------------------

// Reads a number in en-US form: optional blanks, a sign (leading or trailing) or parentheses,
// an optional '$', digits with optional ',' thousands separators before the decimal point,
// a fraction, an exponent ("1.5E3"). Digits beyond the 29 that a DECIMAL holds are rounded
// half to even. Anything else, or no digit at all, is DISP_E_TYPEMISMATCH; a value beyond
// 96 bits is DISP_E_OVERFLOW. `lcid` and `flags` are accepted and ignored.
HRESULT VarDecFromStr(std::u16string_view text, LCID lcid, uint32_t flags, DECIMAL& out);
HRESULT VarDecFromStr(std::string_view text, LCID lcid, uint32_t flags, DECIMAL& out);

// The shortest exact text: trailing zeros of the fraction are dropped (1.50 with scale 2 is
// "1.5", 1.000 is "1"), a leading '-' when negative and non-zero, "0" before the point for
// values below one ("0.0009"), '.' as decimal point whatever the locale.
HRESULT VarBstrFromDec(const DECIMAL& value, LCID lcid, uint32_t flags, std::u16string& out);
// The same text appended to narrow `out` (ASCII); never fails.
void ole_decimal_append_text(const DECIMAL& value, std::string& out);

// ---- From other types ---------------------------------------------------------------------

HRESULT VarDecFromI8(int64_t value, DECIMAL& out);
HRESULT VarDecFromUI8(uint64_t value, DECIMAL& out);
HRESULT VarDecFromI4(int32_t value, DECIMAL& out);
HRESULT VarDecFromUI4(uint32_t value, DECIMAL& out);
// Keeps 15 significant digits, as the documented conversion does; DISP_E_OVERFLOW beyond
// the DECIMAL range or for NaN and infinities.
HRESULT VarDecFromR8(double value, DECIMAL& out);
HRESULT VarDecFromR4(float value, DECIMAL& out);

// ---- To other types -----------------------------------------------------------------------

HRESULT VarI1FromDec(const DECIMAL& value, int8_t& out);
HRESULT VarUI1FromDec(const DECIMAL& value, uint8_t& out);
HRESULT VarI2FromDec(const DECIMAL& value, int16_t& out);
HRESULT VarUI2FromDec(const DECIMAL& value, uint16_t& out);
HRESULT VarI4FromDec(const DECIMAL& value, int32_t& out);
HRESULT VarUI4FromDec(const DECIMAL& value, uint32_t& out);
HRESULT VarI8FromDec(const DECIMAL& value, int64_t& out);
HRESULT VarUI8FromDec(const DECIMAL& value, uint64_t& out);
HRESULT VarR8FromDec(const DECIMAL& value, double& out);
HRESULT VarR4FromDec(const DECIMAL& value, float& out);

// ---- Helpers ------------------------------------------------------------------------------

// A DECIMAL of value zero with scale 0.
constexpr DECIMAL ole_decimal_zero() {
    return DECIMAL{0, 0, 0, 0, 0};
}
bool ole_decimal_is_zero(const DECIMAL& value);
bool ole_decimal_is_valid(const DECIMAL& value); // scale 0..28 and sign 0 or 0x80
// -1, 0 or 1 comparing the numeric values (scales may differ).
int ole_decimal_compare(const DECIMAL& a, const DECIMAL& b);
// Rounds half to even to `scale` digits after the point (a larger scale changes nothing).
DECIMAL ole_decimal_round(const DECIMAL& value, uint8_t scale);
// Digits of the 96-bit integer (1 for zero); the precision a value needs is
// max(digits, scale).
int ole_decimal_digits(const DECIMAL& value);
