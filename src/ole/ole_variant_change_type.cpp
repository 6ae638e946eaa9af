// ole_variant::change_type: the in-place conversion rules, checked in a fixed order; the
// first rule that applies decides.
#include "ole/ole_date.h"
#include "ole/ole_number_text.h"
#include "ole/ole_variant.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <class T> bool in_range(int64_t v) {
    return v >= int64_t(std::numeric_limits<T>::min()) &&
           (v < 0 || uint64_t(v) <= uint64_t(std::numeric_limits<T>::max()));
}

template <class T> bool in_range_unsigned(uint64_t v) {
    return v <= uint64_t(std::numeric_limits<T>::max());
}

void put_le(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

uint64_t bits_of(double d) {
    uint64_t u = 0;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

uint32_t bits_of(float f) {
    uint32_t u = 0;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

} // namespace

void ole_variant::change_type(VARTYPE vt) {
    const VARTYPE current = var_.vt;
    TK_TRACE(2, "ole_variant::change_type(old=%d,new=%d)", current, vt);

    if (current == vt || current == VT_EMPTY || current == VT_NULL ||
        (is_binary(current) && is_binary(vt))) {
        TK_TRACE(1, "Type cannot be changed");
        return;
    }
    widen();
    if (current == VT_I8 || current == VT_UI8) {
        change_from_64_bits(vt);
        return;
    }
    if (current == VT_DATE) {
        if (vt != VT_BSTR)
            throw ole_cast_exception();
        attach_wstring(ole_date(system_time_).to_wstring(true));
        return;
    }
    if (vt == VT_I8 || vt == VT_UI8) {
        change_to_64_bits(vt);
        return;
    }
    if (vt == VT_I4 || vt == VT_UI4 || vt == VT_I2 || vt == VT_UI2) {
        change_to_32_or_16_bits(vt);
        return;
    }
    if (vt == VT_DATE) {
        if (current != VT_BSTR)
            throw ole_cast_exception();
        ole_date date(to_string());
        if (!date.is_valid())
            throw ole_cast_exception();
        set_date(date.system_time());
        return;
    }
    if (is_binary(current)) {
        if (vt == VT_BSTR)
            change_binary_to_text();
        return;
    }
    if (is_binary(vt)) {
        change_to_binary();
        return;
    }
    if (FAILED(VariantChangeType(var_, 0, vt))) {
        TK_TRACE(3, "VariantChangeType failed: %s", to_string().c_str());
        throw ole_cast_exception();
    }
}

// The 64-bit value into a narrower or other type. Values the target cannot hold are refused
// rather than cut to their low bits.
void ole_variant::change_from_64_bits(VARTYPE vt) {
    const bool is_signed = var_.vt == VT_I8;
    const int64_t s = i8_;
    const uint64_t u = ui8_;
    auto fits = [&](auto probe) {
        using T = decltype(probe);
        return is_signed ? in_range<T>(s) : in_range_unsigned<T>(u);
    };
    switch (vt) {
    case VT_I2:
        if (!fits(int16_t{}))
            throw ole_cast_exception();
        set_i2(static_cast<int16_t>(is_signed ? s : int64_t(u)));
        return;
    case VT_UI2:
        if (!fits(uint16_t{}))
            throw ole_cast_exception();
        set_ui2(static_cast<uint16_t>(is_signed ? uint64_t(s) : u));
        return;
    case VT_BOOL:
        set_bool(is_signed ? s != 0 : u != 0);
        return;
    case VT_I4:
    case VT_INT:
        if (!fits(int32_t{}))
            throw ole_cast_exception();
        set_i4(static_cast<int32_t>(is_signed ? s : int64_t(u)));
        var_.vt = vt;
        return;
    case VT_UI4:
    case VT_UINT:
        if (!fits(uint32_t{}))
            throw ole_cast_exception();
        set_ui4(static_cast<uint32_t>(is_signed ? uint64_t(s) : u));
        var_.vt = vt;
        return;
    case VT_I1:
        if (!fits(int8_t{}))
            throw ole_cast_exception();
        set_i1(static_cast<int8_t>(is_signed ? s : int64_t(u)));
        return;
    case VT_UI1:
        if (!fits(uint8_t{}))
            throw ole_cast_exception();
        set_ui1(static_cast<uint8_t>(is_signed ? uint64_t(s) : u));
        return;
    case VT_R4:
        set_r4(is_signed ? static_cast<float>(s) : static_cast<float>(u));
        return;
    case VT_R8:
        set_r8(is_signed ? static_cast<double>(s) : static_cast<double>(u));
        return;
    case VT_CY: {
        CY cy{};
        if (FAILED(is_signed ? VarCyFromI8(s, cy) : VarCyFromUI8(u, cy)))
            throw ole_cast_exception();
        set_cy(cy);
        return;
    }
    case VT_BSTR: {
        char buffer[24];
        auto result = is_signed ? std::to_chars(buffer, buffer + sizeof buffer, s)
                                : std::to_chars(buffer, buffer + sizeof buffer, u);
        set_bstr().assign(buffer, result.ptr);
        return;
    }
    case VT_DECIMAL: {
        DECIMAL dec{};
        if (FAILED(is_signed ? VarDecFromI8(s, dec) : VarDecFromUI8(u, dec)))
            throw ole_cast_exception();
        set_decimal(dec);
        return;
    }
    case VT_I8:
        if (!in_range_unsigned<int64_t>(u))
            throw ole_cast_exception();
        set_i8(static_cast<int64_t>(u));
        return;
    case VT_UI8:
        if (s < 0)
            throw ole_cast_exception();
        set_ui8(static_cast<uint64_t>(s));
        return;
    default:
        throw ole_cast_exception();
    }
}

void ole_variant::change_to_64_bits(VARTYPE vt) {
    const bool to_signed = vt == VT_I8;
    // Whole numbers first as a signed 64-bit value, then stored in the target.
    auto store_signed = [&](int64_t v) {
        if (to_signed)
            set_i8(v);
        else if (v < 0)
            throw ole_cast_exception();
        else
            set_ui8(static_cast<uint64_t>(v));
    };
    switch (var_.vt) {
    case VT_BOOL:
        // VARIANT_TRUE is all bits set, in 64 bits as in 16.
        if (to_signed)
            set_i8(var_.boolVal);
        else
            set_ui8(static_cast<uint64_t>(int64_t(var_.boolVal)));
        return;
    case VT_I2:
        store_signed(var_.iVal);
        return;
    case VT_I4:
    case VT_INT:
        store_signed(var_.lVal);
        return;
    case VT_I1:
        store_signed(var_.cVal);
        return;
    case VT_UI1:
        store_signed(var_.bVal);
        return;
    case VT_UI2:
        store_signed(var_.uiVal);
        return;
    case VT_UI4:
    case VT_UINT:
        store_signed(var_.ulVal);
        return;
    case VT_R4:
    case VT_R8: {
        double d = var_.vt == VT_R4 ? double(var_.fltVal) : var_.dblVal;
        if (to_signed) {
            int64_t v = 0;
            if (!ole_truncate_to(d, v))
                throw ole_cast_exception();
            set_i8(v);
        } else {
            uint64_t v = 0;
            if (!ole_truncate_to(d, v))
                throw ole_cast_exception();
            set_ui8(v);
        }
        return;
    }
    case VT_CY: {
        // Nearest whole amount, halves upward: 7.5 is 8 and -7.5 is -7 (and -7.6 is -8).
        int64_t cy = var_.cyVal.int64;
        int64_t q = cy / CY_SCALE;
        int64_t r = cy % CY_SCALE;
        if (r < 0) {
            --q;
            r += CY_SCALE;
        }
        if (r >= CY_SCALE / 2)
            ++q;
        store_signed(q);
        return;
    }
    case VT_DECIMAL:
        if (to_signed) {
            int64_t v = 0;
            if (FAILED(VarI8FromDec(var_.decVal, v)))
                throw ole_cast_exception();
            set_i8(v);
        } else {
            uint64_t v = 0;
            if (FAILED(VarUI8FromDec(var_.decVal, v)))
                throw ole_cast_exception();
            set_ui8(v);
        }
        return;
    default:
        throw ole_cast_exception();
    }
}

void ole_variant::change_to_32_or_16_bits(VARTYPE vt) {
    if (var_.vt == VT_R4 || var_.vt == VT_R8) {
        double d = var_.vt == VT_R4 ? double(var_.fltVal) : var_.dblVal;
        // Half away from zero: 2.5 is 3, -2.5 is -3.
        double r = std::round(d);
        bool ok = false;
        switch (vt) {
        case VT_I4: {
            int32_t v = 0;
            if ((ok = ole_truncate_to(r, v)))
                set_i4(v);
            break;
        }
        case VT_UI4: {
            uint32_t v = 0;
            if ((ok = ole_truncate_to(r, v)))
                set_ui4(v);
            break;
        }
        case VT_I2: {
            int16_t v = 0;
            if ((ok = ole_truncate_to(r, v)))
                set_i2(v);
            break;
        }
        default: {
            uint16_t v = 0;
            if ((ok = ole_truncate_to(r, v)))
                set_ui2(v);
            break;
        }
        }
        if (!ok)
            throw ole_cast_exception();
        return;
    }
    if (var_.vt == VT_DECIMAL) {
        const DECIMAL dec = var_.decVal;
        HRESULT hr = S_OK;
        switch (vt) {
        case VT_I4: {
            int32_t v = 0;
            if (SUCCEEDED(hr = VarI4FromDec(dec, v)))
                set_i4(v);
            break;
        }
        case VT_UI4: {
            uint32_t v = 0;
            if (SUCCEEDED(hr = VarUI4FromDec(dec, v)))
                set_ui4(v);
            break;
        }
        case VT_I2: {
            int16_t v = 0;
            if (SUCCEEDED(hr = VarI2FromDec(dec, v)))
                set_i2(v);
            break;
        }
        default: {
            uint16_t v = 0;
            if (SUCCEEDED(hr = VarUI2FromDec(dec, v)))
                set_ui2(v);
            break;
        }
        }
        if (FAILED(hr))
            throw ole_cast_exception();
    }
    // Any other type keeps its value and type: the destination reads it as it is.
}

void ole_variant::change_binary_to_text() {
    std::string_view bytes(reinterpret_cast<const char*>(var_.parray.data()),
                           std::min(var_.parray.size(), max_text_bytes));
    bytes = bytes.substr(0, bytes.find('\0'));
    std::u16string text;
    tk_codepage::get(tk_ansi_codepage()).decode(bytes, text);
    set_bstr().swap(text);
}

// The value's bytes in memory order (little-endian) as a byte array.
void ole_variant::change_to_binary() {
    std::vector<uint8_t> image;
    image.reserve(16);
    switch (var_.vt) {
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        put_le(image, var_.uiVal, 2);
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        put_le(image, var_.ulVal, 4);
        break;
    case VT_R4:
        put_le(image, bits_of(var_.fltVal), 4);
        break;
    case VT_R8:
        put_le(image, bits_of(var_.dblVal), 8);
        break;
    case VT_CY:
        put_le(image, static_cast<uint64_t>(var_.cyVal.int64), 8);
        break;
    case VT_I1:
    case VT_UI1:
        image.push_back(var_.bVal);
        break;
    case VT_DECIMAL:
        // As stored in a VARIANT: the type code overlays the DECIMAL's first word.
        put_le(image, VT_DECIMAL, 2);
        image.push_back(var_.decVal.scale);
        image.push_back(var_.decVal.sign);
        put_le(image, var_.decVal.Hi32, 4);
        put_le(image, var_.decVal.Lo64, 8);
        break;
    case VT_BSTR: {
        std::string narrow;
        tk_codepage::get(tk_ansi_codepage()).encode(var_.bstrVal, narrow);
        image.assign(narrow.begin(), narrow.end());
        break;
    }
    default:
        throw ole_cast_exception();
    }
    attach_binary(image);
}
