// The value of one field as it travels from a source to a destination: an OLE Automation
// VARIANT with separate storage for 64-bit whole numbers and the calendar fields (with
// milliseconds) of dates; text in and out, numeric views, in-place type conversion.
//
// A variant belongs to one thread at a time. Readers reuse the same variants record after
// record: the setters keep the capacity of the text and byte buffers, and text can be read
// without a copy (bstr_view, get_bytes).
//
// Text of a single-byte code page may be held as its bytes (attach_narrow): a writer that
// turns those bytes straight into UTF-8 (tk_utf8_table) reads them with narrow_text, and the
// text becomes UTF-16 only when something reads it as such. Either form is the same value.
#pragma once

#include "ole/ole_automation.h"
#include "ole/ole_currency.h"
#include "ole/ole_decimal.h"
#include "ole/ole_system_time.h"
#include "ole/ole_types.h"
#include "tk/tk_exception.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class tk_codepage;

// The current value cannot be converted to the requested type.
class ole_cast_exception : public tk_exception {
public:
    ole_cast_exception() : tk_exception("Cannot cast from source type to destination type") {}
};

// Text cannot be read as the requested type.
class ole_type_exception : public tk_exception {
public:
    ole_type_exception() : tk_exception("The operating type is not supported yet") {}
};

class ole_variant {
public:
    // At most this many bytes of an array are printed or read as text.
    static constexpr size_t max_text_bytes = 100'000'000;

    // ---- Construction (VT_EMPTY first, then the value) ---------------------------------------
    ole_variant() noexcept = default;
    // VT_DATE: the calendar fields as given, DATE computed from them.
    explicit ole_variant(const SYSTEMTIME& st);
    explicit ole_variant(CY value) noexcept;
    explicit ole_variant(const DECIMAL& value) noexcept;
    // VT_BSTR: a copy of the zero-terminated text (a null pointer gives the empty text).
    explicit ole_variant(const char16_t* bstr);
    explicit ole_variant(bool value) noexcept;               // VT_BOOL
    explicit ole_variant(char value) noexcept;               // VT_I1
    explicit ole_variant(signed char value) noexcept;        // VT_I1
    explicit ole_variant(unsigned char value) noexcept;      // VT_UI1
    explicit ole_variant(short value) noexcept;              // VT_I2
    explicit ole_variant(unsigned short value) noexcept;     // VT_UI2
    explicit ole_variant(int value) noexcept;                // VT_I4
    explicit ole_variant(unsigned int value) noexcept;       // VT_UI4
    explicit ole_variant(long value) noexcept;               // VT_I8
    explicit ole_variant(unsigned long value) noexcept;      // VT_UI8
    explicit ole_variant(long long value) noexcept;          // VT_I8
    explicit ole_variant(unsigned long long value) noexcept; // VT_UI8
    explicit ole_variant(float value) noexcept;              // VT_R4
    explicit ole_variant(double value) noexcept;             // VT_R8
    // VT_BSTR through attach_string (ANSI code page) / attach_wstring.
    explicit ole_variant(std::string_view text);
    // Without this a string literal would pick the bool constructor.
    explicit ole_variant(const char* text) : ole_variant(std::string_view(text ? text : "")) {}
    explicit ole_variant(std::u16string_view text);
    // VT_ARRAY | VT_UI1 through attach_binary.
    ole_variant(size_t count, const uint8_t* bytes);

    ole_variant(const ole_variant& other) = default;
    ole_variant(ole_variant&& other) noexcept = default;
    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(ole_variant&& other) noexcept;
    // VT_BSTR holding a copy of the zero-terminated text.
    ole_variant& operator=(const char16_t* bstr);

    ~ole_variant();

    // ---- Setters for the hot path (buffers keep their capacity) ------------------------------
    void clear() noexcept; // VT_EMPTY
    void set_null() noexcept;
    void set_bool(bool value) noexcept;
    void set_i1(int8_t value) noexcept;
    void set_ui1(uint8_t value) noexcept;
    void set_i2(int16_t value) noexcept;
    void set_ui2(uint16_t value) noexcept;
    void set_i4(int32_t value) noexcept;
    void set_ui4(uint32_t value) noexcept;
    void set_i8(int64_t value) noexcept;
    void set_ui8(uint64_t value) noexcept;
    void set_r4(float value) noexcept;
    void set_r8(double value) noexcept;
    void set_cy(CY value) noexcept;
    void set_decimal(const DECIMAL& value) noexcept;
    // VT_DATE with these calendar fields. Returns false when they have no DATE (a time
    // without a day, a year outside 100..9999): the value is still VT_DATE, its DATE 0.
    bool set_date(const SYSTEMTIME& st) noexcept;
    // VT_BSTR; returns the emptied text buffer to be filled in place (for example by
    // tk_codepage::decode).
    std::u16string& set_bstr() noexcept;

