#include "udb/udb_profile.h"

#include "tk/tk_exception.h"
#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::u16string_view strip_blanks(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ')
        s.remove_suffix(1);
    return s;
}

// Writes all of `bytes` to the descriptor, retrying short writes.
bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

const std::vector<udb_profile::entry> no_entries;
const std::vector<std::u16string> no_lines;

} // namespace

std::string_view udb_profile::strip_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

udb_profile::udb_profile() {
    for (std::u16string_view name :
         {available_queries, selected_tables, selected_views, generic_settings})
        get_section(name);
}

udb_profile::section& udb_profile::get_section(std::u16string_view name) {
    auto it = sections_.find(name);
    if (it == sections_.end())
        it = sections_.emplace(std::u16string(name), section{}).first;
    return it->second;
}

const udb_profile::section* udb_profile::find_section(std::u16string_view name) const {
    auto it = sections_.find(name);
    return it == sections_.end() ? nullptr : &it->second;
}

void udb_profile::add_value(std::u16string_view section_name, std::u16string_view key,
                            std::u16string_view value) {
    get_section(section_name).entries.emplace_back(std::u16string(key), std::u16string(value));
}

void udb_profile::add_flag(std::u16string_view section_name, std::u16string_view key, bool value) {
    add_value(section_name, key, value ? std::u16string_view(u"1") : std::u16string_view(u"0"));
}

void udb_profile::add_number(std::u16string_view section_name, std::u16string_view key,
                             int64_t value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    std::u16string text(digits, end);
    add_value(section_name, key, std::u16string_view(text));
}

const std::u16string* udb_profile::find_value(std::u16string_view section_name,
                                              std::u16string_view key) const {
    const section* s = find_section(section_name);
    if (s == nullptr)
        return nullptr;
    for (const entry& e : s->entries)
        if (e.first == key)
            return &e.second;
    return nullptr;
}

const std::vector<udb_profile::entry>&
udb_profile::entries(std::u16string_view section_name) const {
    const section* s = find_section(section_name);
    return s == nullptr ? no_entries : s->entries;
}

const std::vector<std::u16string>& udb_profile::bare_lines(std::u16string_view section_name) const {
    const section* s = find_section(section_name);
    return s == nullptr ? no_lines : s->bare_lines;
}

bool udb_profile::has_section(std::u16string_view section_name) const {
    return find_section(section_name) != nullptr;
}

bool udb_profile::get_flag_unless_zero(std::u16string_view section_name, std::u16string_view key,
                                       bool& out) const {
    const std::u16string* v = find_value(section_name, key);
    if (v == nullptr || v->empty())
        return false;
    out = *v != u"0";
    return true;
}

bool udb_profile::get_flag_only_one(std::u16string_view section_name, std::u16string_view key,
                                    bool& out) const {
    const std::u16string* v = find_value(section_name, key);
    if (v == nullptr || v->empty())
        return false;
    out = *v == u"1";
    return true;
}

bool udb_profile::get_text(std::u16string_view section_name, std::u16string_view key,
                           std::u16string& out) const {
    const std::u16string* v = find_value(section_name, key);
    if (v == nullptr || v->empty())
        return false;
    out = *v;
    return true;
}

bool udb_profile::get_number(std::u16string_view section_name, std::u16string_view key,
                             int64_t& out) const {
    const std::u16string* v = find_value(section_name, key);
    if (v == nullptr || v->empty())
        return false;
    // Only ASCII sign and digits can make a number; narrow them for from_chars.
    std::string narrow;
    for (char16_t c : *v) {
        if (c > 0x7f)
            break;
        narrow.push_back(static_cast<char>(c));
    }
    const char* first = narrow.data();
    const char* last = first + narrow.size();
    if (first != last && *first == '+')
        ++first;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc())
        return false;
    out = value;
    return true;
}

std::string udb_profile::to_text() const {
    std::string text;
    for (const auto& [name, s] : sections_) {
        text += '[';
        text += tk_to_utf8(name);
        text += "]\r\n";
        const bool bare_when_empty = name == selected_tables;
        for (const entry& e : s.entries) {
            text += tk_to_utf8(e.first);
            if (!(bare_when_empty && e.second.empty())) {
                text += '=';
                text += tk_to_utf8(e.second);
            }
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void udb_profile::read_text(std::string_view text) {
    section* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > max_line_bytes)
            throw tk_exception("A line of the profile is longer than 4095 bytes.",
                               tk_exception::stop_run);
        line = udb_profile::strip_blanks(line);
        if (line.empty())
            continue;
        std::u16string wide = tk_from_utf8(line);
        std::u16string_view w = wide;
        if (w.size() >= 2 && w.front() == u'[' && w.back() == u']') {
            current = &get_section(w.substr(1, w.size() - 2));
            continue;
        }
        if (current == nullptr) {
            TK_TRACE(3, "udb_profile: a value before any section ends the reading");
            return;
        }
        size_t eq = w.find(u'=');
        if (eq == std::u16string_view::npos) {
            current->entries.emplace_back(std::u16string(w), std::u16string());
            current->bare_lines.emplace_back(w);
        } else {
            current->entries.emplace_back(std::u16string(::strip_blanks(w.substr(0, eq))),
                                          std::u16string(w.substr(eq + 1)));
        }
    }
}

bool udb_profile::store(const std::filesystem::path& path) const {
    TK_TRACE(2, "udb_profile::store)");
    const std::string text = to_text();

    // The temporary file sits beside the target so that the rename stays on one file system.
    std::string temp = path.string() + ".~" + std::to_string(::getpid());
    const mode_t mode = private_ ? 0600 : 0666;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        TK_TRACE(3, "udb_profile::store: cannot create '%s'", temp.c_str());
        return false;
    }
    // O_CREAT's mode does not apply to a file left over from an earlier attempt.
    bool ok = (!private_ || ::fchmod(fd, 0600) == 0) && write_all(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    TK_TRACE(3, "udb_profile::store: cannot write '%s'", path.c_str());
    ::unlink(temp.c_str());
    return false;
}

bool udb_profile::load(const std::filesystem::path& path) {
    TK_TRACE(2, "udb_profile::load(%s)", path.c_str());
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw tk_exception("Profile does not exist. Please verify the correct path/name was given.",
                           tk_exception::stop_run);
    if (std::filesystem::is_directory(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return false;
    read_text(bytes.str());
    return true;
}
