#!/usr/bin/env bash
# Builds the benchmarks and the tool (Release, in their own build folder) and prints one
# table: each figure that survey users feel, its baseline measured in the same run, and
# the ratio. Google Benchmark figures are medians of 5 repetitions (JSON output), run in
# random order so that a busy moment of the machine does not fall on one figure only; the
# filter scaling is the best wall time of 3 runs of "kvsblocks filter" over simulated lines
# with --jobs 1 and --jobs 2. Run it on a quiet machine: the figures are times.
# Usage: scripts/bench.sh [build-dir]
#   KVS_BENCH_LINES (4), KVS_BENCH_PINGS (3000), KVS_BENCH_BEAMS (1600): the simulated lines.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${1:-$root/build-bench}
lines=${KVS_BENCH_LINES:-4}
pings=${KVS_BENCH_PINGS:-3000}
beams=${KVS_BENCH_BEAMS:-1600}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVS_BUILD_BENCH=ON -DKVS_BUILD_TOOLS=ON \
  -DKVS_BUILD_TESTS=OFF -DKVS_BUILD_PYTHON=ON -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$build" -j 2 --target MultibeamBench PackBench GeodesyBench FormulaBench GsfImportBench KongsbergImportBench kvsblocks \
  kvsdatablocks >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { # name [benchmark filter]
  echo "running $1" >&2
  "$build/bench/$1" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_enable_random_interleaving=true \
    --benchmark_out="$work/$1.json" --benchmark_out_format=json ${2:+--benchmark_filter="$2"} >/dev/null
}
run MultibeamBench 'c_plus_smart/1600|d_survey_preset/1600'
run PackBench
run GeodesyBench
run FormulaBench
run GsfImportBench
run KongsbergImportBench

# Filter scaling: the same lines filtered with one job and with two.
tool="$build/tools/kvsblocks"
best() { # jobs -> best wall seconds of 3 runs
  local b=""
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N)
    "$tool" filter "${inputs[@]}" -a "$root/examples/filters.attr" -o "$work/out" --jobs "$1" --no-progress >/dev/null
    t1=$(date +%s.%N)
    b=$(python3 -c "t = $t1 - $t0; print(t if '$b' == '' else min(t, float('$b')))")
  done
  echo "$b"
}
if "$tool" filter --help | grep -q -- '--jobs'; then
  echo "simulating $lines lines of $pings pings x $beams beams" >&2
  inputs=()
  for i in $(seq 1 "$lines"); do
    "$tool" simulate -q -o "$work/line$i.kvs" --beams "$beams" --pings "$pings" --seed "$i"
    inputs+=("$work/line$i.kvs")
  done
  echo "filtering with 1 and 2 jobs" >&2
  printf '{"jobs1": %s, "jobs2": %s, "lines": %s, "pings": %s, "beams": %s}\n' "$(best 1)" "$(best 2)" \
    "$lines" "$pings" "$beams" >"$work/scaling.json"
  rm -f "$work"/line*.kvs
else
  echo '{}' >"$work/scaling.json"
fi

# The campaign over Dask: 1 worker against 2, against the tool, 1 thread against 2.
# KVS_BENCH_CAMPAIGN_LINES (8) lines of KVS_BENCH_PINGS x KVS_BENCH_BEAMS, in the folder
# KVS_BENCH_CAMPAIGN_TMP (default the system's temporary folder; /dev/shm leaves the disk out).
if /usr/bin/python3 -c 'import distributed, pandas' 2>/dev/null; then
  echo "campaign over Dask" >&2
  PYTHONPATH="$build/python" KVS_TOOL="$tool" /usr/bin/python3 "$root/bench/campaign.py" \
    --lines "${KVS_BENCH_CAMPAIGN_LINES:-8}" --pings "$pings" --beams "$beams" --json "$work/campaign.json" \
    ${KVS_BENCH_CAMPAIGN_TMP:+--tmp "$KVS_BENCH_CAMPAIGN_TMP"} >&2
else
  echo '{}' >"$work/campaign.json"
fi

python3 - "$work" <<'EOF'
import json, os, sys

work = sys.argv[1]
medians = {}
for name in ("MultibeamBench", "PackBench", "GeodesyBench", "FormulaBench", "GsfImportBench", "KongsbergImportBench"):
    with open(os.path.join(work, name + ".json")) as f:
        for b in json.load(f)["benchmarks"]:
            if b.get("aggregate_name") == "median" and not b.get("error_occurred"):
                medians[b["run_name"]] = b
with open(os.path.join(work, "scaling.json")) as f:
    scaling = json.load(f)

def ns(run):
    b = medians.get(run)
    if b is None:
        return None
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
    return b["cpu_time"] * scale

def counter(run, key):
    b = medians.get(run)
    return None if b is None else b.get(key)

rows = []  # figure, value, unit, baseline, baseline value, ratio, sense

