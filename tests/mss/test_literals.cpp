// Column types and value literals of the script.
#include "mss/mss_column_types.h"
#include "mss/mss_literal.h"
#include "ole/ole_decimal.h"
#include "tk/tk_exception.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_ftd.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

std::string literal(const ole_variant& value, const t_ftd& column, bool unicode = true,
                    const udb_custom_conversion* rules = nullptr) {
    std::string out;
    mss_append_value_literal(out, value, column, unicode, rules);
    return out;
}

ole_variant decimal(std::string_view text) {
    DECIMAL d{};
    EXPECT_EQ(VarDecFromStr(text, LOCALE_EN_US, 0, d), S_OK) << text;
    return ole_variant(d);
}

ole_variant date(uint16_t y, uint16_t m, uint16_t d, uint16_t h = 0, uint16_t mi = 0,
                 uint16_t s = 0, uint16_t ms = 0) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = m;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return ole_variant(st);
}

t_ftd decimal_column(int precision, int scale) {
    return t_ftd(0, u"D", VT_DECIMAL, false, false, ole_variant(),
                 uint32_t(precision * 256 + scale));
}

} // namespace

TEST(MssTypes, ScriptColumnTypes) {
    auto type = [](t_ftd c, bool unicode = true) { return mss_script_type(c, unicode); };
    EXPECT_EQ(type(t_ftd(4, u"A", VT_I4)), u"INT");
    EXPECT_EQ(type(t_ftd(4, u"A", VT_I2, false, true)), u"INT IDENTITY");
    EXPECT_EQ(type(t_ftd(8, u"A", VT_I8, false, true)), u"BIGINT IDENTITY");
    EXPECT_EQ(mss_script_type(t_ftd(8, u"A", VT_I8, false, true), true, false), u"BIGINT");
    // Only whole numbers can be IDENTITY.
    t_ftd auto_decimal = decimal_column(10, 0);
    auto_decimal.b_auto_num = true;
    EXPECT_EQ(type(auto_decimal), u"NUMERIC(10,0)");
    EXPECT_FALSE(mss_script_identity(auto_decimal));
    EXPECT_EQ(type(t_ftd(4, u"A", VT_R4)), u"REAL");
    EXPECT_EQ(type(t_ftd(8, u"A", VT_R8)), u"FLOAT");
    EXPECT_EQ(type(decimal_column(12, 2)), u"NUMERIC(12,2)");
    EXPECT_EQ(type(decimal_column(38, 4)), u"NUMERIC(38,4)");
    EXPECT_EQ(type(decimal_column(39, 4)), u"FLOAT");
    // A scale above the precision: the precision is raised.
    EXPECT_EQ(type(decimal_column(2, 5)), u"NUMERIC(5,5)");
    // Without precision: MONEY for currency, a wide NUMERIC for decimals.
    EXPECT_EQ(type(t_ftd(8, u"A", VT_CY)), u"MONEY");
    EXPECT_EQ(type(t_ftd(8, u"A", VT_DECIMAL)), u"NUMERIC(38,9)");
    EXPECT_EQ(type(t_ftd(8, u"A", VT_DATE, false, false, ole_variant(), 2)), u"DATE");
    EXPECT_EQ(type(t_ftd(8, u"A", VT_DATE, false, false, ole_variant(), 3)), u"TIME");
    // Scripts target SQL Server 2008 and later: DATETIME2 holds every date a value holds.
    EXPECT_EQ(type(t_ftd(8, u"A", VT_DATE, false, false, ole_variant(), 1)), u"DATETIME2");
    EXPECT_EQ(type(t_ftd(1, u"A", VT_BOOL)), u"BIT");
    EXPECT_EQ(type(t_ftd(100, u"A", VT_BLOB)), u"VARBINARY(100) ");
    EXPECT_EQ(type(t_ftd(8000, u"A", VT_BLOB)), u"VARBINARY(MAX)");
    EXPECT_EQ(type(t_ftd(0, u"A", VT_BLOB_OBJECT)), u"VARBINARY(MAX)");
    EXPECT_EQ(type(t_ftd(16, u"A", VT_BYTE_ARRAY)), u"VARBINARY(16) ");
    EXPECT_EQ(type(t_ftd(10, u"A", VT_BSTR)), u"NVARCHAR(10) ");
    EXPECT_EQ(type(t_ftd(10, u"A", VT_BSTR), false), u"VARCHAR(10) ");
    EXPECT_EQ(type(t_ftd(3999, u"A", VT_BSTR)), u"NVARCHAR(3999) ");
    EXPECT_EQ(type(t_ftd(4000, u"A", VT_BSTR)), u"NVARCHAR(MAX)");
    EXPECT_EQ(type(t_ftd(0, u"A", VT_BSTR), false), u"VARCHAR(MAX)");
    EXPECT_EQ(type(t_ftd(38, u"A", VT_BSTR, false, false, ole_variant(), 1)), u" uniqueidentifier");
    EXPECT_EQ(type(t_ftd(4, u"A", VT_I4, false, true, ole_variant(), 0, u"SMALLINT")), u"SMALLINT");
}

