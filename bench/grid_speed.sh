#!/usr/bin/env bash
# Gridding speed: a simulated line of 3000 pings x 1600 beams gridded in one pass at 1 m,
# against reading the same line alone (every block read and unpacked by the library's
# record stream reader, through the Python module: 3000 blocks, so Python's share is
# small). Prints soundings per second of both, their ratio, and the peak memory of each
# (/usr/bin/time -v). Usage: bench/grid_speed.sh [BUILD_DIR] (built with -DKVS_BUILD_PYTHON=ON)
set -euo pipefail
build=${1:-build}
tool=$build/tools/kvsblocks
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" simulate -o "$work/line.kvs" --beams 1600 --pings 3000 --depth 40 --spikes 0 --flying 0 -q
soundings=$((1600 * 3000))
reader='
import sys, time, kvsdatablocks as k
t = time.perf_counter()
n = sum(1 for _ in k.read_stream(sys.argv[1]))
open(sys.argv[2], "w").write(str(time.perf_counter() - t))
assert n == 3000'
run() { # label, args...: wall seconds and peak kB
  local label=$1; shift
  /usr/bin/time -v "$@" > /dev/null 2> "$work/time.txt"
  local wall kb
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2, p, ":"); s=0; for (i=1;i<=n;i++) s=s*60+p[i]; print s}' "$work/time.txt")
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  echo "$label $wall $kb"
}
# The reading time is taken inside Python, leaving out the interpreter's start.
read -r _ _ read_kb < <(run read env PYTHONPATH="$build/python" /usr/bin/python3 -c "$reader" "$work/line.kvs" "$work/read_s")
read_s=$(cat "$work/read_s")
read -r _ grid_s grid_kb < <(run grid "$tool" grid "$work/line.kvs" -o "$work/fine.tif" --resolution 1)
awk -v n=$soundings -v rs="$read_s" -v gs="$grid_s" -v rk="$read_kb" -v gk="$grid_kb" 'BEGIN {
  printf "%-34s %12s %14s %12s\n", "run", "seconds", "soundings/s", "peak MiB"
  printf "%-34s %12.2f %14.0f %12.1f\n", "read the line alone", rs, n / rs, rk / 1024
  printf "%-34s %12.2f %14.0f %12.1f\n", "grid at 1 m", gs, n / gs, gk / 1024
  printf "ratio grid / read speed: %.2f\n", (n / gs) / (n / rs)
}'
ls -l "$work/line.kvs" | awk '{printf "line file: %.0f MiB\n", $5 / 1048576}'
