#!/usr/bin/env bash
# The drawing window on a drawing of COUNT entities (default 250,000, bench/tools/make_drawing.py):
# the host's read of it beside writing, loading and painting its display list, and the paints
# of zooms and pans at 1920 x 1080 (bench_drawing_window.cpp says what each row is).
#
# usage: bench/studio/run_drawing_window.sh BUILD_DIR [COUNT]
# BUILD_DIR is a build with -DQKS_BUILD_BENCH=ON, best a Release one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
count=${2:-250000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/../tools/make_drawing.py" "$work/plates.dxf" "$count"
"$build/bin/bench_drawing_window" "$work/plates.dxf" --screenshot "${QKS_SHOT:-$work/shot.png}"
