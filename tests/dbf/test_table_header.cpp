// Header and descriptor decoding of every layout, from bytes built in the test.
#include "dbf/dbf_codepages.h"
#include "dbf/dbf_exception.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_memo_file.h"
#include "test_table_builder.h"
#include "tk/tk_text.h"

#include <gtest/gtest.h>

using namespace dbf_test;

namespace {

struct decoded {
    dbf_header header;
    std::vector<dbf_field_descriptor> fields;
};

decoded decode(const std::string& image) {
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(image.data()), image.size());
    decoded d;
    d.header = dbf_decode_header(bytes.first(std::min<size_t>(bytes.size(), 32)), image.size());
    const size_t area = dbf_descriptor_area(d.header, image.size());
    d.fields =
        dbf_decode_descriptors(bytes.first(std::min(area, bytes.size())), d.header, image.size());
    dbf_layout_fields(d.header, d.fields);
    return d;
}

void expect_refused(const std::string& image) {
    try {
        decode(image);
        ADD_FAILURE() << "accepted a header that cannot be right";
    } catch (const dbf_exception& e) {
        EXPECT_STREQ(e.what(), "File does not comply with DBF format");
    }
}

} // namespace

TEST(table_header, refuses_headers_that_cannot_describe_the_file) {
    const std::vector<field> fields = {{"NAME", 'C', 10}};
    const std::string good = make_table(0x03, fields, {record({left("abc", 10)})});
    EXPECT_NO_THROW(decode(good));

    expect_refused(std::string(31, '\x03'));
    expect_refused(std::string(1, '\x03'));
    // A file that ends inside its header area (65 bytes here) or its descriptors.
    expect_refused(good.substr(0, 64));
    expect_refused(good.substr(0, 40));
    std::string negative = good;
    put32(negative, 4, 0xFFFFFFFA);
    expect_refused(negative);
    expect_refused(make_table(0x03, fields, {}, table_options{.rec_size = 0}));
    // Fields wider than the record.
    expect_refused(make_table(0x03, fields, {std::string(5, ' ')}, table_options{.rec_size = 5}));
    // A header length below the fixed header.
    std::string tiny = good;
    put16(tiny, 8, 20);
    expect_refused(tiny);

    // Trailing bytes after the last record are accepted.
    EXPECT_NO_THROW(decode(good + std::string(95, 'x')));
}

TEST(table_header, a_file_cut_inside_its_records_keeps_the_records_it_holds_whole) {
    const std::vector<field> fields = {{"NAME", 'C', 10}, {"N", 'N', 5}};
    std::vector<std::string> records;
    for (int i = 1; i <= 5; ++i)
        records.push_back(record({left("row " + std::to_string(i), 10), right("7", 5)}));
    const std::string whole = make_table(0x03, fields, records);
    const size_t data_offset = 32 + 2 * 32 + 1;
    const size_t rec_size = 16;
    decoded d = decode(whole);
    EXPECT_EQ(d.header.last_rec, 5);
    EXPECT_EQ(d.header.stated_rec, 5);
    EXPECT_FALSE(d.header.is_cut_short());

    // Cut inside record 4: three records, the header's five kept apart.
    d = decode(whole.substr(0, data_offset + 3 * rec_size + 7));
    EXPECT_EQ(d.header.last_rec, 3);
    EXPECT_EQ(d.header.stated_rec, 5);
    EXPECT_TRUE(d.header.is_cut_short());
    ASSERT_EQ(d.fields.size(), 2u);
    // Cut at a record boundary, and one byte short of the first record.
    EXPECT_EQ(decode(whole.substr(0, data_offset + 4 * rec_size)).header.last_rec, 4);
    d = decode(whole.substr(0, data_offset + rec_size - 1));
    EXPECT_EQ(d.header.last_rec, 0);
    EXPECT_TRUE(d.header.is_cut_short());
    // A file that holds more than the header announces is not cut short.
    EXPECT_FALSE(decode(whole + std::string(3 * rec_size, ' ')).header.is_cut_short());
    // A count far beyond the file, kept in 64 bits.
    std::string many = whole;
    put32(many, 4, 0x7FFFFFFF);
    d = decode(many);
    EXPECT_EQ(d.header.last_rec, 5);
    EXPECT_EQ(d.header.stated_rec, 0x7FFFFFFF);

    // Level 7: the header length of its own layout, the same rule.
    const std::string seven = make_table(0x04, fields, records);
    const size_t seven_offset = 68 + 2 * 48 + 1;
    d = decode(seven.substr(0, seven_offset + 2 * rec_size + 1));
    EXPECT_EQ(d.header.data_offset, seven_offset);
    EXPECT_EQ(d.header.last_rec, 2);
    EXPECT_EQ(d.header.stated_rec, 5);
    expect_refused(seven.substr(0, seven_offset - 1));
}

