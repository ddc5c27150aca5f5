#!/usr/bin/env python3
"""What a campaign over Dask gains and costs: simulated lines (8 of 3000 pings x 1600 beams by
default) filtered with examples/filters.attr, all in the same run:

  - kvsdatablocks.campaign on a local cluster of 1 worker process and of 2 (speed-up);
  - `kvsblocks filter --jobs 2` over the same lines, against the campaign on 2 workers (the
    campaign layer's cost per line, and the ratio of the wall times);
  - the campaign's task for each line run by 1 thread and by 2 threads of this one process
    (what releasing the GIL gives).

Clusters are started before the clock runs; each figure is the best of --rounds runs, taken
in turns. The machine's load average is printed with the figures: they are times.

    PYTHONPATH=build/python KVS_TOOL=build/tools/kvsblocks /usr/bin/python3 bench/campaign.py [--json out.json]
"""
import argparse
import concurrent.futures
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import distributed

from kvsdatablocks import campaign

ROOT = pathlib.Path(__file__).resolve().parents[1]


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lines", type=int, default=8)
    parser.add_argument("--pings", type=int, default=3000)
    parser.add_argument("--beams", type=int, default=1600)
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("--tmp", help="folder for the lines and outputs (default: the system's temporary folder); "
                                      "on a memory file system (/dev/shm) the figures leave the disk out")
    args = parser.parse_args()
    tool = os.environ.get("KVS_TOOL", str(ROOT / "build" / "tools" / "kvsblocks"))
    settings = str(ROOT / "examples" / "filters.attr")

    with tempfile.TemporaryDirectory(prefix="kvs-campaign-bench-", dir=args.tmp) as tmp:
        tmp = pathlib.Path(tmp)
        print(f"simulating {args.lines} lines of {args.pings} pings x {args.beams} beams", file=sys.stderr)
        def simulate(i):
            subprocess.run([tool, "simulate", "-q", "-o", str(tmp / f"line{i}.kvs"), "--pings", str(args.pings),
                            "--beams", str(args.beams), "--seed", str(i)], check=True)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            list(pool.map(simulate, range(1, args.lines + 1)))
        lines = [str(tmp / f"line{i}.kvs") for i in range(1, args.lines + 1)]
        size = sum(os.path.getsize(p) for p in lines) / 2**20

        def tool_jobs2():
            subprocess.run([tool, "filter", *lines, "-a", settings, "-o", str(tmp / "tool"), "--jobs", "2",
                            "--no-progress"], check=True, capture_output=True)

        task_seconds = {}  # per cluster: the seconds the tasks took, summed, in each run

        def on_cluster(client, name):
            def work():
                table = campaign.run(lines, settings, tmp / "campaign", client=client, progress=False)
                if (table["error"] != "").any():
                    sys.exit(f"campaign failed: {list(table['error'])}")
                task_seconds.setdefault(name, []).append(float(table["seconds"].sum()))
            return work

        def threads(count):
            def work():
                with concurrent.futures.ThreadPoolExecutor(count) as pool:
                    rows = list(pool.map(lambda p: campaign.process_line(p, settings, str(tmp / "threads")), lines))
                if any(r["error"] for r in rows):
                    sys.exit(f"a line failed: {[r['error'] for r in rows]}")
            return work

        times = {"1 worker": [], "2 workers": [], "tool --jobs 2": [], "1 thread": [], "2 threads": []}
        load = os.getloadavg()
        with distributed.LocalCluster(n_workers=1, threads_per_worker=1, dashboard_address=":0") as c1, \
                distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0") as c2, \
                distributed.Client(c1) as one, distributed.Client(c2) as two:
            work = {"1 worker": on_cluster(one, "1 worker"), "2 workers": on_cluster(two, "2 workers"),
                    "tool --jobs 2": tool_jobs2,
                    "1 thread": threads(1), "2 threads": threads(2)}
            for r in range(args.rounds):
                for name, w in work.items():
                    print(f"round {r + 1}: {name}", file=sys.stderr)
                    times[name].append(timed(w))
        load = [max(a, b) for a, b in zip(load, os.getloadavg())]

    best = {k: min(v) for k, v in times.items()}
    figures = {
        "lines": args.lines, "pings": args.pings, "beams": args.beams, "MiB": round(size, 1), "folder": str(tmp),
        "seconds": best, "load average": load[0],
        "speed-up 2 workers / 1": best["1 worker"] / best["2 workers"],
        "campaign / tool --jobs 2": best["2 workers"] / best["tool --jobs 2"],
        "layer seconds per line": (best["2 workers"] - best["tool --jobs 2"]) / args.lines,
        "threads speed-up 2 / 1": best["1 thread"] / best["2 threads"],
        # On one worker the tasks run one after the other: what the wall time holds beyond
        # them is Dask's own (submitting, scheduling, summaries travelling back).
        "dask seconds per line": min(w - t for w, t in zip(times["1 worker"], task_seconds["1 worker"])) / args.lines,
    }
    print(f"{args.lines} lines of {args.pings} pings x {args.beams} beams ({size:.0f} MiB in {tmp.parent}), best of {args.rounds}, "
          f"load average up to {load[0]:.1f} on {os.cpu_count()} cores")
    for name, t in best.items():
        print(f"  {name:14s} {t:8.2f} s")
    print(f"  speed-up, 2 workers against 1:           {figures['speed-up 2 workers / 1']:.2f} (ideal 2)")
    print(f"  campaign (2 workers) / tool --jobs 2:     {figures['campaign / tool --jobs 2']:.2f} "
          f"({figures['layer seconds per line']:+.3f} s a line)")
    print(f"  Dask's own time a line (1 worker: wall - task seconds): {figures['dask seconds per line']:.3f} s")
    print(f"  speed-up, 2 threads against 1 (GIL):      {figures['threads speed-up 2 / 1']:.2f} (ideal 2)")
    if args.json:
        pathlib.Path(args.json).write_text(json.dumps(figures, indent=2))


if __name__ == "__main__":
    main()
