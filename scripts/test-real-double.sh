#!/usr/bin/env bash
# Builds everything with Real = double (ANAMORFOSI_REAL_DOUBLE) in its own
# folder (build-double) and runs the whole test suite there, so that the
# engine keeps working in either precision. The tests that need extended
# precision (the programs' echo of 2^13000, a parameter of 1.18e4932) say so
# and are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${REAL_DOUBLE_BUILD_DIR:-build-double}
./scripts/deps.sh --tests
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=ON -DANAMORFOSI_REAL_DOUBLE=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
