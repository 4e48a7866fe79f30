#!/usr/bin/env bash
# Builds the engine with Real = double (-DANAMORFOSI_REAL_DOUBLE=ON, the
# precision of the browser's build) and runs its tests: the engine, the mirror
# models, the mirror files, the pipeline and the programs' shared files. The
# four programs and the command keep long double; FULL=1 builds and runs the
# whole suite in double instead. With emscripten there, the browser's module
# is checked against this tree's command, byte for byte (site_engine). The
# module does not depend on the tree's Real: the one the plain tree built
# (build/site/module/engine.js, or SITE_ENGINE) is used when it is there,
# instead of compiling it again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${REAL_DOUBLE_BUILD_DIR:-build-double}
engine=${SITE_ENGINE:-$PWD/build/site/module/engine.js}
given=()
[ -f "$engine" ] && given=(-DANAMORFOSI_SITE_ENGINE="$engine")
./scripts/deps.sh --tests
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=ON -DANAMORFOSI_REAL_DOUBLE=ON \
  -DANAMORFOSI_BENCH=OFF "${given[@]}"
if [ "${FULL:-0}" = 1 ]; then
  cmake --build "$build"
  ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)"
  exit 0
fi
suites=(core_test formats_test mirrors_test meshes_test pipeline_test pipeline_files_test)
cmake --build "$build" --target "${suites[@]}"
for suite in "${suites[@]}"; do
  binary=$(find "$build" -name "$suite" -type f -perm -u+x | head -n 1)
  echo "== $suite (Real = double)"
  "$binary" --gtest_brief=1
done
if ctest --test-dir "$build" -N -R '^site_engine$' | grep -q site_engine; then
  echo "== site_engine (the browser's module against the command in double)"
  cmake --build "$build" --target anamorfosi kinds_json site_engine site_packages
  ctest --test-dir "$build" --output-on-failure -R '^site_engine$'
fi
