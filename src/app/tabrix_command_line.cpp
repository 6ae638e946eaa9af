#include "app/tabrix_command_line.h"

#include "app/tabrix_converter.h"
#include "dbf/dbf_codepages.h"
#include "tk/tk_text.h"

namespace {

const char* mode_name(int32_t mode) {
    switch (mode) {
    case udb_converter::mode_overwrite_database:
        return "overwrite-database";
    case udb_converter::mode_skip_existing:
        return "skip-existing";
    case udb_converter::mode_merge:
        return "merge";
    default:
        return "overwrite-tables";
    }
}

class command_builder {
public:
    void word(std::string_view w) {
        text_ += ' ';
        text_ += tabrix_shell_word(w);
    }
    void option(std::string_view name, std::u16string_view value) {
        word(name);
        word(tk_to_utf8_lossy(value));
    }
    void option(std::string_view name, uint32_t value) {
        word(name);
        word(std::to_string(value));
    }
    void flag(std::string_view name, bool on) {
        std::string w(on ? "--" : "--no-");
        w += name;
        word(w);
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_ = "tabrix-cli convert --no-stored-settings";
};

} // namespace

std::string tabrix_shell_word(std::string_view word) {
    bool safe = !word.empty();
    for (char c : word) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("-_./=:,+@%").find(c) != std::string_view::npos;
        safe = safe && plain;
    }
    if (safe)
        return std::string(word);
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string tabrix_equivalent_command(const tabrix_converter& c) {
    command_builder b;
    b.option("--source", c.get_source_path());
    if (c.get_direct()) {
        b.word("--direct");
        if (!c.get_host().empty())
            b.option("--server", c.get_host());
        b.flag("windows-auth", c.get_windows_auth());
        if (!c.get_windows_auth())
            b.option("--login", c.get_login());
        b.flag("as-dbo", c.get_as_dbo());
        const mss_connection_settings& server = c.server();
        if (!server.driver.empty())
            b.option("--driver", server.driver);
        if (!server.connection_string.empty())
            b.option("--connection-string", server.connection_string);
        if (server.encrypt != mss_connection_settings::encryption::driver_default)
            b.flag("encrypt", server.encrypt == mss_connection_settings::encryption::on);
        if (server.trust_server_certificate)
            b.word("--trust-server-certificate");
        b.option("--database", c.get_destination());
    } else {
        b.option("--script", c.get_destination());
        b.word("--overwrite");
    }
    if (c.get_encoding() != 0)
        b.option("--encoding", c.get_encoding());
    if (c.get_default_encoding() != dbf_default_codepage)
        b.option("--default-encoding", c.get_default_encoding());
    for (const std::u16string& table : c.selected_tables())
        b.option("--table", table);
    b.word("--mode");
    b.word(mode_name(c.get_mode()));
    b.flag("definitions-only", c.get_table_definitions_only());
    b.flag("skip-indexes", c.get_skip_indexes());
    b.flag("skip-deleted", c.get_skip_deleted());
    b.flag("bool-as-is", c.get_bool_as_is());
    if (!c.get_direct()) {
        const mss_dump_options& dump = c.dump_options();
        b.flag("comments", dump.dmp_ins_com);
        b.flag("create-database", dump.dmp_ins_db);
        b.flag("create-table", dump.dmp_ins_tab);
    }
    return b.take();
}
