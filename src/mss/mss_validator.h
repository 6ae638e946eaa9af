// The MS SQL naming rules for table and column names.
//
// Every name is written in brackets, so MS SQL takes almost anything: a name is acceptable
// when it begins with a letter or "_", or when it already stands in brackets. Reserved words
// are acceptable for the same reason. A name that is taken gets prefixes until it is free.
#pragma once

#include "udb/udb_validator.h"

#include <string>
#include <string_view>
#include <vector>

class udb_schema;

class mss_validator : public udb_validator {
public:
    // No length limit, no restricted names, no illegal characters.
    mss_validator();

    // An empty name is an internal error.
    bool is_acceptable(std::u16string_view name) const override;
    // While the name is taken, a prefix from the cycle "_", "1", "_", "2", "_", "3", ... is put
    // in front of it: T, _T, 1_T, _1_T, 2_1_T, ... The result is not added to the existing
    // names.
    std::u16string get_safe_name(std::u16string_view name) const override;
};

// Table names: the existing names are the tables being converted and the names the
// destination already holds.
class mss_tn_validator : public mss_validator {
public:
    mss_tn_validator(const std::vector<std::u16string>& tables,
                     const std::vector<std::u16string>& names_in_use);
};

// Column names: the existing names are the acceptable column names of the schema.
class mss_fn_validator : public mss_validator {
public:
    explicit mss_fn_validator(const udb_schema& schema);
};