TEST(MssLiterals, TextValues) {
    t_ftd text(20, u"T", VT_BSTR);
    EXPECT_EQ(literal(ole_variant(u"O'Neil"), text), "N'O''Neil'");
    EXPECT_EQ(literal(ole_variant(u"O'Neil"), text, false), "'O''Neil'");
    EXPECT_EQ(literal(ole_variant(u""), text), "''");
    EXPECT_EQ(literal(ole_variant(u"Grüße ü €"), text), "N'Grüße ü €'");
    EXPECT_EQ(literal(ole_variant(u"𝄞 clef"), text), "N'𝄞 clef'");
    // The text ends at its first zero character.
    EXPECT_EQ(literal(ole_variant(std::u16string_view(u"ab\0cd", 5)), text), "N'ab'");
    // A text naming a GUID is written as the plain literal of that GUID.
    EXPECT_EQ(literal(ole_variant(u"guid{12345678-1234-1234-1234-123456789012}"), text),
              "'12345678-1234-1234-1234-123456789012}'");
    EXPECT_EQ(literal(ole_variant(u" \t guid{12345678-1234-1234-1234-123456789012}\r\n"), text),
              "'12345678-1234-1234-1234-123456789012}'");
    EXPECT_EQ(literal(ole_variant(u"{12345678-1234-1234-1234-123456789012}"), text),
              "N'{12345678-1234-1234-1234-123456789012}'");
    // A backslash ending a line would be read as a line continuation and vanish with the break.
    EXPECT_EQ(literal(ole_variant(u"C:\\temp\\\r\nD:\\x\\\nE'\\"), text),
              "CONVERT(NVARCHAR(MAX), N'C:\\temp\\') + N'\r\nD:\\x\\' + N'\nE''\\'");
    EXPECT_EQ(literal(ole_variant(u"a\\\rb"), text, false), "CONVERT(VARCHAR(MAX), 'a\\') + '\rb'");
    // An unpaired surrogate cannot be written as UTF-8.
    std::u16string broken = u"a";
    broken.push_back(char16_t(0xD800));
    try {
        literal(ole_variant(broken), text);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message(), "Cannot create string representation");
        EXPECT_EQ(e.level(), 1);
    }
}

TEST(MssLiterals, MissingValuesAndDefaults) {
    t_ftd nullable(4, u"N", VT_I4);
    EXPECT_EQ(literal(ole_variant(), nullable), "NULL");
    ole_variant null_value;
    null_value.set_null();
    EXPECT_EQ(literal(null_value, nullable), "NULL");
    t_ftd with_default(4, u"N", VT_I4, true, false, ole_variant(5));
    EXPECT_EQ(literal(ole_variant(), with_default), "5");
    t_ftd without_default(4, u"N", VT_I4, true);
    EXPECT_EQ(literal(ole_variant(), without_default), "''");
    t_ftd text_default(4, u"N", VT_BSTR, true, false, ole_variant(u"it's"));
    EXPECT_EQ(literal(ole_variant(), text_default), "N'it''s'");
    // An empty text is a value, not a missing one.
    EXPECT_EQ(literal(ole_variant(u""), text_default), "''");
}

TEST(MssLiterals, Dates) {
    t_ftd datetime(8, u"D", VT_DATE, false, false, ole_variant(), 1);
    t_ftd date_only(8, u"D", VT_DATE, false, false, ole_variant(), 2);
    EXPECT_EQ(literal(date(2020, 12, 31), datetime), "'2020-12-31'");
    EXPECT_EQ(literal(date(2020, 12, 31, 23, 59, 58), datetime), "'2020-12-31 23:59:58'");
    EXPECT_EQ(literal(date(2020, 1, 2, 3, 4, 5, 50), datetime), "'2020-01-02 03:04:05.050'");
    // The script's DATETIME2 and DATE hold the years 1 to 9999: no date is replaced by another.
    EXPECT_EQ(literal(date(1700, 5, 6), datetime), "'1700-05-06'");
    EXPECT_EQ(literal(date(1601, 1, 3, 4, 5, 6), datetime), "'1601-01-03 04:05:06'");
    EXPECT_EQ(literal(date(1700, 5, 6), date_only), "'1700-05-06'");
    EXPECT_EQ(literal(date(100, 1, 1), datetime), "'0100-01-01'");
    EXPECT_EQ(literal(date(9999, 12, 31, 23, 59, 59), datetime), "'9999-12-31 23:59:59'");
    EXPECT_EQ(literal(date(1752, 12, 31), t_ftd(8, u"D", VT_DATE)), "'1752-12-31'");
    // Never with N.
    EXPECT_EQ(literal(date(2001, 2, 3), datetime, true), "'2001-02-03'");
}

