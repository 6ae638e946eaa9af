#include "support/test_support.h"
#include "tk/tk_reg_key.h"
#include "tk/tk_text.h"
#include "udb/udb_profile.h"
#include "udb/udb_setting_table.h"

#include <set>

namespace {

// A value of the row's member away from its default, one every check accepts.
udb_settings changed(const udb_setting& row) {
    udb_settings s;
    std::visit(
        [&](auto member) {
            auto& value = s.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>)
                value = !value;
            else if constexpr (std::is_same_v<T, std::u16string>)
                value = u"a = b ü";
            else if constexpr (std::is_same_v<T, std::string>)
                value = "/tmp/a b.log";
            else
                value = T(uint32_t(value) == 1 ? 0 : 1); // within every row's limit
        },
        row.member);
    return s;
}

} // namespace

// Every row through a profile file's text and through the settings store: what is written is
// read back as the same value, and nothing else changes.
TEST(udb_setting_table, every_row_round_trips_through_profiles_and_the_store) {
    tabrix_test::scratch_dir dir;
    for (const udb_setting& row : udb_setting_table()) {
        const udb_settings value = changed(row);
        ASSERT_NE(value, udb_settings()) << row.option;
        if (!row.key.empty()) {
            udb_profile written;
            udb_store_settings(value, written);
            udb_profile read;
            read.read_text(written.to_text());
            udb_settings loaded;
            udb_load_settings(read, loaded, nullptr);
            EXPECT_EQ(loaded, value) << tk_to_utf8(row.key);
        }
        if (!row.stored_name.empty()) {
            const auto file = dir / (std::string(row.stored_name) + ".conf");
            {
                tk_reg_key key;
                ASSERT_TRUE(key.open_file(file));
                udb_settings stored = value;
                EXPECT_TRUE(udb_serialize_settings(key, stored, true, nullptr)) << row.stored_name;
                ASSERT_TRUE(key.close());
            }
            tk_reg_key key;
            ASSERT_TRUE(key.open_file(file));
            udb_settings loaded;
            loaded.mode = udb_mode(1); // not kept: left as it is
            EXPECT_TRUE(udb_serialize_settings(key, loaded, false, nullptr)) << row.stored_name;
            udb_settings expected = value;
            expected.mode = udb_mode(1);
            EXPECT_EQ(loaded, expected) << row.stored_name;
        }
    }
}

// The names users' files hold: a key, a stored name or an option used twice would make two
// settings one.
TEST(udb_setting_table, names_are_unique_and_the_stored_names_are_those_of_earlier_versions) {
    std::set<std::pair<std::u16string_view, std::u16string_view>> keys;
    std::set<std::string_view> stored, options;
    std::set<char> shorts;
    for (const udb_setting& row : udb_setting_table()) {
        if (!row.key.empty()) {
            EXPECT_TRUE(keys.emplace(row.section, row.key).second) << tk_to_utf8(row.key);
        }
        if (!row.stored_name.empty()) {
            EXPECT_TRUE(stored.insert(row.stored_name).second) << row.stored_name;
        }
        if (!row.option.empty()) {
            EXPECT_TRUE(options.insert(row.option).second) << row.option;
            EXPECT_FALSE(row.help.empty()) << row.option;
        }
        if (row.short_option != 0) {
            EXPECT_TRUE(shorts.insert(row.short_option).second) << row.option;
        }
    }
    const std::vector<std::string> earlier = tabrix_test::words(
        "as_dbo bool_dbf code_page conn_str default_code_page dest direct dmp_ins_com dmp_ins_db "
        "dmp_ins_tab dmp_rows_batch dmp_rows_insert batch_size fast_load dmp_unicode driver "
        "encrypt host pswd sec_log skip_del skip_idx src tab_def trust_cert user");
    EXPECT_EQ(stored, std::set<std::string_view>(earlier.begin(), earlier.end()));
}

// A value the checks refuse: a profile leaves the setting as it was, the store its default.
TEST(udb_setting_table, refused_values_keep_the_setting_or_its_default) {
    auto refuse = [](udb_setting_check, int64_t) -> std::optional<uint32_t> { return {}; };
    udb_profile profile;
    profile.read_text("[Generic settings]\nencoding=866\nmode=7\n");
    udb_settings s;
    s.encoding = 437;
    s.mode = udb_mode(2);
    udb_load_settings(profile, s, refuse);
    EXPECT_EQ(s.encoding, 437u);
    EXPECT_EQ(s.mode, udb_mode::skip_existing) << "modes go from 0 to 3";

    tabrix_test::scratch_dir dir;
    tk_reg_key key;
    ASSERT_TRUE(key.open_file(dir / "s.conf"));
    ASSERT_TRUE(key.set_value("code_page", 866));
    EXPECT_FALSE(udb_serialize_settings(key, s, false, refuse)) << "most values are missing";
    EXPECT_EQ(s.encoding, 0u);
}
