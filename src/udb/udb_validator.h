// Whether a name can be used as it is, and a safe replacement when it cannot.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The generic rules: a length limit, restricted names and illegal characters. Destinations
// and sources derive their own naming rules from it and fill the lists in their constructors.
// Names are compared ignoring case.
class udb_validator {
public:
    // 0 = no length limit. The lists start empty.
    explicit udb_validator(uint32_t max_length = 0);
    virtual ~udb_validator() = default;

    // Not too long, not restricted, free of illegal characters.
    virtual bool is_acceptable(std::u16string_view name) const;
    // Already among the existing names.
    virtual bool is_duplicated(std::u16string_view name) const;
    // The name made acceptable and unique: illegal characters become "_" and, when that is
    // not enough, a five-digit number is appended ("name00000", "name00001" ...). The result
    // is not added to the existing names; callers add what they finally use.
    virtual std::u16string get_safe_name(std::u16string_view name) const;

    void add_existing_name(std::u16string name);

    uint32_t max_length() const noexcept { return max_length_; }
    const std::vector<std::u16string>& existing_names() const noexcept { return existing_names_; }

protected:
    uint32_t max_length_;
    // Kept for derived validators that translate names.
    std::map<std::u16string, std::u16string> name_map_;
    std::vector<char16_t> illegal_chars_;
    std::vector<std::u16string> restricted_names_;
    std::vector<std::u16string> existing_names_;
};
