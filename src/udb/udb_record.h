// One record: its fields in column order.
#pragma once

#include "udb/udb_field.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Field i of a source record corresponds to column i of the source schema. The record holds
// its fields in place, one block for all of them; a source usually builds them once per table
// and then refills the same record object for every row (assigning values to the fields it
// already has), so walking a table allocates nothing per record beyond what the values
// themselves need. Adding a field may move the others: references to fields hold until then.
class udb_record {
public:
    udb_record() = default;
    virtual ~udb_record() = default;
    udb_record(const udb_record&) = delete;
    udb_record& operator=(const udb_record&) = delete;
    udb_record(udb_record&&) noexcept = default;
    udb_record& operator=(udb_record&&) noexcept = default;

    size_t size() const noexcept { return fields_.size(); }
    bool empty() const noexcept { return fields_.empty(); }
    udb_field& operator[](size_t i) { return fields_[i]; }
    const udb_field& operator[](size_t i) const { return fields_[i]; }

    udb_field& add_field(udb_field field);
    udb_field& add_field(std::u16string name, uint32_t size,
                         const ole_variant& value = ole_variant());
    // Destroys every field.
    void clear() noexcept;
    void reserve(size_t n) { fields_.reserve(n); }

    // By name, ignoring case; the first field of that name.
    bool find_field(std::u16string_view name) const;
    int32_t get_field_idx(std::u16string_view name) const;
    // The field of that name, or an empty field when there is none.
    const udb_field& get_field(std::u16string_view name) const;

    // The record carries the deleted mark (sources without one never set it).
    bool is_deleted() const noexcept { return deleted_; }
    void set_deleted(bool deleted) noexcept { deleted_ = deleted; }
    // The record's number in its table, counted from 1 (0: not numbered). The driver numbers
    // each record it hands to a destination, so that a destination that writes records later
    // than it receives them can still say which one failed.
    uint32_t number() const noexcept { return number_; }
    void set_number(uint32_t number) noexcept { number_ = number; }

private:
    std::vector<udb_field> fields_;
    bool deleted_ = false;
    uint32_t number_ = 0;
};
