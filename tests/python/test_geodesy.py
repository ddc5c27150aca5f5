"""Geodesy gives what `kvsblocks geodesy` gives, for single values and arrays."""
import numpy as np
import pytest

from kvsdatablocks import geodesy

INVERSE = [(52.0, 4.0, 52.1, 4.2, "WGS84"), (-33.9, 151.2, -33.8, 151.0, "GRS80"), (10.0, 179.9, 10.1, -179.9, "Bessel1841"),
           (0.0, 0.0, 0.5, 0.0, "WGS84")]
DIRECT = [(52.0, 4.0, 45.0, 10000.0, "WGS84"), (60.0, -1.0, 200.0, 25000.0, "International1924"),
          (0.0, 179.99, 90.0, 5000.0, "WGS84")]


@pytest.mark.parametrize("lat1, lon1, lat2, lon2, ellipsoid", INVERSE)
def test_inverse_matches_the_tool(tool, lat1, lon1, lat2, lon2, ellipsoid):
    want = tool("geodesy", "inverse", lat1, lon1, lat2, lon2, "--ellipsoid", ellipsoid, "--json", as_json=True)
    got = geodesy.inverse(lat1, lon1, lat2, lon2, ellipsoid=ellipsoid)
    assert got == (want["distance"], want["azimuth12"], want["azimuth21"])


@pytest.mark.parametrize("lat, lon, azimuth, distance, ellipsoid", DIRECT)
def test_direct_matches_the_tool(tool, lat, lon, azimuth, distance, ellipsoid):
    want = tool("geodesy", "direct", lat, lon, azimuth, distance, "--ellipsoid", ellipsoid, "--json", as_json=True)
    got = geodesy.direct(lat, lon, azimuth, distance, ellipsoid=ellipsoid)
    assert got == (want["lat2"], want["lon2"], want["backAzimuth"])


def test_arrays_broadcast_and_match_single_values():
    lat2 = np.array([[52.1, 52.2], [51.9, 52.0]])
    got = geodesy.inverse(52.0, 4.0, lat2, 4.2)
    assert got.distance.shape == (2, 2)
    for i in np.ndindex(lat2.shape):
        assert geodesy.inverse(52.0, 4.0, lat2[i], 4.2) == (got.distance[i], got.azimuth12[i], got.azimuth21[i])
    assert np.isnan(geodesy.inverse(np.nan, 4.0, 52.0, 4.0).distance)


def test_ellipsoids_and_bad_arguments():
    a, rf = geodesy.ELLIPSOIDS["GRS80"]
    assert geodesy.inverse(1, 2, 1.1, 2.1, ellipsoid=(a, rf)) == geodesy.inverse(1, 2, 1.1, 2.1, ellipsoid="GRS80")
    for call, error in [(lambda: geodesy.inverse(91, 0, 0, 0), ValueError),
                        (lambda: geodesy.direct(0, 0, 0, -1), ValueError),
                        (lambda: geodesy.inverse(0, 0, 1, 1, ellipsoid="Mars"), ValueError),
                        (lambda: geodesy.inverse(0, 0, 1, 1, ellipsoid=(6e6, 0.5)), ValueError)]:
        with pytest.raises(error):
            call()
    with pytest.warns(RuntimeWarning, match="500 km"):
        geodesy.inverse(0, 0, 10, 10)
