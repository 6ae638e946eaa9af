#include "support/test_support.h"
#include "tk/tk_exception.h"
#include "udb/udb_profile.h"

#include <sys/stat.h>

namespace {

std::u16string value_or(const udb_profile& p, std::u16string_view section, std::u16string_view key,
                        std::u16string_view fallback = u"<missing>") {
    const std::u16string* v = p.find_value(section, key);
    return v ? *v : std::u16string(fallback);
}

} // namespace

TEST(udb_profile, store_writes_entries_in_order_and_bare_table_names) {
    udb_profile p;
    p.add_value(udb_profile::generic_settings, u"src", u"/data/dbf");
    p.add_flag(udb_profile::generic_settings, u"skip indexes", false);
    p.add_value(udb_profile::generic_settings, u"mode", u"2");
    p.add_flag(udb_profile::mssql_settings, u"dump create table", true);
    p.add_number(udb_profile::generic_settings, u"encoding", 201);
    p.add_value(udb_profile::selected_tables, u"orders", u"");
    p.add_value(udb_profile::selected_tables, u"clients", u"select * from clients");
    p.add_value(udb_profile::available_queries, u"q1", u"");
    p.add_value(udb_profile::generic_settings, u"dest", u"Zürich Ω.sql");
    EXPECT_EQ(p.to_text(), "[Available Queries]\r\nq1=\r\n\r\n"
                           "[Generic settings]\r\nsrc=/data/dbf\r\nskip indexes=0\r\nmode=2\r\n"
                           "encoding=201\r\ndest=Zürich Ω.sql\r\n\r\n"
                           "[MS SQL Server settings]\r\ndump create table=1\r\n\r\n"
                           "[Selected Tables]\r\norders\r\nclients=select * from clients\r\n\r\n"
                           "[Selected Views]\r\n\r\n");
}

TEST(udb_profile, reading_rules) {
    udb_profile p;
    p.read_text("[Generic settings]\n"
                "  skip deleted = 1  \r\n"
                "mode=\n"
                "Mode=3\n"
                "src=/a=b\n"
                "\n"
                "   \n"
                "[Selected Tables]\n"
                "orders\r\n"
                "odd=name\n"
                "[Generic settings]\n"
                "dest=out.sql\n"
                "dest=second.sql\n");
    // The key loses its blanks, the value keeps the one after "=" (the line's end blanks go).
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"skip deleted"), u" 1");
    // An empty value is found but leaves a setting unchanged.
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"mode"), u"");
    int64_t mode = 7;
    EXPECT_FALSE(p.get_number(udb_profile::generic_settings, u"mode", mode));
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"Mode"), u"3");
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"MODE"), u"<missing>");
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"src"), u"/a=b");
    // A repeated header continues its section; lookups take the first entry of a key.
    EXPECT_EQ(value_or(p, udb_profile::generic_settings, u"dest"), u"out.sql");
    EXPECT_EQ(p.entries(udb_profile::generic_settings).size(), 6u);
    // A table name with "=" listed bare comes back as a (name, text) pair.
    const auto& tables = p.entries(udb_profile::selected_tables);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0], (udb_profile::entry{u"orders", u""}));
    EXPECT_EQ(tables[1], (udb_profile::entry{u"odd", u"name"}));
}

// Flags are read by the settings table (test_tabrix_converter.cpp); numbers here.
TEST(udb_profile, numbers) {
    udb_profile p;
    p.read_text("[s]\nd=\nn1=300\nn2=-5x\nn3=abc\nn4=+12\n");
    int64_t n = 0;
    EXPECT_TRUE(p.get_number(u"s", u"n1", n));
    EXPECT_EQ(n, 300);
    EXPECT_TRUE(p.get_number(u"s", u"n2", n));
    EXPECT_EQ(n, -5);
    EXPECT_FALSE(p.get_number(u"s", u"n3", n));
    EXPECT_EQ(n, -5);
    EXPECT_TRUE(p.get_number(u"s", u"n4", n));
    EXPECT_EQ(n, 12);
    EXPECT_FALSE(p.get_number(u"s", u"d", n));
    EXPECT_FALSE(p.get_number(u"s", u"missing", n));
    EXPECT_EQ(n, 12);
}

TEST(udb_profile, a_value_before_any_section_ends_the_reading) {
    udb_profile p;
    p.read_text("mode=2\n[Generic settings]\nsrc=x\n");
    EXPECT_EQ(p.find_value(udb_profile::generic_settings, u"src"), nullptr);
    EXPECT_EQ(p.find_value(udb_profile::generic_settings, u"mode"), nullptr);

    udb_profile q;
    q.read_text("\n  \n[Generic settings]\nsrc=x\n");
    EXPECT_EQ(value_or(q, udb_profile::generic_settings, u"src"), u"x");
}

TEST(udb_profile, bad_lines_are_user_errors) {
    udb_profile p;
    std::string longest = "[s]\n" + std::string(udb_profile::max_line_bytes, 'k') + "\r\n";
    EXPECT_NO_THROW(p.read_text(longest));
    try {
        p.read_text("[s]\n" + std::string(udb_profile::max_line_bytes + 1, 'k') + "\n");
        ADD_FAILURE() << "a long line was read";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
    }
    try {
        p.read_text("[s]\nsrc=\xff\xfe\n");
        ADD_FAILURE() << "a line that is not UTF-8 was read";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message().rfind("Cannot convert to UNICODE string: ", 0), 0u) << e.message();
    }
}

TEST(udb_profile, store_and_load_round_trip_through_a_file) {
    tabrix_test::scratch_dir dir;
    udb_profile p;
    p.add_value(udb_profile::generic_settings, u"src", u" lead blank and ü");
    p.add_value(udb_profile::selected_tables, u"a=b", u"");
    p.add_value(udb_profile::selected_tables, u"orders", u"");
    p.add_value(udb_profile::mssql_settings, u"password", u"s3cret=");
    p.mark_private();
    const auto path = dir / "run.tbx";
    ASSERT_TRUE(p.store(path));

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    udb_profile q;
    ASSERT_TRUE(q.load(path));
    EXPECT_EQ(value_or(q, udb_profile::generic_settings, u"src"), u" lead blank and ü");
    EXPECT_EQ(value_or(q, udb_profile::mssql_settings, u"password"), u"s3cret=");
    // Written bare, a name with "=" reads back split at it: the file format cannot say more.
    ASSERT_EQ(q.entries(udb_profile::selected_tables).size(), 2u);
    EXPECT_EQ(q.entries(udb_profile::selected_tables)[0], (udb_profile::entry{u"a", u"b"}));
    EXPECT_EQ(q.to_text(), tabrix_test::read_file(path));

    // Saving an ordinary profile over a private one keeps nothing of the old file.
    udb_profile plain;
    ASSERT_TRUE(plain.store(path));
    EXPECT_EQ(tabrix_test::read_file(path), plain.to_text());
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path(), path) << "temporary left";
}

TEST(udb_profile, files_that_cannot_be_used) {
    tabrix_test::scratch_dir dir;
    udb_profile p;
    try {
        p.load(dir / "missing.tbx");
        ADD_FAILURE() << "a missing profile loaded";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_exception::stop_run);
        EXPECT_STREQ(e.what(),
                     "Profile does not exist. Please verify the correct path/name was given.");
    }
    EXPECT_FALSE(p.load(dir.path()));
    EXPECT_FALSE(p.store(dir / "no-such-folder" / "x.tbx"));
    EXPECT_FALSE(p.store(dir.path()));
}
