#include "app/cli/encodings_command.h"

#include "app/cli/convert_command.h"
#include "dbf/dbf_codepages.h"
#include "tk/tk_text.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr char usage_text[] = R"(Usage: tabrix-cli encodings

Lists every DBF language-driver byte the program knows, with its code page and name. Where
an encoding is taken (--encoding, --default-encoding, 'encoding' and 'default encoding' in a
profile), give one of these bytes, a code page number or a code page name.
)";

} // namespace

int encodings_main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(usage_text, stdout);
        return exit_success;
    }
    if (argc != 1) {
        std::fprintf(stderr, "tabrix-cli encodings: takes no arguments\n\n%s", usage_text);
        return exit_usage;
    }
    std::printf("byte  code page  name\n");
    for (const dbf_codepage_entry& e : dbf_codepage_table()) {
        const std::string page = e.codepage == 0 ? "-" : std::to_string(e.codepage);
        std::printf("0x%02X  %-9s  %s\n", unsigned(e.language_driver), page.c_str(),
                    tk_to_utf8_lossy(e.name).c_str());
    }
    std::printf("\nAccepted wherever an encoding is taken: %s.\n",
                dbf_accepted_encodings().c_str());
    return exit_success;
}