TEST(table_header, dbase2_file_cut_inside_its_records) {
    const std::vector<field> fields = {{"NAME", 'C', 10}};
    const std::vector<std::string> records(4, record({left("x", 10)}));
    // The full 521-byte header area: records from 521 on, cut inside record 3. The file is
    // long enough for the short form's records too, but it does not end where they would.
    const std::string whole = make_table(2, fields, records);
    decoded d = decode(whole.substr(0, 521 + 2 * 11 + 5));
    EXPECT_EQ(d.header.data_offset, 521u);
    EXPECT_EQ(d.header.last_rec, 2);
    EXPECT_EQ(d.header.stated_rec, 4);
    // Cut right after the header area: no record, the descriptors read.
    d = decode(whole.substr(0, 521));
    EXPECT_EQ(d.header.last_rec, 0);
    EXPECT_EQ(d.fields.size(), 1u);

    // The short form (records right after the descriptors' area), cut inside record 4.
    std::string compact = make_table(2, fields, {}, table_options{.end_of_file_marker = false});
    compact = compact.substr(0, 8 + 16 + 1) + std::string(32, '\0');
    for (const std::string& r : records)
        compact += r;
    put16(compact, 1, 4);
    EXPECT_EQ(decode(compact).header.last_rec, 4);
    d = decode(compact.substr(0, compact.size() - 2));
    EXPECT_EQ(d.header.data_offset, 8u + 16u + 33u);
    EXPECT_EQ(d.header.last_rec, 3);
    EXPECT_EQ(d.header.stated_rec, 4);
    // Shorter than the short form's header area: refused.
    expect_refused(compact.substr(0, 8 + 16 + 20));

    // A whole short-form table longer than 521 bytes stays the short form.
    std::string long_compact = compact.substr(0, 8 + 16 + 33);
    for (int i = 0; i < 50; ++i)
        long_compact += records[0];
    put16(long_compact, 1, 50);
    d = decode(long_compact + '\x1A');
    EXPECT_EQ(d.header.data_offset, 8u + 16u + 33u);
    EXPECT_EQ(d.header.last_rec, 50);
    EXPECT_FALSE(d.header.is_cut_short());
}

TEST(table_header, empty_tables) {
    // 33 bytes: header with 0 records, record length 2, header length 33, then 0x0D.
    std::string image(33, '\0');
    image[0] = 0x03;
    put16(image, 8, 33);
    put16(image, 10, 2);
    image[32] = 0x0D;
    decoded d = decode(image);
    EXPECT_EQ(d.header.last_rec, 0);
    EXPECT_TRUE(d.fields.empty());

    // A record of the deletion byte alone, as shapefile writers make for tables without
    // attributes.
    put16(image, 10, 1);
    EXPECT_TRUE(decode(image).fields.empty());
}

