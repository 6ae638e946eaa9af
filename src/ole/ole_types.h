// The basic vocabulary of OLE Automation values, kept under their Windows names: type codes,
// status codes, locale identifiers and the DATE and VARIANT_BOOL scalars.
//
// Tabrix carries every field value in this model (the DBF reader produces it, the MS SQL
// destinations consume it), so the numbers are the documented ones: they appear in traces,
// in schema descriptors and in byte images.
#pragma once

#include <cstdint>

// ---- Type codes ---------------------------------------------------------------------------

using VARTYPE = uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_BLOB = 65;
inline constexpr VARTYPE VT_BLOB_OBJECT = 70;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
// The one binary type ever stored: a one-dimensional array of bytes (8209).
inline constexpr VARTYPE VT_BYTE_ARRAY = VT_ARRAY | VT_UI1;

// ---- Status codes -------------------------------------------------------------------------

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// ---- Locales ------------------------------------------------------------------------------

// Locale identifiers are accepted for the record; numbers are always read and written with
// the en-US conventions ('.' decimal point, ',' thousands separator), whatever the process
// locale says, so that a user's decimal comma changes nothing.
using LCID = uint32_t;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
inline constexpr LCID LOCALE_EN_US = 0x409;

// ---- Scalars ------------------------------------------------------------------------------

// Days since 1899-12-30 00:00; the fraction is the time of day (see ole_system_time.h for the
// rule that applies to negative values).
using DATE = double;

// 0xFFFF (-1) is true, 0 is false; other payloads can occur in data that was set bit for bit.
using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
