// What the databases and recordsets of one run take their facts from, handed to them when they
// are made: where failures are reported, the trace, the custom conversion rules and what the
// destination can hold. Per-value code reads these from its owner instead of asking for
// process-wide objects.
#pragma once

#include <cstdint>

class error_handler;
class tk_log;
class tk_utf8_tables;
class udb_custom_conversion;

// What the destination of the run can hold.
struct udb_target_facts {
    // Text as NVARCHAR and N'' literals.
    bool unicode = true;
    // The server's version code (mss_engine); 0 for a script.
    int32_t server_version = 0;
    // Separate DATE and TIME column types.
    bool date_types = false;
    // The destination writes text of single-byte code pages straight as UTF-8 (with the run's
    // utf8_tables): a source may hand such text on as its bytes (ole_variant::attach_narrow).
    bool narrow_text = false;
};

struct udb_run_context {
    // Where failures met while reading or writing are reported; null: nobody to ask.
    error_handler* errors = nullptr;
    // The trace log of the run; null when there is none.
    tk_log* trace = nullptr;
    // The rules of the run; null when there are none (the standard mappings apply).
    const udb_custom_conversion* rules = nullptr;
    udb_target_facts target{};
    // The UTF-8 tables of the single-byte code pages of the run's text, each made on first
    // use; the destination's thread uses them. Null when there are none.
    tk_utf8_tables* utf8_tables = nullptr;
};
