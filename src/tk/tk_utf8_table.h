// Text of a single-byte code page converted straight to UTF-8, one table look-up per byte,
// without UTF-16 in between.
//
// Every character of a single-byte code page lies in the Basic Multilingual Plane, so its
// UTF-8 form takes one to three bytes; a byte without a character stands for U+FFFD, as the
// code page's decode gives it. A run makes the table of each code page it meets once
// (tk_utf8_tables) and hands it to the writers of its text.
#pragma once

#include "tk/tk_text.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class tk_utf8_table {
public:
    // The UTF-8 bytes of one byte's character: `length` of the three are used.
    struct entry {
        char bytes[3];
        uint8_t length;
    };

    // Null when `codepage` is not a single-byte code page.
    static std::unique_ptr<tk_utf8_table> make(const tk_codepage& codepage);

    const tk_codepage& codepage() const noexcept { return *codepage_; }
    const entry& operator[](uint8_t byte) const noexcept { return entries_[byte]; }
    // The UTF-16 character of a byte.
    char16_t character(uint8_t byte) const noexcept { return characters_[byte]; }
    // Whether the bytes below 0x80 are the ASCII characters: then ASCII text is its own UTF-8.
    bool ascii_as_is() const noexcept { return ascii_as_is_; }

private:
    tk_utf8_table(const tk_codepage& codepage, const std::array<char16_t, 256>& characters);

    const tk_codepage* codepage_;
    // A copy beside the entries: the writer looks at both for every byte that is not ASCII.
    std::array<char16_t, 256> characters_;
    std::array<entry, 256> entries_;
    bool ascii_as_is_ = true;
};

// The tables of one run, each made when its code page is first asked for. Used by one thread
// at a time.
class tk_utf8_tables {
public:
    // Null for a code page that is not single-byte.
    const tk_utf8_table* find(const tk_codepage& codepage);

private:
    std::vector<std::unique_ptr<tk_utf8_table>> tables_;
    std::vector<const tk_codepage*> multi_byte_;
};
