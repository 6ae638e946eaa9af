// What a user reads when the server refuses something: the product's message for the
// server's error number where there is one, the server's own text otherwise.
#pragma once

#include "odb/odb_exception.h"
#include "tk/tk_exception.h"

#include <string>

// Connecting failed: the server cannot be reached, or it refused the login. The command line
// gives it an exit status of its own.
class mss_connect_exception : public tk_exception {
public:
    using tk_exception::tk_exception;
};

// A listed database that the login may not open.
class mss_no_perm_exception : public tk_exception {
public:
    mss_no_perm_exception(std::u16string_view login, std::u16string_view database);
};

// The text for a server error: the product's message for its number (login failed 18456,
// object exists 2714, no such object 208, key and constraint violations 2627, 2601, 547, 515,
// permission denied, conversion and overflow errors), followed by the server's own text where
// the message alone would not say which row or object; the server's text alone for every other
// number.
std::string mss_server_message(const odb_exception& e);

// The exception to raise for a server error, at `level`, with mss_server_message's text.
tk_exception mss_server_error(const odb_exception& e, int32_t level = tk_exception::recoverable);

// The text for a failed connection, with a hint when the server's certificate was refused
// (Microsoft's driver 18 checks it by default), the driver could not be loaded, or
// `integrated` (Kerberos) authentication failed.
std::string mss_connect_message(const odb_exception& e, bool integrated = false);
