#include "app/cli/server_commands.h"

#include "app/cli/convert_options.h"
#include "app/cli/server_login.h"
#include "app/tabrix_converter.h"
#include "tk/tk_error_handler.h"
#include "tk/tk_text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* help_text(const std::string& command) {
    if (command == "ping")
        return R"(Usage: tabrix-cli ping -S HOST[\INSTANCE][,PORT] (-U LOGIN | -E) [options]

Connects to a SQL Server and prints its version and the ODBC driver used.

  -S, --server HOST        the server: HOST, HOST\INSTANCE or HOST,PORT
  -U, --login LOGIN        a SQL Server login; the password is asked on the terminal unless
                           SQLCMDPASSWORD or TABRIX_PASSWORD holds it
  -P, --password TEXT      the password (visible to other users of this computer: prefer the
                           prompt or the environment)
  -E, --windows-auth       integrated (Kerberos) authentication instead of a login
      --driver NAME        an ODBC driver by name or library path (default: ODBC Driver 18,
                           then 17, then FreeTDS)
      --connection-string TEXT
                           a whole ODBC connection string instead of the options above
      --trust-server-certificate
                           accept the server's certificate without checking it
      --encrypt, --no-encrypt
                           encrypt the connection, or not (default: the driver's)
      --no-stored-settings ignore the server settings stored by earlier runs
A profile (PROFILE.tbx) may give the server settings instead.

Exit status: 0 connected, 1 not (the reason on stderr), 64 usage error.
)";
    return R"(Usage: tabrix-cli databases -S HOST[\INSTANCE][,PORT] (-U LOGIN | -E) [options]

Lists the databases of a SQL Server, one name a line. The options are those of
'tabrix-cli ping' (see 'tabrix-cli ping --help').

Exit status: 0 listed, 3 cannot connect, 64 usage error.
)";
}

// Parses the command line (convert's grammar, server options only) into the converter.
// Returns the exit status to end with, or -1 to go on.
int prepare(const std::string& command, int argc, char** argv, tabrix_converter& converter) {
    const std::string name = "tabrix-cli " + command;
    convert_command_line cl;
    try {
        cl = parse_convert_command_line(std::vector<std::string>(argv + 1, argv + argc));
        const convert_settings_patch& s = cl.settings;
        if (s.has(&udb_settings::source) || s.has(&udb_settings::destination) || s.tables ||
            s.has(&udb_settings::mode))
            throw convert_usage_error("only the server options can be given");
        if (cl.help) {
            std::fputs(help_text(command), stdout);
            return exit_success;
        }
        if (cl.read_settings)
            converter.serialize(false);
        if (cl.profile && !converter.load_profile(std::filesystem::path(*cl.profile)))
            throw convert_usage_error("cannot read the profile '" + *cl.profile + "'");
        s.apply_to(converter.settings());
        const udb_settings& server = converter.settings();
        if (server.host.empty() && server.connection_string.empty())
            throw convert_usage_error("no server: give -S HOST");
        if (!server.windows_auth && server.login.empty() && server.connection_string.empty())
            throw convert_usage_error("give a login (-U LOGIN) or -E for integrated "
                                      "authentication");
        cli_resolve_password(converter, s.has(&udb_settings::password));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", name.c_str(),
                     e.what(), name.c_str());
        return exit_usage;
    }
    return -1;
}

} // namespace

int databases_main(int argc, char** argv) {
    error_handler handler(tk_odb_error_table());
    tabrix_converter converter;
    if (const int status = prepare("databases", argc, argv, converter); status >= 0)
        return status;
    if (!cli_connect(converter, "tabrix-cli databases"))
        return exit_cannot_connect;
    try {
        for (const std::u16string& name : converter.engine().get_contents())
            std::printf("%s\n", tk_to_utf8_lossy(name).c_str());
    } catch (const tk_exception& e) {
        std::fprintf(stderr, "tabrix-cli databases: %s\n", e.what());
        return exit_with_errors;
    }
    return exit_success;
}

int ping_main(int argc, char** argv) {
    error_handler handler(tk_odb_error_table());
    tabrix_converter converter;
    if (const int status = prepare("ping", argc, argv, converter); status >= 0)
        return status;
    if (!cli_connect(converter, "tabrix-cli ping"))
        return exit_with_errors;
    const mss_engine& engine = converter.engine();
    std::printf("Connected to %s\n", tk_to_utf8_lossy(converter.settings().host).c_str());
    std::printf("Server: %s\n", tk_to_utf8_lossy(engine.banner()).c_str());
    std::printf("Driver: %s\n", tk_to_utf8_lossy(engine.driver().name).c_str());
    return exit_success;
}
