// One value of a record: a variant that also knows its column's name and size.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <string>

class udb_field : public ole_variant {
public:
    udb_field();
    udb_field(std::u16string name, uint32_t size, const ole_variant& value = ole_variant());

    udb_field(const udb_field&) = default;
    udb_field(udb_field&& other) noexcept;
    udb_field& operator=(const udb_field&) = default;
    udb_field& operator=(udb_field&& other) noexcept;
    ~udb_field() = default;

    // A source refilling its record assigns plain values, which keep the name and size.
    using ole_variant::operator=;

    // The source column name.
    const std::u16string& get_name() const noexcept { return name_; }
    void set_name(std::u16string name);
    // A token for the name: fields with the same token have the same name. A copy keeps the
    // token, a new name gets a fresh one (an empty name has 0). A destination that has looked
    // a field's name up once recognises it in every later record of the table by this token
    // instead of comparing the text again.
    uint64_t get_name_id() const noexcept { return name_id_; }
    // The column size of the field.
    uint32_t get_size() const noexcept { return size_; }
    void set_size(uint32_t size) noexcept { size_ = size; }

private:
    uint32_t size_ = 0;
    std::u16string name_;
    uint64_t name_id_ = 0;
};
