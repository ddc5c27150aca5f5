"""GSF import: the pings of a real file as the tool imports them, and a damaged file."""
import numpy as np
import pytest

import kvsdatablocks as kvs
from conftest import SOURCE_DIR

# The real line shipped with the project (examples/data/README.md).
GSF = SOURCE_DIR / "examples" / "data" / "0175_20150322_232639_EX1502L2_MB.gsf.mb121"


@pytest.fixture(scope="module")
def gsf_file():
    if not GSF.exists():
        pytest.skip(f"{GSF} is not there")
    return GSF


def test_pings_are_the_blocks_the_tool_imports(tool, gsf_file, tmp_path):
    line = tmp_path / "line.kvs"
    tool("import", gsf_file, "-o", line)
    dumped = tool("dump", line, "--json", as_json=True)
    with kvs.import_gsf(gsf_file) as pings:
        blocks = list(pings)
        assert pings.version[0] == 3 and pings.pings_read == len(blocks)
        assert pings.utm_zone != 0 and sum(pings.record_counts.values()) > len(blocks)
    assert len(blocks) == len(dumped) > 1
    for block, want in zip(blocks, dumped):
        assert block.time == want["time"]
        for element, w in zip(block.elements(), want["elements"]):
            assert element.use_as == w["useAs"]
            value = element.value()
            if isinstance(value, np.ndarray):
                np.testing.assert_array_equal(value.astype(np.float64), np.array(w["value"], dtype=np.float64))
            else:
                assert value == w["value"]
    depths = blocks[0].array(605)
    good = (blocks[0].array(606) & 1) == 1
    assert good.any() and (depths[good] < 0).all()


def test_a_truncated_file_raises_after_the_pings_before_the_fault(gsf_file, tmp_path):
    data = gsf_file.read_bytes()
    cut = tmp_path / "cut.gsf"
    cut.write_bytes(data[: len(data) // 2])
    with kvs.import_gsf(gsf_file) as whole:
        total = sum(1 for _ in whole)
    read = []
    with pytest.raises(kvs.GsfError, match=r"record \d+ at byte \d+") as raised:
        for block in kvs.import_gsf(cut):
            read.append(block)
    assert isinstance(raised.value, OSError)
    assert 0 < len(read) < total
    with pytest.raises(kvs.GsfError, match="missing.gsf"):
        kvs.import_gsf(tmp_path / "missing.gsf")
