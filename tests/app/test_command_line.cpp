// The tabrix-cli command that repeats a wizard's run: every word survives a POSIX shell, and
// the command parses back into the settings it was made from.
#include "app/convert_options.h"
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

    tabrix_converter c;
    c.set_direct(false);
    c.set_source_path(u"/data/old db/it's");
    c.set_destination(u"/out/Продажи $1.sql");
    c.selected_tables() = {u"o'clock", u"stock"};
    c.set_mode(udb_converter::mode_merge);
    c.set_skip_deleted(true);
    c.set_encoding(0x65);
    const std::vector<std::string> words = shell_words(tabrix_equivalent_command(c));
    ASSERT_GE(words.size(), 3u);
    EXPECT_EQ(words[0], "tabrix-cli");
    EXPECT_EQ(words[1], "convert");
    const convert_command_line cl =
        parse_convert_command_line(std::vector<std::string>(words.begin() + 2, words.end()));
    EXPECT_FALSE(cl.read_settings);
    EXPECT_TRUE(cl.overwrite);
    EXPECT_EQ(cl.settings.source, "/data/old db/it's");
    EXPECT_EQ(cl.settings.script, "/out/Продажи $1.sql");
    EXPECT_EQ(cl.settings.tables, (std::vector<std::string>{"o'clock", "stock"}));
    EXPECT_EQ(cl.settings.mode, udb_converter::mode_merge);
    EXPECT_EQ(cl.settings.skip_deleted, true);
    EXPECT_EQ(cl.settings.bool_as_is, false);
    EXPECT_EQ(cl.settings.encoding, 0x65u);
    EXPECT_EQ(cl.settings.create_table, true);
}
