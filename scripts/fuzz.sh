#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time over a copy of its seed corpus fuzz/corpus/<target>/
# (with the dictionary fuzz/<target>.dict when there is one).
# Fails on any finding. Usage: scripts/fuzz.sh [build-dir] [seconds-per-target] [target...]
# (every target when none is named).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${1:-$root/build-fuzz}
seconds=${2:-30}
shift $(( $# < 2 ? $# : 2 ))
# Runs of this script side by side (targets shared out over the cores) configure and
# build one at a time: two configures at once can leave a generated header half written.
mkdir -p "$build"
exec 9>"$build/.fuzz-configure.lock"
flock 9
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKVS_BUILD_FUZZ=ON -DKVS_BUILD_TESTS=OFF -DKVS_BUILD_TOOLS=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/fuzz/fuzz_*.cpp; do
    [ -e "$src" ] || continue
    targets+=("$(basename "$src" .cpp)")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets"; exit 0; }
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
flock -u 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for t in "${targets[@]}"; do
  echo "== $t (${seconds}s)"
  mkdir -p "$work/$t/corpus" "$work/$t/findings"
  if [ -d "$root/fuzz/corpus/$t" ]; then cp -r "$root/fuzz/corpus/$t/." "$work/$t/corpus/"; fi
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  # fuzz/<target>.options: options of its own (a larger -max_len, a shorter -timeout), which
  # come after the defaults and so win.
  options=()
  [ -f "$root/fuzz/$t.options" ] && read -r -a options <"$root/fuzz/$t.options"
  status=0
  "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$work/$t/findings/" \
    -print_final_stats=1 "${dict[@]}" "${options[@]}" "$work/$t/corpus" >"$work/$t/log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/$t/findings")" ]; then
    tail -n 60 "$work/$t/log"
    echo "fuzz target $t found a problem:"; ls -l "$work/$t/findings"
    mkdir -p "$build/findings" && cp -r "$work/$t/findings/." "$build/findings/"
    exit 1
  fi
  # The final coverage and execution figures.
  grep -E "cov: " "$work/$t/log" | tail -n 1
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$work/$t/log"
done
