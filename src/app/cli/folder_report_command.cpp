#include "app/cli/folder_report_command.h"

#include "dbf/dbf_codepages.h"
#include "dbf/dbf_database.h"
#include "dbf/dbf_file_lookup.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "mss/mss_column_types.h"
#include "tk/tk_error_converter.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_string.h"
#include "tk/tk_text.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <ostream>

namespace fs = std::filesystem;

namespace {

const char* const vartype_names[] = {
    "VT_EMPTY", "VT_NULL", "VT_I2",    "VT_I4",   "VT_R4",      "VT_R8",  "VT_CY",      "VT_DATE",
    "VT_BSTR",  nullptr,   "VT_ERROR", "VT_BOOL", "VT_VARIANT", nullptr,  "VT_DECIMAL", nullptr,
    "VT_I1",    "VT_UI1",  "VT_UI2",   "VT_UI4",  "VT_I8",      "VT_UI8", "VT_INT",     "VT_UINT",
};

void append_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The C escape of a line break or tab; nullptr for any other character.
const char* c_escape(char16_t c) {
    switch (c) {
    case u'\n':
        return "\\n";
    case u'\r':
        return "\\r";
    case u'\t':
        return "\\t";
    default:
        return nullptr;
    }
}

void append_hex4(std::string& out, uint32_t c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(c >> shift) & 0xF];
}

} // namespace

void append_json_string(std::string& out, std::u16string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'"') {
            out += "\\\"";
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (const char* escape = c_escape(c)) {
            out += escape;
        } else if (c < 0x20) {
            append_hex4(out, c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            append_hex4(out, c);
        } else {
            append_utf8(out, c);
        }
    }
    out += '"';
}

std::string vartype_name(uint16_t vt) {
    if (vt < std::size(vartype_names) && vartype_names[vt])
        return vartype_names[vt];
    if (vt == VT_BLOB)
        return "VT_BLOB";
    if (vt == VT_BLOB_OBJECT)
        return "VT_BLOB_OBJECT";
    if ((vt & VT_ARRAY) && (vt & ~VT_ARRAY) < std::size(vartype_names) &&
        vartype_names[vt & ~VT_ARRAY])
        return std::string("VT_ARRAY|") + vartype_names[vt & ~VT_ARRAY];
    return std::to_string(vt);
}

namespace {

constexpr std::string_view usage_text =
    "usage: tabrix-cli inspect PATH [--encoding CODEPAGE] [--table NAME] [--limit N] [--json]\n"
    "\n"
    "Lists the DBF tables of the folder PATH (or the one table file PATH): version byte,\n"
    "code page, record count, memo file and columns; with --limit or --json their records.\n"
    "\n"
    "  --encoding CODEPAGE\n"
    "                   read text in this code page instead of the tables' own: a\n"
    "                   language-driver byte (0x65), a code page number (1252) or name\n"
    "                   (cp866, latin1, utf-8); 'tabrix-cli encodings' lists the bytes\n"
    "  --table NAME     only this table of the folder\n"
    "  --limit N        show the first N records of each table\n"
    "  --json           one JSON object: {\"tables\":[...]}, with every record unless --limit\n";

std::string hex_byte(uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[b >> 4] + digits[b & 0xF];
}

std::string utf8(std::u16string_view text) {
    return tk_to_utf8_lossy(text);
}

// One value on a line of the text form: control characters as C escapes.
std::string display_value(std::u16string_view text) {
    std::string out;
    size_t run = 0; // start of the characters not yet written, passed to UTF-8 whole so
                    // that surrogate pairs stay together
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x20)
            continue;
        out += utf8(text.substr(run, i - run));
        run = i + 1;
        if (const char* escape = c_escape(c)) {
            out += escape;
        } else {
            out += "\\x";
            out += hex_byte(uint8_t(c)).substr(2);
        }
    }
    out += utf8(text.substr(run));
    return out;
}

std::string pad(std::string text, size_t width, bool right = false) {
    if (text.size() >= width)
        return text;
    return right ? std::string(width - text.size(), ' ') + text
                 : text + std::string(width - text.size(), ' ');
}

bool is_nothing(const ole_variant& value) {
    return value.get_type() == VT_EMPTY || value.get_type() == VT_NULL;
}

// A column of the report: the descriptor it comes from, its schema entry and the type of its
// column in a script written with the default settings (Unicode text).
struct column {
    const dbf_field_descriptor* fd;
    const t_ftd* ftd;
    std::u16string sql_type;
};

