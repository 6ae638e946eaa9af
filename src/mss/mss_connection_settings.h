// Everything that says how to reach a SQL Server: one struct, so that the settings store,
// profiles, the command line and the wizard all fill the same thing.
#pragma once

#include <cstdint>
#include <string>

struct mss_connection_settings {
    // Whether the connection is encrypted. Microsoft's driver 18 encrypts by default and then
    // checks the server's certificate; its driver 17 and FreeTDS do not unless asked.
    enum class encryption { driver_default, on, off };

    std::u16string host;     // HOST[\INSTANCE][,PORT], as sqlcmd takes it
    std::u16string login;    // empty with integrated authentication
    std::u16string password; // never traced
    bool integrated = false; // Kerberos (Trusted_Connection=yes) instead of a login
    // Connect as the database owner: tables go under dbo whatever the login's default schema.
    bool as_dbo = false;
    // An ODBC driver by its registered name or the path of its library; empty: the first of
    // ODBC Driver 18, ODBC Driver 17 and FreeTDS that is installed.
    std::u16string driver;
    // A whole connection string, used as it stands instead of the fields above (the
    // database is added when one is opened).
    std::u16string connection_string;
    encryption encrypt = encryption::driver_default;
    bool trust_server_certificate = false;
    uint32_t login_timeout = 15; // seconds
};
