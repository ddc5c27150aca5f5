#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
          libproj-dev proj-bin proj-data libgeographiclib-dev libcli11-dev nlohmann-json3-dev libmuparser-dev pkg-config
          pybind11-dev python3-dev python3-numpy python3-pytest python3-geographiclib
          libgdal-dev gdal-bin python3-gdal
          python3-dask python3-distributed python3-pandas)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
