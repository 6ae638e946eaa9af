#include "udb/udb_setting_table.h"

#include "tk/tk_reg_key.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"
#include "udb/udb_profile.h"

namespace {

using s = udb_settings;
using reading = udb_profile_reading;
using check = udb_setting_check;
using group = udb_help_group;
using target = udb_setting_target;

constexpr std::u16string_view generic = udb_profile::generic_settings;
constexpr std::u16string_view mssql = udb_profile::mssql_settings;

// Profile order: the generic keys, the MS SQL keys, then the application's, as profiles have
// always been written (within a section the file keeps this order).
constexpr udb_setting table[] = {
    {.member = &s::source,
     .stored_name = "src",
     .section = generic,
     .key = u"src",
     .check = check::path,
     .option = "source",
     .short_option = 's',
     .value_name = "PATH",
     .help = "the folder of DBF tables, or one table (.dbf file)",
     .help_group = group::source,
     .wizard_control = "folder"},
    {.member = &s::destination,
     .stored_name = "dest",
     .section = generic,
     .key = u"dest",
     .check = check::path,
     .option = "script",
     .short_option = 'o',
     .value_name = "FILE",
     .help = "write the T-SQL script to FILE; the script is written as\n"
             "FILE.incomplete and takes its name when the run ends (a run that\n"
             "stops leaves FILE as it was and the partial script under that name)",
     .help_group = group::source,
     .wizard_control = "destination"},
    {.member = &s::logfile,
     .section = generic,
     .key = u"logfile",
     .check = check::path,
     .option = "log",
     .value_name = "FILE",
     .help = "write a trace of the run to FILE, to send with a bug report",
     .help_group = group::running},
    {.member = &s::skip_indexes,
     .stored_name = "skip_idx",
     .section = generic,
     .key = u"skip indexes",
     .reading = reading::unless_zero,
     .option = "skip-indexes",
     .help = "create no index (no primary key, no clustered index)",
     .help_group = group::output},
    {.member = &s::table_definitions_only,
     .stored_name = "tab_def",
     .section = generic,
     .key = u"only definitions",
     .reading = reading::unless_zero,
     .option = "definitions-only",
     .help = "create the tables but copy no record",
     .help_group = group::output,
     .wizard_control = "definitions_only"},
    {.member = &s::mode,
     .section = generic,
     .key = u"mode",
     .reading = reading::first_digit,
     .check = check::mode,
     .option = "mode",
     .short_option = 'm',
     .value_name = "MODE",
     .help = "what the script does, when it runs, with a table that the\n"
             "database already has:\n"
             "0|overwrite-database  drop and create the whole database first\n"
             "                      (needs --create-database)\n"
             "1|overwrite-tables    drop the table and create it again\n"
             "2|skip-existing       leave it and its rows as they are\n"
             "3|merge               add the records to it\n"
             "(default: 1, or 3 with --no-create-table)",
     .help_group = group::source},
    {.member = &s::host,
     .stored_name = "host",
     .section = mssql,
     .key = u"server",
     .skip_empty = true,
     .option = "server",
     .short_option = 'S',
     .value_name = "HOST",
     .help = "the server: HOST, HOST\\INSTANCE or HOST,PORT",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "host"},
    {.member = &s::login,
     .stored_name = "user",
     .section = mssql,
     .key = u"login",
     .skip_empty = true,
     .option = "login",
     .short_option = 'U',
     .value_name = "LOGIN",
     .help = "a SQL Server login; its password comes from -P, else\n"
             "SQLCMDPASSWORD, else TABRIX_PASSWORD, else the stored settings,\n"
             "else a prompt on the terminal",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "login"},
    {.member = &s::password,
     .stored_name = "pswd",
     .section = mssql,
     .key = u"password",
     .skip_empty = true,
     .secret = true,
     .option = "password",
     .short_option = 'P',
     .value_name = "TEXT",
     .help = "the password (visible to other users of this computer in the\n"
             "process list: prefer the prompt or the environment)",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "password"},
    {.member = &s::windows_auth,
     .stored_name = "sec_log",
     .section = mssql,
     .key = u"windows authentication",
     .reading = reading::only_one,
     .option = "windows-auth",
     .short_option = 'E',
     .help = "integrated (Kerberos) authentication instead of a login",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "windows_auth"},
    {.member = &s::as_dbo,
     .stored_name = "as_dbo",
     .section = mssql,
     .key = u"connect as DBO",
     .reading = reading::only_one,
     .option = "as-dbo",
     .help = "create the tables under dbo (default: the login's default schema)",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "as_dbo"},
    {.member = &s::dmp_ins_com,
     .stored_name = "dmp_ins_com",
     .section = mssql,
     .key = u"dump insert comments",
     .reading = reading::only_one,
     .option = "comments",
     .help = "write the header and the comment block of each table",
     .help_group = group::output,
     .target = target::script,
     .wizard_control = "comments"},
    {.member = &s::dmp_ins_db,
     .stored_name = "dmp_ins_db",
     .section = mssql,
     .key = u"dump create database",
     .reading = reading::only_one,
     .option = "create-database",
     .help = "begin with a DROP/CREATE DATABASE block (needs --create-table)",
     .help_group = group::output,
     .target = target::script,
     .wizard_control = "create_database"},
    {.member = &s::dmp_ins_tab,
     .stored_name = "dmp_ins_tab",
     .section = mssql,
     .key = u"dump create table",
     .reading = reading::only_one,
     .option = "create-table",
     .help = "write CREATE TABLE and the indexes (and DROP TABLE in modes 0\n"
             "and 1); --no-create-table writes the records only",
     .help_group = group::output,
     .target = target::script,
     .wizard_control = "create_table"},
    {.member = &s::driver,
     .stored_name = "driver",
     .section = mssql,
     .key = u"driver",
     .skip_empty = true,
     .option = "driver",
     .value_name = "NAME",
     .help = "an ODBC driver by name or library path (default: ODBC Driver 18\n"
             "for SQL Server, then 17, then FreeTDS)",
     .help_group = group::server,
     .target = target::server},
    {.member = &s::connection_string,
     .stored_name = "conn_str",
     .section = mssql,
     .key = u"connection string",
     .skip_empty = true,
     .secret = true, // it may hold a password
     .option = "connection-string",
     .value_name = "TEXT",
     .help = "a whole ODBC connection string instead of -S/-U/-P/-E/--driver",
     .help_group = group::server,
     .target = target::server},
    {.member = &s::trust_server_certificate,
     .stored_name = "trust_cert",
     .section = mssql,
     .key = u"trust server certificate",
     .reading = reading::only_one,
     .skip_default = true,
     .option = "trust-server-certificate",
     .help = "accept the server's certificate without checking it (driver 18\n"
             "checks it by default)",
     .help_group = group::server,
     .target = target::server},
    // --encrypt and --no-encrypt are the command line's (0 off, 1 on, 2 the driver's default).
    {.member = &s::encrypt,
     .stored_name = "encrypt",
     .section = mssql,
     .key = u"encrypt",
     .reading = reading::number,
     .skip_default = true,
     .max = 2,
     .target = target::server},
    {.member = &s::fast_load,
     .stored_name = "fast_load",
     .section = mssql,
     .key = u"fast load",
     .reading = reading::only_one,
     .skip_default = true,
     .newer = true,
     .option = "fast-load",
     .help = "bulk copy where the driver offers it, with statements as its\n"
             "safety net (the default); --no-fast-load sends the records as\n"
             "INSERT statements only",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "fast_load"},
    {.member = &s::batch_size,
     .stored_name = "batch_size",
     .section = mssql,
     .key = u"batch size",
     .reading = reading::number,
     .check = check::at_least_one,
     .skip_default = true,
     .newer = true,
     .max = 1'000'000'000,
     .option = "batch-size",
     .value_name = "N",
     .help = "records per committed bulk batch (default: 1000)",
     .help_group = group::server,
     .target = target::server,
     .wizard_control = "batch_size"},
    {.member = &s::rows_per_insert,
     .stored_name = "dmp_rows_insert",
     .section = mssql,
     .key = u"dump rows per insert",
     .reading = reading::number,
     .newer = true,
     .max = 1000, // MS SQL takes at most 1000 rows in one VALUES list
     .option = "rows-per-insert",
     .value_name = "N",
     .help = "write up to N records (at most 1000) in one INSERT statement",
     .help_group = group::script_format,
     .target = target::script,
     .wizard_control = "rows_per_insert"},
    {.member = &s::rows_per_batch,
     .stored_name = "dmp_rows_batch",
     .section = mssql,
     .key = u"dump rows per batch",
     .reading = reading::number,
     .newer = true,
     .max = 100'000'000,
     .option = "rows-per-batch",
     .value_name = "N",
     .help = "end a batch (GO) after every N records instead of after every\n"
             "INSERT statement",
     .help_group = group::script_format,
     .target = target::script,
     .wizard_control = "rows_per_batch"},
    {.member = &s::skip_deleted,
     .stored_name = "skip_del",
     .section = generic,
     .key = u"skip deleted",
     .reading = reading::only_one,
     .option = "skip-deleted",
     .help = "leave out records marked as deleted",
     .help_group = group::output,
     .wizard_control = "skip_deleted"},
    {.member = &s::bool_as_is,
     .stored_name = "bool_dbf",
     .section = generic,
     .key = u"bool as is",
     .reading = reading::only_one,
     .option = "bool-as-is",
     .help = "keep logical values as their letters (CHAR(1) columns)",
     .help_group = group::output,
     .wizard_control = "bool_as_is"},
    {.member = &s::direct,
     .stored_name = "direct",
     .section = mssql,
     .key = u"direct mode",
     .reading = reading::only_one,
     .option = "direct",
     .help = "write to a server (the default when no --script is given)",
     .help_group = group::server,
     .wizard_control = "direct"},
    {.member = &s::encoding,
     .stored_name = "code_page",
     .section = generic,
     .key = u"encoding",
     .reading = reading::number,
     .check = check::code_page_or_zero,
     .option = "encoding",
     .short_option = 'e',
     .value_name = "CODEPAGE",
     .help = "code page of the tables' text, replacing their own: a DBF\n"
             "language-driver byte (decimal or 0x..: 3 Windows ANSI, 0x65\n"
             "Russian MS-DOS), a code page number (1252, 866, 936) or name\n"
             "(cp1252, windows-1252, latin1, utf-8, gbk); 0 takes each table's\n"
             "own ('tabrix-cli encodings' lists the bytes and code pages)",
     .help_group = group::source,
     .wizard_control = "encoding"},
    {.member = &s::default_encoding,
     .stored_name = "default_code_page",
     .section = generic,
     .key = u"default encoding",
     .reading = reading::number,
     .check = check::code_page,
     .option = "default-encoding",
     .value_name = "CODEPAGE",
     .help = "code page of the tables that name none (default 1252); such a\n"
             "table is read as UTF-8 when its text is valid UTF-8",
     .help_group = group::source},
    {.member = &s::dmp_unicode, .stored_name = "dmp_unicode", .target = target::script},
};

// The value kept for a number read from a store, or nothing when it is refused.
std::optional<uint32_t> accept(const udb_setting& row, int64_t value, udb_setting_checker checker) {
    switch (row.check) {
    case check::mode:
        return value >= 0 && value <= 3 ? std::optional<uint32_t>(uint32_t(value)) : std::nullopt;
    case check::code_page_or_zero:
    case check::code_page:
        if (checker != nullptr)
            return checker(row.check, value);
        break;
    case check::at_least_one:
        if (value < 1)
            return std::nullopt;
        break;
    case check::none:
    case check::path:
        break;
    }
    if (value < 0 || value > int64_t(row.max))
        return std::nullopt;
    return uint32_t(value);
}

void store_value(const udb_setting& row, const udb_settings& settings, udb_profile& profile) {
    std::visit(
        [&](auto member) {
            const auto& value = settings.*member;
            if (row.skip_default && value == udb_settings().*member)
                return;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                profile.add_flag(row.section, row.key, value);
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                profile.add_number(row.section, row.key, value);
            } else if constexpr (std::is_same_v<T, udb_mode>) {
                const char16_t digit[] = {char16_t(u'0' + int32_t(value)), 0};
                profile.add_value(row.section, row.key, digit);
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                if (row.skip_empty && value.empty())
                    return;
                profile.add_value(row.section, row.key, value);
                if (row.secret)
                    profile.mark_private();
            } else {
                profile.add_value(row.section, row.key, tk_from_ansi(value));
            }
        },
        row.member);
}

