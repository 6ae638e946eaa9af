// The rows of a result, read as text.
//
// Rows are fetched five at a time into bound buffers (one SQLFetch per five rows). A result
// with a column too long to bind (MAX types, or wider than 4,000 characters) is read a row at
// a time, every value with SQLGetData, however long. Every value arrives as UTF-16 text: the
// driver converts numbers, dates and binary (hexadecimal digits) itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class odb_statement;

class odb_recordset {
public:
    // Reads the column descriptions of the statement's current result and binds them.
    explicit odb_recordset(odb_statement& statement);
    // Leaves the statement's remaining results unread (they are discarded with the cursor).
    ~odb_recordset();
    odb_recordset(const odb_recordset&) = delete;
    odb_recordset& operator=(const odb_recordset&) = delete;

    size_t column_count() const noexcept { return names_.size(); }
    const std::u16string& column_name(size_t column) const { return names_[column]; }

    // Moves to the next row; false after the last, once the results that follow were read
    // (their error raises odb_exception here).
    bool fetch();
    // The current row's value; nullopt for NULL.
    std::optional<std::u16string_view> get(size_t column) const;
    // The value, or an empty text for NULL.
    std::u16string text(size_t column) const;

    // The rows of the result, all of them, each value as get() gives it (NULL as nullopt).
    std::vector<std::vector<std::optional<std::u16string>>> read_all();

private:
    bool fetch_bound();
    bool fetch_unbound();

    static constexpr size_t rows_per_fetch = 5;
    static constexpr size_t max_bound_chars = 4000;

    odb_statement& statement_;
    std::vector<std::u16string> names_;
    bool bound_ = true;
    bool done_ = false;
    // Bound reading: per column, rows_per_fetch slots of (width + 1) characters, and the
    // length or null indicator of each slot.
    std::vector<size_t> widths_;
    std::vector<std::vector<char16_t>> buffers_;
    std::vector<std::vector<long>> indicators_;
    unsigned long rows_fetched_ = 0;
    size_t row_ = 0;
    // Unbound reading: the current row's values.
    std::vector<std::optional<std::u16string>> values_;
};
