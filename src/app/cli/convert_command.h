// "tabrix-cli convert": one conversion, unattended.
#pragma once

#include <string>

// argv[0] is "convert"; the options follow. Exit status: 0 converted without errors, 1
// finished with errors, 2 stopped, 64 usage error.
int convert_main(int argc, char** argv);

// "Tabrix 2.3", the maker and the support address, for --version.
std::string cli_version_text();

enum : int {
    exit_success = 0,
    exit_with_errors = 1,
    exit_stopped = 2,
    exit_usage = 64,
};
