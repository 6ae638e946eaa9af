#include "app/tabrix_converter.h"

#include "dbf/dbf_database.h"
#include "mss/mss_batch_settings.h"
#include "mss/mss_database.h"
#include "mss/mss_validator.h"
#include "mss/sql_engine.h"
#include "tk/tk_product.h"
#include "tk/tk_reg_key.h"
#include "tk/tk_trace.h"
#include "udb/tabrix_bool_rule.h"
#include "udb/udb_profile.h"

namespace {

constexpr std::u16string_view generic = udb_profile::generic_settings;

// Reads or writes the stored values one by one, remembering whether every one got through.
class settings_io {
public:
    settings_io(tk_reg_key& key, bool store) : key_(key), store_(store) {}

    void flag(std::string_view name, bool& value) {
        uint32_t number = value ? 1 : 0;
        this->number(name, number);
        value = number != 0;
    }
    template <class Get, class Set> void flag(std::string_view name, Get get, Set set) {
        bool value = get();
        flag(name, value);
        set(value);
    }
    void number(std::string_view name, uint32_t& value) {
        if (store_) {
            ok_ = key_.set_value(name, value) && ok_;
        } else {
            ok_ = key_.get_value(name, value) && ok_;
        }
    }
    // A value that stores written before it existed lack: missing, it stays as it is; out of
    // range, it is 0.
    void newer_number(std::string_view name, uint32_t& value, uint32_t max) {
        if (store_) {
            ok_ = key_.set_value(name, value) && ok_;
        } else if (uint32_t stored = 0; key_.get_value(name, stored)) {
            value = stored <= max ? stored : 0;
        }
    }
    template <class Get, class Set> void text(std::u16string_view name, Get get, Set set) {
        std::u16string value = get();
        if (store_) {
            ok_ = key_.set_value(name, value) && ok_;
        } else if (key_.get_value(name, value)) {
            set(std::move(value));
        } else {
            ok_ = false;
        }
    }

    bool ok() const noexcept { return ok_; }

private:
    tk_reg_key& key_;
    bool store_;
    bool ok_ = true;
};

} // namespace

tabrix_converter::tabrix_converter() {
    TK_TRACE(2, "tabrix_converter::ctor");
}

tabrix_converter::~tabrix_converter() {
    TK_TRACE(2, "tabrix_converter::dtor");
}

std::string tabrix_converter::title() {
    return std::string(tk_product_name) + " " + std::to_string(tk_product_major) + "." +
           std::to_string(tk_product_minor) + " " + tk_product_edition;
}

