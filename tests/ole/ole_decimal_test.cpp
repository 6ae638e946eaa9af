#include "ole/ole_decimal.h"

#include <gtest/gtest.h>

namespace {

DECIMAL dec(std::string_view text) {
    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(text, LOCALE_EN_US, 0, d), S_OK) << text;
    return d;
}

std::string text_of(const DECIMAL& d) {
    std::string out;
    ole_decimal_append_text(d, out);
    return out;
}

TEST(ole_decimal, reads_en_us_number_text) {
    DECIMAL d = dec("0.5");
    EXPECT_EQ(d.scale, 1);
    EXPECT_EQ(d.Lo64, 5u);
    d = dec("-1");
    EXPECT_EQ(d.sign, DECIMAL_NEG);
    EXPECT_EQ(d.Lo64, 1u);
    // Trailing zeros of the fraction carry no scale.
    d = dec("18446744073709551616.0");
    EXPECT_EQ(d.scale, 0);
    EXPECT_EQ(d.Hi32, 1u);
    EXPECT_EQ(d.Lo64, 0u);
    EXPECT_EQ(text_of(dec("  +1,234,567.25  ")), "1234567.25");
    EXPECT_EQ(text_of(dec("(12.5)")), "-12.5");
    EXPECT_EQ(text_of(dec("12.5-")), "-12.5");
    EXPECT_EQ(text_of(dec("$3")), "3");
    EXPECT_EQ(text_of(dec("1.5E3")), "1500");
    EXPECT_EQ(text_of(dec(".25")), "0.25");
    EXPECT_EQ(text_of(dec("-0.000")), "0");

    DECIMAL out{};
    for (std::string_view bad :
         {"", "  ", "abc", "1.2.3", "12,5", "1,23", "1e", "--1", "1 2", "0x10", "(-1)", "."})
        EXPECT_EQ(VarDecFromStr(bad, LOCALE_EN_US, 0, out), DISP_E_TYPEMISMATCH) << bad;
    EXPECT_EQ(VarDecFromStr(u"7.25", LOCALE_EN_US, 0, out), S_OK);
    EXPECT_EQ(text_of(out), "7.25");
}

TEST(ole_decimal, keeps_28_and_29_digit_values_exact) {
    const char* const exact[] = {
        "79228162514264337593543950335",  // 2^96 - 1
        "-79228162514264337593543950335", //
        "7.9228162514264337593543950335", // the same digits at scale 28
        "0.0000000000000000000000000001", // the smallest step
        "1234567890123456789012345678",   // 28 digits
        "123456789012345678.9012345678",
    };
    for (const char* text : exact)
        EXPECT_EQ(text_of(dec(text)), text);
    DECIMAL out{};
    EXPECT_EQ(VarDecFromStr("79228162514264337593543950336", 0, 0, out), DISP_E_OVERFLOW);
    EXPECT_EQ(VarDecFromStr("1e29", 0, 0, out), DISP_E_OVERFLOW);
    // More decimals than a DECIMAL holds: rounded half to even at the last place that fits.
    EXPECT_EQ(text_of(dec("0.00000000000000000000000000005")), "0");
    EXPECT_EQ(text_of(dec("0.00000000000000000000000000015")), "0.0000000000000000000000000002");
    EXPECT_EQ(text_of(dec("7.92281625142643375935439503354")), "7.9228162514264337593543950335");
    EXPECT_EQ(text_of(dec("1.00000000000000000000000000005")), "1");
}

TEST(ole_decimal, text_drops_trailing_zeros_and_keeps_leading_ones) {
    EXPECT_EQ(text_of(DECIMAL{0, 2, 0, 0, 100}), "1");
    EXPECT_EQ(text_of(DECIMAL{0, 3, 0, 0, 1500}), "1.5");
    EXPECT_EQ(text_of(DECIMAL{0, 7, 0, 0, 9000}), "0.0009");
    EXPECT_EQ(text_of(DECIMAL{0, 1, DECIMAL_NEG, 0, 15}), "-1.5");
    EXPECT_EQ(text_of(DECIMAL{0, 0, DECIMAL_NEG, 0, 0}), "0");
    std::u16string wide;
    EXPECT_EQ(VarBstrFromDec(DECIMAL{0, 10, 0, 0, 1}, LOCALE_USER_DEFAULT, 0, wide), S_OK);
    EXPECT_EQ(wide, u"0.0000000001");
    EXPECT_EQ(VarBstrFromDec(DECIMAL{0, 29, 0, 0, 1}, 0, 0, wide), E_INVALIDARG);
}

