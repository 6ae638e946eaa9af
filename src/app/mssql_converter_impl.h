// The MS SQL side of the converter's settings: the server and its credentials (direct mode)
// and the options of a T-SQL script (script mode), with the MS SQL engine that uses them.
#pragma once

#include "mss/mss_dump_options.h"
#include "mss/mss_engine.h"

#include <string>

class udb_profile;

class mssql_converter_impl {
public:
    mssql_converter_impl();
    virtual ~mssql_converter_impl();

    mssql_converter_impl(const mssql_converter_impl&) = delete;
    mssql_converter_impl& operator=(const mssql_converter_impl&) = delete;

    // Connects the engine to the server with the stored credentials. This build has no server
    // access: it raises tk_exception of level 1 saying so.
    void connect_mssql_server();

    bool get_windows_auth() const noexcept { return windows_auth_; }
    void set_windows_auth(bool on) noexcept { windows_auth_ = on; }
    // Connect as the database owner: tables go under [dbo] whatever the login.
    bool get_as_dbo() const noexcept { return engine_.as_dbo(); }
    void set_as_dbo(bool on);
    const std::u16string& get_host() const noexcept { return host_; }
    void set_host(std::u16string host) { host_ = std::move(host); }
    const std::u16string& get_login() const noexcept { return login_; }
    void set_login(std::u16string login) { login_ = std::move(login); }
    const std::u16string& get_password() const noexcept { return password_; }
    void set_password(std::u16string password) { password_ = std::move(password); }

    // The script options. The Unicode option is followed by the engine when a run starts.
    mss_dump_options& dump_options() noexcept { return dump_options_; }
    const mss_dump_options& dump_options() const noexcept { return dump_options_; }

    mss_engine& engine() noexcept { return engine_; }

    // The keys of "MS SQL Server settings". A profile holding a password is marked private,
    // so that its file is written readable by its owner only.
    bool store_profile(udb_profile& profile) const;
    bool load_profile(const udb_profile& profile);

private:
    bool windows_auth_ = true;
    mss_dump_options dump_options_;
    mss_engine engine_;
    std::u16string host_;
    std::u16string login_;
    std::u16string password_;
};
