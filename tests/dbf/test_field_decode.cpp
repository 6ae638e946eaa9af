// Decoding of every type letter from field bytes built in the test.
#include "dbf/dbf_field.h"
#include "dbf/dbf_header.h"
#include "dbf/dbf_record.h"
#include "ole/ole_decimal.h"
#include "test_table_builder.h"
#include "tk/tk_text.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>

using namespace dbf_test;

namespace {

dbf_field_descriptor descriptor(char type, uint8_t len, uint8_t dec = 0, uint8_t version = 0x03) {
    dbf_header h;
    h.version = version;
    h.rec_size = 0xFFFF;
    std::vector<dbf_field_descriptor> v(1);
    v[0].name[0] = 'F';
    v[0].field_type = uint8_t(type);
    v[0].len = len;
    v[0].dec = dec;
    dbf_layout_fields(h, v);
    return v[0];
}

std::span<const uint8_t> span_of(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

ole_variant value(char type, uint8_t len, const std::string& bytes, uint8_t dec = 0,
                  uint8_t version = 0x03, uint32_t codepage = 1252) {
    const dbf_field_descriptor fd = descriptor(type, len, dec, version);
    EXPECT_EQ(bytes.size(), fd.width) << "test bytes do not fill the field";
    return dbf_field::get_variant(span_of(bytes), fd, codepage);
}

std::string julian(int64_t day, uint32_t ms) {
    return le32(uint32_t(day)) + le32(ms);
}

std::string double_le(double d) {
    return le64(std::bit_cast<uint64_t>(d));
}

// One field's bytes and the value read from them, as text; nullptr: no value. A value has
// the type its descriptor gives the column.
struct decode_case {
    char type;
    uint8_t len;
    std::string bytes;
    const char* text;
    uint8_t dec = 0;
    uint8_t version = 0x03;
};

void expect_values(std::span<const decode_case> cases) {
    for (const decode_case& c : cases) {
        SCOPED_TRACE(std::string(1, c.type) + std::to_string(c.len) + " '" + c.bytes + "'");
        const ole_variant v = value(c.type, c.len, c.bytes, c.dec, c.version);
        if (!c.text) {
            EXPECT_EQ(v.get_type(), VT_EMPTY);
            continue;
        }
        EXPECT_EQ(v.get_type(), descriptor(c.type, c.len, c.dec, c.version).vartype);
        EXPECT_EQ(v.to_string(), c.text);
    }
}

void expect_same_decimal(const std::string& text, uint8_t dec = 2) {
    // The widest field whose values are all DECIMALs: 28 digits and the point.
    const ole_variant v = value('N', 29, right(text, 29), dec);
    ASSERT_EQ(v.get_type(), VT_DECIMAL) << text;
    std::string c_text = text;
    for (char& c : c_text)
        c = c == ',' ? '.' : c;
    if (!c_text.empty() && c_text[0] == '+')
        c_text.erase(0, 1);
    DECIMAL expected{};
    ASSERT_EQ(VarDecFromStr(std::string_view(c_text), LOCALE_EN_US, 0, expected), S_OK) << text;
    const DECIMAL got = v.get_decimal();
    EXPECT_EQ(got.scale, expected.scale) << text;
    EXPECT_EQ(got.sign, expected.sign) << text;
    EXPECT_EQ(got.Hi32, expected.Hi32) << text;
    EXPECT_EQ(got.Lo64, expected.Lo64) << text;
}

} // namespace

TEST(field_decode, character_text) {
    // All blanks: empty text, not no value; the text ends at the first zero byte; leading
    // blanks are kept.
    const decode_case cases[] = {{'C', 10, "abc       ", "abc"},
                                 {'C', 10, std::string(10, ' '), ""},
                                 {'C', 8, std::string("  ab\0cd ", 8), "  ab"}};
    expect_values(cases);
    // Code pages: 0xE9 is é in 1252, й in 1251; 0x8F is П in 866.
    EXPECT_EQ(value('C', 3, "M\xE9x", 0, 3, 1252).to_wstring(), u"Méx");
    EXPECT_EQ(value('C', 3, "M\xE9x", 0, 3, 1251).to_wstring(), u"Mйx");
    EXPECT_EQ(value('C', 1, "\x8F", 0, 3, 866).to_wstring(), u"П");
    // Letters without a rule of their own are their bytes, never text.
    ole_variant v = value('X', 5, std::string("\xFF%\0a ", 5));
    ASSERT_TRUE(ole_variant::is_binary(v.get_type()));
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(v.get_bytes(bytes), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 5), std::string("\xFF%\0a ", 5));
}

