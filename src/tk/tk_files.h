// File names, existence tests and folder scans.
//
// Paths are narrow text in the ANSI code page (tk_ansi_codepage, UTF-8 here); the wide forms
// convert with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A path made absolute and split into its parts. An empty path, or one that cannot be made
// absolute, stands for the current folder with an empty name. Joining drive, folder, name and
// extension gives the absolute path back.
class tk_file_name {
public:
    explicit tk_file_name(std::string_view path);

    const std::string& ext() const noexcept { return ext_; }     // ".dbf", or empty
    const std::string& drive() const noexcept { return drive_; } // always empty on POSIX
    const std::string& name() const noexcept { return name_; }   // without the extension
    const std::string& dir() const noexcept { return dir_; }     // with its trailing '/'
    std::string path() const { return drive_ + dir_ + name_ + ext_; }

private:
    std::string ext_;
    std::string drive_;
    std::string name_;
    std::string dir_;
};

class tk_file_wname {
public:
    tk_file_wname() = default;
    explicit tk_file_wname(std::u16string_view path) { initialize(path); }
    void initialize(std::u16string_view path);

    const std::u16string& ext() const noexcept { return ext_; }
    const std::u16string& drive() const noexcept { return drive_; }
    const std::u16string& name() const noexcept { return name_; }
    const std::u16string& dir() const noexcept { return dir_; }
    std::u16string path() const { return drive_ + dir_ + name_ + ext_; }

private:
    std::u16string ext_;
    std::u16string drive_;
    std::u16string name_;
    std::u16string dir_;
};

// Modes of tk_is_file_exist.
enum : uint32_t {
    tk_exist_read = 0,       // the file opens for reading
    tk_exist_read_write = 1, // the file opens for reading and writing
    tk_exist_create = 4096,  // the file can be written: created if missing (and removed
                             // again), opened for writing if present (its content kept)
};

// True when `path` is a file (not a folder) that opens in the mode, without creating it.
bool tk_is_file_exist(std::string_view path, uint32_t mode = tk_exist_read);
bool tk_is_file_exist(std::u16string_view path, uint32_t mode = tk_exist_read);

// True when `path` is a folder that can be entered.
bool tk_is_path_exist(std::string_view path);
bool tk_is_path_exist(std::u16string_view path);

// Enters a folder for the life of the object and returns to the previous one at its end.
// Entering fails quietly (the caller tests ok() and reports a user error); an empty path
// stays in the current folder. The current folder belongs to the whole process: objects on
// different threads take turns (the second waits until the first is gone).
class tk_temp_chdir {
public:
    explicit tk_temp_chdir(std::string_view path);
    explicit tk_temp_chdir(std::u16string_view path);
    ~tk_temp_chdir();

    tk_temp_chdir(const tk_temp_chdir&) = delete;
    tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

    // The folder was entered.
    bool ok() const noexcept { return ok_; }

    // Replaces `names` with the names of the files of the folder that match `pattern`
    // ('*' any run of characters, '?' one character), ignoring case: "*.dbf" finds
    // ORDERS.DBF. Folders are not listed. The names come sorted (ignoring case first, then
    // by their bytes) so that users see a stable order.
    void find_files(std::string_view pattern, std::vector<std::string>& names) const;
    void find_files(std::u16string_view pattern, std::vector<std::u16string>& names) const;

private:
    void enter(const std::string& path);

    std::string previous_;
    bool ok_ = false;
    bool changed_ = false;
    bool locked_ = false;
};

// True when `name` matches the '*'/'?' pattern, ignoring case (Unicode simple case folding).
bool tk_match_pattern(std::string_view pattern, std::string_view name);
