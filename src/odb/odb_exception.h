// A failed ODBC call, with every diagnostic record the driver gave for it.
//
// SQL Server sends several records for one failure (an informational "changed database
// context" line, then the error, then "statement has been terminated"); the record that tells
// what went wrong is the first one that is not a warning and carries a native error number.
#pragma once

#include "tk/tk_exception.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One record of SQLGetDiagRecW.
struct odb_diagnostic {
    std::string sqlstate; // five characters: class (2) and subclass (3)
    int32_t native = 0;   // the server's or driver's own error number
    std::string text;     // UTF-8, without the "[vendor][driver]" prefixes
};

class odb_exception : public tk_exception {
public:
    // `operation` names the call that failed ("SQLDriverConnectW"); it stands in the message
    // only when the driver gave no text.
    odb_exception(std::string_view operation, std::vector<odb_diagnostic> diagnostics,
                  int32_t level = recoverable);

    const std::vector<odb_diagnostic>& diagnostics() const noexcept { return diagnostics_; }
    // The record that tells what went wrong (see above); an empty record when there is none.
    const odb_diagnostic& primary() const noexcept;
    int32_t native_error() const noexcept { return primary().native; }
    const std::string& sqlstate() const noexcept { return primary().sqlstate; }
    // The server's own text of the primary record.
    const std::string& server_text() const noexcept { return primary().text; }
    // Whether any record says the connection is gone (SQLSTATE class 08, or a driver's
    // communication-link failure): what follows on this connection cannot succeed.
    bool connection_lost() const noexcept;
    // Whether any record carries this native error number.
    bool has_native(int32_t number) const noexcept;

private:
    std::vector<odb_diagnostic> diagnostics_;
    size_t primary_ = 0;
};

// The driver's text without its leading "[unixODBC][FreeTDS][SQL Server]" bracket groups.
std::string odb_strip_vendor_prefix(std::string_view text);
