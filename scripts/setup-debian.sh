#!/usr/bin/env bash
# Installs every Debian package the toolkit needs to build, run and test; with --bench also the
# peers and tools the benchmarks compare against and read their data with (bench/).
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git ccache
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev googletest
  qtbase5-dev qtbase5-dev-tools
  libpango1.0-dev libharfbuzz-dev zlib1g-dev fonts-wqy-microhei fontconfig
  libgeos-dev libxlsxwriter-dev libzip-dev
  python3 python3-ezdxf python3-shapely python3-fonttools python3-openpyxl poppler-utils qpdf xvfb xauth xdotool
  dpkg-dev file lintian universal-ctags
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(libnest2d-dev libpolyclipping-dev libnlopt-cxx-dev libboost-dev nlohmann-json3-dev
    libboost-program-options-dev libboost-filesystem-dev
    librecad python3-matplotlib)
fi
need=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ "${#need[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