TEST(MssLiterals, DatesFromText) {
    auto text_literal = [](std::u16string_view text, VARTYPE vt) {
        std::string out;
        mss_append_text_literal(out, text, vt, true);
        return out;
    };
    EXPECT_EQ(text_literal(u"20201231", VT_DATE), "'2020-12-31'");
    EXPECT_EQ(text_literal(u"10:30:15", VT_DATE), "'10:30:15'");
    EXPECT_EQ(text_literal(u"not a date", VT_DATE), "''");
    EXPECT_EQ(text_literal(u"", VT_I4), "''");
    EXPECT_EQ(text_literal(u"42", VT_I4), "42");
    EXPECT_EQ(text_literal(u"0x0A1B", VT_BYTE_ARRAY), "0x0A1B");
    EXPECT_EQ(text_literal(u"123", VT_BLOB), "123");
    EXPECT_EQ(text_literal(u"ab'c", VT_BLOB), "'ab''c'");
    EXPECT_EQ(text_literal(u"a", VT_BLOB), "");
}

TEST(MssLiterals, Numbers) {
    EXPECT_EQ(literal(ole_variant(42), t_ftd(4, u"I", VT_I4)), "42");
    EXPECT_EQ(literal(ole_variant(int64_t(-9000000000)), t_ftd(8, u"I", VT_I8)), "-9000000000");
    EXPECT_EQ(literal(ole_variant(true), t_ftd(1, u"L", VT_BOOL)), "1");
    EXPECT_EQ(literal(ole_variant(false), t_ftd(1, u"L", VT_BOOL)), "0");
    CY cy{75000};
    EXPECT_EQ(literal(ole_variant(cy), t_ftd(8, u"C", VT_CY)), "7.5");
    t_ftd real8(8, u"F", VT_R8);
    // A double prints so that it reads back exactly.
    double v = std::stod(literal(ole_variant(0.1), real8));
    EXPECT_EQ(v, 0.1);
    EXPECT_EQ(literal(ole_variant(std::nan("")), real8), "NULL");
    EXPECT_EQ(std::stod(literal(ole_variant(std::numeric_limits<double>::infinity()), real8)),
              1.79e308);
    EXPECT_EQ(std::stod(literal(ole_variant(-1e-310), real8)), -2.23e-308);
    EXPECT_EQ(std::stod(literal(ole_variant(0.0), real8)), 0.0);
    EXPECT_EQ(literal(ole_variant(std::nanf("")), t_ftd(4, u"F", VT_R4)), "NULL");
    const uint8_t bytes[] = {0x0A, 0x1B};
    EXPECT_EQ(literal(ole_variant(size_t(2), bytes), t_ftd(2, u"B", VT_BLOB)), "0x0A1B");
    EXPECT_EQ(literal(ole_variant(size_t(0), bytes), t_ftd(2, u"B", VT_BLOB)), "NULL");
}

TEST(MssLiterals, DecimalsThatFitAreKept) {
    t_ftd d12_2 = decimal_column(12, 2);
    EXPECT_EQ(literal(decimal("1234567890.12"), d12_2), "1234567890.12");
    EXPECT_EQ(literal(decimal("-1234567890.12"), d12_2), "-1234567890.12");
    // 12 integer digits do not fit in (12,2): NULL, never another number (the caller counts
    // it).
    std::string out;
    EXPECT_FALSE(mss_append_value_literal(out, decimal("123456789012.5"), d12_2, true));
    EXPECT_EQ(out, "NULL");
    EXPECT_EQ(literal(decimal("-123456789012.5"), d12_2), "NULL");
    EXPECT_TRUE(mss_append_value_literal(out, decimal("9999999999.99"), d12_2, true));
    // The sign and a leading zero are not digits.
    EXPECT_EQ(literal(decimal("-0.5"), decimal_column(1, 1)), "-0.5");
    EXPECT_EQ(literal(decimal("-99"), decimal_column(2, 0)), "-99");
    // More decimals than the column holds: MS SQL rounds; a carry into a new digit does not fit.
    EXPECT_EQ(literal(decimal("1.234"), decimal_column(5, 2)), "1.234");
    EXPECT_EQ(literal(decimal("999.996"), decimal_column(5, 2)), "NULL");
    EXPECT_EQ(literal(decimal("1000"), decimal_column(3, 0)), "NULL");
    // Without precision every value passes.
    EXPECT_EQ(literal(decimal("123456789012345678901234567"), t_ftd(0, u"D", VT_DECIMAL)),
              "123456789012345678901234567");
}

