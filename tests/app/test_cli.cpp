// tabrix-cli as users run it: the built program, its exit status and what it writes.
#include "dbf/test_table_builder.h"
#include "support/test_support.h"

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using tabrix_test::count;

struct cli_result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs tabrix-cli in `dir` with the settings store kept there too, so that nothing of the
// user's own settings takes part. `shell` comes before the program in the shell's command
// ("ulimit -f 4;"); `after` after it ("& sleep 1; kill ...").
cli_result run_cli(const tabrix_test::scratch_dir& dir, const std::vector<std::string>& args,
                   const std::string& shell = {}, const std::string& after = {}) {
    const fs::path program = fs::path(TABRIX_BIN_DIR) / "tabrix-cli";
    std::string command = "cd " + quote(dir.path().string()) + " && " + shell +
                          " XDG_CONFIG_HOME=" + quote((dir / "config").string()) + " " +
                          quote(program.string());
    for (const std::string& a : args)
        command += " " + quote(a);
    command += " >" + quote((dir / "cli.out").string()) + " 2>" + quote((dir / "cli.err").string());
    command += after;
    const int raw = std::system(command.c_str());
    cli_result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = tabrix_test::read_file(dir / "cli.out");
    r.err = tabrix_test::read_file(dir / "cli.err");
    return r;
}

// The same with the arguments written as one string of blank-separated words.
cli_result run_cli(const tabrix_test::scratch_dir& dir, std::string_view args,
                   const std::string& shell = {}, const std::string& after = {}) {
    return run_cli(dir, tabrix_test::words(args), shell, after);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The script without its header comment, which names the file and the day.
std::string body(const std::string& script) {
    const size_t end = script.find("*/\r\n");
    return end == std::string::npos ? script : script.substr(end + 4);
}

class cli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(TABRIX_BIN_DIR) / "tabrix-cli"))
            << "build tabrix-cli first";
        ASSERT_EQ(run_cli(dir, "sample data").status, 0);
    }

    tabrix_test::scratch_dir dir;
};

} // namespace

TEST_F(cli, usage_errors_exit_with_64) {
    EXPECT_EQ(run_cli(dir, "").status, 64);
    auto r = run_cli(dir, "frobnicate");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "unknown command 'frobnicate'")) << r.err;

    r = run_cli(dir, "convert --frobnicate");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "unknown option '--frobnicate'")) << r.err;
    EXPECT_TRUE(contains(r.err, "tabrix-cli convert --help")) << r.err;

    EXPECT_EQ(run_cli(dir, "convert --script x.sql").status, 64) << "no source";
    EXPECT_EQ(run_cli(dir, "convert -s data").status, 64) << "no script";
    r = run_cli(dir, "convert -s missing -o x.sql");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "does not exist")) << r.err;
    r = run_cli(dir, "convert -s data -o x.sql -t nosuch");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "there is no table 'nosuch'")) << r.err;
    r = run_cli(dir, "convert missing.tbx");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "Profile does not exist.")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x.sql")) << "nothing runs after a usage error";

    // Direct mode is the default of a fresh installation: it needs a server, a login and a
    // database before anything connects.
    r = run_cli(dir, "convert -s data");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "direct mode needs a server: give -S HOST")) << r.err;
    r = run_cli(dir, "convert -s data --direct -S db1 -E");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "direct mode needs a database: give -d DATABASE")) << r.err;
    r = run_cli(dir, "convert -s data -S db1 -U bob -E -d x");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "-U (--login) and -E (--windows-auth)")) << r.err;
    r = run_cli(dir, "convert -s data -d x -o x.sql");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "cannot be combined with --script")) << r.err;
}

TEST_F(cli, help_and_version) {
    auto r = run_cli(dir, "--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Tabrix 2.3\n", 0), 0u) << r.out;
    r = run_cli(dir, "convert --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tabrix-cli convert [PROFILE.tbx] [options]", 0), 0u);
    EXPECT_TRUE(contains(r.out, "Exit status: 0 converted without errors"));
    EXPECT_EQ(run_cli(dir, "--help").status, 0);
    EXPECT_EQ(run_cli(dir, "sample --help").status, 0);

    // Every language-driver byte with its code page; an unknown code page is refused with
    // the values accepted.
    r = run_cli(dir, "encodings");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "0x7A  936        PRC GBK\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "0x57  1252       1252 Windows ANSI\n")) << r.out;
    EXPECT_EQ(run_cli(dir, "encodings x").status, 64);
    r = run_cli(dir, "convert -s data -o out.sql --encoding 0xFF");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "'0xFF'")) << r.err;
    EXPECT_TRUE(contains(r.err, "windows-1252")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.sql"));
}

