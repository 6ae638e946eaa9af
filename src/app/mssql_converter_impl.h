// The MS SQL side of the converter, held by it: the engine and its connection to a server,
// made with the connection settings of udb_settings.
#pragma once

#include "mss/mss_connection_settings.h"
#include "mss/mss_engine.h"

struct udb_settings;

class mssql_converter_impl {
public:
    mssql_converter_impl();
    ~mssql_converter_impl();

    mssql_converter_impl(const mssql_converter_impl&) = delete;
    mssql_converter_impl& operator=(const mssql_converter_impl&) = delete;

    // Connects the engine to the server with the connection settings (mss_engine::connect):
    // raises mss_connect_exception when the server cannot be reached or refuses the login.
    void connect_mssql_server(const udb_settings& settings);

    // Gives the engine the settings it follows (connect as DBO, bulk copy and its batches).
    void apply(const udb_settings& settings);

    // How to reach the server, from the settings.
    static mss_connection_settings connection(const udb_settings& settings);

    mss_engine& engine() noexcept { return engine_; }
    const mss_engine& engine() const noexcept { return engine_; }

private:
    mss_engine engine_;
};
