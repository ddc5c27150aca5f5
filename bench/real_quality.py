#!/usr/bin/env python3
"""Filter quality on real seabed: every real multibeam line in ../shared/data (the GSF
surveys and the Kongsberg .all and .kmall files) is imported, filtered as it is (the plain line: no truth, the share of the usable beams
flagged), and filtered again after `kvsblocks inject` put known outliers of one kind into
it at fixed seeds. Per line it reports the detection of each kind, the clean beams flagged
(false alarms) overall and per filter, and whether the targets are met.

Usage: bench/real_quality.py [--tool build/tools/kvsblocks] [-a examples/survey.attr]
                             [--seeds 5] [--json out.json]
Without -a the tool's built-in survey preset is used.
"""
import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# kind: (inject options, target detection % or None, what it is)
KINDS = {
    "gross": (["--spikes", "0.01"], 99.0, "spikes of 5-30 % of the depth"),
    "clusters": (["--clusters", "0.5"], 99.0, "fish/bubble clusters, 10-60 % shallower"),
    "bursts": (["--bursts", "0.3"], None, "noisy outer beams on one side"),
    "subtle 3-5 %": (["--subtle", "0.01", "--subtle-size", "0.03:0.05"], 90.0, "spikes of 3-5 % of the depth"),
    "subtle 1-3 %": (["--subtle", "0.01", "--subtle-size", "0.01:0.03"], None, "spikes of 1-3 % of the depth"),
}
MAX_CLEAN_FLAGGED = 1.0   # % of the clean beams, every injected run
AIM_CLEAN_FLAGGED = 0.3
MAX_PLAIN_FLAGGED = 1.0   # % of the usable beams of the plain line


def run(cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit(f"{' '.join(cmd)} failed ({r.returncode}): {r.stderr.strip()}")
    return r


def lines():
    """The real lines: the GSF surveys and the Kongsberg .all and .kmall files (those with
    pings of fewer than 8 beams are left out below)."""
    data = os.path.join(ROOT, "..", "shared", "data")
    found = sorted(glob.glob(os.path.join(data, "gsf", "*.mb121")))
    for pattern in ("*.all", "*.kmall"):
        found += sorted(glob.glob(os.path.join(data, "kongsberg", pattern)))
    return found


def filter_json(tool, line, attr):
    cmd = [tool, "filter", line, "--json", "--no-progress"] + (["-a", attr] if attr else [])
    r = run(cmd)
    return json.loads(r.stdout), r.stderr


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default=os.path.join(ROOT, "build", "tools", "kvsblocks"))
    ap.add_argument("-a", "--attributes", default="")
    ap.add_argument("--inject-tool", default="", help="the tool that injects (default --tool)")
    ap.add_argument("--seeds", type=int, default=5)
    ap.add_argument("--json", default="")
    args = ap.parse_args()
    inject_tool = args.inject_tool or args.tool
    files = lines()
    if not files:
        print("no real lines found in ../shared/data/gsf: nothing measured")
        return 0
    report = {}
    failed = []
    with tempfile.TemporaryDirectory() as work:
        for gsf in files:
            base = os.path.basename(gsf)
            name = base.split("_")[0] if base[0].isdigit() else os.path.splitext(base)[0][:18]
            kvs = os.path.join(work, name + ".kvs")
            r = subprocess.run([inject_tool, "import", gsf, "-o", kvs], capture_output=True, text=True)
            if r.returncode != 0:
                print(f"{name}: not imported ({r.stderr.strip()[:120]}), left out")
                continue
            plain, warnings = filter_json(args.tool, kvs, args.attributes)
            beams, pings = plain["beams"], plain["blocksIn"]
            if pings == 0 or beams / pings < 8:
                print(f"{name}: {pings} pings of {beams / max(pings, 1):.0f} beam(s): not a swath, left out")
                continue
            entry = {"pings": pings, "beams": beams, "usable": plain["usableBeams"],
                     "plainFlaggedPercent": plain.get("usableFlaggedPercent"),
                     "plainPerFilter": {k: v["cleanFlagged"] for k, v in plain["perFilter"].items() if v["beams"]},
                     "warnings": [w for w in warnings.splitlines() if "warning" in w], "kinds": {}}
            clean_total = clean_flagged_total = 0
            per_filter_clean = {}
            for kind, (opts, target, _) in KINDS.items():
                injected = flagged = clean = clean_flagged = 0
                for seed in range(1, args.seeds + 1):
                    out = os.path.join(work, f"{name}-inj.kvs")
                    run([inject_tool, "inject", kvs, "-o", out, "--seed", str(seed), "-q"] + opts)
                    j, _ = filter_json(args.tool, out, args.attributes)
                    injected += j["injectedOutliers"]
                    flagged += j["injectedFlagged"]
                    clean += j["cleanBeams"]
                    clean_flagged += j["cleanFlagged"]
                    for f, v in j["perFilter"].items():
                        per_filter_clean[f] = per_filter_clean.get(f, 0) + v["cleanFlagged"]
                det = 100.0 * flagged / injected if injected else None
                fa = 100.0 * clean_flagged / clean if clean else None
                entry["kinds"][kind] = {"injected": injected, "flagged": flagged, "detectionPercent": det,
                                        "cleanFlaggedPercent": fa}
                clean_total += clean
                clean_flagged_total += clean_flagged
                if target is not None and det is not None and det < target:
                    failed.append(f"{name} {kind}: {det:.1f} % < {target} %")
                if fa is not None and fa > MAX_CLEAN_FLAGGED:
                    failed.append(f"{name} {kind}: clean beams flagged {fa:.2f} % > {MAX_CLEAN_FLAGGED} %")
            entry["cleanFlaggedPercent"] = 100.0 * clean_flagged_total / clean_total if clean_total else None
            entry["falseAlarmsPerFilter"] = {f: 100.0 * c / clean_total for f, c in per_filter_clean.items() if c}
            if entry["plainFlaggedPercent"] is not None and entry["plainFlaggedPercent"] > MAX_PLAIN_FLAGGED:
                failed.append(f"{name} plain line: {entry['plainFlaggedPercent']:.2f} % of the usable beams flagged")
            report[name] = entry

    settings = args.attributes or "built-in survey preset"
    print(f"Filter quality on real lines ({settings}; {args.seeds} seeds a kind)")
    head = ["line", "pings x beams", "plain flagged"] + list(KINDS) + ["clean flagged"]
    print(" | ".join(head))
    print(" | ".join("---" for _ in head))
    for name, e in report.items():
        cells = [name, f"{e['pings']} x {e['beams'] // e['pings']}", f"{e['plainFlaggedPercent']:.2f} %"]
        for kind in KINDS:
            k = e["kinds"][kind]
            cells.append("-" if k["detectionPercent"] is None else f"{k['detectionPercent']:.1f} % ({k['injected']})")
        cells.append(f"{e['cleanFlaggedPercent']:.2f} %")
        print(" | ".join(cells))
    print("\nFalse alarms per filter (% of the clean beams of all injected runs; plain line: usable beams flagged):")
    for name, e in report.items():
        fa = ", ".join(f"{f} {v:.2f} %" for f, v in sorted(e["falseAlarmsPerFilter"].items())) or "none"
        plain = ", ".join(f"{f} {v}" for f, v in sorted(e["plainPerFilter"].items())) or "none"
        print(f"  {name}: {fa}; plain line beams: {plain}")
        for w in e["warnings"]:
            print(f"    {w}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(report, f, indent=2)
    print("\ntargets: " + ("all met" if not failed else "missed:\n  " + "\n  ".join(failed)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