TEST_F(cli, sample_replaces_tables_only_when_asked) {
    fs::create_directory(dir / "mine");
    tabrix_test::write_file(dir / "mine" / "ORDERS.DBF", "mine");
    auto r = run_cli(dir, "sample mine");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "ORDERS.DBF' exists; give --overwrite")) << r.err;
    EXPECT_EQ(tabrix_test::read_file(dir / "mine" / "ORDERS.DBF"), "mine");
    EXPECT_FALSE(fs::exists(dir / "mine" / "customers.dbf")) << "nothing is written";
    EXPECT_EQ(run_cli(dir, "sample data").status, 64);
    EXPECT_EQ(run_cli(dir, "sample mine --overwrite").status, 0);
    EXPECT_EQ(run_cli(dir, "inspect mine --table orders").status, 0);
}

TEST_F(cli, converts_a_generated_folder_into_a_script) {
    auto r = run_cli(dir, "convert -s data -o out.sql");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string script = tabrix_test::read_file(dir / "out.sql");
    EXPECT_TRUE(contains(r.out, "Converted 3 of 3 tables")) << r.out;
    EXPECT_TRUE(contains(r.out, (dir / "out.sql").string())) << "the summary names the script";
    EXPECT_TRUE(contains(r.out, "records written: 13 (1 of them marked as deleted)")) << r.out;

    EXPECT_EQ(count(script, "CREATE TABLE "), 3u);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[customers]"), 6u);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[orders]"), 4u);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[stock]"), 3u);
    // Text from both code pages arrives as UTF-8, apostrophes doubled, memo text whole.
    EXPECT_TRUE(contains(script, "N'Müller & Söhne GmbH', N'München', '1998-03-14', 12500.75"));
    EXPECT_TRUE(contains(script, "N'O''Brien''s Pub'"));
    EXPECT_TRUE(contains(script, "N'Чай зелёный'"));
    EXPECT_TRUE(contains(script, "N'Снято с продажи.\r\nОстаток списан.'"));
    EXPECT_TRUE(contains(script, "N'Closed Account Ltd.'"));

    // Only some tables, in the order given, deleted records left out, no comments.
    r = run_cli(dir,
                "convert -s data -o part.sql -t STOCK -t customers --skip-deleted --no-comments");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string part = tabrix_test::read_file(dir / "part.sql");
    EXPECT_EQ(part.rfind("SET QUOTED_IDENTIFIER ON;\r\n", 0), 0u);
    EXPECT_LT(part.find("[dbo].[stock]"), part.find("[dbo].[customers]"));
    EXPECT_FALSE(contains(part, "[dbo].[orders]"));
    EXPECT_FALSE(contains(part, "Closed Account"));
    EXPECT_EQ(count(part, "INSERT INTO"), 8u);
    EXPECT_TRUE(contains(r.out, "records skipped: 1 (marked as deleted)")) << r.out;

    r = run_cli(dir, "convert -s data -o defs.sql --definitions-only");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(tabrix_test::read_file(dir / "defs.sql"), "INSERT INTO"), 0u);
    EXPECT_EQ(count(tabrix_test::read_file(dir / "defs.sql"), "CREATE TABLE"), 3u);
}

