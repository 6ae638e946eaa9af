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
#include <limits>

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

SYSTEMTIME time_of(const ole_variant& v) {
    SYSTEMTIME st{};
    EXPECT_EQ(v.get_type(), VT_DATE);
    v.get_system_time(st);
    return st;
}

void expect_time(const ole_variant& v, int y, int mo, int d, int h = 0, int mi = 0, int s = 0,
                 int ms = 0) {
    const SYSTEMTIME st = time_of(v);
    EXPECT_EQ(st.wYear, y);
    EXPECT_EQ(st.wMonth, mo);
    EXPECT_EQ(st.wDay, d);
    EXPECT_EQ(st.wHour, h);
    EXPECT_EQ(st.wMinute, mi);
    EXPECT_EQ(st.wSecond, s);
    EXPECT_EQ(st.wMilliseconds, ms);
}

std::string julian(int64_t day, uint32_t ms) {
    return le32(uint32_t(day)) + le32(ms);
}

} // namespace

TEST(field_decode, character_text) {
    ole_variant v = value('C', 10, "abc       ");
    EXPECT_EQ(v.get_type(), VT_BSTR);
    EXPECT_EQ(v.to_wstring(), u"abc");
    // All blanks: empty text, not no value.
    v = value('C', 10, std::string(10, ' '));
    EXPECT_EQ(v.get_type(), VT_BSTR);
    EXPECT_EQ(v.to_wstring(), u"");
    // The text ends at the first zero byte; leading blanks are kept.
    EXPECT_EQ(value('C', 8, std::string("  ab\0cd ", 8)).to_wstring(), u"  ab");
    // Code pages: 0xE9 is é in 1252, й in 1251; 0x8F is П in 866.
    EXPECT_EQ(value('C', 3, "M\xE9x", 0, 3, 1252).to_wstring(), u"Méx");
    EXPECT_EQ(value('C', 3, "M\xE9x", 0, 3, 1251).to_wstring(), u"Mйx");
    EXPECT_EQ(value('C', 1, "\x8F", 0, 3, 866).to_wstring(), u"П");
    // Letters without a rule of their own are their bytes, never text.
    v = value('X', 5, std::string("\xFF%\0a ", 5));
    ASSERT_TRUE(ole_variant::is_binary(v.get_type()));
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(v.get_bytes(bytes), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 5), std::string("\xFF%\0a ", 5));
}

TEST(field_decode, whole_numbers) {
    ole_variant v = value('N', 5, "  123");
    EXPECT_EQ(v.get_type(), VT_I4);
    EXPECT_EQ(v.to_long(), 123);
    EXPECT_EQ(value('N', 5, "     ").get_type(), VT_EMPTY);
    // The asterisks of an overflowed value, and text that is no number, have no value.
    EXPECT_EQ(value('N', 5, "*****").get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 5, "12abc").get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 5, "  -  ").get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 5, "1 2  ").get_type(), VT_EMPTY);
    v = value('N', 2, "-9");
    EXPECT_EQ(v.get_type(), VT_I1);
    EXPECT_EQ(v.to_long(), -9);
    v = value('N', 4, "12.7");
    EXPECT_EQ(v.get_type(), VT_I2);
    EXPECT_EQ(v.to_long(), 12);
    EXPECT_EQ(value('N', 4, "+1e3").to_long(), 1000);
    EXPECT_EQ(value('N', 4, " 007").to_long(), 7);
    // 18 digits always fit 64 bits: the limits of N(18,0).
    v = value('N', 18, "999999999999999999");
    EXPECT_EQ(v.get_type(), VT_I8);
    EXPECT_EQ(v.to_i8(), 999999999999999999);
    EXPECT_EQ(value('N', 18, "-99999999999999999").to_i8(), -99999999999999999);
    // Wider fields are DECIMALs: every digit is kept at their limits.
    v = value('N', 19, "9999999999999999999");
    EXPECT_EQ(v.get_type(), VT_DECIMAL);
    EXPECT_EQ(v.to_string(), "9999999999999999999");
    EXPECT_EQ(value('N', 19, "-999999999999999999").to_string(), "-999999999999999999");
    EXPECT_EQ(value('N', 20, "99999999999999999999").to_string(), "99999999999999999999");
    EXPECT_EQ(value('N', 28, std::string(28, '9')).to_string(), std::string(28, '9'));
    // Beyond what a DECIMAL holds: a double, rounded values counted by the caller.
    v = value('N', 200, right("42", 200));
    EXPECT_EQ(v.get_type(), VT_R8);
    EXPECT_EQ(v.to_double(), 42.0);
}

