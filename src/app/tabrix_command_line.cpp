#include "app/tabrix_command_line.h"

#include "app/tabrix_converter.h"
#include "tk/tk_text.h"
#include "udb/udb_setting_table.h"

namespace {

const char* mode_name(udb_mode mode) {
    switch (mode) {
    case udb_mode::overwrite_database:
        return "overwrite-database";
    case udb_mode::overwrite_tables:
        break;
    case udb_mode::skip_existing:
        return "skip-existing";
    case udb_mode::merge:
        return "merge";
    }
    return "overwrite-tables";
}

class command_builder {
public:
    void word(std::string_view w) {
        text_ += ' ';
        text_ += tabrix_shell_word(w);
    }
    void option(std::string_view name, std::string_view value) {
        word(name);
        word(value);
    }
    void option(std::string_view name, std::u16string_view value) {
        option(name, tk_to_utf8_lossy(value));
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
    const udb_settings& s = c.settings();
    const udb_setting_target skipped =
        s.direct ? udb_setting_target::script : udb_setting_target::server;
    command_builder b;
    for (const udb_setting& row : udb_setting_table()) {
        if (row.option.empty() || row.target == skipped)
            continue;
        const std::string option = "--" + std::string(row.option);
        std::visit(
            [&](auto member) {
                const auto& value = s.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, bool>) {
                    b.flag(row.option, value);
                } else if constexpr (std::is_same_v<T, uint32_t>) {
                    b.option(option, value);
                } else if constexpr (std::is_same_v<T, udb_mode>) {
                    b.option(option, std::string_view(mode_name(value)));
                } else if constexpr (std::is_same_v<T, std::string>) {
                    if (!value.empty())
                        b.option(option, std::string_view(value));
                } else if (member == &udb_settings::destination) {
                    b.option(s.direct ? "--database" : "--script", value);
                    if (!s.direct)
                        b.word("--overwrite");
                } else if (member != &udb_settings::password &&
                           !(member == &udb_settings::login && s.windows_auth) && !value.empty()) {
                    // tabrix-cli asks for the password; a login goes unused with Windows
                    // authentication.
                    b.option(option, value);
                }
            },
            row.member);
    }
    // Encryption has two options rather than one with a value; 2 is the driver's default.
    if (s.direct && s.encrypt != 2)
        b.flag("encrypt", s.encrypt == 1);
    for (const std::u16string& table : s.selected_tables)
        b.option("--table", table);
    return b.take();
}