TEST_F(cli, a_saved_profile_gives_the_same_run) {
    auto r = run_cli(
        dir, "convert -s data -o first.sql -t orders -t stock --skip-deleted --bool-as-is "
             "--skip-indexes --create-database --mode overwrite-tables --encoding 3 --password "
             "secret --rows-per-insert 2 --rows-per-batch 3 --save-profile run.tbx");
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "run.tbx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the profile holds a password";

    // Only the script path changes.
    r = run_cli(dir, {"convert", (dir / "run.tbx").string(), "-o", "second.sql"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = tabrix_test::read_file(dir / "first.sql");
    const std::string second = tabrix_test::read_file(dir / "second.sql");
    ASSERT_FALSE(first.empty());
    // The database of CREATE DATABASE is named after the script file.
    std::string expected = body(first);
    for (size_t at = expected.find("first"); at != std::string::npos;
         at = expected.find("first", at))
        expected.replace(at, 5, "second");
    EXPECT_EQ(body(second), expected);
    EXPECT_FALSE(contains(first, "INDEX")) << "--skip-indexes, the clustered index too";
    EXPECT_TRUE(contains(second, "'T'") || contains(second, "'F'")) << "logical values as is";
    EXPECT_TRUE(contains(second, "SET XACT_ABORT ON;\r\n")) << "the format that loads fast";
    EXPECT_TRUE(contains(second, "),\r\n(")) << "two rows a statement";

    // Options override the profile.
    r = run_cli(dir, "convert run.tbx -o third.sql -t customers --no-skip-deleted "
                     "--rows-per-insert=0 --rows-per-batch=0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(tabrix_test::read_file(dir / "third.sql"), "INSERT INTO"), 6u);
}

TEST_F(cli, settings_are_stored_only_when_asked) {
    const fs::path store = dir / "config" / "Quorvane" / "Tabrix.conf";
    ASSERT_EQ(run_cli(dir, "convert -s data -o a.sql").status, 0);
    EXPECT_FALSE(fs::exists(store));

    ASSERT_EQ(
        run_cli(dir,
                "convert -s data -o a.sql --skip-deleted --no-comments --save-settings --overwrite")
            .status,
        0);
    ASSERT_TRUE(fs::exists(store));
    // The next run starts from the stored settings...
    auto r = run_cli(dir, "convert --overwrite");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "records skipped: 1")) << r.out;
    EXPECT_EQ(tabrix_test::read_file(dir / "a.sql").rfind("SET QUOTED_IDENTIFIER", 0), 0u);
    // ... unless told to ignore them.
    EXPECT_EQ(run_cli(dir, "convert --no-stored-settings").status, 64);
}

TEST_F(cli, a_table_cut_short_converts_its_complete_records_with_status_1) {
    // orders.dbf loses the second half of its fourth and last record.
    const fs::path file = dir / "data" / "orders.dbf";
    std::string image = tabrix_test::read_file(file);
    const size_t data_offset = size_t(uint8_t(image[8])) | size_t(uint8_t(image[9])) << 8;
    const size_t rec_size = size_t(uint8_t(image[10])) | size_t(uint8_t(image[11])) << 8;
    image.resize(data_offset + 3 * rec_size + rec_size / 2);
    tabrix_test::write_file(file, image);
    const std::string warning =
        "The table file is cut short: 3 of the 4 records its header announces are complete and "
        "are read";

    auto r = run_cli(dir, "convert -s data -o out.sql");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(count(r.err, warning), 1u) << r.err;
    EXPECT_TRUE(contains(r.err, "orders.dbf")) << r.err;
    EXPECT_TRUE(contains(r.out, "Converted 3 of 3 tables")) << r.out;
    const std::string script = tabrix_test::read_file(dir / "out.sql");
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[orders]"), 3u);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[customers]"), 6u);
    EXPECT_EQ(count(script, "INSERT INTO [dbo].[stock]"), 3u);
    EXPECT_TRUE(contains(script, "1003")) << body(script);
    EXPECT_TRUE(contains(script, "'Leap day order'")) << body(script);
    EXPECT_FALSE(contains(script, "1004")) << body(script);

    // Stopping on errors stops at the table; the script of the first run stays.
    r = run_cli(dir, "convert -s data -o out.sql --stop-on-error -t orders --overwrite");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql"), script);
    EXPECT_EQ(count(tabrix_test::read_file(dir / "out.sql.incomplete"), "INSERT INTO"), 0u);

    r = run_cli(dir, "inspect data --table orders");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.out, "  records    3\n")) << r.out;
    EXPECT_TRUE(contains(r.err, "orders.dbf: " + warning)) << r.err;
}

