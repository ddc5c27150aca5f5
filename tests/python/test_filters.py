"""Filters from Python give what `kvsblocks filter` gives, byte for byte."""
import pytest

import kvsdatablocks as kvs
from conftest import FILTER_SETTINGS, read_settings


def filter_line(make_filter, source, target, error_limits_only=False):
    filters = {}
    with kvs.read_stream(source) as stream, kvs.write_stream(target) as out:
        for block in stream:
            f = filters.setdefault(block.data_id, make_filter(block))
            if f is None or f.process(block, error_limits_only=error_limits_only):
                out.write(block)
        for f in filters.values():
            for block in f.remainder() if f else []:
                out.write(block)


@pytest.mark.parametrize("line, cls, error_limits_only", [
    ("multibeam_line", kvs.MultibeamFilter, False),
    ("multibeam_line", kvs.MultibeamFilter, True),
    ("singlebeam_line", kvs.SingleBeamFilter, False),
])
@pytest.mark.parametrize("settings", ["dict", "file", "factory"])
def test_filtering_matches_the_tool(request, tool, tmp_path, line, cls, error_limits_only, settings):
    source = request.getfixturevalue(line)
    want, got = tmp_path / "tool.kvs", tmp_path / "python.kvs"
    tool("filter", source, "-a", FILTER_SETTINGS, "-o", want, "--mode", 3 if error_limits_only else 0)
    make = {
        "dict": lambda block: cls(read_settings(FILTER_SETTINGS)),
        "file": lambda block: cls(FILTER_SETTINGS),
        "factory": lambda block: kvs.create_filter(block, read_settings(FILTER_SETTINGS)),
    }[settings]
    filter_line(make, source, got, error_limits_only)
    assert got.read_bytes() == want.read_bytes()


def test_factory_picks_the_filter_by_group():
    assert isinstance(kvs.create_filter(kvs.Block.from_definition(1011)), kvs.MultibeamFilter)
    assert isinstance(kvs.create_filter(kvs.Block.from_definition(1010)), kvs.SingleBeamFilter)
    assert type(kvs.create_filter(kvs.Block.from_definition(1071))) is kvs.Filter
    assert kvs.create_filter(kvs.Block.from_definition(1020)) is None


@pytest.mark.parametrize("settings, error, match", [
    ({"DepthFliter": True}, KeyError, "did you mean 'DepthFilter'"),
    ({"FilterWindowSize": 2.0}, TypeError, "takes an int"),
    ({"DepthFilter": 1}, TypeError, "takes a bool"),
    ({"FilterMinDepth": float("nan")}, ValueError, "finite"),
    ({"Position": (1.0, 2.0)}, TypeError, "three numbers"),
])
def test_settings_of_the_wrong_name_or_type_are_refused(settings, error, match):
    with pytest.raises(error, match=match):
        kvs.MultibeamFilter(settings)


def test_statistics_window_holds_pings_back_and_remainder_drains_them(multibeam_line):
    f = kvs.MultibeamFilter({"StatisticFilter": True, "FilterWindowSize": 1})  # a window of 5 pings
    results = [f.process(block) for block in kvs.read_stream(multibeam_line)]
    assert results[:2] == [False, False] and all(results[2:])
    assert [b.value(601) for b in f.remainder()] == [39, 40]
    assert f.remainder() == []
