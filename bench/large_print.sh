#!/usr/bin/env bash
# The anamorfosi command on a large print: a 4000 x 3000 picture on a cone
# whose print comes out about 1 m x 1 m at 300 dpi (about 11800 x 11800 cells).
# Prints the command's report, its wall time and its peak resident memory
# (GNU time), and the size of the PNG written.
#
#   bench/large_print.sh         BUILD=dir (default build-bench), WORK=dir (default /tmp/anamorfosi-bench)
#   NO_BUILD=1                   use the targets already built in BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build-bench}
WORK=${WORK:-/tmp/anamorfosi-bench}
if [ -z "${NO_BUILD:-}" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF > /dev/null
  cmake --build "$BUILD" --target anamorfosi_bench anamorfosi > /dev/null
fi
mkdir -p "$WORK"
cd "$WORK"
[ -f picture_4000x3000.ppm ] || "$BUILD/bench/anamorfosi_bench" picture 4000 3000 picture_4000x3000.ppm
[ -x /usr/bin/time ] || { echo "large_print.sh: GNU time is needed (apt-get install time)" >&2; exit 2; }
/usr/bin/time -f 'wall %e s, user %U s, peak resident %M kB' \
  "$BUILD/anamorfosi/anamorfosi" cono picture_4000x3000.ppm --base-radius 185 --height 370 --dpi 300 \
  -o large_print.png 2>&1 | grep -v '^mapping'
ls -l large_print.png | awk '{print "PNG: " $5 " bytes"}'
