#!/usr/bin/env python3
"""Draws one multibeam ping of a record stream: depth against across-track distance,
each beam coloured by the first filter that flagged it.

    plot_ping.py filtered.kvs --ping 10 -o ping.png

Without -o the picture opens in a window. Needs matplotlib (Debian: python3-matplotlib)
and the kvsdatablocks module on PYTHONPATH (build/python of a build with
-DKVS_BUILD_PYTHON=ON).
"""
import argparse
import sys

import numpy as np

import kvsdatablocks as kvs

ACROSS, DEPTH_Z, FLAGS, BEAM_COUNT = 603, 605, 606, 602  # use-as codes of the ping exchange
# One colour per filter, in the order of kvs.BEAM_FLAGS (the colours of `kvsblocks plot`).
FILTER_COLOURS = ["#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf", "#ff7f0e",
                  "#9467bd", "#d62728", "#2ca02c", "#aec7e8", "#ffbb78", "#f7b6d2"]


def find_ping(path, index):
    """The index-th multibeam block of the stream (the middle one for -1)."""
    with kvs.read_stream(path) as stream:
        pings = [b for b in stream if b.group_id == 1011]
    if not pings:
        sys.exit(f"{path}: no multibeam pings (group 1011)")
    if index < 0:
        index = len(pings) // 2
    if index >= len(pings):
        sys.exit(f"{path}: {len(pings)} pings, no ping {index}")
    return index, pings[index]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("stream", help="record stream file")
    parser.add_argument("--ping", type=int, default=-1, help="index of the ping (default: the middle one)")
    parser.add_argument("-o", "--output", help="write the picture to this file (PNG, SVG, PDF)")
    args = parser.parse_args()
    try:
        import matplotlib
        if args.output:
            matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        sys.exit("plot_ping.py needs matplotlib: apt-get install python3-matplotlib")

    index, ping = find_ping(args.stream, args.ping)
    n = ping.value(BEAM_COUNT)
    across, depth, flags = ping.array(ACROSS)[:n], -ping.array(DEPTH_Z)[:n], ping.array(FLAGS)[:n]

    fig, ax = plt.subplots(figsize=(10, 5))
    accepted = (flags & kvs.BEAM_REJECT_MASK) == 0
    ax.scatter(across[accepted], depth[accepted], s=6, color="#1f77b4", label=f"accepted ({accepted.sum()})")
    taken = accepted.copy()
    for (bit, name), colour in zip(kvs.BEAM_FLAGS.items(), FILTER_COLOURS):  # the first filter in the chain names a beam
        mine = ((flags & bit) != 0) & ~taken
        if mine.any():
            ax.scatter(across[mine], depth[mine], s=14, marker="x", color=colour, label=f"{name} ({mine.sum()})")
            taken |= mine
    unit = ping.element(ACROSS).unit
    ax.set_xlabel(f"across track [{unit}]")
    ax.set_ylabel(f"depth [{ping.element(DEPTH_Z).unit}]")
    ax.invert_yaxis()
    ax.set_title(f"{args.stream}: ping {ping.value(601)} (index {index}), {n} beams, "
                 f"{np.count_nonzero(~accepted)} flagged")
    ax.legend(loc="lower right", fontsize="small")
    ax.grid(alpha=0.3)
    fig.tight_layout()
    if args.output:
        fig.savefig(args.output, dpi=110)
        print(f"wrote {args.output}")
    else:
        plt.show()


if __name__ == "__main__":
    main()
