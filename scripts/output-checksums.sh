#!/usr/bin/env bash
# Makes every output of the product from the examples and the bench scenes and
# prints their SHA-256, one "sha256  relative-name" line per file of OUT_DIR,
# sorted, so that two builds (or two runs of one build) can be compared with
# diff. The baseline, made with the tree before the reshaping (commit ac483df),
# is /work/notes/checksums-ac483df.txt:
#
#   scripts/output-checksums.sh build /tmp/sums > /tmp/sums.txt && diff /work/notes/checksums-ac483df.txt /tmp/sums.txt
#
# BUILD_DIR holds the built programs (cilindro/cilindro, ..., anamorfosi/anamorfosi)
# and, when built, bench/anamorfosi_bench, which writes the bench scenes' picture
# and faceted cylinders; without it those scenes are skipped with a note on stderr.
# OUT_DIR must be empty or absent; nothing is written anywhere else. Inputs are
# copied or made into OUT_DIR and listed too, so that a changed input shows up
# as itself. What is covered:
#   programs/  the four programs on each example's parametri.txt (the folder
#              copied), on the bench parameter files (pictures of 1000 x 1000,
#              PixelCount 1000 instead of the bench's 5000, Accuracy 1 and 4) and
#              on a few extra files (a PNG and an EXIF JPEG picture, P3 output,
#              a missing file): each output, and each console transcript
#              (stdout and stderr together, as a user sees them) in NAME.console
#   cmd/       the anamorfosi command for every mirror kind (generico with a DXF,
#              an OBJ and, with the bench program, a binary STL mirror, and in
#              its vertical mode): PNG, PDF (tiled, --paper, --fit), plain P3, the
#              programs' window, --preview, --grid, --save-scene, `run` of the
#              saved scene, `vista` of scenes and of the programs' runs, a few
#              refused runs, and the help texts; then the sphere (sfera), its
#              runs after all the others, then generico without --face and
#              --eye and the close-ups (--preview-closeup); each run's stdout in NAME.out
#              and stderr in NAME.err
#   status.txt the exit status of every run above, in the order they ran
# Runs on any precision of the build: nothing here depends on the numbers.
# The time taken goes to stderr at the end.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
start=$(date +%s)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
[ -d "$1" ] || { echo "$0: $1: no such build folder" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
if [ -n "$(ls -A "$OUT")" ]; then
  echo "$0: $OUT is not empty" >&2
  exit 2
fi
ANAMORFOSI=$BUILD/anamorfosi/anamorfosi
BENCH=$BUILD/bench/anamorfosi_bench
for program in cilindro cono specchio generico; do
  [ -x "$BUILD/$program/$program" ] || { echo "$0: $BUILD/$program/$program is not built" >&2; exit 2; }
done
[ -x "$ANAMORFOSI" ] || { echo "$0: $ANAMORFOSI is not built" >&2; exit 2; }

# Fixed date in the PDFs, fixed collation for sort, and a non-terminal stderr
# everywhere (the command's progress is then a line every tenth, no timings).
export SOURCE_DATE_EPOCH=1765152000 LC_ALL=C TZ=UTC
note() { echo "output-checksums: $*" >&2; }

# program NAME DIR PROGRAM PARAMETERS: the program run unattended in DIR, the
# parameter file's name fed on standard input as scripts/demo.sh does.
program() {
  local name=$1 dir=$2 prog=$3 params=$4 status=0
  (cd "$dir" && printf '%s\n' "$params" | "$BUILD/$prog/$prog" > "$name.console" 2>&1) || status=$?
  echo "${dir#"$OUT/"}/$name: exit $status" >> "$OUT/status.txt"
}

# cmd NAME ARGS...: the command run in cmd/. Its report is kept whole: nothing
# in it varies from run to run once stderr is not a terminal (two runs of one
# build gave the same bytes), so no line is filtered out.
cmd() {
  local name=$1 status=0
  shift
  (cd "$OUT/cmd" && "$ANAMORFOSI" "$@" > "$name.out" 2> "$name.err") || status=$?
  echo "cmd/$name: exit $status" >> "$OUT/status.txt"
}

# ---- inputs
mkdir -p "$OUT/programs" "$OUT/cmd" "$OUT/bench"
cp "$ROOT/examples/cartello.ppm" "$ROOT/examples/foto.png" "$OUT/programs/"
cp "$ROOT/examples/cartello.ppm" "$ROOT/examples/foto.png" "$OUT/cmd/"
for prog in cilindro cono specchio generico; do
  cp -r "$ROOT/examples/$prog" "$OUT/programs/$prog"
done
cp "$ROOT/examples/cilindro/faccia.dxf" "$OUT/cmd/cilindro_faccia.dxf"
cp "$ROOT/examples/cono/faccia.dxf" "$OUT/cmd/cono_faccia.dxf"
cp "$ROOT/examples/specchio/faccia.dxf" "$OUT/cmd/specchio_faccia.dxf"
cp "$ROOT/examples/specchio/specchio.dxf" "$OUT/cmd/specchio.dxf"
cp "$ROOT/examples/generico/faccia.dxf" "$OUT/cmd/generico_faccia.dxf"
cp "$ROOT/examples/generico/cono.dxf" "$OUT/cmd/cono.dxf"

# The generico example's faceted cone as an OBJ of the same faces, in the same
# order, with the DXF's numbers as written: a 3DFACE whose last two corners are
# one point is a triangle, any other a quadrilateral.
awk '
  { sub(/\r$/, "") }
  NR % 2 == 1 { code = $1 + 0; next }
  code == 0 { if (inface) emit(); inface = ($0 == "3DFACE"); next }
  inface && code >= 10 && code <= 33 { c[code] = $0 }
  function emit(  k, n) {
    n = (c[12] == c[13] && c[22] == c[23] && c[32] == c[33]) ? 3 : 4
    for (k = 0; k < n; k++) printf "v %s %s %s\n", c[10 + k], c[20 + k], c[30 + k]
    printf "f"
    for (k = 0; k < n; k++) printf " %d", ++vertices
    printf "\n"
    delete c
  }
' "$OUT/cmd/cono.dxf" > "$OUT/cmd/cono.obj"

# A JPEG whose pixels lie on their side with EXIF orientation 6 (turn 90
# degrees clockwise to show): the photo, turned back by the reader. libexif
# (through Python's ctypes) writes the EXIF block and ImageMagick the JPEG.
exif_jpeg=
if command -v python3 > /dev/null && command -v convert > /dev/null; then
  if python3 - "$OUT/cmd/orientation6.exif" << 'EOF'
import ctypes, sys
lib = ctypes.CDLL("libexif.so.12")
class ExifEntry(ctypes.Structure):
    _fields_ = [("tag", ctypes.c_int), ("format", ctypes.c_int), ("components", ctypes.c_ulong),
                ("data", ctypes.POINTER(ctypes.c_ubyte)), ("size", ctypes.c_uint),
                ("parent", ctypes.c_void_p), ("priv", ctypes.c_void_p)]
class ExifData(ctypes.Structure):
    _fields_ = [("ifd", ctypes.c_void_p * 5), ("data", ctypes.c_void_p), ("size", ctypes.c_uint),
                ("priv", ctypes.c_void_p)]
bytes_p = ctypes.POINTER(ctypes.c_ubyte)
lib.exif_data_new.restype = ctypes.POINTER(ExifData)
lib.exif_entry_new.restype = ctypes.POINTER(ExifEntry)
lib.exif_data_set_byte_order.argtypes = [ctypes.POINTER(ExifData), ctypes.c_int]
lib.exif_content_add_entry.argtypes = [ctypes.c_void_p, ctypes.POINTER(ExifEntry)]
lib.exif_entry_initialize.argtypes = [ctypes.POINTER(ExifEntry), ctypes.c_int]
lib.exif_set_short.argtypes = [bytes_p, ctypes.c_int, ctypes.c_ushort]
lib.exif_entry_unref.argtypes = [ctypes.POINTER(ExifEntry)]
lib.exif_data_save_data.argtypes = [ctypes.POINTER(ExifData), ctypes.POINTER(bytes_p), ctypes.POINTER(ctypes.c_uint)]
INTEL, ORIENTATION = 1, 0x0112
exif = lib.exif_data_new()
lib.exif_data_set_byte_order(exif, INTEL)
entry = lib.exif_entry_new()
lib.exif_content_add_entry(exif.contents.ifd[0], entry)
lib.exif_entry_initialize(entry, ORIENTATION)
lib.exif_set_short(entry.contents.data, INTEL, 6)
lib.exif_entry_unref(entry)
block, length = bytes_p(), ctypes.c_uint()
lib.exif_data_save_data(exif, ctypes.byref(block), ctypes.byref(length))
with open(sys.argv[1], "wb") as f:
    f.write(bytes(block[:length.value]))
EOF
  then
    convert "$OUT/cmd/foto.png" -rotate -90 -quality 90 -profile "APP1:$OUT/cmd/orientation6.exif" \
      "$OUT/cmd/foto_exif6.jpg"
    rm "$OUT/cmd/orientation6.exif"
    cp "$OUT/cmd/foto_exif6.jpg" "$OUT/programs/"
    exif_jpeg=foto_exif6.jpg
  else
    rm -f "$OUT/cmd/orientation6.exif"
    note "no libexif for Python's ctypes: the EXIF JPEG is skipped"
  fi
else
  note "python3 or ImageMagick's convert missing: the EXIF JPEG is skipped"
fi

# ---- the bench scenes (bench/scenes.sh), in bench/
bench=
if [ -x "$BENCH" ]; then
  bench=1
  (
    cd "$OUT/bench"
    "$BENCH" picture 1000 1000 picture_1000.ppm > /dev/null
    . "$ROOT/bench/scenes.sh" > /dev/null
    # A faceted cylinder as binary STL for the command's mesh mirror.
    "$BENCH" faceted-cylinder 0 0 25 0 60 2000 "$OUT/cmd/cylinder_2000.stl" > /dev/null
    for acc in 1 4; do
      for prog in specchio cilindro cono generico; do
        [ "$prog" = specchio ] && [ "$acc" != 1 ] && continue
        name=$(params "$prog" 1000 "$acc")
        # PixelCount 1000 instead of 5000, and an output of the scene's own.
        sed -i -e 's/^5000\r$/1000\r/' -e "s/^out\.ppm\r\$/${name%.txt}.ppm\r/" "$name"
      done
    done
  )
  cp "$OUT/bench/cylinder_face.dxf" "$OUT/cmd/cylinder_face.dxf"
else
  note "no $BENCH: the bench scenes and the STL mirror are skipped"
fi

# ---- the four programs
for prog in cilindro cono specchio generico; do
  program "$prog" "$OUT/programs/$prog" "$prog" parametri.txt
done
# Plain P3 output, and pictures in PNG and JPEG.
extra() {  # program name picture output: the example's parameters with another picture and output
  local prog=$1 name=$2 picture=$3 output=$4
  sed -e "s|^\.\./cartello\.ppm\r\$|../$picture\r|" -e "s|^anamorfosi\.png\r\$|$output\r|" \
    "$OUT/programs/$prog/parametri.txt" > "$OUT/programs/$prog/$name.txt"
  program "$name" "$OUT/programs/$prog" "$prog" "$name.txt"
}
extra cilindro cilindro_p3 cartello.ppm anamorfosi.ppm
extra cono cono_foto foto.png cono_foto.ppm
extra specchio specchio_foto foto.png specchio_foto.png
[ -n "$exif_jpeg" ] && extra cilindro cilindro_exif6 "$exif_jpeg" cilindro_exif6.ppm
extra generico generico_p3 cartello.ppm anamorfosi.ppm
# A parameter file that is not there, and a picture that is not there.
program missing_parameters "$OUT/programs/specchio" specchio nessuno.txt
extra cono cono_missing_picture nessuna.ppm cono_missing_picture.ppm
if [ -n "$bench" ]; then
  for acc in 1 4; do
    for prog in specchio cilindro cono generico; do
      [ "$prog" = specchio ] && [ "$acc" != 1 ] && continue
      program "${prog}_1000_a$acc" "$OUT/bench" "$prog" "${prog}_1000_a$acc.txt"
    done
  done
fi

# ---- the command: help texts
cmd help --help
for sub in cilindro cono specchio generico run vista serve; do
  cmd "help_$sub" "$sub" --help
done

# ---- cilindro
# scripts/demo.sh's two prints (300 dpi, automatic face), the scene saved.
cmd cartello_cilindro cilindro cartello.ppm --radius 25 -o cartello_cilindro.png
cmd foto_cilindro cilindro foto.png --radius 25 -o foto_cilindro.png --preview foto_cilindro_vista.png \
  --save-scene foto_cilindro_scene.json
# The scene again: the PNG must come out as foto_cilindro.png; and as PDF, P3.
cmd foto_cilindro_scene run foto_cilindro_scene.json
cmd foto_cilindro_run_pdf run foto_cilindro_scene.json -o foto_cilindro_run.pdf --paper A3 --landscape
cmd foto_cilindro_run_ppm run foto_cilindro_scene.json -o foto_cilindro_run.ppm --quiet
cmd foto_cilindro_vista vista foto_cilindro_scene.json -o foto_cilindro_scene_vista.png --size 480 \
  --restored foto_cilindro_visto.png
cmd foto_cilindro_vista_sub vista foto_cilindro_scene.json --print cartello_cilindro.png --sub 2 \
  --restored foto_cilindro_visto_sub2.png
# examples/make_previews.sh's two PDFs: one A4 page, and a print tiled on A3.
cmd stampa_a4 cilindro foto.png --radius 25 --fill 0.6 --paper A4 --quiet -o stampa_a4.pdf
cmd stampa_a3 cilindro foto.png --radius 70 --paper A3 --quiet -o stampa_a3.pdf
# examples/make_views.sh's view of the photo.
cmd foto_vista cilindro foto.png --radius 25 --quiet -o foto_vista_print.png --preview foto_vista.png --size 480
cmd cil_fit cilindro foto.png --radius 25 --fit A4 --margin 15 -o cil_fit_a4.pdf
cmd cil_tiles cilindro cartello.ppm --radius 40 --axis 10,-5 --dpi 200 --paper A4 --portrait --overlap 20 \
  --margin 5 -o cil_tiles.pdf --save-scene cil_tiles_scene.json
cmd cil_grid cilindro --grid 12x8 --radius 25 --dpi 150 -o cil_grid.png
cmd cil_grid_pdf cilindro --grid 12x8 --radius 25 -o cil_grid.pdf --paper none
cmd cil_options cilindro foto.png --radius 2.5 --units cm --eye 0,-40,30 --dpi 120 --accuracy 2 --antialias 3 \
  --background black --no-marks --fill 0.7 --threads 1 -o cil_options.png
cmd cil_every_pixel cilindro cartello.ppm --radius 25 --dpi 100 --every-pixel -o cil_every_pixel.ppm \
  --preview cil_every_pixel_vista.png --size 320
[ -n "$exif_jpeg" ] && cmd cil_exif6 cilindro "$exif_jpeg" --radius 25 --dpi 100 -o cil_exif6.png \
  --preview cil_exif6_vista.png --size 320
# The program's own scene and window: the same cells as programs/cilindro's run.
cmd cil_program cilindro cartello.ppm --radius 25 --face cilindro_faccia.dxf --eye 0,-300,250 --pixels 800 \
  --antialias 1 --background black --no-marks --program-window -o cil_program.ppm

# ---- cono
cmd cono cono cartello.ppm --base-radius 30 --height 60 --dpi 150 -o cono.png --preview cono_vista.png \
  --size 480 --save-scene cono_scene.json
cmd cono_run run cono_scene.json -o cono_run.pdf --paper Letter
cmd cono_vista vista cono_scene.json --print cono.png -o cono_scene_vista.png --size 320 --restored cono_visto.png
cmd cono_fit cono foto.png --base-radius 30 --height 60 --fit A3 -o cono_fit_a3.pdf
cmd cono_grid cono --grid 10x10 --base-radius 30 --height 60 --dpi 100 -o cono_grid.ppm
cmd cono_photo cono foto.png --base-radius 3 --height 6 --units cm --axis 1,1 --dpi 100 -o cono_foto.png
cmd cono_program cono cartello.ppm --base-radius 30 --height 60 --face cono_faccia.dxf --eye 0,0,400 --pixels 800 \
  --antialias 1 --background black --no-marks --program-window -o cono_program.ppm

# ---- specchio
cmd specchio specchio foto.png --mirror specchio.dxf --dpi 150 -o specchio.png --preview specchio_vista.png \
  --size 480 --save-scene specchio_scene.json
cmd specchio_run run specchio_scene.json -o specchio_run.png
cmd specchio_vista vista specchio_scene.json -o specchio_scene_vista.png --size 320 --every-pixel
cmd specchio_pdf specchio cartello.ppm --mirror specchio.dxf --face specchio_faccia.dxf --eye 0,-150,120 \
  --paper 200x150 --margin 5 --landscape -o specchio.pdf
cmd specchio_fit specchio foto.png --mirror specchio.dxf --fit Letter -o specchio_fit.pdf
cmd specchio_grid specchio --grid 8x6 --mirror specchio.dxf --dpi 100 -o specchio_grid.pdf --paper none
cmd specchio_program specchio cartello.ppm --mirror specchio.dxf --face specchio_faccia.dxf --eye 0,-150,120 \
  --pixels 800 --antialias 1 --background black --no-marks --program-window -o specchio_program.ppm

# ---- generico: the example's faceted cone (DXF, and the same faces as OBJ) in
# the vertical mode, the plane mirror's DXF, and a faceted cylinder as STL.
vertical=(--face generico_faccia.dxf --vertical-axis --eye 0,0,400)
cmd gen_dxf generico cartello.ppm --mirror cono.dxf "${vertical[@]}" --dpi 150 -o gen_dxf.png \
  --preview gen_dxf_vista.png --size 480 --save-scene gen_dxf_scene.json
cmd gen_obj generico cartello.ppm --mirror cono.obj "${vertical[@]}" --dpi 150 -o gen_obj.png \
  --save-scene gen_obj_scene.json
cmd gen_dxf_run run gen_dxf_scene.json -o gen_dxf_run.pdf --paper A4 --portrait
cmd gen_obj_vista vista gen_obj_scene.json -o gen_obj_scene_vista.png --size 320 --restored gen_obj_visto.png
cmd gen_grid generico --grid 12x9 --mirror cono.obj "${vertical[@]}" --dpi 100 -o gen_grid.png
cmd gen_plane generico foto.png --mirror specchio.dxf --face specchio_faccia.dxf --eye 0,-150,120 --dpi 100 \
  -o gen_plane.png --save-scene gen_plane_scene.json
for mirror in dxf obj; do
  cmd "gen_program_$mirror" generico cartello.ppm --mirror "cono.$mirror" "${vertical[@]}" --pixels 800 \
    --antialias 1 --background black --no-marks --program-window -o "gen_program_$mirror.ppm"
done
if [ -n "$bench" ]; then
  cmd gen_stl generico foto.png --mirror cylinder_2000.stl --face cylinder_face.dxf --eye 0,-300,250 --dpi 150 \
    -o gen_stl.png --preview gen_stl_vista.png --size 480 --save-scene gen_stl_scene.json
  cmd gen_stl_run run gen_stl_scene.json -o gen_stl_run.pdf
  cmd gen_stl_ppm generico cartello.ppm --mirror cylinder_2000.stl --face cylinder_face.dxf --eye 0,-300,250 \
    --pixels 600 -o gen_stl.ppm
fi

# ---- vista of the programs' runs (examples and bench scenes at Accuracy 1)
for prog in cilindro cono specchio generico; do
  cmd "vista_program_$prog" vista --program "$prog" "../programs/$prog/parametri.txt" \
    --print "../programs/$prog/anamorfosi.png" -o "vista_program_$prog.png" --size 480 \
    --restored "vista_program_${prog}_visto.png"
done
if [ -n "$bench" ]; then
  for prog in specchio cilindro cono generico; do
    cmd "vista_bench_$prog" vista --program "$prog" "../bench/${prog}_1000_a1.txt" -o "vista_bench_$prog.png" --size 320
  done
fi

# ---- refused runs: one line, nothing written
cmd refused_picture cilindro nessuna.png --radius 25 -o refused_picture.png
cmd refused_option cilindro foto.png -o refused_option.png
cmd refused_mirror generico foto.png --mirror nessuno.stl --face cilindro_faccia.dxf --eye 0,-300,250 \
  -o refused_mirror.png
cmd refused_fit cilindro foto.png --radius 200 --fit A4 -o refused_fit.pdf

# ---- sfera, after every run above so that their status lines keep their places:
# the ball standing on the sheet from its usual eye and from 0,-300,200, its
# scene rerun as PDF, raised on a stand, on one A4 sheet, its refusals.
cmd help_sfera sfera --help
cmd sfera sfera foto.png --radius 40 --dpi 150 -o sfera.png --preview sfera_vista.png --size 480 \
  --save-scene sfera_scene.json
cmd sfera_run run sfera_scene.json -o sfera_run.pdf
cmd sfera_vista vista sfera_scene.json -o sfera_scene_vista.png --size 320 --restored sfera_visto.png
cmd sfera_eye sfera cartello.ppm --radius 40 --eye 0,-300,200 --dpi 150 -o sfera_eye.png
cmd sfera_raised sfera foto.png --radius 2 --centre 1,-1,5 --units cm --dpi 100 -o sfera_raised.png
cmd sfera_fit sfera foto.png --radius 40 --fit A4 -o sfera_fit_a4.pdf
cmd refused_sfera_eye sfera foto.png --radius 40 --eye 0,0,60 -o refused_sfera_eye.png
cmd refused_sfera_radius sfera foto.png --radius 0 -o refused_sfera_radius.png

# ---- after those: generico without --face and --eye (the example's cone in
# the vertical mode, rerun from its scene; a smooth ball's mesh from the eye
# its box places, when the bench's sphere_mesh is built; a mirror that sends
# every sight ray up, refused), and the close-up of the mirror beside the view.
cmd gen_auto generico cartello.ppm --mirror cono.dxf --vertical-axis --dpi 150 -o gen_auto.png \
  --preview gen_auto_vista.png --preview-closeup gen_auto_closeup.png --size 480 --save-scene gen_auto_scene.json
cmd gen_auto_run run gen_auto_scene.json -o gen_auto_run.pdf
if [ -x "$BUILD/bench/sphere_mesh" ]; then
  "$BUILD/bench/sphere_mesh" 64 40 "$OUT/cmd/ball_64.stl"
  cmd gen_ball generico foto.png --mirror ball_64.stl --smooth --dpi 100 -o gen_ball.png \
    --preview-closeup gen_ball_closeup.png --size 480 --save-scene gen_ball_scene.json
else
  note "no $BUILD/bench/sphere_mesh: the ball's mesh is left out"
fi
cmd refused_gen_face generico foto.png --mirror generico_faccia.dxf --eye 0,0,400 -o refused_gen_face.png
cmd sfera_closeup sfera foto.png --radius 40 --dpi 100 -o sfera_closeup_print.png --preview sfera_closeup_vista.png \
  --preview-closeup sfera_closeup.png --size 480

# ---- the list
(cd "$OUT" && find . -type f -printf '%P\n' | sort | xargs -d '\n' sha256sum)
note "$(($(date +%s) - start)) s"
