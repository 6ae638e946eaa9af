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

// Every setting a profile or the settings store can hold, for comparing two converters.
struct settings {
    std::u16string src, dest, host, login, password, driver, connection_string;
    std::string logfile;
    bool trust_certificate;
    mss_connection_settings::encryption encrypt;
    bool skip_idx, tab_def, skip_del, bool_dbf, direct, sec_log, as_dbo, com, db, tab, unicode;
    int32_t mode;
    uint32_t encoding, default_encoding;
    std::vector<std::u16string> tables;
    udb_named_texts entries, views, queries;

    bool operator==(const settings&) const = default;
};

settings read(const tabrix_converter& c) {
    return {c.get_source_path(),
            c.get_destination(),
            c.get_host(),
            c.get_login(),
            c.get_password(),
            c.server().driver,
            c.server().connection_string,
            c.get_logfile(),
            c.server().trust_server_certificate,
            c.server().encrypt,
            c.get_skip_indexes(),
            c.get_table_definitions_only(),
            c.get_skip_deleted(),
            c.get_bool_as_is(),
            c.get_direct(),
            c.get_windows_auth(),
            c.get_as_dbo(),
            c.dump_options().dmp_ins_com,
            c.dump_options().dmp_ins_db,
            c.dump_options().dmp_ins_tab,
            c.dump_options().dmp_unicode,
            c.get_mode(),
            c.get_encoding(),
            c.get_default_encoding(),
            c.selected_tables(),
            c.selected_table_entries(),
            c.selected_views(),
            c.available_queries()};
}

