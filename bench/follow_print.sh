#!/usr/bin/env bash
# The work follows the print: a 24-megapixel JPEG and a 12-megapixel phone JPEG
# (stored turned a quarter, EXIF orientation 6), each made into a 300 dpi
# cylinder print (PNG, with --preview) beside the same print from a
# 1000 x 750 copy of the same photo, the two runs of a pair one after the other.
# For every run: wall and processor seconds and peak resident memory (GNU
# time), the picture's reduction note and the fidelity line; then the
# fidelity of the large photos mapped with --every-pixel, as before.
# The photos are made here from examples/foto.png (anamorfosi_bench photo-jpeg)
# and kept in WORK.
#
#   bench/follow_print.sh        BUILD=dir (default build-bench), WORK=dir (default /tmp/anamorfosi-follow)
#   NO_BUILD=1                   use the targets already built in BUILD
#   PAIRS=N                      pairs of runs a photo (default 3)
#   EVERY_PIXEL=0                leave out the --every-pixel runs (minutes each)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build-bench}
WORK=${WORK:-/tmp/anamorfosi-follow}
PAIRS=${PAIRS:-3}
if [ -z "${NO_BUILD:-}" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF > /dev/null
  cmake --build "$BUILD" --target anamorfosi_bench anamorfosi > /dev/null
fi
[ -x /usr/bin/time ] || { echo "follow_print.sh: GNU time is needed (apt-get install time)" >&2; exit 2; }
mkdir -p "$WORK"
cd "$WORK"
make_photo() {  # WIDTH HEIGHT ORIENTATION FILE, upright size
  [ -f "$4" ] || "$BUILD/bench/anamorfosi_bench" photo-jpeg "$ROOT/examples/foto.png" "$1" "$2" "$3" "$4"
}
make_photo 5664 4248 1 photo_24mp.jpg
make_photo 1000 750 1 photo_24mp_copy.jpg
make_photo 3000 4000 6 phone_12mp.jpg
make_photo 750 1000 1 phone_12mp_copy.jpg

# One print: its wall, processor seconds and peak memory, its note and fidelity.
# Radius 25 mm for the landscape photo, 20 mm for the upright phone photo: both
# prints come out within an A4 sheet (about 261 x 195 and 257 x 194 mm).
print() {  # NAME PICTURE RADIUS [OPTIONS...]
  local name=$1 picture=$2 radius=$3
  shift 3
  /usr/bin/time -f "$name: wall %e s, cpu %U+%S s, peak resident %M kB" -o "$name.time" \
    "$BUILD/anamorfosi/anamorfosi" cilindro "$picture" --radius "$radius" --dpi 300 "$@" \
    -o "$name.png" --preview "$name.vista.png" > "$name.out" 2> "$name.err"
  cat "$name.time"
  grep -h "note: the picture\|fidelity\|^print:" "$name.err" "$name.out" | sed 's/^/    /'
}
radius() { [ "$1" = phone_12mp ] && echo 20 || echo 25; }
for photo in photo_24mp phone_12mp; do
  for ((k = 1; k <= PAIRS; k++)); do
    print "$photo" "$photo.jpg" "$(radius $photo)"
    print "${photo}_copy" "${photo}_copy.jpg" "$(radius $photo)"
  done
done
if [ "${EVERY_PIXEL:-1}" != 0 ]; then
  for photo in photo_24mp phone_12mp; do print "${photo}_every" "$photo.jpg" "$(radius $photo)" --every-pixel; done
fi
