// The header and field descriptors of a DBF table, decoded from their bytes.
//
// Three descriptor layouts exist, chosen by the version byte:
//   dBASE II   (version 2): an 8-byte header (record count u16 at 1, record length u16 at 6)
//              and up to 32 descriptors of 16 bytes from offset 8; the records start after
//              the fixed 521-byte header area;
//   level 7    (version 4 or 0x8C): the 32-byte header, the language driver name at 32-63,
//              descriptors of 48 bytes from offset 68;
//   standard   (every other version: dBASE III/IV, FoxPro, Visual FoxPro, Clipper ...): the
//              32-byte header and descriptors of 32 bytes from offset 32.
// The descriptors end at a byte 0x0D where the next one would begin, or at the header
// length. Every layout is brought into one internal descriptor, which also records how its
// bytes are decoded (the field kind), where they lie in the record and the column they make.
//
// Everything here works on bytes already read and checks every offset against them; a header
// that cannot describe the file raises dbf_exception "File does not comply with DBF format".
// A file cut short inside its records (a copy or a crash that lost the end of the table) is
// not refused: its header and descriptors are whole, and the records it holds whole are read.
#pragma once

#include "ole/ole_types.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// ---- Byte order ------------------------------------------------------------------------------
// The caller guarantees that the bytes are there.

