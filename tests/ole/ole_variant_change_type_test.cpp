#include "ole/ole_variant.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

ole_variant changed(ole_variant v, VARTYPE vt) {
    v.change_type(vt);
    return v;
}

ole_variant cy_of(int64_t scaled) {
    return ole_variant(CY{scaled});
}

TEST(ole_variant_change_type, nothing_changes_for_same_empty_null_and_binary_pairs) {
    EXPECT_EQ(changed(ole_variant(), VT_I4).get_type(), VT_EMPTY);
    ole_variant null_value;
    null_value.set_null();
    EXPECT_EQ(changed(null_value, VT_BSTR).get_type(), VT_NULL);
    ole_variant blob = ole_variant::from_string("0a", VT_BYTE_ARRAY);
    EXPECT_EQ(changed(blob, VT_BLOB).get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(changed(ole_variant(5), VT_I4).to_long(), 5);
}

TEST(ole_variant_change_type, from_64_bit_values) {
    EXPECT_EQ(changed(ole_variant(int64_t(-5)), VT_I2).to_string(), "-5");
    EXPECT_EQ(changed(ole_variant(int64_t(70000)), VT_I4).get_type(), VT_I4);
    EXPECT_EQ(changed(ole_variant(uint64_t(4000000000)), VT_UINT).to_string(), "4000000000");
    EXPECT_EQ(changed(ole_variant(int64_t(-1)), VT_I1).to_long(), -1);
    EXPECT_EQ(changed(ole_variant(int64_t(1) << 53), VT_R8).to_double(), 9007199254740992.0);
    EXPECT_EQ(changed(ole_variant(uint64_t(UINT64_MAX)), VT_R8).to_double(),
              18446744073709551615.0);
    EXPECT_EQ(changed(ole_variant(int64_t(5)), VT_CY).get_cy().int64, 50000);
    EXPECT_EQ(changed(ole_variant(int64_t(-5)), VT_BSTR).to_wstring(), u"-5");
    EXPECT_EQ(changed(ole_variant(uint64_t(UINT64_MAX)), VT_BSTR).to_string(),
              "18446744073709551615");
    EXPECT_EQ(changed(ole_variant(INT64_MIN), VT_DECIMAL).to_string(), "-9223372036854775808");
    EXPECT_EQ(changed(ole_variant(uint64_t(7)), VT_I8).to_i8(), 7);
    // Non-zero is true, whatever its low bits.
    EXPECT_EQ(changed(ole_variant(int64_t(65536)), VT_BOOL).to_string(), "1");
    EXPECT_EQ(changed(ole_variant(int64_t(0)), VT_BOOL).to_string(), "0");

    // What the target cannot hold is refused, not cut to its low bits.
    EXPECT_THROW(changed(ole_variant(int64_t(70000)), VT_I2), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(-1)), VT_UI4), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(256)), VT_UI1), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(-1)), VT_UI8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(uint64_t(UINT64_MAX)), VT_I8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(INT64_MAX)), VT_CY), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(1)), VT_DATE), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(int64_t(1)), VT_BYTE_ARRAY), ole_cast_exception);
}

TEST(ole_variant_change_type, dates_only_to_and_from_text) {
    SYSTEMTIME st{2020, 12, 0, 31, 10, 11, 12, 50};
    ole_variant date(st);
    EXPECT_EQ(changed(date, VT_BSTR).to_wstring(), u"2020-12-31 10:11:12.050");
    EXPECT_THROW(changed(date, VT_R8), ole_cast_exception);
    EXPECT_THROW(changed(date, VT_I8), ole_cast_exception);

    ole_variant parsed = changed(ole_variant(std::string_view("12/31/2020 1:05 PM")), VT_DATE);
    EXPECT_EQ(parsed.get_type(), VT_DATE);
    EXPECT_EQ(parsed.to_string(), "2020-12-31 13:05:00");
    EXPECT_THROW(changed(ole_variant(std::string_view("someday")), VT_DATE), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(44196.0), VT_DATE), ole_cast_exception);
}

