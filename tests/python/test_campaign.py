"""Campaigns over Dask: every line filtered to the bytes of `kvsblocks filter` on a local cluster
of two worker processes, failing lines as rows of their own, and outputs whole after a worker
is killed in the middle of a task."""
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time

import pytest

from conftest import FILTER_SETTINGS, SOURCE_DIR

distributed = pytest.importorskip("distributed", reason="Dask's distributed is not installed (python3-distributed)")
pytest.importorskip("pandas", reason="pandas is not installed (python3-pandas)")

from kvsdatablocks import campaign  # noqa: E402

GSF_DIR = SOURCE_DIR.parent / "shared" / "data" / "gsf"
GSF_LINES = ["0175_20150322_232639_EX1502L2_MB.gsf.mb121", "0029_20160323_185603_EX1604_MB.gsf.mb121"]


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0")
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def simulate(tool, folder, count, pings=40, beams=300):
    folder.mkdir(exist_ok=True)
    lines = []
    for seed in range(1, count + 1):
        path = folder / f"line{seed}.kvs"
        tool("simulate", "-o", path, "--beams", beams, "--pings", pings, "--spikes", 0.01, "--flying", 0.2,
             "--seed", seed, "-q")
        lines.append(path)
    return lines


def tool_filtered(tool, line, folder):
    """The tool's filtered line and its JSON summary."""
    folder.mkdir(exist_ok=True)
    out = folder / line.name
    summary = json.loads(tool("filter", line, "-a", FILTER_SETTINGS, "-o", out, "--json").stdout)
    return out.read_bytes(), summary


def no_leftovers(folder, expected, killed=False):
    names = sorted(p.name for p in folder.iterdir())
    if killed:
        # Where the file system has no unnamed files, a killed writer leaves its named
        # temporary file (never the target) behind.
        names = [n for n in names if not re.search(r"\.tmp\.\w{6}$", n)]
    assert names == sorted(expected)


def test_every_line_is_filtered_to_the_bytes_of_the_tool(tool, client, tmp_path):
    lines = simulate(tool, tmp_path / "lines", 3)
    out = tmp_path / "out"
    table = campaign.run(lines, FILTER_SETTINGS, out, client=client, progress=False)

    assert list(table["file"]) == [str(p) for p in lines] and (table["error"] == "").all()
    workers = set(client.scheduler_info()["workers"])
    for line, (_, row) in zip(lines, table.iterrows()):
        want, summary = tool_filtered(tool, line, tmp_path / "tool")
        assert (out / line.name).read_bytes() == want
        assert row["format"] == "kvs" and row["worker"] in workers and row["seconds"] > 0
        assert (row["pings"], row["beams"]) == (summary["blocksIn"], summary["beams"])
        assert row["usable"] == summary["beams"] - summary["beamsRejected"]
        assert row["rejected %"] == pytest.approx(100.0 * summary["beamsRejected"] / summary["beams"], abs=1e-3)
        for name, count in summary["beamsPerFlag"].items():
            assert row[f"flagged {name}"] == count
    # The table beside the outputs, as CSV and JSON, and nothing else left there.
    no_leftovers(out, [p.name for p in lines] + ["campaign.csv", "campaign.json"])
    rows = json.loads((out / "campaign.json").read_text())
    assert [r["file"] for r in rows] == list(table["file"]) and [r["pings"] for r in rows] == list(table["pings"])
    assert (out / "campaign.csv").read_text().splitlines()[0].startswith("file,format,pings,beams,usable,rejected %")


def test_gsf_lines_are_imported_filtered_and_exported_as_the_tool_does(tool, client, tmp_path):
    originals = [GSF_DIR / name for name in GSF_LINES]
    missing = [str(p) for p in originals if not p.exists()]
    if missing:
        pytest.skip(f"{', '.join(missing)} not there")
    settings = SOURCE_DIR / "examples" / "survey.attr"  # the preset for any depth
    out = tmp_path / "out"
    table = campaign.run(originals, settings, out, client=client, export=True, progress=False)
    assert (table["error"] == "").all(), list(table["error"])
    for original, (_, row) in zip(originals, table.iterrows()):
        imported, filtered, edited = (tmp_path / f"{original.name}.{k}" for k in ("imported.kvs", "kvs", "edited"))
        tool("import", original, "-o", imported)
        summary = json.loads(tool("filter", imported, "-a", settings, "-o", filtered, "--json").stdout)
        exported = tool("export", filtered, "--into", original, "-o", edited, check=False)
        assert row["format"] == "gsf" and row["output"] == str(out / f"{original.name}.kvs")
        assert (out / f"{original.name}.kvs").read_bytes() == filtered.read_bytes()
        if exported.returncode == 0:
            assert row["export"] == str(out / original.name)
            assert (out / original.name).read_bytes() == edited.read_bytes()
        else:  # refused by the export's guard: a warning, and no copy, as with the tool
            assert "more than 20 %" in exported.stderr and "more than 20 %" in row["warnings"]
            assert row["export"] == "" and not (out / original.name).exists()
        assert (row["pings"], row["usable"]) == (summary["blocksIn"], summary["beams"] - summary["beamsRejected"])


