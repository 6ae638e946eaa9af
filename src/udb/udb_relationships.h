// Foreign keys of a database.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct udb_relationship {
    std::u16string name;         // the constraint name
    std::u16string second_name;  // kept with the key; no destination of ours writes it
    std::u16string child_table;  // holds the foreign key
    std::u16string parent_table; // is referenced
    // The update and delete rules as SQL clauses ("ON DELETE ... ON UPDATE ..."); empty when
    // unknown.
    std::u16string actions;
    std::vector<std::u16string> child_columns;
    std::vector<std::u16string> parent_columns; // paired by position with child_columns
};

// In the order they were added. Names are compared ignoring case.
class udb_relationships {
public:
    using const_iterator = std::vector<udb_relationship>::const_iterator;

    size_t size() const noexcept { return list_.size(); }
    bool empty() const noexcept { return list_.empty(); }
    const udb_relationship& operator[](size_t i) const { return list_[i]; }
    const_iterator begin() const noexcept { return list_.begin(); }
    const_iterator end() const noexcept { return list_.end(); }
    void push_back(udb_relationship relationship) { list_.push_back(std::move(relationship)); }
    void clear() noexcept { list_.clear(); }

    // True when no relationship of that name exists.
    bool is_acceptable_name(std::u16string_view name) const;
    // The relationship of that name; an internal error when there is none.
    const udb_relationship& get_index(std::u16string_view name) const;

private:
    std::vector<udb_relationship> list_;
};
