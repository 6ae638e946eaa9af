// "tabrix-cli databases" and "tabrix-cli ping": a look at a server without converting.
#pragma once

#include "app/cli/exit_status.h"

// Lists the server's databases, one name a line. Exit status: 0, exit_cannot_connect, or
// exit_usage.
int databases_main(int argc, char** argv);
// Connects and prints the server's version and the driver used. Exit status 0 when
// connected, 1 otherwise (the reason on stderr), exit_usage for a bad command line.
int ping_main(int argc, char** argv);
