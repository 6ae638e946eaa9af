// Builds DBF table images byte by byte for the tests: every header layout, any descriptor,
// any record bytes, so that each rule of the reader can be met on purpose.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace dbf_test {

struct field {
    std::string name;
    char type = 'C';
    uint8_t len = 0;
    uint8_t dec = 0;
    uint8_t flags = 0; // Visual FoxPro field flags
};

struct table_options {
    uint8_t language_driver = 0;
    uint8_t table_flags = 0;
    std::string driver_name = {};   // level 7 header bytes 32-63
    bool end_of_file_marker = true; // 0x1A after the last record
    int32_t record_count = -1;      // the header's count; -1: the number of records given
    int32_t rec_size = -1;          // the header's record length; -1: computed
};

inline bool is_level7(uint8_t version) {
    return version == 4 || version == 0x8C;
}
inline bool is_vfp(uint8_t version) {
    return version == 0x30 || version == 0x31 || version == 0x32;
}

// The width a field takes in the record: character fields keep a width above 255 in their
// decimal byte.
inline uint32_t width_of(const field& f) {
    if (f.type != 'C')
        return f.len;
    return uint32_t(f.len) | uint32_t(f.dec) << 8;
}

inline uint16_t record_size(const std::vector<field>& fields) {
    uint32_t n = 1;
    for (const field& f : fields)
        n += width_of(f);
    return uint16_t(n);
}

inline void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}
inline void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
inline void put_name(std::string& s, size_t at, std::string_view name, size_t width) {
    for (size_t i = 0; i < name.size() && i < width; ++i)
        s[at + i] = name[i];
}

// Header, descriptors, records, and the end-of-file marker.
inline std::string make_table(uint8_t version, const std::vector<field>& fields,
                              const std::vector<std::string>& records,
                              const table_options& opt = table_options()) {
    const uint32_t rec_size = opt.rec_size >= 0 ? uint32_t(opt.rec_size) : record_size(fields);
    const uint32_t count =
        opt.record_count >= 0 ? uint32_t(opt.record_count) : uint32_t(records.size());
    std::string head;
    if (version == 2) {
        head.assign(521, '\0');
        head[0] = char(2);
        put16(head, 1, count);
        put16(head, 6, rec_size);
        size_t pos = 8;
        for (const field& f : fields) {
            put_name(head, pos, f.name, 10);
            head[pos + 11] = f.type;
            head[pos + 12] = char(f.len);
            head[pos + 15] = char(f.dec);
            pos += 16;
        }
        if (pos < 521)
            head[pos] = char(0x0D);
    } else if (is_level7(version)) {
        head.assign(68 + 48 * fields.size() + 1, '\0');
        put_name(head, 32, opt.driver_name, 32);
        size_t pos = 68;
        for (const field& f : fields) {
            put_name(head, pos, f.name, 31);
            head[pos + 32] = f.type;
            head[pos + 33] = char(f.len);
            head[pos + 34] = char(f.dec);
            pos += 48;
        }
        head[pos] = char(0x0D);
    } else {
        // Visual FoxPro keeps a 263-byte database backlink after the terminator.
        head.assign(32 + 32 * fields.size() + 1 + (is_vfp(version) ? 263 : 0), '\0');
        size_t pos = 32;
        uint32_t displacement = 1;
        for (const field& f : fields) {
            put_name(head, pos, f.name, 10);
            head[pos + 11] = f.type;
            put32(head, pos + 12, displacement);
            head[pos + 16] = char(f.len);
            head[pos + 17] = char(f.dec);
            head[pos + 18] = char(f.flags);
            displacement += width_of(f);
            pos += 32;
        }
        head[pos] = char(0x0D);
    }
    if (version != 2) {
        head[0] = char(version);
        head[1] = char(124);
        head[2] = char(5);
        head[3] = char(17);
        put32(head, 4, count);
        put16(head, 8, uint32_t(head.size()));
        put16(head, 10, rec_size);
        head[28] = char(opt.table_flags);
        head[29] = char(opt.language_driver);
    }
    for (const std::string& r : records)
        head += r;
    if (opt.end_of_file_marker)
        head += char(0x1A);
    return head;
}

// ---- Field bytes ---------------------------------------------------------------------------

inline std::string record(std::initializer_list<std::string_view> parts, char deletion = ' ') {
    std::string r(1, deletion);
    for (std::string_view p : parts)
        r += p;
    return r;
}

inline std::string left(std::string_view text, size_t width) { // text padded on the right
    std::string s(text.substr(0, width));
    s.resize(width, ' ');
    return s;
}

inline std::string right(std::string_view text, size_t width) { // text padded on the left
    std::string s(text.substr(0, width));
    return std::string(width - s.size(), ' ') + s;
}

inline std::string le32(uint32_t v) {
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}

inline std::string le64(uint64_t v) {
    return le32(uint32_t(v)) + le32(uint32_t(v >> 32));
}

inline std::string be32(uint32_t v) {
    std::string s = le32(v);
    return std::string(s.rbegin(), s.rend());
}

inline std::string be64(uint64_t v) {
    return be32(uint32_t(v >> 32)) + be32(uint32_t(v));
}

// A dBASE III table of one C field NAME of `width` characters holding "name 0", "name 1", ...:
// large enough, with a few million records, for a run to be stopped in its middle.
inline std::string numbered_names(uint32_t count, uint8_t width) {
    std::string image = make_table(
        0x03, {{"NAME", 'C', width}}, {},
        {.language_driver = 0x03, .end_of_file_marker = false, .record_count = int32_t(count)});
    image.reserve(image.size() + size_t(count) * (width + 1u) + 1);
    for (uint32_t i = 0; i < count; ++i)
        image += record({left("name " + std::to_string(i), width)});
    return image + '\x1a';
}

inline std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}

} // namespace dbf_test
