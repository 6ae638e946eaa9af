// Trimming, padding, replacing and lower-casing of narrow and wide strings, and reading
// whole numbers given by the user.
//
// Trimming removes the blank (code 32) only: tabs and other white space are data in
// fixed-width xBase fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The operations narrow and wide strings share; `tk_string` and `tk_wstring` name the two.
template <class Char> struct tk_basic_string {
    using string = std::basic_string<Char>;
    using view = std::basic_string_view<Char>;

    static string trim_left(view text);
    static string trim_right(view text);
    static string trim(view text);
    // Appends (prepends) `fill` until the text is `width` long; a longer text is unchanged.
    static string pad_right(view text, size_t width, Char fill);
    static string pad_left(view text, size_t width, Char fill);
    // Replaces every `from`, left to right, continuing after each inserted `to` (so a `to`
    // that contains `from` is not replaced again). An empty `from` changes nothing.
    static string replace_all(view text, view from, view to);
};

extern template struct tk_basic_string<char>;
extern template struct tk_basic_string<char16_t>;

struct tk_string : tk_basic_string<char> {
    // ASCII letters only; bytes of other characters are unchanged.
    static std::string to_lower(std::string_view text);
    // A whole number as decimal or as 0x hexadecimal digits ("42", "0x2A"), nothing else
    // around it; false for anything else and for a number beyond 64 bits.
    static bool parse_unsigned(std::string_view text, uint64_t& value) noexcept;
    // The value of a hexadecimal digit (either case); -1 for any other character.
    static constexpr int hex_digit(char c) noexcept {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }
};

struct tk_wstring : tk_basic_string<char16_t> {
    // Simple (one-to-one) Unicode lower-case mapping of each character.
    static std::u16string to_lower(std::u16string_view text);
};
