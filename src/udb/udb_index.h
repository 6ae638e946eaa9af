// Indexes of a table and the rules by which an index list absorbs a new entry.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct udb_index {
    std::u16string name;
    bool b_unique = false;
    bool b_primary = false;
    std::vector<std::u16string> fields; // key columns in key order

    // Whether the key begins with `columns`, compared ignoring case position by position.
    // An empty list gives true; more columns than the key has gives false.
    bool starts_with_fields(const std::vector<std::u16string>& columns) const;
};

// The indexes of one table, in the order they were added, which is also the order in which
// they are created. Names are compared ignoring case.
class udb_indexes {
public:
    using const_iterator = std::vector<udb_index>::const_iterator;

    size_t size() const noexcept { return list_.size(); }
    bool empty() const noexcept { return list_.empty(); }
    const udb_index& operator[](size_t i) const { return list_[i]; }
    const_iterator begin() const noexcept { return list_.begin(); }
    const_iterator end() const noexcept { return list_.end(); }
    void clear() noexcept { list_.clear(); }

    // True when no index of that name exists.
    bool is_acceptable_name(std::u16string_view name) const;
    // Whether an index of that name exists.
    bool find2(std::u16string_view name) const;
    // The index of that name; an internal error when there is none (ask find2 first).
    const udb_index& get_index(std::u16string_view name) const;

    // Adds the index, or merges it into an index of the same name:
    //   an existing primary key stays as it is;
    //   a new primary key takes the place of an existing index (name, flags, fields);
    //   an existing unique index stays as it is;
    //   a new unique index takes the place of an existing plain one;
    //   two plain indexes: the existing one stays.
    void push_back(const udb_index& index);

    // Whether the column (compared exactly) is a key column of any index, or of any primary
    // key when `primary_only`.
    bool is_idx_field(std::u16string_view column, bool primary_only) const;

private:
    udb_index* find(std::u16string_view name);
    const udb_index* find(std::u16string_view name) const;

    std::vector<udb_index> list_;
};
