#!/usr/bin/env bash
# Benchmarks of the four programs on scenes made here: pictures of 1000 x 1000
# and 2000 x 2000 pixels, PixelCount 5000, Accuracy 1 and 4 (specchio has no
# accuracy). For each run: the time of every stage, rays and input pixels per
# second, and the mapping on 1 thread against all cores. Then the faceted
# mirror at 50000 triangles (index against a search of the whole table, and
# against cilindro on the same picture), our picture files against netpbm's
# plain-format reader and writer on a 5000 x 5000 picture, and the peak memory
# of the largest case. Last, mirror meshes: the loading and index build of
# faceted cylinders of 50000, 200000 and 1000000 triangles as binary STL, and
# the command's mapping on the million-triangle cylinder against its cylinder.
#
#   bench/run.sh                 everything (about 25 minutes on 2 cores)
#   SIZES=1000 bench/run.sh      only the 1000 x 1000 pictures
#   BUILD=dir WORK=dir           build folder (default build-bench) and scratch
#                                folder for the scenes (default /tmp/anamorfosi-bench)
#   NO_BUILD=1                   use the targets already built in BUILD
#   PAIRS=n                      mappings on 1 thread and on all cores, taken
#                                in turn, n times each (default 3): the machine's
#                                speed drifts from minute to minute, so each
#                                speed-up is taken against the one-thread
#                                mapping just before it, and the median counts
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build-bench}
WORK=${WORK:-/tmp/anamorfosi-bench}
SIZES=${SIZES:-"1000 2000"}
THREADS=$(nproc)
PAIRS=${PAIRS:-3}
RUNS=$(for _ in $(seq "$PAIRS"); do printf '1 %s ' "$THREADS"; done)

if [ -z "${NO_BUILD:-}" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF > /dev/null
  cmake --build "$BUILD" --target anamorfosi_bench cono anamorfosi > /dev/null
fi
ANAMORFOSI=$BUILD/anamorfosi/anamorfosi
BENCH=$BUILD/bench/anamorfosi_bench
mkdir -p "$WORK"
cd "$WORK"

echo "== machine: $(nproc) cores, $(uname -sr); load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$BENCH" machine

. "$ROOT/bench/scenes.sh"

for size in $SIZES; do
  [ -f "picture_$size.ppm" ] || "$BENCH" picture "$size" "$size" "picture_$size.ppm"
  for acc in 1 4; do
    for prog in specchio cilindro cono generico; do
      [ "$prog" = specchio ] && [ "$acc" != 1 ] && continue
      echo
      "$BENCH" run "$prog" "$(params "$prog" "$size" "$acc")" $RUNS
    done
  done
  "$BENCH" machine
done

echo
echo "== faceted mirror: index against a search of the whole table"
"$BENCH" search "$(params generico 1000 1)" 1

echo
echo "== picture files, 5000 x 5000 plain picture"
[ -f picture_5000.ppm ] || "$BENCH" picture 5000 5000 picture_5000.ppm
ls -l picture_5000.ppm | awk '{print "input: " $5 " bytes"}'
"$BENCH" ppm picture_5000.ppm ours_plain.ppm
TIMEFMT="%e s wall, %U s user, %S s sys, %M kB"
/usr/bin/time -f "netpbm: read the plain picture (pamfile -count)       $TIMEFMT" pamfile -count picture_5000.ppm > /dev/null
/usr/bin/time -f "netpbm: read plain, write raw (pnmtopnm)              $TIMEFMT" pnmtopnm picture_5000.ppm > raw_5000.ppm
/usr/bin/time -f "netpbm: read raw, write plain (pnmtoplainpnm)         $TIMEFMT" pnmtoplainpnm raw_5000.ppm > netpbm_plain.ppm
/usr/bin/time -f "netpbm: read raw only (pamfile -count)                $TIMEFMT" pamfile -count raw_5000.ppm > /dev/null
rm -f raw_5000.ppm netpbm_plain.ppm ours_plain.ppm

echo
echo "== peak memory of the largest case: cono, 2000 x 2000 picture, PixelCount 5000 (a 5000 x 5000 raster)"
[ -f picture_2000.ppm ] || "$BENCH" picture 2000 2000 picture_2000.ppm
p=$(params cono 2000 1)
printf '%s\n\n\n\n' "$p" | /usr/bin/time -v "$BUILD/cono/cono" 2> time_v.txt | tail -3 | tr -d '\r'
echo
grep -E "Elapsed|Maximum resident" time_v.txt
head -2 out.ppm | tail -1 | awk '{print "output cells: " $1 " x " $2 " (raster " $1 * $2 * 3 " bytes)"}'
echo "input picture: 2000 x 2000 (12000000 bytes of samples)"

echo
echo "== mirror meshes: loading and index build (binary STL), peak memory"
for n in 50000 200000 1000000; do
  [ -f "cylinder_$n.stl" ] || "$BENCH" faceted-cylinder 0 0 25 0 60 "$n" "cylinder_$n.stl" > /dev/null
  /usr/bin/time -f "  whole process: %e s wall, %M kB peak" "$BENCH" mesh "cylinder_$n.stl"
done

echo
echo "== the command on the million-triangle cylinder against its cylinder, 1000 x 1000 picture, accuracy 4"
[ -f picture_1000.ppm ] || "$BENCH" picture 1000 1000 picture_1000.ppm
common=(--face cylinder_face.dxf --eye 0,-300,250 --pixels 5000 --accuracy 4 --antialias 1 --background black
        --no-marks --program-window --quiet)
for _ in $(seq "$PAIRS"); do
  /usr/bin/time -f "  generico, 1000000 triangles: %e s wall, %U s user, %M kB peak" \
    "$ANAMORFOSI" generico picture_1000.ppm --mirror cylinder_1000000.stl "${common[@]}" -o mesh.ppm
  /usr/bin/time -f "  cilindro:                    %e s wall, %U s user, %M kB peak" \
    "$ANAMORFOSI" cilindro picture_1000.ppm --radius 25 "${common[@]}" -o cylinder.ppm
done
rm -f mesh.ppm cylinder.ppm
