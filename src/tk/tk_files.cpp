#include "tk/tk_files.h"

#include "tk/tk_text.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string current_folder() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) {
        TK_TRACE(3, "_getcwd failed");
        return {};
    }
    return cwd.string();
}

std::string with_separator(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

// Names on disk are bytes; they are shown and compared as text of the ANSI code page.
std::u16string widen(std::string_view narrow) {
    std::u16string wide;
    tk_codepage::get(tk_ansi_codepage()).decode(narrow, wide);
    return wide;
}

std::u32string folded_code_points(std::string_view text) {
    std::u16string wide = widen(text);
    std::u32string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size();) {
        UChar32 c;
        U16_NEXT(wide.data(), i, wide.size(), c);
        out += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    }
    return out;
}

bool is_regular_file(const char* name) {
    struct stat st {};
    return ::stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

// The current folder belongs to the process; tk_temp_chdir objects take turns.
std::recursive_mutex& chdir_mutex() {
    static std::recursive_mutex m;
    return m;
}

} // namespace

// ---------------------------------------------------------------------------------------------

tk_file_name::tk_file_name(std::string_view path) {
    std::string text(path);
    TK_TRACE(2, "tk_file_name::ctor(%s)", text.c_str());
    fs::path absolute;
    if (!text.empty()) {
        std::error_code ec;
        absolute = fs::absolute(fs::path(text), ec).lexically_normal();
        if (ec)
            absolute.clear();
    }
    if (absolute.empty()) {
        dir_ = with_separator(current_folder());
        return;
    }
    std::string full = absolute.string();
    size_t slash = full.rfind('/');
    dir_ = full.substr(0, slash + 1);
    fs::path file = full.substr(slash + 1);
    if (file.empty())
        return;
    ext_ = file.extension().string();
    name_ = file.stem().string();
}

void tk_file_wname::initialize(std::u16string_view path) {
    std::string narrow;
    const tk_codepage& ansi = tk_codepage::get(tk_ansi_codepage());
    // A path that cannot be written as a file-system name cannot be made absolute either.
    if (!ansi.encode(path, narrow))
        narrow.clear();
    tk_file_name parts(narrow);
    ext_ = widen(parts.ext());
    drive_ = widen(parts.drive());
    name_ = widen(parts.name());
    dir_ = widen(parts.dir());
}

// ---------------------------------------------------------------------------------------------

bool tk_is_file_exist(std::string_view path, uint32_t mode) {
    std::string name(path);
    TK_TRACE(2, "tk_is_file_exist(%s)", name.c_str());
    bool ok = false;
    struct stat st {};
    bool exists = ::stat(name.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        ok = false;
    } else if (mode == tk_exist_create) {
        // Tests that the file can be written without destroying what it holds: an existing
        // file is opened for writing, a missing one is created and removed again.
        int fd = exists ? ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)
                        : ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ok = true;
            ::close(fd);
            if (!exists)
                ::unlink(name.c_str());
        }
    } else if (exists) {
        int flags = (mode == tk_exist_read_write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(name.c_str(), flags);
        if (fd >= 0) {
            ok = true;
            ::close(fd);
        }
    }
    if (!ok)
        TK_TRACE(1, "File not exists!");
    return ok;
}

bool tk_is_file_exist(std::u16string_view path, uint32_t mode) {
    std::string narrow;
    if (!tk_codepage::get(tk_ansi_codepage()).encode(path, narrow))
        return false;
    return tk_is_file_exist(narrow, mode);
}

bool tk_is_path_exist(std::string_view path) {
    std::string name(path);
    TK_TRACE(2, "tk_is_path_exist(%s)", name.c_str());
    // Entering a folder needs it to be a folder and searchable; testing that needs no change
    // of the process's current folder, which other threads share.
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(name.c_str(), X_OK) == 0;
}

bool tk_is_path_exist(std::u16string_view path) {
    std::string narrow;
    if (!tk_codepage::get(tk_ansi_codepage()).encode(path, narrow))
        return false;
    return tk_is_path_exist(narrow);
}

// ---------------------------------------------------------------------------------------------

tk_temp_chdir::tk_temp_chdir(std::string_view path) {
    enter(std::string(path));
}

tk_temp_chdir::tk_temp_chdir(std::u16string_view path) {
    std::string narrow;
    if (!tk_codepage::get(tk_ansi_codepage()).encode(path, narrow)) {
        chdir_mutex().lock();
        locked_ = true;
        TK_TRACE(3, "_wchdir failed");
        return;
    }
    enter(narrow);
}

void tk_temp_chdir::enter(const std::string& path) {
    TK_TRACE(2, "tk_temp_chdir::ctor(%s)", path.c_str());
    chdir_mutex().lock();
    locked_ = true;
    if (path.empty()) {
        ok_ = true;
        return;
    }
    previous_ = current_folder();
    if (previous_.empty())
        return;
    if (::chdir(path.c_str()) != 0) {
        TK_TRACE(3, "_chdir failed");
        return;
    }
    ok_ = changed_ = true;
}

tk_temp_chdir::~tk_temp_chdir() {
    TK_TRACE(2, "tk_temp_chdir::dtor - at the END");
    if (changed_ && ::chdir(previous_.c_str()) != 0)
        TK_TRACE(3, "_chdir failed");
    if (locked_)
        chdir_mutex().unlock();
}

void tk_temp_chdir::find_files(std::string_view pattern, std::vector<std::string>& names) const {
    names.clear();
    std::string pattern_text(pattern);
    TK_TRACE(2, "tk_temp_chdir::find_files(%s)", pattern_text.c_str());
    if (!ok_) {
        TK_TRACE(1, "No files found");
        return;
    }
    DIR* dir = ::opendir(".");
    if (!dir) {
        TK_TRACE(3, "No files found");
        return;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (tk_match_pattern(pattern, name) && is_regular_file(name)) {
            TK_TRACE(1, "Found file: %s", name);
            names.emplace_back(name);
        } else {
            TK_TRACE(1, "Found file: %s...ignored", name);
        }
        errno = 0;
    }
    if (errno != 0)
        TK_TRACE(3, "Couldn't find next file");
    else
        TK_TRACE(1, names.empty() ? "No files found" : "No more files");
    ::closedir(dir);

    // The file system's own order changes with every copy of a folder; users get one order.
    std::vector<std::pair<std::u32string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& n : names)
        keyed.emplace_back(folded_code_points(n), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size(); ++i)
        names[i] = std::move(keyed[i].second);
}

void tk_temp_chdir::find_files(std::u16string_view pattern,
                               std::vector<std::u16string>& names) const {
    names.clear();
    std::string narrow;
    if (!tk_codepage::get(tk_ansi_codepage()).encode(pattern, narrow))
        return;
    std::vector<std::string> found;
    find_files(narrow, found);
    names.reserve(found.size());
    for (const std::string& n : found)
        names.push_back(widen(n));
}

bool tk_match_pattern(std::string_view pattern, std::string_view name) {
    // "*.*" is every file, also one without an extension.
    if (pattern == "*.*")
        pattern = "*";
    std::u32string p = folded_code_points(pattern);
    std::u32string n = folded_code_points(name);
    // Greedy matching with one back-track point: the last '*' seen.
    size_t pi = 0, ni = 0, star = std::u32string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u32string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}
