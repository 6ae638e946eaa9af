#include "ole/ole_currency.h"

#include <gtest/gtest.h>

namespace {

std::string text_of(CY cy) {
    std::string out;
    ole_currency_append_text(cy, out);
    return out;
}

TEST(ole_currency, reads_text_rounded_to_four_decimals) {
    CY cy{};
    EXPECT_EQ(VarCyFromStr("12.5", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, 125000);
    EXPECT_EQ(VarCyFromStr("0.00005", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, 0); // half to even
    EXPECT_EQ(VarCyFromStr("0.00015", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, 2);
    EXPECT_EQ(VarCyFromStr("-1.23456", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, -12346);
    EXPECT_EQ(VarCyFromStr(u"922337203685477.5807", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, INT64_MAX);
    EXPECT_EQ(VarCyFromStr("-922337203685477.5808", LOCALE_EN_US, 0, cy), S_OK);
    EXPECT_EQ(cy.int64, INT64_MIN);
    EXPECT_EQ(VarCyFromStr("922337203685477.5808", LOCALE_EN_US, 0, cy), DISP_E_OVERFLOW);
    EXPECT_EQ(VarCyFromStr("12,5", LOCALE_EN_US, 0, cy), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VarCyFromStr("five", LOCALE_EN_US, 0, cy), DISP_E_TYPEMISMATCH);
}

TEST(ole_currency, text_is_the_shortest_exact_form) {
    EXPECT_EQ(text_of(CY{0}), "0");
    EXPECT_EQ(text_of(CY{50000}), "5");
    EXPECT_EQ(text_of(CY{15000}), "1.5");
    EXPECT_EQ(text_of(CY{-15000}), "-1.5");
    EXPECT_EQ(text_of(CY{9}), "0.0009");
    EXPECT_EQ(text_of(CY{-1}), "-0.0001");
    EXPECT_EQ(text_of(CY{INT64_MAX}), "922337203685477.5807");
    EXPECT_EQ(text_of(CY{INT64_MIN}), "-922337203685477.5808");
    std::u16string wide;
    EXPECT_EQ(VarBstrFromCy(CY{4294967295}, LOCALE_USER_DEFAULT, 0, wide), S_OK);
    EXPECT_EQ(wide, u"429496.7295");
}

TEST(ole_currency, conversions_round_half_to_even_and_check_range) {
    int32_t i4 = 0;
    const std::pair<int64_t, int32_t> rounding[] = {{4000, 0},  {5000, 0},  {6000, 1},   {15000, 2},
                                                    {25000, 2}, {-5000, 0}, {-15000, -2}};
    for (auto [amount, expected] : rounding) {
        EXPECT_EQ(VarI4FromCy(CY{amount}, i4), S_OK);
        EXPECT_EQ(i4, expected) << amount;
    }
    EXPECT_EQ(VarI4FromCy(CY{21474836475000}, i4), DISP_E_OVERFLOW);
    uint8_t ui1 = 0;
    EXPECT_EQ(VarUI1FromCy(CY{-10000}, ui1), DISP_E_OVERFLOW);
    uint64_t ui8 = 0;
    EXPECT_EQ(VarUI8FromCy(CY{-4000}, ui8), S_OK);
    EXPECT_EQ(ui8, 0u);

    CY cy{};
    EXPECT_EQ(VarCyFromI8(922337203685477, cy), S_OK);
    EXPECT_EQ(VarCyFromI8(922337203685478, cy), DISP_E_OVERFLOW);
    EXPECT_EQ(VarCyFromUI8(922337203685478, cy), DISP_E_OVERFLOW);
    EXPECT_EQ(VarCyFromR8(1.23456, cy), S_OK);
    EXPECT_EQ(cy.int64, 12346);
    EXPECT_EQ(VarCyFromR8(-1.23454, cy), S_OK);
    EXPECT_EQ(cy.int64, -12345);
    EXPECT_EQ(VarCyFromR8(2.5e15, cy), DISP_E_OVERFLOW);

    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr("-12.34565", 0, 0, d), S_OK);
    EXPECT_EQ(VarCyFromDec(d, cy), S_OK);
    EXPECT_EQ(cy.int64, -123456);
    EXPECT_EQ(VarDecFromCy(CY{-123456}, d), S_OK);
    std::string text;
    ole_decimal_append_text(d, text);
    EXPECT_EQ(text, "-12.3456");
    double r8 = 0;
    EXPECT_EQ(VarR8FromCy(CY{-123456}, r8), S_OK);
    EXPECT_EQ(r8, -12.3456);
}

} // namespace