std::vector<column> columns_of(const dbf_recordset& table) {
    std::vector<column> columns;
    const udb_schema& schema = table.get_schema();
    size_t next = 0;
    bool identity_taken = false;
    for (const dbf_field_descriptor& fd : table.get_descriptors()) {
        if (!fd.is_column() || next >= schema.size())
            continue;
        const t_ftd& ftd = schema[next++];
        // As CREATE TABLE: the first auto-number column is the IDENTITY one.
        const bool identity = !identity_taken && mss_script_identity(ftd);
        identity_taken = identity_taken || identity;
        std::u16string type = mss_script_type(ftd, true, identity);
        while (!type.empty() && type.back() == u' ')
            type.pop_back();
        columns.push_back({&fd, &ftd, std::move(type)});
    }
    return columns;
}

// The decimals a descriptor really has: long text fields use that byte for their length.
uint32_t decimals_of(const dbf_field_descriptor& fd) {
    return fd.width == fd.len ? fd.dec : 0;
}

// The tables of the command line: (name, file) pairs.
struct table_ref {
    std::u16string name;
    std::string file;
};

class report {
public:
    report(const inspect_options& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}

    int run();

private:
    bool collect(std::vector<table_ref>& tables);
    void table(const table_ref& ref);
    void table_text(dbf_recordset& table, const table_ref& ref);
    void table_json(dbf_recordset& table, const table_ref& ref);
    uint64_t rows_to_show(const dbf_recordset& table) const;
    // Calls `show(row, record)` for each record to be shown; a failure to read ends the
    // table's rows and is reported.
    template <class Show>
    void for_each_row(dbf_recordset& table, const table_ref& ref, uint64_t rows, Show show);
    void failure(const std::string& file, const std::string& message) {
        err_ << "tabrix-cli inspect: " << file << ": " << message << '\n';
        failures_.push_back({file, message});
        failed_ = true;
    }

public:
    // A report made while a table is read (the error handler's text names the table file):
    // the table is shown, and the status says that something was not read as it stands.
    void warning(const std::string& text) {
        err_ << "tabrix-cli inspect: " << text << '\n';
        warnings_.push_back({current_file_, text});
        failed_ = true;
    }

private:
    void json_list(const char* name, const char* text_key,
                   const std::vector<std::pair<std::string, std::string>>& items);

    const inspect_options& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string json_;
    std::string current_file_;
    // (file, text) pairs.
    std::vector<std::pair<std::string, std::string>> failures_;
    std::vector<std::pair<std::string, std::string>> warnings_;
    bool failed_ = false;
    // The command line names a file or table that is not there.
    bool usage_ = false;
    bool own_handler_ = false;
    // Where the tables report damage found while opening.
    udb_run_context context_;
    bool first_table_ = true;
};

// Sends the reports made while reading (a memo file missing, a table cut short, values that
// cannot be read as they stand) to the report; reading goes on.
class report_reporter : public error_reporter {
public:
    explicit report_reporter(report& r) : report_(r) {}
    void show_error(const std::string& text) override { report_.warning(text); }
    tk_continue_answer ask_continue(const std::string& text) override {
        report_.warning(text);
        return {};
    }
    void show_internal_error(const std::string& text) override { report_.warning(text); }

private:
    report& report_;
};

void report::json_list(const char* name, const char* text_key,
                       const std::vector<std::pair<std::string, std::string>>& items) {
    std::string& j = json_;
    j = std::string(",\"") + name + "\":[";
    for (size_t i = 0; i < items.size(); ++i) {
        j += i ? ",{\"file\":" : "{\"file\":";
        append_json_string(j, tk_from_ansi(items[i].first));
        j += std::string(",\"") + text_key + "\":";
        append_json_string(j, tk_from_utf8(items[i].second));
        j += '}';
    }
    j += ']';
    out_ << j;
}

bool report::collect(std::vector<table_ref>& tables) {
    std::error_code ec;
    const fs::path path(options_.path);
    if (fs::is_directory(path, ec)) {
        dbf_database db(tk_from_ansi(options_.path), true, options_.encoding);
        for (const std::u16string& name : db.get_table_names()) {
            if (options_.table && !tk_equal_nocase(name, tk_from_ansi(*options_.table)))
                continue;
            tables.push_back({name, db.get_table_path(name)});
        }
    } else {
        const std::string file = dbf_find_file(options_.path);
        if (file.empty()) {
            failure(options_.path, ec ? ec.message() : "No such file or folder");
            usage_ = true;
            return false;
        }
        std::u16string name = tk_wstring::to_lower(tk_from_ansi(fs::path(file).stem().string()));
        if (!options_.table || tk_equal_nocase(name, tk_from_ansi(*options_.table)))
            tables.push_back({std::move(name), file});
    }
    if (tables.empty() && options_.table) {
        failure(options_.path, "No table named '" + *options_.table + "'");
        usage_ = true;
        return false;
    }
    if (tables.empty()) {
        failure(options_.path, "no DBF tables");
        return false;
    }
    return true;
}

