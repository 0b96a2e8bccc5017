#!/usr/bin/env bash
# The main job: sets the machine up, builds the toolkit, then nests the sample drawings in
# samples/ through qkshost with the plug-in, unattended, with the settings the Studio's nest
# page starts with, and shows the job log, the nest drawing and the sheet PDFs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup-debian.sh
build=${QKS_DEMO_BUILD:-$root/build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQKS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# The samples are made by a script in the repository; make them again when missing.
[ -f samples/brackets.dxf ] || /usr/bin/python3 scripts/make_samples.py >/dev/null

demo_tmp=$(mktemp -d)
trap 'rm -rf "$demo_tmp"' EXIT
out="$root/build/nest-demo"
mkdir -p "$out"
rm -f "$out"/*.pdf
# The job config with a short search, so the demo ends quickly.
source "$root/scripts/demo-config.sh"
write_demo_config "$demo_tmp" "$out" "${QKS_DEMO_SECONDS:-10}" "$root"/samples/*.dxf \
  >"$demo_tmp/qks_nest.cfg"

echo "== nesting samples/*.dxf with qkshost (temporary folder $demo_tmp)"
# qkshost runs QKNEST, keeps running while the search and the output step go on, then exits.
TMPDIR="$demo_tmp" "$build/bin/qkshost" --no-stdin -c QKNEST
echo "== nest job log"
cat "$demo_tmp/qks_nest.log"
drawing=$(sed -n 's/^NEST 已生成 //p' "$demo_tmp/qks_nest.log")
echo
if [ -z "$drawing" ]; then
  echo "the nest job wrote no drawing" >&2
  exit 1
fi
echo "nest drawing: $drawing"
echo "sheet PDFs:"
ls -1 "$out"/*.pdf
echo
echo "qkshost, libqks.so and libqks23.so are in $build/bin; QksStudio in $build/Studio"
