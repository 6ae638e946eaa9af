// What the odb sources share of the ODBC headers: reading the diagnostics of a handle.
// Included by odb's own sources only; the ODBC headers define names (DWORD, BOOL) that the
// value layer defines too, so no header outside odb may see them.
#pragma once

#include "odb/odb_exception.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <string>
#include <string_view>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16");

inline const SQLWCHAR* odb_wide(std::u16string_view text) {
    return reinterpret_cast<const SQLWCHAR*>(text.data());
}
inline SQLWCHAR* odb_wide(char16_t* text) {
    return reinterpret_cast<SQLWCHAR*>(text);
}

inline bool odb_succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// SQLGetDiagRecW's signature: the manager's, or a driver's own (odb_bcp_api).
using odb_diag_reader = SQLRETURN (*)(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                      SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* text,
                                      SQLSMALLINT text_max, SQLSMALLINT* length);

// Every diagnostic record of the handle, in order.
std::vector<odb_diagnostic> odb_read_diagnostics(SQLSMALLINT type, SQLHANDLE handle,
                                                 odb_diag_reader read = SQLGetDiagRecW);

// Raises odb_exception with the handle's diagnostics unless `rc` is a success (SQL_NO_DATA
// counts as one where the caller allows it).
void odb_check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view operation,
               bool no_data_ok = false);
