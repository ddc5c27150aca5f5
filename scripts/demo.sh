#!/usr/bin/env bash
# Builds the library and runs the main job on its built-in defaults.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=$root/build
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target kvsblocks
"$build/tools/kvsblocks" "$@"
