#!/usr/bin/env bash
# Builds the programs and runs the example scene of one of them (cilindro by
# default) unattended; the anamorphosis is written into the example's folder
# as a PNG picture.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
program="${1:-cilindro}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF >/dev/null
cmake --build build --target "$program"
cd "examples/$program"
printf 'parametri.txt\n' | "../../build/$program/$program"
echo
echo "Anamorfosi scritta in examples/$program/anamorfosi.png"
