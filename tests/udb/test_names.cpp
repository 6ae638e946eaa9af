// Name validation, safe names and the names map.
#include "tk/tk_exception.h"
#include "udb/udb_names_map.h"
#include "udb/udb_validator.h"

#include <gtest/gtest.h>

namespace {

// The generic rules with lists, as a derived validator sets them up.
class listed_validator : public udb_validator {
public:
    listed_validator(uint32_t max_length, std::u16string illegal,
                     std::vector<std::u16string> restricted = {})
        : udb_validator(max_length) {
        illegal_chars_.assign(illegal.begin(), illegal.end());
        restricted_names_ = std::move(restricted);
    }
};

} // namespace

TEST(udb_validator, is_acceptable_checks_length_restricted_names_and_illegal_characters) {
    listed_validator v(8, u" -", {u"select"});
    EXPECT_TRUE(v.is_acceptable(u"orders"));
    EXPECT_TRUE(v.is_acceptable(u"12345678"));
    EXPECT_FALSE(v.is_acceptable(u"123456789"));
    EXPECT_FALSE(v.is_acceptable(u"SELECT")); // restricted, whatever the case
    EXPECT_FALSE(v.is_acceptable(u"a b"));
    EXPECT_FALSE(v.is_acceptable(u"a-b"));

    udb_validator unlimited;
    EXPECT_TRUE(unlimited.is_acceptable(std::u16string(500, u'x')));
}

TEST(udb_validator, is_duplicated_compares_existing_names_ignoring_case) {
    udb_validator v;
    EXPECT_FALSE(v.is_duplicated(u"Orders"));
    v.add_existing_name(u"ORDERS");
    EXPECT_TRUE(v.is_duplicated(u"orders"));
    EXPECT_FALSE(v.is_duplicated(u"orders2"));
}

TEST(udb_validator, get_safe_name_replaces_illegal_characters_then_numbers_duplicates) {
    // Cut to max - 6 before the five digits: "my table" -> "my_table" (taken) -> "my_t00000".
    listed_validator v(10, u" -");
    v.add_existing_name(u"MY_TABLE");
    EXPECT_EQ(v.get_safe_name(u"my table"), u"my_t00000");
    v.add_existing_name(u"my_t00000");
    EXPECT_EQ(v.get_safe_name(u"my table"), u"my_t00001");

    // Without a limit nothing is cut.
    listed_validator unlimited(0, u"-");
    EXPECT_EQ(unlimited.get_safe_name(u"A-B"), u"A_B");
    unlimited.add_existing_name(u"a_b");
    EXPECT_EQ(unlimited.get_safe_name(u"A-B"), u"A_B00000");

    // A name over the limit is first cut to max - 1.
    listed_validator short_names(6, u"");
    EXPECT_EQ(short_names.get_safe_name(u"abcdefgh"), u"abcde");

    // A restricted name gets a number even though its characters are fine.
    listed_validator restricted(0, u"", {u"table"});
    EXPECT_EQ(restricted.get_safe_name(u"Table"), u"Table00000");

    // The result is not taken until the caller says so.
    EXPECT_FALSE(unlimited.is_duplicated(u"A_B00000"));
}

TEST(udb_validator, get_safe_name_keeps_surrogate_pairs_whole_when_cutting) {
    // U+1D11E (two code units) would be split by a cut to 4 code units.
    listed_validator v(5, u"");
    const std::u16string name = u"abc\U0001D11Exyz";
    const std::u16string safe = v.get_safe_name(name);
    EXPECT_EQ(safe, u"abc");
}

TEST(udb_validator, exhausted_numbers_are_an_internal_error) {
    // Limit 4: even an empty stem with five digits is too long, so every candidate fails.
    listed_validator v(4, u"");
    v.add_existing_name(u"abc");
    EXPECT_THROW(v.get_safe_name(u"abc"), tk_mail_assertion);
}

TEST(udb_names_map, table_names_map_first_destination_wins_and_case_rule_applies) {
    udb_names_map map;
    map.add_tn_mapping(u"Orders", u"Orders_1");
    map.add_tn_mapping(u"Orders", u"Orders_2");
    EXPECT_EQ(map.get_tn_mapped_name(u"Orders", true), u"Orders_1");
    EXPECT_EQ(map.get_tn_mapped_name(u"ORDERS", false), u"Orders_1");
    EXPECT_EQ(map.get_tn_mapped_name(u"ORDERS", true), u"ORDERS");
    EXPECT_EQ(map.get_tn_mapped_name(u"Clients", false), u"Clients");
}

TEST(udb_names_map, column_names_map_per_table_both_ways) {
    udb_names_map map;
    EXPECT_EQ(map.get_fn_mapped_name(u"t", u"A", true), u"A");
    map.add_fn_map(u"t", {{u"order", u"order_1"}, {u"Id", u"ID_X"}});
    EXPECT_EQ(map.get_fn_mapped_name(u"t", u"order", true), u"order_1");
    EXPECT_EQ(map.get_fn_mapped_name(u"t", u"ORDER", true), u"ORDER");
    EXPECT_EQ(map.get_fn_mapped_name(u"t", u"ORDER", false), u"order_1");
    EXPECT_EQ(map.get_fn_mapped_name(u"T", u"order", true), u"order"); // tables are exact
    EXPECT_EQ(map.get_fn_orig_name(u"t", u"ID_X", true), u"Id");
    EXPECT_EQ(map.get_fn_orig_name(u"t", u"id_x", false), u"Id");
    EXPECT_EQ(map.get_fn_orig_name(u"t", u"Other", true), u"Other");
    EXPECT_EQ(map.get_fn_orig_name(u"u", u"ID_X", true), u"ID_X");

    // Every change is visible to callers that cache look-ups.
    const uint64_t before = map.generation();
    map.add_tn_mapping(u"a", u"b");
    EXPECT_NE(map.generation(), before);
}
