#include "app/cli/convert_options.h"

#include "dbf/dbf_codepages.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>

namespace {

[[noreturn]] void usage(const std::string& text) {
    throw convert_usage_error(text);
}

// Walks the arguments; an option's value is the rest of "--name=value" or the next argument.
class arg_reader {
public:
    explicit arg_reader(const std::vector<std::string>& args) : args_(args) {}

    bool more() const { return pos_ < args_.size(); }
    const std::string& next() { return args_[pos_++]; }

    std::string value(std::string_view option, const std::optional<std::string>& inline_value) {
        if (inline_value)
            return *inline_value;
        if (!more())
            usage("option " + std::string(option) + " needs a value");
        return next();
    }

private:
    const std::vector<std::string>& args_;
    size_t pos_ = 0;
};

std::u16string widen(const std::string& text) {
    try {
        return tk_from_ansi(text);
    } catch (const tk_exception&) {
        usage("'" + text + "' is not text in this system's character set");
    }
}

// Paths given on the command line are made absolute, so that a profile saved from the run
// names the same files wherever it is loaded from.
std::u16string absolute_path(const std::string& path) {
    if (path.empty())
        usage("an empty file or folder name was given");
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return widen(ec ? path : absolute.lexically_normal().string());
}

uint32_t parse_number_option(const std::string& option, const std::string& text, uint32_t min,
                             uint32_t max) {
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < min ||
        value > max)
        usage(option + " takes a number from " + std::to_string(min) + " to " +
              std::to_string(max) + ", not '" + text + "'");
    return value;
}

// Takes the value of a row's option into `out`'s member.
void parse_value(const udb_setting& row, const std::string& option, const std::string& text,
                 udb_settings& out) {
    std::visit(
        [&](auto member) {
            auto& value = out.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::u16string>) {
                value = row.check == udb_setting_check::path ? absolute_path(text) : widen(text);
            } else if constexpr (std::is_same_v<T, std::string>) {
                value = tk_to_utf8_lossy(absolute_path(text));
            } else if constexpr (std::is_same_v<T, udb_mode>) {
                value = parse_mode_option(text);
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                value =
                    row.check == udb_setting_check::code_page_or_zero ? parse_encoding_option(text)
                    : row.check == udb_setting_check::code_page
                        ? parse_default_encoding_option(text)
                        : parse_number_option(option, text,
                                              row.check == udb_setting_check::at_least_one ? 1 : 0,
                                              row.max);
            }
        },
        row.member);
}

bool is_flag(const udb_setting& row) {
    return std::holds_alternative<bool udb_settings::*>(row.member);
}

// Help lines: the option, then its text from the 28th column (on a line of its own when the
// option is too long), continued lines indented as far.
void append_option(std::string& out, char short_option, std::string_view name,
                   std::string_view value_name, std::string_view help) {
    constexpr size_t text_column = 27;
    std::string line = short_option ? std::string("  -") + short_option + ", " : "      ";
    line.append("--").append(name);
    if (!value_name.empty())
        line.append(" ").append(value_name);
    out += line;
    if (line.size() >= text_column)
        out += "\n" + std::string(text_column, ' ');
    else
        out += std::string(text_column - line.size(), ' ');
    for (size_t pos = 0;;) {
        const size_t end = help.find('\n', pos);
        out.append(help.substr(pos, end - pos)).append("\n");
        if (end == std::string_view::npos)
            break;
        out += std::string(text_column, ' ');
        pos = end + 1;
    }
}

void append_rows(std::string& out, udb_help_group group) {
    for (const udb_setting& row : udb_setting_table())
        if (row.help_group == group && !row.option.empty())
            append_option(out, row.short_option, row.option, row.value_name, row.help);
}

} // namespace

void convert_settings_patch::set(const udb_setting& row, const udb_settings& value) {
    udb_copy_setting(row, value, values_);
    if (!has(row))
        given_.push_back(&row);
}

bool convert_settings_patch::has(const udb_setting& row) const {
    return std::find(given_.begin(), given_.end(), &row) != given_.end();
}

void convert_settings_patch::apply_to(udb_settings& settings) const {
    for (const udb_setting* row : given_)
        udb_copy_setting(*row, values_, settings);
    if (encrypt)
        settings.encrypt = *encrypt;
    if (tables) {
        settings.selected_tables.clear();
        for (const std::string& table : *tables)
            settings.selected_tables.push_back(widen(table));
    }
}

uint32_t parse_encoding_option(const std::string& text) {
    const std::optional<uint32_t> encoding = dbf_parse_encoding(text);
    if (!encoding)
        usage("--encoding takes " + dbf_accepted_encodings() + ", not '" + text + "'");
    return *encoding;
}

