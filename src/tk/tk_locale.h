// Locale-aware comparison and character classes for names (user default locale, ICU).
#pragma once

#include <string_view>

// <0, 0 or >0, comparing without regard to case in the user's locale.
int tk_compare_nocase(std::u16string_view a, std::u16string_view b);
bool tk_equal_nocase(std::u16string_view a, std::u16string_view b);
// Narrow (UTF-8) forms for settings keys and words such as "true".
bool tk_equal_nocase(std::string_view a, std::string_view b);

// A letter / a letter or digit of any script (a UTF-16 code unit; surrogates are neither).
bool tk_is_alpha(char16_t c);
bool tk_is_alnum(char16_t c);
