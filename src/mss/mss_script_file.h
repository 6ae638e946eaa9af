// The script's output file: a buffer of our own written out in large writes.
//
// Statements are appended to the buffer (the INSERT writer appends straight into it) and the
// buffer goes to the file whenever it holds more than `flush_threshold` bytes, when `flush`
// is asked for, and at `close`. The threshold keeps the buffer in the core's own cache, from
// which the kernel copies it into the page cache: on a busy machine a buffer of a megabyte
// made that copy a quarter of a conversion's time (0.6 to 0.9 s of system time for 280 MB
// against 0.3 s), on a quiet one the smaller buffer costs some 0.05 s in more writes. A file that
// cannot be opened, and any failed or short write, raise tk_exception of level 1: a script that
// silently lacks its end would recreate a database without its data.
//
// The script is written under a working name beside it, "<script>.incomplete" (or
// "<script>.incomplete-2" and on when that name is taken), and takes the script's own name
// only when `close` has written all of it; an earlier file of that name stays as it was
// until then. A run that stops calls `abandon`, which leaves what was written under the
// working name, whose name says what it is. A script that is a symbolic link replaces the
// file it points to; a device or a pipe is written straight into.
#pragma once

#include "tk/tk_exception.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class mss_script_file {
public:
    static constexpr size_t flush_threshold = size_t(1) << 17;
    // Room for a full buffer and the statement that crosses the threshold.
    static constexpr size_t initial_capacity = flush_threshold + (flush_threshold >> 2);

    // Creates the working file beside `path`; raises tk_exception of level 1 when it cannot.
    explicit mss_script_file(std::string path);
    // A file neither closed nor abandoned is abandoned.
    ~mss_script_file();

    mss_script_file(const mss_script_file&) = delete;
    mss_script_file& operator=(const mss_script_file&) = delete;

    void write(std::string_view bytes) {
        TK_ASSERT(fd_ >= 0);
        buffer_.append(bytes);
        if (buffer_.size() >= flush_threshold)
            flush_buffer();
    }
    // The buffer itself, for writers that format in place; call commit() after appending.
    std::string& buffer() noexcept { return buffer_; }
    void commit() {
        TK_ASSERT(fd_ >= 0);
        if (buffer_.size() >= flush_threshold)
            flush_buffer();
    }
    // As commit(), for a buffer that now ends with a whole record's statement: the record
    // counts as written once its last byte is in the file.
    void commit_record() { commit_records(1); }
    // As commit_record(), for a buffer that now ends with the statement of `count` records.
    void commit_records(size_t count) {
        record_ends_.insert(record_ends_.end(), count, buffer_.size());
        commit();
    }

    // Writes everything buffered to the file.
    void flush();
    // Writes everything buffered, makes sure it is on the disk, closes the file and gives it
    // the script's name, replacing a file of that name. Writing after it is an internal error.
    void close();
    // Writes what it can of the buffer, ignoring failures, and closes the file under its
    // working name.
    void abandon() noexcept;

    bool is_open() const noexcept { return fd_ >= 0; }
    // The script's name (the file a symbolic link points to).
    const std::string& path() const noexcept { return path_; }
    // The name the file is written under until close().
    const std::string& working_path() const noexcept { return working_path_; }
    // Bytes handed to the file so far, buffered bytes included.
    uint64_t size() const noexcept { return written_ + buffer_.size(); }
    // Records (commit_record) whose statements are in the file, buffered ones left out.
    uint64_t records_on_disk() const noexcept { return records_on_disk_; }

private:
    void flush_buffer();
    // Writes the buffer; returns 0 or the errno, counting the records that got through.
    int write_buffer() noexcept;
    [[noreturn]] void fail(int error) const;

    std::string path_;
    std::string working_path_;
    std::string buffer_;
    // End offsets in the buffer of the records' statements.
    std::vector<size_t> record_ends_;
    uint64_t written_ = 0;
    uint64_t records_on_disk_ = 0;
    int fd_ = -1;
};
