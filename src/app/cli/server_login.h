// What the server commands of tabrix-cli share: the password of a login, and the answer to a
// server that cannot be reached.
#pragma once

#include "app/cli/convert_options.h"
#include "app/tabrix_converter.h"

#include <optional>
#include <string>

// The password of a SQL Server login, when the command line gave none: SQLCMDPASSWORD, then
// TABRIX_PASSWORD, then the one stored with the settings or the profile, then a prompt on the
// terminal (without echo). Nothing is asked with integrated authentication or without a
// login.
void cli_resolve_password(tabrix_converter& converter, bool password_given);

// Reads a line from the terminal without echoing it; nullopt when there is no terminal.
std::optional<std::string> cli_read_secret(const std::string& prompt);

// Connects the converter's engine; on failure prints "<command>: cannot connect to HOST:
// reason" on stderr and answers false.
bool cli_connect(tabrix_converter& converter, const char* command);
