// N fields with decimals are read straight from their digits when they are short; the
// DECIMAL must be exactly the one the general number reader makes of the same text.
#include "dbf/dbf_field.h"
#include "dbf/dbf_header.h"
#include "ole/ole_decimal.h"

#include <gtest/gtest.h>

namespace {

dbf_field_descriptor n_field(uint8_t len, uint8_t dec) {
    dbf_header h;
    h.version = 0x03;
    h.rec_size = 0xFFFF;
    std::vector<dbf_field_descriptor> v(1);
    v[0].name[0] = 'F';
    v[0].field_type = 'N';
    v[0].len = len;
    v[0].dec = dec;
    dbf_layout_fields(h, v);
    return v[0];
}

ole_variant decoded(const std::string& text, uint8_t dec) {
    // The widest field whose values are all DECIMALs: 28 digits and the point.
    const std::string bytes = std::string(29 - text.size(), ' ') + text;
    const dbf_field_descriptor fd = n_field(29, dec);
    return dbf_field::get_variant({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                  fd, 1252);
}

void expect_same_decimal(const std::string& text, uint8_t dec = 2) {
    const ole_variant v = decoded(text, dec);
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

TEST(DecimalFields, ShortNumbersGiveTheGeneralReadersDecimal) {
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

TEST(DecimalFields, TextThatIsNoNumberHasNoValue) {
    for (const char* text : {"*****.**", "", "-", ".", "1.2.3", "1-2", "12abc", "1 2", "--1"})
        EXPECT_EQ(decoded(text, 2).get_type(), VT_EMPTY) << text;
}
