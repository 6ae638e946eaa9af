#include "mss/mss_connection_string.h"

#include "tk/tk_exception.h"
#include "tk/tk_locale.h"
#include "tk/tk_text.h"

namespace {

constexpr std::u16string_view driver18 = u"ODBC Driver 18 for SQL Server";
constexpr std::u16string_view driver17 = u"ODBC Driver 17 for SQL Server";

bool contains_nocase(std::u16string_view text, std::u16string_view part) {
    if (part.size() > text.size())
        return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (tk_equal_nocase(text.substr(i, part.size()), part))
            return true;
    return false;
}

mss_driver describe(std::u16string name) {
    mss_driver driver;
    driver.native = contains_nocase(name, u"ODBC Driver 17") ||
                    contains_nocase(name, u"ODBC Driver 18") || contains_nocase(name, u"msodbcsql");
    driver.freetds = contains_nocase(name, u"FreeTDS") || contains_nocase(name, u"libtdsodbc");
    driver.name = std::move(name);
    return driver;
}

// The value of "Driver=" in a connection string, as written (without braces).
std::u16string driver_of(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const size_t eq = text.find(u'=', i);
        if (eq == std::u16string_view::npos)
            break;
        std::u16string_view key = text.substr(i, eq - i);
        while (!key.empty() && key.front() == u' ')
            key.remove_prefix(1);
        size_t end;
        std::u16string value;
        if (eq + 1 < text.size() && text[eq + 1] == u'{') {
            end = eq + 2;
            while (end < text.size()) {
                if (text[end] == u'}') {
                    if (end + 1 < text.size() && text[end + 1] == u'}') {
                        value.push_back(u'}');
                        end += 2;
                        continue;
                    }
                    break;
                }
                value.push_back(text[end++]);
            }
            end = text.find(u';', end);
        } else {
            end = text.find(u';', eq);
            value = text.substr(eq + 1,
                                (end == std::u16string_view::npos ? text.size() : end) - eq - 1);
        }
        if (tk_equal_nocase(key, u"Driver"))
            return value;
        if (end == std::u16string_view::npos)
            break;
        i = end + 1;
    }
    return {};
}

void add(std::u16string& out, std::u16string_view key, std::u16string_view value,
         const mss_driver& driver, const char* setting) {
    if (driver.freetds && value.find(u'}') != std::u16string_view::npos)
        throw tk_exception(std::string("The ") + setting +
                               " holds a '}', which the FreeTDS driver cannot take in a "
                               "connection string. Use Microsoft's ODBC Driver 18 or 17 for SQL "
                               "Server, or change the " +
                               setting + ".",
                           tk_exception::stop_run);
    out += key;
    out += u'=';
    out += mss_odbc_braced(value);
    out += u';';
}

bool is_digits(std::u16string_view text) {
    if (text.empty())
        return false;
    for (char16_t c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

mss_server_address mss_parse_server_address(std::u16string_view text) {
    mss_server_address address;
    std::u16string_view rest = text;
    const size_t comma = rest.rfind(u',');
    if (comma != std::u16string_view::npos) {
        address.port = std::u16string(rest.substr(comma + 1));
        rest = rest.substr(0, comma);
        if (!is_digits(address.port) || address.port.size() > 5 ||
            std::stoul(tk_to_utf8(address.port)) == 0 ||
            std::stoul(tk_to_utf8(address.port)) > 65535)
            throw tk_exception("The server '" + tk_to_utf8(text) + "' names the port '" +
                                   tk_to_utf8(address.port) +
                                   "', which is not a number from 1 to 65535.",
                               tk_exception::stop_run);
    }
    const size_t slash = rest.find(u'\\');
    if (slash != std::u16string_view::npos) {
        address.instance = std::u16string(rest.substr(slash + 1));
        rest = rest.substr(0, slash);
    }
    address.host = std::u16string(rest);
    if (address.host.empty())
        throw tk_exception("No server was given: name it as HOST, HOST\\INSTANCE or HOST,PORT.",
                           tk_exception::stop_run);
    return address;
}

mss_driver mss_choose_driver(const mss_connection_settings& settings,
                             const std::vector<std::u16string>& installed, bool freetds_present) {
    if (!settings.connection_string.empty())
        return describe(driver_of(settings.connection_string));
    if (!settings.driver.empty())
        return describe(settings.driver);
    for (std::u16string_view wanted : {driver18, driver17, std::u16string_view(u"FreeTDS")}) {
        for (const std::u16string& name : installed)
            if (tk_equal_nocase(name, wanted))
                return describe(name);
    }
    if (freetds_present)
        return describe(std::u16string(mss_freetds_library));
    throw tk_exception("No ODBC driver for SQL Server is installed. Install Microsoft's ODBC "
                       "Driver 18 for SQL Server, or FreeTDS (Debian: apt-get install tdsodbc).",
                       tk_exception::stop_run);
}

std::u16string mss_odbc_braced(std::u16string_view value) {
    std::u16string out = u"{";
    for (char16_t c : value) {
        out.push_back(c);
        if (c == u'}')
            out.push_back(u'}');
    }
    out.push_back(u'}');
    return out;
}

std::u16string mss_build_connection_string(const mss_connection_settings& settings,
                                           const mss_driver& driver, std::u16string_view database) {
    std::u16string out;
    if (!settings.connection_string.empty()) {
        out = settings.connection_string;
        if (!out.empty() && out.back() != u';')
            out.push_back(u';');
        if (!database.empty())
            add(out, u"Database", database, driver, "database name");
        return out;
    }
    add(out, u"Driver", driver.name, driver, "driver name");
    const mss_server_address address = mss_parse_server_address(settings.host);
    std::u16string server = address.host;
    if (!address.instance.empty())
        server += u"\\" + address.instance;
    if (driver.freetds) {
        add(out, u"Server", server, driver, "server name");
        if (!address.port.empty())
            add(out, u"Port", address.port, driver, "server name");
        // TDS 7.4 carries the date, time and datetime2 types; text travels as UTF-8 between
        // the driver and this program whatever the system's locale.
        out += u"TDS_Version=7.4;ClientCharset=UTF-8;";
    } else {
        if (!address.port.empty())
            server += u"," + address.port;
        add(out, u"Server", server, driver, "server name");
    }
    if (settings.integrated) {
        out += u"Trusted_Connection=yes;";
    } else {
        add(out, u"UID", settings.login, driver, "login");
        add(out, u"PWD", settings.password, driver, "password");
    }
    if (!database.empty())
        add(out, u"Database", database, driver, "database name");
    if (driver.freetds) {
        if (settings.encrypt == mss_connection_settings::encryption::on)
            out += u"Encryption=require;";
        else if (settings.encrypt == mss_connection_settings::encryption::off)
            out += u"Encryption=off;";
    } else {
        if (settings.encrypt == mss_connection_settings::encryption::on)
            out += u"Encrypt=yes;";
        else if (settings.encrypt == mss_connection_settings::encryption::off)
            out += u"Encrypt=no;";
        if (settings.trust_server_certificate)
            out += u"TrustServerCertificate=yes;";
    }
    out += u"APP={Tabrix};";
    return out;
}
