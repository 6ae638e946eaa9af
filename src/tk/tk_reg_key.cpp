#include "tk/tk_reg_key.h"

#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// The file holds one value per line, "name=dword:<decimal>" or "name=sz:<text>", under a
// comment line naming the key. Text is UTF-8 with backslash escapes for the backslash and
// control characters, so every value stays on its line. Lines that do not read this way are
// skipped, so a damaged line costs only its own value.

namespace {

constexpr char dword_tag[] = "dword:";
constexpr char string_tag[] = "sz:";
// Settings are a few hundred bytes; anything much larger is not ours.
constexpr uintmax_t max_file_size = 1 << 20;

bool valid_name(std::string_view name) {
    if (name.empty() || name.front() == '#' || name.front() == ' ' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == '=' || c == 0x7F)
            return false;
    return true;
}

std::string escape(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    // A blank at the end is written escaped so that editors that drop trailing blanks
    // cannot change the value.
    bool final_blank = !text.empty() && text.back() == ' ';
    if (final_blank)
        text.remove_suffix(1);
    for (unsigned char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0x0F];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    if (final_blank)
        out += "\\x20";
    return out;
}

bool unescape(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            unsigned value = 0;
            if (i + 2 >= text.size())
                return false;
            auto [end, ec] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
            if (ec != std::errc() || end != text.data() + i + 3)
                return false;
            out += static_cast<char>(value);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::string_view strip_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

fs::path config_home() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored.
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return fs::path(home) / ".config";
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return fs::path(pw->pw_dir) / ".config";
    return {};
}

bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

fs::path tk_reg_key::file_for_key(std::string_view key) {
    fs::path base = config_home();
    if (base.empty())
        return {};
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string_view::npos)
            end = key.size();
        std::string part(key.substr(start, end - start));
        for (char& c : part)
            if (c == '/')
                c = '_';
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        start = end + 1;
    }
    // "Software\<maker>\<product>" becomes <maker>/<product>.conf.
    if (parts.size() > 1 && (parts.front() == "Software" || parts.front() == "SOFTWARE"))
        parts.erase(parts.begin());
    if (parts.empty())
        return {};
    fs::path file = base;
    for (size_t i = 0; i + 1 < parts.size(); ++i)
        file /= parts[i];
    return file / (parts.back() + ".conf");
}

tk_reg_key::~tk_reg_key() {
    if (is_open() && dirty_ && !save())
        TK_TRACE(3, "tk_reg_key::dtor: settings not written to %s", file_.c_str());
}

bool tk_reg_key::open(std::string_view key) {
    TK_TRACE(2, "tk_reg_key::open(%s)", std::string(key).c_str());
    fs::path file = file_for_key(key);
    if (file.empty()) {
        TK_TRACE(3, "No folder for settings");
        return false;
    }
    open_file(file);
    key_ = key;
    return true;
}

bool tk_reg_key::open_file(const fs::path& file) {
    if (is_open())
        close();
    key_ = file.stem().string();
    file_ = file;
    values_.clear();
    dirty_ = false;
    load();
    return true;
}

void tk_reg_key::load() {
    std::error_code ec;
    if (!fs::exists(file_, ec))
        return;
    uintmax_t size = fs::file_size(file_, ec);
    if (ec || size > max_file_size) {
        TK_TRACE(3, "tk_reg_key: %s is not a settings file", file_.c_str());
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        TK_TRACE(3, "tk_reg_key: cannot read %s", file_.c_str());
        return;
    }
    std::string line;
    std::u16string check;
    const tk_codepage& utf8 = tk_codepage::get(tk_cp_utf8);
    while (std::getline(in, line)) {
        std::string_view l = line;
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        if (strip_blanks(l).empty() || strip_blanks(l).front() == '#')
            continue;
        // Blanks around the name and the number are the reader's; a text is taken to the
        // end of its line as written.
        size_t eq = l.find('=');
        bool ok = eq != std::string_view::npos;
        std::string_view name = ok ? strip_blanks(l.substr(0, eq)) : std::string_view();
        std::string_view text = ok ? l.substr(eq + 1) : std::string_view();
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        ok = ok && valid_name(name);
        if (ok && text.substr(0, sizeof dword_tag - 1) == dword_tag) {
            std::string_view digits = strip_blanks(text.substr(sizeof dword_tag - 1));
            uint32_t number = 0;
            auto [end, err] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            ok = !digits.empty() && err == std::errc() && end == digits.data() + digits.size();
            if (ok)
                values_[std::string(name)] = number;
        } else if (ok && text.substr(0, sizeof string_tag - 1) == string_tag) {
            std::string value;
            ok = unescape(text.substr(sizeof string_tag - 1), value) &&
                 utf8.decode_checked(value, check);
            if (ok)
                values_[std::string(name)] = std::move(value);
        } else {
            ok = false;
        }
        if (!ok)
            TK_TRACE(3, "tk_reg_key: damaged line skipped: %s", line.c_str());
    }
}

