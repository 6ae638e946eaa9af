// The command line of "tabrix-cli convert": what the user asked for, before it meets the
// stored settings and the profile.
//
// Every setting is optional here: an option given on the command line overrides the value
// that the settings store and the profile gave; an option left out keeps it.
#pragma once

#include "udb/udb_setting_table.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A command line that cannot be run as given; the CLI prints the text and exits with 64.
class convert_usage_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings the command line gave: their values, and which rows of the setting table were
// given. Texts are widened as they came (paths made absolute).
class convert_settings_patch {
public:
    // Sets a row's value, taking it from `value`'s member.
    void set(const udb_setting& row, const udb_settings& value);
    bool has(const udb_setting& row) const;
    template <class T> bool has(T udb_settings::*member) const {
        const udb_setting* row = udb_find_setting(member);
        return row != nullptr && has(*row);
    }
    // The value given for a member, or nothing.
    template <class T> std::optional<T> get(T udb_settings::*member) const {
        return has(member) ? std::optional<T>(values_.*member) : std::nullopt;
    }
    // Copies the values given into `settings`.
    void apply_to(udb_settings& settings) const;

    std::optional<std::vector<std::string>> tables; // UTF-8, in conversion order
    // --encrypt (1) or --no-encrypt (0); nothing: the stored or profile value.
    std::optional<uint32_t> encrypt;

private:
    udb_settings values_;
    std::vector<const udb_setting*> given_;
};

enum class progress_choice { automatic, always, never };

struct convert_command_line {
    bool help = false;
    bool version = false;
    std::optional<std::string> profile;      // the PROFILE.tbx operand
    std::optional<std::string> save_profile; // --save-profile FILE
    bool stop_on_error = false;
    bool overwrite = false;      // --overwrite: an existing script may be replaced
    bool read_settings = true;   // --no-stored-settings turns the settings store off
    bool write_settings = false; // --save-settings writes the run's settings to the store
    progress_choice progress = progress_choice::automatic;
    convert_settings_patch settings;
};

// Parses the arguments that follow "convert". Raises convert_usage_error.
convert_command_line parse_convert_command_line(const std::vector<std::string>& args);

// "--encoding" values: 0, a language-driver byte, a code page number or name
// (dbf_parse_encoding). Raises convert_usage_error, naming the values accepted.
uint32_t parse_encoding_option(const std::string& text);
// "--default-encoding" values: a code page as --encoding takes it (a language-driver byte
// stands for its code page), but not 0. Answers the code page number.
uint32_t parse_default_encoding_option(const std::string& text);
// "--mode" values: 0 to 3 or overwrite-database, overwrite-tables, skip-existing, merge.
udb_mode parse_mode_option(const std::string& text);

// The text of "tabrix-cli convert --help".
std::string convert_help_text();
