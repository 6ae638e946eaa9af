#include "app/tabrix_databases.h"

#include "app/mssql_converter_impl.h"
#include "dbf/dbf_database.h"
#include "mss/mss_database.h"
#include "mss/sql_engine.h"
#include "tk/tk_exception.h"

namespace {

mss_dump_options script_options(const udb_settings& s, const std::string& title) {
    mss_dump_options options;
    options.dmp_unicode = s.dmp_unicode;
    options.dmp_ins_com = s.dmp_ins_com;
    options.dmp_ins_db = s.dmp_ins_db;
    options.dmp_ins_tab = s.dmp_ins_tab;
    options.rows_per_insert = s.rows_per_insert;
    options.rows_per_batch = s.rows_per_batch;
    options.title = title;
    options.dmp_indexes = !s.skip_indexes;
    // The database block drops the whole database, which leaves no table to overwrite.
    options.existing = s.mode == udb_mode::skip_existing ? mss_dump_options::existing_table::skip
                       : s.mode == udb_mode::merge       ? mss_dump_options::existing_table::append
                                                         : mss_dump_options::existing_table::drop;
    return options;
}

tabrix_destination open_server(const udb_settings& settings, const udb_run_context& context,
                               mssql_converter_impl& server) {
    mss_engine& engine = server.engine();
    if (!engine.connected())
        server.connect_mssql_server(settings);
    const std::u16string& name = settings.destination;
    if (name.empty())
        throw tk_exception("No database name was given.", tk_exception::stop_run);
    std::unique_ptr<mss_database> database;
    const bool exists = engine.is_db_exist(name);
    if (exists && settings.mode == udb_mode::overwrite_database) {
        // The whole database goes when the run starts, not before: until then the user may
        // still change the mode or stop.
        engine.delete_db(name);
        database = engine.create_db(name);
    } else if (exists) {
        database = engine.open_db(name, mss_database::keep_existing);
    } else {
        database = engine.create_db(name);
    }
    database->set_context(context);
    const mss_database* stored = database.get();
    return {std::move(database), nullptr, stored};
}

} // namespace

tabrix_destination_kind tabrix_destination_kind_of(const udb_settings& settings) {
    return settings.direct ? tabrix_destination_kind::server : tabrix_destination_kind::script;
}

std::unique_ptr<udb_database> tabrix_open_source(tabrix_source_kind kind,
                                                 const udb_settings& settings,
                                                 const udb_run_context& context) {
    switch (kind) {
    case tabrix_source_kind::dbf_folder:
        break;
    }
    auto source = std::make_unique<dbf_database>(settings.source, true, settings.encoding,
                                                 settings.default_encoding);
    source->set_context(context);
    return source;
}

tabrix_destination tabrix_open_destination(tabrix_destination_kind kind,
                                           const udb_settings& settings,
                                           const udb_run_context& context,
                                           mssql_converter_impl& server, const std::string& title) {
    switch (kind) {
    case tabrix_destination_kind::server:
        return open_server(settings, context, server);
    case tabrix_destination_kind::script:
        break;
    }
    std::unique_ptr<mss_dmp_database> script =
        sql_engine::create_dump(settings.destination, script_options(settings, title));
    script->set_context(context);
    const mss_script_file* file = &script->file();
    return {std::move(script), file};
}
