#include "mss/mss_script_file.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Writes all bytes, resuming after interruptions and partial writes. Returns 0 or the errno.
int write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= size_t(n);
    }
    return 0;
}

} // namespace

mss_script_file::mss_script_file(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        int error = errno;
        TK_TRACE(2, "Failed to open file");
        throw tk_exception_ex(
            "Cannot create the script file '" + path_ + "': ", tk_exception::stop_run, error);
    }
    buffer_.reserve(initial_capacity);
}

mss_script_file::~mss_script_file() {
    if (fd_ < 0)
        return;
    write_all(fd_, buffer_.data(), buffer_.size());
    ::close(fd_);
}

void mss_script_file::flush_buffer() {
    TK_ASSERT(fd_ >= 0);
    if (buffer_.empty())
        return;
    if (int error = write_all(fd_, buffer_.data(), buffer_.size())) {
        TK_TRACE(3, "Cannot write into the script file '%s'", path_.c_str());
        throw tk_exception_ex(
            "Cannot write into the script file '" + path_ + "': ", tk_exception::stop_run, error);
    }
    written_ += buffer_.size();
    buffer_.clear();
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
    int fd = fd_;
    fd_ = -1;
    // A failed close can be the first report of a failed delayed write (NFS, quotas).
    if (::close(fd) != 0 && errno != EINTR) {
        int error = errno;
        throw tk_exception_ex(
            "Cannot write into the script file '" + path_ + "': ", tk_exception::stop_run, error);
    }
}