TEST(MssLiterals, CustomRuleWritesLogicalsAsText) {
    t_ftd logical(1, u"L", VT_BOOL);
    EXPECT_EQ(mss_script_type(logical, true), u"BIT");
    udb_custom_conversion rules;
    rules.add_rule(std::make_unique<tabrix_bool_rule>());
    EXPECT_EQ(mss_script_type(logical, true), u"BIT") << "only the rules it is given count";
    EXPECT_EQ(literal(ole_variant(true), logical), "1");
    EXPECT_EQ(mss_script_type(logical, true, true, &rules), u"CHAR(1)");
    EXPECT_EQ(literal(ole_variant(true), logical, true, &rules), "'T'");
    EXPECT_EQ(literal(ole_variant(false), logical, true, &rules), "'F'");
    // A missing value is not a logical value: the rule leaves it alone.
    EXPECT_EQ(literal(ole_variant(), logical, true, &rules), "NULL");
    EXPECT_EQ(literal(ole_variant(3), t_ftd(4, u"I", VT_I4), true, &rules), "3");
}

// Runs of plain ASCII are written several units at a time, in one pass that also finds the
// zero ending the text: a unit that needs more (an apostrophe, a backslash before a line break,
// a letter beyond ASCII, a surrogate pair) in any place of a text as long as a few runs must
// come out as one unit at a time would write it, and what follows a zero never counts.
TEST(MssLiterals, EveryUnitInEveryPlaceOfALongText) {
    const t_ftd column(0, u"T", VT_BSTR);
    struct unit {
        std::u16string text;
        std::string utf8;
    };
    const unit units[] = {{u"'", "''"},
                          {u"é", "\xC3\xA9"},
                          {u"\u00a0", "\xC2\xA0"},
                          {u"ÿ", "\xC3\xBF"},
                          {u"Ā", "\xC4\x80"},
                          {u"Ж", "\xD0\x96"},
                          {u"€", "\xE2\x82\xAC"},
                          {u"\U0001D11E", "\xF0\x9D\x84\x9E"},
                          {u"\x7F", "\x7F"},
                          {u"~", "~"},
                          {u"\r\n", "\r\n"},
                          {u"\\", "\\"}};
    for (size_t length = 1; length <= 34; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (const unit& u : units) {
                std::u16string text(length, u'a');
                text.replace(at, 1, u.text);
                std::string expected = "N'" + std::string(length, 'a') + "'";
                expected.replace(2 + at, 1, u.utf8);
                const ole_variant value(std::u16string_view{text});
                EXPECT_EQ(literal(value, column), expected) << length << " " << at << " " << u.utf8;
                EXPECT_EQ(literal(value, column, false), expected.substr(1))
                    << length << " " << at << " " << u.utf8;
            }
            // A backslash that ends a line is a line continuation wherever it stands.
            std::u16string text(length, u'a');
            text.insert(at, u"\\\r\n");
            EXPECT_NE(literal(ole_variant(std::u16string_view(text)), column).find("CONVERT("),
                      std::string::npos)
                << length << " " << at;
            // The text ends at its first zero, wherever it lies.
            text.assign(length, u'a');
            text[at] = u'\0';
            EXPECT_EQ(literal(ole_variant(std::u16string_view(text)), column),
                      at == 0 ? "''" : "N'" + std::string(at, 'a') + "'")
                << length << " " << at;
        }
    }
    // What follows the zero decides neither a GUID nor a line continuation.
    const std::u16string guid = u"guid{12345678-1234-1234-1234-123456789012}";
    const std::u16string zero(1, u'\0');
    EXPECT_EQ(literal(ole_variant(std::u16string_view(guid + zero + u"and more")), column),
              "'12345678-1234-1234-1234-123456789012}'");
    EXPECT_EQ(literal(ole_variant(std::u16string_view(u"short" + zero + guid)), column),
              "N'short'");
    EXPECT_EQ(literal(ole_variant(std::u16string_view(u"a\\" + zero + u"\r\n")), column), "N'a\\'");
}