TEST_F(cli, errors_give_status_1_and_stopping_status_2) {
    // A table that cannot be read: the run reports it and goes on with the others.
    tabrix_test::write_file(dir / "data" / "broken.dbf", std::string(40, '\x03'));
    auto r = run_cli(dir, "convert -s data -o out.sql --log trace.log");
    EXPECT_EQ(r.status, 1) << r.err;
    // The message once, on stderr; the summary counts it and says the script has errors.
    EXPECT_EQ(count(r.err + r.out, "broken: File does not comply with DBF format"), 1u)
        << r.err << r.out;
    EXPECT_TRUE(contains(r.out, "errors:          1 (listed on stderr)")) << r.out;
    EXPECT_TRUE(contains(r.out, "bytes), written with the errors listed on stderr")) << r.out;
    EXPECT_EQ(count(tabrix_test::read_file(dir / "out.sql"), "INSERT INTO"), 13u);
    EXPECT_FALSE(fs::exists(dir / "out.sql.incomplete"));
    EXPECT_TRUE(contains(tabrix_test::read_file(dir / "trace.log"), "Converting table"));

    r = run_cli(dir, "convert -s data -o stop.sql --stop-on-error -t broken -t orders");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_FALSE(fs::exists(dir / "stop.sql"));
    EXPECT_EQ(count(tabrix_test::read_file(dir / "stop.sql.incomplete"), "INSERT INTO"), 0u);
    EXPECT_TRUE(contains(r.out, "partial script:  " + (dir / "stop.sql.incomplete").string()))
        << r.out;

    // A script that cannot be written stops the run.
    r = run_cli(dir, "convert -s data -o no/such/folder/out.sql");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_FALSE(r.err.empty());
}

TEST_F(cli, values_that_cannot_be_carried_are_reported_once_per_field_with_status_1) {
    using namespace dbf_test;
    // GBK text (one value with a lead byte that has no trail byte), two columns whose names
    // differ only in case, a memo pointer past the end of the memo file, a type letter without
    // a rule, a number wider than a double keeps, a date before the year 100, a fraction in a
    // field without decimals and the asterisks of an overflowed number.
    const std::vector<field> fields = {{"key", 'C', 4},  {"KEY", 'C', 4},   {"NOTE", 'M', 10},
                                       {"CODE", 'X', 3}, {"BIG", 'N', 40},  {"WHEN", 'D', 8},
                                       {"QTY", 'N', 4},  {"PAY", 'N', 8, 2}};
    const std::string big = "12345678901234567890";
    tabrix_test::write_file(dir / "data" / "odd.dbf",
                            make_table(0x83, fields,
                                       {record({"\xD6\xD0\xCE\xC4", "ab  ", right("1", 10),
                                                std::string("\x01\0\xFF", 3), right(big, 40),
                                                "00500101", "12.7", "*****.**"}),
                                        record({"abcd", "\x81 x ", right("99", 10), "zz ",
                                                right("7", 40), "20240229", "   3", "    .   "})},
                                       table_options{.language_driver = 0x7A}));
    std::string memo(512, '\0');
    memo[0] = 2;
    memo += "first memo\x1A\x1A";
    memo.resize(1024, '\0');
    tabrix_test::write_file(dir / "data" / "odd.dbt", memo);

    const auto r = run_cli(dir, "convert -s data -o out.sql -t odd");
    EXPECT_EQ(r.status, 1) << r.err;
    for (const char* message :
         {"Table odd, field KEY_2: 1 value held bytes that code page 936 cannot decode; they were "
          "replaced by U+FFFD",
          "Table odd, field NOTE: 1 value refers to memo data that cannot be read (past the end "
          "of the memo file or damaged); it is NULL",
          "Table odd, field CODE: 2 values have a type letter 'X' that is not known; their bytes "
          "were carried as VARBINARY",
          "Table odd, field BIG: 1 value has more significant digits than FLOAT(53) keeps (about "
          "15); it was rounded",
          "Table odd, field WHEN: 1 value holds a date that is no calendar date or lies outside "
          "the years 100 to 9999, which are all that are carried; it is NULL",
          "Table odd, field QTY: 1 value has a fraction, but its field has no decimals; only the "
          "whole part was carried",
          "Table odd, field PAY: 1 value holds text that is not a number its field can hold (such "
          "as the \"*****\" of an overflowed field); it is NULL"})
        EXPECT_EQ(count(r.err, message), 1u) << message << "\n" << r.err;
    const std::string script = tabrix_test::read_file(dir / "out.sql");
    EXPECT_TRUE(contains(script, "[key] NVARCHAR(4) ,\r\n\t[KEY_2] NVARCHAR(4) ,")) << body(script);
    EXPECT_TRUE(contains(script, "[CODE] VARBINARY(3) ")) << body(script);
    // inspect says the same of the records it shows, with the same status.
    const auto shown = run_cli(dir, "inspect data --table odd --json");
    EXPECT_EQ(shown.status, 1) << shown.err;
    EXPECT_TRUE(contains(shown.out, "Table odd, field NOTE: 1 value refers to memo data"))
        << shown.out;
    EXPECT_TRUE(contains(script, "VALUES (N'中文', N'ab', N'first memo', 0x0100FF, "))
        << body(script);
    EXPECT_TRUE(
        contains(script, ", NULL, 0x7A7A20, 7.0000000000000000e+00, '2024-02-29', 3, NULL);"))
        << body(script);
}

