// The forms values take into a bulk copy, and what is left to statements.
#include "mss/mss_bulk_value.h"
#include "ole/ole_variant.h"
#include "udb/udb_ftd.h"

#include <gtest/gtest.h>

namespace {

bool carried(std::string_view literal, const t_ftd& column) {
    std::string scratch;
    return mss_put_bulk_value(nullptr, 0, literal, mss_bulk_column_of(column), scratch);
}

std::string rounded(std::string_view text, int precision, int scale) {
    std::string out;
    return mss_round_decimal_text(text, precision, scale, out) ? out : "refused";
}

} // namespace

TEST(MssBulkValues, DecimalsAreRoundedHalfAwayFromZero) {
    EXPECT_EQ(rounded("1.005", 5, 2), "1.01");
    EXPECT_EQ(rounded("-1.005", 5, 2), "-1.01");
    EXPECT_EQ(rounded("1.004999", 5, 2), "1.00");
    EXPECT_EQ(rounded("999.994", 5, 2), "999.99");
    EXPECT_EQ(rounded("999.995", 5, 2), "refused"); // 1000.00 needs precision 6
    EXPECT_EQ(rounded("-0.001", 5, 2), "0.00");
    EXPECT_EQ(rounded("42", 5, 2), "42.00");
    EXPECT_EQ(rounded(".5", 3, 0), "1");
    EXPECT_EQ(rounded("0099.5", 3, 0), "100");
    EXPECT_EQ(rounded("12345678901234567890.123456789", 38, 9), "12345678901234567890.123456789");
    EXPECT_EQ(rounded("1e5", 10, 2), "refused");
    EXPECT_EQ(rounded("", 10, 2), "refused");
    EXPECT_EQ(rounded("-", 10, 2), "refused");
}

TEST(MssBulkValues, WhatTheDriverCannotCarryGoesByStatement) {
    const t_ftd text(100, u"T", VT_BSTR);
    EXPECT_TRUE(carried("NULL", text));
    EXPECT_TRUE(carried("N'O''Neil'", text));
    EXPECT_TRUE(carried("N'" + std::string(2048, 'x') + "'", text));
    // Over 4 KiB once the driver has made UTF-16 of it.
    EXPECT_FALSE(carried("N'" + std::string(2049, 'x') + "'", text));
    EXPECT_FALSE(carried("CONVERT(NVARCHAR(MAX), N'a\\') + N'b'", text));
    EXPECT_FALSE(carried("N'a' + N'b'", text));

    t_ftd date(8, u"D", VT_DATE);
    EXPECT_TRUE(carried("'1753-01-01'", date));
    EXPECT_TRUE(carried("'9999-12-31 23:59:59.990'", date));
    EXPECT_TRUE(carried("'10:30:00'", date));
    EXPECT_FALSE(carried("'1752-12-31'", date));
    EXPECT_FALSE(carried("'2001-02-29'", date));
    EXPECT_FALSE(carried("'2020-01-01 10:00:00.123'", date)); // DATETIME has 1/300 s
    EXPECT_FALSE(carried("42", date));

    const t_ftd binary(10, u"B", VT_BLOB);
    EXPECT_TRUE(carried("0x0A1b", binary));
    EXPECT_FALSE(carried("0x0A1", binary));
    EXPECT_FALSE(carried("0x" + std::string(2 * 4097, 'A'), binary));

    const t_ftd whole(4, u"I", VT_I4);
    EXPECT_TRUE(carried("-42", whole));
    EXPECT_FALSE(carried("DEFAULT", whole));
}
