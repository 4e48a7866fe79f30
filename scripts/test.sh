#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh --tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=ON
cmake --build build
ctest --test-dir build --output-on-failure --no-tests=error -j "$(nproc)"
