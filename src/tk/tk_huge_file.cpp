#include "tk/tk_huge_file.h"

#include "tk/tk_exception.h"
#include "tk/tk_trace.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char open_failed[] = "Error opening file";
const char read_failed[] = "Error reading from file";
const char write_failed[] = "Cannot write into file";

} // namespace

tk_huge_file::tk_huge_file(const std::string& path, bool writable)
    : path_(path), writable_(writable) {
    TK_TRACE(2, "tk_huge_file::ctor(%s, %d)", path.c_str(), writable ? 1 : 0);
    int flags = O_CLOEXEC | (writable ? O_RDWR | O_CREAT : O_RDONLY);
    do
        fd_ = ::open(path.c_str(), flags, 0644);
    while (fd_ < 0 && errno == EINTR);
    // The system's reason follows the message: "Permission denied" is not "missing".
    if (fd_ < 0) {
        const int error = errno;
        TK_TRACE(3, "open(%s) failed: errno=%d", path.c_str(), error);
        throw tk_exception_ex(std::string(open_failed) + ": ", tk_exception::recoverable, error);
    }
    // A folder opens for reading on POSIX, but it is no table.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        throw tk_exception_ex(std::string(open_failed) + ": ", tk_exception::recoverable, error);
    }
}

tk_huge_file::~tk_huge_file() {
    if (fd_ >= 0)
        ::close(fd_);
}

void tk_huge_file::get_at(uint64_t offset, void* buffer, uint32_t length) const {
    if (offset > static_cast<uint64_t>(INT64_MAX) - length)
        throw tk_exception(read_failed);
    auto* p = static_cast<unsigned char*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw tk_exception_ex();
        }
        if (n == 0) {
            TK_TRACE(3, "Short read at %llu: %u of %u bytes",
                     static_cast<unsigned long long>(offset), done, length);
            throw tk_exception(read_failed);
        }
        done += static_cast<uint32_t>(n);
    }
}

uint8_t tk_huge_file::byte_at(uint64_t offset) const {
    uint8_t b;
    get_at(offset, &b, 1);
    return b;
}

uint16_t tk_huge_file::u16_at(uint64_t offset) const {
    uint8_t b[2];
    get_at(offset, b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t tk_huge_file::u32_at(uint64_t offset) const {
    uint8_t b[4];
    get_at(offset, b, 4);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void tk_huge_file::put_at(uint64_t offset, const void* data, uint32_t length) {
    if (offset > static_cast<uint64_t>(INT64_MAX) - length)
        throw tk_exception(write_failed);
    const auto* p = static_cast<const unsigned char*>(data);
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = ::pwrite(fd_, p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Out of space, a read-only handle, an I/O error: nothing more can be written, and
            // the data already written is not all the caller asked for.
            TK_TRACE(3, "data_length != dwBytesWritten (%u of %u), errno=%d", done, length,
                     n < 0 ? errno : 0);
            throw tk_exception(write_failed);
        }
        done += static_cast<uint32_t>(n);
    }
}

uint64_t tk_huge_file::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw tk_exception_ex();
    return static_cast<uint64_t>(st.st_size);
}