bool tk_reg_key::save() const {
    std::ostringstream text;
    text << "# " << key_ << "\n";
    for (const auto& [name, v] : values_) {
        if (const uint32_t* number = std::get_if<uint32_t>(&v))
            text << name << '=' << dword_tag << *number << '\n';
        else
            text << name << '=' << string_tag << escape(std::get<std::string>(v)) << '\n';
    }
    std::string data = text.str();

    std::error_code ec;
    fs::path folder = file_.parent_path();
    fs::create_directories(folder, ec);
    if (ec) {
        TK_TRACE(3, "tk_reg_key: cannot create %s", folder.c_str());
        return false;
    }
    // The new settings go to a private temporary file beside the old one and replace it in
    // one rename: a crash at any point leaves either the old or the new file whole.
    std::string temp = (folder / ("." + file_.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        TK_TRACE(3, "tk_reg_key: cannot create a temporary file in %s", folder.c_str());
        return false;
    }
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && write_all(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), file_.c_str()) == 0;
    if (!ok) {
        TK_TRACE(3, "tk_reg_key: cannot write %s (errno=%d)", file_.c_str(), errno);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is durable once the folder is synced.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool tk_reg_key::get_value(std::string_view name, uint32_t& value) const {
    TK_TRACE(2, "tk_reg_key::get_value(ulong, %s)", std::string(name).c_str());
    auto it = values_.find(std::string(name));
    if (it == values_.end())
        return false;
    const uint32_t* number = std::get_if<uint32_t>(&it->second);
    if (!number)
        return false;
    value = *number;
    return true;
}

bool tk_reg_key::get_value(std::u16string_view name, std::u16string& value) const {
    std::string key = tk_to_utf8_lossy(name);
    TK_TRACE(2, "tk_reg_key::get_value(LPWSTR, %s)", key.c_str());
    auto it = values_.find(key);
    if (it == values_.end())
        return false;
    const std::string* text = std::get_if<std::string>(&it->second);
    if (!text)
        return false;
    tk_codepage::get(tk_cp_utf8).decode(*text, value);
    return true;
}

bool tk_reg_key::set_value(std::string_view name, uint32_t value) {
    TK_TRACE(2, "tk_reg_key::set_value(ulong, %s)", std::string(name).c_str());
    if (!is_open() || !valid_name(name))
        return false;
    values_[std::string(name)] = value;
    dirty_ = true;
    return true;
}

bool tk_reg_key::set_value(std::u16string_view name, std::u16string_view value) {
    std::string key = tk_to_utf8_lossy(name);
    TK_TRACE(2, "tk_reg_key::set_value(LPWSTR, %s)", key.c_str());
    std::string text;
    if (!is_open() || !valid_name(key) || !tk_codepage::get(tk_cp_utf8).encode(value, text))
        return false;
    values_[key] = std::move(text);
    dirty_ = true;
    return true;
}

bool tk_reg_key::close() {
    TK_TRACE(2, "tk_reg_key::close");
    if (!is_open())
        return true;
    bool ok = !dirty_ || save();
    file_.clear();
    key_.clear();
    values_.clear();
    dirty_ = false;
    return ok;
}
