// The one place where the sources and destinations of a run are made, by kind. A new kind of
// destination is a new enumerator and its case here; the run sees only udb_database.
#pragma once

#include "udb/udb_database.h"
#include "udb/udb_settings.h"

#include <memory>
#include <string>

class mss_database;
class mss_script_file;
class mssql_converter_impl;

enum class tabrix_source_kind { dbf_folder };
enum class tabrix_destination_kind { script, server };

// The destination the settings ask for: a server in direct mode, a script otherwise.
tabrix_destination_kind tabrix_destination_kind_of(const udb_settings& settings);

// The source of the settings, made with the run's context.
std::unique_ptr<udb_database> tabrix_open_source(tabrix_source_kind kind,
                                                 const udb_settings& settings,
                                                 const udb_run_context& context);

struct tabrix_destination {
    std::unique_ptr<udb_database> database;
    // The file a script destination writes; null for other kinds. Owned by `database`.
    const mss_script_file* script = nullptr;
    // The server database of a server destination; null for other kinds. It is `database`
    // or owned by it.
    const mss_database* server = nullptr;
};

// The destination of the settings, made with the run's context. A server destination
// connects `server` first when it is not connected, and opens the database (dropped first in
// mode 0, created when missing). `title` heads a script.
tabrix_destination tabrix_open_destination(tabrix_destination_kind kind,
                                           const udb_settings& settings,
                                           const udb_run_context& context,
                                           mssql_converter_impl& server, const std::string& title);