inline uint16_t dbf_le16(const uint8_t* p) noexcept {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t dbf_le32(const uint8_t* p) noexcept {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t dbf_le64(const uint8_t* p) noexcept {
    return uint64_t(dbf_le32(p)) | uint64_t(dbf_le32(p + 4)) << 32;
}
inline uint32_t dbf_be32(const uint8_t* p) noexcept {
    return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
inline uint64_t dbf_be64(const uint8_t* p) noexcept {
    return uint64_t(dbf_be32(p)) << 32 | uint64_t(dbf_be32(p + 4));
}
inline void dbf_put_le16(uint8_t* p, uint16_t v) noexcept {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void dbf_put_le32(uint8_t* p, uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void dbf_put_le64(uint8_t* p, uint64_t v) noexcept {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// ---- Header ----------------------------------------------------------------------------------

enum class dbf_layout : uint8_t { dbase2, level7, standard };

inline constexpr size_t dbf_header_size = 32;
// dBASE II keeps room for 32 descriptors whatever the field count: 8 + 32 x 16 + 1.
inline constexpr uint32_t dbf_dbase2_data_offset = 521;

struct dbf_header {
    uint8_t version = 0;
    int32_t last_rec = 0;     // the number of records the file holds whole
    int32_t stated_rec = 0;   // the number of records the header announces
    uint32_t data_offset = 0; // the header length: offset of the first record
    uint16_t rec_size = 0;    // record length, the deletion byte included
    uint8_t flags = 0;        // table flags (Visual FoxPro): 2 memo file, 4 database container
    uint8_t language_driver = 0;
    // Level 7: the language driver name of header bytes 32-63 ("DB866RU0"), as stored.
    std::array<char, 32> language_driver_name{};

    dbf_layout layout() const noexcept;
    bool is_visual_foxpro() const noexcept {
        return version == 0x30 || version == 0x31 || version == 0x32;
    }
    std::string_view driver_name() const noexcept;
    // The file ends before the last record the header announces.
    bool is_cut_short() const noexcept { return last_rec < stated_rec; }
};

// Decodes the fixed header from the first bytes of the file (32 of them, or all there are).
// Raises dbf_exception for a file shorter than 32 bytes, a record length of 0, a negative
// record count, a header length that leaves no room for the descriptors, or a file shorter
// than its header length. A file too short for the records the header announces gets the
// count of the records it holds whole as last_rec (dBASE II: settled once the descriptors are
// read); stated_rec keeps the header's count.
dbf_header dbf_decode_header(std::span<const uint8_t> head, uint64_t file_size);

// How many bytes from the start of the file the descriptors need.
size_t dbf_descriptor_area(const dbf_header& header, uint64_t file_size) noexcept;

// The memo kind the version byte and the table flags name (the values of dbf_memo_kind).
int32_t dbf_get_memo_type(uint8_t version, uint8_t flags);

// ---- Field descriptors -----------------------------------------------------------------------

// How the bytes of a field become a value.
enum class dbf_field_kind : uint8_t {
    text,           // C: up to the first zero byte, trailing blanks removed
    unknown,        // a type letter without a rule: the bytes, carried as binary
    varchar,        // V (Visual FoxPro): real length in the last byte when flagged
    varbinary,      // Q (Visual FoxPro): bytes, real length as for V
    integer_text,   // N and F without decimals, up to 18 digits: a whole number
    real_text,      // N and F with more digits than a DECIMAL holds: a double
    decimal_text,   // N and F otherwise: an exact DECIMAL
    date_text,      // D: YYYYMMDD
    logical,        // L
    currency,       // Y: little-endian 64-bit count of 1/10,000
    int_le,         // I (and + outside level 7): little-endian 32-bit
    int_be_flipped, // I and + of level 7: big-endian 32-bit with the sign bit flipped
    double_le,      // B: little-endian IEEE double
    double_ordered, // O of level 7: big-endian IEEE double in sortable form
    datetime,       // T: Julian day and milliseconds, little-endian 32-bit each
    timestamp,      // @ of level 7: big-endian double of milliseconds since 0000-12-31
    memo_text,      // M (and C fields whose length bytes are both 0): memo text
    memo_binary,    // W (Visual FoxPro), G, P and B of 10 bytes (dBASE): memo bytes
    null_flags,     // the hidden _NullFlags field (type 0): never a column
};

// Visual FoxPro field flags (byte 18 of the 32-byte descriptor).
inline constexpr uint8_t dbf_ff_system = 0x01;
inline constexpr uint8_t dbf_ff_nullable = 0x02;
inline constexpr uint8_t dbf_ff_binary = 0x04;
inline constexpr uint8_t dbf_ff_autoinc = 0x08;

struct dbf_field_descriptor {
    // ---- As stored (every layout brought into the level-7 form) ----
    std::array<char, 32> name{};     // zero-terminated
    uint8_t field_type = 0;          // the type letter
    uint8_t len = 0;                 // length byte
    uint8_t dec = 0;                 // decimal count byte
    std::array<uint8_t, 13> extra{}; // level 7: descriptor bytes 35-47; otherwise zero
    uint8_t flags = 0;               // Visual FoxPro field flags; otherwise zero

    // Length byte plus 256 times the decimals byte: the width of long character fields (C
    // only: in every other field the decimals byte means what its type says, or nothing).
    uint16_t char_len() const noexcept { return uint16_t(len | dec << 8); }
    std::string_view name_view() const noexcept;

    // ---- Decided when the table opens ----
    dbf_field_kind kind = dbf_field_kind::text;
    uint32_t offset = 0; // of the field's bytes in the record (the deletion byte is at 0)
    uint32_t width = 0;  // of the field's bytes in the record
    VARTYPE vartype = VT_BSTR;
    uint32_t size = 0;     // the column size (0 for memo fields)
    uint32_t reserved = 0; // the column's dw_reserved detail
    bool auto_number = false;
    int16_t varlen_bit = -1; // bit of _NullFlags saying the real length is in the last byte
    int16_t null_bit = -1;   // bit of _NullFlags saying the value is null

    bool is_column() const noexcept { return kind != dbf_field_kind::null_flags; }
};

// Reads the descriptors from the first bytes of the file (at least dbf_descriptor_area of
// them, or all there are). For dBASE II this also settles the header length and the number of
// records the file holds whole. Raises dbf_exception when the descriptors cannot be read from
// the bytes.
std::vector<dbf_field_descriptor> dbf_decode_descriptors(std::span<const uint8_t> head,
                                                         dbf_header& header, uint64_t file_size);

// The most digits a DECIMAL value carries exactly (96-bit mantissa): wider N and F fields are
// read as doubles.
inline constexpr uint32_t dbf_max_decimal_digits = 28;

// The digits an N or F field of this width and decimal count can hold: the width less the
// decimal point when there are decimals (never fewer than the decimals).
uint32_t dbf_number_digits(const dbf_field_descriptor& fd) noexcept;

// The column size and type code of a descriptor whose kind is decided.
uint32_t dbf_get_size_2(const dbf_field_descriptor& fd) noexcept;
VARTYPE dbf_get_vartype_2(const dbf_field_descriptor& fd) noexcept;

// Decides kind, position, width, column type and null-flag bits of every descriptor. Raises
// dbf_exception when the fields do not fit in the record length.
void dbf_layout_fields(const dbf_header& header, std::vector<dbf_field_descriptor>& fields);

// The index of the hidden _NullFlags field, -1 when there is none.
int32_t dbf_null_flags_index(const std::vector<dbf_field_descriptor>& fields) noexcept;
