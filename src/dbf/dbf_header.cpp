#include "dbf/dbf_header.h"

#include "dbf/dbf_exception.h"
#include "dbf/dbf_memo_file.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cstring>

namespace {

const char* const not_dbf = "File does not comply with DBF format";

[[noreturn]] void refuse(const char* why) {
    TK_TRACE(3, "%s", why);
    throw dbf_exception(not_dbf);
}

constexpr uint8_t descriptor_end = 0x0D;

// The header and descriptors are whole (the file reaches data_offset); the records are
// counted from what follows them. A trailing partial record is not counted: its missing
// bytes would be read as values that were never written.
void fit_records_to_file(dbf_header& h, uint64_t file_size) {
    h.stated_rec = h.last_rec;
    const uint64_t complete = (file_size - h.data_offset) / h.rec_size;
    if (complete < uint64_t(h.last_rec)) {
        TK_TRACE(3, "The file holds %llu of the %d records its header announces",
                 static_cast<unsigned long long>(complete), h.last_rec);
        h.last_rec = int32_t(complete);
    }
}

// Copies a name of up to `width` bytes, ending at the first zero byte.
void copy_name(const uint8_t* p, size_t width, std::array<char, 32>& name) {
    name.fill(0);
    size_t n = 0;
    while (n < width && n < name.size() - 1 && p[n] != 0) {
        name[n] = char(p[n]);
        ++n;
    }
}

// The kind of a field and its width in the record. The table's layout decides the letters
// that mean different things in different products: B is a double in Visual FoxPro but a
// binary memo in dBASE; I, +, O and @ are big-endian in level 7; V, Q and W exist only in
// Visual FoxPro. The decimals byte widens only character fields: in a memo field it is
// often junk.
void classify(const dbf_header& header, dbf_field_descriptor& fd) {
    using k = dbf_field_kind;
    const bool vfp = header.is_visual_foxpro();
    const bool level7 = header.layout() == dbf_layout::level7;
    fd.width = fd.len;
    switch (fd.field_type) {
    case 'N':
    case 'F':
        // Both hold decimal text; a whole number of up to 18 digits always fits 64 bits.
        if (fd.dec == 0 && fd.len <= 18)
            fd.kind = k::integer_text;
        else
            fd.kind =
                dbf_number_digits(fd) <= dbf_max_decimal_digits ? k::decimal_text : k::real_text;
        return;
    case 'D':
        fd.kind = k::date_text;
        return;
    case 'L':
        fd.kind = k::logical;
        return;
    case 'Y':
        fd.kind = k::currency;
        return;
    case 'T':
        fd.kind = k::datetime;
        return;
    case 'I':
        fd.kind = level7 ? k::int_be_flipped : k::int_le;
        fd.auto_number = vfp && (fd.flags & dbf_ff_autoinc) != 0;
        return;
    case '+':
        fd.kind = level7 ? k::int_be_flipped : k::int_le;
        fd.auto_number = true;
        return;
    case 'B':
        fd.kind = (!vfp && fd.len == 10) ? k::memo_binary : k::double_le;
        return;
    case 'O':
        if (level7) {
            fd.kind = k::double_ordered;
            return;
        }
        break;
    case '@':
        if (level7) {
            fd.kind = k::timestamp;
            return;
        }
        break;
    case 'V':
    case 'Q':
    case 'W':
        if (vfp) {
            fd.kind = fd.field_type == 'V'   ? k::varchar
                      : fd.field_type == 'Q' ? k::varbinary
                                             : k::memo_binary;
            return;
        }
        break;
    case '0':
        fd.kind = k::null_flags;
        return;
    case 'M':
        fd.kind = k::memo_text;
        return;
    case 'G':
    case 'P':
        // OLE objects and pictures: binary data in the memo file.
        fd.kind = k::memo_binary;
        return;
    case 'C':
        // As wide as both length bytes say; with both bytes 0 the field is read as a memo
        // field.
        fd.width = fd.char_len();
        fd.kind = fd.width == 0 ? k::memo_text : k::text;
        return;
    default:
        break;
    }
    fd.kind = k::unknown;
}

} // namespace

dbf_layout dbf_header::layout() const noexcept {
    if (version == 2)
        return dbf_layout::dbase2;
    if (version == 4 || version == 0x8C)
        return dbf_layout::level7;
    return dbf_layout::standard;
}

std::string_view dbf_header::driver_name() const noexcept {
    return std::string_view(language_driver_name.data(),
                            strnlen(language_driver_name.data(), language_driver_name.size()));
}

std::string_view dbf_field_descriptor::name_view() const noexcept {
    return std::string_view(name.data(), strnlen(name.data(), name.size()));
}

