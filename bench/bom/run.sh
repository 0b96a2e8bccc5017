#!/usr/bin/env bash
# Times the BOM job over N generated part drawings with title blocks (default 500) beside
# the plot-files job over the same drawings (one PDF per layout) and beside only reading them
# (qkshost opening each as a document, then quitting). Prints seconds of each, best of
# QKS_REPEAT runs (default 3).
#
# usage: bench/bom/run.sh BUILD_DIR [COUNT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
count=${2:-500}
repeat=${QKS_REPEAT:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/make_drawings.py" "$work/drawings" "$count"
files=$(for f in "$work"/drawings/*.dxf; do echo "file=$f"; done)
printf 'outDir=%s/bom\nlog=%s/bom.log\n%s\n' "$work" "$work" "$files" >"$work/bom.cfg"
printf 'outDir=%s/pdf\nlog=%s/plot.log\n%s\n' "$work" "$work" "$files" >"$work/plot.cfg"

. "$here/../best_of.sh"
host="$build/bin/qkshost"
bom=$(best_of "$repeat" env TMPDIR="$work" QKS_BOM_CFG="$work/bom.cfg" "$host" --no-stdin -c QKBOM)
plot=$(best_of "$repeat" env TMPDIR="$work" QKS_PLOT_CFG="$work/plot.cfg" "$host" --no-stdin -c QKPLOTFILES)
read=$(best_of "$repeat" env TMPDIR="$work" "$host" --no-stdin "$work"/drawings/*.dxf)
rows=$(grep -o 'rows=[0-9]*' "$work/bom.log")
pdfs=$(ls "$work/pdf" | wc -l)
printf '%-28s %8s  %s\n' job seconds result
printf '%-28s %8.2f  %s\n' "BOM ($count drawings)" "$bom" "$rows, $(tail -1 "$work/bom.log" | tr -d '\r')"
printf '%-28s %8.2f  %s PDFs\n' "plot-files (same drawings)" "$plot" "$pdfs"
printf '%-28s %8.2f\n' "reading them (qkshost)" "$read"
