#!/usr/bin/env bash
# The main job on built-in defaults: simulate a multibeam survey line, filter it with
# examples/filters.attr, print the summary (detection and false alarms, overall and per
# filter) and draw one ping, the whole line and its plan view; then the same on a real
# line shipped in examples/data/ (NOAA, public domain): import it from GSF, filter it with
# examples/deep.attr and draw it.
# Output goes to ./kvs-demo/ (or the folder given as the first argument).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
step() { printf '\n== %s\n' "$*"; }
step "Checking the Debian packages the build needs (scripts/deps.sh)"
"$root/scripts/deps.sh"
build=$root/build
step "Configuring the build in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
step "Building kvsblocks (a few minutes the first time on two cores)"
cmake --build "$build" -j "$(nproc)" --target kvsblocks
out=${1:-kvs-demo}
mkdir -p "$out"
kvs="$build/tools/kvsblocks"
step "Simulating a line of 300 pings of 400 beams in 30 m of water, with spikes and flying objects"
"$kvs" simulate -o "$out/line.kvs" --beams 400 --pings 300 --depth 30 --spikes 0.003 --flying 0.1
step "Filtering it with examples/filters.attr"
"$kvs" filter "$out/line.kvs" -a "$root/examples/filters.attr" -o "$out/filtered.kvs"
step "Drawing one ping, the line and its plan view"
"$kvs" plot "$out/filtered.kvs" --ping-svg "$out/ping.svg" --line-svg "$out/line.svg" --plan-svg "$out/plan.svg"
real=$root/examples/data/0175_20150322_232639_EX1502L2_MB.gsf.mb121
step "Importing a real line: $(basename "$real") (NOAA Okeanos Explorer, EM302, about 1600 m deep)"
"$kvs" import "$real" -o "$out/real.kvs"
step "Filtering it with examples/deep.attr"
"$kvs" filter "$out/real.kvs" -a "$root/examples/deep.attr" -o "$out/real-filtered.kvs"
step "Drawing it"
"$kvs" plot "$out/real-filtered.kvs" --ping-svg "$out/real-ping.svg" --line-svg "$out/real-line.svg" \
  --plan-svg "$out/real-plan.svg"
step "Done"
echo "open $out/ping.svg, $out/line.svg and $out/plan.svg (simulated) and $out/real-*.svg (real) to see what the filters flagged"
