// Trimming, padding, replacing and lower-casing of narrow and wide strings.
//
// Trimming removes the blank (code 32) only: tabs and other white space are data in
// fixed-width xBase fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct tk_string {
    static std::string trim_left(std::string_view text);
    static std::string trim_right(std::string_view text);
    static std::string trim(std::string_view text);
    // Appends (prepends) `fill` until the text is `width` long; a longer text is unchanged.
    static std::string pad_right(std::string_view text, size_t width, char fill);
    static std::string pad_left(std::string_view text, size_t width, char fill);
    // Replaces every `from`, left to right, continuing after each inserted `to` (so a `to`
    // that contains `from` is not replaced again). An empty `from` changes nothing.
    static std::string replace_all(std::string_view text, std::string_view from,
                                   std::string_view to);
    // ASCII letters only; bytes of other characters are unchanged.
    static std::string to_lower(std::string_view text);
};

struct tk_wstring {
    static std::u16string trim_left(std::u16string_view text);
    static std::u16string trim_right(std::u16string_view text);
    static std::u16string trim(std::u16string_view text);
    static std::u16string pad_right(std::u16string_view text, size_t width, char16_t fill);
    static std::u16string pad_left(std::u16string_view text, size_t width, char16_t fill);
    static std::u16string replace_all(std::u16string_view text, std::u16string_view from,
                                      std::u16string_view to);
    // Simple (one-to-one) Unicode lower-case mapping of each character.
    static std::u16string to_lower(std::u16string_view text);
};