TEST(table_header, descriptors_end_at_the_terminator_or_the_header_length) {
    const std::vector<field> fields = {{"A", 'C', 5}, {"B", 'N', 4}};
    std::string image = make_table(0x03, fields, {record({left("x", 5), right("12", 4)})});
    // The header length promises four descriptors; the 0x0D after two ends the list.
    std::string longer = image.substr(0, 97) + std::string(64, '\0') + image.substr(97);
    put16(longer, 8, 97 + 64);
    decoded d = decode(longer);
    ASSERT_EQ(d.fields.size(), 2u);
    EXPECT_EQ(d.fields[1].name_view(), "B");
    EXPECT_EQ(d.header.data_offset, 161u);

    // No terminator: the header length alone ends the list.
    std::string no_end = image;
    no_end[96] = ' ';
    put16(no_end, 8, 96);
    d = decode(no_end.substr(0, 96) + no_end.substr(97));
    ASSERT_EQ(d.fields.size(), 2u);
    EXPECT_EQ(d.fields[0].offset, 1u);
    EXPECT_EQ(d.fields[1].offset, 6u);
}

TEST(table_header, numeric_and_text_column_types) {
    const std::vector<field> fields = {
        {"N2", 'N', 2},       {"N4", 'N', 4},   {"N9", 'N', 9},     {"N10", 'N', 10},
        {"N102", 'N', 10, 2}, {"N20", 'N', 20}, {"N200", 'N', 200}, {"F", 'F', 20, 18},
        {"C300", 'C', 44, 1}, {"D", 'D', 8},    {"T", 'T', 8},      {"L", 'L', 1},
        {"Y", 'Y', 8, 4},     {"M", 'M', 10},   {"G", 'G', 10},     {"X", 'X', 3},
    };
    decoded d = decode(make_table(0x03, fields, {}));
    ASSERT_EQ(d.fields.size(), fields.size());
    // The width holds the digits and the decimal point: N(10,2) holds 9 digits. Twenty digits
    // do not fit 64 bits but fit a DECIMAL. A length byte of 128 or more is a long number, not
    // a byte; beyond what a DECIMAL holds it is a double. F holds decimal text as N does:
    // never a 32-bit float. OLE objects are binary memos; a letter without a rule is carried
    // as its bytes.
    const VARTYPE types[] = {VT_I1, VT_I2,      VT_I4,   VT_I8,   VT_DECIMAL, VT_DECIMAL,
                             VT_R8, VT_DECIMAL, VT_BSTR, VT_DATE, VT_DATE,    VT_BOOL,
                             VT_CY, VT_BSTR,    VT_BLOB, VT_BLOB};
    const uint32_t reserved[] = {
        0, 0, 0, 0, (9u << 8) | 2u, 20u << 8, 0, (19u << 8) | 18u, 0, 2, 1, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(d.fields[i].vartype, types[i]) << fields[i].name;
        EXPECT_EQ(d.fields[i].reserved, reserved[i]) << fields[i].name;
    }
    EXPECT_EQ(d.fields[6].kind, dbf_field_kind::real_text);
    EXPECT_EQ(d.fields[8].width, 300u);
    EXPECT_EQ(d.fields[8].size, 300u);
    EXPECT_EQ(d.fields[13].size, 0u);
    EXPECT_EQ(d.fields[13].kind, dbf_field_kind::memo_text);
    EXPECT_EQ(d.fields[14].kind, dbf_field_kind::memo_binary);
    EXPECT_EQ(d.fields[15].kind, dbf_field_kind::unknown);
    EXPECT_EQ(d.fields[15].size, 3u);
    // Offsets follow the widths without gaps.
    uint32_t offset = 1;
    for (const dbf_field_descriptor& fd : d.fields) {
        EXPECT_EQ(fd.offset, offset) << fd.name_view();
        offset += fd.width;
    }
    EXPECT_EQ(offset, d.header.rec_size);
}

