#!/usr/bin/env bash
# Installs the dependencies, builds Tabrix with its tests and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The independent T-SQL parsers the script tests check every statement with.
npm ci --prefix tests/mss/sql --no-audit --no-fund --loglevel=error
scripts/check-format.sh
scripts/check-layers.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The table and memo readers under the fuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# for about a minute; run scripts/fuzz.sh with more seconds by hand for longer.
scripts/fuzz.sh 60
