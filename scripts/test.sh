#!/usr/bin/env bash
# Runs every test the way CI does, on a fresh Debian machine or a developer's:
#   1. installs the packages the project needs (scripts/setup-debian.sh),
#   2. checks the formatting,
#   3. builds everything with AddressSanitizer + UndefinedBehaviorSanitizer and runs all suites,
#   4. builds the threaded suites with ThreadSanitizer and runs them,
#   5. builds the fuzz targets with libFuzzer (clang) and runs each for a while,
#   6. builds the Debian package, checks it with lintian, installs it, runs the main job with
#      the installed programs and removes it again (scripts/package-check.sh; needs root).
# QKS_FUZZ_SECONDS (default 10; the DXF and DWG readers get at least 60) sets the fuzzing time.
# Sanitizer builds use -O1 (the sanitizers' recommended level, and a quicker compile); ccache
# keeps compiled objects between runs on one machine, whatever folder the clone is in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QKS_JOBS:-$(nproc)}
fuzz_seconds=${QKS_FUZZ_SECONDS:-10}
build=${QKS_TEST_BUILD:-$root/build}

bash scripts/setup-debian.sh

echo "== formatting"
bash scripts/check-format.sh
echo "== module boundaries"
/usr/bin/python3 scripts/check-boundaries.py
echo "== class and function sizes"
/usr/bin/python3 scripts/size-report.py --check

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG"
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG")
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "== address and undefined-behaviour sanitizers"
cmake -S . -B "$build/asan" "${common[@]}" \
  -DQKS_SANITIZE=address,undefined -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build/asan" -j "$jobs"
ctest --test-dir "$build/asan" -j "$jobs" --output-on-failure --timeout 600

echo "== thread sanitizer"
# Random-job searches check layout invariants, not threads, and take minutes under the thread
# sanitizer; they run in the address-sanitizer pass above.
tsan_skip='RandomJobs'

cmake -S . -B "$build/tsan" "${common[@]}" -DQKS_SANITIZE=thread \
  -DQKS_BUILD_STUDIO=OFF -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
mapfile -t tsan_targets < <(grep -v '^$' "$build/tsan/tsan-targets.txt" || true)
if [ "${#tsan_targets[@]}" -gt 0 ]; then
  cmake --build "$build/tsan" -j "$jobs" --target "${tsan_targets[@]}" qkshost qks qks23
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
    ctest --test-dir "$build/tsan" -L tsan -E "$tsan_skip" -j "$jobs" --output-on-failure --timeout 600
fi

echo "== fuzzing"
cmake -S . -B "$build/fuzz" "${common[@]}" -DQKS_FUZZ=ON \
  -DQKS_SANITIZE=address,undefined -DQKS_BUILD_TESTS=OFF -DQKS_BUILD_STUDIO=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
mapfile -t fuzzers < <(grep -v '^$' "$build/fuzz/fuzz-targets.txt" || true)
for entry in "${fuzzers[@]}"; do
  name=${entry%%|*}
  cmake --build "$build/fuzz" -j "$jobs" --target "$name"
done
failed=0
for entry in "${fuzzers[@]}"; do
  name=${entry%%|*}
  corpus=${entry#*|}
  seconds=$fuzz_seconds
  case "$name" in *dxf*|*dwg*) [ "$seconds" -lt 60 ] && seconds=60 ;; esac
  work=$(mktemp -d)
  echo "-- $name for ${seconds}s"
  if ! "$build/fuzz/bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=0 "$work" ${corpus:+"$corpus"} >"$work.log" 2>&1; then
    tail -50 "$work.log"
    failed=1
  fi
  rm -rf "$work" "$work.log"
done
if [ "$failed" -ne 0 ]; then
  echo "fuzzing found a failure"
  exit 1
fi

echo "== package"
QKS_JOBS="$jobs" QKS_PACKAGE_BUILD="$build/package" bash scripts/package-check.sh
echo "all tests passed"
