// Records the server committed, by the way they went: bulk copy or INSERT statements.
#pragma once

#include <cstdint>

struct mss_load_counts {
    uint64_t bulk = 0;
    uint64_t statements = 0;
};
