// Every setting of udb_settings once: how the settings store keeps it, how a profile writes and
// reads it, which command-line option sets it with what help, and which wizard control edits
// it. The settings store, profiles, the command line and the wizard all go through this table,
// so a new setting is a member of udb_settings, one row here and the code that uses it.
#pragma once

#include "udb/udb_settings.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

class tk_reg_key;
class udb_profile;

// The member a row describes; its type says how it is stored:
//  - bool: "1"/"0" in profiles, a DWORD 0/1 in the settings store, --name/--no-name;
//  - uint32_t: decimal digits in profiles, a DWORD in the settings store;
//  - udb_mode: one digit in profiles (the value plus "0"); not in the settings store;
//  - std::u16string: text in profiles (UTF-8), a string in the settings store;
//  - std::string: narrow text in the system's character set, widened in profiles; not in the
//    settings store.
using udb_setting_member =
    std::variant<bool udb_settings::*, uint32_t udb_settings::*, udb_mode udb_settings::*,
                 std::u16string udb_settings::*, std::string udb_settings::*>;

// How a profile value present and not empty is taken.
enum class udb_profile_reading : uint8_t {
    as_is,       // text as it stands
    unless_zero, // flag: true unless the value is "0"
    only_one,    // flag: true only for "1"
    first_digit, // the first character minus "0"
    number,      // a decimal number (udb_profile::get_number)
};

// Which values a setting takes, wherever they come from. A value refused while reading a
// profile leaves the setting as it was; one refused from the settings store leaves its default;
// one refused on the command line is a usage error.
enum class udb_setting_check : uint8_t {
    none,
    path,              // a file or folder name; the command line makes it absolute
    mode,              // 0 to 3, the converter's modes
    code_page_or_zero, // a language-driver byte or a code page this build reads, or 0
    code_page,         // a code page this build reads (a language-driver byte stands for its
                       // code page, which is what is kept)
    at_least_one,      // a number from 1 to the row's largest
};

// Where the command-line help lists an option.
enum class udb_help_group : uint8_t { none, source, output, script_format, running, server };

// The destination a setting is for.
enum class udb_setting_target : uint8_t { any, script, server };

struct udb_setting {
    udb_setting_member member{};
    // The settings store's value name; empty: not kept between runs.
    std::string_view stored_name{};
    // The profile's section and key; an empty key: not in profiles.
    std::u16string_view section{};
    std::u16string_view key{};
    udb_profile_reading reading = udb_profile_reading::as_is;
    udb_setting_check check = udb_setting_check::none;
    // Text written to a profile only when it is not empty.
    bool skip_empty = false;
    // Written to a profile only when it is not the default (keys added after profiles of the
    // classic layout existed, which keep that layout).
    bool skip_default = false;
    // Added after settings stores existed: a store without the value keeps the default and
    // still reads as whole.
    bool newer = false;
    // The largest number taken (a number member).
    uint32_t max = UINT32_MAX;
    // A secret (a password): a profile holding it is readable by its owner only.
    bool secret = false;
    // The command-line option without its dashes ("skip-deleted"); empty: none. A flag also
    // has its "--no-" form.
    std::string_view option{};
    char short_option = 0;
    // What the option's value is called in the help ("PATH"); empty for flags.
    std::string_view value_name{};
    // Help lines, separated by "\n", without indentation.
    std::string_view help{};
    udb_help_group help_group = udb_help_group::none;
    udb_setting_target target = udb_setting_target::any;
    // The object name of the wizard control that edits it; empty: none.
    std::string_view wizard_control{};
};

// The rows in profile order (which is also the order of the help within a group).
std::span<const udb_setting> udb_setting_table();

// The row of a member; null when it has none.
template <class T> const udb_setting* udb_find_setting(T udb_settings::*member) {
    for (const udb_setting& row : udb_setting_table())
        if (const auto* m = std::get_if<T udb_settings::*>(&row.member); m && *m == member)
            return &row;
    return nullptr;
}

// The value a setting keeps for a number read from the store or a profile, or nothing when it
// is refused. Given by the layer that knows the code pages; checks `none` and `mode` are
// applied here.
using udb_setting_checker = std::optional<uint32_t> (*)(udb_setting_check check, int64_t value);

// The value of the row's member of `from` copied into `to`.
void udb_copy_setting(const udb_setting& row, const udb_settings& from, udb_settings& to);

// Adds every setting with a profile key, then the table lists, to the profile.
void udb_store_settings(const udb_settings& settings, udb_profile& profile);
// Reads every setting a profile holds (a missing or empty value leaves it as it was) and adds
// the profile's table lists to those of `settings`.
void udb_load_settings(const udb_profile& profile, udb_settings& settings,
                       udb_setting_checker checker);

// Reads (store = false: every stored setting first set to its default) or writes the settings
// kept between runs. True only when every value was read or written.
bool udb_serialize_settings(tk_reg_key& key, udb_settings& settings, bool store,
                            udb_setting_checker checker);