void load_value(const udb_setting& row, const udb_profile& profile, udb_settings& settings,
                udb_setting_checker checker) {
    const std::u16string* text = profile.find_value(row.section, row.key);
    if (text == nullptr || text->empty())
        return;
    std::visit(
        [&](auto member) {
            auto& value = settings.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool>) {
                value = row.reading == reading::unless_zero ? *text != u"0" : *text == u"1";
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                value = *text;
            } else if constexpr (std::is_same_v<T, std::string>) {
                value = tk_to_ansi(*text);
            } else {
                int64_t number = 0;
                if (row.reading == reading::first_digit)
                    number = int64_t((*text)[0]) - u'0';
                else if (!profile.get_number(row.section, row.key, number))
                    return;
                if (const std::optional<uint32_t> taken = accept(row, number, checker))
                    value = T(*taken);
                else
                    TK_TRACE(3, "Value '%s' of '%s' ignored", tk_trace_text(*text).c_str(),
                             tk_trace_text(row.key).c_str());
            }
        },
        row.member);
}

// Reads or writes one value of the settings store; false when it could not.
bool serialize_value(const udb_setting& row, tk_reg_key& key, udb_settings& settings, bool store,
                     udb_setting_checker checker) {
    return std::visit(
        [&](auto member) {
            auto& value = settings.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, uint32_t>) {
                uint32_t number = uint32_t(value);
                if (store)
                    return key.set_value(row.stored_name, number);
                if (!key.get_value(row.stored_name, number))
                    return row.newer;
                if constexpr (std::is_same_v<T, bool>) {
                    value = number != 0;
                } else if (const std::optional<uint32_t> taken = accept(row, number, checker)) {
                    value = *taken;
                }
                return true;
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                const std::u16string name = tk_from_ansi(row.stored_name);
                return store ? key.set_value(name, value) : key.get_value(name, value);
            } else {
                // Only flags, numbers and texts are kept between runs (the table test holds
                // every row to that).
                return false;
            }
        },
        row.member);
}

