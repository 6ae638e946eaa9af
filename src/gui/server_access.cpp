#include "gui/server_access.h"

#include "app/tabrix_converter.h"

void converter_server_access::connect() {
    converter_.connect_mssql_server();
}

bool converter_server_access::database_exists(std::u16string_view name) {
    mss_engine& engine = converter_.engine();
    if (!engine.connected())
        converter_.connect_mssql_server();
    return engine.is_db_exist(name);
}
