"""grid() gives the surface `kvsblocks grid` writes, as numpy arrays and the same files."""
import math

import numpy as np
import pytest

import kvsdatablocks as kvs


@pytest.fixture(scope="module")
def seabed_line(tool, tmp_path_factory):
    path = tmp_path_factory.mktemp("grid") / "line.kvs"
    tool("simulate", "-o", path, "--beams", 128, "--pings", 100, "--ripple", 0, "--spikes", 0, "--flying", 0,
         "--bump", "2:10", "--seed", 4, "-q")
    return path


def test_arrays_match_the_geotiff_of_the_tool(tool, seabed_line, tmp_path):
    gdal = pytest.importorskip("osgeo.gdal")
    tool("grid", seabed_line, "-o", tmp_path / "tool.tif", "--resolution", 2, "--crs", "EPSG:32632")
    g = kvs.grid([seabed_line], 2.0, crs="EPSG:32632", output=tmp_path / "py.tif", png=tmp_path / "py.png")
    assert g["depth"].dtype == np.float32 and g["depth"].shape == g["count"].shape == (len(g["y"]), len(g["x"]))
    for name in ("tool.tif", "py.tif"):
        d = gdal.Open(str(tmp_path / name))
        depth = d.GetRasterBand(1).ReadAsArray()
        np.testing.assert_array_equal(np.where(depth == -9999, np.nan, depth), g["depth"])
        west, res, _, north, _, _ = d.GetGeoTransform()
        assert (west, north, res) == (g["extent"][0], g["extent"][3], 2.0)
    assert "UTM zone 32N" in g["crs_name"]
    assert (tmp_path / "py.png").stat().st_size > 1000
    # Empty cells are NaN with count 0; filled ones hold the soundings of the line.
    assert np.array_equal(np.isnan(g["depth"]), g["count"] == 0)
    assert g["count"].sum() == g["lines"][0]["soundings"] == 128 * 100
    # The mound stands 2 m proud halfway along the track.
    row = np.argmin(np.abs(g["y"] - (5800000 + 0.5 * 2.5 * 99 / 10)))
    col = np.argmin(np.abs(g["x"] - 500000))
    assert math.isclose(g["depth"][row, col], 30 + 0.5 * 2.5 * 99 / 10 * 0.005 - 2, abs_tol=0.15)


def test_errors(seabed_line, tmp_path):
    with pytest.raises(ValueError, match="resolution"):
        kvs.grid(seabed_line, 0.0)
    with pytest.raises(MemoryError, match="cells at 0.01 m"):
        kvs.grid(seabed_line, 0.01, max_memory=1)
    with pytest.raises(kvs.StreamError, match="missing.kvs"):
        kvs.grid(tmp_path / "missing.kvs", 1.0)