uint32_t parse_default_encoding_option(const std::string& text) {
    const std::optional<uint32_t> encoding = dbf_parse_encoding(text);
    if (!encoding || *encoding == 0)
        usage("--default-encoding takes a code page: " + dbf_accepted_encodings() +
              " other than 0, not '" + text + "'");
    return dbf_codepage_of_setting(*encoding);
}

udb_mode parse_mode_option(const std::string& text) {
    static constexpr std::string_view names[] = {"overwrite-database", "overwrite-tables",
                                                 "skip-existing", "merge"};
    for (int32_t i = 0; i < 4; ++i)
        if (text == names[i] || text == std::to_string(i))
            return udb_mode(i);
    usage("--mode takes 0|overwrite-database, 1|overwrite-tables, 2|skip-existing or 3|merge, "
          "not '" +
          text + "'");
}

convert_command_line parse_convert_command_line(const std::vector<std::string>& args) {
    convert_command_line cl;
    convert_settings_patch& s = cl.settings;
    arg_reader in(args);
    bool options_done = false;
    bool database_given = false;
    bool script_given = false;
    while (in.more()) {
        const std::string& arg = in.next();
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            if (cl.profile)
                usage("only one profile can be given ('" + *cl.profile + "' and '" + arg + "')");
            cl.profile = arg;
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }

        // Short options take their value from the next argument or glued on ("-tORDERS").
        std::string name;
        std::optional<std::string> inline_value;
        if (arg[1] != '-') {
            static constexpr std::pair<char, std::string_view> shorts[] = {
                {'t', "table"}, {'h', "help"}, {'V', "version"}, {'d', "database"}};
            for (const auto& [c, long_name] : shorts)
                if (arg[1] == c)
                    name = long_name;
            for (const udb_setting& row : udb_setting_table())
                if (row.short_option != 0 && arg[1] == row.short_option)
                    name = row.option;
            if (name.empty())
                usage("unknown option '" + arg + "'");
            if (arg.size() > 2)
                inline_value = arg.substr(2);
        } else {
            size_t eq = arg.find('=');
            name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            if (eq != std::string::npos)
                inline_value = arg.substr(eq + 1);
        }
        const std::string option = "--" + name;
        auto no_value = [&] {
            if (inline_value)
                usage("option " + option + " takes no value");
        };

        const udb_setting* setting = nullptr;
        for (const udb_setting& row : udb_setting_table()) {
            if (row.option.empty())
                continue;
            if (name == row.option || (is_flag(row) && name.starts_with("no-") &&
                                       std::string_view(name).substr(3) == row.option))
                setting = &row;
        }
        if (setting != nullptr) {
            udb_settings value;
            if (is_flag(*setting)) {
                no_value();
                value.*std::get<bool udb_settings::*>(setting->member) = name == setting->option;
            } else {
                parse_value(*setting, option, in.value(option, inline_value), value);
            }
            s.set(*setting, value);
            script_given = script_given || setting == udb_find_setting(&udb_settings::destination);
        } else if (name == "help") {
            no_value();
            cl.help = true;
        } else if (name == "version") {
            no_value();
            cl.version = true;
        } else if (name == "database") {
            // The destination of direct mode.
            udb_settings value;
            value.destination = widen(in.value(option, inline_value));
            value.direct = true;
            if (value.destination.empty())
                usage("--database needs a database name");
            s.set(*udb_find_setting(&udb_settings::destination), value);
            if (!s.has(&udb_settings::direct))
                s.set(*udb_find_setting(&udb_settings::direct), value);
            database_given = true;
        } else if (name == "encrypt" || name == "no-encrypt") {
            no_value();
            s.encrypt = name == "encrypt" ? 1 : 0;
        } else if (name == "table") {
            std::string table = in.value(option, inline_value);
            if (table.empty())
                usage("--table needs a table name");
            if (!s.tables)
                s.tables.emplace();
            s.tables->push_back(table);
        } else if (name == "save-profile") {
            cl.save_profile = in.value(option, inline_value);
            if (cl.save_profile->empty())
                usage("an empty file or folder name was given");
        } else if (name == "stop-on-error") {
            no_value();
            cl.stop_on_error = true;
        } else if (name == "overwrite") {
            no_value();
            cl.overwrite = true;
        } else if (name == "progress" || name == "no-progress") {
            no_value();
            cl.progress = name == "progress" ? progress_choice::always : progress_choice::never;
        } else if (name == "no-stored-settings") {
            no_value();
            cl.read_settings = false;
        } else if (name == "save-settings") {
            no_value();
            cl.write_settings = true;
        } else {
            usage("unknown option '" + arg + "'");
        }
    }

    if (database_given && script_given)
        usage("--database names a server database; it cannot be combined with --script");
    // -U names a login: SQL Server authentication, as with sqlcmd.
    if (!s.get(&udb_settings::login).value_or(u"").empty()) {
        if (s.get(&udb_settings::windows_auth).value_or(false))
            usage("-U (--login) and -E (--windows-auth) choose two ways of logging in; give one");
        udb_settings login_mode;
        login_mode.windows_auth = false;
        s.set(*udb_find_setting(&udb_settings::windows_auth), login_mode);
    }
    if (s.has(&udb_settings::driver) && s.has(&udb_settings::connection_string))
        usage("--connection-string names its driver itself; it cannot be combined with "
              "--driver");
    // A script path means script mode, unless the user asked for both.
    if (script_given) {
        if (s.get(&udb_settings::direct).value_or(false))
            usage("--script writes a script; it cannot be combined with --direct");
        udb_settings script_mode;
        script_mode.direct = false;
        s.set(*udb_find_setting(&udb_settings::direct), script_mode);
    }
    return cl;
}

