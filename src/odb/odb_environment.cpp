#include "odb/odb_environment.h"

#include "odb/odb_diag.h"

odb_environment::odb_environment() {
    SQLHENV env = SQL_NULL_HENV;
    if (!odb_succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw odb_exception("SQLAllocHandle(SQL_HANDLE_ENV)", {});
    env_ = env;
    odb_check(
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, env, "SQLSetEnvAttr(SQL_ATTR_ODBC_VERSION)");
}

odb_environment::~odb_environment() {
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::vector<std::u16string> odb_environment::drivers() const {
    std::vector<std::u16string> names;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        char16_t name[512] = {};
        char16_t attributes[2048] = {};
        SQLSMALLINT name_length = 0;
        SQLSMALLINT attributes_length = 0;
        const SQLRETURN rc = SQLDriversW(env_, direction, odb_wide(name), 512, &name_length,
                                         odb_wide(attributes), 2048, &attributes_length);
        if (!odb_succeeded(rc))
            break;
        names.emplace_back(name);
        direction = SQL_FETCH_NEXT;
    }
    return names;
}
