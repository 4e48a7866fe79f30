#!/usr/bin/env bash
# Smooth meshes: a sphere of radius 40 standing on the sheet as solid
# modellers make one (64 and 256 segments, 4 028 and 65 532 triangles, made
# by sphere_mesh), printed from the bundled photo for the eye (0, -300, 200)
# with --smooth, against the same mesh's flat facets, the round ball (sfera)
# with the same face and eye, and a cylinder print of
# the same photo (radius 25, its usual eye and face), every print at the
# command's defaults (300 dpi, accuracy 4, antialias 2). Whole-process
# timings, the median of RUNS, through TIMER (a command taking the command
# line to time and printing its figures; default: GNU time, once).
#
#   bench/smooth_mesh.sh        BUILD=dir (default build), WORK=dir (default /tmp/anamorfosi-smooth)
#   TIMER='tool -n 5 --'        the timing command
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-$ROOT/build}
WORK=${WORK:-/tmp/anamorfosi-smooth}
TIMER=${TIMER:-/usr/bin/time -f "%e s wall, %U s user, %M KiB"}
mkdir -p "$WORK"
cd "$WORK"
# The picture face below the ball's centre, in the plane y = 0, 4:3 as the photo.
{
  printf '  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\n3DFACE\r\n  8\r\n0\r\n'
  printf ' 10\r\n-15\r\n 20\r\n0\r\n 30\r\n20.5\r\n 11\r\n15\r\n 21\r\n0\r\n 31\r\n20.5\r\n'
  printf ' 12\r\n15\r\n 22\r\n0\r\n 32\r\n-2\r\n 13\r\n-15\r\n 23\r\n0\r\n 33\r\n-2\r\n'
  printf '  0\r\nENDSEC\r\n  0\r\nEOF\r\n'
} > sphere_face.dxf
A="$BUILD/anamorfosi/anamorfosi"
PHOTO="$ROOT/examples/foto.png"
for n in 64 256; do
  "$BUILD/bench/sphere_mesh" "$n" 40 "sphere_$n.stl"
  mesh="generico $PHOTO --mirror sphere_$n.stl --face sphere_face.dxf --eye 0,-300,200 --quiet"
  echo "== sphere, $n segments, smooth"
  $TIMER $A $mesh --smooth -o "smooth_$n.png"
  "$A" $mesh --smooth -o "smooth_$n.png" --preview "smooth_${n}_vista.png" | grep fidelity || true
  echo "== sphere, $n segments, flat facets"
  $TIMER $A $mesh -o "flat_$n.png"
done
echo "== the round ball itself, the same face and eye"
$TIMER $A sfera "$PHOTO" --radius 40 --face sphere_face.dxf --eye 0,-300,200 --quiet -o sphere.png
echo "== cylinder, radius 25"
$TIMER $A cilindro "$PHOTO" --radius 25 --quiet -o cylinder.png
