#include "support/test_support.h"
#include "tk/tk_product.h"
#include "tk/tk_reg_key.h"

#include <cstdlib>
#include <sys/stat.h>

namespace fs = std::filesystem;
using tabrix_test::read_file;
using tabrix_test::scratch_dir;
using tabrix_test::write_file;

namespace {

// Points $XDG_CONFIG_HOME at a scratch folder for the life of the object.
class config_home {
public:
    config_home() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            old_ = old;
        ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    ~config_home() {
        if (old_)
            ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    const fs::path& path() const { return dir_.path(); }

private:
    scratch_dir dir_;
    std::optional<std::string> old_;
};

void store_sample(tk_reg_key& key) {
    key.set_value("as_dbo", 0u);
    key.set_value("code_page", 201u);
    key.set_value(u"src", u"/data/Заказы");
    key.set_value(u"pswd", u"p=ss\\word\nwith # and \x01");
    key.set_value(u"dest", u"");
    key.set_value(u"user", u"  sa ");
}

} // namespace

TEST(tk_reg_key, values_round_trip_through_a_private_file_named_after_the_key) {
    config_home home;
    fs::path file = home.path() / "Quorvane" / "Tabrix.conf";
    EXPECT_EQ(tk_reg_key::file_for_key(tk_settings_key), file);
    {
        tk_reg_key key;
        ASSERT_TRUE(key.open(tk_settings_key));
        EXPECT_FALSE(fs::exists(file)); // opening alone writes nothing
        store_sample(key);
        EXPECT_TRUE(key.close());
    }
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    std::string text = read_file(file);
    EXPECT_NE(text.find("code_page=dword:201\n"), std::string::npos) << text;
    EXPECT_NE(text.find("src=sz:/data/\xD0\x97"), std::string::npos) << text;

    tk_reg_key key;
    ASSERT_TRUE(key.open(tk_settings_key));
    uint32_t number = 99;
    EXPECT_TRUE(key.get_value("as_dbo", number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(key.get_value("code_page", number));
    EXPECT_EQ(number, 201u);
    std::u16string s;
    EXPECT_TRUE(key.get_value(u"src", s));
    EXPECT_EQ(s, u"/data/Заказы");
    EXPECT_TRUE(key.get_value(u"pswd", s));
    EXPECT_EQ(s, u"p=ss\\word\nwith # and \x01");
    EXPECT_TRUE(key.get_value(u"dest", s));
    EXPECT_EQ(s, u"");
    EXPECT_TRUE(key.get_value(u"user", s));
    EXPECT_EQ(s, u"  sa ");

    // Missing values, the other type and other case leave the caller's value alone.
    number = 7;
    EXPECT_FALSE(key.get_value("direct", number));
    EXPECT_FALSE(key.get_value("src", number));
    EXPECT_FALSE(key.get_value("Code_Page", number));
    EXPECT_EQ(number, 7u);
    s = u"default";
    EXPECT_FALSE(key.get_value(u"code_page", s));
    EXPECT_EQ(s, u"default");

    // A later store keeps the values it did not touch.
    key.set_value("direct", 1u);
    EXPECT_TRUE(key.close());
    tk_reg_key again;
    again.open(tk_settings_key);
    EXPECT_TRUE(again.get_value("direct", number));
    EXPECT_TRUE(again.get_value("code_page", number));
    EXPECT_EQ(number, 201u);
}

TEST(tk_reg_key, a_missing_or_damaged_file_gives_the_defaults) {
    config_home home;
    tk_reg_key key;
    ASSERT_TRUE(key.open(tk_settings_key));
    uint32_t number = 5;
    EXPECT_FALSE(key.get_value("as_dbo", number));
    key.close();

    const char noise[] = {'\x7F', 'E', 'L', 'F', '\0', '\0', '\n'};
    std::string damaged = std::string(noise, sizeof noise) + "sec_log=dword:1\n";
    damaged += "skip_idx=dword:-3\ncode_page=dword:12x\nhost=sz:bad\\q\n";
    damaged += "user=sz:\xFF\xFE\nno equals sign\n=dword:1\ntab_def = dword:1 \r\n";
    fs::path file = tk_reg_key::file_for_key(tk_settings_key);
    fs::create_directories(file.parent_path());
    write_file(file, damaged);
    ASSERT_TRUE(key.open(tk_settings_key));
    EXPECT_TRUE(key.get_value("sec_log", number)); // the good lines still count
    EXPECT_EQ(number, 1u);
    EXPECT_TRUE(key.get_value("tab_def", number));
    number = 5;
    EXPECT_FALSE(key.get_value("skip_idx", number));
    EXPECT_FALSE(key.get_value("code_page", number));
    EXPECT_EQ(number, 5u);
    std::u16string s;
    EXPECT_FALSE(key.get_value(u"host", s));
    EXPECT_FALSE(key.get_value(u"user", s));
    key.set_value("skip_idx", 1u);
    EXPECT_TRUE(key.close()); // and the file is whole again
    ASSERT_TRUE(key.open(tk_settings_key));
    EXPECT_TRUE(key.get_value("skip_idx", number));
    EXPECT_TRUE(key.get_value("sec_log", number));

    // A folder in the file's place, or binary noise, never stops the program.
    fs::remove(file);
    fs::create_directory(file);
    tk_reg_key blocked;
    EXPECT_TRUE(blocked.open(tk_settings_key));
    EXPECT_FALSE(blocked.get_value("sec_log", number));
    blocked.set_value("sec_log", 0u);
    EXPECT_FALSE(blocked.close()); // the store cannot be written, and says so
    EXPECT_TRUE(fs::is_directory(file));
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        leftovers += entry.path().filename().string().rfind(".Tabrix.conf.", 0) == 0;
    EXPECT_EQ(leftovers, 0);
}

TEST(tk_reg_key, a_crash_between_write_and_rename_leaves_the_old_settings) {
    config_home home;
    {
        tk_reg_key key;
        key.open(tk_settings_key);
        key.set_value("code_page", 101u);
        ASSERT_TRUE(key.close());
    }
    // What a crash after the temporary file was written, and before the rename, leaves
    // behind: the old file and a half-written temporary one beside it.
    fs::path file = tk_reg_key::file_for_key(tk_settings_key);
    std::string old_text = read_file(file);
    write_file(file.parent_path() / ".Tabrix.conf.a1B2c3", "code_page=dword:2");

    tk_reg_key key;
    ASSERT_TRUE(key.open(tk_settings_key));
    uint32_t number = 0;
    EXPECT_TRUE(key.get_value("code_page", number));
    EXPECT_EQ(number, 101u);
    EXPECT_EQ(read_file(file), old_text);

    // The next store goes through, beside the leftover.
    key.set_value("code_page", 102u);
    EXPECT_TRUE(key.close());
    key.open(tk_settings_key);
    EXPECT_TRUE(key.get_value("code_page", number));
    EXPECT_EQ(number, 102u);
}

TEST(tk_reg_key, where_the_settings_live) {
    config_home home;
    EXPECT_EQ(tk_reg_key::file_for_key("Software\\Quorvane\\Tabrix"),
              home.path() / "Quorvane/Tabrix.conf");
    EXPECT_EQ(tk_reg_key::file_for_key("Tabrix"), home.path() / "Tabrix.conf");
    EXPECT_EQ(tk_reg_key::file_for_key("Software\\..\\a/b"), home.path() / "a_b.conf");

    // Without $XDG_CONFIG_HOME: ~/.config. A relative $XDG_CONFIG_HOME does not count.
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const char* home_dir = std::getenv("HOME");
    if (home_dir && home_dir[0] == '/') {
        EXPECT_EQ(tk_reg_key::file_for_key(tk_settings_key),
                  fs::path(home_dir) / ".config/Quorvane/Tabrix.conf");
    }

    tk_reg_key closed;
    EXPECT_FALSE(closed.set_value("x", 1u)); // nothing is open
    EXPECT_TRUE(closed.close());
}
