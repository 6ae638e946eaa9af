#include "gui/wizard_settings.h"

#include "app/tabrix_converter.h"
#include "udb/udb_profile.h"
#include "udb/udb_setting_table.h"

#include <algorithm>
#include <climits>

wizard_number_range wizard_control_range(uint32_t udb_settings::*member) {
    const udb_setting& row = *udb_find_setting(member);
    return {row.check == udb_setting_check::at_least_one ? 1 : 0,
            int(std::min<uint32_t>(row.max, INT_MAX))};
}

bool wizard_settings::direct() const {
    return converter_.settings().direct;
}

void wizard_settings::set_direct(bool on) {
    converter_.settings().direct = on;
}

wizard_server_settings wizard_settings::server() const {
    const udb_settings& s = converter_.settings();
    return {s.host, s.windows_auth, s.login, s.password, s.as_dbo, s.fast_load, s.batch_size};
}

void wizard_settings::set_server(const wizard_server_settings& s) {
    udb_settings& to = converter_.settings();
    to.host = s.host;
    to.windows_auth = s.windows_auth;
    to.login = s.login;
    to.password = s.password;
    to.as_dbo = s.as_dbo;
    to.fast_load = s.fast_load;
    to.batch_size = s.batch_size;
}

wizard_script_settings wizard_settings::script() const {
    const udb_settings& s = converter_.settings();
    return {s.dmp_ins_db, s.dmp_ins_tab, s.dmp_ins_com, s.rows_per_insert, s.rows_per_batch};
}

void wizard_settings::set_script(const wizard_script_settings& s) {
    udb_settings& to = converter_.settings();
    to.dmp_ins_db = s.create_database;
    to.dmp_ins_tab = s.create_table;
    to.dmp_ins_com = s.comments;
    to.rows_per_insert = s.rows_per_insert;
    to.rows_per_batch = s.rows_per_batch;
}

wizard_source_settings wizard_settings::source() const {
    const udb_settings& s = converter_.settings();
    return {s.source,       s.destination, s.table_definitions_only,
            s.skip_deleted, s.bool_as_is,  s.encoding};
}

void wizard_settings::set_source(const wizard_source_settings& s) {
    udb_settings& to = converter_.settings();
    to.source = s.folder;
    to.destination = s.destination;
    to.table_definitions_only = s.definitions_only;
    to.skip_deleted = s.skip_deleted;
    to.bool_as_is = s.bool_as_is;
    to.encoding = s.encoding;
    to.skip_indexes = false;
}

uint32_t wizard_settings::default_codepage() const {
    return converter_.settings().default_encoding;
}

std::vector<std::u16string> wizard_settings::all_tables() const {
    return converter_.get_all_tables();
}

std::vector<std::u16string> wizard_settings::selected_tables() const {
    return converter_.settings().selected_tables;
}

void wizard_settings::set_selected_tables(std::vector<std::u16string> tables) {
    converter_.settings().selected_tables = std::move(tables);
}

int32_t wizard_settings::mode() const {
    return int32_t(converter_.settings().mode);
}

void wizard_settings::set_mode(int32_t mode) {
    converter_.settings().mode = udb_mode(mode);
    chosen_mode_ = mode;
}

int32_t wizard_settings::preferred_overwrite_mode() const {
    return chosen_mode_.value_or(int32_t(udb_mode::overwrite_tables));
}

void wizard_settings::settle_script_mode() {
    udb_settings& s = converter_.settings();
    if (s.mode == udb_mode::overwrite_database && !s.dmp_ins_db)
        s.mode = s.dmp_ins_tab ? udb_mode::overwrite_tables : udb_mode::merge;
}

void wizard_settings::load_stored() {
    converter_.serialize(false);
}

bool wizard_settings::store_stored() {
    return converter_.serialize(true);
}

bool wizard_settings::load_profile(const std::filesystem::path& path) {
    udb_profile profile;
    if (!profile.load(path))
        return false;
    const udb_setting& mode_row = *udb_find_setting(&udb_settings::mode);
    const std::u16string* mode = profile.find_value(mode_row.section, mode_row.key);
    const bool has_mode = mode != nullptr && !mode->empty();
    // The profile's tables replace those chosen before, rather than adding to them.
    udb_settings& s = converter_.settings();
    s.selected_tables.clear();
    s.selected_entries.clear();
    if (!converter_.load_profile(profile))
        return false;
    // Profiles always carry a mode, 0 when nobody chose one: only a choice that destroys
    // less than the whole database is taken as the user's.
    if (has_mode && s.mode != udb_mode::overwrite_database)
        chosen_mode_ = int32_t(s.mode);
    return true;
}

bool wizard_settings::store_profile(const std::filesystem::path& path) const {
    return converter_.store_profile(path);
}
