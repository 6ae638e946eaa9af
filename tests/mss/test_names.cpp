// MS SQL naming rules: brackets, owner-qualified names, validators, the word test, version
// codes and safe table names.
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/mss_validator.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "udb/udb_schema.h"

#include <gtest/gtest.h>

TEST(MssNames, BracketRuleKeepsWellFormedNamesAndDoublesClosingBrackets) {
    // "[a]]b]" is quoted on purpose: its inner "]" is doubled. "[a]b]" only looks bracketed:
    // its inner "]" is single, so it is quoted as a whole.
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"Orders", u"[Orders]"}, {u"SELECT", u"[SELECT]"}, {u"[x]", u"[x]"},
        {u"x]", u"[x]]]"},        {u"a]b", u"[a]]b]"},      {u"[a]]b]", u"[a]]b]"},
        {u"[a]b]", u"[[a]]b]]]"}, {u"[", u"[[]"},           {u"", u"[]"}};
    for (const auto& [name, bracketed] : cases)
        EXPECT_EQ(mss_bracketed(name), bracketed) << tk_to_utf8(name);
    EXPECT_TRUE(mss_is_bracketed(u"[]"));
    EXPECT_FALSE(mss_is_bracketed(u"[a].[b]"));
}

TEST(MssNames, SplitOwnerQualifiedNames) {
    const struct {
        std::u16string_view name, owner, table;
    } cases[] = {
        {u"[sales].[Orders]", u"sales", u"Orders"},
        {u"[Orders]", u"", u"Orders"},
        {u"sales.Orders", u"", u"sales.Orders"},
        {u"[a].[b].[c]", u"a", u"b].[c"},
        {u"ab", u"", u"ab"},
        // Doubled brackets read back as one.
        {u"[my]]table]", u"", u"my]table"},
        {u"[o]]wn].[t]]ab]", u"o]wn", u"t]ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tk_to_utf8(c.name));
        std::u16string table, owner;
        EXPECT_TRUE(mss_split_tab_name(c.name, table, owner));
        EXPECT_EQ(owner, c.owner);
        EXPECT_EQ(table, c.table);
    }
}

TEST(MssNames, AcceptableNames) {
    mss_validator v;
    for (std::u16string_view name :
         {u"Orders", u"_tmp", u"[1 odd name]", u"A-B", u"SELECT", u"Ärger", u"Таблица"})
        EXPECT_TRUE(v.is_acceptable(name)) << tk_to_utf8(name);
    for (std::u16string_view name : {u"1ABC", u"$X", u" name"})
        EXPECT_FALSE(v.is_acceptable(name)) << tk_to_utf8(name);
    EXPECT_THROW(v.is_acceptable(u""), tk_mail_assertion);
}

TEST(MssNames, SafeNamesTakePrefixesInTurn) {
    mss_tn_validator v({u"T", u"_T"}, {u"1_t"});
    EXPECT_EQ(v.get_safe_name(u"T"), u"_1_T");
    EXPECT_EQ(v.get_safe_name(u"free"), u"free");
    // The selected tables are among the existing names, so an unacceptable one is renamed.
    mss_tn_validator w({u"1ABC"}, {});
    EXPECT_FALSE(w.is_acceptable(u"1ABC"));
    EXPECT_EQ(w.get_safe_name(u"1ABC"), u"_1ABC");
    // The cycle goes on: _ 1 _ 2 _ 3 _ ...
    mss_tn_validator x({u"A", u"_A", u"1_A", u"_1_A", u"2_1_A", u"_2_1_A", u"3_2_1_A"}, {});
    EXPECT_EQ(x.get_safe_name(u"a"), u"_3_2_1_a");
    // The result is not added to the existing names.
    EXPECT_EQ(x.get_safe_name(u"a"), u"_3_2_1_a");
}

TEST(MssNames, ColumnValidatorTakesTheAcceptableColumns) {
    udb_schema schema;
    schema.push_back(t_ftd(10, u"NAME", VT_BSTR));
    schema.push_back(t_ftd(4, u"1ST", VT_I4));
    mss_fn_validator v(schema);
    EXPECT_TRUE(v.is_duplicated(u"name"));
    EXPECT_FALSE(v.is_duplicated(u"1ST"));
    EXPECT_EQ(v.get_safe_name(u"Name"), u"_Name");
}

TEST(MssEngine, VersionCodesFromBanners) {
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0"), 5);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)"), 3);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2017 (RTM) - 14.0.1000.169"), 13);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86)"), 4);
    // Years after 2017 are newer than 2017, never "unrecognised".
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5"), 15);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6"), 18);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)"), 2);
    // Exactly 30 characters is not enough.
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Server 2008 R2 x"), 1);
    EXPECT_EQ(mss_engine::version_code(u"Microsoft SQL Azure (RTM) - 12.0.2000.8"), 100);
    EXPECT_EQ(mss_engine::version_code(u"PostgreSQL 15"), 1);
}

namespace {

// An engine as a connect would leave it, for the owner rules.
class test_engine : public mss_engine {
public:
    void set_login(std::u16string login) { login_ = std::move(login); }
};

} // namespace

TEST(MssEngine, SafeTableNames) {
    // Without an engine: the dbo schema.
    EXPECT_EQ(mss_safe_tname(u"Orders"), u"[dbo].[Orders]");
    EXPECT_EQ(mss_safe_tname(u"[sales].[Orders]"), u"[sales].[Orders]");
    EXPECT_EQ(mss_safe_tname(u"a]b"), u"[dbo].[a]]b]");
    EXPECT_EQ(mss_safe_tname(u"sales.Orders"), u"[dbo].[sales.Orders]");

    test_engine engine;
    EXPECT_EQ(engine.get_safe_tname(u"Orders"), u"[dbo].[Orders]");
    engine.set_login(u"SA");
    EXPECT_EQ(engine.get_safe_tname(u"Orders"), u"[dbo].[Orders]");
    engine.set_login(u"alice");
    EXPECT_EQ(engine.get_safe_tname(u"Orders"), u"[alice].[Orders]");
    EXPECT_EQ(mss_safe_tname(u"Orders"), u"[alice].[Orders]");
    EXPECT_EQ(engine.get_safe_tname(u"[sales].[Orders]"), u"[sales].[Orders]");
    engine.set_as_dbo(true);
    EXPECT_EQ(engine.get_safe_tname(u"Orders"), u"[dbo].[Orders]");
}
