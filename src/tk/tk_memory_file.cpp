#include "tk/tk_memory_file.h"

#include "tk/tk_exception.h"
#include "tk/tk_files.h"
#include "tk/tk_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char open_failed[] = "Error opening file";
const char read_failed[] = "Error reading from file";
const char write_failed[] = "Cannot write into file";

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Closing flushes the stream's buffer: a failure there is a failed write.
bool close_file(file_ptr& f) {
    return std::fclose(f.release()) == 0;
}

std::string canonical_name(const std::string& name) {
    TK_ASSERT(!name.empty());
    std::string canonical = tk_file_name(name).path();
    TK_TRACE(1, "Canonized file name: %s", canonical.c_str());
    return canonical;
}

} // namespace

tk_file::tk_file(const std::string& name, uint32_t mode)
    : name_(canonical_name(name)), mode_(mode) {
    if (!is_writable() && !tk_is_file_exist(name_, tk_exist_read))
        throw tk_exception("Bad path or busy with another process", tk_exception::stop_run);
}

tk_memory_file::tk_memory_file(const std::string& name, uint32_t mode) : tk_file(name, mode) {
    TK_TRACE(2, "tk_memory_file::initialize(%s)", this->name().c_str());
    const char* how = (mode & mode_create) == mode_create ? "w+b" : is_writable() ? "r+b" : "rb";
    file_ptr f(std::fopen(this->name().c_str(), how));
    if (!f)
        throw tk_exception(open_failed);
    struct stat st {};
    if (::fstat(::fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode))
        throw tk_exception(open_failed);
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        throw tk_exception(read_failed);
    long end = std::ftell(f.get());
    // The image is addressed by 32-bit offsets and holds one byte more than the content.
    if (end < 0 || static_cast<unsigned long>(end) >= UINT32_MAX ||
        std::fseek(f.get(), 0, SEEK_SET) != 0)
        throw tk_exception(read_failed);
    uint32_t size = static_cast<uint32_t>(end);
    reserve(size);
    if (size && std::fread(image_.get(), 1, size, f.get()) != size)
        throw tk_exception(read_failed);
    size_ = size;
}

tk_memory_file::~tk_memory_file() {
    if (!is_writable() || !dirty_)
        return;
    try {
        flush();
    } catch (const tk_exception& e) {
        TK_TRACE(3, "tk_memory_file::dtor: %s", e.what());
    }
}

void tk_memory_file::reserve(uint32_t capacity) {
    if (image_ && capacity <= capacity_)
        return;
    // Grow geometrically so that a table written record by record is not copied each time.
    uint64_t grown = std::max<uint64_t>(capacity, uint64_t{capacity_} + capacity_ / 2);
    uint32_t new_capacity = static_cast<uint32_t>(std::min<uint64_t>(grown, UINT32_MAX - 1));
    auto image = std::make_unique<uint8_t[]>(size_t{new_capacity} + 1);
    if (image_)
        std::memcpy(image.get(), image_.get(), size_);
    image_ = std::move(image);
    capacity_ = new_capacity;
}

const uint8_t* tk_memory_file::data_at(uint32_t offset, uint32_t length) const {
    if (uint64_t{offset} + length > size_) {
        TK_TRACE(3, "Reading out of range: offset=%u, length=%u, file size=%u", offset, length,
                 size_);
        throw tk_exception(read_failed);
    }
    return image_.get() + offset;
}

void tk_memory_file::get_at(uint32_t offset, void* buffer, uint32_t length) const {
    const uint8_t* p = data_at(offset, length);
    if (length)
        std::memcpy(buffer, p, length);
}

uint8_t tk_memory_file::byte_at(uint32_t offset) const {
    return *data_at(offset, 1);
}

uint16_t tk_memory_file::u16_at(uint32_t offset) const {
    const uint8_t* b = data_at(offset, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t tk_memory_file::u32_at(uint32_t offset) const {
    const uint8_t* b = data_at(offset, 4);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void tk_memory_file::put_at(uint32_t offset, const void* data, uint32_t length) {
    uint64_t end = uint64_t{offset} + length;
    if (end >= UINT32_MAX)
        throw tk_exception(write_failed);
    if (end > size_)
        set_size(static_cast<uint32_t>(end));
    if (length)
        std::memcpy(image_.get() + offset, data, length);
    dirty_ = true;
}

void tk_memory_file::set_size(uint32_t new_size) {
    if (new_size >= UINT32_MAX)
        throw tk_exception(write_failed);
    if (new_size > size_) {
        reserve(new_size);
        std::memset(image_.get() + size_, 0, new_size - size_);
    }
    size_ = new_size;
    dirty_ = true;
}

void tk_memory_file::flush() {
    TK_ASSERT(is_writable());
    if (!image_)
        return;
    file_ptr f(std::fopen(name().c_str(), "w+b"));
    if (!f) {
        TK_TRACE(3, "fopen_s returns error: %08X", static_cast<unsigned>(errno));
        throw tk_exception(open_failed);
    }
    if (size_ && std::fwrite(image_.get(), 1, size_, f.get()) != size_)
        throw tk_exception(write_failed);
    if (!close_file(f))
        throw tk_exception(write_failed);
    dirty_ = false;
}
