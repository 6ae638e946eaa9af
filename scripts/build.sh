#!/usr/bin/env bash
# Configures and builds Tabrix into ./build (warnings are errors).
#   scripts/build.sh [target ...]      default: everything, tests included
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_WERROR=ON >/dev/null
if (($#)); then
    cmake --build build --target "$@"
else
    cmake --build build
fi
