#include "odb/odb_recordset.h"

#include "odb/odb_diag.h"
#include "odb/odb_statement.h"
#include "tk/tk_text.h"

static_assert(sizeof(SQLLEN) == sizeof(long) && sizeof(SQLULEN) == sizeof(unsigned long));

namespace {

bool is_long_type(SQLSMALLINT type) {
    return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY;
}

// Characters of the column as text: binary doubles (two hexadecimal digits a byte); numbers
// and dates fit in 64. 0 for a type of no known width (a driver's own types): such a result
// is read value by value, however long.
size_t text_width(SQLSMALLINT type, SQLULEN size) {
    switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return size;
    case SQL_BINARY:
    case SQL_VARBINARY:
        return size * 2;
    case SQL_GUID:
        return 36;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return 64;
    default:
        return 0;
    }
}

// One value of the current row, read in parts for as long as it is.
std::optional<std::u16string> read_long_value(SQLHSTMT stmt, size_t column) {
    std::u16string value;
    char16_t chunk[2048];
    // A part that filled the buffer holds its capacity less the terminator.
    constexpr size_t capacity = sizeof chunk / sizeof(char16_t) - 1;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN part =
            SQLGetData(stmt, SQLUSMALLINT(column), SQL_C_WCHAR, chunk, sizeof chunk, &indicator);
        if (part == SQL_NO_DATA)
            return value;
        odb_check(part, SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return std::nullopt;
        const bool whole = part == SQL_SUCCESS;
        const size_t got = (indicator == SQL_NO_TOTAL || size_t(indicator) / 2 > capacity)
                               ? capacity
                               : size_t(indicator) / 2;
        value.append(chunk, whole ? std::min(got, capacity) : capacity);
        if (whole)
            return value;
    }
}

} // namespace

odb_recordset::odb_recordset(odb_statement& statement) : statement_(statement) {
    SQLHSTMT stmt = statement_.handle();
    SQLSMALLINT count = 0;
    odb_check(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
    for (SQLSMALLINT i = 0; i < count; ++i) {
        char16_t name[256] = {};
        SQLSMALLINT name_length = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        odb_check(SQLDescribeColW(stmt, SQLUSMALLINT(i + 1), odb_wide(name), 256, &name_length,
                                  &type, &size, &digits, &nullable),
                  SQL_HANDLE_STMT, stmt, "SQLDescribeColW");
        names_.emplace_back(name);
        const size_t width = text_width(type, size);
        if (is_long_type(type) || width == 0 || width > max_bound_chars)
            bound_ = false;
        widths_.push_back(width);
    }
    if (!bound_) {
        values_.resize(names_.size());
        return;
    }
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                   0);
    odb_check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                             reinterpret_cast<SQLPOINTER>(SQLULEN(rows_per_fetch)), 0),
              SQL_HANDLE_STMT, stmt, "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    odb_check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_fetched_, 0), SQL_HANDLE_STMT,
              stmt, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    buffers_.resize(names_.size());
    indicators_.resize(names_.size());
    for (size_t i = 0; i < names_.size(); ++i) {
        buffers_[i].assign(rows_per_fetch * (widths_[i] + 1), u'\0');
        indicators_[i].assign(rows_per_fetch, 0);
        odb_check(SQLBindCol(stmt, SQLUSMALLINT(i + 1), SQL_C_WCHAR, buffers_[i].data(),
                             SQLLEN((widths_[i] + 1) * sizeof(char16_t)), indicators_[i].data()),
                  SQL_HANDLE_STMT, stmt, "SQLBindCol");
    }
    row_ = rows_per_fetch;
}

odb_recordset::~odb_recordset() {
    SQLHSTMT stmt = statement_.handle();
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

bool odb_recordset::fetch() {
    if (done_)
        return false;
    const bool more = bound_ ? fetch_bound() : fetch_unbound();
    if (!more) {
        done_ = true;
        statement_.drain();
    }
    return more;
}

bool odb_recordset::fetch_bound() {
    if (row_ + 1 < rows_fetched_) {
        ++row_;
        return true;
    }
    SQLHSTMT stmt = statement_.handle();
    rows_fetched_ = 0;
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA)
        return false;
    odb_check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
    row_ = 0;
    return rows_fetched_ > 0;
}

bool odb_recordset::fetch_unbound() {
    SQLHSTMT stmt = statement_.handle();
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA)
        return false;
    odb_check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
    for (size_t i = 0; i < names_.size(); ++i)
        values_[i] = read_long_value(stmt, i + 1);
    return true;
}

std::optional<std::u16string_view> odb_recordset::get(size_t column) const {
    if (!bound_)
        return values_[column] ? std::optional<std::u16string_view>(*values_[column])
                               : std::nullopt;
    const long indicator = indicators_[column][row_];
    if (indicator == SQL_NULL_DATA)
        return std::nullopt;
    const size_t width = widths_[column];
    // A value longer than the width its column announced would arrive cut: never silently.
    if (indicator == SQL_NO_TOTAL || size_t(indicator) / 2 > width)
        throw odb_exception("SQLFetch",
                            {{"01004", 0,
                              "The value of column '" + tk_to_utf8_lossy(names_[column]) +
                                  "' is longer than the column's announced size"}});
    const char16_t* data = buffers_[column].data() + row_ * (width + 1);
    return std::u16string_view(data, size_t(indicator) / 2);
}

std::u16string odb_recordset::text(size_t column) const {
    const std::optional<std::u16string_view> value = get(column);
    return value ? std::u16string(*value) : std::u16string();
}

std::vector<std::vector<std::optional<std::u16string>>> odb_recordset::read_all() {
    std::vector<std::vector<std::optional<std::u16string>>> rows;
    while (fetch()) {
        auto& row = rows.emplace_back();
        for (size_t i = 0; i < column_count(); ++i) {
            const std::optional<std::u16string_view> value = get(i);
            row.push_back(value ? std::optional<std::u16string>(*value) : std::nullopt);
        }
    }
    return rows;
}
