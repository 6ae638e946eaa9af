#include "app/cli/convert_options.h"
#include "support/test_support.h"
#include "tk/tk_text.h"

#include <filesystem>

namespace {

convert_command_line parse(std::vector<std::string> args) {
    return parse_convert_command_line(args);
}

std::string usage_text(std::vector<std::string> args) {
    try {
        parse(std::move(args));
    } catch (const convert_usage_error& e) {
        return e.what();
    }
    return "<accepted>";
}

} // namespace

TEST(convert_options, every_setting_of_a_script_run) {
    auto cl = parse(tabrix_test::words(
        "run.tbx --source /data/dbf -o out.sql --encoding=0x65 -t orders --table=clients -tITEMS "
        "--mode skip-existing --definitions-only --skip-indexes --skip-deleted --bool-as-is "
        "--no-comments --create-database --no-create-table --rows-per-insert=1000 --rows-per-batch "
        "5000 --log trace.log --save-profile saved.tbx --stop-on-error --no-progress "
        "--no-stored-settings --save-settings"));
    const convert_settings_patch& s = cl.settings;
    const std::filesystem::path here = std::filesystem::current_path();
    EXPECT_EQ(cl.profile, "run.tbx");
    EXPECT_EQ(s.get(&udb_settings::source), u"/data/dbf");
    EXPECT_EQ(s.get(&udb_settings::destination), tk_from_utf8((here / "out.sql").string()))
        << "paths are made absolute";
    EXPECT_EQ(s.get(&udb_settings::direct), false) << "a script path means script mode";
    EXPECT_EQ(s.get(&udb_settings::encoding), 0x65u);
    EXPECT_EQ(s.tables, (std::vector<std::string>{"orders", "clients", "ITEMS"}));
    EXPECT_EQ(s.get(&udb_settings::mode), udb_mode(2));
    EXPECT_EQ(s.get(&udb_settings::table_definitions_only), true);
    EXPECT_EQ(s.get(&udb_settings::skip_indexes), true);
    EXPECT_EQ(s.get(&udb_settings::skip_deleted), true);
    EXPECT_EQ(s.get(&udb_settings::bool_as_is), true);
    EXPECT_EQ(s.get(&udb_settings::dmp_ins_com), false);
    EXPECT_EQ(s.get(&udb_settings::dmp_ins_db), true);
    EXPECT_EQ(s.get(&udb_settings::dmp_ins_tab), false);
    EXPECT_EQ(s.get(&udb_settings::rows_per_insert), 1000u);
    EXPECT_EQ(s.get(&udb_settings::rows_per_batch), 5000u);
    EXPECT_EQ(s.get(&udb_settings::logfile), (here / "trace.log").string());
    EXPECT_EQ(cl.save_profile, "saved.tbx");
    EXPECT_TRUE(cl.stop_on_error);
    EXPECT_EQ(cl.progress, progress_choice::never);
    EXPECT_FALSE(cl.read_settings);
    EXPECT_TRUE(cl.write_settings);
    EXPECT_FALSE(cl.help);
}

TEST(convert_options, options_left_out_keep_the_stored_and_profile_values) {
    auto cl = parse({});
    const convert_settings_patch& s = cl.settings;
    EXPECT_FALSE(cl.profile);
    EXPECT_FALSE(s.tables);
    for (const udb_setting& row : udb_setting_table())
        EXPECT_FALSE(s.has(row)) << row.option;
    EXPECT_TRUE(cl.read_settings);
    EXPECT_FALSE(cl.write_settings);
    EXPECT_EQ(cl.progress, progress_choice::automatic);

    // The last of --x / --no-x wins.
    EXPECT_EQ(
        parse({"--skip-deleted", "--no-skip-deleted"}).settings.get(&udb_settings::skip_deleted),
        false);
    EXPECT_EQ(parse({"--mode=1"}).settings.get(&udb_settings::mode), udb_mode(1));
    EXPECT_EQ(parse({"-m", "merge"}).settings.get(&udb_settings::mode), udb_mode(3));
    EXPECT_EQ(parse({"--encoding", "201"}).settings.get(&udb_settings::encoding), 201u);
    EXPECT_EQ(parse({"--", "-odd-name.tbx"}).profile, "-odd-name.tbx");
    EXPECT_TRUE(parse({"-h"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
}

TEST(convert_options, direct_mode_settings) {
    auto cl = parse({"--direct", "--server", "db1\\SQL", "--login", "sa", "--password=p=w",
                     "--no-windows-auth", "--as-dbo"});
    const convert_settings_patch& s = cl.settings;
    EXPECT_EQ(s.get(&udb_settings::direct), true);
    EXPECT_EQ(s.get(&udb_settings::host), u"db1\\SQL");
    EXPECT_EQ(s.get(&udb_settings::login), u"sa");
    EXPECT_EQ(s.get(&udb_settings::password), u"p=w");
    EXPECT_EQ(s.get(&udb_settings::windows_auth), false);
    EXPECT_EQ(s.get(&udb_settings::as_dbo), true);
}

TEST(convert_options, usage_errors) {
    EXPECT_EQ(usage_text({"--frobnicate"}), "unknown option '--frobnicate'");
    EXPECT_EQ(usage_text({"-x"}), "unknown option '-x'");
    EXPECT_EQ(usage_text({"--source"}), "option --source needs a value");
    EXPECT_EQ(usage_text({"--skip-deleted=1"}), "option --skip-deleted takes no value");
    EXPECT_EQ(usage_text({"a.tbx", "b.tbx"}),
              "only one profile can be given ('a.tbx' and 'b.tbx')");
    // Code pages by byte, number or name (the names are the table reader's); anything else is
    // refused with what is accepted.
    EXPECT_EQ(parse({"-e", "utf-8"}).settings.get(&udb_settings::encoding), 65001u);
    for (const char* bad : {"0xFF", "256", "cp12345", "0x", "77777"}) {
        const std::string text = usage_text({"--encoding", bad});
        EXPECT_NE(text.find(std::string("'") + bad + "'"), std::string::npos) << text;
        EXPECT_NE(text.find("windows-1252"), std::string::npos) << text;
    }
    EXPECT_EQ(parse({"--default-encoding", "0x65"}).settings.get(&udb_settings::default_encoding),
              866u);
    EXPECT_EQ(parse({"--default-encoding=cp1251"}).settings.get(&udb_settings::default_encoding),
              1251u);
    EXPECT_NE(usage_text({"--default-encoding", "0"}).find("'0'"), std::string::npos);
    EXPECT_NE(usage_text({"--mode", "4"}).find("'4'"), std::string::npos);
    EXPECT_NE(usage_text({"--direct", "--script", "x.sql"}).find("--direct"), std::string::npos);
    EXPECT_EQ(usage_text({"--rows-per-insert", "1001"}),
              "--rows-per-insert takes a number from 0 to 1000, not '1001'");
    for (const char* bad : {"-1", "", "1e3", " 5", "99999999999"})
        EXPECT_NE(usage_text({"--rows-per-batch", bad}).find("--rows-per-batch takes a number"),
                  std::string::npos)
            << bad;
    EXPECT_EQ(usage_text({"--table="}), "--table needs a table name");
    EXPECT_EQ(usage_text({"--script="}), "an empty file or folder name was given");
}
