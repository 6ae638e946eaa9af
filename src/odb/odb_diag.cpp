#include "odb/odb_diag.h"

#include "tk/tk_text.h"
#include "tk/tk_trace.h"

std::vector<odb_diagnostic> odb_read_diagnostics(SQLSMALLINT type, SQLHANDLE handle,
                                                 odb_diag_reader read) {
    std::vector<odb_diagnostic> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::u16string text(1024, u'\0');
        SQLSMALLINT length = 0;
        SQLRETURN rc = read(type, handle, i, state, &native, odb_wide(text.data()),
                            SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
            text.assign(size_t(length) + 1, u'\0');
            rc = read(type, handle, i, state, &native, odb_wide(text.data()),
                      SQLSMALLINT(text.size()), &length);
        }
        if (!odb_succeeded(rc))
            break;
        text.resize(std::min<size_t>(size_t(std::max<SQLSMALLINT>(length, 0)), text.size()));
        odb_diagnostic record;
        for (SQLWCHAR c : state)
            if (c != 0)
                record.sqlstate.push_back(char(c));
        record.native = native;
        record.text = odb_strip_vendor_prefix(tk_to_utf8_lossy(text));
        TK_TRACE(3, "SQLSTATE %s, native error %d: %s", record.sqlstate.c_str(), int(native),
                 record.text.c_str());
        records.push_back(std::move(record));
    }
    return records;
}

void odb_check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view operation,
               bool no_data_ok) {
    if (odb_succeeded(rc) || (no_data_ok && rc == SQL_NO_DATA))
        return;
    TK_TRACE(3, "%.*s returned %d", int(operation.size()), operation.data(), int(rc));
    throw odb_exception(operation, odb_read_diagnostics(type, handle));
}
