// Reading a profile file the user named, before any of it is used.
//
// A profile is written by this program, but users edit them and name the wrong file: a file
// that is not profile text is refused whole, and an entry whose key this program does not
// know, or whose value it cannot take, is left out with a warning naming the file, the line
// and the key, so that no setting is taken differently from what the file says.
#pragma once

#include "udb/udb_profile.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// A file that cannot be read as a profile; the text names the file and the reason.
class tabrix_profile_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct tabrix_checked_profile {
    udb_profile profile;               // the entries that passed
    std::vector<std::string> warnings; // "FILE:LINE: ..." per entry left out
};

// Reads and checks the profile at `path`. Raises tabrix_profile_error when the file is
// missing, cannot be read ("Permission denied") or is not a profile (binary data, text that
// is not UTF-8, or an entry before the first "[section]" line).
tabrix_checked_profile tabrix_read_profile(const std::filesystem::path& path);
