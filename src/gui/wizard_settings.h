// Every setting the wizard reads or writes, in one place: the pages see these groups and
// never the converter's own accessors, so the settings can move to another store without
// touching a page.
#pragma once

#include "udb/udb_setting_table.h"

#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class tabrix_converter;

// The object name of the control that edits a setting: its row's wizard_control.
template <class T> QString wizard_control_name(T udb_settings::*member) {
    const std::string_view name = udb_find_setting(member)->wizard_control;
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

// The values a number control offers: those its row takes, from 1 when the row takes no 0.
struct wizard_number_range {
    int least = 0;
    int most = 0;
};
wizard_number_range wizard_control_range(uint32_t udb_settings::*member);

struct wizard_server_settings {
    std::u16string host{};
    bool windows_auth = true;
    std::u16string login{};
    std::u16string password{};
    bool as_dbo = true;
    bool fast_load = true;
    uint32_t batch_size = 1000; // records per committed batch
};

struct wizard_script_settings {
    bool create_database = false;
    bool create_table = true;
    bool comments = true;
    // The format that loads fast; both 0: one INSERT statement and one batch per record.
    uint32_t rows_per_insert = 0;
    uint32_t rows_per_batch = 0;
};

struct wizard_source_settings {
    std::u16string folder{};
    std::u16string destination{}; // a database name (direct mode) or a script path
    bool definitions_only = false;
    bool skip_deleted = false;
    bool bool_as_is = false;
    uint32_t encoding = 0; // 0 for each table's own; a language-driver byte otherwise
};

class wizard_settings {
public:
    explicit wizard_settings(tabrix_converter& converter) : converter_(converter) {}

    bool direct() const;
    void set_direct(bool on);

    wizard_server_settings server() const;
    void set_server(const wizard_server_settings& s);

    wizard_script_settings script() const;
    // Unicode text stays as it is: leaving the script page never turns it off.
    void set_script(const wizard_script_settings& s);

    wizard_source_settings source() const;
    // The source page has no control for skipping indexes: leaving it turns that off.
    void set_source(const wizard_source_settings& s);
    // The code page the tables of the folder are read with when they name none.
    uint32_t default_codepage() const;

    // The tables of the source folder, in folder order. Raises tk_exception.
    std::vector<std::u16string> all_tables() const;
    std::vector<std::u16string> selected_tables() const;
    void set_selected_tables(std::vector<std::u16string> tables);

    // What happens to tables the destination has already (udb_converter's modes).
    int32_t mode() const;
    void set_mode(int32_t mode);
    // The mode the overwrite dialog offers first: the last one chosen (in the dialog or by a
    // profile), otherwise overwriting existing tables only, which destroys nothing else.
    int32_t preferred_overwrite_mode() const;

    // A script overwrites the whole database only with its CREATE DATABASE block; without it
    // mode 0 means what such scripts do: tables dropped and created again, or with no CREATE
    // TABLE, records added. Called before a script run.
    void settle_script_mode();

    // The settings of the previous run of the program (tabrix_converter::serialize).
    void load_stored();
    bool store_stored();
    // A profile over the current settings. Raises tk_exception for a file that does not
    // exist; false when it cannot be read.
    bool load_profile(const std::filesystem::path& path);
    bool store_profile(const std::filesystem::path& path) const;

    tabrix_converter& converter() noexcept { return converter_; }
    const tabrix_converter& converter() const noexcept { return converter_; }

private:
    tabrix_converter& converter_;
    std::optional<int32_t> chosen_mode_;
};
