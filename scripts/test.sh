#!/usr/bin/env bash
# Builds stanvex with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja -DSTANVEX_WERROR=ON >/dev/null
cmake --build "$BUILD"
ctest --test-dir "$BUILD" --output-on-failure -j2 -LE slow
