#!/usr/bin/env bash
# The same outputs from a long double build and a double build (configured with
# -DANAMORFOSI_REAL_DOUBLE=ON): every output of scripts/output-checksums.sh made
# with each, then every picture that is not the same bytes compared cell by cell
# (anamorfosi_bench cells of the first build), every other file named when it
# differs, and the fidelity lines of the command's runs side by side.
#
#   bench/precision.sh LONG_DOUBLE_BUILD DOUBLE_BUILD [WORK]
#
# WORK (default /tmp/anamorfosi-precision) keeps both sets of outputs; a set
# already there is used again (remove WORK to make them anew).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { echo "usage: $0 LONG_DOUBLE_BUILD DOUBLE_BUILD [WORK]" >&2; exit 2; }
LONG=$(cd "$1" && pwd)
DOUBLE=$(cd "$2" && pwd)
WORK=${3:-/tmp/anamorfosi-precision}
mkdir -p "$WORK"
[ -d "$WORK/long" ] || scripts/output-checksums.sh "$LONG" "$WORK/long" > "$WORK/long.sums"
[ -d "$WORK/double" ] || scripts/output-checksums.sh "$DOUBLE" "$WORK/double" > "$WORK/double.sums"

same=0
while read -r file; do
  a=$WORK/long/$file b=$WORK/double/$file
  if [ ! -f "$b" ]; then
    echo "$file: made by the long double build only"
  elif cmp -s "$a" "$b"; then
    same=$((same + 1))
  else
    case $file in
      *.png | *.ppm) echo "$file: $("$LONG/bench/anamorfosi_bench" cells "$a" "$b" || true)" ;;
      *) echo "$file: differs" ;;
    esac
  fi
done < <(cd "$WORK/long" && find . -type f -printf '%P\n' | sort)
echo "files with the same bytes: $same"

echo "fidelity lines that differ (long double | double):"
for out in "$WORK"/long/cmd/*.out "$WORK"/long/cmd/*.err; do
  other=$WORK/double/cmd/${out##*/}
  l=$(grep -h "fidelity:" "$out" || true)
  d=$(grep -h "fidelity:" "$other" 2> /dev/null || true)
  [ -n "$l$d" ] && [ "$l" != "$d" ] && echo "  ${out##*/}: $l | $d"
done
true
