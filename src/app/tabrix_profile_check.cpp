#include "app/tabrix_profile_check.h"

#include "dbf/dbf_codepages.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "udb/udb_setting_table.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// The row of a key this program writes; null for any other.
const udb_setting* find_row(std::u16string_view section, std::u16string_view key) {
    for (const udb_setting& row : udb_setting_table())
        if (!row.key.empty() && row.section == section && row.key == key)
            return &row;
    return nullptr;
}

// Sections whose keys are names (tables, views, queries): any key is taken.
bool is_list_section(std::u16string_view section) {
    return section == udb_profile::selected_tables || section == udb_profile::selected_views ||
           section == udb_profile::available_queries;
}

// Why the value cannot be taken; empty when it can.
std::string value_problem(const udb_setting& row, std::string_view value) {
    if (std::holds_alternative<bool udb_settings::*>(row.member))
        return value == "0" || value == "1" ? std::string() : "is not 0 or 1";
    const bool digits =
        !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
    switch (row.check) {
    case udb_setting_check::none:
        if (std::holds_alternative<uint32_t udb_settings::*>(row.member) &&
            (!digits || value.size() > 10 || std::stoull(std::string(value)) > row.max))
            return "is not a number from 0 to " + std::to_string(row.max);
        return {};
    case udb_setting_check::at_least_one:
        if (!digits || value.size() > 10 || std::stoull(std::string(value)) < 1 ||
            std::stoull(std::string(value)) > row.max)
            return "is not a number from 1 to " + std::to_string(row.max);
        return {};
    case udb_setting_check::path:
        return {};
    case udb_setting_check::mode:
        return value.size() == 1 && value[0] >= '0' && value[0] <= '3'
                   ? std::string()
                   : "is not a mode from 0 to 3";
    case udb_setting_check::code_page_or_zero:
    case udb_setting_check::code_page: {
        // A decimal number: 0 (each table's own; not for the default), a language-driver byte
        // or a code page number.
        const std::optional<uint32_t> encoding =
            digits ? dbf_parse_encoding(value) : std::optional<uint32_t>();
        if (encoding && (*encoding != 0 || row.check == udb_setting_check::code_page_or_zero))
            return {};
        return "is not a code page this program knows (it takes " + dbf_accepted_encodings() + ")";
    }
    }
    return {};
}

} // namespace

tabrix_checked_profile tabrix_read_profile(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec) && !ec)
            throw tabrix_profile_error(name + ": Profile does not exist. Please verify the correct "
                                              "path/name was given.");
        throw tabrix_profile_error("cannot read the profile '" + name +
                                   "': " + std::strerror(error ? error : EIO));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::error_code ec;
    if (in.bad() || std::filesystem::is_directory(path, ec))
        throw tabrix_profile_error(
            "cannot read the profile '" + name +
            "': " + std::strerror(std::filesystem::is_directory(path, ec) ? EISDIR : EIO));
    const std::string text = std::move(bytes).str();
    auto not_a_profile = [&](const std::string& why) {
        return tabrix_profile_error("'" + name + "' is not a profile (" + why + ")");
    };
    if (text.find('\0') != std::string::npos)
        throw not_a_profile("it holds binary data");

    tabrix_checked_profile result;
    std::string kept;
    std::u16string section;
    bool in_section = false;
    size_t line_number = 0;
    for (std::string_view rest = text; !rest.empty();) {
        ++line_number;
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string_view stripped = udb_profile::strip_blanks(line);
        if (stripped.empty())
            continue;
        std::u16string wide;
        try {
            wide = tk_from_utf8(stripped);
        } catch (const tk_exception&) {
            throw not_a_profile("line " + std::to_string(line_number) + " is not UTF-8 text");
        }
        if (wide.size() >= 2 && wide.front() == u'[' && wide.back() == u']') {
            section = wide.substr(1, wide.size() - 2);
            in_section = true;
            kept.append(line).append("\n");
            continue;
        }
        if (!in_section)
            throw not_a_profile("line " + std::to_string(line_number) +
                                " comes before any [section] line");
        const std::string where = name + ":" + std::to_string(line_number) + ": ";
        if (is_list_section(section)) {
            kept.append(line).append("\n");
            continue;
        }
        const size_t eq = wide.find(u'=');
        const std::u16string key(
            tk_from_utf8(udb_profile::strip_blanks(stripped.substr(0, stripped.find('=')))));
        const udb_setting* known = find_row(section, key);
        if (!known) {
            result.warnings.push_back(where + "unknown key '" + tk_to_utf8(key) + "' in [" +
                                      tk_to_utf8(section) + "]; it is not used");
            continue;
        }
        const std::string_view value =
            eq == std::u16string::npos ? std::string_view() : line.substr(line.find('=') + 1);
        if (const std::string problem = value_problem(*known, value); !problem.empty()) {
            result.warnings.push_back(where + "the value '" + std::string(value) + "' of '" +
                                      tk_to_utf8(key) + "' " + problem + "; it is not used");
            continue;
        }
        kept.append(line).append("\n");
    }
    try {
        result.profile.read_text(kept);
    } catch (const tk_exception& e) {
        throw not_a_profile(e.message());
    }
    return result;
}
