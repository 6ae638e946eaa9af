// CY: an amount of money as a signed 64-bit integer scaled by 10,000 (four decimals), and the
// documented OLE Automation conversions to and from it.
//
// Conversions to whole numbers round half to even (banker's rounding), as the Var*FromCy
// functions do; conversions into CY round to four decimals the same way and report
// DISP_E_OVERFLOW beyond the 64-bit range.
#pragma once

#include "ole/ole_decimal.h"
#include "ole/ole_types.h"

#include <cstdint>
#include <string>
#include <string_view>

struct CY {
    int64_t int64;

    friend constexpr bool operator==(const CY&, const CY&) = default;
};

inline constexpr int64_t CY_SCALE = 10000;

// Reads en-US number text as VarDecFromStr does, then rounds to four decimals.
HRESULT VarCyFromStr(std::u16string_view text, LCID lcid, uint32_t flags, CY& out);
HRESULT VarCyFromStr(std::string_view text, LCID lcid, uint32_t flags, CY& out);

// The shortest exact text: no trailing zeros and no point for whole amounts ("5", "7.5",
// "-0.0001"), '.' as decimal point whatever the locale.
HRESULT VarBstrFromCy(CY value, LCID lcid, uint32_t flags, std::u16string& out);
void ole_currency_append_text(CY value, std::string& out);

HRESULT VarCyFromI8(int64_t value, CY& out);
HRESULT VarCyFromUI8(uint64_t value, CY& out);
HRESULT VarCyFromR8(double value, CY& out);
HRESULT VarCyFromDec(const DECIMAL& value, CY& out);

HRESULT VarI1FromCy(CY value, int8_t& out);
HRESULT VarUI1FromCy(CY value, uint8_t& out);
HRESULT VarI2FromCy(CY value, int16_t& out);
HRESULT VarUI2FromCy(CY value, uint16_t& out);
HRESULT VarI4FromCy(CY value, int32_t& out);
HRESULT VarUI4FromCy(CY value, uint32_t& out);
HRESULT VarI8FromCy(CY value, int64_t& out);
HRESULT VarUI8FromCy(CY value, uint64_t& out);
HRESULT VarR8FromCy(CY value, double& out);
HRESULT VarDecFromCy(CY value, DECIMAL& out);
