// A profile: the settings of one conversion as a text file of sections of "key=value" lines.
//
// File form (extension "tbx"): UTF-8 without a byte-order mark, lines ending in CR LF when
// written (CR LF or LF accepted when read). Sections come in the order of their names compared
// by character code, each as a "[name]" line, its entries and one empty line. An entry is
// "key=value"; in "Selected Tables" an entry with an empty value is the bare key.
//
// Reading takes each line stripped of spaces at both ends, skips empty lines, opens a section
// at "[name]" (a repeated header continues it), splits other lines at the first "=" (the key
// stripped of spaces, the value kept as it stands, so a blank after "=" is part of the value)
// and takes a line without "=" as a key with an empty value. A line before any section header
// ends the reading; what was read until then stays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_profile {
public:
    using entry = std::pair<std::u16string, std::u16string>;

    static constexpr std::u16string_view available_queries = u"Available Queries";
    static constexpr std::u16string_view selected_tables = u"Selected Tables";
    static constexpr std::u16string_view selected_views = u"Selected Views";
    static constexpr std::u16string_view generic_settings = u"Generic settings";
    static constexpr std::u16string_view mssql_settings = u"MS SQL Server settings";

    static constexpr std::string_view file_extension = "tbx";
    // Longest line a profile may hold, without its line end.
    static constexpr size_t max_line_bytes = 4095;

    // Holds the four standard sections, empty.
    udb_profile();

    // A line, or a key, without the spaces at both ends that reading strips.
    static std::string_view strip_blanks(std::string_view s);

    // Appends an entry to the section, creating the section when new. Duplicates are kept.
    void add_value(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // "1" or "0".
    void add_flag(std::u16string_view section, std::u16string_view key, bool value);
    // Decimal digits.
    void add_number(std::u16string_view section, std::u16string_view key, int64_t value);

    // The value of the first entry with exactly this key, or null when the section or the key
    // is missing.
    const std::u16string* find_value(std::u16string_view section, std::u16string_view key) const;
    // The entries of a section in the order they were added or read; empty when missing.
    const std::vector<entry>& entries(std::u16string_view section) const;
    // The lines without "=" read into a section (they are entries with empty values too).
    const std::vector<std::u16string>& bare_lines(std::u16string_view section) const;
    bool has_section(std::u16string_view section) const;

    // Readers of the value forms. Each answers false, leaving `out` unchanged, when the entry
    // is missing or its value is empty.

    // "skip indexes" style: true unless the value is "0".
    bool get_flag_unless_zero(std::u16string_view section, std::u16string_view key,
                              bool& out) const;
    // "skip deleted" style: true only for "1".
    bool get_flag_only_one(std::u16string_view section, std::u16string_view key, bool& out) const;
    // A text taken as it stands.
    bool get_text(std::u16string_view section, std::u16string_view key, std::u16string& out) const;
    // A decimal whole number: an optional sign and digits, anything after them ignored. A
    // value that does not start with a number also answers false.
    bool get_number(std::u16string_view section, std::u16string_view key, int64_t& out) const;

    // A profile holding a secret (a password) is written readable by its owner only.
    void mark_private() noexcept { private_ = true; }
    bool is_private() const noexcept { return private_; }

    // The file text, as store writes it.
    std::string to_text() const;
    // Reads profile text into this profile (adding to what it holds). Raises tk_exception for
    // a line that is not UTF-8 ("Cannot convert to UNICODE string: ...") and, level 1, for a
    // line longer than max_line_bytes.
    void read_text(std::string_view text);

    // Writes the file through a temporary file in the same folder renamed over the target, so
    // that a failed write leaves an earlier profile as it was. Answers false when the file
    // cannot be written; a private profile gets mode 0600.
    bool store(const std::filesystem::path& path) const;
    // Raises tk_exception of level 1, "Profile does not exist. Please verify the correct
    // path/name was given.", for a missing file; answers false when it cannot be read.
    bool load(const std::filesystem::path& path);

private:
    struct section {
        std::vector<entry> entries;
        std::vector<std::u16string> bare_lines;
    };

    section& get_section(std::u16string_view name);
    const section* find_section(std::u16string_view name) const;

    // Plain character-code order of section names.
    std::map<std::u16string, section, std::less<>> sections_;
    bool private_ = false;
};
