#include "dbf/dbf_file_lookup.h"

#include "tk/tk_locale.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool is_ascii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool is_regular(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

} // namespace

bool dbf_same_file_name(std::string_view a, std::string_view b) {
    // A byte of a non-ASCII character never equals an ASCII letter, so an ASCII name matches
    // only an ASCII name.
    if (is_ascii(a) || is_ascii(b))
        return is_ascii(a) && is_ascii(b) && tk_equal_nocase(a, b);
    // Names that are not UTF-8 (bytes of some DOS code page) are compared as bytes.
    try {
        return tk_equal_nocase(tk_from_utf8(a), tk_from_utf8(b));
    } catch (const std::exception&) {
        return a == b;
    }
}

std::string dbf_find_file(const std::string& path) {
    if (path.empty())
        return {};
    fs::path wanted(path);
    if (is_regular(wanted))
        return path;
    const std::string name = wanted.filename().string();
    if (name.empty())
        return {};
    fs::path folder = wanted.parent_path();
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    if (ec)
        return {};
    std::vector<std::string> matches;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::string candidate = it->path().filename().string();
        if (dbf_same_file_name(candidate, name) && is_regular(it->path()))
            matches.push_back(candidate);
    }
    if (matches.empty())
        return {};
    std::sort(matches.begin(), matches.end());
    return (folder / matches.front()).string();
}

std::string dbf_replace_extension(const std::string& path, std::string_view extension) {
    size_t name_start = path.find_last_of('/');
    name_start = name_start == std::string::npos ? 0 : name_start + 1;
    size_t dot = path.find_last_of('.');
    std::string result = dot != std::string::npos && dot > name_start ? path.substr(0, dot) : path;
    result += '.';
    result += extension;
    return result;
}

std::string dbf_find_companion(const std::string& table_path, std::string_view extension) {
    return dbf_find_file(dbf_replace_extension(table_path, extension));
}

std::string dbf_find_index_file(const std::string& table_path) {
    std::string index = dbf_find_companion(table_path, "idx");
    if (!index.empty()) {
        TK_TRACE(2, "dbf_recordset::process_idx(%s)", index.c_str());
        return index;
    }
    TK_TRACE(1, "Failed to find .idx, try to locate .cdx");
    index = dbf_find_companion(table_path, "cdx");
    if (index.empty()) {
        TK_TRACE(1, "Failed to find .cdx, aborting");
        return index;
    }
    TK_TRACE(2, "dbf_recordset::process_cdx(%s)", index.c_str());
    return index;
}
