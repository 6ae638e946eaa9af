#include "app/cli/inspect_command.h"

#include "dbf/dbf_inspect.h"

#include <iostream>

int inspect_main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return dbf_inspect_main(argc, argv, std::cout, std::cerr);
}
