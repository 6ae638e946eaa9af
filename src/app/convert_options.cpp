#include "app/convert_options.h"

#include "dbf/dbf_codepages.h"
#include "mss/mss_batch_settings.h"

#include <string_view>

namespace {

using flag_member = std::optional<bool> convert_settings_patch::*;
using text_member = std::optional<std::string> convert_settings_patch::*;

// Options that switch a setting on ("--name") or off ("--no-name").
struct flag_option {
    std::string_view name;
    flag_member member;
};

constexpr flag_option flag_options[] = {
    {"definitions-only", &convert_settings_patch::definitions_only},
    {"skip-indexes", &convert_settings_patch::skip_indexes},
    {"skip-deleted", &convert_settings_patch::skip_deleted},
    {"bool-as-is", &convert_settings_patch::bool_as_is},
    {"comments", &convert_settings_patch::comments},
    {"create-database", &convert_settings_patch::create_database},
    {"create-table", &convert_settings_patch::create_table},
    {"windows-auth", &convert_settings_patch::windows_auth},
    {"as-dbo", &convert_settings_patch::as_dbo},
    {"fast-load", &convert_settings_patch::fast_load},
    {"trust-server-certificate", &convert_settings_patch::trust_server_certificate},
    {"encrypt", &convert_settings_patch::encrypt},
};

// Options that take a text.
struct text_option {
    std::string_view name;
    char short_name;
    text_member member;
};

constexpr text_option text_options[] = {
    {"source", 's', &convert_settings_patch::source},
    {"log", 0, &convert_settings_patch::log_file},
    {"server", 'S', &convert_settings_patch::host},
    {"login", 'U', &convert_settings_patch::login},
    {"password", 'P', &convert_settings_patch::password},
    {"database", 'd', &convert_settings_patch::database},
    {"driver", 0, &convert_settings_patch::driver},
    {"connection-string", 0, &convert_settings_patch::connection_string},
};

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

} // namespace

uint32_t parse_encoding_option(const std::string& text) {
    const std::optional<uint32_t> encoding = dbf_parse_encoding(text);
    if (!encoding)
        usage("--encoding takes " + dbf_accepted_encodings() + ", not '" + text + "'");
    return *encoding;
}

uint32_t parse_batch_size_option(const std::string& text) {
    uint64_t records = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || records > 1000000000)
            usage("--batch-size takes a number of records from 1 to 1000000000, not '" + text +
                  "'");
        records = records * 10 + uint64_t(c - '0');
    }
    if (text.empty() || records < 1 || records > 1000000000)
        usage("--batch-size takes a number of records from 1 to 1000000000, not '" + text + "'");
    return uint32_t(records);
}

uint32_t parse_default_encoding_option(const std::string& text) {
    const std::optional<uint32_t> encoding = dbf_parse_encoding(text);
    if (!encoding || *encoding == 0)
        usage("--default-encoding takes a code page: " + dbf_accepted_encodings() +
              " other than 0, not '" + text + "'");
    return dbf_codepage_of_setting(*encoding);
}

int32_t parse_mode_option(const std::string& text) {
    static constexpr std::string_view names[] = {"overwrite-database", "overwrite-tables",
                                                 "skip-existing", "merge"};
    for (int32_t i = 0; i < 4; ++i)
        if (text == names[i] || text == std::to_string(i))
            return i;
    usage("--mode takes 0|overwrite-database, 1|overwrite-tables, 2|skip-existing or 3|merge, "
          "not '" +
          text + "'");
}