TEST(ole_variant_change_type, to_64_bit_values) {
    EXPECT_EQ(changed(ole_variant(2.9), VT_I8).to_i8(), 2);
    EXPECT_EQ(changed(ole_variant(-2.9f), VT_I8).to_i8(), -2);
    EXPECT_EQ(changed(ole_variant(short(-2)), VT_I8).to_i8(), -2);
    EXPECT_EQ(changed(ole_variant(uint16_t(65535)), VT_UI8).to_ui8(), 65535u);
    EXPECT_EQ(changed(ole_variant(true), VT_I8).to_i8(), -1);
    EXPECT_EQ(changed(ole_variant::from_string("2.5", VT_DECIMAL), VT_I8).to_i8(), 2);
    EXPECT_EQ(changed(ole_variant::from_string("3.5", VT_DECIMAL), VT_UI8).to_ui8(), 4u);

    // Currency: the nearest whole amount, halves upward.
    EXPECT_EQ(changed(cy_of(75000), VT_I8).to_i8(), 8);
    EXPECT_EQ(changed(cy_of(-75000), VT_I8).to_i8(), -7);
    EXPECT_EQ(changed(cy_of(74999), VT_I8).to_i8(), 7);
    EXPECT_EQ(changed(cy_of(-76000), VT_I8).to_i8(), -8);
    EXPECT_EQ(changed(cy_of(-74000), VT_I8).to_i8(), -7);
    EXPECT_EQ(changed(cy_of(INT64_MAX), VT_I8).to_i8(), 922337203685478);
    EXPECT_EQ(changed(cy_of(INT64_MIN), VT_I8).to_i8(), -922337203685478);
    EXPECT_THROW(changed(cy_of(-10000), VT_UI8), ole_cast_exception);

    EXPECT_THROW(changed(ole_variant(std::string_view("12")), VT_I8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(1e19), VT_I8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(-1.0), VT_UI8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(std::nan("")), VT_I8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant::from_string("1e20", VT_DECIMAL), VT_I8), ole_cast_exception);
}

TEST(ole_variant_change_type, to_32_and_16_bit_values) {
    // Floating point rounds half away from zero.
    EXPECT_EQ(changed(ole_variant(2.5), VT_I4).to_long(), 3);
    EXPECT_EQ(changed(ole_variant(-2.5), VT_I4).to_long(), -3);
    EXPECT_EQ(changed(ole_variant(0.49999999999999994), VT_I4).to_long(), 0);
    EXPECT_EQ(changed(ole_variant(1.5f), VT_I2).to_long(), 2);
    EXPECT_EQ(changed(ole_variant(-1.5f), VT_I2).get_type(), VT_I2);
    EXPECT_EQ(changed(ole_variant(65535.4), VT_UI2).to_long(), 65535);
    EXPECT_EQ(changed(ole_variant(4294967295.0), VT_UI4).to_i8(), 4294967295);
    EXPECT_THROW(changed(ole_variant(32767.5), VT_I2), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(-0.5), VT_UI4), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(3e9), VT_I4), ole_cast_exception);

    // DECIMAL rounds half to even; failure is an exception.
    EXPECT_EQ(changed(ole_variant::from_string("2.5", VT_DECIMAL), VT_I4).to_long(), 2);
    EXPECT_EQ(changed(ole_variant::from_string("-3.5", VT_DECIMAL), VT_I2).to_long(), -4);
    EXPECT_THROW(changed(ole_variant::from_string("65536", VT_DECIMAL), VT_UI2),
                 ole_cast_exception);

    // Any other type keeps its value and type.
    ole_variant text = changed(ole_variant(std::string_view("12")), VT_I4);
    EXPECT_EQ(text.get_type(), VT_BSTR);
    EXPECT_EQ(text.to_string(), "12");
    EXPECT_EQ(changed(ole_variant(short(7)), VT_I4).get_type(), VT_I2);
    EXPECT_EQ(changed(cy_of(10000), VT_I4).get_type(), VT_CY);
}