TEST(field_decode, numbers_as_text) {
    const decode_case cases[] = {
        {'N', 5, "  123", "123"},
        {'N', 5, "     ", nullptr},
        // The asterisks of an overflowed value, and text that is no number, have no value.
        {'N', 5, "*****", nullptr},
        {'N', 5, "12abc", nullptr},
        {'N', 5, "  -  ", nullptr},
        {'N', 5, "1 2  ", nullptr},
        {'N', 2, "-9", "-9"},
        {'N', 4, "12.7", "12"},
        {'N', 4, "+1e3", "1000"},
        {'N', 4, " 007", "7"},
        // 18 digits always fit 64 bits: the limits of N(18,0).
        {'N', 18, "999999999999999999", "999999999999999999"},
        {'N', 18, "-99999999999999999", "-99999999999999999"},
        // Wider fields are DECIMALs: every digit is kept at their limits.
        {'N', 19, "9999999999999999999", "9999999999999999999"},
        {'N', 19, "-999999999999999999", "-999999999999999999"},
        {'N', 20, "99999999999999999999", "99999999999999999999"},
        {'N', 28, std::string(28, '9'), "9999999999999999999999999999"},
        // Beyond what a DECIMAL holds: a double, rounded values counted by the caller.
        {'N', 200, right("42", 200), "4.2000000000000000e+01"},
        {'N', 8, " 1234.56", "1234.56", 2},
        {'N', 8, " 1234,56", "1234.56", 2},
        {'N', 8, "   -0.50", "-0.5", 2},
        {'N', 8, "*****.**", nullptr, 2},
        {'N', 8, "        ", nullptr, 2},
        {'N', 8, "1,234.56", nullptr, 2},
        // F holds decimal text as N does: read exactly, never through a 32-bit float.
        {'F', 20, "1.234567890123460000", "1.23456789012346", 18},
        {'F', 20, right("0.1", 20), "0.1", 18},
        {'F', 20, right("123456789", 20), "123456789", 2},
        {'F', 20, right("111.1111111111111", 20), "111.1111111111111", 13},
        {'F', 10, right("1.2", 10), "1.2", 1},
        {'F', 20, std::string(20, ' '), nullptr, 18},
        {'F', 6, "  nan ", nullptr},
        {'F', 6, "  1e99", nullptr}};
    expect_values(cases);
}

TEST(field_decode, values_that_cannot_be_carried_say_so) {
    struct exact_case {
        char type;
        uint8_t len;
        std::string bytes;
        bool exact;
        uint8_t dec = 0;
        uint32_t codepage = 1252;
    };
    const exact_case cases[] = {
        {'C', 3, "abc", true},
        // A GBK lead byte without its trail byte, and invalid UTF-8.
        {'C', 3, "a\x81 ", false, 0, 936},
        {'C', 3, "a\xE9 ", false, 0, tk_cp_utf8},
        {'N', 40, right("123456789012345", 40), true},
        {'N', 40, right("1234567890123456789", 40), false},
        // Number text that is no number, or a number the field's type cannot hold.
        {'N', 5, "     ", true},
        {'N', 8, "    .   ", true, 3},
        {'N', 5, "*****", false},
        {'N', 8, "*****.**", false, 2},
        {'N', 40, right("1-2", 40), false},
        {'N', 4, "1e10", false},
        // A fraction in a field without decimals: its whole part is kept, and the cut is said.
        {'N', 4, "12.0", true},
        {'N', 4, "12.7", false},
        {'N', 5, "1.5e0", false},
        // Blank and zero dates are no dates; dates before the year 100 have no value.
        {'D', 8, "        ", true},
        {'D', 8, "00000000", true},
        {'D', 8, "00500101", false},
        {'D', 8, "20231345", false},
        {'T', 8, std::string(8, '\0'), true},
        {'T', 8, std::string("\x01\0\0\0\0\0\0\0", 8), false}};
    for (const exact_case& c : cases) {
        SCOPED_TRACE(std::string(1, c.type) + " '" + c.bytes + "'");
        const dbf_field_descriptor fd = descriptor(c.type, c.len, c.dec);
        ole_variant out;
        EXPECT_EQ(
            dbf_field::decode({reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()},
                              fd, tk_codepage::get(c.codepage), out),
            c.exact);
    }
}

