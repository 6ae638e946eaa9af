// tabrix-cli: the command-line program. Each command is a function of its own that gets the
// arguments from the command name on.
#include "app/cli/convert_command.h"
#include "app/cli/encodings_command.h"
#include "app/cli/folder_report_command.h"
#include "app/cli/sample_command.h"
#include "app/cli/server_commands.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr char usage_text[] =
    R"(Usage: tabrix-cli COMMAND [arguments]

Moves dBASE/FoxPro tables (.dbf with their memo files) into Microsoft SQL Server: straight
into a database on a server, or as a T-SQL script.

Commands:
  inspect PATH     show the tables of a folder (or one .dbf file): layout, code page,
                   records, memo file and fields, and with --limit or --json the records
  convert          convert a folder of DBF tables into a server database (--direct) or
                   one T-SQL script (--script)
  databases        list the databases of a server
  ping             connect to a server and show its version and the driver used
  sample FOLDER    write a folder of sample DBF tables to try the other commands on
  encodings        list the DBF language-driver bytes and code pages text is read in

Run 'tabrix-cli COMMAND --help' for the arguments of a command.
Options: -h, --help (this text), -V, --version (the program's version).
)";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage_text, stderr);
        return exit_usage;
    }
    const std::string_view command = argv[1];
    if (command == "convert")
        return convert_main(argc - 1, argv + 1);
    if (command == "inspect")
        return inspect_main(argc - 1, argv + 1);
    if (command == "sample")
        return sample_main(argc - 1, argv + 1);
    if (command == "encodings")
        return encodings_main(argc - 1, argv + 1);
    if (command == "databases")
        return databases_main(argc - 1, argv + 1);
    if (command == "ping")
        return ping_main(argc - 1, argv + 1);
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(usage_text, stdout);
        return exit_success;
    }
    if (command == "-V" || command == "--version") {
        std::fputs(cli_version_text().c_str(), stdout);
        return exit_success;
    }
    std::fprintf(stderr, "tabrix-cli: unknown command '%s'\n\n%s", argv[1], usage_text);
    return exit_usage;
}
