// A whole file held as one memory image: read at construction, written back on flush.
// Used to build new tables, whose header is rewritten many times before it is final.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Base of the files addressed by 32-bit offsets.
class tk_file {
public:
    // Mode bits: bit 0 writable; bits 0 and 1 together create or truncate the file.
    enum : uint32_t { mode_read = 0, mode_write = 1, mode_create = 3 };

    // An empty name is an internal error. A file opened for reading only must exist and
    // be readable, otherwise "Bad path or busy with another process" (level 1).
    tk_file(const std::string& name, uint32_t mode);
    virtual ~tk_file() = default;

    tk_file(const tk_file&) = delete;
    tk_file& operator=(const tk_file&) = delete;

    virtual void get_at(uint32_t offset, void* buffer, uint32_t length) const = 0;
    virtual uint8_t byte_at(uint32_t offset) const = 0;
    virtual uint16_t u16_at(uint32_t offset) const = 0;
    virtual uint32_t u32_at(uint32_t offset) const = 0;
    virtual void put_at(uint32_t offset, const void* data, uint32_t length) = 0;
    virtual uint32_t size() const = 0;

    // The canonical (absolute) name.
    const std::string& name() const noexcept { return name_; }
    uint32_t mode() const noexcept { return mode_; }
    bool is_writable() const noexcept { return (mode_ & mode_write) != 0; }

private:
    std::string name_;
    uint32_t mode_;
};

class tk_memory_file : public tk_file {
public:
    // Reads the whole file. "Error opening file" when it does not open in the mode,
    // "Error reading from file" when it cannot be read whole.
    tk_memory_file(const std::string& name, uint32_t mode);
    // Flushes a writable file that was changed. A failure here cannot be reported: call
    // flush() first wherever the outcome matters.
    ~tk_memory_file() override;

    // A pointer to `length` bytes of the image at `offset`. Beyond the content:
    // "Error reading from file"; the image stays as it was.
    const uint8_t* data_at(uint32_t offset, uint32_t length) const;

    void get_at(uint32_t offset, void* buffer, uint32_t length) const override;
    uint8_t byte_at(uint32_t offset) const override;
    uint16_t u16_at(uint32_t offset) const override;
    uint32_t u32_at(uint32_t offset) const override;
    // Grows the content when the data reaches beyond it (zeros fill any gap).
    void put_at(uint32_t offset, const void* data, uint32_t length) override;
    uint32_t size() const override { return size_; }

    // A larger size appends zeros; a smaller one only lowers the size.
    void set_size(uint32_t new_size);
    // Writes the image to the file (writable mode only; an internal error otherwise).
    // "Error opening file" or "Cannot write into file" on failure.
    void flush();

private:
    void reserve(uint32_t capacity);

    std::unique_ptr<uint8_t[]> image_;
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
    bool dirty_ = false; // changed since it was read or last flushed
};
