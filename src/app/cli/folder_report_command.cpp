#include "app/cli/folder_report_command.h"

#include "dbf/dbf_folder_report.h"

#include <iostream>

int inspect_main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return dbf_inspect_main(argc, argv, std::cout, std::cerr);
}
