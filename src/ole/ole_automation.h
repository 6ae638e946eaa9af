// VARIANT, the tagged OLE Automation value, and VariantChangeType, the in-place conversion
// between its types with the documented rounding and range rules.
//
// This is a value type of our own, not the Windows memory layout: a 16-bit type code, a
// scalar payload, and owned storage for text (BSTR) and byte arrays. Copies copy the text
// and bytes (VariantCopy); moves are cheap.
#pragma once

#include "ole/ole_currency.h"
#include "ole/ole_decimal.h"
#include "ole/ole_types.h"

#include <cstdint>
#include <string>
#include <vector>

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        DECIMAL decVal = {};
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t uintVal;
        int64_t llVal;
        uint64_t ullVal;
        float fltVal;
        double dblVal;
        CY cyVal;
        DATE date;
        VARIANT_BOOL boolVal;
    };
    // VT_BSTR: the text (may hold zero characters; readers stop at the first one).
    std::u16string bstrVal;
    // VT_ARRAY | VT_UI1: the bytes of a one-dimensional array with lower bound 0.
    std::vector<uint8_t> parray;
};

// Sets VT_EMPTY. Text and byte buffers keep their capacity for the next value unless they
// are large (see ole_automation.cpp), so a reused VARIANT does not allocate per record.
void VariantClear(VARIANT& v);

// VariantChangeType(v, v, 0, vt): converts `v` in place to `vt` (flags are accepted and
// ignored). Supported among VT_EMPTY, VT_NULL, VT_I1..VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8,
// VT_CY, VT_DATE (as its number of days), VT_BSTR, VT_BOOL and VT_DECIMAL:
//   - to whole numbers: floats, CY and DECIMAL round half to even; out of range is
//     DISP_E_OVERFLOW;
//   - to VT_BOOL: non-zero is VARIANT_TRUE; text "True"/"False" (any case) or a number;
//   - from VT_BSTR: en-US number text as VarDecFromStr reads it, then the numeric rules;
//     other text is DISP_E_TYPEMISMATCH;
//   - to VT_BSTR: integers in decimal, VT_R4 with 7 and VT_R8 with 15 significant digits
//     ("%G" style: "0.1", "1E+20"), CY and DECIMAL as VarBstrFromCy / VarBstrFromDec,
//     VT_BOOL as "True" / "False", VT_DATE as VarBstrFromDate would ("12/31/2020 1:05:09 PM");
//   - VT_EMPTY converts to zero, the empty text or false; anything to VT_EMPTY clears; only
//     VT_EMPTY and VT_NULL convert to VT_NULL.
// On failure `v` is unchanged.
HRESULT VariantChangeType(VARIANT& v, uint16_t flags, VARTYPE vt);
// The copying form: `dest` receives `source` converted.
HRESULT VariantChangeType(VARIANT& dest, const VARIANT& source, uint16_t flags, VARTYPE vt);
