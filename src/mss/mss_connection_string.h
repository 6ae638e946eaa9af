// ODBC connection strings for SQL Server.
//
// Every value is written in braces, "}" doubled inside: a value with ";" or "=" (a password)
// is otherwise read as further attributes, so that "PWD=x;PORT=1" would send the driver to
// another port.
#pragma once

#include "mss/mss_connection_settings.h"

#include <string>
#include <string_view>
#include <vector>

// HOST[\INSTANCE][,PORT] taken apart.
struct mss_server_address {
    std::u16string host;
    std::u16string instance; // empty for the default instance
    std::u16string port;     // digits; empty for the driver's default (1433, or the browser)
};

// Parses the address; raises tk_exception (level 1) for an empty host or a port that is not
// a number from 1 to 65535.
mss_server_address mss_parse_server_address(std::u16string_view text);

// The driver a connection goes through.
struct mss_driver {
    std::u16string name; // as it stands after "Driver=": a registered name or a library path
    // Microsoft's ODBC Driver 17 or 18: the driver the separate date and time types and the
    // encryption settings are known for.
    bool native = false;
    bool freetds = false;
};

inline constexpr std::u16string_view mss_freetds_library =
    u"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";

// The driver of the settings: the one named, or the first installed of "ODBC Driver 18 for
// SQL Server", "ODBC Driver 17 for SQL Server" and FreeTDS (registered as "FreeTDS", or its
// library at mss_freetds_library). `installed`: the driver manager's registered names.
// `freetds_present`: whether the FreeTDS library exists. Raises tk_exception (level 1) when
// none is there.
mss_driver mss_choose_driver(const mss_connection_settings& settings,
                             const std::vector<std::u16string>& installed, bool freetds_present);

// "{" + value + "}" with every "}" doubled.
std::u16string mss_odbc_braced(std::u16string_view value);

// The connection string for the settings through `driver`, opening `database` (none when
// empty). FreeTDS reads a value up to its first "}", so a value holding one is refused with a
// tk_exception (level 1) that says which setting and what to do.
std::u16string mss_build_connection_string(const mss_connection_settings& settings,
                                           const mss_driver& driver, std::u16string_view database);
