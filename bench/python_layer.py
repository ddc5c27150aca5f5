#!/usr/bin/env python3
"""What the Python layer costs: one simulated line (300 pings x 1600 beams by default)
read, filtered with examples/filters.attr and written, by `kvsblocks filter` and by the
kvsdatablocks module, alternately in the same run; the best of each is compared.

    PYTHONPATH=build/python KVS_TOOL=build/tools/kvsblocks /usr/bin/python3 bench/python_layer.py
"""
import argparse
import json
import os
import pathlib
import subprocess
import tempfile
import time

import numpy as np

import kvsdatablocks as kvs

ROOT = pathlib.Path(__file__).resolve().parents[1]


def tool_filter(tool, line, settings, out):
    """Wall time of the whole run, and the time the tool spent in the filter."""
    start = time.perf_counter()
    done = subprocess.run([tool, "filter", line, "-a", settings, "-o", out, "--no-progress", "--json"], check=True,
                          capture_output=True, text=True)
    return time.perf_counter() - start, json.loads(done.stdout)["filterSeconds"]


def python_filter(line, settings, out):
    """Wall time of read, filter and write, and the time spent in process()."""
    start = time.perf_counter()
    busy = 0.0
    f = kvs.MultibeamFilter(settings)
    with kvs.read_stream(line) as stream, kvs.write_stream(out) as writer:
        for ping in stream:
            t = time.perf_counter()
            out_now = f.process(ping)
            busy += time.perf_counter() - t
            if out_now:
                writer.write(ping)
        for ping in f.remainder():
            writer.write(ping)
    return time.perf_counter() - start, busy


def python_read(line):
    start = time.perf_counter()
    depths = [-ping.array(605) for ping in kvs.read_stream(line)]
    np.stack(depths)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pings", type=int, default=300)
    parser.add_argument("--beams", type=int, default=1600)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    tool = os.environ.get("KVS_TOOL", str(ROOT / "build" / "tools" / "kvsblocks"))
    settings = str(ROOT / "examples" / "filters.attr")
    with tempfile.TemporaryDirectory() as tmp:
        line, a, b = (os.path.join(tmp, n) for n in ("line.kvs", "tool.kvs", "python.kvs"))
        subprocess.run([tool, "simulate", "-o", line, "--pings", str(args.pings), "--beams", str(args.beams), "-q"],
                       check=True)
        times = {"tool": [], "tool filter": [], "python": [], "python filter": [], "read": []}
        for _ in range(args.rounds):
            wall, busy = tool_filter(tool, line, settings, a)
            times["tool"].append(wall)
            times["tool filter"].append(busy)
            wall, busy = python_filter(line, settings, b)
            times["python"].append(wall)
            times["python filter"].append(busy)
            times["read"].append(python_read(line))
        same = pathlib.Path(a).read_bytes() == pathlib.Path(b).read_bytes()
        best = {k: min(v) for k, v in times.items()}
        print(f"{args.pings} pings x {args.beams} beams, {os.path.getsize(line) / 2**20:.1f} MiB, best of {args.rounds}")
        print(f"  wall, read+filter+write:  tool {best['tool']:.3f} s, Python {best['python']:.3f} s, "
              f"ratio Python/tool {best['python'] / best['tool']:.2f}")
        print(f"  in the filter alone:      tool {best['tool filter']:.3f} s, Python {best['python filter']:.3f} s, "
              f"ratio {best['python filter'] / best['tool filter']:.2f}")
        print(f"  Python: read the line and stack every depth array into numpy: {best['read']:.3f} s")
        print(f"  outputs byte-identical: {same}")


if __name__ == "__main__":
    main()