uint64_t report::rows_to_show(const dbf_recordset& table) const {
    const uint64_t count = table.get_record_count();
    if (options_.limit)
        return std::min(count, *options_.limit);
    return options_.json ? count : 0;
}

template <class Show>
void report::for_each_row(dbf_recordset& table, const table_ref& ref, uint64_t rows, Show show) {
    try {
        table.reset();
        for (uint64_t row = 0; row < rows && !table.is_eof(); ++row, table.next()) {
            const udb_record* record = table.get_item();
            if (!record)
                break;
            show(row, *record);
        }
    } catch (const tk_exception& e) {
        failure(ref.file, e.message());
    }
    // The values shown that are not what the file holds, once per field, as convert says them.
    std::vector<std::u16string> names;
    for (const t_ftd& column : table.get_schema())
        names.push_back(column.name);
    for (const std::string& text : table.value_notes().messages(ref.name, names))
        warning(text);
}

void report::table(const table_ref& ref) {
    current_file_ = ref.file;
    std::unique_ptr<dbf_recordset> table;
    try {
        table =
            std::make_unique<dbf_recordset>(ref.file, dbf_recordset::mode_read, options_.encoding,
                                            nullptr, dbf_default_codepage, &context_);
    } catch (const tk_exception& e) {
        failure(ref.file, e.message());
        return;
    }
    // Without an error handler of ours (another owner has one) the table's own warnings are
    // not heard: say them here. A table cut short is shown with the records it holds whole;
    // the status still says that the table could not be read whole.
    if (!own_handler_) {
        if (table->is_memo_missing())
            warning(ref.file + ": Memo file not found");
        if (table->is_cut_short())
            warning(ref.file + ": " + table->cut_short_message());
    }
    if (options_.json)
        table_json(*table, ref);
    else
        table_text(*table, ref);
}

void report::table_text(dbf_recordset& table, const table_ref& ref) {
    const uint8_t driver = table.get_language_driver();
    const std::u16string_view driver_name = dbf_codepage_name(driver);
    const dbf_memo_file* memo = table.get_memo_file();
    const std::vector<column> columns = columns_of(table);

    if (!first_table_)
        out_ << '\n';
    first_table_ = false;
    out_ << utf8(ref.name) << "  (" << ref.file << ")\n";
    out_ << "  version    " << hex_byte(table.get_version()) << '\n';
    out_ << "  code page  " << table.get_codepage() << " (language driver " << hex_byte(driver);
    if (!driver_name.empty())
        out_ << ", " << utf8(driver_name);
    out_ << ")\n";
    out_ << "  records    " << table.get_record_count() << '\n';
    out_ << "  memo       "
         << (memo                      ? memo->path()
             : table.is_memo_missing() ? "missing"
                                       : "none")
         << '\n';
    out_ << "  fields     " << columns.size() << '\n';
    if (!columns.empty())
        out_ << "    " << pad("#", 4, true) << "  " << pad("name", 32) << "type  length  decimals  "
             << pad("value type", 16) << pad("size", 8) << "SQL Server type\n";
    size_t n = 0;
    for (const column& c : columns) {
        out_ << "    " << pad(std::to_string(++n), 4, true) << "  " << pad(utf8(c.ftd->name), 32)
             << pad(display_value(std::u16string(1, char16_t(c.fd->field_type))), 4) << "  "
             << pad(std::to_string(c.fd->width), 6, true) << "  "
             << pad(std::to_string(decimals_of(*c.fd)), 8, true) << "  "
             << pad(vartype_name(c.ftd->vartype), 16) << pad(std::to_string(c.ftd->size), 8)
             << utf8(c.sql_type) << '\n';
    }

    const uint64_t rows = rows_to_show(table);
    if (rows == 0)
        return;
    out_ << "  rows 1-" << rows << " of " << table.get_record_count() << '\n';
    for_each_row(table, ref, rows, [&](uint64_t row, const udb_record& record) {
        std::string line =
            "    " + pad(std::to_string(row + 1), 6, true) + (record.is_deleted() ? " * " : "   ");
        for (size_t i = 0; i < record.size(); ++i) {
            if (i)
                line += " | ";
            const udb_field& value = record[i];
            line += is_nothing(value) ? "NULL" : display_value(value.to_wstring());
        }
        out_ << line << '\n';
    });
}

