#include "app/progress_line.h"
#include "app/tabrix_converter.h"
#include "app/tabrix_profile_check.h"
#include "app/tabrix_sample.h"
#include "support/test_support.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_text.h"

#include <sys/stat.h>

TEST(tabrix_converter, profile_file_layout) {
    tabrix_test::scratch_dir dir;
    tabrix_converter c;
    c.settings().source = u"/data";
    c.settings().destination = u"out.sql";
    c.settings().direct = false;
    c.settings().selected_entries = {{u"orders", u""}};
    ASSERT_TRUE(c.store_profile(dir / "p.tbx"));
    EXPECT_EQ(tabrix_test::read_file(dir / "p.tbx"),
              "[Available Queries]\r\n\r\n"
              "[Generic settings]\r\nsrc=/data\r\ndest=out.sql\r\nlogfile=\r\nskip indexes=0\r\n"
              "only definitions=0\r\nmode=0\r\nskip deleted=0\r\nbool as is=0\r\nencoding=0\r\n"
              "default encoding=1252\r\n"
              "\r\n"
              "[MS SQL Server settings]\r\nwindows authentication=1\r\nconnect as DBO=1\r\n"
              "dump insert comments=1\r\ndump create database=0\r\ndump create table=1\r\n"
              "dump rows per insert=0\r\ndump rows per batch=0\r\n"
              "direct mode=0\r\n\r\n"
              "[Selected Tables]\r\norders\r\n\r\n"
              "[Selected Views]\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "p.tbx").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u) << "a profile without a password is an ordinary file";
}

TEST(tabrix_converter, profile_reading_rules) {
    tabrix_test::scratch_dir dir;
    tabrix_test::write_file(dir / "p.tbx", "[Generic settings]\n"
                                           "skip deleted = 1\n"
                                           "Mode=3\n"
                                           "only definitions=\n"
                                           "skip indexes=yes\n"
                                           "encoding=936\n"
                                           "src=\n"
                                           "[MS SQL Server settings]\n"
                                           "dump create table=yes\n"
                                           "dump rows per insert=500\n"
                                           "dump rows per batch=-3\n"
                                           "direct mode=0\n"
                                           "[Selected Tables]\n"
                                           "a=b\n"
                                           "orders\n");
    tabrix_converter c;
    c.settings().skip_deleted = true;
    c.settings().mode = udb_mode(1);
    c.settings().table_definitions_only = true;
    c.settings().source = u"/kept";
    ASSERT_TRUE(c.load_profile(dir / "p.tbx"));
    EXPECT_FALSE(c.settings().skip_deleted) << "the value \" 1\" is not \"1\"";
    EXPECT_EQ(int(c.settings().mode), 1) << "\"Mode\" is not \"mode\"";
    EXPECT_TRUE(c.settings().table_definitions_only) << "an empty value leaves the setting";
    EXPECT_TRUE(c.settings().skip_indexes) << "anything but \"0\" is true";
    EXPECT_EQ(c.settings().encoding, 936u) << "a code page by its number";
    EXPECT_EQ(c.settings().source, u"/kept");
    EXPECT_FALSE(c.settings().dmp_ins_tab) << "only \"1\" is true";
    EXPECT_EQ(c.settings().rows_per_insert, 500u);
    EXPECT_EQ(c.settings().rows_per_batch, 0u) << "a value out of range is not taken";
    EXPECT_FALSE(c.settings().direct);
    EXPECT_EQ(c.settings().selected_tables, std::vector<std::u16string>{u"orders"});
    EXPECT_EQ(c.settings().selected_entries, (udb_named_texts{{u"a", u"b"}}));
}

TEST(tabrix_converter, profile_code_pages_we_cannot_read_with_are_refused) {
    tabrix_test::scratch_dir dir;
    tabrix_test::write_file(dir / "e.tbx", "[Generic settings]\n"
                                           "encoding=77777\n"
                                           "encoding=255\n"
                                           "default encoding=0\n"
                                           "default encoding=300\n"
                                           "default encoding=0x65\n");
    const tabrix_checked_profile checked = tabrix_read_profile(dir / "e.tbx");
    ASSERT_EQ(checked.warnings.size(), 5u);
    for (const std::string& warning : checked.warnings) {
        EXPECT_NE(warning.find("is not a code page this program knows"), std::string::npos)
            << warning;
        EXPECT_NE(warning.find("windows-1252"), std::string::npos) << warning;
    }
    // Read without the check, such values are not taken either.
    tabrix_converter c;
    ASSERT_TRUE(c.load_profile(dir / "e.tbx"));
    EXPECT_EQ(c.settings().encoding, 0u);
    EXPECT_EQ(c.settings().default_encoding, 1252u);
    tabrix_test::write_file(dir / "e.tbx", "[Generic settings]\ndefault encoding=101\n");
    ASSERT_TRUE(tabrix_read_profile(dir / "e.tbx").warnings.empty());
    ASSERT_TRUE(c.load_profile(dir / "e.tbx"));
    EXPECT_EQ(c.settings().default_encoding, 866u) << "a language-driver byte stands for its page";
}

// Script runs and their totals are checked through tabrix-cli, in test_cli.cpp.
TEST(tabrix_converter, direct_mode_without_a_server_is_one_error_and_writes_nothing) {
    tabrix_test::scratch_dir dir;
    tabrix_write_sample(dir / "dbf");
    error_handler handler(tk_odb_error_table());
    tabrix_converter c;
    c.settings().source = tk_from_utf8((dir / "dbf").string());
    c.settings().selected_tables = c.get_all_tables();
    ASSERT_EQ(c.settings().selected_tables.size(), 3u);
    c.settings().direct = true;
    c.settings().destination = u"Sales";
    c.settings().host = u"";
    c.run_conversion();
    EXPECT_TRUE(c.is_finished());
    ASSERT_EQ(handler.errors().size(), 1u);
    EXPECT_NE(handler.errors()[0].find("No server was given"), std::string::npos)
        << handler.errors()[0];
    EXPECT_EQ(c.totals().tables_created, 0u);
}

TEST(progress_line, bar_percent_table_and_records_fit_the_width) {
    progress_snapshot p;
    p.percent = 35;
    p.tables_finished = 1;
    p.table_count = 5;
    p.current_record = 1200;
    p.records_in_table = 3000;
    p.table = u"orders";
    EXPECT_EQ(format_progress_line(p, 80),
              "[#######.............]  35%  table 2/5 orders  1,200/3,000 records");
    // Narrow terminals lose the records first, then cut the name.
    EXPECT_EQ(format_progress_line(p, 45), "[#######.............]  35%  table 2/5 orders");
    EXPECT_EQ(format_progress_line(p, 40), "[#######.............]  35%  table 2/5");
    p.table = u"a_rather_long_table_name";
    EXPECT_EQ(format_progress_line(p, 45), "[#######.............]  35%  table 2/5 a_r...");
    EXPECT_EQ(format_progress_line(p, 10), "[#######..");
    p.table = u"Склад";
    EXPECT_EQ(format_progress_line(p, 80),
              "[#######.............]  35%  table 2/5 Склад  1,200/3,000 records");

    progress_snapshot idle;
    EXPECT_EQ(format_progress_line(idle, 80), "[....................]   0%");
    idle.percent = 100;
    EXPECT_EQ(format_progress_line(idle, 80), "[####################] 100%");
    EXPECT_EQ(format_count(0), "0");
    EXPECT_EQ(format_count(999), "999");
    EXPECT_EQ(format_count(1000000), "1,000,000");
}
