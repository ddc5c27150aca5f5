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
    # The closed forms are refused where they would be more than 1 cm off; the exact
    # solution is right at any distance, and no NaN or infinity comes of finite arguments.
    with pytest.raises(ValueError, match="more than 1 cm"):
        geodesy.inverse(0, 0, 10, 10, method="closed-form")
    with pytest.raises(ValueError, match="item 1: .*more than 1 cm"):
        geodesy.direct(52, 4, 45, np.array([1e4, 1e7]), method="closed-form")
    assert geodesy.inverse(52, 4, 52.1, 4.2, method="closed-form").distance == pytest.approx(
        geodesy.inverse(52, 4, 52.1, 4.2).distance, abs=0.01)
    with pytest.raises(ValueError, match="1e9 m"):
        geodesy.direct(52, 4, 45, 1e300)
    assert geodesy.inverse(0, 0, 0, 179).distance == pytest.approx(19926188.85, abs=0.01)
    assert geodesy.inverse(0, 0, 0, 180).distance == pytest.approx(20003931.46, abs=0.01)


def test_inverse_and_direct_agree_with_geographiclib_to_a_micrometre_everywhere():
    geographiclib = pytest.importorskip("geographiclib.geodesic", reason="python3-geographiclib is not installed")
    wgs84 = geographiclib.Geodesic.WGS84
    rng = np.random.default_rng(20261208)
    lat1 = np.degrees(np.arcsin(rng.uniform(-1, 1, 1000)))
    lon1 = rng.uniform(-180, 180, 1000)
    lat2 = np.degrees(np.arcsin(rng.uniform(-1, 1, 1000)))
    lon2 = rng.uniform(-180, 180, 1000)
    # A third of the pairs antipodal or within a thousandth of a degree of it.
    lat2[:200], lon2[:200] = -lat1[:200], np.where(lon1[:200] > 0, lon1[:200] - 180, lon1[:200] + 180)
    lat2[200:330] = np.clip(-lat1[200:330] + rng.uniform(-1e-3, 1e-3, 130), -90, 90)
    lon2[200:330] = np.where(lon1[200:330] > 0, lon1[200:330] - 180, lon1[200:330] + 180) + rng.uniform(-1e-3, 1e-3, 130)
    got = geodesy.inverse(lat1, lon1, lat2, lon2)
    end = geodesy.direct(lat1, lon1, got.azimuth12, got.distance)
    for i in range(1000):
        want = wgs84.Inverse(lat1[i], lon1[i], lat2[i], lon2[i])
        assert got.distance[i] == pytest.approx(want["s12"], abs=1e-6), i
        assert wgs84.Inverse(end.lat[i], end.lon[i], lat2[i], lon2[i])["s12"] < 1e-6, i
    assert np.isfinite(got.distance).all() and np.isfinite(end.back_azimuth).all()