TEST(field_decode, values_that_cannot_be_carried_say_so) {
    auto exact = [](char type, uint8_t len, std::string_view bytes, uint8_t dec = 0,
                    uint32_t codepage = 1252) {
        dbf_header h;
        h.version = 0x03;
        h.rec_size = 0xFFFF;
        std::vector<dbf_field_descriptor> v(1);
        v[0].field_type = uint8_t(type);
        v[0].len = len;
        v[0].dec = dec;
        dbf_layout_fields(h, v);
        ole_variant out;
        return dbf_field::decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                 v[0], tk_codepage::get(codepage), out);
    };
    EXPECT_TRUE(exact('C', 3, "abc"));
    // A GBK lead byte without its trail byte, and invalid UTF-8.
    EXPECT_FALSE(exact('C', 3, "a\x81 ", 0, 936));
    EXPECT_FALSE(exact('C', 3,
                       "a\xE9"
                       "c",
                       0, tk_cp_utf8));
    EXPECT_TRUE(exact('N', 40, right("123456789012345", 40)));
    EXPECT_FALSE(exact('N', 40, right("1234567890123456789", 40)));
    // Number text that is no number, or a number the field's type cannot hold: no value, said.
    EXPECT_TRUE(exact('N', 5, "     "));
    EXPECT_TRUE(exact('N', 8, "    .   ", 3));
    EXPECT_FALSE(exact('N', 5, "*****"));
    EXPECT_FALSE(exact('N', 8, "*****.**", 2));
    EXPECT_FALSE(exact('N', 40, right("1-2", 40)));
    EXPECT_FALSE(exact('N', 4, "1e10"));
    // A fraction in a field without decimals: its whole part is kept, and the cut is said.
    EXPECT_TRUE(exact('N', 4, "12.0"));
    EXPECT_FALSE(exact('N', 4, "12.7"));
    EXPECT_FALSE(exact('N', 5, "1.5e0"));
    // Blank and zero dates are no dates; dates before the year 100 have no value.
    EXPECT_TRUE(exact('D', 8, "        "));
    EXPECT_TRUE(exact('D', 8, "00000000"));
    EXPECT_FALSE(exact('D', 8, "00500101"));
    EXPECT_FALSE(exact('D', 8, "20231345"));
    EXPECT_TRUE(exact('T', 8, std::string(8, '\0')));
    EXPECT_FALSE(exact('T', 8, std::string("\x01\0\0\0\0\0\0\0", 8)));
}

TEST(field_decode, decimals_and_floats) {
    ole_variant v = value('N', 8, " 1234.56", 2);
    EXPECT_EQ(v.get_type(), VT_DECIMAL);
    EXPECT_EQ(v.to_string(), "1234.56");
    EXPECT_EQ(value('N', 8, " 1234,56", 2).to_string(), "1234.56");
    EXPECT_EQ(value('N', 8, "   -0.50", 2).to_string(), "-0.5");
    EXPECT_EQ(value('N', 8, "*****.**", 2).get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 8, "        ", 2).get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 8, "1,234.56", 2).get_type(), VT_EMPTY);
    // F holds decimal text as N does: read exactly, never through a 32-bit float.
    v = value('F', 20, "1.234567890123460000", 18);
    EXPECT_EQ(v.get_type(), VT_DECIMAL);
    EXPECT_EQ(v.to_string(), "1.23456789012346");
    EXPECT_EQ(value('F', 20, right("0.1", 20), 18).to_string(), "0.1");
    EXPECT_EQ(value('F', 20, right("123456789", 20), 2).to_string(), "123456789");
    EXPECT_EQ(value('F', 20, right("111.1111111111111", 20), 13).to_string(), "111.1111111111111");
    EXPECT_EQ(value('F', 10, right("1.2", 10), 1).to_string(), "1.2");
    EXPECT_EQ(value('F', 20, std::string(20, ' '), 18).get_type(), VT_EMPTY);
    EXPECT_EQ(value('F', 6, "  nan ").get_type(), VT_EMPTY);
    EXPECT_EQ(value('F', 6, "  1e99").get_type(), VT_EMPTY);
}

