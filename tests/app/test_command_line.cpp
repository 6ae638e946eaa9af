// The tabrix-cli command that repeats a wizard's run: every word survives a POSIX shell, and
// the command parses back into the settings it was made from.
#include "app/cli/convert_options.h"
#include "app/tabrix_command_line.h"
#include "app/tabrix_converter.h"
#include "support/test_support.h"

#include <cstdio>

namespace {

// The words a POSIX shell makes of `command`, one a line.
std::vector<std::string> shell_words(const std::string& command) {
    FILE* pipe = popen(
        ("set -- " + command + "; for w in \"$@\"; do printf '%s\\n' \"$w\"; done").c_str(), "r");
    std::vector<std::string> words;
    if (!pipe)
        return words;
    std::string line;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c == '\n') {
            words.push_back(line);
            line.clear();
        } else {
            line += char(c);
        }
    }
    pclose(pipe);
    return words;
}

} // namespace

TEST(EquivalentCommand, QuotesWhatTheShellWouldSplitAndParsesBack) {
    EXPECT_EQ(tabrix_shell_word("/data/orders.sql"), "/data/orders.sql");
    EXPECT_EQ(tabrix_shell_word("a b"), "'a b'");
    EXPECT_EQ(tabrix_shell_word("it's"), "'it'\\''s'");
    EXPECT_EQ(tabrix_shell_word(""), "''");
    EXPECT_EQ(tabrix_shell_word("$HOME"), "'$HOME'");

    // Every setting the command carries comes back as it was; the password is not written.
    const auto parses_back = [](const udb_settings& settings) {
        tabrix_converter c;
        c.settings() = settings;
        const std::vector<std::string> words = shell_words(tabrix_equivalent_command(c));
        ASSERT_GE(words.size(), 3u);
        EXPECT_EQ(words[0], "tabrix-cli");
        EXPECT_EQ(words[1], "convert");
        const convert_command_line cl =
            parse_convert_command_line(std::vector<std::string>(words.begin() + 2, words.end()));
        EXPECT_FALSE(cl.read_settings);
        EXPECT_EQ(cl.overwrite, !settings.direct);
        udb_settings back;
        cl.settings.apply_to(back);
        EXPECT_EQ(back, settings) << tabrix_equivalent_command(c);
    };

    udb_settings script;
    script.direct = false;
    script.source = u"/data/old db/it's";
    script.destination = u"/out/Продажи $1.sql";
    script.selected_tables = {u"o'clock", u"stock"};
    script.mode = udb_mode::merge;
    script.skip_deleted = true;
    script.encoding = 0x65;
    script.dmp_ins_tab = false;
    script.rows_per_insert = 100;
    parses_back(script);

    udb_settings server;
    server.source = u"/data/dbf";
    server.destination = u"Sales";
    server.host = u"db.example,1433";
    server.windows_auth = false;
    server.login = u"sa";
    server.as_dbo = false;
    server.fast_load = false;
    server.batch_size = 500;
    server.encrypt = 1;
    server.trust_server_certificate = true;
    server.selected_tables = {u"orders"};
    parses_back(server);
}