TEST(table_header, level7_descriptors) {
    const std::vector<field> fields = {
        {"A_LONG_FIELD_NAME_OF_31_CHARS__", 'C', 20},
        {"AUTO", '+', 4},
        {"INT", 'I', 4},
        {"DBL", 'O', 8},
        {"TS", '@', 8},
        {"BIN", 'B', 10},
        {"MEMO", 'M', 10},
    };
    decoded d = decode(make_table(0x8C, fields, {}, table_options{.driver_name = "DB866RU0"}));
    ASSERT_EQ(d.fields.size(), 7u);
    EXPECT_EQ(d.header.layout(), dbf_layout::level7);
    EXPECT_EQ(d.header.driver_name(), "DB866RU0");
    EXPECT_EQ(d.fields[0].name_view(), "A_LONG_FIELD_NAME_OF_31_CHARS__");
    using enum dbf_field_kind;
    const dbf_field_kind kinds[] = {text,      int_be_flipped, int_be_flipped, double_ordered,
                                    timestamp, memo_binary,    memo_text};
    const VARTYPE types[] = {VT_BSTR, VT_I4, VT_I4, VT_R8, VT_DATE, VT_BLOB, VT_BSTR};
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(d.fields[i].kind, kinds[i]) << fields[i].name;
        EXPECT_EQ(d.fields[i].vartype, types[i]) << fields[i].name;
        EXPECT_EQ(d.fields[i].auto_number, i == 1) << fields[i].name;
    }
    EXPECT_EQ(d.header.rec_size, 1 + 20 + 4 + 4 + 8 + 8 + 10 + 10);

    // Version 4 is level 7 too; outside level 7 the same letters have other meanings.
    EXPECT_EQ(decode(make_table(0x04, fields, {})).fields[2].kind, dbf_field_kind::int_be_flipped);
    decoded dbase3 = decode(make_table(0x03, {{"I", 'I', 4}, {"O", 'O', 8}}, {}));
    EXPECT_EQ(dbase3.fields[0].kind, dbf_field_kind::int_le);
    EXPECT_EQ(dbase3.fields[1].kind, dbf_field_kind::unknown);
}

TEST(table_header, dbase2_layout) {
    const std::vector<field> fields = {
        {"EMP:NMBR", 'N', 3}, {"LAST", 'C', 10}, {"PAYRATE", 'N', 8, 3}};
    const std::string rec = record({right("2", 3), left("Stegman", 10), right("6.000", 8)});
    decoded d = decode(make_table(2, fields, {rec, rec}));
    EXPECT_EQ(d.header.layout(), dbf_layout::dbase2);
    EXPECT_EQ(d.header.last_rec, 2);
    EXPECT_EQ(d.header.rec_size, 22);
    // The records follow the fixed header area of 32 descriptors.
    EXPECT_EQ(d.header.data_offset, 521u);
    ASSERT_EQ(d.fields.size(), 3u);
    EXPECT_EQ(d.fields[0].name_view(), "EMP:NMBR");
    EXPECT_EQ(d.fields[0].vartype, VT_I2);
    // dBASE II keeps the decimal count of numbers in descriptor byte 15.
    EXPECT_EQ(d.fields[2].vartype, VT_DECIMAL);
    EXPECT_EQ(d.fields[2].dec, 3);

    // A file too short for the full header area: the records right after the descriptors.
    std::string compact = make_table(2, fields, {}, table_options{.end_of_file_marker = false});
    compact = compact.substr(0, 8 + 48 + 1) + std::string(32, '\0') + rec;
    put16(compact, 1, 1);
    d = decode(compact);
    EXPECT_EQ(d.header.data_offset, 8u + 48u + 33u);

    // Descriptors that run past the end of the file.
    std::string cut = make_table(2, fields, {}).substr(0, 40);
    put16(cut, 1, 0);
    expect_refused(cut);
}