TEST_F(cli, numbers_at_the_limits_of_their_fields_keep_every_digit) {
    using namespace dbf_test;
    // The width of N and F holds the sign and the point: the largest and the smallest value
    // each field can hold go through their column unchanged.
    const std::vector<field> fields = {{"A", 'N', 5, 2},   {"B", 'N', 3},     {"C", 'N', 18},
                                       {"D", 'N', 19},     {"E", 'N', 20, 4}, {"G", 'N', 28},
                                       {"H", 'F', 20, 18}, {"K", 'F', 10, 3}};
    const std::vector<std::vector<std::string>> rows = {
        {"99.99", "999", std::string(18, '9'), std::string(19, '9'), "999999999999999.9999",
         std::string(28, '9'), "9.999999999999999999", "999999.999"},
        {"-9.99", "-99", "-" + std::string(17, '9'), "-" + std::string(18, '9'),
         "-99999999999999.9999", "-" + std::string(27, '9'), "-.999999999999999999", "-99999.999"}};
    std::vector<std::string> records;
    for (const auto& row : rows) {
        std::string bytes = " ";
        for (size_t i = 0; i < row.size(); ++i)
            bytes += right(row[i], fields[i].len);
        records.push_back(bytes);
    }
    tabrix_test::write_file(dir / "data" / "limits.dbf", make_table(0x03, fields, records));

    const auto r = run_cli(dir, "convert -s data -o out.sql -t limits");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string script = tabrix_test::read_file(dir / "out.sql");
    for (const char* column :
         {"[A] NUMERIC(4,2)", "[B] INT", "[C] BIGINT", "[D] NUMERIC(19,0)", "[E] NUMERIC(19,4)",
          "[G] NUMERIC(28,0)", "[H] NUMERIC(19,18)", "[K] NUMERIC(9,3)"})
        EXPECT_TRUE(contains(script, column)) << column << "\n" << body(script);
    EXPECT_TRUE(contains(script, "VALUES (99.99, 999, 999999999999999999, 9999999999999999999, "
                                 "999999999999999.9999, 9999999999999999999999999999, "
                                 "9.999999999999999999, 999999.999);"))
        << body(script);
    EXPECT_TRUE(contains(script, "VALUES (-9.99, -99, -99999999999999999, -999999999999999999, "
                                 "-99999999999999.9999, -999999999999999999999999999, "
                                 "-0.999999999999999999, -99999.999);"))
        << body(script);
}

