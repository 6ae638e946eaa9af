#include "ole/ole_variant.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

ole_variant cy_of(int64_t scaled) {
    return ole_variant(CY{scaled});
}

// A value set bit for bit, as data from outside can be.
struct raw_variant : ole_variant {
    explicit raw_variant(const VARIANT& v) { var_ = v; }
};

ole_variant bool_payload(uint16_t payload) {
    VARIANT raw;
    raw.vt = VT_BOOL;
    raw.boolVal = static_cast<VARIANT_BOOL>(payload);
    return raw_variant(raw);
}

TEST(ole_variant, copies_and_moves_keep_every_payload) {
    SYSTEMTIME st{2020, 12, 0, 31, 10, 11, 12, 345};
    const ole_variant values[] = {ole_variant(int64_t(-5)),
                                  ole_variant(uint64_t(UINT64_MAX)),
                                  ole_variant(st),
                                  ole_variant(std::string_view("text")),
                                  cy_of(75000),
                                  ole_variant::from_string("0a1b", VT_BYTE_ARRAY)};
    for (const ole_variant& v : values) {
        ole_variant copy(v);
        EXPECT_EQ(copy.get_type(), v.get_type());
        EXPECT_EQ(copy.to_string(), v.to_string());
        ole_variant assigned(std::string_view("a long text that has its own buffer"));
        assigned = v;
        EXPECT_EQ(assigned.to_string(), v.to_string());
        ole_variant moved(std::move(copy));
        EXPECT_EQ(moved.to_string(), v.to_string());
        ole_variant move_assigned;
        move_assigned = std::move(moved);
        EXPECT_EQ(move_assigned.to_string(), v.to_string());
    }
    ole_variant self(std::string_view("self"));
    const ole_variant& alias = self;
    self = alias;
    EXPECT_EQ(self.to_string(), "self");
    ole_variant text;
    text = u"bstr";
    EXPECT_EQ(text.get_type(), VT_BSTR);
    EXPECT_EQ(text.to_string(), "bstr");
}

