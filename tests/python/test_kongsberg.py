"""import_file: Kongsberg .all and .kmall pings as the tool imports them, the format found
from the bytes, GSF through the same call, and files it refuses."""
import numpy as np
import pytest

import kvsdatablocks as kvs
from conftest import SOURCE_DIR

DATA = SOURCE_DIR.parent / "shared" / "data"
YOLLA = DATA / "kongsberg" / "0001_20140213_052736_Yolla.all"
EG = DATA / "kongsberg" / "kmall_eg_-7360358516350552537.kmall"
GSF = DATA / "gsf" / "0175_20150322_232639_EX1502L2_MB.gsf.mb121"


def need(path):
    if not path.exists():
        pytest.skip(f"{path} is not there")
    return path


@pytest.mark.parametrize("path", [YOLLA, EG], ids=["all", "kmall"])
def test_swaths_are_the_blocks_the_tool_imports(tool, path, tmp_path):
    need(path)
    line = tmp_path / "line.kvs"
    tool("import", path, "-o", line)
    dumped = tool("dump", line, "--json", as_json=True)
    with kvs.import_file(path) as pings:
        blocks = list(pings)
        assert pings.pings_read == len(blocks) and pings.utm_zone != 0
    assert len(blocks) == len(dumped) > 1
    for block, want in zip(blocks[:3], dumped[:3]):
        assert block.time == want["time"]
        for element, w in zip(block.elements(), want["elements"]):
            value = element.value()
            if isinstance(value, np.ndarray):
                np.testing.assert_array_equal(value.astype(np.float64), np.array(w["value"], dtype=np.float64))
            else:
                assert value == w["value"]
    usable = sum(int((b.array(606) & 1).sum()) for b in blocks)
    assert usable == {YOLLA: 67964, EG: 11473}[path]


def test_extra_detections_are_counted_not_beams():
    need(EG)
    with kvs.import_file(EG) as pings:
        beams = sum(len(b.array(603)) for b in pings)
        assert pings.extra_detections == 2384 and beams == 12800
        assert pings.datagram_counts["#MRZ"] == 25


def test_gsf_goes_through_the_same_call_and_other_files_are_refused(tmp_path):
    need(GSF)
    with kvs.import_file(GSF) as pings:
        assert len(list(pings)) == 4 and pings.version[0] == 3
    text = tmp_path / "notes.all"
    text.write_text("depth 12.5\n")
    with pytest.raises(kvs.FormatError, match="not a GSF, Kongsberg .all or .kmall file: it looks like text"):
        kvs.import_file(text)


def test_a_truncated_file_raises_after_the_swaths_before_the_fault(tmp_path):
    need(YOLLA)
    cut = tmp_path / "cut.all"
    cut.write_bytes(YOLLA.read_bytes()[:2_000_000])
    read = []
    with pytest.raises(kvs.KongsbergError, match=r"datagram \d+ at byte \d+") as raised:
        for block in kvs.import_file(cut):
            read.append(block)
    assert isinstance(raised.value, OSError)
    assert 50 < len(read) < 183


def test_files_read_from_two_threads_give_the_blocks_of_one():
    # The readers run without the GIL: two threads, each with its file, read what one does.
    import threading

    need(YOLLA)
    need(EG)

    def swaths(path):
        with kvs.import_file(path) as pings:
            return [(b.time, b.array(605).tobytes(), b.array(606).tobytes()) for b in pings]

    alone = {p: swaths(p) for p in (YOLLA, EG)}
    together = {}
    threads = [threading.Thread(target=lambda p=p: together.__setitem__(p, swaths(p))) for p in (YOLLA, EG, YOLLA)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert together == alone