TEST(field_decode, dates) {
    ole_variant v = value('D', 8, "20200229");
    expect_time(v, 2020, 2, 29);
    EXPECT_EQ(v.to_string(), "2020-02-29");
    // Not calendar dates.
    EXPECT_EQ(value('D', 8, "20190229").get_type(), VT_EMPTY);
    EXPECT_EQ(value('D', 8, "20201301").get_type(), VT_EMPTY);
    EXPECT_EQ(value('D', 8, "20200431").get_type(), VT_EMPTY);
    EXPECT_EQ(value('D', 8, "00000000").get_type(), VT_EMPTY);
    EXPECT_EQ(value('D', 8, "        ").get_type(), VT_EMPTY);
    EXPECT_EQ(value('D', 8, "  /  /  ").get_type(), VT_EMPTY);
    expect_time(value('D', 8, "19000101"), 1900, 1, 1);
    expect_time(value('D', 8, "99991231"), 9999, 12, 31);
}

TEST(field_decode, logical) {
    for (char c : std::string("TtYy"))
        EXPECT_TRUE(value('L', 1, std::string(1, c)).to_bool()) << c;
    for (char c : std::string("FfNn")) {
        ole_variant v = value('L', 1, std::string(1, c));
        EXPECT_EQ(v.get_type(), VT_BOOL) << c;
        EXPECT_FALSE(v.to_bool()) << c;
    }
    // "?" and blank: a value never set.
    EXPECT_EQ(value('L', 1, "?").get_type(), VT_EMPTY);
    EXPECT_EQ(value('L', 1, " ").get_type(), VT_EMPTY);
}

TEST(field_decode, binary_numbers) {
    ole_variant v = value('Y', 8, le64(123456), 4);
    EXPECT_EQ(v.get_type(), VT_CY);
    EXPECT_EQ(v.get_cy().int64, 123456);
    EXPECT_EQ(v.to_string(), "12.3456");
    EXPECT_EQ(value('Y', 8, le64(uint64_t(-200000)), 4).to_string(), "-20");

    v = value('I', 4, le32(uint32_t(-5)));
    EXPECT_EQ(v.get_type(), VT_I4);
    EXPECT_EQ(v.to_long(), -5);
    // Level 7: big-endian with the sign bit flipped; all zeros is no value.
    EXPECT_EQ(value('I', 4, be32(0x80000001), 0, 0x8C).to_long(), 1);
    EXPECT_EQ(value('I', 4, be32(0x7FFFFFFF), 0, 0x8C).to_long(), -1);
    EXPECT_EQ(value('+', 4, be32(0x80000000), 0, 0x8C).to_long(), 0);
    EXPECT_EQ(value('I', 4, be32(0), 0, 0x8C).get_type(), VT_EMPTY);

    v = value('B', 8, le64(std::bit_cast<uint64_t>(1.5)), 0, 0x30);
    EXPECT_EQ(v.get_type(), VT_R8);
    EXPECT_EQ(v.to_double(), 1.5);
    EXPECT_EQ(value('B', 8, le64(std::bit_cast<uint64_t>(std::nan(""))), 0, 0x30).get_type(),
              VT_EMPTY);

    // Level 7 O: positive numbers with the sign bit set, negative ones inverted.
    const uint64_t plus = std::bit_cast<uint64_t>(2.25) | 0x8000000000000000ull;
    const uint64_t minus = ~std::bit_cast<uint64_t>(-2.25);
    EXPECT_EQ(value('O', 8, be64(plus), 0, 0x8C).to_double(), 2.25);
    EXPECT_EQ(value('O', 8, be64(minus), 0, 0x8C).to_double(), -2.25);
    EXPECT_EQ(value('O', 8, be64(0), 0, 0x8C).get_type(), VT_EMPTY);
}