void store_pairs(udb_profile& profile, std::u16string_view section, const udb_named_texts& pairs,
                 const char* trace_format) {
    for (const auto& [name, text] : pairs) {
        TK_TRACE(1, trace_format, tk_trace_text(name).c_str(), tk_trace_text(text).c_str());
        profile.add_value(section, name, text);
    }
}

void load_pairs(const udb_profile& profile, std::u16string_view section, udb_named_texts& pairs) {
    for (const auto& entry : profile.entries(section))
        pairs.push_back(entry);
}

} // namespace

std::span<const udb_setting> udb_setting_table() {
    return table;
}

void udb_copy_setting(const udb_setting& row, const udb_settings& from, udb_settings& to) {
    std::visit([&](auto member) { to.*member = from.*member; }, row.member);
}

void udb_store_settings(const udb_settings& settings, udb_profile& profile) {
    for (const udb_setting& row : table)
        if (!row.key.empty())
            store_value(row, settings, profile);
    store_pairs(profile, udb_profile::selected_tables, settings.selected_entries,
                "Selected Query: (%s,%s)");
    store_pairs(profile, udb_profile::available_queries, settings.available_queries,
                "Available Query: (%s,%s)");
    store_pairs(profile, udb_profile::selected_views, settings.selected_views,
                "Selected View: (%s,%s)");
}

void udb_load_settings(const udb_profile& profile, udb_settings& settings,
                       udb_setting_checker checker) {
    for (const udb_setting& row : table)
        if (!row.key.empty())
            load_value(row, profile, settings, checker);
    for (const auto& [name, query] : profile.entries(udb_profile::selected_tables)) {
        if (query.empty()) {
            TK_TRACE(1, "Push back table '%s'", tk_trace_text(name).c_str());
            settings.selected_tables.push_back(name);
        } else {
            settings.selected_entries.emplace_back(name, query);
        }
    }
    load_pairs(profile, udb_profile::available_queries, settings.available_queries);
    load_pairs(profile, udb_profile::selected_views, settings.selected_views);
}

bool udb_serialize_settings(tk_reg_key& key, udb_settings& settings, bool store,
                            udb_setting_checker checker) {
    TK_TRACE(2, "serialize( %d )", int(store));
    if (!store) {
        const udb_settings defaults;
        for (const udb_setting& row : table)
            if (!row.stored_name.empty())
                udb_copy_setting(row, defaults, settings);
    }
    bool ok = true;
    for (const udb_setting& row : table)
        if (!row.stored_name.empty())
            ok = serialize_value(row, key, settings, store, checker) && ok;
    return ok;
}
