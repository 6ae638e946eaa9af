#include "gui/server_access.h"

#include "app/tabrix_converter.h"
#include "tk/tk_exception.h"

void converter_server_access::connect() {
    converter_.connect_mssql_server();
}

bool converter_server_access::database_exists(std::u16string_view) {
    // The engine of this build cannot look databases up; connecting says why first.
    converter_.connect_mssql_server();
    throw tk_exception("The server's databases cannot be listed by this build of Tabrix.",
                       tk_exception::stop_run);
}
