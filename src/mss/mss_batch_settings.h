// The settings of the script format that loads fast, in one table: their names on the
// command line, in profiles and among the stored settings, their limits and their place in
// the script options. Everything that reads or writes them walks this table.
#pragma once

#include "mss/mss_dump_options.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

// MS SQL takes at most 1000 rows in one VALUES list.
inline constexpr uint32_t mss_max_rows_per_insert = 1000;

struct mss_batch_setting {
    std::string_view option;         // "--rows-per-insert N" on the command line
    std::u16string_view profile_key; // in the profile's MS SQL section
    std::string_view stored_key;     // among the stored settings
    uint32_t max;                    // the largest value; 0 turns the setting off
    uint32_t mss_dump_options::*member;
    std::string_view help; // the command line help, after the option and its value
};

inline constexpr mss_batch_setting mss_batch_settings[] = {
    {"rows-per-insert", u"dump rows per insert", "dmp_rows_insert", mss_max_rows_per_insert,
     &mss_dump_options::rows_per_insert,
     "write up to N records (at most 1000) in one INSERT statement"},
    {"rows-per-batch", u"dump rows per batch", "dmp_rows_batch", 100'000'000,
     &mss_dump_options::rows_per_batch,
     "end a batch (GO) after every N records instead of after every\n"
     "                           INSERT statement"},
};

inline constexpr size_t mss_batch_setting_count = std::size(mss_batch_settings);

// The value of a setting read from text: decimal digits from 0 to the setting's largest value;
// nothing for any other text.
inline std::optional<uint32_t> mss_parse_batch_setting(const mss_batch_setting& setting,
                                                       std::string_view text) {
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    if (value > setting.max)
        return std::nullopt;
    return uint32_t(value);
}
