// The code pages of DBF text: the language-driver byte of the table header (byte 29) names
// the code page its text is stored in.
//
// The table is process-wide and fixed; it lists the bytes the xBase products write, in
// ascending order of the byte. A table whose byte is 0 (or one no product assigned) names no
// code page: its text is read in the default code page, unless every text byte of it is valid
// UTF-8 (see dbf_recordset).
//
// Settings name a code page as an "encoding" value: 0 for each table's own, 1 to 255 for a
// language-driver byte, anything above for a code page number.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct dbf_codepage_entry {
    uint8_t language_driver;
    uint32_t codepage; // Windows code page number; 0 = none named (the default code page)
    std::u16string_view name;
};

// The code page of tables that name none: Windows Latin, the ANSI code page most DBF files
// without a mark were written under.
inline constexpr uint32_t dbf_default_codepage = 1252;

// Every known language-driver byte, in ascending order of the byte.
std::span<const dbf_codepage_entry> dbf_codepage_table() noexcept;

// The code page of a language-driver byte; 0 for 0 and for a byte that is not in the table.
uint32_t dbf_codepage_of(uint8_t language_driver) noexcept;

// The display name of a language-driver byte; empty for a byte that is not in the table.
std::u16string_view dbf_codepage_name(uint8_t language_driver) noexcept;

// The code page that a dBASE level 7 language driver name stands for ("DB866RU0" is 866,
// "DBWINUS0" the Windows Latin 1252); 0 when the name says nothing we know.
uint32_t dbf_codepage_of_driver_name(std::string_view name) noexcept;

// The code page an encoding value stands for: the code page of a known language-driver byte
// (1 to 255) or a code page number that can be decoded (above 255); 0 for 0 and for values
// that name nothing we can decode.
uint32_t dbf_codepage_of_setting(uint32_t encoding) noexcept;

// Reads an encoding value as the user gives it: "0" for each table's own; a language-driver
// byte as decimal or 0x hexadecimal ("3", "0x65"); a code page number ("1252", "866"); or a
// name ("cp1252", "windows-1252", "ibm866", "latin1", "iso-8859-5", "utf-8", "gbk", "big5",
// "shift_jis"). Nothing when the text names no known byte or no code page that can be decoded.
std::optional<uint32_t> dbf_parse_encoding(std::string_view text);

// What dbf_parse_encoding accepts, as a sentence for a refusal.
std::string dbf_accepted_encodings();

// Whether the bytes are valid UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF); `high` is set when one of them is not ASCII.
bool dbf_is_utf8(std::string_view bytes, bool& high) noexcept;
