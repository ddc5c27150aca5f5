#!/usr/bin/env bash
# The main job on built-in defaults: simulate a multibeam survey line, filter it with
# examples/filters.attr, print the summary (detection and false alarms, overall and per
# filter) and draw one ping, the whole line and its plan view.
# Output goes to ./kvs-demo/ (or the folder given as the first argument).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=$root/build
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target kvsblocks >/dev/null
out=${1:-kvs-demo}
mkdir -p "$out"
kvs="$build/tools/kvsblocks"
"$kvs" simulate -o "$out/line.kvs" --beams 400 --pings 300 --depth 30 --spikes 0.003 --flying 0.1
"$kvs" filter "$out/line.kvs" -a "$root/examples/filters.attr" -o "$out/filtered.kvs"
"$kvs" plot "$out/filtered.kvs" --ping-svg "$out/ping.svg" --line-svg "$out/line.svg" --plan-svg "$out/plan.svg"
echo "open $out/ping.svg, $out/line.svg and $out/plan.svg to see what the filters flagged"
