// One record of a DBF table: a dbf_field per column, decoded from the record's bytes.
//
// The record is built once per table, with a field per column, and refilled in place for
// every record read, so walking a table allocates nothing beyond what the values need. Its
// fields follow the columns of the table's schema; the hidden _NullFlags field of Visual
// FoxPro is not one of them but decides which values are null and how long varchar and
// varbinary values are.
#pragma once

#include "dbf/dbf_field.h"
#include "dbf/dbf_header.h"
#include "udb/udb_record.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class dbf_memo_file;
class tk_codepage;
class udb_value_notes;

class dbf_record : public udb_record {
public:
    // Fields for the columns of `descriptors`, without values. The descriptors and the memo
    // file (which may be null) must outlive the record. Text is decoded in `codepage`
    // (0: the default code page). Values that cannot be carried as they stand are counted in
    // `notes` (may be null) by column and kind.
    dbf_record(const std::vector<dbf_field_descriptor>& descriptors, dbf_memo_file* memo,
               uint32_t codepage, udb_value_notes* notes = nullptr);
    // The same, with the values of the record `bytes`.
    dbf_record(const std::vector<dbf_field_descriptor>& descriptors, std::span<const uint8_t> bytes,
               dbf_memo_file* memo, uint32_t codepage);

    // Decodes the bytes of a whole record: the deletion byte, then every field. Bytes a field
    // would need beyond `bytes` leave that field without value.
    void assign(std::span<const uint8_t> bytes);

    // The value of a memo field from the memo file: text converted from the table's code page
    // (as_wide) or kept narrow, bytes for binary memo fields. No memo file, block 0 or a block
    // that cannot be read give no value; the answer says which. A text memo whose block holds
    // a picture or an OLE object, or bytes that go on after a zero byte, holds no text: it has
    // no value either (binary, the caller reports it).
    enum class memo_value { exact, unreadable, undecodable, binary };
    memo_value get_memo_field(ole_variant& out, const dbf_field_descriptor& fd,
                              std::span<const uint8_t> bytes, bool as_wide = true);

    uint32_t get_codepage() const noexcept { return codepage_number_; }
    // Whether text keeps its bytes (ole_variant::attach_narrow), for a destination that
    // writes them straight as UTF-8; only text of a single-byte code page can.
    void set_narrow_text(bool narrow) noexcept;

private:
    bool flag_set(std::span<const uint8_t> bytes, int16_t bit) const noexcept;

    const std::vector<dbf_field_descriptor>* descriptors_;
    dbf_memo_file* memo_;
    udb_value_notes* notes_;
    const tk_codepage* codepage_;
    uint32_t codepage_number_;
    bool narrow_ = false;
    std::vector<uint32_t> columns_; // the descriptor of each field
    int32_t null_flags_ = -1;       // the descriptor of _NullFlags, -1 when none
    std::string memo_buffer_;
};
