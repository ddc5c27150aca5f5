"""Tide files give the values `kvsblocks tide` gives, at times and over spans."""
import datetime

import numpy as np
import pytest

import kvsdatablocks as kvs

TIDE = """KVSTIDE 1
STATION Harbour
ID H1
POSITION 500000 5800000
KP 12.5
OFFSET 0.25
DATA
2026-01-01 00:00:00 1.00
2026-01-01 01:00:00 1.60
2026-01-01 02:00:00 1.20
2026-01-01 05:00:00 0.40
"""
START = 1767225600.0  # 2026-01-01 00:00:00 UTC


@pytest.fixture()
def tide_file(tmp_path):
    path = tmp_path / "harbour.tide"
    path.write_text(TIDE)
    return path


@pytest.mark.parametrize("window, extrapolate, options", [
    (0.0, None, []),
    (3600.0, None, ["--window", 3600]),
    (0.0, 1800.0, ["--extrapolate", 1800]),
])
def test_span_matches_the_tool(tool, tide_file, window, extrapolate, options):
    start, end = START - 3600, START + 6 * 3600
    want = tool("tide", tide_file, "--from", start, "--to", end, "--step", 900, *options, "--json", as_json=True)
    with kvs.open_tide(tide_file, window=window, extrapolate=extrapolate) as tide:
        times, values = tide.span(start, end, step=900)
    assert times.tolist() == [w["seconds"] for w in want]
    assert [None if np.isnan(v) else v for v in values] == [w["value"] for w in want]


def test_station_observations_and_single_values(tide_file):
    with kvs.open_tide(tide_file) as tide:
        assert (tide.station_name, tide.station_id, tide.station_position, tide.kp, tide.offset) == \
            ("Harbour", "H1", (500000.0, 5800000.0), 12.5, 0.25)
        times, values = tide.observations()
        assert len(tide) == 4 and times[0] == START and values.tolist() == [1.0, 1.6, 1.2, 0.4]
        assert tide.value_at(datetime.datetime(2026, 1, 1, 0, 30)) == pytest.approx(1.3)
        assert tide.value_at(np.datetime64("2026-01-01T01:30")) == pytest.approx(1.4)
        assert tide.value_at(START - 1) is None
        np.testing.assert_allclose(tide.values_at(np.array(["2026-01-01T00:30", "NaT"], dtype="datetime64[s]")),
                                   [1.3, np.nan])
        tide.extrapolate = 60.0
        assert tide.value_at(START - 60) == pytest.approx(0.99)
    assert tide.closed
    with pytest.raises(ValueError):
        tide.value_at(START)


def test_malformed_or_empty_file_is_refused_naming_it(tmp_path):
    bad = tmp_path / "bad.tide"
    bad.write_text(TIDE.replace("1.20", "one point two"))
    with pytest.raises(kvs.TideError, match="line 10"):
        kvs.open_tide(bad)
    for text in ("", "\n\n"):
        empty = tmp_path / "empty.tide"
        empty.write_text(text)
        with pytest.raises(kvs.TideError, match="empty.tide: no tide observations"):
            kvs.open_tide(empty)