TEST(ole_decimal, whole_numbers_round_half_to_even_and_report_overflow) {
    int32_t i4 = 0;
    const std::pair<const char*, int32_t> rounding[] = {
        {"0.5", 0},   {"1.5", 2}, {"2.5", 2},   {"-0.5", 0},
        {"-1.5", -2}, {"0.6", 1}, {"-0.6", -1}, {"2.5000000000000000000000001", 3}};
    for (auto [text, expected] : rounding) {
        EXPECT_EQ(VarI4FromDec(dec(text), i4), S_OK) << text;
        EXPECT_EQ(i4, expected) << text;
    }
    EXPECT_EQ(VarI4FromDec(dec("2147483647.49"), i4), S_OK);
    EXPECT_EQ(i4, 2147483647);
    EXPECT_EQ(VarI4FromDec(dec("2147483647.5"), i4), DISP_E_OVERFLOW);
    EXPECT_EQ(VarI4FromDec(dec("-2147483648"), i4), S_OK);
    EXPECT_EQ(i4, INT32_MIN);
    EXPECT_EQ(VarI4FromDec(dec("-2147483649"), i4), DISP_E_OVERFLOW);

    int16_t i2 = 0;
    uint16_t ui2 = 0;
    uint32_t ui4 = 0;
    EXPECT_EQ(VarI2FromDec(dec("32768"), i2), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI2FromDec(dec("65535.4"), ui2), S_OK);
    EXPECT_EQ(ui2, 65535);
    EXPECT_EQ(VarUI4FromDec(dec("-1"), ui4), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI4FromDec(dec("-0.4"), ui4), S_OK);
    EXPECT_EQ(ui4, 0u);

    int64_t i8 = 0;
    uint64_t ui8 = 0;
    EXPECT_EQ(VarI8FromDec(dec("-9223372036854775808"), i8), S_OK);
    EXPECT_EQ(i8, INT64_MIN);
    EXPECT_EQ(VarI8FromDec(dec("9223372036854775808"), i8), DISP_E_OVERFLOW);
    EXPECT_EQ(VarUI8FromDec(dec("18446744073709551615"), ui8), S_OK);
    EXPECT_EQ(ui8, UINT64_MAX);
    EXPECT_EQ(VarUI8FromDec(dec("18446744073709551615.5"), ui8), DISP_E_OVERFLOW);
}

TEST(ole_decimal, other_types_in_and_out) {
    DECIMAL d{};
    EXPECT_EQ(VarDecFromI8(INT64_MIN, d), S_OK);
    EXPECT_EQ(text_of(d), "-9223372036854775808");
    EXPECT_EQ(VarDecFromUI8(UINT64_MAX, d), S_OK);
    EXPECT_EQ(text_of(d), "18446744073709551615");
    EXPECT_EQ(VarDecFromR8(0.1, d), S_OK);
    EXPECT_EQ(text_of(d), "0.1");
    EXPECT_EQ(VarDecFromR8(-1234.5678, d), S_OK);
    EXPECT_EQ(text_of(d), "-1234.5678");
    EXPECT_EQ(VarDecFromR8(1e30, d), DISP_E_OVERFLOW);

    double r8 = 0;
    EXPECT_EQ(VarR8FromDec(dec("0.1"), r8), S_OK);
    EXPECT_EQ(r8, 0.1);
    EXPECT_EQ(VarR8FromDec(dec("-79228162514264337593543950335"), r8), S_OK);
    EXPECT_EQ(r8, -79228162514264337593543950335.0);
    EXPECT_EQ(VarR8FromDec(dec("0.0000000000000000000000000001"), r8), S_OK);
    EXPECT_EQ(r8, 1e-28);

    EXPECT_EQ(text_of(ole_decimal_round(dec("2.345"), 2)), "2.34");
    EXPECT_EQ(text_of(ole_decimal_round(dec("2.355"), 2)), "2.36");
    EXPECT_EQ(ole_decimal_digits(dec("12345.678")), 8);
    EXPECT_EQ(ole_decimal_digits(dec("0")), 1);
}

} // namespace