convert_command_line parse_convert_command_line(const std::vector<std::string>& args) {
    convert_command_line cl;
    convert_settings_patch& s = cl.settings;
    arg_reader in(args);
    bool options_done = false;
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
                {'s', "source"}, {'o', "script"},   {'e', "encoding"}, {'t', "table"},
                {'m', "mode"},   {'h', "help"},     {'V', "version"},  {'S', "server"},
                {'U', "login"},  {'P', "password"}, {'d', "database"}, {'E', "windows-auth"}};
            for (const auto& [c, long_name] : shorts)
                if (arg[1] == c)
                    name = long_name;
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

        if (name == "help") {
            no_value();
            cl.help = true;
            continue;
        }
        if (name == "version") {
            no_value();
            cl.version = true;
            continue;
        }
        bool done = false;
        for (const flag_option& f : flag_options) {
            if (name == f.name || (name.starts_with("no-") && name.substr(3) == f.name)) {
                no_value();
                s.*(f.member) = name == f.name;
                done = true;
                break;
            }
        }
        for (const text_option& t : text_options) {
            if (!done && name == t.name) {
                s.*(t.member) = in.value(option, inline_value);
                done = true;
            }
        }
        for (size_t i = 0; !done && i < mss_batch_setting_count; ++i) {
            const mss_batch_setting& setting = mss_batch_settings[i];
            if (name != setting.option)
                continue;
            const std::string value = in.value(option, inline_value);
            s.batch[i] = mss_parse_batch_setting(setting, value);
            if (!s.batch[i])
                usage(option + " takes a number from 0 to " + std::to_string(setting.max) +
                      ", not '" + value + "'");
            done = true;
        }
        if (done)
            continue;

        if (name == "script") {
            s.script = in.value(option, inline_value);
        } else if (name == "encoding") {
            s.encoding = parse_encoding_option(in.value(option, inline_value));
        } else if (name == "default-encoding") {
            s.default_encoding = parse_default_encoding_option(in.value(option, inline_value));
        } else if (name == "table") {
            std::string table = in.value(option, inline_value);
            if (table.empty())
                usage("--table needs a table name");
            if (!s.tables)
                s.tables.emplace();
            s.tables->push_back(table);
        } else if (name == "batch-size") {
            s.batch_size = parse_batch_size_option(in.value(option, inline_value));
        } else if (name == "mode") {
            s.mode = parse_mode_option(in.value(option, inline_value));
        } else if (name == "direct" || name == "no-direct") {
            no_value();
            s.direct = name == "direct";
        } else if (name == "save-profile") {
            cl.save_profile = in.value(option, inline_value);
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

    // A script path means script mode, unless the user asked for both.
    if (s.script) {
        if (s.direct.value_or(false))
            usage("--script writes a script; it cannot be combined with --direct");
        s.direct = false;
    }
    // -U names a login: SQL Server authentication, as with sqlcmd.
    if (s.login && !s.login->empty()) {
        if (s.windows_auth.value_or(false))
            usage("-U (--login) and -E (--windows-auth) choose two ways of logging in; give one");
        s.windows_auth = false;
    }
    if (s.database && s.script)
        usage("--database names a server database; it cannot be combined with --script");
    if (s.driver && s.connection_string)
        usage("--connection-string names its driver itself; it cannot be combined with "
              "--driver");
    for (const auto* text : {&s.source, &s.script, &cl.save_profile})
        if (*text && (*text)->empty())
            usage("an empty file or folder name was given");
    return cl;
}

namespace {

// The options of the format that loads fast, from their table.
std::string batch_options_help() {
    std::string text = "Script format that loads fast (0, the default, writes one INSERT statement "
                       "and one\nbatch per record):\n";
    for (const mss_batch_setting& setting : mss_batch_settings) {
        std::string head = "      --" + std::string(setting.option) + " N";
        head.resize(std::max<size_t>(head.size() + 1, 27), ' ');
        text += head + std::string(setting.help) + "\n";
    }
    return text + "\n";
}

} // namespace

