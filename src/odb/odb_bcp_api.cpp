#include "odb/odb_bcp_api.h"

#include "odb/odb_diag.h"
#include "tk/tk_trace.h"

#include <dlfcn.h>
#include <link.h>

#define TDSODBC_BCP
#include <odbcss.h>

struct odb_bcp_api::library {
    void* handle;
    explicit library(void* h) : handle(h) {}
    ~library() { dlclose(handle); }
    library(const library&) = delete;
    library& operator=(const library&) = delete;
};

namespace {

// FreeTDS's functions (odbcss.h) are inline calls of SQLSetConnectAttr on the manager's
// handle; these give them the drivers' common signatures.
int16_t manager_init(void* dbc, const char16_t* table, const char16_t* data_file,
                     const char16_t* error_file, int direction) {
    return bcp_initW(dbc, reinterpret_cast<const SQLWCHAR*>(table),
                     reinterpret_cast<const SQLWCHAR*>(data_file),
                     reinterpret_cast<const SQLWCHAR*>(error_file), direction);
}

int16_t manager_bind(void* dbc, const unsigned char* data, int prefix_length, int32_t length,
                     const unsigned char* terminator, int terminator_length, int type, int column) {
    return bcp_bind(dbc, data, prefix_length, length, terminator, terminator_length, type, column);
}

int16_t manager_send_row(void* dbc) {
    return bcp_sendrow(dbc);
}

int32_t manager_batch(void* dbc) {
    return bcp_batch(dbc);
}

int32_t manager_done(void* dbc) {
    return bcp_done(dbc);
}

int16_t manager_control(void* dbc, int option, void* value) {
    return bcp_control(dbc, option, value);
}

constexpr odb_bcp_api::functions through_manager = {manager_init,  manager_bind, manager_send_row,
                                                    manager_batch, manager_done, manager_control,
                                                    nullptr};

std::string base_name(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The path of the loaded object whose file is `file` (a bare name or a path).
std::string loaded_path(const std::string& file) {
    struct search {
        std::string name;
        std::string path;
    } wanted{base_name(file), {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<search*>(data);
            if (info->dlpi_name == nullptr || base_name(info->dlpi_name) != s->name)
                return 0;
            s->path = info->dlpi_name;
            return 1;
        },
        &wanted);
    return wanted.path;
}

// The driver's library, which the manager has loaded already: by its name (which matches
// its SONAME or a path the loader searches), else by the path it was loaded from (the
// manager loads a driver from the path in odbcinst.ini, which a bare name does not reach).
void* open_loaded(const std::string& file) {
    if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD))
        return handle;
    const std::string path = loaded_path(file);
    return path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

// The symbol when the library defines it itself: dlsym also searches the libraries it
// depends on, whose functions of the same name need not have the same signature.
void* own_symbol(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    link_map* map = nullptr;
    Dl_info where{};
    if (symbol == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 ||
        dladdr(symbol, &where) == 0 || where.dli_fname == nullptr ||
        std::string_view(where.dli_fname) != map->l_name)
        return nullptr;
    return symbol;
}

template <typename F> bool find_symbol(void* handle, const char* name, F& function) {
    function = reinterpret_cast<F>(own_symbol(handle, name));
    return function != nullptr;
}

} // namespace

odb_bcp_api::odb_bcp_api(route way, std::string driver, void* handle, functions calls,
                         std::unique_ptr<library> held)
    : route_(way), driver_(std::move(driver)), handle_(handle), calls_(calls),
      library_(std::move(held)) {}

odb_bcp_api::~odb_bcp_api() = default;

std::unique_ptr<odb_bcp_api> odb_bcp_api::find(void* dbc, const std::string& driver,
                                               std::string& why_not) {
    if (driver.empty()) {
        why_not = "the driver does not name its library";
        return nullptr;
    }
    if (void* handle = open_loaded(driver)) {
        auto held = std::make_unique<library>(handle);
        functions calls{};
        const int found = find_symbol(handle, "bcp_initW", calls.init) +
                          find_symbol(handle, "bcp_bind", calls.bind) +
                          find_symbol(handle, "bcp_sendrow", calls.send_row) +
                          find_symbol(handle, "bcp_batch", calls.batch) +
                          find_symbol(handle, "bcp_done", calls.done) +
                          find_symbol(handle, "bcp_control", calls.control);
        if (found == 6) {
            calls.diagnostic = own_symbol(handle, "SQLGetDiagRecW");
            SQLHDBC own = SQL_NULL_HDBC;
            if (!odb_succeeded(SQLGetInfoW(dbc, SQL_DRIVER_HDBC, &own, sizeof own, nullptr)) ||
                own == SQL_NULL_HDBC) {
                why_not = "the driver manager does not give the driver's connection handle";
                return nullptr;
            }
            TK_TRACE(2, "Bulk copy through the functions %s exports", driver.c_str());
            return std::unique_ptr<odb_bcp_api>(
                new odb_bcp_api(route::driver_exports, driver, own, calls, std::move(held)));
        }
        if (found != 0) {
            why_not = "the driver " + driver + " exports only part of the bcp functions";
            return nullptr;
        }
    }
    if (base_name(driver).starts_with("libtdsodbc")) {
        TK_TRACE(2, "Bulk copy through the driver manager (%s)", driver.c_str());
        return std::unique_ptr<odb_bcp_api>(
            new odb_bcp_api(route::driver_manager, driver, dbc, through_manager, nullptr));
    }
    why_not = "the driver " + driver + " has no bcp interface";
    return nullptr;
}

bool odb_bcp_api::init(std::u16string_view table) const {
    return calls_.init(handle_, table.data(), nullptr, nullptr, BCP_DIRECTION_IN) == SUCCEED;
}

bool odb_bcp_api::control(int option, intptr_t value) const {
    return calls_.control(handle_, option, reinterpret_cast<void*>(value)) == SUCCEED;
}

bool odb_bcp_api::bind(const unsigned char* data, int type, int column) const {
    return calls_.bind(handle_, data, sizeof(int32_t), SQL_VARLEN_DATA, nullptr, 0, type, column) ==
           SUCCEED;
}

bool odb_bcp_api::send_row() const {
    return calls_.send_row(handle_) == SUCCEED;
}

int32_t odb_bcp_api::batch() const {
    return calls_.batch(handle_);
}

int32_t odb_bcp_api::done() const {
    return calls_.done(handle_);
}

void odb_bcp_api::fail(std::string_view operation) const {
    TK_TRACE(3, "%.*s failed", int(operation.size()), operation.data());
    const odb_diag_reader read = calls_.diagnostic != nullptr
                                     ? reinterpret_cast<odb_diag_reader>(calls_.diagnostic)
                                     : SQLGetDiagRecW;
    throw odb_exception(operation, odb_read_diagnostics(SQL_HANDLE_DBC, handle_, read));
}
