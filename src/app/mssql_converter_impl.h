// The MS SQL side of the converter's settings: the server and its credentials (direct mode)
// and the options of a T-SQL script (script mode), with the MS SQL engine that uses them.
#pragma once

#include "mss/mss_connection_settings.h"
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

    // Connects the engine to the server with the connection settings (mss_engine::connect):
    // raises mss_connect_exception when the server cannot be reached or refuses the login.
    void connect_mssql_server();

    // Everything that says how to reach the server; the accessors below are its fields.
    mss_connection_settings& server() noexcept { return server_; }
    const mss_connection_settings& server() const noexcept { return server_; }

    bool get_windows_auth() const noexcept { return server_.integrated; }
    void set_windows_auth(bool on) noexcept { server_.integrated = on; }
    // Connect as the database owner: tables go under [dbo] whatever the login.
    bool get_as_dbo() const noexcept { return server_.as_dbo; }
    void set_as_dbo(bool on);
    // Bulk copy where the driver offers it, and the records per committed batch.
    bool get_fast_load() const noexcept { return engine_.fast_load(); }
    void set_fast_load(bool on) noexcept { engine_.set_fast_load(on); }
    uint32_t get_batch_size() const noexcept { return engine_.batch_size(); }
    void set_batch_size(uint32_t records) noexcept {
        engine_.set_batch_size(records > 0 ? records : mss_engine::default_batch_size);
    }
    const std::u16string& get_host() const noexcept { return server_.host; }
    void set_host(std::u16string host) { server_.host = std::move(host); }
    const std::u16string& get_login() const noexcept { return server_.login; }
    void set_login(std::u16string login) { server_.login = std::move(login); }
    const std::u16string& get_password() const noexcept { return server_.password; }
    void set_password(std::u16string password) { server_.password = std::move(password); }

    // The script options. The Unicode option is followed by the engine when a run starts.
    mss_dump_options& dump_options() noexcept { return dump_options_; }
    const mss_dump_options& dump_options() const noexcept { return dump_options_; }

    mss_engine& engine() noexcept { return engine_; }
    const mss_engine& engine() const noexcept { return engine_; }

    // The keys of "MS SQL Server settings". A profile holding a password is marked private,
    // so that its file is written readable by its owner only.
    bool store_profile(udb_profile& profile) const;
    bool load_profile(const udb_profile& profile);

private:
    mss_connection_settings server_;
    mss_dump_options dump_options_;
    mss_engine engine_;
};