// Every setting away from its default.
void set_all(tabrix_converter& c) {
    c.set_source_path(u"/data/dbf ü");
    c.set_destination(u"/out/script Ω.sql");
    c.set_host(u"db1\\SQL");
    c.set_login(u"loader");
    c.set_password(u"pa=ss word");
    c.server().driver = u"ODBC Driver 17 for SQL Server";
    c.server().connection_string = u"Driver={FreeTDS};Server=h;PWD={a;b}";
    c.server().trust_server_certificate = true;
    c.server().encrypt = mss_connection_settings::encryption::off;
    c.set_skip_indexes(true);
    c.set_table_definitions_only(true);
    c.set_skip_deleted(true);
    c.set_bool_as_is(true);
    c.set_direct(false);
    c.set_windows_auth(false);
    c.set_as_dbo(false);
    c.dump_options().dmp_ins_com = false;
    c.dump_options().dmp_ins_db = true;
    c.dump_options().dmp_ins_tab = false;
    c.set_mode(2);
    c.set_encoding(936);
    c.set_default_encoding(866);
    c.selected_table_entries() = {{u"orders", u""}, {u"clients", u""}};
    c.selected_views() = {{u"v1", u"select 1"}};
    c.available_queries() = {{u"q1", u"select * from orders"}};
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
    settings saved{};
    {
        tabrix_converter c;
        set_all(c);
        ASSERT_TRUE(c.store_profile(dir / "run.tbx"));
        saved = read(c);
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir / "run.tbx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the profile holds a password";

    tabrix_converter c;
    ASSERT_TRUE(c.load_profile(dir / "run.tbx"));
    // Tables saved as entries of a run come back as the tables to convert.
    saved.tables = {u"orders", u"clients"};
    saved.entries.clear();
    // The Unicode option is not part of a profile.
    c.dump_options().dmp_unicode = saved.unicode;
    EXPECT_EQ(read(c), saved);
}

TEST(tabrix_converter, profile_file_layout) {
    tabrix_test::scratch_dir dir;
    tabrix_converter c;
    c.set_source_path(u"/data");
    c.set_destination(u"out.sql");
    c.set_direct(false);
    c.selected_table_entries() = {{u"orders", u""}};
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
    c.set_skip_deleted(true);
    c.set_mode(1);
    c.set_table_definitions_only(true);
    c.set_source_path(u"/kept");
    ASSERT_TRUE(c.load_profile(dir / "p.tbx"));
    EXPECT_FALSE(c.get_skip_deleted()) << "the value \" 1\" is not \"1\"";
    EXPECT_EQ(c.get_mode(), 1) << "\"Mode\" is not \"mode\"";
    EXPECT_TRUE(c.get_table_definitions_only()) << "an empty value leaves the setting";
    EXPECT_TRUE(c.get_skip_indexes()) << "anything but \"0\" is true";
    EXPECT_EQ(c.get_encoding(), 936u) << "a code page by its number";
    EXPECT_EQ(c.get_source_path(), u"/kept");
    EXPECT_FALSE(c.dump_options().dmp_ins_tab) << "only \"1\" is true";
    EXPECT_EQ(c.dump_options().rows_per_insert, 500u);
    EXPECT_EQ(c.dump_options().rows_per_batch, 0u) << "a value out of range is not taken";
    EXPECT_FALSE(c.get_direct());
    EXPECT_EQ(c.selected_tables(), std::vector<std::u16string>{u"orders"});
    EXPECT_EQ(c.selected_table_entries(), (udb_named_texts{{u"a", u"b"}}));
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
    EXPECT_EQ(c.get_encoding(), 0u);
    EXPECT_EQ(c.get_default_encoding(), 1252u);
    tabrix_test::write_file(dir / "e.tbx", "[Generic settings]\ndefault encoding=101\n");
    ASSERT_TRUE(tabrix_read_profile(dir / "e.tbx").warnings.empty());
    ASSERT_TRUE(c.load_profile(dir / "e.tbx"));
    EXPECT_EQ(c.get_default_encoding(), 866u) << "a language-driver byte stands for its page";
}

TEST(tabrix_converter, profile_modes_and_missing_files) {
    tabrix_test::scratch_dir dir;
    tabrix_converter c;
    for (const char* value : {"2", "9", "x", "-1"}) {
        c.set_mode(0);
        tabrix_test::write_file(dir / "m.tbx", std::string("[Generic settings]\nmode=") + value);
        ASSERT_TRUE(c.load_profile(dir / "m.tbx"));
        EXPECT_EQ(c.get_mode(), value[0] == '2' ? 2 : 0) << value;
    }

    // A key before any section: nothing is read.
    tabrix_test::write_file(dir / "early.tbx", "mode=2\n[Generic settings]\nsrc=/x\n");
    ASSERT_TRUE(c.load_profile(dir / "early.tbx"));
    EXPECT_EQ(c.get_mode(), 0);
    EXPECT_NE(c.get_source_path(), u"/x");

    EXPECT_THROW(c.load_profile(dir / "missing.tbx"), tk_exception);
    EXPECT_FALSE(c.store_profile(dir / "no" / "such" / "folder.tbx"));
}

TEST(tabrix_converter, settings_store_round_trip_and_defaults) {
    tabrix_test::scratch_dir dir;
    scoped_config_home home(dir.path());
    settings saved{};
    {
        tabrix_converter c;
        // Nothing stored yet: every value keeps its default, and reading says so.
        EXPECT_FALSE(c.serialize(false));
        EXPECT_TRUE(c.get_direct());
        EXPECT_TRUE(c.get_as_dbo());
        EXPECT_TRUE(c.get_windows_auth());
        EXPECT_TRUE(c.dump_options().dmp_ins_com);
        EXPECT_FALSE(c.dump_options().dmp_ins_db);
        EXPECT_TRUE(c.dump_options().dmp_ins_tab);
        EXPECT_TRUE(c.dump_options().dmp_unicode);

        set_all(c);
        c.dump_options().dmp_unicode = false;
        ASSERT_TRUE(c.serialize(true));
        saved = read(c);
    }
    const auto file = dir / "Quorvane" / "Tabrix.conf";
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    tabrix_converter c;
    c.set_mode(3);
    c.selected_tables() = {u"kept"};
    ASSERT_TRUE(c.serialize(false));
    // The store keeps neither the mode, the log file nor the table lists.
    saved.mode = 3;
    saved.tables = {u"kept"};
    saved.entries.clear();
    saved.views.clear();
    saved.queries.clear();
    EXPECT_EQ(read(c), saved);
}

TEST(tabrix_converter, title) {
    EXPECT_EQ(tabrix_converter::title(), "Tabrix 2.3 ");
}

TEST(tabrix_converter, runs_a_script_conversion_and_counts_what_it_did) {
    tabrix_test::scratch_dir dir;
    tabrix_write_sample(dir / "dbf");
    error_handler handler(tk_odb_error_table());
    tabrix_converter c;
    c.set_direct(false);
    c.set_source_path(tk_from_utf8((dir / "dbf").string()));
    c.set_destination(tk_from_utf8((dir / "out.sql").string()));
    c.set_skip_deleted(true);
    c.set_bool_as_is(true);
    c.selected_tables() = c.get_all_tables();
    ASSERT_EQ(c.selected_tables().size(), 3u);

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
    EXPECT_EQ(c.selected_table_entries().size(), 3u);

    // Direct mode without a server: one level-1 error, nothing written.
    c.set_direct(true);
    c.set_destination(u"Sales");
    c.set_host(u"");
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
    c.set_direct(false);
    c.set_source_path(tk_from_utf8((dir / "dbf").string()));
    c.set_destination(tk_from_utf8((dir / "out.sql").string()));
    c.selected_tables() = c.get_all_tables();
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
    c.selected_tables() = {u"stock"};
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
