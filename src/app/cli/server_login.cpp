#include "app/cli/server_login.h"

#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::u16string widen(const std::string& text) {
    try {
        return tk_from_ansi(text);
    } catch (const tk_exception&) {
        throw convert_usage_error("'" + text + "' is not text in this system's character set");
    }
}

} // namespace

void cli_apply_server_options(const convert_settings_patch& p, tabrix_converter& c) {
    if (p.host)
        c.set_host(widen(*p.host));
    if (p.login)
        c.set_login(widen(*p.login));
    if (p.password)
        c.set_password(widen(*p.password));
    if (p.windows_auth)
        c.set_windows_auth(*p.windows_auth);
    if (p.as_dbo)
        c.set_as_dbo(*p.as_dbo);
    if (p.fast_load)
        c.set_fast_load(*p.fast_load);
    if (p.batch_size)
        c.set_batch_size(*p.batch_size);
    mss_connection_settings& server = c.server();
    if (p.driver)
        server.driver = widen(*p.driver);
    if (p.connection_string)
        server.connection_string = widen(*p.connection_string);
    if (p.trust_server_certificate)
        server.trust_server_certificate = *p.trust_server_certificate;
    if (p.encrypt)
        server.encrypt = *p.encrypt ? mss_connection_settings::encryption::on
                                    : mss_connection_settings::encryption::off;
}

std::optional<std::string> cli_read_secret(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios saved{};
    const bool terminal = ::tcgetattr(fd, &saved) == 0;
    if (!terminal) {
        ::close(fd);
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    (void)!::write(fd, prompt.data(), prompt.size());
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line.push_back(c);
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    (void)!::write(fd, "\n", 1);
    ::close(fd);
    return line;
}

void cli_resolve_password(tabrix_converter& converter, bool password_given) {
    if (password_given || converter.get_windows_auth() || converter.get_login().empty() ||
        !converter.server().connection_string.empty())
        return;
    for (const char* name : {"SQLCMDPASSWORD", "TABRIX_PASSWORD"}) {
        if (const char* value = std::getenv(name)) {
            converter.set_password(tk_from_utf8(value));
            return;
        }
    }
    if (!converter.get_password().empty())
        return;
    const std::string prompt = "Password for " + tk_to_utf8_lossy(converter.get_login()) + " on " +
                               tk_to_utf8_lossy(converter.get_host()) + ": ";
    if (std::optional<std::string> secret = cli_read_secret(prompt))
        converter.set_password(tk_from_utf8(*secret));
}

bool cli_connect(tabrix_converter& converter, const char* command) {
    try {
        converter.connect_mssql_server();
        return true;
    } catch (const tk_exception& e) {
        std::string reason = e.what();
        for (char& c : reason)
            if (c == '\n')
                c = ' ';
        const std::u16string& host = converter.get_host().empty()
                                         ? converter.server().connection_string
                                         : converter.get_host();
        std::fprintf(stderr, "%s: cannot connect to %s: %s\n", command,
                     tk_to_utf8_lossy(host).c_str(), reason.c_str());
        return false;
    }
}
