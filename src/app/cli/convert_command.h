// "tabrix-cli convert": one conversion, unattended.
#pragma once

#include "app/cli/exit_status.h"

#include <string>

// argv[0] is "convert"; the options follow. Exit status: 0 converted without errors, 1
// finished with errors, 2 stopped, 64 usage error.
int convert_main(int argc, char** argv);

// "Tabrix 2.3", the maker and the support address, for --version.
std::string cli_version_text();
