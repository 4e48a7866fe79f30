#!/usr/bin/env bash
# The mapping on the face's sample lattice against the walk of every pixel on
# its own, on every bench scene (pictures of SIZES, Accuracy 1 and 4) and on the
# programs' examples: the cells that differ, and how far each such cell's
# centre lies from an edge of the polygons that disagree over it.
#
#   bench/lattice.sh             BUILD=dir (default build-bench), WORK=dir (default /tmp/anamorfosi-bench)
#   SIZES="1000 2000"            the bench pictures (default 1000)
#   NO_BUILD=1                   use the targets already built in BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build-bench}
WORK=${WORK:-/tmp/anamorfosi-bench}
SIZES=${SIZES:-1000}
if [ -z "${NO_BUILD:-}" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF > /dev/null
  cmake --build "$BUILD" --target anamorfosi_bench > /dev/null
fi
BENCH=$BUILD/bench/anamorfosi_bench
mkdir -p "$WORK"
cd "$WORK"
. "$ROOT/bench/scenes.sh"

for size in $SIZES; do
  [ -f "picture_$size.ppm" ] || "$BENCH" picture "$size" "$size" "picture_$size.ppm"
  for acc in 1 4; do
    for prog in specchio cilindro cono generico; do
      [ "$prog" = specchio ] && [ "$acc" != 1 ] && continue
      echo
      "$BENCH" lattice "$prog" "$(params "$prog" "$size" "$acc")"
    done
  done
done
# The examples, each in a copy of its folder (their file names are relative).
for prog in cilindro cono specchio generico; do
  rm -rf "example_$prog"
  cp -r "$ROOT/examples/$prog" "example_$prog"
  cp "$ROOT/examples/cartello.ppm" .
  echo
  (cd "example_$prog" && "$BENCH" lattice "$prog" parametri.txt)
done
