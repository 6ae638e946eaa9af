#include "app/mssql_converter_impl.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"
#include "udb/udb_settings.h"

mssql_converter_impl::mssql_converter_impl() = default;

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::connect_mssql_server(const udb_settings& settings) {
    TK_TRACE(2, "mssql_converter_impl::connect_mssql_server");
    engine_.set_as_dbo(settings.as_dbo);
    throw tk_exception("Direct mode needs a connection to MS SQL Server, which this build of "
                       "Tabrix does not have. Write a T-SQL script instead.",
                       tk_exception::stop_run);
}
