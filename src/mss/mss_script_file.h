// The script's output file: a buffer of our own written out in large writes.
//
// Statements are appended to the buffer (the INSERT writer appends straight into it) and the
// buffer is handed to the file whenever it holds more than `flush_threshold` bytes, when
// `flush` is asked for, and at `close`. The threshold keeps the buffer in the cores' caches,
// from which the kernel copies it into the page cache: on a busy machine a buffer of a
// megabyte made that copy a quarter of a conversion's time.
//
// Full buffers are written by a thread of the file's own, so that the copy into the page
// cache runs beside the formatting of the next statements rather than after it; at most
// `buffer_count` buffers exist, and the writer waits for a free one when the disk falls
// behind. Every 8 MB that thread also asks the kernel to start writing the pages out, so that
// the data reaches the disk while the conversion goes on and the sync at `close` waits for
// the last few megabytes only.
//
// A file that cannot be opened, and any failed or short write, raise tk_exception of level 1:
// a script that silently lacks its end would recreate a database without its data. A failed
// write of the thread is raised by the next call that hands it a buffer, by `flush` or by
// `close`; nothing after the failure is written.
//
// The script is written under a working name beside it, "<script>.incomplete" (or
// "<script>.incomplete-2" and on when that name is taken), and takes the script's own name
// only when `close` has written all of it; an earlier file of that name stays as it was
// until then. A run that stops calls `abandon`, which leaves what was written under the
// working name, whose name says what it is. A script that is a symbolic link replaces the
// file it points to; a device or a pipe is written straight into.
#pragma once

#include "tk/tk_exception.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class mss_script_file {
public:
    static constexpr size_t flush_threshold = size_t(1) << 17;
    // Room for a full buffer and the statement that crosses the threshold.
    static constexpr size_t initial_capacity = flush_threshold + (flush_threshold >> 2);
    // The buffer being filled and those waiting for or in the writing thread.
    static constexpr size_t buffer_count = 3;

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

    // Writes everything buffered to the file and waits until it is written.
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
    uint64_t size() const noexcept { return handed_ + buffer_.size(); }
    // Records (commit_record) whose statements are in the file, buffered ones left out. May
    // be asked from any thread.
    uint64_t records_on_disk() const noexcept {
        return records_on_disk_.load(std::memory_order_relaxed);
    }

private:
    // A buffer with the end offsets of the records' statements in it.
    struct chunk {
        std::string bytes;
        std::vector<size_t> record_ends;
    };

    // Hands the buffer to the writing thread and takes a free one; raises an earlier failure
    // of the thread.
    void flush_buffer();
    // Waits until the thread has written every buffer handed to it; the errno of a failed
    // write, or 0.
    int wait_written();
    // Ends the thread after it has written what it was handed.
    void stop_writer() noexcept;
    void write_chunks() noexcept;
    // Writes the chunk; returns 0 or the errno, counting the bytes and records that got
    // through.
    int write_chunk(chunk& c) noexcept;
    [[noreturn]] void fail(int error) const;

    std::string path_;
    std::string working_path_;
    // The writer's side: the buffer being filled and its records' ends.
    std::string buffer_;
    std::vector<size_t> record_ends_;
    uint64_t handed_ = 0; // bytes handed to the thread
    size_t buffers_ = 1;  // buffers made so far, up to buffer_count

    // Shared with the writing thread, guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<chunk> queued_; // to be written, in order
    std::vector<chunk> free_;  // written, to be filled again
    bool writing_ = false;     // the thread holds a chunk
    bool stopping_ = false;
    int error_ = 0; // the first failed write's errno; nothing is written after it

    // The writing thread's own, and abandon()'s once the thread has ended.
    uint64_t written_ = 0;
    uint64_t synced_ = 0; // bytes whose writing out the kernel was asked to start

    std::atomic<uint64_t> records_on_disk_{0};
    int fd_ = -1;
    std::thread writer_;
};
