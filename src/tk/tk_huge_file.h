// Positioned reads and writes with 64-bit offsets straight on a file descriptor.
//
// DBF tables and memo files are never loaded whole: every record and every memo block is
// fetched with one positioned read. Failures raise tk_exception with one of the messages
// "Error opening file" (followed by the system's reason, "Error opening file: Permission
// denied"), "Error reading from file" or "Cannot write into file", or the system's text
// (tk_exception_ex) when the system call itself fails.
#pragma once

#include <cstdint>
#include <string>

class tk_huge_file {
public:
    // Opens read-only, or read-write when `writable`. A read-write open creates a missing
    // file; a read-only open never does and fails with "Error opening file: <reason>".
    tk_huge_file(const std::string& path, bool writable);
    ~tk_huge_file();

    tk_huge_file(const tk_huge_file&) = delete;
    tk_huge_file& operator=(const tk_huge_file&) = delete;

    // Reads exactly `length` bytes at `offset`; fewer bytes (the end of the file) raise
    // "Error reading from file".
    void get_at(uint64_t offset, void* buffer, uint32_t length) const;
    // Little-endian values at `offset`.
    uint8_t byte_at(uint64_t offset) const;
    uint16_t u16_at(uint64_t offset) const;
    uint32_t u32_at(uint64_t offset) const;

    // Writes all `length` bytes at `offset`; a failed or short write raises
    // "Cannot write into file".
    void put_at(uint64_t offset, const void* data, uint32_t length);

    uint64_t size() const;

    const std::string& path() const noexcept { return path_; }
    bool writable() const noexcept { return writable_; }

private:
    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
};
