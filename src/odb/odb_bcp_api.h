// The driver's bcp interface: the functions of a bulk copy and the connection handle they take.
//
// Drivers offer it in one of two ways, only after bulk copy was asked for before connecting
// (SQL_COPT_SS_BCP):
//   FreeTDS           through the driver manager: each function is a SQLSetConnectAttr with an
//                     attribute of FreeTDS's own, on the manager's connection handle;
//   Microsoft's 17/18 exported from the driver's library (bcp_initW, bcp_bind, ...); they take
//                     the driver's own connection handle (SQLGetInfo SQL_DRIVER_HDBC), not the
//                     manager's, and are found in the library the manager already loaded
//                     (its file is SQLGetInfo SQL_DRIVER_NAME).
// A driver that exports the functions is taken at its word; otherwise FreeTDS is known by its
// library's name; any other driver has no bcp interface and its tables go by statement.
//
// Both ways take the same arguments: UTF-16 table names, TDS type numbers as bcp types,
// SUCCEED (1) or FAIL (0) from init, bind, control and sendrow, a row count or -1 from batch
// and done. The manager does not see calls of exported functions, and keeps no diagnostics of
// them: those are read from the driver itself (its SQLGetDiagRecW, on its own handle).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class odb_bcp_api {
public:
    enum class route : uint8_t { driver_manager, driver_exports };

    // The bcp types used here: TDS type numbers, which both drivers take, but for NVARCHAR,
    // which only Microsoft's driver is given (utf16_text).
    static constexpr int type_varbinary = 0x25;
    static constexpr int type_varchar = 0x27;
    static constexpr int type_datetime = 0x3D;
    static constexpr int type_nvarchar = 0xE7;

    // The interface of the connection `dbc` (the manager's handle), which was opened with bulk
    // copy asked for, through the driver whose library file is `driver` (SQL_DRIVER_NAME);
    // nullptr when the driver has none, with the reason in `why_not`.
    static std::unique_ptr<odb_bcp_api> find(void* dbc, const std::string& driver,
                                             std::string& why_not);
    ~odb_bcp_api();
    odb_bcp_api(const odb_bcp_api&) = delete;
    odb_bcp_api& operator=(const odb_bcp_api&) = delete;

    route way() const noexcept { return route_; }
    // The driver's library file, as SQL_DRIVER_NAME gives it.
    const std::string& driver() const noexcept { return driver_; }
    // The handle the functions take: the manager's or the driver's own.
    void* handle() const noexcept { return handle_; }
    // Whether text is bound as UTF-16 (NVARCHAR) rather than UTF-8 (VARCHAR). Microsoft's
    // driver reads VARCHAR data in the code page of the process's locale, which need not be
    // UTF-8; FreeTDS reads all text bound to it as UTF-8 (its client charset), whatever type it
    // is bound as.
    bool utf16_text() const noexcept { return route_ == route::driver_exports; }

    // `table` must end with a NUL just past its view (a std::u16string's view does).
    bool init(std::u16string_view table) const;
    // bcp_control; `value` as the option wants it (BCPKEEPIDENTITY: 1 for on).
    bool control(int option, intptr_t value) const;
    // Binds `data`, which begins with a 4-byte length (-1 for NULL) and holds the value after
    // it, to the table's column (from 1).
    bool bind(const unsigned char* data, int type, int column) const;
    bool send_row() const;
    int32_t batch() const;
    int32_t done() const;
    // Raises odb_exception with the driver's diagnostics of the call `operation` that failed.
    [[noreturn]] void fail(std::string_view operation) const;

    static constexpr int option_keep_identity = 8; // BCPKEEPIDENTITY

    // The functions and their signatures as the drivers declare them.
    struct functions {
        int16_t (*init)(void* dbc, const char16_t* table, const char16_t* data_file,
                        const char16_t* error_file, int direction);
        int16_t (*bind)(void* dbc, const unsigned char* data, int prefix_length, int32_t length,
                        const unsigned char* terminator, int terminator_length, int type,
                        int column);
        int16_t (*send_row)(void* dbc);
        int32_t (*batch)(void* dbc);
        int32_t (*done)(void* dbc);
        int16_t (*control)(void* dbc, int option, void* value);
        // The driver's own SQLGetDiagRecW; nullptr for the manager's.
        void* diagnostic;
    };

private:
    struct library; // the driver's library, held open (dlopen) while the functions are used

    odb_bcp_api(route way, std::string driver, void* handle, functions calls,
                std::unique_ptr<library> held);

    route route_;
    std::string driver_;
    void* handle_;
    functions calls_;
    std::unique_ptr<library> library_;
};
