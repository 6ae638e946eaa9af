#include "mss/mss_script_file.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes between two requests to start writing the file's pages out.
constexpr uint64_t writeback_step = uint64_t(8) << 20;

// Writes all bytes, resuming after interruptions and partial writes. Returns 0 or the errno;
// `done` is the number of bytes that got through either way.
int write_all(int fd, const char* data, size_t size, size_t& done) {
    done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        done += size_t(n);
    }
    return 0;
}

} // namespace

mss_script_file::mss_script_file(std::string path) : path_(std::move(path)) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A device or a pipe (/dev/stdout) is written straight into: it cannot be replaced
        // by a file, nor does it hold anything to keep.
        working_path_ = path_;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw tk_exception_ex(
                "Cannot open the script file '" + path_ + "': ", tk_exception::stop_run, errno);
        buffer_.reserve(initial_capacity);
        return;
    }
    // The file a symbolic link points to is replaced, not the link.
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
        path_ = real;
        std::free(real);
    }
    // O_EXCL: a working file left by an earlier run that stopped is the user's now.
    int error = 0;
    for (int attempt = 1; attempt <= 100 && fd_ < 0; ++attempt) {
        working_path_ = path_ + ".incomplete";
        if (attempt > 1)
            working_path_ += "-" + std::to_string(attempt);
        fd_ = ::open(working_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = fd_ < 0 ? errno : 0;
        if (error != EEXIST)
            break;
    }
    if (fd_ < 0) {
        TK_TRACE(2, "Failed to open file");
        throw tk_exception_ex("Cannot create the script file '" + working_path_ + "': ",
                              tk_exception::stop_run, error);
    }
    buffer_.reserve(initial_capacity);
}

mss_script_file::~mss_script_file() {
    abandon();
}

void mss_script_file::fail(int error) const {
    TK_TRACE(3, "Cannot write into the script file '%s'", working_path_.c_str());
    throw tk_exception_ex("Cannot write into the script file '" + working_path_ + "': ",
                          tk_exception::stop_run, error);
}

int mss_script_file::write_chunk(chunk& c) noexcept {
    size_t done = 0;
    const int error = write_all(fd_, c.bytes.data(), c.bytes.size(), done);
    written_ += done;
    // A statement cut off by a failed write is not in the file.
    const auto whole = std::upper_bound(c.record_ends.begin(), c.record_ends.end(), done);
    records_on_disk_.fetch_add(uint64_t(whole - c.record_ends.begin()), std::memory_order_relaxed);
    if (error != 0)
        return error;
    // Pages written out while the conversion goes on need not be waited for at the end. A
    // pipe or a device has nothing to write out, and the request is no more than a hint.
    if (written_ - synced_ >= writeback_step && working_path_ != path_) {
        ::sync_file_range(fd_, off64_t(synced_), off64_t(written_ - synced_),
                          SYNC_FILE_RANGE_WRITE);
        synced_ = written_;
    }
    return 0;
}

void mss_script_file::write_chunks() noexcept {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (queued_.empty())
            return;
        chunk c = std::move(queued_.front());
        queued_.pop_front();
        int error = error_;
        if (error == 0) {
            writing_ = true;
            lock.unlock();
            error = write_chunk(c);
            lock.lock();
            writing_ = false;
            if (error_ == 0)
                error_ = error;
        }
        c.bytes.clear();
        c.record_ends.clear();
        // A very large value (a memo of many megabytes) grows a buffer; give that memory back.
        if (c.bytes.capacity() > 8 * flush_threshold) {
            c.bytes = std::string();
            c.bytes.reserve(initial_capacity);
        }
        free_.push_back(std::move(c));
        changed_.notify_all();
    }
}

void mss_script_file::flush_buffer() {
    TK_ASSERT(fd_ >= 0);
    if (buffer_.empty())
        return;
    if (!writer_.joinable())
        writer_ = std::thread([this] { write_chunks(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [this] { return error_ != 0 || !free_.empty() || buffers_ < buffer_count; });
    if (error_ != 0)
        fail(error_);
    handed_ += buffer_.size();
    queued_.push_back(chunk{std::move(buffer_), std::move(record_ends_)});
    if (!free_.empty()) {
        buffer_ = std::move(free_.back().bytes);
        record_ends_ = std::move(free_.back().record_ends);
        free_.pop_back();
    } else {
        ++buffers_;
        buffer_ = std::string();
        buffer_.reserve(initial_capacity);
        record_ends_ = std::vector<size_t>();
    }
    lock.unlock();
    changed_.notify_all();
}

int mss_script_file::wait_written() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
    return error_;
}

void mss_script_file::stop_writer() noexcept {
    if (!writer_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
}

void mss_script_file::flush() {
    flush_buffer();
    if (int error = wait_written())
        fail(error);
}

void mss_script_file::close() {
    if (fd_ < 0)
        return;
    flush();
    stop_writer();
    // A full disk or a quota can show only when the data is written out: fsync and close
    // report it before the file takes the script's name.
    if (working_path_ != path_ && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(errno);
    if (working_path_ != path_ && std::rename(working_path_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        throw tk_exception_ex("Cannot give the script its name '" + path_ + "' (it is kept as '" +
                                  working_path_ + "'): ",
                              tk_exception::stop_run, error);
    }
}

void mss_script_file::abandon() noexcept {
    if (fd_ < 0)
        return;
    // What the thread was handed goes first; the rest of the buffer follows unless a write
    // failed, after which nothing more is written.
    stop_writer();
    if (error_ == 0 && !buffer_.empty()) {
        chunk rest{std::move(buffer_), std::move(record_ends_)};
        write_chunk(rest);
    }
    ::close(fd_);
    fd_ = -1;
}