TEST(field_decode, dates_logicals_and_binary_values) {
    const uint64_t sign = 0x8000000000000000ull;
    const decode_case cases[] = {
        {'D', 8, "20200229", "2020-02-29"},
        {'D', 8, "19000101", "1900-01-01"},
        {'D', 8, "99991231", "9999-12-31"},
        // Not calendar dates.
        {'D', 8, "20190229", nullptr},
        {'D', 8, "20201301", nullptr},
        {'D', 8, "20200431", nullptr},
        {'D', 8, "00000000", nullptr},
        {'D', 8, "        ", nullptr},
        {'D', 8, "  /  /  ", nullptr},
        // "?" and blank: a value never set.
        {'L', 1, "?", nullptr},
        {'L', 1, " ", nullptr},
        {'Y', 8, le64(123456), "12.3456", 4},
        {'Y', 8, le64(uint64_t(-200000)), "-20", 4},
        {'I', 4, le32(uint32_t(-5)), "-5"},
        // Level 7: big-endian with the sign bit flipped; all zeros is no value.
        {'I', 4, be32(0x80000001), "1", 0, 0x8C},
        {'I', 4, be32(0x7FFFFFFF), "-1", 0, 0x8C},
        {'+', 4, be32(0x80000000), "0", 0, 0x8C},
        {'I', 4, be32(0), nullptr, 0, 0x8C},
        {'B', 8, double_le(1.5), "1.5000000000000000e+00", 0, 0x30},
        {'B', 8, double_le(std::nan("")), nullptr, 0, 0x30},
        // Level 7 O: positive numbers with the sign bit set, negative ones inverted.
        {'O', 8, be64(std::bit_cast<uint64_t>(2.25) | sign), "2.2500000000000000e+00", 0, 0x8C},
        {'O', 8, be64(~std::bit_cast<uint64_t>(-2.25)), "-2.2500000000000000e+00", 0, 0x8C},
        {'O', 8, be64(0), nullptr, 0, 0x8C},
        // Binary fields narrower than their values have no value rather than reading further.
        {'I', 2, "\x01\x02", nullptr},
        {'Y', 4, "\x01\x02\x03\x04", nullptr},
        {'T', 4, "\x01\x02\x03\x04", nullptr},
        {'B', 4, "\x01\x02\x03\x04", nullptr, 0, 0x30},
        {'N', 0, "", nullptr},
        {'L', 0, "", nullptr},
        // G is never read.
        {'G', 10, "         1", nullptr}};
    expect_values(cases);
    for (char c : std::string("TtYyFfNn")) {
        const ole_variant v = value('L', 1, std::string(1, c));
        EXPECT_EQ(v.get_type(), VT_BOOL) << c;
        EXPECT_EQ(v.to_bool(), std::string("TtYy").find(c) != std::string::npos) << c;
    }
}

TEST(field_decode, date_and_time) {
    const int64_t year_100 = dbf_days_from_civil(100, 1, 1) + dbf_julian_1970;
    const double with_ms = (719163.0 * 86400000.0) + 1500.0;
    // T: Julian day number and milliseconds.
    const decode_case cases[] = {
        {'T', 8, julian(2451545, 43'200'000), "2000-01-01 12:00:00"},
        {'T', 8, julian(2440588, 0), "1970-01-01"},
        {'T', 8, julian(0, 0), nullptr},
        {'T', 8, julian(1721425, 0), nullptr},
        // Dates before the year 100 are outside the range of the date values.
        {'T', 8, julian(1721426, 0), nullptr},
        {'T', 8, julian(year_100, 0), "0100-01-01"},
        // Writers store 12:00:00 as 43199999; the time is read to the second.
        {'T', 8, julian(2451545, 43'199'999), "2000-01-01 12:00:00"},
        {'T', 8, julian(2451545, 86'399'999), "2000-01-02"},
        {'T', 8, julian(2451545, 3'723'500), "2000-01-01 01:02:03"},
        {'T', 8, julian(2451545, 86'400'000), nullptr},
        // Beyond 9999-12-31.
        {'T', 8, julian(5373485, 0), nullptr},
        // @ (level 7): big-endian double of milliseconds, day 1 being 0001-01-01 (the
        // dBASE 7 fixture's values are whole seconds).
        {'@', 8, be64(std::bit_cast<uint64_t>(with_ms)), "1970-01-01 00:00:01.500", 0, 0x8C},
        {'@', 8, be64(0), nullptr, 0, 0x8C}};
    expect_values(cases);
}

