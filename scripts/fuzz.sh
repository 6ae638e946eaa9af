#!/usr/bin/env bash
# Builds the DBF fuzz target with clang (AddressSanitizer, UndefinedBehaviorSanitizer,
# libFuzzer) in build-fuzz and runs it for a bounded time, seeded with the shared fixtures.
#   scripts/fuzz.sh [seconds]      default 60
# TABRIX_FIXTURES names another folder of seed tables (default ../shared/fixtures).
# Findings are written to build-fuzz/findings/ (crash-*, leak-*, timeout-*); the script exits
# non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
root="$PWD"
build="$root/build-fuzz"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DTABRIX_FUZZ=ON -DTABRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target dbf_fuzz

corpus="$build/corpus"
seeds="$build/seeds"
findings="$build/findings"
mkdir -p "$corpus" "$seeds" "$findings"

# A seed is one fixture table with its memo file: the table's length as 4 little-endian
# bytes, the table, then the memo file (see fuzz/dbf_fuzz.cpp).
fixtures="${TABRIX_FIXTURES:-$root/../shared/fixtures}"
if [[ -d "$fixtures" ]]; then
    while IFS= read -r -d '' table; do
        base="${table%.*}"
        memo=""
        for ext in dbt DBT fpt FPT smt SMT dct DCT; do
            if [[ -f "$base.$ext" ]]; then memo="$base.$ext"; break; fi
        done
        name="$(printf '%s' "${table#$fixtures/}" | tr '/ ' '__')"
        size=$(stat -c %s "$table")
        {
            printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((size & 255)) $(((size >> 8) & 255)) \
                $(((size >> 16) & 255)) $(((size >> 24) & 255)))"
            cat "$table"
            if [[ -n "$memo" ]]; then cat "$memo"; fi
        } >"$seeds/$name"
    done < <(find "$fixtures" -type f \( -iname '*.dbf' -o -iname '*.dbc' \) -print0)
else
    echo "fuzz.sh: shared fixtures not found beside the repository; starting without seeds" >&2
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$build/bin/dbf_fuzz" "$corpus" "$seeds" \
    -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix="$findings/" -print_final_stats=1
