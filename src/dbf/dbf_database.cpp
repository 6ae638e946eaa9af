#include "dbf/dbf_database.h"

#include "dbf/dbf_exception.h"
#include "dbf/dbf_file_lookup.h"
#include "dbf/dbf_memo_file.h"
#include "dbf/dbf_recordset.h"
#include "dbf/dbf_validator.h"
#include "tk/tk_exception.h"
#include "tk/tk_files.h"
#include "tk/tk_memory_file.h"
#include "tk/tk_string.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr uint32_t descriptor_size = 32;
constexpr uint32_t header_size = 32;
// DBF headers and records are measured in 16-bit lengths.
constexpr uint32_t max_length16 = 0xFFFF;

bool ends_with_nocase(std::u16string_view text, std::u16string_view tail) {
    if (text.size() < tail.size())
        return false;
    return tk_wstring::to_lower(text.substr(text.size() - tail.size())) == tail;
}

// File names that are not UTF-8 keep their bytes as characters (U+0000 to U+00FF), so that
// they still list and compare.
std::u16string name_from_disk(const std::string& name) {
    try {
        return tk_from_ansi(name);
    } catch (const tk_exception&) {
        std::u16string wide;
        for (unsigned char c : name)
            wide += char16_t(c);
        return wide;
    }
}

bool is_memo_letter(uint8_t letter) {
    return letter == 'M' || letter == 'G' || letter == 'P';
}

// The width of the field in the record, as a descriptor gives it.
uint32_t field_width(const uint8_t* descriptor) {
    const uint8_t letter = descriptor[11];
    if (is_memo_letter(letter))
        return 10;
    if (letter == 'C')
        return uint32_t(descriptor[16]) | uint32_t(descriptor[17]) << 8;
    return descriptor[16];
}

// The name as it is stored: narrow text of at most 10 bytes, not cut inside a character.
std::string descriptor_name(std::u16string_view name) {
    std::string narrow = tk_to_ansi_nothrow(name);
    if (narrow.size() > dbf_validator::max_name_length) {
        size_t cut = dbf_validator::max_name_length;
        while (cut > 0 && (static_cast<unsigned char>(narrow[cut]) & 0xC0) == 0x80)
            --cut;
        narrow.resize(cut);
    }
    return narrow;
}

} // namespace

void dbf_create_field(const t_ftd& field, uint8_t* descriptor) {
    TK_TRACE(2, "dbf_create_field(%s, vt=%d, size=%u)", tk_trace_text(field.name).c_str(),
             int(field.vartype), field.size);
    uint8_t letter = 'M';
    uint32_t length = 10;
    uint32_t decimals = 0;
    switch (field.vartype) {
    case VT_I1:
        letter = 'N', length = 4;
        break;
    case VT_UI1:
    case VT_I2:
        letter = 'N', length = 6;
        break;
    case VT_UI2:
    case VT_I4:
    case VT_INT:
        letter = 'N', length = 11;
        break;
    case VT_R4:
    case VT_CY:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
        letter = 'N', length = 19, decimals = 5;
        break;
    case VT_R8:
        letter = 'B', length = 8;
        break;
    case VT_DATE:
        if (field.dw_reserved == 1 || field.dw_reserved == t_ftd::time_only)
            letter = 'T', length = 8;
        else if (field.dw_reserved == t_ftd::date_only)
            letter = 'D', length = 8;
        else
            letter = 'C', length = 19;
        break;
    case VT_BSTR:
        if (field.size >= 1 && field.size <= 254) {
            TK_TRACE(1, "GOT BSTR SIZE=%u", field.size);
            letter = 'C', length = field.size + 1;
        }
        break;
    case VT_BOOL:
        letter = 'L', length = 1;
        break;
    case VT_DECIMAL:
        letter = 'N';
        if (field.dw_reserved != 0) {
            // A byte holds the length: the widest DBF number is 255 characters.
            length = std::min<uint32_t>(field.decimal_precision() + 2u, 255);
            decimals = field.decimal_scale();
        } else {
            length = 2;
            decimals = field.dw_reserved & 0xFF;
        }
        break;
    default:
        break;
    }
    descriptor[11] = letter;
    if (letter == 'C') {
        // Text lengths take the decimals byte as their high byte.
        descriptor[16] = uint8_t(length & 0xFF);
        descriptor[17] = uint8_t(length >> 8);
    } else {
        descriptor[16] = uint8_t(length);
        descriptor[17] = uint8_t(decimals);
    }
}

