#!/usr/bin/env bash
# Runs every job of the plug-in through qkshost over the project's fixture drawings and leaves
# what the jobs wrote in one folder, made comparable between two builds: the work folder's path
# is written as @W and the source tree's as @S, workbooks and packages are unpacked and their
# timestamps blanked, and what a run cannot repeat (search times, the search's own steps) is left
# out. Used by compare-outputs.sh.
#
# usage: job-outputs.sh BIN_DIR OUT_DIR [NEST_LAYOUT]
#   BIN_DIR      a build's bin folder with qkshost, libqks.so and qksnest
#   OUT_DIR      made empty, then filled
#   NEST_LAYOUT  a nest layout file whose parts are all drawn where it puts them (the nest
#                search is timed, so only a nest whose parts are all kept can be compared); without
#                it the nest jobs write their own layout, and its locked copy is left as
#                OUT_DIR/locked.qkslayout for the next run
set -euo pipefail
export LC_ALL=C
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
layout=${3:-}
src=$(cd "$(dirname "$0")/.." && pwd)
fx="$src/tests/fixtures"
find "$out" -mindepth 1 -delete

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run_job NAME COMMAND CONFIG_FILE: runs one command in a fresh temporary folder holding the
# config (read from standard input); the folder becomes OUT_DIR/NAME.
run_job() {
  local name=$1 command=$2 config=$3
  local dir="$work/$name"
  mkdir -p "$dir"
  cat >"$dir/$config"
  TMPDIR="$dir/" QKS_PLOT_CFG= QKS_MERGE_CFG= QKS_BOM_CFG= QKS_TOOLS_CFG= \
    "$bin/qkshost" --no-stdin -c "$command" >"$dir/console.txt" 2>&1 || echo "exit $?" >>"$dir/console.txt"
  rm -f "$dir/qksstudio.lock" "$dir/qksstudio"
  mv "$dir" "$out/$name"
}

files() {
  for f in "$@"; do echo "file=$f"; done
}