def time_row(figure, ours, base, baseline, target):
    a, b = ns(ours), ns(base)
    unit = "us" if (a or 0) > 1e3 else "ns"
    div = 1e3 if unit == "us" else 1.0
    rows.append((figure, a / div if a else None, unit, baseline, b / div if b else None,
                 a / b if a and b else None, "time ratio" + target))

pings = counter("BM_Process/c_plus_smart/1600", "pings/s")
rows.append(("multibeam pings/s, every filter, 1600 beams", pings, "1/s", "target", 5000.0,
             pings / 5000.0 if pings else None, "rate ratio, >= 1"))
pings = counter("BM_Process/d_survey_preset/1600", "pings/s")
rows.append(("multibeam pings/s, survey preset, 1600 beams", pings, "1/s", "target", 5000.0,
             pings / 5000.0 if pings else None, "rate ratio, >= 1"))
for form, arg in (("narrow", 0), ("wide", 1)):
    time_row(f"Pack {form}", f"BM_Pack/{arg}", f"BM_PackCopy/{arg}", "memcpy", ", <= 1.1")
for form, arg in (("narrow", 0), ("wide", 1)):
    time_row(f"UnPack {form}", f"BM_UnPack/{arg}", f"BM_UnPackCopy/{arg}", "memcpy", ", <= 1.1")
time_row("ClarkePolar", "BM_ClarkeDirect", "BM_GeographicLibDirect", "GeographicLib Direct", ", <= 0.25")
time_row("robinv", "BM_RobbinsInverse", "BM_GeographicLibInverse", "GeographicLib Inverse", "")
for e in ("Hypot", "Linear"):
    time_row(f"formula {e}", f"BM_KvsForm/{e}", f"BM_MuParser/{e}", "muParser", "")
imp, cat = counter("BM_GsfImport", "bytes_per_second"), counter("BM_ReadWholeFile", "bytes_per_second")
rows.append(("GSF import MB/s", imp / 1e6 if imp else None, "MB/s", "whole-file read", cat / 1e6 if cat else None,
             imp / cat if imp and cat else None, "rate ratio"))
imp, cat = counter("BM_KongsbergAllImport", "bytes_per_second"), counter("BM_ReadWholeAllFile", "bytes_per_second")
rows.append(("Kongsberg .all import MB/s", imp / 1e6 if imp else None, "MB/s", "whole-file read", cat / 1e6 if cat else None,
             imp / cat if imp and cat else None, "rate ratio"))
if scaling:
    rows.append((f"filter {scaling['lines']} lines x {scaling['pings']} pings x {scaling['beams']} beams, 2 jobs",
                 scaling["jobs2"], "s", "1 job", scaling["jobs1"], scaling["jobs1"] / scaling["jobs2"],
                 "speed-up, ideal 2"))
else:
    rows.append(("filter 2 jobs", None, "s", "1 job", None, None, "one input only"))

with open(os.path.join(work, "campaign.json")) as f:
    campaign = json.load(f)
if campaign:
    s = campaign["seconds"]
    what = f"{campaign['lines']} lines x {campaign['pings']} pings x {campaign['beams']} beams"
    rows.append((f"campaign {what}, 2 workers", s["2 workers"], "s", "1 worker", s["1 worker"],
                 campaign["speed-up 2 workers / 1"], "speed-up, >= 1.7"))
    rows.append(("campaign, 2 workers", s["2 workers"], "s", "filter --jobs 2", s["tool --jobs 2"],
                 campaign["campaign / tool --jobs 2"], "time ratio, layer cost"))
    rows.append(("campaign, Dask's own time a line (1 worker)", campaign["dask seconds per line"], "s", "", None, None,
                 "wall - task seconds"))
    rows.append(("campaign tasks, 2 threads of one process", s["2 threads"], "s", "1 thread", s["1 thread"],
                 campaign["threads speed-up 2 / 1"], "speed-up (GIL released), ideal 2"))

def fmt(v):
    if v is None:
        return "n/a"
    return f"{v:,.0f}" if abs(v) >= 1000 else f"{v:.2f}" if abs(v) < 10 else f"{v:.1f}"

header = ("figure", "value", "unit", "baseline", "baseline value", "ratio", "sense")
cells = [header] + [(f, fmt(v), u, bl, fmt(bv), "n/a" if r is None else f"{r:.2f}", s) for f, v, u, bl, bv, r, s in rows]
widths = [max(len(row[i]) for row in cells) for i in range(len(header))]
for n, row in enumerate(cells):
    print("  ".join(c.ljust(w) if i in (0, 2, 3, 6) else c.rjust(w) for i, (c, w) in enumerate(zip(row, widths))))
    if n == 0:
        print("  ".join("-" * w for w in widths))
EOF

# Filter quality on real seabed (not a time): outliers injected at fixed seeds into every
# real multibeam line, filtered with the survey preset.
python3 "$root/bench/real_quality.py" --tool "$tool"