TEST(ole_variant, text_out_by_type) {
    EXPECT_EQ(ole_variant(short(-12)).to_string(), "-12");
    EXPECT_EQ(ole_variant(-2147483647 - 1).to_string(), "-2147483648");
    EXPECT_EQ(ole_variant(uint8_t(200)).to_string(), "200");
    EXPECT_EQ(ole_variant(4294967295u).to_string(), "4294967295");
    EXPECT_EQ(ole_variant(INT64_MIN).to_string(), "-9223372036854775808");
    EXPECT_EQ(ole_variant(uint64_t(UINT64_MAX)).to_string(), "18446744073709551615");
    EXPECT_EQ(ole_variant(1.5f).to_string(), "1.50000000e+00");
    // A float reads back as the same float from its text.
    for (float f : {0.1f, 1.0000001f, 3.4028235e38f, -1.17549435e-38f, 123456.79f}) {
        ole_variant back = ole_variant::from_string(ole_variant(f).to_string(), VT_R4);
        EXPECT_EQ(back.get_type(), VT_R4);
        EXPECT_EQ(back.to_double(), static_cast<double>(f)) << ole_variant(f).to_string();
    }
    EXPECT_EQ(ole_variant(-0.1).to_string(), "-1.0000000000000001e-01");
    EXPECT_EQ(ole_variant(1e300).to_string(), "1.0000000000000001e+300");
    EXPECT_EQ(cy_of(75000).to_string(), "7.5");
    EXPECT_EQ(ole_variant(DECIMAL{0, 2, DECIMAL_NEG, 0, 1250}).to_string(), "-12.5");
    EXPECT_EQ(ole_variant(DECIMAL{0, 29, 0, 0, 1}).to_string(), "");
    EXPECT_EQ(ole_variant().to_string(), "");
    ole_variant null_value;
    null_value.set_null();
    EXPECT_EQ(null_value.to_string(), "");
    // Text stops at its first zero character.
    ole_variant embedded(std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(embedded.to_string(), "ab");
    EXPECT_EQ(embedded.to_wstring(), u"ab");
    EXPECT_EQ(ole_variant(std::string_view("Grüße")).to_wstring(), u"Grüße");
    EXPECT_EQ(ole_variant(-7).to_wstring(), u"-7");
    std::string appended = "x=";
    ole_variant(42).append_string(appended);
    EXPECT_EQ(appended, "x=42");
}

TEST(ole_variant, bool_payloads) {
    // Payload 1 prints as false but counts as 1; only 0xFFFF is true.
    ole_variant one = bool_payload(1);
    EXPECT_EQ(one.to_string(), "0");
    EXPECT_EQ(one.to_long(), 1);
    EXPECT_FALSE(one.to_bool());
    ole_variant all = bool_payload(0xFFFF);
    EXPECT_EQ(all.to_string(), "1");
    EXPECT_EQ(all.to_long(), 1);
    EXPECT_EQ(all.to_i8(), 1);
    EXPECT_EQ(all.to_double(), 1.0);
    EXPECT_TRUE(all.to_bool());
}

TEST(ole_variant, from_string_by_type) {
    EXPECT_EQ(ole_variant::from_string("", VT_I4).get_type(), VT_EMPTY);
    ole_variant empty_text = ole_variant::from_string("", VT_BSTR);
    EXPECT_EQ(empty_text.get_type(), VT_BSTR);
    EXPECT_EQ(empty_text.to_string(), "");
    EXPECT_EQ(ole_variant::from_string(" 12.9xyz", VT_I4).to_long(), 12);
    EXPECT_EQ(ole_variant::from_string("abc", VT_I4).to_long(), 0);
    EXPECT_EQ(ole_variant::from_string("-5", VT_I2).get_type(), VT_I2);
    EXPECT_EQ(ole_variant::from_string("99999999999", VT_I4).to_long(), INT32_MAX);
    EXPECT_EQ(ole_variant::from_string("-1", VT_UI4).to_ui8(), 4294967295u);
    EXPECT_EQ(ole_variant::from_string("18446744073709551615", VT_UI8).to_ui8(), UINT64_MAX);
    EXPECT_EQ(ole_variant::from_string("-9223372036854775808", VT_I8).to_i8(), INT64_MIN);
    EXPECT_EQ(ole_variant::from_string("12,5", VT_R8).to_double(), 12.5);
    EXPECT_EQ(ole_variant::from_string("  -1.5e2 m", VT_R8).to_double(), -150.0);
    EXPECT_EQ(ole_variant::from_string("x", VT_R8).to_double(), 0.0);
    EXPECT_FLOAT_EQ(static_cast<float>(ole_variant::from_string("0.1", VT_R4).to_double()), 0.1f);

    for (const char* yes : {"yes", "TRUE", "True", "yEs", "2", "-1"})
        EXPECT_TRUE(ole_variant::from_string(yes, VT_BOOL).to_bool()) << yes;
    for (const char* no : {"no", "False", "abc", "0"})
        EXPECT_FALSE(ole_variant::from_string(no, VT_BOOL).to_bool()) << no;

    ole_variant cy = ole_variant::from_string("12,345", VT_CY);
    EXPECT_EQ(cy.get_type(), VT_CY);
    EXPECT_EQ(cy.get_cy().int64, 123450);
    EXPECT_EQ(ole_variant::from_string("abc", VT_CY).get_type(), VT_EMPTY);
    ole_variant dec = ole_variant::from_string("-1234567890123456789012345.678", VT_DECIMAL);
    EXPECT_EQ(dec.to_string(), "-1234567890123456789012345.678");
    EXPECT_EQ(ole_variant::from_string("1.2.3", VT_DECIMAL).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("20201231", VT_DATE).to_string(), "2020-12-31");
    EXPECT_EQ(ole_variant::from_string("not a date", VT_DATE).get_type(), VT_EMPTY);

    // Other types go through the general conversion, which refuses what it cannot read.
    EXPECT_EQ(ole_variant::from_string("12", VT_INT).to_string(), "12");
    EXPECT_THROW(ole_variant::from_string("abc", VT_INT), ole_type_exception);
    EXPECT_EQ(ole_variant::from_wstring(u"a\0b", VT_BSTR).to_wstring(), u"a");
    EXPECT_EQ(ole_variant::from_wstring(u"42", VT_I8).to_i8(), 42);
    EXPECT_EQ(ole_variant::from_wstring(u"2020-12-31", VT_DATE).to_string(), "2020-12-31");
}

TEST(ole_variant, hexadecimal_text_both_cases) {
    const uint8_t* bytes = nullptr;
    for (const char* text : {"0x0a1b", "0a1b", "0X0A1B", "\\x0A1b", "0A1B"}) {
        ole_variant v = ole_variant::from_string(text, VT_BYTE_ARRAY);
        ASSERT_EQ(v.get_type(), VT_BYTE_ARRAY) << text;
        ASSERT_EQ(v.get_bytes(bytes), 2u) << text;
        EXPECT_EQ(bytes[0], 0x0A);
        EXPECT_EQ(bytes[1], 0x1B);
        EXPECT_EQ(v.to_string(), "0x0A1B");
    }
    EXPECT_EQ(ole_variant::from_string("0a1", VT_BYTE_ARRAY).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("0g", VT_BLOB).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("zz", VT_BYTE_ARRAY).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("0x", VT_BYTE_ARRAY).get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(ole_variant::from_string("0x", VT_BYTE_ARRAY).to_string(), "");
    EXPECT_EQ(ole_variant::from_string(std::string_view("0a\0b", 4), VT_BLOB).to_string(), "0x0A");
}

TEST(ole_variant, numbers_out) {
    EXPECT_EQ(ole_variant(uint8_t(200)).to_i8(), 200);
    EXPECT_EQ(ole_variant(short(-3)).to_ui8(), UINT64_MAX - 2);
    EXPECT_EQ(ole_variant(-2.9).to_long(), -2);
    EXPECT_EQ(ole_variant(2.9f).to_i8(), 2);
    EXPECT_EQ(ole_variant(1e30).to_long(), INT32_MAX);
    EXPECT_EQ(ole_variant(int64_t(0x100000005)).to_long(), 5);
    EXPECT_EQ(ole_variant(uint64_t(UINT64_MAX)).to_double(), 18446744073709551615.0);
    EXPECT_EQ(cy_of(25000).to_long(), 2); // half to even
    EXPECT_EQ(cy_of(35000).to_i8(), 4);
    EXPECT_EQ(cy_of(-12345).to_double(), -1.2345);
    EXPECT_EQ(cy_of(INT64_MAX).to_long(), 0); // overflow gives 0
    ole_variant dec = ole_variant::from_string("-2.5", VT_DECIMAL);
    EXPECT_EQ(dec.to_long(), -2);
    EXPECT_EQ(dec.to_double(), -2.5);
    EXPECT_EQ(dec.to_ui8(), 0u); // overflow gives 0
    EXPECT_TRUE(dec.to_bool());
    EXPECT_FALSE(ole_variant::from_string("0.4", VT_DECIMAL).to_bool());
    EXPECT_FALSE(ole_variant(std::string_view("1")).to_bool());
    EXPECT_EQ(ole_variant().to_double(), 0.0);
    EXPECT_THROW(ole_variant(std::string_view("1")).to_double(), tk_mail_assertion);
    SYSTEMTIME st{};
    ole_variant(7).get_system_time(st);
    EXPECT_EQ(st, SYSTEMTIME{});
}

} // namespace