dbf_header dbf_decode_header(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size < dbf_header_size || head.size() < dbf_header_size)
        refuse("ERROR: File is too small");
    dbf_header h;
    h.version = head[0];
    if (h.version == 2) {
        TK_TRACE(1, "Processing FoxBase format (signature=2)");
        h.last_rec = dbf_le16(&head[1]);
        h.rec_size = dbf_le16(&head[6]);
        if (h.rec_size == 0)
            refuse("ERROR: Invalid DBF header");
        h.stated_rec = h.last_rec;
        return h;
    }
    h.last_rec = int32_t(dbf_le32(&head[4]));
    h.data_offset = dbf_le16(&head[8]);
    h.rec_size = dbf_le16(&head[10]);
    h.flags = head[28];
    h.language_driver = head[29];
    // A record holds at least its deletion byte; the descriptors start after the fixed header
    // (level 7: after the language driver name as well).
    const uint32_t first_descriptor = h.layout() == dbf_layout::level7 ? 68 : 32;
    if (h.rec_size == 0 || h.last_rec < 0 || h.data_offset < first_descriptor)
        refuse("ERROR: Invalid DBF header");
    TK_TRACE(1, "data_offset=%u, last_rec=%d, rec_size=%u", h.data_offset, h.last_rec,
             unsigned(h.rec_size));
    if (file_size < h.data_offset)
        refuse("ERROR: File is shorter than its header");
    fit_records_to_file(h, file_size);
    return h;
}

size_t dbf_descriptor_area(const dbf_header& header, uint64_t file_size) noexcept {
    if (header.layout() == dbf_layout::dbase2)
        return size_t(std::min<uint64_t>(file_size, dbf_dbase2_data_offset));
    return header.data_offset;
}

int32_t dbf_get_memo_type(uint8_t version, uint8_t flags) {
    switch (version) {
    case 0x30:
    case 0x31:
    case 0x32:
        TK_TRACE(1, "MEMO TYPE=Visual FoxPro 3.0");
        if (flags & 2)
            return (flags & 4) ? dbf_memo_dbc : dbf_memo_vfp;
        break;
    case 0x7B:
    case 0x8B:
    case 0x8C:
    case 0xCB:
    case 0xEB:
        TK_TRACE(1, "MEMO TYPE=DBASE IV");
        return dbf_memo_dbase4;
    case 0x83:
        TK_TRACE(1, "MEMO TYPE=OLD (FoxBASE/dBASE III)");
        return dbf_memo_old;
    case 0xE5:
        TK_TRACE(1, "MEMO TYPE=SMT");
        return dbf_memo_smt;
    case 0xF5:
        TK_TRACE(1, "MEMO TYPE=FPT");
        return dbf_memo_foxpro;
    default:
        break;
    }
    TK_TRACE(1, "MEMO TYPE=NO MEMO");
    return dbf_memo_none;
}

std::vector<dbf_field_descriptor> dbf_decode_descriptors(std::span<const uint8_t> head,
                                                         dbf_header& header, uint64_t file_size) {
    std::vector<dbf_field_descriptor> fields;
    switch (header.layout()) {
    case dbf_layout::level7: {
        TK_TRACE(1, "Processing dBASE Level 7 format");
        const size_t end = std::min<size_t>(head.size(), header.data_offset);
        if (end < 68)
            refuse("ERROR: Invalid DBF header");
        std::memcpy(header.language_driver_name.data(), &head[32], 32);
        const uint32_t count = (header.data_offset - 32) / 48;
        size_t pos = 68;
        for (uint32_t i = 0; i < count && pos + 48 <= end && head[pos] != descriptor_end; ++i) {
            dbf_field_descriptor fd;
            copy_name(&head[pos], 32, fd.name);
            fd.field_type = head[pos + 32];
            fd.len = head[pos + 33];
            fd.dec = head[pos + 34];
            std::memcpy(fd.extra.data(), &head[pos + 35], fd.extra.size());
            fields.push_back(fd);
            pos += 48;
        }
        break;
    }
    case dbf_layout::dbase2: {
        // Descriptors: name 0-10, type 11, length 12, field address 13-14, decimals 15.
        size_t pos = 8;
        bool ended = false;
        for (int i = 0; i < 32; ++i) {
            if (pos >= head.size())
                refuse("ERROR: descriptors run past the end of the file");
            if (head[pos] == descriptor_end) {
                ended = true;
                break;
            }
            if (pos + 16 > head.size())
                refuse("ERROR: descriptors run past the end of the file");
            dbf_field_descriptor fd;
            copy_name(&head[pos], 11, fd.name);
            fd.field_type = head[pos + 11];
            fd.len = head[pos + 12];
            if (fd.field_type == 'N' && head[pos + 15] < fd.len)
                fd.dec = head[pos + 15];
            TK_TRACE(1, "Got field: %s/%c/%d", fd.name.data(), fd.field_type, fd.len);
            fields.push_back(fd);
            pos += 16;
        }
        // The records follow the fixed 521-byte header area. A file shorter than that area
        // is read with its records right after the descriptors' area of the short form, and
        // so is a longer one that is exactly a whole table of the short form (an end-of-file
        // byte at most after its records). Any other file too short for its records in the
        // full form is a full-form table cut short: reading it as the short form would take
        // the unused descriptor area for records.
        const uint64_t records = uint64_t(header.last_rec) * header.rec_size;
        const uint64_t compact = pos + 33;
        const bool short_form_whole =
            compact + records <= file_size && file_size - (compact + records) <= 1;
        header.data_offset = dbf_dbase2_data_offset;
        if (uint64_t(header.data_offset) + records > file_size && ended &&
            (file_size < dbf_dbase2_data_offset || short_form_whole))
            header.data_offset = uint32_t(compact);
        if (file_size < header.data_offset)
            refuse("ERROR: File is shorter than its header");
        fit_records_to_file(header, file_size);
        TK_TRACE(1, "data_offset=%u, last_rec=%d, rec_size=%u", header.data_offset, header.last_rec,
                 unsigned(header.rec_size));
        break;
    }
    case dbf_layout::standard: {
        TK_TRACE(1, "Default processing");
        const size_t end = std::min<size_t>(head.size(), header.data_offset);
        const uint32_t count = (header.data_offset - 32) / 32;
        const bool vfp = header.is_visual_foxpro();
        size_t pos = 32;
        for (uint32_t i = 0; i < count && pos + 32 <= end && head[pos] != descriptor_end; ++i) {
            dbf_field_descriptor fd;
            copy_name(&head[pos], 11, fd.name);
            fd.field_type = head[pos + 11];
            fd.len = head[pos + 16];
            fd.dec = head[pos + 17];
            if (vfp)
                fd.flags = head[pos + 18];
            fields.push_back(fd);
            pos += 32;
        }
        break;
    }
    }
    return fields;
}

