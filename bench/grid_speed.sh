#!/usr/bin/env bash
# Gridding speed: a simulated line of 3000 pings x 1600 beams gridded in one pass at 1 m
# (kvsblocks grid), against reading the same line alone (every record read and unpacked
# into a block by the library's RecordStreamReader, nothing else: bench/ReadLine.cpp,
# compiled here against the build's shared library). Prints the processor time (user +
# system, steadier than the wall clock on a busy machine) and wall time of both, soundings
# per second, their ratio, and the peak memory of each (/usr/bin/time -v).
# Usage: bench/grid_speed.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
tool=$build/tools/kvsblocks
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++20 -I"$build/include" "$root/bench/ReadLine.cpp" -L"$build" -lKvsDataBlocks -Wl,-rpath,"$build" \
  -o "$work/readline"
"$tool" simulate -o "$work/line.kvs" --beams 1600 --pings 3000 --depth 40 --spikes 0 --flying 0 -q
soundings=$((1600 * 3000))
run() { # label, command...: processor seconds, wall seconds, peak kB
  local label=$1; shift
  /usr/bin/time -v "$@" > /dev/null 2> "$work/time.txt"
  awk -F': ' -v label="$label" '
    /User time/ {cpu += $2} /System time/ {cpu += $2}
    /Elapsed \(wall clock\)/ {n = split($2, p, ":"); for (i = 1; i <= n; i++) wall = wall * 60 + p[i]}
    /Maximum resident set size/ {kb = $2}
    END {print label, cpu, wall, kb}' "$work/time.txt"
}
run read "$work/readline" "$work/line.kvs" > "$work/read.txt"
run grid "$tool" grid "$work/line.kvs" -o "$work/surface.tif" --resolution 1 > "$work/grid.txt"
cat "$work/read.txt" "$work/grid.txt" | awk -v n=$soundings '
  {cpu[$1] = $2; wall[$1] = $3; kb[$1] = $4}
  END {
    printf "%-22s %10s %10s %16s %10s\n", "run", "cpu s", "wall s", "soundings/cpu s", "peak MiB"
    printf "%-22s %10.2f %10.2f %16.0f %10.1f\n", "read the line alone", cpu["read"], wall["read"], n / cpu["read"], kb["read"] / 1024
    printf "%-22s %10.2f %10.2f %16.0f %10.1f\n", "grid at 1 m", cpu["grid"], wall["grid"], n / cpu["grid"], kb["grid"] / 1024
    printf "grid speed / read speed (processor time): %.3f\n", cpu["read"] / cpu["grid"]
  }'