TEST(ole_variant_change_type, binary_to_and_from) {
    const uint8_t bytes[] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(changed(ole_variant(4, bytes), VT_BSTR).to_wstring(), u"ab");
    EXPECT_EQ(changed(ole_variant(0, bytes), VT_BSTR).to_wstring(), u"");
    EXPECT_EQ(changed(ole_variant(4, bytes), VT_I4).get_type(), VT_BYTE_ARRAY);

    EXPECT_EQ(changed(ole_variant(short(0x0102)), VT_BYTE_ARRAY).to_string(), "0x0201");
    EXPECT_EQ(changed(ole_variant(true), VT_BLOB).to_string(), "0xFFFF");
    EXPECT_EQ(changed(ole_variant(0x01020304), VT_BYTE_ARRAY).to_string(), "0x04030201");
    EXPECT_EQ(changed(ole_variant(1.0f), VT_BYTE_ARRAY).to_string(), "0x0000803F");
    EXPECT_EQ(changed(ole_variant(1.0), VT_BYTE_ARRAY).to_string(), "0x000000000000F03F");
    EXPECT_EQ(changed(cy_of(1), VT_BYTE_ARRAY).to_string(), "0x0100000000000000");
    EXPECT_EQ(changed(ole_variant(uint8_t(0xAB)), VT_BYTE_ARRAY).to_string(), "0xAB");
    EXPECT_EQ(changed(ole_variant(DECIMAL{0, 2, DECIMAL_NEG, 1, 5}), VT_BYTE_ARRAY).to_string(),
              "0x0E000280010000000500000000000000");
    EXPECT_EQ(changed(ole_variant(std::string_view("AZ")), VT_BYTE_ARRAY).to_string(), "0x415A");
}

TEST(ole_variant_change_type, general_conversions) {
    EXPECT_EQ(changed(ole_variant(std::string_view(" 12.5 ")), VT_R8).to_double(), 12.5);
    EXPECT_EQ(changed(ole_variant(std::string_view("1,234.5")), VT_CY).to_string(), "1234.5");
    EXPECT_EQ(changed(ole_variant(std::string_view("1.5")), VT_DECIMAL).to_string(), "1.5");
    EXPECT_EQ(changed(ole_variant(std::string_view("2.5")), VT_UI1).to_long(), 2);
    EXPECT_EQ(changed(ole_variant(std::string_view("true")), VT_BOOL).to_string(), "1");
    EXPECT_EQ(changed(ole_variant(2.5), VT_CY).to_string(), "2.5");
    EXPECT_EQ(changed(ole_variant(0.1), VT_BSTR).to_string(), "0.1");
    EXPECT_EQ(changed(ole_variant(1e20), VT_BSTR).to_string(), "1E+20");
    EXPECT_EQ(changed(ole_variant(true), VT_BSTR).to_string(), "True");
    EXPECT_EQ(changed(cy_of(-12345), VT_R8).to_double(), -1.2345);
    EXPECT_EQ(changed(ole_variant::from_string("12.345", VT_DECIMAL), VT_CY).get_cy().int64,
              123450);
    EXPECT_EQ(changed(ole_variant(short(200)), VT_UI1).to_string(), "200");
    // Refused: text that is no number, values out of range, a decimal comma in text.
    EXPECT_THROW(changed(ole_variant(std::string_view("abc")), VT_R8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(std::string_view("12,5")), VT_R8), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(short(300)), VT_I1), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(1e300), VT_R4), ole_cast_exception);
    EXPECT_THROW(changed(ole_variant(1.5), VT_NULL), ole_cast_exception);
    EXPECT_EQ(changed(ole_variant(1.5), VT_EMPTY).get_type(), VT_EMPTY);
}

} // namespace
