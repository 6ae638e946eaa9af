// The one object that knows the MS SQL server the user works with.
//
// A script needs only part of it: the Unicode flag (NVARCHAR columns and N'' literals), the
// server's version code read from its banner, the login that decides the owner of plain table
// names, and the owner-qualified safe table name. Direct mode connects it to a server: it
// keeps the connection settings, not a live connection, and every operation that needs the
// server opens a connection of its own and closes it when done.
#pragma once

#include "mss/mss_connection_settings.h"
#include "mss/mss_connection_string.h"
#include "mss/mss_load_counts.h"
#include "tk/tk_singleton.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class mss_database;
class odb_connection;
class odb_environment;

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

    // The version code of a "SELECT @@VERSION" banner. Every year from 2017 on has a code of
    // its own, 2017's code plus the years since, so that a newer server is never taken for an
    // older one.
    static int32_t version_code(std::u16string_view banner);

    // ---- Direct mode ------------------------------------------------------------------------
    // Connects with the settings: reads the server's version and its databases. Raises
    // mss_connect_exception (level 1) with the driver's or the server's reason; the engine
    // then stays as it was.
    void connect(const mss_connection_settings& settings);
    // The server's databases, sorted by name, as read at connecting and after each create or
    // drop. Azure SQL Database lists none: a tk_exception (level 1) says so.
    const std::vector<std::u16string>& get_contents() const;
    // Whether the database is there and the login may open it: a listed database (compared
    // ignoring case) that refuses the login raises mss_no_perm_exception; any other failure
    // raises the server's error.
    bool is_db_exist(std::u16string_view name);
    // Creates the database and opens it (flags mss_database::created).
    std::unique_ptr<mss_database> create_db(std::u16string_view name);
    // Opens a database that exists; `flags` are mss_database's.
    std::unique_ptr<mss_database> open_db(std::u16string_view name, uint32_t flags);
    void delete_db(std::u16string_view name);
    // A new connection with the stored settings to `database` (the login's default database
    // when empty). Raises mss_connect_exception, or mss_no_perm_exception when the database
    // refuses the login.
    std::unique_ptr<odb_connection> open_connection(std::u16string_view database) const;

    // The first line of the server's banner ("Microsoft SQL Server 2019 (RTM) ...").
    const std::u16string& banner() const noexcept { return banner_; }
    const mss_driver& driver() const noexcept { return driver_; }
    const mss_connection_settings& settings() const noexcept { return settings_; }

    // Owner-qualified, bracketed table name: "[owner].[table]" for a name that carries an
    // owner; otherwise "[dbo]." (or "[login]." for a login other than sa while connecting as
    // database owner is off) followed by the bracketed name.
    std::u16string get_safe_tname(std::u16string_view name) const;

    bool unicode() const noexcept { return unicode_; }
    void set_unicode(bool on) noexcept { unicode_ = on; }
    // Whether databases opened from now on give tables without a key a clustered index.
    bool indexes() const noexcept { return indexes_; }
    void set_indexes(bool on) noexcept { indexes_ = on; }

    int32_t version() const noexcept { return version_; }
    bool connected() const noexcept { return connected_; }
    bool native_client() const noexcept { return native_client_; }
    // Records per committed bulk batch unless the user chooses another number.
    static constexpr uint32_t default_batch_size = 1000;
    // Whether databases opened from now on load their tables by bulk copy (where the driver
    // offers it), and the records per committed batch.
    bool fast_load() const noexcept { return fast_load_; }
    void set_fast_load(bool on) noexcept { fast_load_ = on; }
    uint32_t batch_size() const noexcept { return batch_size_; }
    void set_batch_size(uint32_t records) noexcept { batch_size_ = records; }
    // Records the databases opened since connect() committed, by the way they went.
    const mss_load_counts& load_counts() const noexcept { return load_counts_; }
    // Separate DATE and TIME column types: 2008 or later over a native-client provider.
    bool has_date_types() const noexcept {
        return connected_ && version_ >= v2008 && native_client_;
    }

    const std::u16string& host() const noexcept { return host_; }
    const std::u16string& login() const noexcept { return login_; }
    void set_as_dbo(bool on) noexcept { as_dbo_ = on; }
    bool as_dbo() const noexcept { return as_dbo_; }

protected:
    // Refills the database list over an open connection.
    void init_db_contents(odb_connection& connection);
    void require_connected() const;
    // Raises tk_exception (level 1) for a server older than 2008.
    void require_date_types() const;

    int32_t version_ = 0;
    std::u16string host_;
    std::u16string login_;
    std::u16string password_;
    bool connected_ = false;
    bool fast_load_ = true;
    uint32_t batch_size_ = default_batch_size;
    mss_load_counts load_counts_;
    bool unicode_ = true;
    bool indexes_ = true;
    bool native_client_ = false;
    std::vector<std::u16string> databases_;
    bool as_dbo_ = false;
    mss_connection_settings settings_;
    mss_driver driver_;
    std::u16string banner_;
    std::unique_ptr<odb_environment> environment_;
};

// The engine's safe table name, or "[dbo]." and the bracketed name when no engine exists.
std::u16string mss_safe_tname(std::u16string_view name);
