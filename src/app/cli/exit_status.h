// The exit statuses of tabrix-cli, the same for every command and cause.
#pragma once

enum : int {
    exit_success = 0,
    exit_with_errors = 1, // finished, with errors; or nothing to do (no DBF tables)
    exit_stopped = 2,
    exit_cannot_connect = 3, // the server cannot be reached or refused the login
    exit_usage = 64, // the command line cannot be run as given (a name that is not there too)
};
