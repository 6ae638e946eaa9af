// Naming rules for DBF table and field names: at most 10 characters, letters, digits, "_"
// and "-"; field names also begin with something other than a digit.
#pragma once

#include "udb/udb_schema.h"
#include "udb/udb_validator.h"

#include <string>
#include <string_view>

class dbf_validator : public udb_validator {
public:
    static constexpr uint32_t max_name_length = 10;

    dbf_validator();

    bool is_acceptable(std::u16string_view name) const override;
    // A letter first ("A" is put in front otherwise), cut to 10 characters, every other
    // character "_"; when that is not acceptable or already taken, the first 7 characters and
    // a number from 000 to 999.
    std::u16string get_safe_name(std::u16string_view name) const override;

protected:
    // Length and characters only.
    bool has_acceptable_characters(std::u16string_view name) const;
};

// Field names of one table: the schema's names are taken, so new names do not collide.
class dbf_fn_validator : public dbf_validator {
public:
    dbf_fn_validator() = default;
    explicit dbf_fn_validator(const udb_schema& schema);

    // Not empty and not beginning with a digit, besides the table-name rules.
    bool is_acceptable(std::u16string_view name) const override;
};
