#include "ole/ole_automation.h"

#include <gtest/gtest.h>

namespace {

VARIANT text(std::u16string_view s) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

TEST(ole_automation, text_to_numbers_rounds_half_to_even_with_range_checks) {
    const std::pair<std::u16string_view, int32_t> rounding[] = {
        {u"-1.5", -2}, {u"-0.6", -1}, {u"-0.5", 0}, {u"0.5", 0}, {u"1.5", 2}, {u"2.5", 2}};
    for (auto [s, expected] : rounding) {
        VARIANT v = text(s);
        ASSERT_EQ(VariantChangeType(v, 0, VT_I4), S_OK);
        EXPECT_EQ(v.vt, VT_I4);
        EXPECT_EQ(v.lVal, expected);
    }
    VARIANT v = text(u"2147483648");
    EXPECT_EQ(VariantChangeType(v, 0, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(v.vt, VT_BSTR); // unchanged on failure
    v = text(u"-2147483648");
    EXPECT_EQ(VariantChangeType(v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.lVal, INT32_MIN);
    v = text(u"255.4");
    EXPECT_EQ(VariantChangeType(v, 0, VT_UI1), S_OK);
    EXPECT_EQ(v.bVal, 255);
    v = text(u"-1");
    EXPECT_EQ(VariantChangeType(v, 0, VT_UI2), DISP_E_OVERFLOW);
    v = text(u"1e400");
    EXPECT_EQ(VariantChangeType(v, 0, VT_R8), DISP_E_OVERFLOW);
    v = text(u"0.1");
    EXPECT_EQ(VariantChangeType(v, 0, VT_R8), S_OK);
    EXPECT_EQ(v.dblVal, 0.1);
    EXPECT_TRUE(v.bstrVal.empty());
    v = text(u"12/31/2020");
    EXPECT_EQ(VariantChangeType(v, 0, VT_DATE), S_OK);
    EXPECT_EQ(v.date, 44196.0);
    v = text(u"FALSE");
    EXPECT_EQ(VariantChangeType(v, 0, VT_BOOL), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
}

TEST(ole_automation, numbers_between_types) {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = 2.5;
    EXPECT_EQ(VariantChangeType(v, 0, VT_I2), S_OK);
    EXPECT_EQ(v.iVal, 2);
    v.vt = VT_R8;
    v.dblVal = 3.5;
    EXPECT_EQ(VariantChangeType(v, 0, VT_I2), S_OK);
    EXPECT_EQ(v.iVal, 4);
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(VariantChangeType(v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.lVal, -1);
    v.vt = VT_EMPTY;
    EXPECT_EQ(VariantChangeType(v, 0, VT_R8), S_OK);
    EXPECT_EQ(v.dblVal, 0.0);
    v.vt = VT_EMPTY;
    EXPECT_EQ(VariantChangeType(v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(v.bstrVal, u"");
    v.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    v.vt = VT_I4;
    v.lVal = 5;
    EXPECT_EQ(VariantChangeType(v, 0, VT_VARIANT), DISP_E_BADVARTYPE);
    v.vt = VT_UI8;
    v.ullVal = UINT64_MAX;
    EXPECT_EQ(VariantChangeType(v, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(v.decVal.Lo64, UINT64_MAX);
    EXPECT_EQ(VariantChangeType(v, 0, VT_I8), DISP_E_OVERFLOW);
    v.vt = VT_DATE;
    v.date = 44196.5;
    VARIANT out;
    EXPECT_EQ(VariantChangeType(out, v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(out.bstrVal, u"12/31/2020 12:00:00 PM");
    EXPECT_EQ(v.vt, VT_DATE);
    v.date = 0.25;
    EXPECT_EQ(VariantChangeType(out, v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(out.bstrVal, u"6:00:00 AM");
    v.vt = VT_R4;
    v.fltVal = 0.1f;
    EXPECT_EQ(VariantChangeType(out, v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(out.bstrVal, u"0.1");
}

} // namespace