    // ---- Text in ------------------------------------------------------------------------------
    // VT_BSTR of the narrow text in the ANSI code page (or the given one).
    void attach_string(std::string_view text);
    void attach_string(std::string_view text, const tk_codepage& codepage);
    // VT_BSTR of the wide text with its full length, embedded zero characters included.
    void attach_wstring(std::u16string_view text);
    // VT_BSTR of the bytes of a single-byte code page (tk_codepage::byte_characters), held as
    // they are until read as UTF-16; the code page must outlive the value.
    void attach_narrow(std::string_view bytes, const tk_codepage& codepage);

    // A new value of type `vt` read from text. Failed CY, DECIMAL, DATE and hexadecimal text
    // give VT_EMPTY; text that other types cannot read raises ole_type_exception.
    static ole_variant from_string(std::string_view text, VARTYPE vt);
    static ole_variant from_wstring(std::u16string_view text, VARTYPE vt);
    // The same, into this variant.
    void assign_from_string(std::string_view text, VARTYPE vt);
    void assign_from_wstring(std::u16string_view text, VARTYPE vt);

    // ---- Binary in and out --------------------------------------------------------------------
    void attach_binary(size_t count, const uint8_t* bytes);
    void attach_binary(const std::vector<uint8_t>& bytes);
    // Makes this a byte array of `count` bytes, reusing a current array; returns its bytes
    // (contents unspecified) for the caller to fill.
    std::span<uint8_t> allocate_safe_array(size_t count);
    // VT_EMPTY and VT_NULL give 0; a byte array its bytes and their count; any other type
    // is an internal error.
    size_t get_bytes(const uint8_t*& bytes) const;

    // ---- Values out ---------------------------------------------------------------------------
    VARTYPE get_type() const noexcept { return var_.vt; }
    // `system_time` for VT_DATE, all zeros otherwise.
    void get_system_time(SYSTEMTIME& st) const noexcept;

    std::string to_string() const;
    std::u16string to_wstring() const;
    // The text of to_string appended to `out`, without a temporary string.
    void append_string(std::string& out) const;

    int32_t to_long() const;
    int64_t to_i8() const;
    uint64_t to_ui8() const;
    double to_double() const;
    bool to_bool() const;

    // The bytes and code page of a text held as attach_narrow gave it; a null code page when
    // the value is no such text.
    struct narrow_view {
        const tk_codepage* codepage;
        std::string_view bytes;
    };
    narrow_view narrow_text() const noexcept {
        return {narrow_codepage_,
                narrow_codepage_ ? std::string_view(narrow_) : std::string_view()};
    }

    // The payload read without conversion; each is valid for its own type code only.
    std::u16string_view bstr_view() const;
    const VARIANT& variant() const {
        widen();
        return var_;
    }
    CY get_cy() const noexcept { return var_.cyVal; }
    const DECIMAL& get_decimal() const noexcept { return var_.decVal; }
    DATE get_date() const noexcept { return var_.date; }

    // Converts the value in place; ole_cast_exception when the conversion is not supported
    // or fails (a failed DECIMAL conversion may leave the value partly changed).
    void change_type(VARTYPE vt);

    static bool is_binary(VARTYPE vt) noexcept;
    static bool is_string_or_date(VARTYPE vt) noexcept;

protected:
    int64_t i8_ = 0;           // the value while the type code is VT_I8
    uint64_t ui8_ = 0;         // the value while the type code is VT_UI8
    SYSTEMTIME system_time_{}; // the calendar form while the type code is VT_DATE
    // Mutable for widen(): a text held narrow is decoded when first read as UTF-16.
    mutable VARIANT var_;

private:
    // Makes a text held narrow UTF-16 (in var_.bstrVal); the value stays the same.
    void widen() const {
        if (narrow_codepage_)
            decode_narrow();
    }
    void decode_narrow() const;
    void set_hex_text(std::string_view text);
    void change_from_64_bits(VARTYPE vt);
    void change_to_64_bits(VARTYPE vt);
    void change_to_32_or_16_bits(VARTYPE vt);
    void change_to_binary();
    void change_binary_to_text();

    // VT_BSTR held as bytes of this code page while not null (attach_narrow).
    mutable const tk_codepage* narrow_codepage_ = nullptr;
    std::string narrow_;
};
