#include "app/mssql_converter_impl.h"

#include "tk/tk_trace.h"
#include "udb/udb_settings.h"

mssql_converter_impl::mssql_converter_impl() = default;

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::connect_mssql_server(const udb_settings& settings) {
    TK_TRACE(2, "mssql_converter_impl::connect_mssql_server");
    engine_.set_as_dbo(settings.as_dbo);
    engine_.connect(connection(settings));
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
