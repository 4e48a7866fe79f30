#!/usr/bin/env bash
# Builds the anamorfosi command and makes two cylinder prints at true scale
# (300 dpi) from the bundled pictures: the test card and a photo-like picture,
# written into examples/, with the view from the eye of the second. With a
# program's name (cilindro, cono, specchio, generico) it builds that program
# instead and runs its example scene unattended, writing into the example's
# folder. With `serve` it builds the command, the site compiled into it, and
# serves the site to the browser (Ctrl-C stops it); with `site`, the page that
# runs in the browser with nothing installed (build/site/www, emscripten needed).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
program="${1:-}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DANAMORFOSI_TESTS=OFF >/dev/null
if [ "$program" = serve ]; then
  cmake --build build --target anamorfosi
  exec ./build/anamorfosi/anamorfosi serve --open
fi
if [ "$program" = site ]; then
  cmake --build build --target site
  echo "The page that makes prints in the browser, with no server: build/site/www/index.html"
  echo "Open it (double-click it), or copy the folder build/site/www to any static host."
  exit 0
fi
if [ -z "$program" ]; then
  cmake --build build --target anamorfosi
  ./build/anamorfosi/anamorfosi cilindro examples/cartello.ppm --radius 25 -o examples/cartello_cilindro.png
  echo
  ./build/anamorfosi/anamorfosi cilindro examples/foto.png --radius 25 -o examples/foto_cilindro.png \
    --preview examples/foto_cilindro_vista.png
  echo
  echo "Prints written: examples/cartello_cilindro.png and examples/foto_cilindro.png"
  echo "What the eye will see in the mirror: examples/foto_cilindro_vista.png"
  echo "Print them at 100 % (actual size) and stand a mirror cylinder of diameter 50 mm on the circle."
  echo "To make a print of your own photo in the browser: ./scripts/demo.sh serve"
  exit 0
fi
cmake --build build --target "$program"
cd "examples/$program"
printf 'parametri.txt\n' | "../../build/$program/$program"
echo
echo "Anamorfosi scritta in examples/$program/anamorfosi.png"
