#!/usr/bin/env bash
# Times part extraction: the bundled samples, the largest drawing of the real-drawing corpus and
# a generated drawing of 6,000 curves (make_drawing.py), each read once and extracted N times
# (QKS_REPEAT, default 20) by qksparts; with a second qksparts (an older build) the same beside
# it. Prints one line per drawing and tool: seconds per extraction, kinds, pieces and holes.
#
# usage: bench/extraction/run.sh QKSPARTS [OTHER_QKSPARTS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
repeat=${QKS_REPEAT:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/make_drawing.py" "$work/plates_6000.dxf" >/dev/null
# The corpus is fetched, so it lives in the shared folder (QKS_SHARED_DIR, else ../shared beside
# the source tree); without it that row is left out.
corpus=${QKS_SHARED_DIR:-$root/../shared}/real-drawings/corpus
drawings=("$root"/samples/*.dxf)
if packed=$(ls -S "$corpus"/*.dxf.gz 2>/dev/null | head -1) && [ -n "$packed" ]; then
  largest="$work/$(basename "$packed" .gz)"
  gzip -dc "$packed" >"$largest"
  drawings+=("$largest")
else
  echo "no real-drawing corpus at $corpus: its largest drawing is left out" >&2
fi
drawings+=("$work/plates_6000.dxf")
printf '%-34s %-8s %10s %6s %7s %6s\n' drawing tool s/extract kinds pieces holes
for drawing in "${drawings[@]}"; do
  for tool in "$@"; do
    label=new
    [ "$tool" != "$1" ] && label=other
    seconds=$("$tool" --repeat "$repeat" "$drawing" 2>&1 >"$work/parts.txt" |
      sed -n 's/.*: \([0-9.]*\) s per extraction/\1/p')
    read -r kinds pieces holes < <(awk -F'\t' '/^P/{k++; q+=$3} /^H/{h++} END{print k+0, q+0, h+0}' \
      "$work/parts.txt")
    printf '%-34s %-8s %10s %6s %7s %6s\n' "$(basename "$drawing")" "$label" "$seconds" "$kinds" \
      "$pieces" "$holes"
  done
done