plot_drawings=("$fx"/plot/*.dxf "$fx"/dxf/*.dxf "$fx"/render/*.dxf "$fx"/nest/line_frame.dxf
  "$fx"/nest/plain_a3.dxf "$fx"/nest/drawing_sheet.dxf)
for scope in frames model layouts; do
  { printf 'outDir=%s\nprefix=P\nscope=%s\nstyle=monochrome.ctb\n' "$work/plot-$scope/pdf" "$scope"
    files "${plot_drawings[@]}"; } | run_job "plot-$scope" QKPLOTFILES qks_plot_files.cfg
done
{ printf 'outDir=%s\nprefix=G\nscope=frames\nstyle=grayscale.ctb\n' "$work/plot-gray/pdf"
  files "$fx"/plot/frames.dxf; } | run_job plot-gray QKPLOTFILES qks_plot_files.cfg

for pdf in 0 1; do
  { printf 'outDwg=%s\ncolumns=2\nspacing=50\npdf=%s\n' "$work/merge-$pdf/merged.dxf" "$pdf"
    files "$fx"/merge/*.dxf "$fx"/plot/frames.dxf; } | run_job "merge-$pdf" QKMERGE qks_merge.cfg
done

nest_drawings=("$fx"/nest/flange_and_disc.dxf "$fx"/nest/rect_hole.dxf "$fx"/nest/gear40.dxf
  "$fx"/nest/carried.dxf "$fx"/nest/fold_lines.dxf "$fx"/nest/anon_holes_block.dxf)
nest_config() {
  local dir=$1
  echo "source=files"
  echo "partsFile=$dir/qks_nest_parts.txt"
  files "${nest_drawings[@]}"
  printf 'outDir=%s\noutDwg=%s\nlog=%s\nprefix=N\nsheet=1200x800x3\ngap=5\nmargin=10\n' \
    "$dir/out" "$dir/out/套料图.dxf" "$dir/qks_nest.log"
  printf 'cell=2\nrotate=1\nmirror=1\npdf=1\nseconds=1\nthreads=1\nlabels=1\n'
}
for variant in plain commonline; do
  {
    nest_config "$work/nest-$variant"
    [ "$variant" = commonline ] && printf 'commonline=1\noffcut=1\n'
    if [ -n "$layout" ]; then echo "keeplocked=$layout"; fi
  } | run_job "nest-$variant" QKNEST qks_nest.cfg
done
if [ -z "$layout" ]; then
  awk -F'\t' 'BEGIN { OFS = "\t" } $1 == "PLACE" { $NF = 1 } { print }' \
    "$out/nest-plain/out/套料图.qkslayout" >"$out/locked.qkslayout"
fi

# The engine on its own, with a fixed seed and step count on one thread.
mkdir -p "$out/qksnest"
printf 'outDir=%s\nsheet=1200x800\ngap=5\nmargin=10\ncell=2\nrotate=1\nthreads=1\nseconds=30\n' \
  "$work/qksnest" >"$out/qksnest/qksnest.cfg"
TMPDIR="$work/" "$bin/qksnest" "$out/qksnest/qksnest.cfg" "$out/nest-plain/qks_nest_parts.txt" \
  --progress "$out/qksnest/progress.txt" --seed 1 --iterations 200 >"$out/qksnest/summary.txt" 2>/dev/null

{ printf 'outDir=%s\nout=BOM.xlsx\ncsv=1\npackage=1\nzip=0\n' "$work/bom/out"
  files "$fx"/nest/fold_lines.dxf "$fx"/nest/flange_and_disc.dxf "$fx"/nest/rect_hole.dxf \
    "$fx"/plot/frames.dxf; } | run_job bom QKBOM qks_bom.cfg

for ops in clean,layers area,attrs dims,holes,balloons corners; do
  name="tools-${ops//,/-}"
  { printf 'outDir=%s\nop=%s\nradius=3\nchamfer=0\narealabels=1\nshortlen=0.5\n' "$work/$name/out" "$ops"
    files "$fx"/nest/flange_and_disc.dxf "$fx"/nest/rect_hole.dxf "$fx"/plot/frames.dxf; } |
    run_job "$name" QKTOOLS qks_tools.cfg
done

# The drawing window's display lists, from a serving host as the Studio asks for them.
mkdir -p "$work/view" "$out/view"
TMPDIR="$work/view/" "$bin/qkshost" --no-stdin --serve >"$work/view/console.txt" 2>&1 &
host=$!
/usr/bin/python3 "$src/scripts/view_lists.py" "$work/view" "$out/view" Layout1,Sheet,Third \
  "${plot_drawings[@]}" "${nest_drawings[@]}" || echo "view lists failed" >>"$out/view/failed.txt"
kill "$host" 2>/dev/null || true
wait "$host" 2>/dev/null || true

# Comparable: unpack workbooks and zips, blank their clocks, drop what the search's timing decides.
while IFS= read -r -d '' book; do
  mkdir -p "$book.d"
  (cd "$book.d" && unzip -qo "$book")
  rm "$book"
done < <(find "$out" -type f \( -name '*.xlsx' -o -name '*.zip' \) -print0)
find "$out" -type f -name 'core.xml' -exec sed -i -E \
  's#<dcterms:(created|modified)[^>]*>[^<]*</dcterms:(created|modified)>##g' {} +
find "$out" -type f -name '*.pdf' -exec sed -i -E 's#/CreationDate\(D:[0-9]+Z\)#/CreationDate(D:0)#' {} +
sed -i -E 's/^ELAPSED\t.*/ELAPSED\tT/; s/seconds=[0-9.]+/seconds=T/' "$out/qksnest/progress.txt" \
  "$out/qksnest/summary.txt"
find "$out" -type f -name 'qks_nest_progress.txt' -delete
find "$out" -path '*/nest-*/*.log' -type f -exec sed -i -E \
  '/^NEST (优化|进度|迭代)/d; s/迭代=[0-9]+/迭代=N/' {} +
grep -rlZ -e "$work" -e "$src" "$out" 2>/dev/null | xargs -0 -r sed -i "s#$work#@W#g; s#$src#@S#g"
# A qkslayout names its own drawing folder; a PDF stores the path of nothing, but check anyway.
echo "job outputs in $out"
