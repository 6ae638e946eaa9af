#include "app/mssql_converter_impl.h"

#include "tk/tk_trace.h"
#include "udb/udb_settings.h"

mssql_converter_impl::mssql_converter_impl() = default;

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::connect_mssql_server(const udb_settings& settings) {
    TK_TRACE(2, "mssql_converter_impl::connect_mssql_server");
    apply(settings);
    engine_.connect(connection(settings));
}

void mssql_converter_impl::apply(const udb_settings& settings) {
    engine_.set_as_dbo(settings.as_dbo);
    engine_.set_fast_load(settings.fast_load);
    engine_.set_batch_size(settings.batch_size > 0 ? settings.batch_size
                                                   : mss_engine::default_batch_size);
}

mss_connection_settings mssql_converter_impl::connection(const udb_settings& settings) {
    mss_connection_settings server;
    server.host = settings.host;
    server.login = settings.login;
    server.password = settings.password;
    server.integrated = settings.windows_auth;
    server.as_dbo = settings.as_dbo;
    server.driver = settings.driver;
    server.connection_string = settings.connection_string;
    server.encrypt = settings.encrypt == 1   ? mss_connection_settings::encryption::on
                     : settings.encrypt == 0 ? mss_connection_settings::encryption::off
                                             : mss_connection_settings::encryption::driver_default;
    server.trust_server_certificate = settings.trust_server_certificate;
    return server;
}
