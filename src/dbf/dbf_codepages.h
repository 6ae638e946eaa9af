// The code pages of DBF text: the language-driver byte of the table header (byte 29) names
// the code page its text is stored in.
//
// The table is process-wide and fixed; the names are offered to the user for overriding the
// code page of the tables, in ascending order of the byte.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct dbf_codepage_entry {
    uint8_t language_driver;
    uint32_t codepage; // Windows code page number; 0 = the system's ANSI code page
    std::u16string_view name;
};

// Every known language-driver byte, in ascending order of the byte.
std::span<const dbf_codepage_entry> dbf_codepage_table() noexcept;

// The code page of a language-driver byte; 0 (the system's ANSI code page) for a byte that is
// not in the table.
uint32_t dbf_codepage_of(uint8_t language_driver) noexcept;

// The display name of a language-driver byte; empty for a byte that is not in the table.
std::u16string_view dbf_codepage_name(uint8_t language_driver) noexcept;

// The code page that a dBASE level 7 language driver name stands for ("DB866RU0" is 866,
// "DBWINUS0" the Windows Latin 1252); 0 when the name says nothing we know.
uint32_t dbf_codepage_of_driver_name(std::string_view name) noexcept;

// The code page text of the table is decoded with: the code page of the byte, and for 0 the
// system's ANSI code page (tk_ansi_codepage).
uint32_t dbf_effective_codepage(uint32_t codepage);
