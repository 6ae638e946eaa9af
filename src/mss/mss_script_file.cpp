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

int mss_script_file::write_buffer() noexcept {
    size_t done = 0;
    const int error = write_all(fd_, buffer_.data(), buffer_.size(), done);
    written_ += done;
    // A statement cut off by a failed write is not in the file.
    const auto whole = std::upper_bound(record_ends_.begin(), record_ends_.end(), done);
    records_on_disk_ += uint64_t(whole - record_ends_.begin());
    if (error == 0) {
        buffer_.clear();
        record_ends_.clear();
    } else {
        buffer_.erase(0, done);
        record_ends_.erase(record_ends_.begin(), whole);
        for (size_t& end : record_ends_)
            end -= done;
    }
    return error;
}

void mss_script_file::flush_buffer() {
    TK_ASSERT(fd_ >= 0);
    if (buffer_.empty())
        return;
    if (int error = write_buffer())
        fail(error);
    // A very large value (a memo of many megabytes) grows the buffer; give that memory back.
    if (buffer_.capacity() > 8 * flush_threshold) {
        buffer_ = std::string();
        buffer_.reserve(initial_capacity);
    }
}

void mss_script_file::flush() {
    flush_buffer();
}

void mss_script_file::close() {
    if (fd_ < 0)
        return;
    flush_buffer();
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
    if (!buffer_.empty())
        write_buffer();
    ::close(fd_);
    fd_ = -1;
}
