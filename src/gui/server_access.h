// What the wizard asks of an MS SQL server: to connect with the settings of the MS SQL
// settings page, and whether a database exists. The pages and the quick launch go through
// this interface only, so that they are the same whatever reaches the server.
#pragma once

#include <string>
#include <string_view>

class tabrix_converter;

class server_access {
public:
    virtual ~server_access() = default;
    // Connects with the converter's server settings. Raises tk_exception (an OLE DB failure
    // carries its code) when it cannot. Runs on a worker thread.
    virtual void connect() = 0;
    // Whether the connected server has a database of that name. Raises tk_exception.
    virtual bool database_exists(std::u16string_view name) = 0;
};

// The server as the converter reaches it (mssql_converter_impl::connect_mssql_server).
class converter_server_access : public server_access {
public:
    explicit converter_server_access(tabrix_converter& converter) : converter_(converter) {}
    void connect() override;
    bool database_exists(std::u16string_view name) override;

private:
    tabrix_converter& converter_;
};