void report::table_json(dbf_recordset& table, const table_ref& ref) {
    const dbf_memo_file* memo = table.get_memo_file();
    std::string& j = json_;
    j.clear();
    j += first_table_ ? "{" : ",{";
    first_table_ = false;
    j += "\"name\":";
    append_json_string(j, ref.name);
    j += ",\"file\":";
    append_json_string(j, tk_from_ansi(ref.file));
    j += ",\"version\":\"" + hex_byte(table.get_version()) + "\"";
    j += ",\"codepage\":" + std::to_string(table.get_codepage());
    j += ",\"records\":" + std::to_string(table.get_record_count());
    j += ",\"memo\":";
    if (memo)
        append_json_string(j, tk_from_ansi(memo->path()));
    else
        j += "null";
    j += ",\"fields\":[";
    bool first = true;
    for (const column& c : columns_of(table)) {
        j += first ? "{\"name\":" : ",{\"name\":";
        first = false;
        append_json_string(j, c.ftd->name);
        j += ",\"type\":";
        append_json_string(j, std::u16string(1, char16_t(c.fd->field_type)));
        j += ",\"length\":" + std::to_string(c.fd->width);
        j += ",\"decimals\":" + std::to_string(decimals_of(*c.fd));
        j += ",\"vt\":\"" + vartype_name(c.ftd->vartype) + "\"";
        j += ",\"size\":" + std::to_string(c.ftd->size) + ",\"sqltype\":";
        append_json_string(j, c.sql_type);
        j += '}';
    }
    j += "],\"rows\":[";
    out_ << j;

    // Rows are written as they are read: a table of any size takes the memory of one record.
    for_each_row(table, ref, rows_to_show(table), [&](uint64_t row, const udb_record& record) {
        j.clear();
        j += row ? ",{\"deleted\":" : "{\"deleted\":";
        j += record.is_deleted() ? "true" : "false";
        j += ",\"values\":[";
        for (size_t i = 0; i < record.size(); ++i) {
            if (i)
                j += ',';
            const udb_field& value = record[i];
            if (is_nothing(value))
                j += "null";
            else
                append_json_string(j, value.to_wstring());
        }
        j += "]}";
        out_ << j;
    });
    out_ << "]}";
}

int report::run() {
    std::unique_ptr<error_handler> handler;
    if (!error_handler::exists()) {
        handler = std::make_unique<error_handler>(tk_odb_error_table(),
                                                  std::make_unique<report_reporter>(*this));
        own_handler_ = true;
    }
    context_.errors = error_handler::try_instance();
    std::vector<table_ref> tables;
    if (options_.json)
        out_ << "{\"tables\":[";
    try {
        if (collect(tables))
            for (const table_ref& ref : tables)
                table(ref);
    } catch (const tk_exception& e) {
        failure(options_.path, e.message());
    }
    if (options_.json) {
        out_ << ']';
        json_list("failed", "error", failures_);
        json_list("warnings", "warning", warnings_);
        out_ << "}\n";
    }
    out_.flush();
    return usage_ ? exit_usage : failed_ ? exit_with_errors : exit_success;
}

} // namespace

std::string_view inspect_usage_text() noexcept {
    return usage_text;
}

bool parse_inspect_args(const std::vector<std::string>& args, inspect_options& options,
                        std::string& error) {
    options = inspect_options();
    bool have_path = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        uint64_t number = 0;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--encoding") {
            if (!value(text))
                return false;
            const std::optional<uint32_t> encoding = dbf_parse_encoding(text);
            if (!encoding) {
                error = "--encoding takes " + dbf_accepted_encodings() + ", not '" + text + "'";
                return false;
            }
            options.encoding = *encoding;
        } else if (arg == "--table") {
            if (!value(text))
                return false;
            // A table name or its file name.
            if (text.size() > 4 && tk_equal_nocase(std::string_view(text).substr(text.size() - 4),
                                                   std::string_view(".dbf")))
                text.resize(text.size() - 4);
            options.table = text;
        } else if (arg == "--limit") {
            if (!value(text))
                return false;
            if (!tk_string::parse_unsigned(text, number)) {
                error = "--limit takes a number of records, not '" + text + "'";
                return false;
            }
            options.limit = number;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            error = "unknown option " + arg;
            return false;
        } else if (!have_path) {
            options.path = arg;
            have_path = true;
        } else {
            error = "only one PATH is inspected at a time";
            return false;
        }
    }
    if (!have_path && !options.help) {
        error = "PATH is missing";
        return false;
    }
    return true;
}

int inspect_folder(const inspect_options& options, std::ostream& out, std::ostream& err) {
    return report(options, out, err).run();
}

int inspect_main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return inspect_main(argc, argv, std::cout, std::cerr);
}

int inspect_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    inspect_options options;
    std::string error;
    if (!parse_inspect_args(args, options, error)) {
        err << "tabrix-cli inspect: " << error << '\n' << usage_text;
        return exit_usage;
    }
    if (options.help) {
        out << usage_text;
        return exit_success;
    }
    return inspect_folder(options, out, err);
}
