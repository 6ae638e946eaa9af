#include "mss/mss_server_errors.h"

#include "tk/tk_error_converter.h"
#include "tk/tk_text.h"

#include <algorithm>
#include <cctype>

namespace {

struct number_code {
    int32_t native;
    uint32_t code;   // the key of the product's message table
    bool add_server; // the server's text follows: it names the row, key or object
};

// Server error numbers and the message each one is reported with.
constexpr number_code numbers[] = {
    {18456, 0x80E4D, false}, // login failed
    {2714, 0x80E3F, true},   // there is already an object named ...
    {208, 0x80E37, true},    // invalid object name
    {2627, 0x80E2F, true},   // violation of a PRIMARY KEY or UNIQUE constraint
    {2601, 0x80E2F, true},   // duplicate key row in a unique index
    {547, 0x80E2F, true},    // conflict with a FOREIGN KEY or CHECK constraint
    {515, 0x80E2F, true},    // NULL into a column that does not allow it
    {229, 0x80E09, true},    // permission denied on an object
    {262, 0x80E09, true},    // permission denied in the database (CREATE TABLE ...)
    {1801, 0x80E17, true},   // database already exists
    {207, 0x80E55, true},    // invalid column name
    {1913, 0x80E34, true},   // an index of that name exists
    {8152, 0x80E57, true},   // string or binary data would be truncated
    {2628, 0x80E57, true},   // the same, naming table and column (2019 and later)
    {8115, 0x80E57, true},   // arithmetic overflow
    {220, 0x80E57, true},    // arithmetic overflow for a data type
    {241, 0x80E07, true},    // date or time from text failed
    {242, 0x80E07, true},    // date out of range
    {245, 0x80E07, true},    // conversion failed
    {8114, 0x80E07, true},   // error converting data type
};

bool contains_nocase(const std::string& text, std::string_view part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

} // namespace

mss_no_perm_exception::mss_no_perm_exception(std::u16string_view login,
                                             std::u16string_view database)
    : tk_exception("User '" + tk_to_utf8(login) +
                       "' does not have permission to access database '" + tk_to_utf8(database) +
                       "'",
                   tk_exception::stop_run) {}

std::string mss_server_message(const odb_exception& e) {
    const int32_t native = e.native_error();
    const std::string& server = e.server_text();
    for (const number_code& entry : numbers) {
        if (entry.native != native)
            continue;
        const std::string message = tk_error_converter(tk_odb_error_table()).convert(entry.code);
        if (message.empty())
            break;
        if (!entry.add_server || server.empty())
            return message;
        return message + "\n(" + server + ")";
    }
    return e.message();
}

tk_exception mss_server_error(const odb_exception& e, int32_t level) {
    return tk_exception(mss_server_message(e), level);
}

std::string mss_connect_message(const odb_exception& e, bool integrated) {
    std::string text = mss_server_message(e);
    bool certificate = false;
    bool no_driver = false;
    for (const odb_diagnostic& record : e.diagnostics()) {
        certificate = certificate || contains_nocase(record.text, "certificate");
        // IM002: no such data source or driver; IM003: the driver cannot be loaded; unixODBC
        // says "Can't open lib" for a driver library that is not there.
        no_driver = no_driver || record.sqlstate == "IM002" || record.sqlstate == "IM003" ||
                    contains_nocase(record.text, "Can't open lib");
    }
    if (certificate)
        text += "\nThe server's certificate is not trusted on this computer. Turn on \"trust "
                "server certificate\" (tabrix-cli: --trust-server-certificate) to accept it, or "
                "turn encryption off (--no-encrypt) if the server allows it.";
    if (no_driver)
        text += "\nThe ODBC driver could not be loaded: check the driver's name "
                "(odbcinst -q -d lists the installed ones) or install it.";
    // 18456 is the server's answer; anything else came before the server had one.
    if (integrated && !e.has_native(18456))
        text += "\nIntegrated (Kerberos) authentication needs a Kerberos ticket for your user "
                "(kinit) and a server and driver set up for it; otherwise log in with a SQL "
                "Server login (-U LOGIN).";
    return text;
}