// ---- dbf_database --------------------------------------------------------------------------

dbf_database::dbf_database(std::u16string folder, bool case_sensitive, uint32_t encoding,
                           uint32_t default_codepage)
    : udb_database(std::move(folder), case_sensitive), user_cp_(encoding),
      default_codepage_(default_codepage) {
    list_tables();
    dbf_database* none = nullptr;
    current_.compare_exchange_strong(none, this);
}

dbf_database::~dbf_database() {
    dbf_database* self = this;
    current_.compare_exchange_strong(self, nullptr);
}

std::string dbf_database::folder_path() const {
    std::string folder = tk_to_ansi_nothrow(name_);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // An empty folder is the current one.
    return folder.empty() ? std::string(".") : folder;
}

void dbf_database::list_tables() {
    tk_temp_chdir scan(name_);
    if (!scan.ok())
        throw tk_exception(
            "Path to DBF database does not exist.\nPlease verify the correct path was given.",
            tk_exception::stop_run);
    std::vector<std::string> names;
    scan.find_files("*.dbf", names);
    for (const std::string& file : names) {
        std::u16string table = tk_wstring::to_lower(name_from_disk(file));
        if (ends_with_nocase(table, u".dbf"))
            table.resize(table.size() - 4);
        // Two files that differ only in case are one table: the first in scan order wins.
        if (!files_.emplace(table, file).second) {
            TK_TRACE(3, "Skip table file '%s': same name as '%s'", file.c_str(),
                     files_[table].c_str());
            continue;
        }
        table_names_.push_back(table);
        TK_TRACE(1, "Find table: '%s'", tk_trace_text(table).c_str());
    }
}

std::u16string dbf_database::get_full_table_name(std::u16string_view name) const {
    std::u16string full = tk_from_ansi(folder_path());
    if (!full.empty() && full.back() != u'/')
        full += u'/';
    full += tk_wstring::to_lower(name);
    if (!ends_with_nocase(full, u".dbf") && !ends_with_nocase(full, u".dbt"))
        full += u".dbf";
    return full;
}

std::string dbf_database::get_table_path(std::u16string_view name) const {
    auto known = files_.find(tk_wstring::to_lower(name));
    if (known != files_.end()) {
        std::string path = folder_path() + "/" + known->second;
        if (!dbf_find_file(path).empty())
            return path;
    }
    return dbf_find_file(tk_to_ansi_nothrow(get_full_table_name(name)));
}

std::unique_ptr<udb_recordset> dbf_database::get_table(std::u16string_view name,
                                                       udb_open_mode mode) {
    TK_TRACE(2, "dbf_database::get_table(%s)", tk_trace_text(name).c_str());
    const std::string path = get_table_path(name);
    // The file was listed but is gone (deleted or renamed since): this table cannot be read,
    // the others still can.
    if (path.empty())
        throw tk_exception("Bad path or busy with another process");
    return std::make_unique<dbf_recordset>(path, int32_t(mode), user_cp_, this, default_codepage_);
}

std::unique_ptr<udb_recordset> dbf_database::get_query(std::u16string_view, std::u16string_view,
                                                       uint32_t) {
    return nullptr;
}

bool dbf_database::test_query(std::u16string_view) {
    return false;
}

