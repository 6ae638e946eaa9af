// Bulk copy into one table through the driver's bcp interface (odb_bcp_api: the connection
// must have been opened with bulk copy asked for, and offer it).
//
// Every column is bound once to a buffer of its own that holds a 4-byte length (-1 for NULL)
// and the value; each row sets every column before it is sent, so no value of the row before
// is ever sent again. Values reach the driver already converted: text as UTF-8 (varchar data
// the driver converts to the column's type; UTF-16 nvarchar data where the driver wants it,
// odb_bcp_api::utf16_text), bytes as binary, dates in the server's DATETIME
// form. The driver copies a value into a buffer of 4 KiB whatever its length (FreeTDS 1.3.17
// overruns it), so no value may be longer than max_value_bytes after the driver's conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class odb_bcp_api;
class tk_codepage;
class odb_connection;

class odb_bulk_copy {
public:
    enum class kind : uint8_t { text, binary, datetime };

    static constexpr size_t max_value_bytes = 4096;

    // bcp_initW on the table ("[schema].[table]") and bcp_bind of every column. With
    // `keep_identity` the table's IDENTITY values are taken from the rows (the driver switches
    // IDENTITY_INSERT on, and leaves it on). Raises odb_exception.
    odb_bulk_copy(odb_connection& connection, std::u16string_view table,
                  const std::vector<kind>& columns, bool keep_identity);
    // Ends the copy (bcp_done) when done() was not called; rows not yet committed are lost.
    ~odb_bulk_copy();
    odb_bulk_copy(const odb_bulk_copy&) = delete;
    odb_bulk_copy& operator=(const odb_bulk_copy&) = delete;

    void set_null(size_t column);
    // UTF-8 text or bytes; at most max_value_bytes (text: as UTF-16 too).
    void set_bytes(size_t column, std::string_view bytes);
    // Days since 1900-01-01 (negative before it) and three-hundredths of a second since
    // midnight: the server's DATETIME form.
    void set_datetime(size_t column, int32_t days, int32_t ticks);

    // bcp_sendrow; false when the driver refused the row (the batch can then not be committed).
    // The driver starts the load (INSERT BULK) with the first row: when the server refuses
    // it, the copy is abandoned without bcp_done, which would send the rows all the same and
    // the server would close the connection on a load it never accepted.
    bool send_row();
    // bcp_batch: commits the rows sent since the last batch; returns their count. Raises
    // odb_exception with the driver's diagnostics when the batch failed (its rows are lost).
    int64_t commit_batch();
    // Whether a row was accepted since the copy began.
    bool started() const noexcept { return started_; }
    // bcp_done: commits the last rows and ends the copy; returns their count. Raises like
    // commit_batch. The copy cannot be used afterwards.
    int64_t done();

private:
    const odb_bcp_api& bcp_;
    std::vector<kind> kinds_;
    // A text column's value as UTF-16, for drivers that take text so (odb_bcp_api::utf16_text).
    const tk_codepage& utf8_;
    std::u16string utf16_;
    bool done_ = false;
    bool started_ = false; // a row was accepted since bcp_initW
    // Per column: 4-byte length and room for max_value_bytes.
    std::vector<std::vector<unsigned char>> buffers_;
};
