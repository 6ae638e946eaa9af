// The script's output file: a large buffer of our own written out in few big writes.
//
// Statements are appended to the buffer (the INSERT writer appends straight into it) and the
// buffer goes to the file whenever it holds more than `flush_threshold` bytes, when `flush`
// is asked for, and at `close`. A file that cannot be opened, and any failed or short write,
// raise tk_exception of level 1: a script that silently lacks its end would recreate a
// database without its data.
#pragma once

#include "tk/tk_exception.h"

#include <cstdint>
#include <string>
#include <string_view>

class mss_script_file {
public:
    static constexpr size_t flush_threshold = size_t(1) << 20;
    // Room for a full buffer and the statement that crosses the threshold.
    static constexpr size_t initial_capacity = flush_threshold + (flush_threshold >> 2);

    // Creates the file or truncates an existing one.
    explicit mss_script_file(std::string path);
    // Writes what is buffered, ignoring failures (a run that failed keeps what was written so
    // far), and closes the file. close() is the way to learn that everything arrived.
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

    // Writes everything buffered to the file.
    void flush();
    // Writes everything buffered and closes the file; writing after it is an internal error.
    void close();

    bool is_open() const noexcept { return fd_ >= 0; }
    const std::string& path() const noexcept { return path_; }
    // Bytes handed to the file so far, buffered bytes included.
    uint64_t size() const noexcept { return written_ + buffer_.size(); }

private:
    void flush_buffer();

    std::string path_;
    std::string buffer_;
    uint64_t written_ = 0;
    int fd_ = -1;
};
