#include "app/progress_line.h"
#include "app/tabrix_converter.h"
#include "app/tabrix_profile_check.h"
#include "app/tabrix_sample.h"
#include "support/test_support.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "udb/udb_profile.h"

#include <cstdlib>
#include <sys/stat.h>

namespace {

// Every setting away from its default.
void set_all(udb_settings& s) {
    s.source = u"/data/dbf ü";
    s.destination = u"/out/script Ω.sql";
    s.host = u"db1\\SQL";
    s.login = u"loader";
    s.password = u"pa=ss word";
    s.driver = u"ODBC Driver 17 for SQL Server";
    s.connection_string = u"Driver={FreeTDS};Server=h;PWD={a;b}";
    s.trust_server_certificate = true;
    s.encrypt = 0;
    s.rows_per_insert = 1000;
    s.rows_per_batch = 5000;
    s.skip_indexes = true;
    s.table_definitions_only = true;
    s.skip_deleted = true;
    s.bool_as_is = true;
    s.direct = false;
    s.windows_auth = false;
    s.as_dbo = false;
    s.dmp_ins_com = false;
    s.dmp_ins_db = true;
    s.dmp_ins_tab = false;
    s.mode = udb_mode(2);
    s.encoding = 936;
    s.default_encoding = 866;
    s.selected_entries = {{u"orders", u""}, {u"clients", u""}};
    s.selected_views = {{u"v1", u"select 1"}};
    s.available_queries = {{u"q1", u"select * from orders"}};
}

class scoped_config_home {
public:
    explicit scoped_config_home(const std::filesystem::path& dir) {
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    ~scoped_config_home() { ::unsetenv("XDG_CONFIG_HOME"); }
};

} // namespace

TEST(tabrix_converter, a_saved_profile_loads_back_as_the_same_settings) {
    tabrix_test::scratch_dir dir;
    udb_settings saved;
    {
        tabrix_converter c;
        set_all(c.settings());
        ASSERT_TRUE(c.store_profile(dir / "run.tbx"));
        saved = c.settings();
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir / "run.tbx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the profile holds a password";

    tabrix_converter c;
    ASSERT_TRUE(c.load_profile(dir / "run.tbx"));
    // Tables saved as entries of a run come back as the tables to convert.
    saved.selected_tables = {u"orders", u"clients"};
    saved.selected_entries.clear();
    // The Unicode option is not part of a profile.
    c.settings().dmp_unicode = saved.dmp_unicode;
    EXPECT_EQ(c.settings(), saved);
}

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

TEST(tabrix_converter, profile_modes_and_missing_files) {
    tabrix_test::scratch_dir dir;
    tabrix_converter c;
    for (const char* value : {"2", "9", "x", "-1"}) {
        c.settings().mode = udb_mode(0);
        tabrix_test::write_file(dir / "m.tbx", std::string("[Generic settings]\nmode=") + value);
        ASSERT_TRUE(c.load_profile(dir / "m.tbx"));
        EXPECT_EQ(int(c.settings().mode), value[0] == '2' ? 2 : 0) << value;
    }

    // A key before any section: nothing is read.
    tabrix_test::write_file(dir / "early.tbx", "mode=2\n[Generic settings]\nsrc=/x\n");
    ASSERT_TRUE(c.load_profile(dir / "early.tbx"));
    EXPECT_EQ(int(c.settings().mode), 0);
    EXPECT_NE(c.settings().source, u"/x");

    EXPECT_THROW(c.load_profile(dir / "missing.tbx"), tk_exception);
    EXPECT_FALSE(c.store_profile(dir / "no" / "such" / "folder.tbx"));
}

TEST(tabrix_converter, settings_store_round_trip_and_defaults) {
    tabrix_test::scratch_dir dir;
    scoped_config_home home(dir.path());
    udb_settings saved;
    {
        tabrix_converter c;
        // Nothing stored yet: every value keeps its default, and reading says so.
        EXPECT_FALSE(c.serialize(false));
        EXPECT_TRUE(c.settings().direct);
        EXPECT_TRUE(c.settings().as_dbo);
        EXPECT_TRUE(c.settings().windows_auth);
        EXPECT_TRUE(c.settings().dmp_ins_com);
        EXPECT_FALSE(c.settings().dmp_ins_db);
        EXPECT_TRUE(c.settings().dmp_ins_tab);
        EXPECT_TRUE(c.settings().dmp_unicode);

        set_all(c.settings());
        c.settings().dmp_unicode = false;
        ASSERT_TRUE(c.serialize(true));
        saved = c.settings();
    }
    const auto file = dir / "Quorvane" / "Tabrix.conf";
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    tabrix_converter c;
    c.settings().mode = udb_mode(3);
    c.settings().selected_tables = {u"kept"};
    ASSERT_TRUE(c.serialize(false));
    // The store keeps neither the mode, the log file nor the table lists.
    saved.mode = udb_mode(3);
    saved.selected_tables = {u"kept"};
    saved.selected_entries.clear();
    saved.selected_views.clear();
    saved.available_queries.clear();
    EXPECT_EQ(c.settings(), saved);
}

TEST(tabrix_converter, title) {
    EXPECT_EQ(tabrix_converter::title(), "Tabrix 2.3 ");
}

TEST(tabrix_converter, runs_a_script_conversion_and_counts_what_it_did) {
    tabrix_test::scratch_dir dir;
    tabrix_write_sample(dir / "dbf");
    error_handler handler(tk_odb_error_table());
    tabrix_converter c;
    c.settings().direct = false;
    c.settings().source = tk_from_utf8((dir / "dbf").string());
    c.settings().destination = tk_from_utf8((dir / "out.sql").string());
    c.settings().skip_deleted = true;
    c.settings().bool_as_is = true;
    c.settings().selected_tables = c.get_all_tables();
    ASSERT_EQ(c.settings().selected_tables.size(), 3u);

    c.run_conversion();
    EXPECT_TRUE(c.is_finished());
    EXPECT_TRUE(handler.errors().empty()) << handler.errors().front();
    EXPECT_EQ(c.totals().tables_created, 3u);
    EXPECT_EQ(c.totals().records_read, 13u);
    EXPECT_EQ(c.totals().records_deleted, 1u);
    EXPECT_EQ(c.totals().records_written, 12u);
    const std::string script = tabrix_test::read_file(dir / "out.sql");
    EXPECT_NE(script.find("Created by Tabrix 2.3 \r\n"), std::string::npos);
    EXPECT_NE(script.find("[ACTIVE] CHAR(1)"), std::string::npos) << "logical values as is";
    EXPECT_NE(script.find("'T'"), std::string::npos);
    // Every run remembers its tables for the profile.
    EXPECT_EQ(c.settings().selected_entries.size(), 3u);

    // Direct mode without a server: one level-1 error, nothing written.
    c.settings().direct = true;
    c.settings().destination = u"Sales";
    c.settings().host = u"";
    c.run_conversion();
    ASSERT_EQ(handler.errors().size(), 1u);
    EXPECT_NE(handler.errors()[0].find("No server was given"), std::string::npos)
        << handler.errors()[0];
    EXPECT_EQ(c.totals().tables_created, 0u);
}

TEST(tabrix_converter, a_table_cut_short_gives_its_complete_records_after_one_question) {
    tabrix_test::scratch_dir dir;
    tabrix_write_sample(dir / "dbf");
    // stock.dbf loses the end of its third and last record.
    const std::filesystem::path file = dir / "dbf" / "stock.dbf";
    std::string image = tabrix_test::read_file(file);
    const size_t data_offset = size_t(uint8_t(image[8])) | size_t(uint8_t(image[9])) << 8;
    const size_t rec_size = size_t(uint8_t(image[10])) | size_t(uint8_t(image[11])) << 8;
    image.resize(data_offset + 2 * rec_size + 3);
    tabrix_test::write_file(file, image);

    tabrix_test::reporter_log seen;
    error_handler handler(tk_odb_error_table(),
                          std::make_unique<tabrix_test::recording_reporter>(seen));
    tabrix_converter c;
    c.settings().direct = false;
    c.settings().source = tk_from_utf8((dir / "dbf").string());
    c.settings().destination = tk_from_utf8((dir / "out.sql").string());
    c.settings().selected_tables = c.get_all_tables();
    c.run_conversion();
    ASSERT_EQ(seen.questions.size(), 1u);
    EXPECT_NE(seen.questions[0].find("stock.dbf"), std::string::npos) << seen.questions[0];
    EXPECT_NE(seen.questions[0].find("2 of the 3 records"), std::string::npos);
    EXPECT_EQ(handler.errors().size(), 1u);
    EXPECT_EQ(c.totals().tables_created, 3u);
    EXPECT_EQ(c.totals().records_read, 6u + 4u + 2u);
    EXPECT_EQ(c.totals().records_written, 12u);
    std::string script = tabrix_test::read_file(dir / "out.sql");
    EXPECT_NE(script.find("N'Мёд липовый'"), std::string::npos);
    EXPECT_EQ(script.find("N'Сгущёнка'"), std::string::npos);

    // Abort: the run stops at the table, nothing of it written; the script of the first run
    // stays, the stopped one is kept under a name that says it is incomplete.
    seen.answers.push_back({.abort = true});
    c.settings().selected_tables = {u"stock"};
    c.run_conversion();
    EXPECT_EQ(seen.questions.size(), 2u);
    EXPECT_EQ(c.totals().records_read, 0u);
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql"), script);
    EXPECT_EQ(c.working_script(), (dir / "out.sql.incomplete").string());
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql.incomplete").find("INSERT INTO"),
              std::string::npos);
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
