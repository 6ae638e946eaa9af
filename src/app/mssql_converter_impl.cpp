#include "app/mssql_converter_impl.h"

#include "mss/mss_batch_settings.h"
#include "tk/tk_exception.h"
#include "tk/tk_trace.h"
#include "udb/udb_profile.h"

namespace {

constexpr std::u16string_view section = udb_profile::mssql_settings;

} // namespace

mssql_converter_impl::mssql_converter_impl() {
    // Windows (integrated) authentication and tables under [dbo], as the stored settings
    // default.
    server_.integrated = true;
    set_as_dbo(true);
}

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::connect_mssql_server() {
    TK_TRACE(2, "mssql_converter_impl::connect_mssql_server");
    engine_.connect(server_);
}

void mssql_converter_impl::set_as_dbo(bool on) {
    TK_TRACE(2, "mss_engine::set_as_dbo(%d)", int(on));
    server_.as_dbo = on;
    engine_.set_as_dbo(on);
}

bool mssql_converter_impl::store_profile(udb_profile& profile) const {
    if (!server_.host.empty())
        profile.add_value(section, u"server", server_.host);
    if (!server_.login.empty())
        profile.add_value(section, u"login", server_.login);
    if (!server_.password.empty()) {
        profile.add_value(section, u"password", server_.password);
        profile.mark_private();
    }
    profile.add_flag(section, u"windows authentication", server_.integrated);
    profile.add_flag(section, u"connect as DBO", get_as_dbo());
    if (!server_.driver.empty())
        profile.add_value(section, u"driver", server_.driver);
    if (!server_.connection_string.empty()) {
        // It may hold a password.
        profile.add_value(section, u"connection string", server_.connection_string);
        profile.mark_private();
    }
    // The keys beyond the classic ones are written only when they differ from the default,
    // so that a profile of the classic settings keeps its classic layout.
    if (server_.trust_server_certificate)
        profile.add_flag(section, u"trust server certificate", true);
    if (server_.encrypt != mss_connection_settings::encryption::driver_default)
        profile.add_flag(section, u"encrypt",
                         server_.encrypt == mss_connection_settings::encryption::on);
    if (!get_fast_load())
        profile.add_flag(section, u"fast load", false);
    if (get_batch_size() != mss_engine::default_batch_size)
        profile.add_number(section, u"batch size", get_batch_size());
    profile.add_flag(section, u"dump insert comments", dump_options_.dmp_ins_com);
    profile.add_flag(section, u"dump create database", dump_options_.dmp_ins_db);
    profile.add_flag(section, u"dump create table", dump_options_.dmp_ins_tab);
    for (const mss_batch_setting& setting : mss_batch_settings)
        profile.add_number(section, setting.profile_key, dump_options_.*setting.member);
    return true;
}

bool mssql_converter_impl::load_profile(const udb_profile& profile) {
    profile.get_text(section, u"server", server_.host);
    profile.get_text(section, u"login", server_.login);
    profile.get_text(section, u"password", server_.password);
    profile.get_flag_only_one(section, u"windows authentication", server_.integrated);
    bool as_dbo = false;
    if (profile.get_flag_only_one(section, u"connect as DBO", as_dbo))
        set_as_dbo(as_dbo);
    profile.get_text(section, u"driver", server_.driver);
    profile.get_text(section, u"connection string", server_.connection_string);
    profile.get_flag_only_one(section, u"trust server certificate",
                              server_.trust_server_certificate);
    bool encrypt = false;
    if (profile.get_flag_only_one(section, u"encrypt", encrypt))
        server_.encrypt = encrypt ? mss_connection_settings::encryption::on
                                  : mss_connection_settings::encryption::off;
    bool fast_load = true;
    if (profile.get_flag_only_one(section, u"fast load", fast_load))
        set_fast_load(fast_load);
    int64_t batch_size = 0;
    if (profile.get_number(section, u"batch size", batch_size))
        set_batch_size(batch_size > 0 && batch_size <= 1000000000 ? uint32_t(batch_size) : 0);
    profile.get_flag_only_one(section, u"dump insert comments", dump_options_.dmp_ins_com);
    profile.get_flag_only_one(section, u"dump create database", dump_options_.dmp_ins_db);
    profile.get_flag_only_one(section, u"dump create table", dump_options_.dmp_ins_tab);
    for (const mss_batch_setting& setting : mss_batch_settings) {
        int64_t value = 0;
        if (profile.get_number(section, setting.profile_key, value) && value >= 0 &&
            value <= int64_t(setting.max))
            dump_options_.*setting.member = uint32_t(value);
    }
    return true;
}