const char* convert_help_text() {
    static const std::string text = std::string(R"(Usage: tabrix-cli convert [PROFILE.tbx] [options]
       tabrix-cli convert --direct -S HOST[\INSTANCE][,PORT] (-U LOGIN | -E) -d DATABASE
                          [options]

Converts a folder of DBF tables (.dbf with their .dbt/.fpt/.smt/.dct memo files) into a
database on a live SQL Server (direct mode), or into one T-SQL script that recreates the
database when run with sqlcmd -f 65001 -x -i SCRIPT.

Settings come from the stored settings of earlier runs, then from PROFILE.tbx when one is
given, then from these options, which override both.

Source and destination:
  -s, --source PATH        the folder of DBF tables, or one table (.dbf file)
  -o, --script FILE        write the T-SQL script to FILE; the script is written as
                           FILE.incomplete and takes its name when the run ends (a run that
                           stops leaves FILE as it was and the partial script under that name)
      --overwrite          replace FILE, and the --log file, when they exist (otherwise
                           the run is refused)
  -e, --encoding CODEPAGE  code page of the tables' text, replacing their own: a DBF
                           language-driver byte (decimal or 0x..: 3 Windows ANSI, 0x65
                           Russian MS-DOS), a code page number (1252, 866, 936) or name
                           (cp1252, windows-1252, latin1, utf-8, gbk); 0 takes each table's
                           own ('tabrix-cli encodings' lists the bytes and code pages)
      --default-encoding CODEPAGE
                           code page of the tables that name none (default 1252); such a
                           table is read as UTF-8 when its text is valid UTF-8
  -t, --table NAME         convert table NAME; repeat for several, converted in the order
                           given (default: every table of the folder, in folder order)
  -m, --mode MODE          what the script does, when it runs, with a table that the
                           database already has:
                           0|overwrite-database  drop and create the whole database first
                                                 (needs --create-database)
                           1|overwrite-tables    drop the table and create it again
                           2|skip-existing       leave it and its rows as they are
                           3|merge               add the records to it
                           (default: 1, or 3 with --no-create-table)

What to write (each of these has a --no-... form that turns it off):
      --definitions-only   create the tables but copy no record
      --skip-indexes       create no index (no primary key, no clustered index)
      --skip-deleted       leave out records marked as deleted
      --bool-as-is         keep logical values as their letters (CHAR(1) columns)
      --comments           write the header and the comment block of each table
      --create-database    begin with a DROP/CREATE DATABASE block (needs --create-table)
      --create-table       write CREATE TABLE and the indexes (and DROP TABLE in modes 0
                           and 1); --no-create-table writes the records only

)") + batch_options_help() + R"(Running:
      --stop-on-error      stop at the first error (default: report it and go on with the
                           next record or table)
      --log FILE           write a trace of the run to FILE, to send with a bug report
      --save-profile FILE  save the settings of this run as a profile after the run (a
                           profile holding a password is readable by its owner only); an
                           existing FILE is replaced when it is a profile
      --progress, --no-progress
                           show a progress bar on stderr (default: when stderr is a terminal)
      --no-stored-settings ignore the settings stored by earlier runs
      --save-settings      store this run's settings as the defaults of later runs
                           (the settings are never stored without this option)
  -h, --help               show this text
  -V, --version            show the program's version

Direct mode (the database created and filled on a live SQL Server over ODBC):
      --direct             write to a server (the default when no --script is given)
  -S, --server HOST        the server: HOST, HOST\INSTANCE or HOST,PORT
  -U, --login LOGIN        a SQL Server login; its password comes from -P, else
                           SQLCMDPASSWORD, else TABRIX_PASSWORD, else the stored settings,
                           else a prompt on the terminal
  -P, --password TEXT      the password (visible to other users of this computer in the
                           process list: prefer the prompt or the environment)
  -E, --windows-auth       integrated (Kerberos) authentication instead of a login
  -d, --database NAME      the database to fill; created when the server has none of that
                           name. --mode says what happens to what is there:
                           0 drop and create the whole database when the run starts,
                           1 drop and create each converted table (the default),
                           2 leave existing tables as they are, 3 add the records to them
      --as-dbo             create the tables under dbo (default: the login's default schema)
      --no-fast-load       send the records as INSERT statements only (default: bulk copy
                           where the driver offers it, with statements as its safety net)
      --batch-size N       records per committed bulk batch (default: 1000)
      --driver NAME        an ODBC driver by name or library path (default: ODBC Driver 18
                           for SQL Server, then 17, then FreeTDS)
      --connection-string TEXT
                           a whole ODBC connection string instead of -S/-U/-P/-E/--driver
      --trust-server-certificate
                           accept the server's certificate without checking it (driver 18
                           checks it by default)
      --encrypt, --no-encrypt
                           encrypt the connection, or not (default: the driver's)
The password is stored with --save-settings, and in a profile with --save-profile, only
when one of them is given (both files are readable by their owner only).

Exit status: 0 converted without errors, 1 finished with errors (the script is written, or
the records that failed are listed; also when the source holds no DBF table, and then
nothing is written), 2 stopped (by --stop-on-error, Ctrl-C or an error that ends the run,
such as a lost connection; a script is not written), 3 cannot connect to the server (it
cannot be reached or refused the login), 64 usage error; an internal error ends the program
with 255.
)";
    return text.c_str();
}
