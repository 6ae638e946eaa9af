#include "gui/wizard_settings.h"

#include "app/tabrix_converter.h"
#include "udb/udb_profile.h"

bool wizard_settings::direct() const {
    return converter_.get_direct();
}

void wizard_settings::set_direct(bool on) {
    converter_.set_direct(on);
}

wizard_server_settings wizard_settings::server() const {
    return {converter_.get_host(), converter_.get_windows_auth(), converter_.get_login(),
            converter_.get_password(), converter_.get_as_dbo()};
}

void wizard_settings::set_server(const wizard_server_settings& s) {
    converter_.set_host(s.host);
    converter_.set_windows_auth(s.windows_auth);
    converter_.set_login(s.login);
    converter_.set_password(s.password);
    converter_.set_as_dbo(s.as_dbo);
}

wizard_script_settings wizard_settings::script() const {
    const mss_dump_options& d = converter_.dump_options();
    return {d.dmp_ins_db, d.dmp_ins_tab, d.dmp_ins_com};
}

void wizard_settings::set_script(const wizard_script_settings& s) {
    mss_dump_options& d = converter_.dump_options();
    d.dmp_ins_db = s.create_database;
    d.dmp_ins_tab = s.create_table;
    d.dmp_ins_com = s.comments;
}

wizard_source_settings wizard_settings::source() const {
    return {converter_.get_source_path(),
            converter_.get_destination(),
            converter_.get_table_definitions_only(),
            converter_.get_skip_deleted(),
            converter_.get_bool_as_is(),
            converter_.get_encoding()};
}

void wizard_settings::set_source(const wizard_source_settings& s) {
    converter_.set_source_path(s.folder);
    converter_.set_destination(s.destination);
    converter_.set_table_definitions_only(s.definitions_only);
    converter_.set_skip_deleted(s.skip_deleted);
    converter_.set_bool_as_is(s.bool_as_is);
    converter_.set_encoding(s.encoding);
    converter_.set_skip_indexes(false);
}

uint32_t wizard_settings::default_codepage() const {
    return converter_.get_default_encoding();
}

std::vector<std::u16string> wizard_settings::all_tables() const {
    return converter_.get_all_tables();
}

std::vector<std::u16string> wizard_settings::selected_tables() const {
    return converter_.selected_tables();
}

void wizard_settings::set_selected_tables(std::vector<std::u16string> tables) {
    converter_.selected_tables() = std::move(tables);
}

int32_t wizard_settings::mode() const {
    return converter_.get_mode();
}

void wizard_settings::set_mode(int32_t mode) {
    converter_.set_mode(mode);
    chosen_mode_ = mode;
}

int32_t wizard_settings::preferred_overwrite_mode() const {
    return chosen_mode_.value_or(udb_converter::mode_overwrite_tables);
}

void wizard_settings::settle_script_mode() {
    const mss_dump_options& d = converter_.dump_options();
    if (converter_.get_mode() == udb_converter::mode_overwrite_database && !d.dmp_ins_db)
        converter_.set_mode(d.dmp_ins_tab ? udb_converter::mode_overwrite_tables
                                          : udb_converter::mode_merge);
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
    std::u16string mode;
    const bool has_mode =
        profile.get_text(udb_profile::generic_settings, u"mode", mode) && !mode.empty();
    // The profile's tables replace those chosen before, rather than adding to them.
    converter_.selected_tables().clear();
    converter_.selected_table_entries().clear();
    if (!converter_.load_profile(profile))
        return false;
    // Profiles always carry a mode, 0 when nobody chose one: only a choice that destroys
    // less than the whole database is taken as the user's.
    if (has_mode && converter_.get_mode() != udb_converter::mode_overwrite_database)
        chosen_mode_ = converter_.get_mode();
    return true;
}

bool wizard_settings::store_profile(const std::filesystem::path& path) const {
    return converter_.store_profile(path);
}
