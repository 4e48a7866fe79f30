# The bench scenes, sourced by bench/run.sh and bench/lattice.sh in the
# scratch folder: the faces, the faceted cylinder, and params PROGRAM SIZE
# ACCURACY, which writes a parameter file and prints its name. Needs $BENCH.
# DXF of single faces: corners C1..C4 as "x y z" each.
face() {
  local out=$1; shift
  {
    printf '  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\n3DFACE\r\n  8\r\n0\r\n'
    local i=0
    for corner in "$@"; do
      set -- $corner
      printf ' 1%d\r\n%s\r\n 2%d\r\n%s\r\n 3%d\r\n%s\r\n' "$i" "$1" "$i" "$2" "$i" "$3"
      i=$((i + 1))
    done
    printf '  0\r\nENDSEC\r\n  0\r\nEOF\r\n'
  } > "$out"
}
crlf() { printf '%s\r\n' "$@"; }

# specchio: a vertical plane mirror, the picture upright behind the eye's line.
face specchio_face.dxf "-30 100 80" "30 100 80" "30 100 20" "-30 100 20"
face specchio_mirror.dxf "-60 0 0" "60 0 0" "60 0 120" "-60 0 120"
# cilindro and generico: a cylinder of radius 25 on the origin, the picture
# inside it, the eye in front; generico's is a faceted cylinder of 50000
# triangles of the same size.
face cylinder_face.dxf "-15 0 35" "15 0 35" "15 0 5" "-15 0 5"
[ -f cylinder_50000.dxf ] || "$BENCH" faceted-cylinder 0 0 25 0 60 50000 cylinder_50000.dxf
# cono: the eye above the apex, a horizontal picture round the axis.
face cone_face.dxf "-7.5 7.5 200" "7.5 7.5 200" "7.5 -7.5 200" "-7.5 -7.5 200"

params() {  # program size accuracy -> parameter file name
  local prog=$1 size=$2 acc=$3 name=$1_$2_a$3.txt
  case $prog in
    specchio) crlf specchio_face.dxf specchio_mirror.dxf "picture_$size.ppm" out.ppm "0 -150 120" 5000 > "$name" ;;
    cilindro) crlf "0 0" 25 cylinder_face.dxf "picture_$size.ppm" out.ppm "0 -300 250" 5000 "$acc" > "$name" ;;
    cono) crlf "0 0" 30 60 cone_face.dxf "picture_$size.ppm" out.ppm "0 0 400" 5000 "$acc" > "$name" ;;
    generico) crlf cylinder_50000.dxf cylinder_face.dxf "picture_$size.ppm" out.ppm "0 -300 250" 5000 "$acc" 0 > "$name" ;;
  esac
  echo "$name"
}

