// The columns of one table, in order.
#pragma once

#include "udb/udb_ftd.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Column order is significant everywhere: it is the order of the CREATE TABLE columns and of
// the fields of every record. The schema owns its descriptors; copying a schema copies them.
// Look-ups by name ignore case in the user's locale and find the first column of that name.
class udb_schema {
public:
    using iterator = std::vector<t_ftd>::iterator;
    using const_iterator = std::vector<t_ftd>::const_iterator;

    udb_schema() = default;

    size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }
    const t_ftd& operator[](size_t i) const { return fields_[i]; }
    t_ftd& operator[](size_t i) { return fields_[i]; }
    const_iterator begin() const noexcept { return fields_.begin(); }
    const_iterator end() const noexcept { return fields_.end(); }
    iterator begin() noexcept { return fields_.begin(); }
    iterator end() noexcept { return fields_.end(); }

    void push_back(t_ftd field) { fields_.push_back(std::move(field)); }
    void clear() noexcept { fields_.clear(); }
    void reserve(size_t n) { fields_.reserve(n); }

    bool find_field(std::u16string_view name) const;
    // Position of the column, -1 when there is none.
    int32_t get_field_idx(std::u16string_view name) const;
    // The column's size, 0xFFFFFFFF when there is none.
    uint32_t get_field_size(std::u16string_view name) const;
    // The column's type, VT_NULL when there is none.
    uint16_t get_field_type(std::u16string_view name) const;
    // The column, or an empty descriptor (no name, VT_EMPTY, size 0) when there is none.
    const t_ftd& get_field1(std::u16string_view name) const;

    // Whether every column, position by position, can be written into `dest`'s. Names play
    // no part; the column counts must agree.
    bool conform_to(const udb_schema& dest) const;

private:
    std::vector<t_ftd> fields_;
};
