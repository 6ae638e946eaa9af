// Messages for OLE DB failures, keyed by error code.
//
// A code is 0x80000 plus the low 16 bits of the failing HRESULT, so 0x80E4D stands for
// 0x80040E4D.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

struct tk_error_pair {
    uint32_t code;
    const char* message;
};

class tk_error_converter {
public:
    // A null table is an internal error.
    tk_error_converter(const tk_error_pair* pairs, size_t count);
    explicit tk_error_converter(std::span<const tk_error_pair> pairs)
        : tk_error_converter(pairs.data(), pairs.size()) {}

    void load_map(const tk_error_pair* pairs, size_t count);
    // The message stored for `code`, or an empty string.
    std::string convert(uint32_t code) const;
    size_t size() const noexcept { return map_.size(); }

private:
    std::map<uint32_t, std::string> map_;
};

// The product's table of OLE DB messages (27 pairs).
std::span<const tk_error_pair> tk_odb_error_table() noexcept;
