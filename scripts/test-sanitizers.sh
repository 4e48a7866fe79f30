#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its
# own folder (build-asan) and runs the whole test suite there. Every report
# ends the process that made it with a non-zero status, so any report fails
# the suite. SANITIZE_FUZZ=1 builds the tree with clang and the libFuzzer
# targets in it as well (-DANAMORFOSI_FUZZ=ON), so that scripts/fuzz.sh runs
# them from the same tree (FUZZ_BUILD_DIR=build-asan) instead of compiling
# everything a third time: what CI does. The coverage instrumentation the fuzz
# targets need is then in the tests too; it slows them, it checks the same.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SANITIZE_BUILD_DIR:-build-asan}
./scripts/deps.sh --tests
compiler=()
if [ "${SANITIZE_FUZZ:-0}" = 1 ]; then
  ./scripts/deps.sh --fuzz
  compiler=(-DCMAKE_CXX_COMPILER=clang++ -DANAMORFOSI_FUZZ=ON)
fi
# -O1 and line tables only: the sanitizers' reports keep their file and line,
# and the build takes about a third less than at -O2 -g (server.cpp: 37 s
# against 55 s). The benchmarks are not built.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DANAMORFOSI_SANITIZE=ON -DANAMORFOSI_TESTS=ON -DANAMORFOSI_BENCH=OFF -DANAMORFOSI_SITE=OFF "${compiler[@]}"
cmake --build "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
# The browser's page (site_page.*, minutes in headless Chromium) is left to
# the plain suite: the tree builds no site (-DANAMORFOSI_SITE=OFF), as its
# WebAssembly module is compiled with flags of its own, sanitizers or not; the
# plain suite and the double tree check it. The server runs here through its
# own tests (web_server takes the hostile requests), serving the page that
# says the site was not built.
# So are the tests that repeat, at scale, what smaller tests run here: the
# facet index on millions of facets and the seeded scenes of the view (about
# two minutes of the plain suite's processor time, several times that under
# the sanitizers; their code runs here on smaller cases). Likewise the checks
# of accuracy that trace whole prints again by other means (the smooth mesh
# and the sphere against an independent trace, the cone's picture sizes, the
# score against every pixel mapped): about two minutes here, and the same
# prints' code runs here in the other tests of those suites.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" \
  -E '^(site_page\..*|NearestFacet\.IndexAgreesWithTableSearchOnAMillionFacets|BuildFacetIndex\.StaysWithinItsDepthOnClusteredMillions|Vista\.SeededCylinderAndConeScenesRestoreThePicture|SmoothMesh\.PrintHoldsInTheRoundSphereByAnIndependentTrace|SpherePrint\.VistaAndAHeldOutTraceSeeThePictureFromBothEyes|Vista\.ConePrintsRoundTheAxisRestoreEveryPictureSize|FollowPrint\.TheScoreStaysWithinAPointOfEveryPixelMapped)$'
