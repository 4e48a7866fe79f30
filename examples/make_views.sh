#!/usr/bin/env bash
# Makes the small views from the eye committed beside the examples: each
# program's example as that program maps it (examples/PROGRAM/vista.png), and
# the demo's photo on a 50 mm cylinder (examples/foto_vista.png). Needs the
# anamorfosi command built in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmd=build/anamorfosi/anamorfosi
for program in cilindro cono specchio generico; do
  echo "$program: $("$cmd" vista --program "$program" "examples/$program/parametri.txt" --size 480 \
                     -o "examples/$program/vista.png" | tail -1)"
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$cmd" cilindro examples/foto.png --radius 25 --quiet -o "$scratch/foto.png" --preview examples/foto_vista.png --size 480
echo "examples/*/vista.png and examples/foto_vista.png written"
