#include "app/cli/sample_command.h"

#include "app/cli/convert_command.h"
#include "app/tabrix_sample.h"
#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr char usage_text[] = R"(Usage: tabrix-cli sample FOLDER [--overwrite]

Writes a few DBF tables into FOLDER (created when missing) to try 'inspect' and 'convert' on:
customers and orders in the Windows Latin 1 code page, stock in Russian MS-DOS, with memo
fields, dates, decimals, logical values, empty values and one record marked as deleted.
When FOLDER holds files of those names (customers.dbf, orders.dbt, ...), nothing is written
unless --overwrite is given; other files are left alone.
)";

} // namespace

int sample_main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(usage_text, stdout);
        return exit_success;
    }
    const bool overwrite = argc == 3 && std::string_view(argv[2]) == "--overwrite";
    if ((argc != 2 && !overwrite) || argv[1][0] == '-') {
        std::fprintf(stderr, "tabrix-cli sample: give one folder\n\n%s", usage_text);
        return exit_usage;
    }
    try {
        for (const tabrix_sample_table& table : tabrix_write_sample(argv[1], overwrite))
            std::printf("%s/%s.dbf: %u records (%u marked as deleted)\n", argv[1],
                        tk_to_utf8_lossy(table.name).c_str(), table.records, table.deleted);
    } catch (const tabrix_sample_exists& e) {
        std::fprintf(stderr,
                     "tabrix-cli sample: %s; give --overwrite to replace the sample tables\n",
                     e.what());
        return exit_usage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tabrix-cli sample: %s\n", e.what());
        return exit_with_errors;
    }
    return exit_success;
}