TEST(field_decode, records_with_null_flags_and_varchar) {
    const std::vector<field> fields = {{"NAME", 'V', 10, 0, dbf_ff_nullable},
                                       {"RAW", 'Q', 4},
                                       {"N", 'N', 4, 0, dbf_ff_nullable},
                                       {"C", 'C', 3},
                                       {"_NullFlags", '0', 1, 0, dbf_ff_system}};
    const std::string table = make_table(0x32, fields, {});
    std::span<const uint8_t> image = span_of(table);
    dbf_header h = dbf_decode_header(image.first(32), table.size());
    std::vector<dbf_field_descriptor> fds =
        dbf_decode_descriptors(image.first(h.data_offset), h, table.size());
    dbf_layout_fields(h, fds);

    dbf_record r(fds, nullptr, 1252);
    ASSERT_EQ(r.size(), 4u); // _NullFlags is not a column
    EXPECT_EQ(r[0].get_name(), u"NAME");
    EXPECT_EQ(r[3].get_name(), u"C");

    // Bits: NAME length 0, NAME null 1, RAW length 2, N null 3.
    std::string rec = record({std::string("ab   \0\0\0\0\x05", 10), bytes({1, 2, 3, 2}), "  12",
                              "xyz", std::string(1, char(0x01 | 0x04))});
    r.assign(span_of(rec));
    EXPECT_FALSE(r.is_deleted());
    EXPECT_EQ(r[0].get_type(), VT_BSTR);
    EXPECT_EQ(r[0].to_wstring(), u"ab   ");
    const uint8_t* raw = nullptr;
    ASSERT_EQ(r[1].get_bytes(raw), 2u);
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[1], 2);
    EXPECT_EQ(r[2].to_long(), 12);
    EXPECT_EQ(r[3].to_wstring(), u"xyz");

    // Null bits set: null values; no length bits: the whole width is the value.
    rec = record(
        {"0123456789", bytes({1, 2, 3, 4}), "  12", "xyz", std::string(1, char(0x02 | 0x08))}, '*');
    r.assign(span_of(rec));
    EXPECT_TRUE(r.is_deleted());
    EXPECT_EQ(r[0].get_type(), VT_NULL);
    ASSERT_EQ(r[1].get_bytes(raw), 4u);
    EXPECT_EQ(r[2].get_type(), VT_NULL);
    EXPECT_EQ(r[3].to_wstring(), u"xyz");

    // A length byte beyond the field is bounded by it.
    rec = record({"0123456789", bytes({1, 2, 3, 200}), "  12", "xyz", std::string(1, '\x04')});
    r.assign(span_of(rec));
    EXPECT_EQ(r[1].get_bytes(raw), 3u);

    // Bytes shorter than the record leave the fields beyond them without value.
    r.assign(span_of(rec.substr(0, 12)));
    EXPECT_EQ(r[0].get_type(), VT_BSTR);
    EXPECT_EQ(r[3].get_type(), VT_EMPTY);

    // Without a memo file memo fields have no value.
    const std::string memo_table = make_table(0x83, {{"M", 'M', 10}}, {});
    image = span_of(memo_table);
    h = dbf_decode_header(image.first(32), memo_table.size());
    fds = dbf_decode_descriptors(image.first(h.data_offset), h, memo_table.size());
    dbf_layout_fields(h, fds);
    const std::string memo_rec = record({right("1", 10)});
    dbf_record m(fds, span_of(memo_rec), nullptr, 0);
    EXPECT_EQ(m[0].get_type(), VT_EMPTY);
}

// N fields with decimals are read straight from their digits when they are short; the DECIMAL
// must be exactly the one the general number reader makes of the same text.
TEST(field_decode, short_decimals_give_the_general_readers_decimal) {
    for (const char* text :
         {"0", "0.00", "-0.00", "+0.5", "-.5", "5.", "12.50", "-12.50", "100", "100.00", "007.10",
          "1234,56", "-1234567890.12", "9999999999999999999", "99999999999999999.99",
          "0.0000000000000000001", "-1000000000000000000", "+12.345"})
        expect_same_decimal(text);
    // Beyond 19 digits and with exponents the general reader does the work.
    for (const char* text : {"12345678901234567890.5", "1234567890123456789012345678", "1.5e3",
                             "-2E-2", "0.000000000000000000000000001"})
        expect_same_decimal(text, 5);
}

TEST(field_decode, decimal_text_that_is_no_number_has_no_value) {
    for (const char* text : {"*****.**", "", "-", ".", "1.2.3", "1-2", "12abc", "1 2", "--1"})
        EXPECT_EQ(value('N', 29, right(text, 29), 2).get_type(), VT_EMPTY) << text;
}
