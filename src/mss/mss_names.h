// How names are written in T-SQL: brackets, owner-qualified names, and the word test used when
// view text is rewritten.
//
// Every identifier in generated T-SQL stands in brackets. Inside brackets the only character
// that needs care is "]", which T-SQL reads doubled ("]]"). A name that already stands in
// well-formed brackets (it begins with "[", ends with "]", and every "]" in between is
// doubled) is taken as written by someone who quoted it on purpose and is kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// True when the name is one bracketed identifier: "[" ... "]" with every inner "]" doubled.
bool mss_is_bracketed(std::u16string_view name) noexcept;

// The bracket rule: a well-formed bracketed name as it is, any other name as "[" + name + "]"
// with every "]" doubled.
std::u16string mss_bracketed(std::u16string_view name);
// The same, appended to `out` (for statements built piece by piece).
void mss_append_bracketed(std::u16string& out, std::u16string_view name);
// `open` + text + `close` appended to `out`, every `close` inside doubled: brackets for
// names, apostrophes for string literals.
void mss_append_delimited(std::u16string& out, std::u16string_view text, char16_t open,
                          char16_t close);

// Splits an owner-qualified name "[owner].[table]" into its parts, without brackets and with
// doubled "]" read back as one. A name in brackets that is not one or two well-formed
// bracketed parts is cut at its first "].[" after the outer brackets are dropped. A name without
// brackets is a table name as a whole; a dot in it is part of the name. Always true.
bool mss_split_tab_name(std::u16string_view name, std::u16string& table, std::u16string& owner);

// Tests, ignoring case in the user's locale, whether a text holds a word at a position.
class icomparer {
public:
    explicit icomparer(std::u16string_view word);

    // 0 when text holds the word at position and at least one character follows it; -1 when
    // fewer characters follow; otherwise -1 or 1 as the text's substring orders before or
    // after the word.
    int32_t compare(std::u16string_view text, size_t position) const;

    const std::u16string& word() const noexcept { return word_; }

private:
    std::u16string word_;
};