TEST_F(cli, the_users_files_are_never_overwritten_unasked) {
    const std::string table = tabrix_test::read_file(dir / "data" / "customers.dbf");
    fs::create_symlink(dir / "data" / "customers.dbf", dir / "link.sql");
    for (const char* script : {"data/customers.dbf", "data/CUSTOMERS.DBF",
                               "data/../data/customers.dbf", "link.sql", "data/customers.DBT"}) {
        auto r = run_cli(dir, {"convert", "-s", "data", "-o", script, "--overwrite"});
        EXPECT_EQ(r.status, 64) << script;
        EXPECT_TRUE(contains(r.err, "of the source folder; choose another name")) << r.err;
    }
    auto r = run_cli(dir, "convert -s data -o out.sql --log data/orders.dbf");
    EXPECT_EQ(r.status, 64) << r.err;
    tabrix_test::write_file(dir / "notes.txt", "mine");
    r = run_cli(dir, "convert -s data -o out.sql --log notes.txt");
    EXPECT_EQ(r.status, 64) << r.err;
    r = run_cli(dir, "convert -s data -o out.sql --save-profile notes.txt");
    EXPECT_EQ(r.status, 64) << r.err;
    EXPECT_TRUE(contains(r.err, "'notes.txt' exists and is not a profile")) << r.err;
    EXPECT_EQ(tabrix_test::read_file(dir / "notes.txt"), "mine");
    EXPECT_EQ(tabrix_test::read_file(dir / "data" / "customers.dbf"), table);

    // An existing script is replaced only when asked, and only by a whole one.
    tabrix_test::write_file(dir / "out.sql", "mine");
    r = run_cli(dir, "convert -s data -o out.sql");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "out.sql' exists; give --overwrite to replace it")) << r.err;
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql"), "mine");

    // A full disk (here a file size limit) stops the run: the earlier script stays, the
    // partial one is kept under its own name, and the records counted are those in it.
    r = run_cli(dir, "convert -s data -o out.sql --overwrite", "trap '' XFSZ; ulimit -f 2;");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql"), "mine");
    const std::string partial = tabrix_test::read_file(dir / "out.sql.incomplete");
    ASSERT_FALSE(partial.empty());
    const size_t whole = count(partial, ");\r\nGO\r\n\r\n");
    EXPECT_LT(whole, 13u);
    EXPECT_TRUE(contains(r.out, "records written: " + std::to_string(whole) + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "records failed")) << r.out;
    EXPECT_TRUE(contains(r.out, "'" + (dir / "out.sql").string() + "' is as it was")) << r.out;
    EXPECT_EQ(count(r.err, "File too large"), 1u) << r.err;

    // The next run leaves that partial script alone and replaces the earlier one.
    r = run_cli(dir, "convert -s data -o out.sql --overwrite");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(tabrix_test::read_file(dir / "out.sql"), "INSERT INTO"), 13u);
    EXPECT_EQ(tabrix_test::read_file(dir / "out.sql.incomplete"), partial);
    EXPECT_FALSE(fs::exists(dir / "out.sql.incomplete-2"));
}

TEST_F(cli, a_stopped_run_counts_no_record_as_failed) {
    // A table large enough to be stopped in the middle: 1,500,000 records of one C(10) field.
    tabrix_test::write_file(dir / "data" / "big.dbf", dbf_test::numbered_names(1'500'000, 10));

    // Stopped once the first part of the script is written.
    const std::string partial_path = quote((dir / "big.sql.incomplete").string());
    auto r = run_cli(dir, "convert -s data -t big -o big.sql --no-progress", "",
                     " & p=$!; i=0; while [ $i -lt 1000 ] && [ \"$(stat -c %s " + partial_path +
                         " 2>/dev/null || echo 0)\" -lt 1 ]; do sleep 0.01; i=$((i+1)); done; "
                         "kill -TERM $p; wait $p");
    ASSERT_EQ(r.status, 2) << r.err << r.out;
    EXPECT_TRUE(contains(r.err, "Stopped by the user.")) << r.err;
    EXPECT_FALSE(contains(r.out, "records failed")) << r.out;
    EXPECT_FALSE(fs::exists(dir / "big.sql"));
    EXPECT_TRUE(contains(r.out, "not written; there is no '" + (dir / "big.sql").string()))
        << r.out;
    const std::string partial = tabrix_test::read_file(dir / "big.sql.incomplete");
    std::string out = r.out;
    std::erase(out, ',');
    EXPECT_TRUE(contains(
        out, "records written: " + std::to_string(count(partial, ");\r\nGO\r\n\r\n")) + "\n"))
        << r.out;
}