uint32_t dbf_get_size_2(const dbf_field_descriptor& fd) noexcept {
    using k = dbf_field_kind;
    switch (fd.kind) {
    case k::memo_text:
    case k::memo_binary:
    case k::null_flags:
        return 0;
    default:
        return fd.width;
    }
}

uint32_t dbf_number_digits(const dbf_field_descriptor& fd) noexcept {
    const uint32_t digits = fd.dec > 0 ? uint32_t(fd.len) - 1 : fd.len;
    return std::max<uint32_t>(digits, fd.dec);
}

VARTYPE dbf_get_vartype_2(const dbf_field_descriptor& fd) noexcept {
    using k = dbf_field_kind;
    switch (fd.kind) {
    case k::integer_text:
        // The widest value of the field decides: 2 digits fit a signed byte, 4 a short,
        // 9 a long, 18 a 64-bit number.
        if (fd.len < 3)
            return VT_I1;
        if (fd.len < 5)
            return VT_I2;
        if (fd.len < 10)
            return VT_I4;
        return VT_I8;
    case k::real_text:
    case k::double_le:
    case k::double_ordered:
        return VT_R8;
    case k::decimal_text:
        return VT_DECIMAL;
    case k::date_text:
    case k::datetime:
    case k::timestamp:
        return VT_DATE;
    case k::logical:
        return VT_BOOL;
    case k::currency:
        return VT_CY;
    case k::int_le:
    case k::int_be_flipped:
        return VT_I4;
    case k::varbinary:
    case k::memo_binary:
    case k::unknown:
        return VT_BLOB;
    case k::null_flags:
        return VT_EMPTY;
    default:
        return VT_BSTR;
    }
}

void dbf_layout_fields(const dbf_header& header, std::vector<dbf_field_descriptor>& fields) {
    uint64_t offset = 1;
    for (dbf_field_descriptor& fd : fields) {
        classify(header, fd);
        fd.vartype = dbf_get_vartype_2(fd);
        fd.size = dbf_get_size_2(fd);
        if (fd.kind == dbf_field_kind::date_text)
            fd.reserved = 2;
        else if (fd.vartype == VT_DATE)
            fd.reserved = 1;
        else if (fd.vartype == VT_DECIMAL) {
            const uint32_t precision = dbf_number_digits(fd);
            fd.reserved = precision << 8 | fd.dec;
            TK_TRACE(1, "Got VT_DECIMAL(%u,%u)", precision, unsigned(fd.dec));
        }
        fd.offset = uint32_t(offset);
        offset += fd.width;
        if (offset > header.rec_size)
            refuse("ERROR: fields are wider than the record");
    }

    // Visual FoxPro keeps one bit per varchar or varbinary field ("the real length is in the
    // last byte") and, after it, one per nullable field, in field order from the lowest bit
    // of the hidden _NullFlags field on.
    const int32_t flags_index = dbf_null_flags_index(fields);
    if (flags_index < 0)
        return;
    const int32_t bits = int32_t(fields[size_t(flags_index)].width) * 8;
    int32_t next = 0;
    auto take = [&]() -> int16_t { return next < bits ? int16_t(next++) : int16_t(-1); };
    for (dbf_field_descriptor& fd : fields) {
        if (!fd.is_column())
            continue;
        if (fd.kind == dbf_field_kind::varchar || fd.kind == dbf_field_kind::varbinary)
            fd.varlen_bit = take();
        if (fd.flags & dbf_ff_nullable)
            fd.null_bit = take();
    }
}

int32_t dbf_null_flags_index(const std::vector<dbf_field_descriptor>& fields) noexcept {
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].kind == dbf_field_kind::null_flags)
            return int32_t(i);
    return -1;
}
