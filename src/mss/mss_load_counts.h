// Records the server committed, by the way they went: bulk copy or INSERT statements.
#pragma once

#include <cstdint>
#include <string>

struct mss_load_counts {
    uint64_t bulk = 0;
    uint64_t statements = 0;
    // Why fast load went by statements: the driver offers no bcp interface. Empty otherwise.
    std::string no_bulk_copy;
};