TEST(field_decode, date_and_time) {
    // T: Julian day number and milliseconds.
    expect_time(value('T', 8, julian(2451545, 43'200'000)), 2000, 1, 1, 12);
    ole_variant v = value('T', 8, julian(2440588, 0));
    expect_time(v, 1970, 1, 1);
    EXPECT_EQ(v.to_string(), "1970-01-01");
    EXPECT_EQ(value('T', 8, julian(0, 0)).get_type(), VT_EMPTY);
    EXPECT_EQ(value('T', 8, julian(1721425, 0)).get_type(), VT_EMPTY);
    // Dates before the year 100 are outside the range of the date values.
    EXPECT_EQ(value('T', 8, julian(1721426, 0)).get_type(), VT_EMPTY);
    expect_time(value('T', 8, julian(dbf_days_from_civil(100, 1, 1) + dbf_julian_1970, 0)), 100, 1,
                1);
    // Writers store 12:00:00 as 43199999; the time is read to the second.
    expect_time(value('T', 8, julian(2451545, 43'199'999)), 2000, 1, 1, 12);
    expect_time(value('T', 8, julian(2451545, 86'399'999)), 2000, 1, 2);
    expect_time(value('T', 8, julian(2451545, 3'723'500)), 2000, 1, 1, 1, 2, 3);
    EXPECT_EQ(value('T', 8, julian(2451545, 86'400'000)).get_type(), VT_EMPTY);
    // Beyond 9999-12-31.
    EXPECT_EQ(value('T', 8, julian(5373485, 0)).get_type(), VT_EMPTY);

    // @ (level 7): big-endian double of milliseconds, day 1 being 0001-01-01.
    expect_time(value('@', 8, be64(0x42c9d1045f8e6400ull), 0, 0x8C), 1800, 1, 1, 1, 1, 1);
    expect_time(value('@', 8, be64(0x42cc418ba99a0000ull), 0, 0x8C), 1970, 1, 1);
    expect_time(value('@', 8, be64(0x42ccf9bdcaa9d000ull), 0, 0x8C), 2020, 2, 20, 20, 20, 20);
    const double with_ms = (719163.0 * 86400000.0) + 1500.0;
    expect_time(value('@', 8, be64(std::bit_cast<uint64_t>(with_ms)), 0, 0x8C), 1970, 1, 1, 0, 0, 1,
                500);
    EXPECT_EQ(value('@', 8, be64(0), 0, 0x8C).get_type(), VT_EMPTY);
}

TEST(field_decode, narrow_fields_and_unread_kinds) {
    // Binary fields narrower than their values have no value rather than reading further.
    EXPECT_EQ(value('I', 2, "\x01\x02").get_type(), VT_EMPTY);
    EXPECT_EQ(value('Y', 4, "\x01\x02\x03\x04").get_type(), VT_EMPTY);
    EXPECT_EQ(value('T', 4, "\x01\x02\x03\x04").get_type(), VT_EMPTY);
    EXPECT_EQ(value('B', 4, "\x01\x02\x03\x04", 0, 0x30).get_type(), VT_EMPTY);
    EXPECT_EQ(value('N', 0, "").get_type(), VT_EMPTY);
    EXPECT_EQ(value('L', 0, "").get_type(), VT_EMPTY);
    // G is never read.
    EXPECT_EQ(value('G', 10, "         1").get_type(), VT_EMPTY);
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
