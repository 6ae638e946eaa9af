// The command line of "tabrix-cli convert": what the user asked for, before it meets the
// stored settings and the profile.
//
// Every setting is optional here: an option given on the command line overrides the value
// that the settings store and the profile gave; an option left out keeps it.
#pragma once

#include "mss/mss_batch_settings.h"

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

// The settings of one conversion that the command line can set. Texts are UTF-8 as they came.
struct convert_settings_patch {
    std::optional<std::string> source;              // folder of DBF tables
    std::optional<std::string> script;              // the T-SQL script to write (script mode)
    std::optional<std::string> log_file;            // trace log of the run
    std::optional<uint32_t> encoding;               // dbf_parse_encoding; 0 for each table's own
    std::optional<uint32_t> default_encoding;       // code page of tables that name none
    std::optional<std::vector<std::string>> tables; // in conversion order
    std::optional<int32_t> mode;                    // 0 to 3
    std::optional<bool> definitions_only;
    std::optional<bool> skip_indexes;
    std::optional<bool> skip_deleted;
    std::optional<bool> bool_as_is;
    std::optional<bool> comments;
    std::optional<bool> create_database;
    std::optional<bool> create_table;
    // The format that loads fast, one value per entry of mss_batch_settings.
    std::optional<uint32_t> batch[mss_batch_setting_count];
    // Direct (server) mode.
    std::optional<bool> direct;
    std::optional<std::string> host;
    std::optional<std::string> login;
    std::optional<std::string> password;
    std::optional<bool> windows_auth;
    std::optional<bool> as_dbo;
    std::optional<bool> fast_load;                // bulk copy, or INSERT statements only
    std::optional<uint32_t> batch_size;           // records per committed bulk batch
    std::optional<std::string> database;          // the database to create or fill
    std::optional<std::string> driver;            // an ODBC driver name or library path
    std::optional<std::string> connection_string; // used as it stands
    std::optional<bool> trust_server_certificate;
    std::optional<bool> encrypt;
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
// "--batch-size" values: 1 to 1,000,000,000 records.
uint32_t parse_batch_size_option(const std::string& text);
// "--mode" values: 0 to 3 or overwrite-database, overwrite-tables, skip-existing, merge.
int32_t parse_mode_option(const std::string& text);

// The text of "tabrix-cli convert --help".
const char* convert_help_text();
