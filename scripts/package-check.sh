#!/usr/bin/env bash
# Builds the Debian package in a Release build, checks it with lintian (errors fail, warnings
# are shown), installs it with apt-get, runs the main job with the installed programs on the
# installed samples, starts the installed Studio from its desktop entry (it must start and stop
# its own host: scripts/studio-launch-check.sh), then removes the package again.
# Needs root (or sudo without a password) for apt-get; without either it says so and skips.
# QKS_JOBS sets the build's parallel jobs (default: nproc); QKS_PACKAGE_BUILD the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QKS_JOBS:-$(nproc)}
build=${QKS_PACKAGE_BUILD:-$root/build/package}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO="sudo"
  else
    echo "package check skipped: it installs a package, which needs root or sudo"
    exit 0
  fi
fi
export DEBIAN_FRONTEND=noninteractive

bash scripts/setup-debian.sh

echo "-- building the package in $build"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DQKS_BUILD_TESTS=OFF -DQKS_BUILD_BENCH=OFF -DQKS_BUILD_STUDIO=ON -DQKS_SANITIZE= \
  -DQKS_FUZZ=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target qkshost qks qks23 qksnest qksparts QksStudio
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=qks_${version}_amd64.deb
rm -f "$build/$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$build/$deb" ] || { echo "cpack made no $deb" >&2; exit 1; }
dpkg-deb --field "$build/$deb"

echo "-- lintian"
# Errors fail the check; warnings are printed. (lintian warns when run as root; expected here.)
lintian_status=0
lintian_output=$(lintian --fail-on error --display-level '>=warning' "$build/$deb" 2>&1) ||
  lintian_status=$?
lintian_output=$(grep -v 'running with root privileges is not recommended' <<<"$lintian_output" || true)
if [ -n "$lintian_output" ]; then
  echo "$lintian_output"
else
  echo "lintian: no errors, no warnings"
fi
if [ "$lintian_status" -ne 0 ]; then
  echo "lintian found errors in $deb" >&2
  exit 1
fi

echo "-- installing $deb"
if dpkg-query -W -f='${Status}' qks 2>/dev/null | grep -q 'install ok installed'; then
  echo "qks was installed before this check; the new build stays installed afterwards"
  keep=1
else
  keep=0
fi
before=$(dpkg-query -W -f='${Package}\n' | sort)
work=$(mktemp -d)
cleanup() {
  if [ "$keep" -eq 0 ]; then
    echo "-- removing the package"
    $SUDO apt-get remove -y -qq qks >/dev/null || true
    # Packages the install pulled in, so the machine is left as it was.
    mapfile -t added < <(comm -13 <(echo "$before") <(dpkg-query -W -f='${Package}\n' | sort))
    [ "${#added[@]}" -eq 0 ] || $SUDO apt-get remove -y -qq "${added[@]}" >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
(cd "$build" && $SUDO apt-get install -y -qq "./$deb" >/dev/null)

echo "-- the installed programs"
for program in qkshost qksnest qksparts QksStudio; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || {
    echo "$program is not installed in /usr/bin" >&2
    exit 1
  }
done
samples=(/usr/share/qks/samples/*.dxf)
[ -f "${samples[0]}" ] || { echo "no samples in /usr/share/qks/samples" >&2; exit 1; }
# qkshost finds the plug-in beside itself and the plug-in finds the Studio beside it.
version_text=$(TMPDIR="$work" qkshost --no-stdin -c QKVER)
grep -q "Corvane Studio $version" <<<"$version_text" || {
  echo "QKVER: $version_text" >&2
  exit 1
}
grep -q "/lib/qks/bin/../Studio/QksStudio" <<<"$version_text" || {
  echo "the installed plug-in does not find the installed Studio: $version_text" >&2
  exit 1
}
QT_QPA_PLATFORM=offscreen TMPDIR="$work" QksStudio --quit-after --delay 100 >/dev/null 2>&1 || {
  echo "the installed QksStudio does not start" >&2
  exit 1
}
echo "-- the installed Studio, started from its menu entry, runs its own host"
bash "$root/scripts/studio-launch-check.sh" /usr/share/applications/qksstudio.desktop "$version"
qksparts "${samples[0]}" >"$work/parts.txt" 2>/dev/null
printf 'sheet=3000x1500\ngap=5\nmargin=10\nseconds=2\noutDir=%s\n' "$work" >"$work/qksnest.cfg"
summary=$(TMPDIR="$work" qksnest "$work/qksnest.cfg" "$work/parts.txt" --iterations 20)
grep -q '^sheets=[1-9]' <<<"$summary" || {
  echo "the installed qksnest placed nothing: $summary" >&2
  exit 1
}

echo "-- the main job with the installed qkshost on the installed samples"
out="$work/out"
mkdir -p "$out"
source "$root/scripts/demo-config.sh"
write_demo_config "$work" "$out" 3 "${samples[@]}" >"$work/qks_nest.cfg"
(cd "$work" && TMPDIR="$work" qkshost --no-stdin -c QKNEST >"$work/console.txt" 2>&1)
if ! grep -q '^DONE ' "$work/qks_nest.log"; then
  cat "$work/console.txt" "$work/qks_nest.log" >&2 || true
  echo "the installed nest job did not finish" >&2
  exit 1
fi
drawing=$(sed -n 's/^NEST 已生成 //p' "$work/qks_nest.log")
if [ -z "$drawing" ] || [ ! -s "$drawing" ]; then
  echo "the installed nest job wrote no drawing" >&2
  exit 1
fi
ls "$out"/*.pdf >/dev/null 2>&1 || { echo "no sheet PDFs" >&2; exit 1; }
grep '^DONE ' "$work/qks_nest.log"
echo "package check passed: $build/$deb"
