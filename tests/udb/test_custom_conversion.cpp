// The rule list of a run and the logical-values-as-is rule.
#include "tk/tk_exception.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_ftd.h"

#include <gtest/gtest.h>

// The server destination defines the real column description; a stand-in is enough here.
struct odb_column_desc {
    int adjusted = 0;
};

namespace {

// Accepts integers only, to see that the first accepting rule answers.
class int_rule : public udb_conversion_rule {
public:
    bool accepts_value(const ole_variant& v) const override { return v.get_type() == VT_I4; }
    bool accepts_field(const t_ftd& f) const override { return f.vartype == VT_I4; }
    std::u16string handle2(const ole_variant&) const override { return u"int"; }
    void handle1_1(const t_ftd&, odb_column_desc& column) const override { ++column.adjusted; }
};

} // namespace

TEST(udb_custom_conversion, without_a_list_or_rules_nothing_is_accepted) {
    ASSERT_FALSE(udb_custom_conversion::exists());
    const ole_variant yes(true);
    const t_ftd logical(1, u"L", VT_BOOL);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(logical));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(yes));
    EXPECT_EQ(udb_custom_conversion::handle2(yes), u"");

    udb_custom_conversion empty;
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(logical));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(yes));
    EXPECT_EQ(udb_custom_conversion::handle2(yes), u"");
}

TEST(udb_custom_conversion, the_first_accepting_rule_answers) {
    {
        udb_custom_conversion rules;
        rules.add_rule(std::make_unique<int_rule>());
        rules.add_rule(std::make_unique<tabrix_bool_rule>());
        EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(3)), u"int");
        EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(true)), u"'T'");
        odb_column_desc column;
        udb_custom_conversion::handle1_1(t_ftd(4, u"N", VT_I4), column);
        udb_custom_conversion::handle1_1(t_ftd(1, u"L", VT_BOOL), column); // left as it is
        EXPECT_EQ(column.adjusted, 1);
    }
    // The list and its rules are gone with the run.
    EXPECT_FALSE(udb_custom_conversion::exists());
}
