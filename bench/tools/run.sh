#!/usr/bin/env bash
# Times the clean-up of a drawing of COUNT entities (default 250,000, make_drawing.py) beside
# reading it: qkshost opening the drawing and quitting, the QKTOOLS job with op=clean (read,
# clean, save the copy) and the same job doing nothing to the drawing (read, save); the
# clean-up alone is the difference. Best of QKS_REPEAT runs (default 3).
#
# usage: bench/tools/run.sh BUILD_DIR [COUNT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
count=${2:-250000}
repeat=${QKS_REPEAT:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/make_drawing.py" "$work/plates.dxf" "$count"
printf 'outDir=%s/out\nlog=%s/tools.log\nfile=%s/plates.dxf\nop=clean\n' "$work" "$work" \
  "$work" >"$work/tools.cfg"
# The same job with an operation that changes nothing (attrs: the drawing has no block
# references): read and save alone, so the difference is the clean-up itself.
printf 'outDir=%s/base\nlog=%s/base.log\nfile=%s/plates.dxf\nop=attrs\n' "$work" "$work" \
  "$work" >"$work/base.cfg"
. "$here/../best_of.sh"
host="$build/bin/qkshost"
read=$(best_of "$repeat" env TMPDIR="$work" "$host" --no-stdin "$work/plates.dxf")
clean=$(best_of "$repeat" env TMPDIR="$work" QKS_TOOLS_CFG="$work/tools.cfg" "$host" --no-stdin -c QKTOOLS)
base=$(best_of "$repeat" env TMPDIR="$work" QKS_TOOLS_CFG="$work/base.cfg" "$host" --no-stdin -c QKTOOLS)
printf '%-34s %8s\n' step seconds
printf '%-34s %8.2f\n' "read ($count entities)" "$read"
printf '%-34s %8.2f  %s\n' "clean-up job (read, clean, save)" "$clean" \
  "$(grep '^CLEAN' "$work/tools.log" | tr -d '\r')"
printf '%-34s %8.2f\n' "same job without clean-up" "$base"
awk -v r="$read" -v c="$clean" -v b="$base" \
  'BEGIN{printf "%-34s %8.2f\n%-34s %8.2f\n", "clean-up alone", c-b, "clean-up alone / read", (c-b)/r}'
