"""filter_file and export_file: the tool's own routines for whole files, run from Python without the GIL."""
import json
import threading
import time

import pytest

import kvsdatablocks as kvs
from conftest import FILTER_SETTINGS, read_settings


def tool_filtered(tool, line, out):
    summary = json.loads(tool("filter", line, "-a", FILTER_SETTINGS, "-o", out, "--json").stdout)
    return out.read_bytes(), summary


@pytest.mark.parametrize("settings", [FILTER_SETTINGS, read_settings(FILTER_SETTINGS)], ids=["file", "dict"])
def test_the_filtered_file_and_summary_are_the_tools(tool, multibeam_line, tmp_path, settings):
    want, summary = tool_filtered(tool, multibeam_line, tmp_path / "tool.kvs")
    got = kvs.filter_file(multibeam_line, tmp_path / "python.kvs", settings)
    assert (tmp_path / "python.kvs").read_bytes() == want
    for key in ("blocksIn", "blocksOut", "beams", "beamsRejected", "beamsPerFlag", "perFilter", "complete"):
        assert got[key] == summary[key]
    assert got["output"] == str(tmp_path / "python.kvs") and got["messages"] == []
    assert kvs.filter_file(multibeam_line, None, settings)["beamsRejected"] == summary["beamsRejected"]


def test_a_corrupt_record_raises_with_the_summary_and_leaves_the_output_alone(multibeam_line, tmp_path):
    data = multibeam_line.read_bytes()
    cut = tmp_path / "cut.kvs"
    cut.write_bytes(data[: len(data) // 2])
    out = tmp_path / "out.kvs"
    out.write_bytes(b"old")
    with pytest.raises(kvs.StreamError, match=r"cut.kvs: truncated record at offset \d+") as raised:
        kvs.filter_file(cut, out, FILTER_SETTINGS)
    assert out.read_bytes() == b"old"
    assert raised.value.summary["complete"] is False and 0 < raised.value.summary["blocksIn"]
    with pytest.raises(kvs.StreamError):
        kvs.filter_file(cut, out, FILTER_SETTINGS, partial=True)
    assert out.read_bytes().startswith(b"KVSBLKS1") and len(out.read_bytes()) < len(data)


@pytest.mark.parametrize("case, error, match", [
    ("output is input", ValueError, "would destroy the input"),
    ("output is settings", ValueError, "would destroy the input"),
    ("standard output", ValueError, "writes a file"),
    ("missing input", kvs.StreamError, "missing.kvs"),
    ("bad mode", ValueError, "mode must be"),
])
def test_refused_calls(multibeam_line, tmp_path, case, error, match):
    settings = tmp_path / "settings.attr"
    settings.write_bytes(FILTER_SETTINGS.read_bytes())
    line, output, mode = multibeam_line, tmp_path / "out.kvs", 0
    if case == "output is input":
        line = tmp_path / "line.kvs"
        line.write_bytes(multibeam_line.read_bytes())
        output = line
    elif case == "output is settings":
        output = settings
    elif case == "standard output":
        output = "-"
    elif case == "missing input":
        line = tmp_path / "missing.kvs"
    else:
        mode = 2
    before = output.read_bytes() if case.startswith("output is") else None
    with pytest.raises(error, match=match):
        kvs.filter_file(line, output, settings, mode=mode)
    if before is not None:
        assert output.read_bytes() == before


def test_filter_file_runs_without_the_gil(tool, tmp_path):
    line = tmp_path / "line.kvs"
    tool("simulate", "-o", line, "--beams", 1600, "--pings", 300, "--seed", 3, "-q")
    span = []

    def work():
        span.append(time.perf_counter())
        kvs.filter_file(line, tmp_path / "out.kvs", FILTER_SETTINGS)
        span.append(time.perf_counter())

    worker = threading.Thread(target=work)
    stamps = []
    worker.start()
    while worker.is_alive():
        stamps.append(time.perf_counter())
    worker.join()
    # This thread goes on while the filter runs; holding the GIL, the filter would stop it
    # for the whole run.
    inside = [t for t in stamps if span[0] <= t <= span[1]]
    gaps = [b - a for a, b in zip([span[0]] + inside, inside + [span[1]])]
    assert len(inside) > 100 and max(gaps) < 0.5 * (span[1] - span[0])
    assert (tmp_path / "out.kvs").read_bytes() == tool_filtered(tool, line, tmp_path / "tool.kvs")[0]


def test_streams_read_and_written_from_two_threads_are_whole(multibeam_line, tmp_path):
    def copy(target):
        with kvs.read_stream(multibeam_line) as blocks, kvs.write_stream(target) as out:
            for block in blocks:
                out.write(block)

    threads = [threading.Thread(target=copy, args=(tmp_path / f"copy{i}.kvs",)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(2):
        assert (tmp_path / f"copy{i}.kvs").read_bytes() == multibeam_line.read_bytes()


def test_export_file_is_the_tools_and_refuses_another_files_stream(tool, tmp_path):
    from conftest import SOURCE_DIR

    gsf = SOURCE_DIR.parent / "shared" / "data" / "gsf"
    original, other = gsf / "0175_20150322_232639_EX1502L2_MB.gsf.mb121", gsf / "0029_20160323_185603_EX1604_MB.gsf.mb121"
    if not original.exists() or not other.exists():
        pytest.skip(f"{original} or {other} is not there")
    imported, filtered = tmp_path / "line.kvs", tmp_path / "filtered.kvs"
    tool("import", original, "-o", imported)
    kvs.filter_file(imported, filtered, SOURCE_DIR / "examples" / "survey.attr")
    tool("export", filtered, "--into", original, "-o", tmp_path / "tool.gsf")
    assert kvs.export_file(filtered, original, tmp_path / "python.gsf") == "GSF"
    assert (tmp_path / "python.gsf").read_bytes() == (tmp_path / "tool.gsf").read_bytes()
    with pytest.raises(kvs.Error, match="not imported from"):
        kvs.export_file(filtered, other, tmp_path / "wrong.gsf")
    with pytest.raises(kvs.Error, match="not a GSF"):
        kvs.export_file(filtered, imported, tmp_path / "wrong.gsf")
    with pytest.raises(ValueError, match="would destroy the input"):
        kvs.export_file(filtered, original, filtered)
    assert not (tmp_path / "wrong.gsf").exists()