bool tabrix_converter::serialize(bool store) {
    TK_TRACE(2, "serialize( %d )", int(store));
    tk_reg_key key;
    if (!key.open(tk_settings_key))
        return false;
    mss_dump_options& dump = dump_options();
    if (!store) {
        set_as_dbo(true);
        set_fast_load(true);
        set_batch_size(mss_engine::default_batch_size);
        bool_as_is_ = false;
        encoding_ = 0;
        default_encoding_ = dbf_default_codepage;
        set_destination(std::u16string());
        direct_ = true;
        dump.dmp_ins_com = true;
        dump.dmp_ins_db = false;
        dump.dmp_ins_tab = true;
        dump.dmp_unicode = true;
        for (const mss_batch_setting& setting : mss_batch_settings)
            dump.*setting.member = 0;
        set_host(std::u16string());
        set_password(std::u16string());
        set_windows_auth(true);
        set_skip_deleted(false);
        set_skip_indexes(false);
        set_source_path(std::u16string());
        set_table_definitions_only(false);
        set_login(std::u16string());
        server().driver.clear();
        server().connection_string.clear();
        server().trust_server_certificate = false;
        server().encrypt = mss_connection_settings::encryption::driver_default;
    }

    settings_io io(key, store);
    io.flag(
        "as_dbo", [&] { return get_as_dbo(); }, [&](bool on) { set_as_dbo(on); });
    io.flag("bool_dbf", bool_as_is_);
    io.number("code_page", encoding_);
    io.number("default_code_page", default_encoding_);
    io.text(
        u"dest", [&] { return get_destination(); },
        [&](std::u16string v) { set_destination(std::move(v)); });
    io.flag("direct", direct_);
    io.flag("dmp_ins_com", dump.dmp_ins_com);
    io.flag("dmp_ins_db", dump.dmp_ins_db);
    io.flag("dmp_ins_tab", dump.dmp_ins_tab);
    io.flag("dmp_unicode", dump.dmp_unicode);
    for (const mss_batch_setting& setting : mss_batch_settings)
        io.newer_number(setting.stored_key, dump.*setting.member, setting.max);
    // Direct mode's bulk copy: stores written before it keep the defaults.
    uint32_t fast_load = get_fast_load() ? 1 : 0;
    io.newer_number("fast_load", fast_load, 1);
    set_fast_load(fast_load != 0);
    uint32_t batch_size = get_batch_size();
    io.newer_number("batch_size", batch_size, 1'000'000'000);
    set_batch_size(batch_size);
    io.text(
        u"host", [&] { return get_host(); }, [&](std::u16string v) { set_host(std::move(v)); });
    io.text(
        u"pswd", [&] { return get_password(); },
        [&](std::u16string v) { set_password(std::move(v)); });
    io.flag(
        "sec_log", [&] { return get_windows_auth(); }, [&](bool on) { set_windows_auth(on); });
    io.flag(
        "skip_del", [&] { return get_skip_deleted(); }, [&](bool on) { set_skip_deleted(on); });
    io.flag(
        "skip_idx", [&] { return get_skip_indexes(); }, [&](bool on) { set_skip_indexes(on); });
    io.text(
        u"src", [&] { return get_source_path(); },
        [&](std::u16string v) { set_source_path(std::move(v)); });
    io.flag(
        "tab_def", [&] { return get_table_definitions_only(); },
        [&](bool on) { set_table_definitions_only(on); });
    io.text(
        u"user", [&] { return get_login(); }, [&](std::u16string v) { set_login(std::move(v)); });
    mss_connection_settings& connection = server();
    io.text(
        u"driver", [&] { return connection.driver; },
        [&](std::u16string v) { connection.driver = std::move(v); });
    io.text(
        u"conn_str", [&] { return connection.connection_string; },
        [&](std::u16string v) { connection.connection_string = std::move(v); });
    io.flag("trust_cert", connection.trust_server_certificate);
    // 0 off, 1 on, 2 the driver's default.
    uint32_t encrypt = connection.encrypt == mss_connection_settings::encryption::off  ? 0
                       : connection.encrypt == mss_connection_settings::encryption::on ? 1
                                                                                       : 2;
    io.number("encrypt", encrypt);
    connection.encrypt = encrypt == 0   ? mss_connection_settings::encryption::off
                         : encrypt == 1 ? mss_connection_settings::encryption::on
                                        : mss_connection_settings::encryption::driver_default;

    // A stored code page this build cannot read with is left for the default.
    if (!store && encoding_ != 0 && dbf_codepage_of_setting(encoding_) == 0)
        encoding_ = 0;
    if (!store && dbf_codepage_of_setting(default_encoding_) == 0)
        default_encoding_ = dbf_default_codepage;
    const bool closed = key.close();
    return io.ok() && (!store || closed);
}

bool tabrix_converter::store_profile(const std::filesystem::path& path) const {
    udb_profile profile;
    if (!udb_converter::store_profile(profile) || !mssql_converter_impl::store_profile(profile))
        return false;
    profile.add_flag(generic, u"skip deleted", get_skip_deleted());
    profile.add_flag(generic, u"bool as is", bool_as_is_);
    profile.add_flag(udb_profile::mssql_settings, u"direct mode", direct_);
    profile.add_number(generic, u"encoding", encoding_);
    profile.add_number(generic, u"default encoding", default_encoding_);
    return profile.store(path);
}

bool tabrix_converter::load_profile(const std::filesystem::path& path) {
    udb_profile profile;
    if (!profile.load(path))
        return false;
    return load_profile(profile);
}

bool tabrix_converter::load_profile(const udb_profile& profile) {
    if (!udb_converter::load_profile(profile) || !mssql_converter_impl::load_profile(profile))
        return false;
    bool flag = false;
    if (profile.get_flag_only_one(generic, u"skip deleted", flag))
        set_skip_deleted(flag);
    profile.get_flag_only_one(generic, u"bool as is", bool_as_is_);
    profile.get_flag_only_one(udb_profile::mssql_settings, u"direct mode", direct_);
    // A code page this build cannot read with would turn every text into U+FFFD: such a value
    // is not taken (tabrix_read_profile warns about it).
    int64_t encoding = 0;
    if (profile.get_number(generic, u"encoding", encoding) && encoding >= 0 &&
        encoding <= UINT32_MAX &&
        (encoding == 0 || dbf_codepage_of_setting(uint32_t(encoding)) != 0))
        encoding_ = uint32_t(encoding);
    if (profile.get_number(generic, u"default encoding", encoding) && encoding > 0 &&
        encoding <= UINT32_MAX && dbf_codepage_of_setting(uint32_t(encoding)) != 0)
        default_encoding_ = dbf_codepage_of_setting(uint32_t(encoding));
    return true;
}

std::vector<std::u16string> tabrix_converter::get_all_tables() const {
    TK_TRACE(2, "tabrix_convertor::get_all_tables");
    dbf_database source(get_source_path(), true, 0);
    return source.get_table_names();
}

void tabrix_converter::on_run_started() {
    TK_TRACE(2, "tabrix_converter::operator()");
    totals_ = tabrix_run_totals{};
    working_script_.clear();
    direct_database_.clear();
    engine().set_unicode(dump_options().dmp_unicode);
    engine().set_indexes(!get_skip_indexes());
}

std::unique_ptr<udb_database> tabrix_converter::open_source() {
    return tabrix_counting_database(
        std::make_unique<dbf_database>(get_source_path(), true, encoding_, default_encoding_),
        totals_);
}

std::unique_ptr<udb_database> tabrix_converter::open_server_database() {
    mss_engine& server = engine();
    if (!server.connected())
        connect_mssql_server();
    const std::u16string& name = get_destination();
    if (name.empty())
        throw tk_exception("No database name was given.", tk_exception::stop_run);
    std::unique_ptr<mss_database> database;
    const bool exists = server.is_db_exist(name);
    if (exists && get_mode() == mode_overwrite_database) {
        // The whole database goes when the run starts, not before: until then the user may
        // still change the mode or stop.
        server.delete_db(name);
        database = server.create_db(name);
    } else if (exists) {
        database = server.open_db(name, mss_database::keep_existing);
    } else {
        database = server.create_db(name);
    }
    direct_database_ = name;
    const mss_database& stored = *database;
    return tabrix_counting_database(std::move(database), totals_,
                                    [&stored] { return stored.records_stored(); });
}

std::unique_ptr<udb_database> tabrix_converter::open_destination() {
    if (direct_)
        return open_server_database();
    mss_dump_options& options = dump_options();
    options.title = title();
    options.dmp_indexes = !get_skip_indexes();
    // The database block drops the whole database, which leaves no table to overwrite.
    options.existing = get_mode() == mode_skip_existing ? mss_dump_options::existing_table::skip
                       : get_mode() == mode_merge       ? mss_dump_options::existing_table::append
                                                        : mss_dump_options::existing_table::drop;
    std::unique_ptr<mss_dmp_database> script = sql_engine::create_dump(get_destination(), options);
    working_script_ = script->file().working_path();
    const mss_script_file& file = script->file();
    return tabrix_counting_database(std::move(script), totals_,
                                    [&file] { return file.records_on_disk(); });
}

void tabrix_converter::install_conversion_rules(udb_custom_conversion& rules) {
    if (bool_as_is_)
        rules.add_rule(std::make_unique<tabrix_bool_rule>());
}

std::unique_ptr<udb_validator>
tabrix_converter::make_table_name_validator(const std::vector<std::u16string>& selected,
                                            const std::vector<std::u16string>& names_in_use) {
    return std::make_unique<mss_tn_validator>(selected, names_in_use);
}