TEST(table_header, visual_foxpro_fields_and_null_flags) {
    const std::vector<field> fields = {
        {"ID", 'I', 4, 0, dbf_ff_autoinc | dbf_ff_binary},
        {"NAME", 'V', 10, 0, dbf_ff_nullable},
        {"RAW", 'Q', 6},
        {"AMOUNT", 'N', 8, 2, dbf_ff_nullable},
        {"BLOB", 'W', 4, 0, dbf_ff_binary},
        {"DBL", 'B', 8, 2},
        {"_NullFlags", '0', 1, 0, dbf_ff_system | dbf_ff_binary},
    };
    decoded d = decode(make_table(0x32, fields, {}));
    ASSERT_EQ(d.fields.size(), 7u);
    EXPECT_TRUE(d.fields[0].auto_number);
    EXPECT_EQ(d.fields[1].vartype, VT_BSTR);
    EXPECT_EQ(d.fields[1].size, 10u);
    EXPECT_EQ(d.fields[2].vartype, VT_BLOB);
    EXPECT_EQ(d.fields[2].size, 6u);
    EXPECT_EQ(d.fields[5].width, 8u);
    EXPECT_FALSE(d.fields[6].is_column());
    EXPECT_EQ(dbf_null_flags_index(d.fields), 6);
    // Bits in field order: a varchar's length bit, then its null bit.
    using enum dbf_field_kind;
    const dbf_field_kind kinds[] = {int_le,      varchar,   varbinary, decimal_text,
                                    memo_binary, double_le, null_flags};
    const int varlen_bits[] = {-1, 0, 2, -1, -1, -1, -1}, null_bits[] = {-1, 1, -1, 3, -1, -1, -1};
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(d.fields[i].kind, kinds[i]) << fields[i].name;
        EXPECT_EQ(d.fields[i].varlen_bit, varlen_bits[i]) << fields[i].name;
        EXPECT_EQ(d.fields[i].null_bit, null_bits[i]) << fields[i].name;
    }

    // The same letters outside Visual FoxPro have no rule of their own; B of 10 bytes is a
    // dBASE binary memo; _NullFlags is never a column, whatever the version byte.
    decoded dbase = decode(make_table(
        0x8B, {{"V", 'V', 10}, {"B", 'B', 10}, {"_NullFlags", '0', 1, 0, dbf_ff_system}}, {}));
    EXPECT_EQ(dbase.fields[0].kind, dbf_field_kind::unknown);
    EXPECT_EQ(dbase.fields[0].varlen_bit, -1);
    EXPECT_EQ(dbase.fields[1].kind, dbf_field_kind::memo_binary);
    EXPECT_FALSE(dbase.fields[2].is_column());
}

TEST(table_header, decimals_byte_widens_character_fields_only) {
    // Clipper leaves junk in the decimals byte of memo and other fields: only C takes it as
    // the high byte of the width.
    const std::vector<field> fields = {
        {"NOTE", 'M', 10, 7}, {"WHEN", 'D', 8, 3}, {"FLAG", 'L', 1, 9}, {"LONG", 'C', 4, 1}};
    decoded d = decode(make_table(0x03, fields, {}));
    ASSERT_EQ(d.fields.size(), 4u);
    EXPECT_EQ(d.fields[0].width, 10u);
    EXPECT_EQ(d.fields[1].width, 8u);
    EXPECT_EQ(d.fields[2].width, 1u);
    EXPECT_EQ(d.fields[3].width, 260u);
    EXPECT_EQ(d.header.rec_size, 1 + 10 + 8 + 1 + 260);
}

TEST(table_header, memo_kind_from_version_and_flags) {
    const int cases[][3] = {{0x30, 0, dbf_memo_none},   {0x30, 2, dbf_memo_vfp},
                            {0x31, 3, dbf_memo_vfp},    {0x30, 7, dbf_memo_dbc},
                            {0x83, 0, dbf_memo_old},    {0x8B, 0, dbf_memo_dbase4},
                            {0x8C, 0, dbf_memo_dbase4}, {0xF5, 0, dbf_memo_foxpro},
                            {0xE5, 0, dbf_memo_smt},    {0x03, 2, dbf_memo_none}};
    for (const auto& [version, flags, kind] : cases)
        EXPECT_EQ(dbf_get_memo_type(uint8_t(version), uint8_t(flags)), kind) << version;
}

