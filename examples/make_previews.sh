#!/usr/bin/env bash
# Makes the two PDF examples and their small PNG previews in examples/:
# a single A4 page (a 50 mm cylinder, the photo-like picture at fill 0.6) and
# a print tiled 3 x 2 on A3 (a 140 mm cylinder), whose preview is its assembly
# page. Needs the anamorfosi command built in build/ and pdftoppm.
set -euo pipefail
cd "$(dirname "$0")/.."
cmd=build/anamorfosi/anamorfosi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1765152000}
"$cmd" cilindro examples/foto.png --radius 25 --fill 0.6 --paper A4 --quiet -o examples/stampa_a4.pdf
"$cmd" cilindro examples/foto.png --radius 70 --paper A3 --quiet -o examples/stampa_a3.pdf
pdftoppm -r 36 -png -singlefile examples/stampa_a4.pdf examples/anteprima_a4
pdftoppm -r 24 -png -singlefile -f 1 -l 1 examples/stampa_a3.pdf examples/anteprima_a3_tasselli
echo "examples/anteprima_a4.png and examples/anteprima_a3_tasselli.png written"
