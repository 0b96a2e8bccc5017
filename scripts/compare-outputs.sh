#!/usr/bin/env bash
# Checks that a change leaves every job's output as it was: builds qkshost, the plug-in and
# qksnest at BASE_REV and from the working tree, runs job-outputs.sh with each over the fixture
# drawings (plots, merges, nests, BOM, drawing tools, the drawing window's display lists) and
# compares what they wrote, byte for byte after job-outputs.sh's normalising. Exits 1 on any
# difference and lists the files that differ.
#
# usage: compare-outputs.sh [BASE_REV]
#   BASE_REV  defaults to the merge base of HEAD and main
# Environment: QKS_COMPARE_BUILD, the working tree's build folder (default build/rel, configured
# here when missing); QKS_JOBS, build jobs (default 2). Builds take /tmp/qks-build.lock.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
base_rev=$(git rev-parse --verify "${1:-$(git merge-base HEAD main)}^{commit}")
jobs=${QKS_JOBS:-2}
head_build=${QKS_COMPARE_BUILD:-$root/build/rel}
compare="$root/build/compare"
base_src="$compare/base-src"
targets=(qkshost qks qks23 qksnest)

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build() {
  local source=$1 folder=$2
  if [ ! -f "$folder/CMakeCache.txt" ]; then
    cmake -S "$source" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  fi
  flock /tmp/qks-build.lock cmake --build "$folder" -j "$jobs" --target "${targets[@]}" >/dev/null
}

mkdir -p "$compare"
# The base's sources as a detached worktree, its build inside it, so that the compiler cache
# sees the same relative paths as in the working tree's own build.
if [ "$(git -C "$base_src" rev-parse HEAD 2>/dev/null || true)" != "$base_rev" ]; then
  git worktree remove --force "$base_src" 2>/dev/null || rm -rf "$base_src"
  git worktree prune
  git worktree add --detach "$base_src" "$base_rev" >/dev/null
fi
echo "== building the base ($(git log --oneline -1 "$base_rev"))"
CCACHE_BASEDIR="$base_src" build "$base_src" "$base_src/build/rel"
echo "== building the working tree in $head_build"
build "$root" "$head_build"

echo "== running the jobs"
rm -rf "$compare/first" "$compare/base" "$compare/head"
# The first run only lays the nest out; both compared runs draw that same layout.
bash scripts/job-outputs.sh "$base_src/build/rel/bin" "$compare/first" >/dev/null
bash scripts/job-outputs.sh "$base_src/build/rel/bin" "$compare/base" \
  "$compare/first/locked.qkslayout" >/dev/null
bash scripts/job-outputs.sh "$head_build/bin" "$compare/head" \
  "$compare/first/locked.qkslayout" >/dev/null

files=$(find "$compare/base" -type f | wc -l)
if diff -rq "$compare/base" "$compare/head"; then
  echo "identical: $files files from $(git rev-parse --short "$base_rev") and the working tree"
else
  echo "outputs differ (base in $compare/base, working tree in $compare/head)" >&2
  exit 1
fi