TEST(table_header, codepage_table) {
    const auto table = dbf_codepage_table();
    ASSERT_FALSE(table.empty());
    for (size_t i = 1; i < table.size(); ++i)
        EXPECT_LT(table[i - 1].language_driver, table[i].language_driver);
    EXPECT_EQ(table.front().codepage, 0u);
    EXPECT_EQ(dbf_codepage_name(0xC9), u"Russian Windows");
    // ESRI and dBASE write 0x57 for Windows Latin text; then the double-byte and other pages
    // the xBase tools write. Every one can be decoded.
    const std::pair<uint8_t, uint32_t> pages[] = {
        {0xC9, 1251}, {0x65, 866}, {0x69, 620}, {0x03, 1252}, {0x57, 1252}, {0xFF, 0},
        {0x7A, 936},  {0x78, 950}, {0x79, 949}, {0x7B, 932},  {0x7C, 874},  {0x7D, 1255},
        {0x4D, 936},  {0x4E, 949}, {0x4F, 950}, {0x13, 932},  {0x50, 874},  {0xCC, 1257}};
    for (const auto& [byte, page] : pages)
        EXPECT_EQ(dbf_codepage_of(byte), page) << int(byte);
    for (const dbf_codepage_entry& e : table) {
        if (e.codepage != 0) {
            EXPECT_NE(tk_codepage::find(e.codepage), nullptr) << e.codepage;
        }
    }
    EXPECT_TRUE(dbf_codepage_name(0xFF).empty());
    const std::pair<const char*, uint32_t> drivers[] = {
        {"DB866RU0", 866}, {"DB437US0", 437}, {"DBWINUS0", 1252},
        {"DB999XX0", 0},   {"", 0},           {"ASCII", 0}};
    for (const auto& [name, page] : drivers)
        EXPECT_EQ(dbf_codepage_of_driver_name(name), page) << name;
}

TEST(table_header, encodings_by_byte_number_and_name) {
    const std::pair<const char*, uint32_t> accepted[] = {{"0", 0},
                                                         {"3", 3},
                                                         {"0x65", 0x65},
                                                         {"1252", 1252},
                                                         {"cp1252", 1252},
                                                         {"CP1252", 1252},
                                                         {"windows-1252", 1252},
                                                         {"latin1", 28591},
                                                         {"iso-8859-5", 28595},
                                                         {"cp866", 866},
                                                         {"ibm866", 866},
                                                         {"utf-8", tk_cp_utf8},
                                                         {"UTF8", tk_cp_utf8},
                                                         {"cp936", 936},
                                                         {"gbk", 936},
                                                         {"big5", 950},
                                                         {"shift_jis", 932},
                                                         {"65001", tk_cp_utf8}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(dbf_parse_encoding(text), std::optional<uint32_t>(value)) << text;
    for (const char* text : {"0xFF", "77777", "cp77777", "klingon", "", "0x", "-3", "256"})
        EXPECT_EQ(dbf_parse_encoding(text), std::nullopt) << text;
    EXPECT_EQ(dbf_codepage_of_setting(0x65), 866u);
    EXPECT_EQ(dbf_codepage_of_setting(936), 936u);
    EXPECT_EQ(dbf_codepage_of_setting(0), 0u);
    EXPECT_NE(dbf_accepted_encodings().find("1252"), std::string::npos);
}

TEST(table_header, utf8_check) {
    bool high = false;
    EXPECT_TRUE(dbf_is_utf8("plain", high));
    EXPECT_FALSE(high);
    EXPECT_TRUE(dbf_is_utf8("\xD0\x9F\xD1\x80\xE4\xB8\xAD\xF0\x9F\x98\x80", high));
    EXPECT_TRUE(high);
    // cp1252 text, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF.
    for (const char* bad : {"caf\xE9", "\xD0", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(dbf_is_utf8(bad, high)) << bad;
}