def test_failing_lines_are_rows_with_their_error_and_the_others_complete(tool, client, tmp_path):
    good = simulate(tool, tmp_path / "lines", 2)
    data = good[0].read_bytes()
    truncated = tmp_path / "lines" / "truncated.kvs"
    truncated.write_bytes(data[: len(data) // 2 + 5])
    garbage = tmp_path / "lines" / "garbage.xyz"
    garbage.write_bytes(b"not a survey line\n" * 10)
    missing = tmp_path / "lines" / "missing.kvs"
    lines = [good[0], truncated, garbage, missing, good[1]]
    out = tmp_path / "out"
    table = campaign.run(lines, FILTER_SETTINGS, out, client=client, progress=False).set_index("file")

    errors = table["error"]
    assert errors[str(good[0])] == "" and errors[str(good[1])] == ""
    assert "truncated.kvs" in errors[str(truncated)] and "offset" in errors[str(truncated)]
    assert table.loc[str(truncated), "pings"] > 0  # the summary of the records before the fault
    assert "garbage.xyz" in errors[str(garbage)] and "missing.kvs" in errors[str(missing)]
    for line in good:
        assert (out / line.name).read_bytes() == tool_filtered(tool, line, tmp_path / "tool")[0]
    no_leftovers(out, [good[0].name, good[1].name, "campaign.csv", "campaign.json"])


def test_settings_and_output_names_are_refused_before_anything_runs(tool, tmp_path):
    lines = simulate(tool, tmp_path / "a", 1) + simulate(tool, tmp_path / "b", 1)
    with pytest.raises(ValueError, match="both be written to"):
        campaign.run(lines, FILTER_SETTINGS, tmp_path / "out", client=object(), progress=False)
    bad = tmp_path / "bad.attr"
    bad.write_text("DepthFilter = bool\n")
    with pytest.raises(ValueError, match="bad.attr"):
        campaign.run(lines[:1], bad, tmp_path / "out", client=object(), progress=False)
    with pytest.raises(KeyError, match="DepthFiltre"):
        campaign.run(lines[:1], {"DepthFiltre": True}, tmp_path / "out", client=object(), progress=False)
    assert not (tmp_path / "out").exists()


def test_the_command_line_runs_on_a_local_cluster_of_its_own(tool, tmp_path):
    lines = simulate(tool, tmp_path / "lines", 2)
    broken = tmp_path / "lines" / "broken.kvs"
    broken.write_bytes(b"KVSBLKS1\x01" + bytes(7) + b"\xff" * 9)
    out = tmp_path / "out"
    done = subprocess.run([sys.executable, "-m", "kvsdatablocks.campaign", *map(str, lines), str(broken), "-a",
                           str(FILTER_SETTINGS), "-o", str(out)], capture_output=True, text=True, timeout=300)
    assert done.returncode == 1, done.stderr
    assert "total: 3 lines, 1 failed" in done.stdout and "broken.kvs" in done.stderr
    for line in lines:
        assert (out / line.name).read_bytes() == tool_filtered(tool, line, tmp_path / "tool")[0]
    assert len(json.loads((out / "campaign.json").read_text())) == 3


def test_a_worker_killed_in_the_middle_of_a_task_leaves_every_output_whole(tool, client, tmp_path):
    lines = simulate(tool, tmp_path / "lines", 4, pings=400, beams=1200)
    out = tmp_path / "out"
    result = {}
    runner = threading.Thread(target=lambda: result.setdefault(
        "table", campaign.run(lines, FILTER_SETTINGS, out, client=client, progress=False)))
    pids = client.run(os.getpid)
    runner.start()
    victim = None
    deadline = time.monotonic() + 60
    while victim is None and time.monotonic() < deadline:
        busy = [w for w, keys in client.processing().items() if keys and w in pids]
        if busy:
            time.sleep(0.3)  # into the task
            victim = busy[0]
            os.kill(pids[victim], signal.SIGKILL)
        time.sleep(0.02)
    runner.join(timeout=240)
    assert victim is not None and not runner.is_alive()

    table = result["table"]
    assert sorted(table["file"]) == sorted(map(str, lines)) and (table["error"] == "").all(), list(table["error"])
    for line in lines:
        assert (out / line.name).read_bytes() == tool_filtered(tool, line, tmp_path / "tool")[0]
    no_leftovers(out, [p.name for p in lines] + ["campaign.csv", "campaign.json"], killed=True)
