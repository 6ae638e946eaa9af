#include "app/cli/server_login.h"

#include "tk/tk_exception.h"
#include "tk/tk_text.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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
    udb_settings& s = converter.settings();
    if (password_given || s.windows_auth || s.login.empty() || !s.connection_string.empty())
        return;
    for (const char* name : {"SQLCMDPASSWORD", "TABRIX_PASSWORD"}) {
        if (const char* value = std::getenv(name)) {
            s.password = tk_from_utf8(value);
            return;
        }
    }
    if (!s.password.empty())
        return;
    const std::string prompt =
        "Password for " + tk_to_utf8_lossy(s.login) + " on " + tk_to_utf8_lossy(s.host) + ": ";
    if (std::optional<std::string> secret = cli_read_secret(prompt))
        s.password = tk_from_utf8(*secret);
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
        const udb_settings& s = converter.settings();
        const std::u16string& host = s.host.empty() ? s.connection_string : s.host;
        std::fprintf(stderr, "%s: cannot connect to %s: %s\n", command,
                     tk_to_utf8_lossy(host).c_str(), reason.c_str());
        return false;
    }
}