TEST_F(cli, sources_and_options_that_cannot_be_run_as_given) {
    fs::create_directory(dir / "empty");
    for (const char* command : {"convert", "inspect"}) {
        auto r = std::string(command) == "convert" ? run_cli(dir, "convert -s empty -o e.sql")
                                                   : run_cli(dir, "inspect empty");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(contains(r.err, "empty: no DBF tables")) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "e.sql"));
    EXPECT_FALSE(fs::exists(dir / "e.sql.incomplete"));
    // The same status for the same cause.
    EXPECT_EQ(run_cli(dir, "convert -s nothing -o e.sql").status, 64);
    EXPECT_EQ(run_cli(dir, "inspect nothing").status, 64);
    EXPECT_EQ(run_cli(dir, "convert -s data -t other -o e.sql").status, 64);
    EXPECT_EQ(run_cli(dir, "inspect data --table other").status, 64);
    const std::string memo_file = tabrix_test::read_file(dir / "data" / "customers.dbt");
    fs::remove(dir / "data" / "customers.dbt");
    EXPECT_EQ(run_cli(dir, "convert -s data -o memo.sql").status, 1);
    auto memo = run_cli(dir, "inspect data");
    EXPECT_EQ(memo.status, 1);
    EXPECT_TRUE(contains(memo.err, "customers.dbf: Memo file not found; these fields are NULL: "
                                   "NOTES"))
        << memo.err;
    tabrix_test::write_file(dir / "data" / "customers.dbt", memo_file);

    // One table file as the source, as inspect takes it.
    auto r = run_cli(dir, "convert -s data/Customers.DBF -o one.sql");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string one = tabrix_test::read_file(dir / "one.sql");
    EXPECT_EQ(count(one, "CREATE TABLE"), 1u);
    EXPECT_EQ(count(one, "INSERT INTO [dbo].[customers]"), 6u);
    r = run_cli(dir, "convert -s data/customers.dbf -t orders -o two.sql");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "--table cannot choose others")) << r.err;

    const std::vector<std::vector<std::string>> refused = {
        {"--create-database", "--no-create-table"},
        {"--definitions-only", "--no-create-table"},
        {"--mode", "overwrite-database"},
        {"--mode", "skip-existing", "--no-create-table"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> args = {"convert", "-s", "data", "-o", "r.sql"};
        args.insert(args.end(), options.begin(), options.end());
        r = run_cli(dir, args);
        EXPECT_EQ(r.status, 64) << options[0] << " " << options[1];
        EXPECT_TRUE(contains(r.err, options[0])) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "r.sql"));
}

TEST_F(cli, a_profile_is_checked_before_it_is_used) {
    auto r = run_cli(dir, "convert data/customers.dbf");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "'data/customers.dbf' is not a profile (it holds binary data)"))
        << r.err;
    tabrix_test::write_file(dir / "notes.txt", "skip deleted=1\n");
    r = run_cli(dir, "convert notes.txt");
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(contains(r.err, "'notes.txt' is not a profile (line 1 comes before any ")) << r.err;

    tabrix_test::write_file(dir / "p.tbx",
                            "[Generic settings]\r\nsrc=data\r\ndest=p.sql\r\nskip deleted=yes\r\n"
                            "colour=blue\r\nmode=7\r\nencoding=77777\r\ndefault encoding=866\r\n"
                            "[MS SQL Server settings]\r\n"
                            "direct mode=0\r\ndump create table=1\r\n");
    r = run_cli(dir, "convert p.tbx");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "p.tbx:4: the value 'yes' of 'skip deleted' is not 0 or 1; it is "
                                "not used"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "p.tbx:5: unknown key 'colour' in [Generic settings]")) << r.err;
    EXPECT_TRUE(contains(r.err, "p.tbx:6: the value '7' of 'mode' is not a mode")) << r.err;
    EXPECT_TRUE(contains(r.err, "p.tbx:7: the value '77777' of 'encoding' is not a code page this "
                                "program knows (it takes 0 (each table's own)"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "windows-1252")) << r.err;
    EXPECT_TRUE(contains(r.out, "records skipped: 0")) << "the value is not used";
    EXPECT_TRUE(contains(r.out, "profile entries not used: 4")) << r.out;

    // A file that cannot be read says which and why.
    if (::geteuid() != 0) {
        fs::permissions(dir / "p.tbx", fs::perms::none);
        r = run_cli(dir, "convert p.tbx");
        EXPECT_EQ(r.status, 64);
        EXPECT_TRUE(contains(r.err, "cannot read the profile 'p.tbx': Permission denied")) << r.err;
        fs::permissions(dir / "data", fs::perms::owner_write);
        r = run_cli(dir, "convert -s data -o x.sql");
        fs::permissions(dir / "data", fs::perms::owner_all);
        EXPECT_EQ(r.status, 64);
        EXPECT_TRUE(contains(r.err, "cannot read the source folder")) << r.err;
        EXPECT_TRUE(contains(r.err, "Permission denied")) << r.err;
    } else {
        std::cerr << "note: running as root, unreadable files cannot be tried\n";
    }
    r = run_cli(dir, "convert missing.tbx");
    EXPECT_TRUE(contains(r.err, "missing.tbx: Profile does not exist.")) << r.err;
}
