#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each of them for
# a bounded time; fails when any target finds a crash, a hang, a leak or a
# sanitizer report. Usage:
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Default 20 s per target and every target built. FUZZ_PARALLEL=N runs N
# targets at a time; FUZZ_FLAGS adds libFuzzer flags (e.g. "-fork=1
# -ignore_crashes=1" to go on after a finding and collect the others: the run
# still fails when any finding was written). The corpora grow in build-fuzz/corpus/<target> (seeded
# each time from the examples, fuzz-seeds.py and make_picture_seeds); findings
# go to build-fuzz/artifacts/<target>, the fuzzer's output to
# build-fuzz/logs/<target>.log. When clang or libFuzzer is missing, the script
# installs them (apt-get); FUZZ_OPTIONAL=1 lets it skip the run when that
# fails too.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
parallel=${FUZZ_PARALLEL:-1}

have_libfuzzer() {
  command -v clang++ >/dev/null && [ -e "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ]
}
if ! have_libfuzzer; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null ||
    true
fi
if ! have_libfuzzer; then
  echo "fuzz.sh: clang++ with libFuzzer is needed (apt-get install clang libclang-rt-14-dev)" >&2
  if [ "${FUZZ_OPTIONAL:-0}" = 1 ]; then
    echo "fuzz.sh: FUZZ_OPTIONAL=1, so the fuzz run is SKIPPED" >&2
    exit 0
  fi
  exit 2
fi
# A tree already configured with the fuzz targets (the sanitizer suite's, with
# SANITIZE_FUZZ=1) is used as it is: configuring it again here would build it
# anew with other options.
if ! grep -qx 'ANAMORFOSI_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DANAMORFOSI_FUZZ=ON -DANAMORFOSI_TESTS=OFF >/dev/null
fi
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\(fuzz_[a-z_]*\):.*/\1/p' | sort)
fi
cmake --build "$build" --target "${targets[@]}" make_picture_seeds

seeds=$(mktemp -d)
trap 'rm -rf "$seeds"' EXIT
python3 scripts/fuzz-seeds.py "$seeds"
"$build/fuzz/make_picture_seeds" "$seeds" >/dev/null
mkdir -p "$build/logs"

read -r -a flags <<<"${FUZZ_FLAGS:-}"
# The leaks that are not ours (fontconfig's caches, Assimp's on bad files) are
# left out as in the sanitizer run of the tests.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}

run_one() {
  local t=$1 name=${1#fuzz_}
  local corpus="$build/corpus/$t" artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  local seeddirs=()
  [ -d "$seeds/$name" ] && seeddirs+=("$seeds/$name")
  local before
  before=$(find "$artifacts" -type f | wc -l)
  if "$build/fuzz/$t" "$corpus" "${seeddirs[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" "${flags[@]}" >"$build/logs/$t.log" 2>&1 &&
      [ "$(find "$artifacts" -type f | wc -l)" -eq "$before" ]; then
    # The closing count, or in fork mode the last progress line.
    local summary
    summary=$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$build/logs/$t.log" | tail -1 || true)
    [ -n "$summary" ] || summary=$(grep -E '^#[0-9]+: cov:' "$build/logs/$t.log" | tail -1 || true)
    echo "$t: $summary"
  else
    echo "$t: FAILED, see $build/logs/$t.log and $artifacts/" >&2
    tail -40 "$build/logs/$t.log" >&2
    return 1
  fi
}

status=0
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$parallel" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