bool dbf_database::delete_tab(std::u16string_view name) {
    TK_TRACE(2, "dbf_database::delete_tab(%s)", tk_trace_text(name).c_str());
    if (name.empty())
        return false;
    udb_database::delete_tab(name);
    std::string path = get_table_path(name);
    files_.erase(tk_wstring::to_lower(name));
    if (path.empty()) {
        path = tk_to_ansi_nothrow(get_full_table_name(name));
        TK_TRACE(2, "File '%s' not exists", path.c_str());
        throw tk_exception_ex({}, tk_exception::stop_run, ENOENT);
    }
    if (std::remove(path.c_str()) != 0)
        throw tk_exception_ex();
    for (const char* extension : {"dbt", "fpt", "smt", "dct"}) {
        const std::string memo = dbf_find_companion(path, extension);
        if (!memo.empty())
            std::remove(memo.c_str());
    }
    return true;
}

void dbf_database::create_memo_file(std::u16string_view name) {
    std::u16string memo_name(name);
    if (!ends_with_nocase(memo_name, u".dbt"))
        memo_name += u".dbt";
    const std::string full = tk_to_ansi_nothrow(get_full_table_name(memo_name));
    TK_TRACE(2, "Full memo file name: %s", full.c_str());
    old_memo_file memo(full, old_memo_file::mode::create);
}

std::unique_ptr<udb_recordset>
dbf_database::create_table(std::u16string_view name, const udb_schema& schema, const udb_indexes&) {
    TK_TRACE(2, "dbf_database::create_table(%s)", tk_trace_text(name).c_str());
    // An existing table is never overwritten, whatever the case of its name.
    if (is_table_exist(name) || !get_table_path(name).empty())
        return get_table(name, mode_write);

    const uint64_t header_length = uint64_t(schema.size()) * descriptor_size + header_size + 1;
    if (header_length > max_length16)
        throw dbf_exception("Too many fields for a DBF table");

    std::vector<uint8_t> descriptors(schema.size() * descriptor_size, 0);
    dbf_fn_validator validator(schema);
    bool has_memo = false;
    uint64_t offset = 0;
    for (size_t i = 0; i < schema.size(); ++i) {
        uint8_t* descriptor = descriptors.data() + i * descriptor_size;
        std::u16string field_name = schema[i].name;
        if (!validator.is_acceptable(field_name)) {
            field_name = validator.get_safe_name(field_name);
            validator.add_existing_name(field_name);
        }
        const std::string narrow = descriptor_name(field_name);
        std::copy(narrow.begin(), narrow.end(), descriptor);
        dbf_create_field(schema[i], descriptor);
        has_memo = has_memo || is_memo_letter(descriptor[11]);
        for (int b = 0; b < 4; ++b)
            descriptor[12 + b] = uint8_t(offset >> (8 * b));
        offset += field_width(descriptor);
    }
    const uint64_t record_length = offset + 1;
    if (record_length > max_length16)
        throw dbf_exception("Records too long for a DBF table");

    const std::string path = tk_to_ansi_nothrow(get_full_table_name(name));
    {
        tk_memory_file file(path, tk_file::mode_create);
        uint8_t header[header_size] = {};
        header[0] = has_memo ? 0x83 : 0x03;
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        header[1] = uint8_t(local.tm_year % 100);
        header[2] = uint8_t(local.tm_mon + 1);
        header[3] = uint8_t(local.tm_mday);
        header[8] = uint8_t(header_length);
        header[9] = uint8_t(header_length >> 8);
        header[10] = uint8_t(record_length);
        header[11] = uint8_t(record_length >> 8);
        if (!descriptors.empty())
            file.put_at(header_size, descriptors.data(), uint32_t(descriptors.size()));
        const uint8_t end_of_header = 0x0D;
        file.put_at(uint32_t(header_length - 1), &end_of_header, 1);
        file.put_at(0, header, header_size);
        file.flush();
    }
    if (has_memo)
        create_memo_file(name);

    const std::u16string table = tk_wstring::to_lower(name);
    if (find_table_name(table) < 0)
        table_names_.push_back(table);
    files_[table] = path.substr(path.find_last_of('/') + 1);
    return get_table(name, mode_write);
}
