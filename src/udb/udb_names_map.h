// Which source name became which destination name, per destination database.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// Keys are compared exactly (UTF-16 code units); the look-ups can also match ignoring case.
// A look-up that finds nothing answers the name it was given, so an empty map translates
// every name to itself.
class udb_names_map {
public:
    using name_map = std::map<std::u16string, std::u16string, std::less<>>;
    using field_maps = std::map<std::u16string, name_map, std::less<>>;

    // An existing key keeps its first destination.
    void add_tn_mapping(std::u16string source, std::u16string destination);
    // The column map of one table (source column -> destination column); replaces a previous
    // map of that table.
    void add_fn_map(std::u16string table, name_map columns);

    std::u16string get_tn_mapped_name(std::u16string_view name, bool exact) const;
    // `table` is found exactly; `field` exactly or ignoring case.
    std::u16string get_fn_mapped_name(std::u16string_view table, std::u16string_view field,
                                      bool exact) const;
    // The reverse of get_fn_mapped_name: the source column that became `field`.
    std::u16string get_fn_orig_name(std::u16string_view table, std::u16string_view field,
                                    bool exact) const;

    // Renames, in `text`, every table and then every column of every table (tables in key
    // order), each step working on the result of the previous one.
    std::u16string do_global_replace1(std::u16string_view text, std::u16string_view prefix,
                                      std::u16string_view suffix) const;
    // Replaces each whole-word occurrence (case-sensitive) of each source name by its
    // destination name, with `prefix`/`suffix` added where the destination lacks them. An
    // occurrence touching a letter or digit on either side is part of a longer word and stays.
    static std::u16string do_global_replace2(std::u16string_view text, const name_map& map,
                                             std::u16string_view prefix,
                                             std::u16string_view suffix);

    const name_map& table_map() const noexcept { return tables_; }
    const field_maps& field_map() const noexcept { return fields_; }
    // Changes with every change of the map, so that users may cache look-ups.
    uint64_t generation() const noexcept { return generation_; }

private:
    name_map tables_;
    field_maps fields_;
    uint64_t generation_ = 0;
};
