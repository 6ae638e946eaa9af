// The one object that knows the MS SQL server the user works with.
//
// This is the part a script needs without a server: the Unicode flag (NVARCHAR columns and
// N'' literals), the server's version code read from its banner, the login that decides the
// owner of plain table names, and the owner-qualified safe table name. Connecting, listing and
// opening databases belong to the direct mode and build on these fields.
#pragma once

#include "tk/tk_singleton.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class mss_engine : public tk_singleton<mss_engine> {
public:
    // Version codes: 2000 or later is >= v2000, 2008 or later (separate date and time column
    // types) is >= v2008, Azure SQL Database is azure.
    enum : int32_t {
        v_unknown = 1,
        v7 = 2,
        v2000 = 3,
        v2005 = 4,
        v2008 = 5,
        v2017 = 13,
        azure = 100,
    };

    mss_engine();
    ~mss_engine();

    // The version code of a "SELECT @@VERSION" banner.
    static int32_t version_code(std::u16string_view banner);

    // Owner-qualified, bracketed table name: "[owner].[table]" for a name that carries an
    // owner; otherwise "[dbo]." (or "[login]." for a login other than sa while connecting as
    // database owner is off) followed by the bracketed name.
    std::u16string get_safe_tname(std::u16string_view name) const;

    bool unicode() const noexcept { return unicode_; }
    void set_unicode(bool on) noexcept { unicode_ = on; }

    int32_t version() const noexcept { return version_; }
    bool connected() const noexcept { return connected_; }
    bool native_client() const noexcept { return native_client_; }
    bool fast_load() const noexcept { return fast_load_; }
    // Separate DATE and TIME column types: 2008 or later over a native-client provider.
    bool has_date_types() const noexcept {
        return connected_ && version_ >= v2008 && native_client_;
    }

    const std::u16string& host() const noexcept { return host_; }
    const std::u16string& login() const noexcept { return login_; }
    void set_as_dbo(bool on) noexcept { as_dbo_ = on; }
    bool as_dbo() const noexcept { return as_dbo_; }

protected:
    int32_t version_ = 0;
    std::u16string host_;
    std::u16string login_;
    std::u16string password_;
    bool connected_ = false;
    bool fast_load_ = false;
    bool unicode_ = true;
    bool native_client_ = false;
    std::vector<std::u16string> databases_;
    bool as_dbo_ = false;
};

// The engine's safe table name, or "[dbo]." and the bracketed name when no engine exists.
std::u16string mss_safe_tname(std::u16string_view name);