std::string convert_help_text() {
    std::string text = R"(Usage: tabrix-cli convert [PROFILE.tbx] [options]
       tabrix-cli convert --direct -S HOST[\INSTANCE][,PORT] (-U LOGIN | -E) -d DATABASE
                          [options]

Converts a folder of DBF tables (.dbf with their .dbt/.fpt/.smt/.dct memo files) into a
database on a live SQL Server (direct mode), or into one T-SQL script that recreates the
database when run with sqlcmd -f 65001 -x -i SCRIPT.

Settings come from the stored settings of earlier runs, then from PROFILE.tbx when one is
given, then from these options, which override both.

Source and destination:
)";
    append_rows(text, udb_help_group::source);
    append_option(text, 0, "overwrite", "",
                  "replace FILE, and the --log file, when they exist (otherwise\n"
                  "the run is refused)");
    append_option(text, 't', "table", "NAME",
                  "convert table NAME; repeat for several, converted in the order\n"
                  "given (default: every table of the folder, in folder order)");
    text += "\nWhat to write (each of these has a --no-... form that turns it off):\n";
    append_rows(text, udb_help_group::output);
    text += "\nScript format that loads fast (0, the default, writes one INSERT statement and "
            "one\nbatch per record):\n";
    append_rows(text, udb_help_group::script_format);
    text += "\nRunning:\n";
    append_option(text, 0, "stop-on-error", "",
                  "stop at the first error (default: report it and go on with the\n"
                  "next record or table)");
    append_rows(text, udb_help_group::running);
    append_option(text, 0, "save-profile", "FILE",
                  "save the settings of this run as a profile after the run (a\n"
                  "profile holding a password is readable by its owner only); an\n"
                  "existing FILE is replaced when it is a profile");
    append_option(text, 0, "progress, --no-progress", "",
                  "show a progress bar on stderr (default: when stderr is a terminal)");
    append_option(text, 0, "no-stored-settings", "", "ignore the settings stored by earlier runs");
    append_option(text, 0, "save-settings", "",
                  "store this run's settings as the defaults of later runs\n"
                  "(the settings are never stored without this option)");
    append_option(text, 'h', "help", "", "show this text");
    append_option(text, 'V', "version", "", "show the program's version");
    text += "\nDirect mode (the database created and filled on a live SQL Server over ODBC):\n";
    append_rows(text, udb_help_group::server);
    append_option(text, 'd', "database", "NAME",
                  "the database to fill; created when the server has none of that\n"
                  "name. --mode says what happens to what is there:\n"
                  "0 drop and create the whole database when the run starts,\n"
                  "1 drop and create each converted table (the default),\n"
                  "2 leave existing tables as they are, 3 add the records to them");
    append_option(text, 0, "encrypt, --no-encrypt", "",
                  "encrypt the connection, or not (default: the driver's)");
    text +=
        R"(The password is stored with --save-settings, and in a profile with --save-profile, only
when one of them is given (both files are readable by their owner only).

Exit status: 0 converted without errors, 1 finished with errors (the script is written, or
the records that failed are listed; also when the source holds no DBF table, and then
nothing is written), 2 stopped (by --stop-on-error, Ctrl-C or an error that ends the run,
such as a lost connection; a script is not written), 3 cannot connect to the server (it
cannot be reached or refused the login), 64 usage error; an internal error ends the program
with 255.
)";
    return text;
}
