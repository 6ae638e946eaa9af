#include "mss/sql_engine.h"

#include "tk/tk_trace.h"

std::unique_ptr<mss_dmp_database> sql_engine::create_dump(std::u16string_view path,
                                                          const mss_dump_options& options) {
    TK_TRACE(2, "sql_engine::create_dump (%s)", tk_trace_text(path).c_str());
    TK_TRACE(3, "Creating MS SQL dump file '%s'", tk_trace_text(path).c_str());
    return std::make_unique<mss_dmp_database>(std::u16string(path), options);
}
