// The script-mode counterpart of creating a database on a server.
#pragma once

#include "mss/mss_dmp_database.h"
#include "mss/mss_dump_options.h"

#include <memory>
#include <string_view>

struct sql_engine {
    // A new script for `path` with its head written; the caller owns it, calls finish() (or
    // abandon()) at the end of the run and then destroys it. A file that cannot be
    // created raises tk_exception of level 1.
    static std::unique_ptr<mss_dmp_database> create_dump(std::u16string_view path,
                                                         const mss_dump_options& options);
};
