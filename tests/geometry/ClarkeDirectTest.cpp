#include <KvsDataBlocks/geometry/ClarkeDirect.h>
#include <KvsDataBlocks/geometry/RobbinsInverse.h>

#include "GeodesicLines.h"

#include <gtest/gtest.h>

#ifdef KVS_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geodesic.hpp>
#endif

#include <cmath>
#include <cstdio>
#include <numbers>

using namespace geodesic_test;

namespace {

struct Direct
{
    bool ok;
    double lat2, lon2, back;
};

Direct Polar(double lat1, double lon1, double az, double s, double a = kA, double e2 = kE2)
{
    Direct r{};
    r.ok = ClarkePolar(a, e2, lat1, lon1, az, s, r.lat2, r.lon2, r.back);
    return r;
}

Direct XY(double lat1, double lon1, double dx, double dy)
{
    Direct r{};
    r.ok = ClarkeXY(kA, kE2, lat1, lon1, dx, dy, r.lat2, r.lon2, r.back);
    return r;
}

void ExpectSame(const Direct& a, const Direct& b)
{
    EXPECT_EQ(a.ok, b.ok);
    EXPECT_EQ(a.lat2, b.lat2);
    EXPECT_EQ(a.lon2, b.lon2);
    EXPECT_EQ(a.back, b.back);
}

} // namespace

TEST(Clarke, ZeroDistanceReturnsTheStart)
{
    ExpectSame(Polar(52.25, 4.75, 123.0, 0.0), Direct{true, 52.25, 4.75, 0.0});
    ExpectSame(XY(-33.5, 151.0, 0.0, 0.0), Direct{true, -33.5, 151.0, 0.0});
}

TEST(Clarke, OffsetRunsAlongItsOwnDirection)
{
    ExpectSame(XY(52.0, 4.0, -1.0, 0.0), Polar(52.0, 4.0, 270.0, 1.0));
    ExpectSame(XY(52.0, 4.0, 3000.0, 4000.0), Polar(52.0, 4.0, std::atan2(3.0, 4.0) * 180 / std::numbers::pi, 5000.0));
    ExpectSame(XY(52.0, 4.0, 0.0, -250.0), Polar(52.0, 4.0, 180.0, 250.0));
}

TEST(Clarke, EquatorLineOfOneDegree)
{
    const Direct r = Polar(0.0, 0.0, 90.0, kA * std::numbers::pi / 180.0);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.lat2, 0.0, 1e-12);
    EXPECT_NEAR(r.lon2, 1.0, 1e-12);
    EXPECT_NEAR(r.back, 270.0, 1e-9);
    const Direct w = Polar(0.0, 0.0, 270.0, kA * std::numbers::pi / 180.0);
    EXPECT_NEAR(w.lon2, -1.0, 1e-12);
    EXPECT_NEAR(w.back, 90.0, 1e-9);
}

TEST(Clarke, EndPointOnTheEquatorIsFinite)
{
    // For this northbound line the end lies exactly on the equator of the auxiliary
    // sphere in floating point (sin(psi) = 0); its latitude is still found, and the
    // meridian arc back to the start has the line's length.
    const double s = 55659.754855147243;
    const Direct r = Polar(-0.5, 0.0, 0.0, s);
    ASSERT_TRUE(r.ok);
    ASSERT_TRUE(std::isfinite(r.lat2));
    EXPECT_GT(r.lat2, 0.0);
    EXPECT_EQ(r.lon2, 0.0);
    EXPECT_EQ(r.back, 180.0);
    const double arc = MeridianArc(kA, kE2, r.lat2 * std::numbers::pi / 180) -
                       MeridianArc(kA, kE2, -0.5 * std::numbers::pi / 180);
    EXPECT_NEAR(arc, s, 1e-4);
}

TEST(Clarke, BackAzimuthPointsBackAlongTheLine)
{
    // An eastbound line has its start to the west of the end, whatever the latitudes do.
    // A line leaving 60 N just north of east climbs over its vertex and ends a little north
    // of the start while already heading south of east: the way back is west-north-west.
    const Direct bow = Polar(60.0, 0.0, 89.5, 50000.0);
    ASSERT_TRUE(bow.ok);
    EXPECT_GT(bow.lat2, 60.0);
    EXPECT_GT(bow.back, 270.0);
    EXPECT_LT(bow.back, 271.0);
    for (double lat : kLatitudes)
        ForEachAzimuth([&](double az) {
            const Direct r = Polar(lat, 0.0, az, 20000.0);
            ASSERT_TRUE(r.ok);
            EXPECT_GE(r.back, 0.0);
            EXPECT_LT(r.back, 360.0);
            if (std::sin(az * std::numbers::pi / 180) > 1e-6) {
                EXPECT_GT(r.back, 180.0) << lat << " " << az;
            } else if (std::sin(az * std::numbers::pi / 180) < -1e-6) {
                EXPECT_LT(r.back, 180.0) << lat << " " << az;
            }
        });
}

TEST(Clarke, RobbinsSolvesTheSameLineBack)
{
    // Both closed forms work on the normal section: solving the end point back gives the
    // azimuths and the distance again.
    for (double lat : kLatitudes)
        ForEachAzimuth([&](double az) {
            const double s = 40000.0;
            const Direct r = Polar(lat, 10.0, az, s);
            double az12 = 0, az21 = 0, d = 0;
            ASSERT_TRUE(robinv(kA, kE2, lat, 10.0, r.lat2, r.lon2, az12, az21, d));
            EXPECT_NEAR(d, s, 1e-4) << lat << " " << az;
            EXPECT_LT(AzimuthDifference(az12, az) * 3600, 1e-3) << lat << " " << az;
            EXPECT_LT(AzimuthDifference(az21, r.back) * 3600, 1e-3) << lat << " " << az;
        });
}

TEST(Clarke, RefusesUnusableArguments)
{
    for (const Direct& r : {Polar(0, 0, 10, 100, 0.0), Polar(0, 0, 10, 100, NAN), Polar(0, 0, 10, 100, kA, 1.0),
                            Polar(0, 0, 10, 100, kA, -1e-3), Polar(91, 0, 10, 100), Polar(0, INFINITY, 10, 100),
                            Polar(0, 0, NAN, 100), Polar(0, 0, 10, INFINITY), XY(0, 0, NAN, 1), XY(NAN, 0, 0, 0)}) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(std::isnan(r.lat2));
        EXPECT_TRUE(std::isnan(r.lon2));
        EXPECT_TRUE(std::isnan(r.back));
    }
}

TEST(Clarke, AgreesWithGeographicLibOnSurveyLines)
{
#ifndef KVS_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib, the reference, is not installed";
#else
    // The azimuth given is taken as that of the normal section, which parts from the
    // geodesic by about e'^2 sigma^2 / 12: at 100 km a sideways 1.4 cm at the end point.
    const GeographicLib::Geodesic geod(kA, kF);
    const Tolerance tolerances[] = {
        {100.0, 1e-7, 0, 1e-4},
        {1000.0, 1e-7, 0, 2e-5},
        {10000.0, 5e-5, 0, 1e-5},
        {100000.0, 0.03, 0, 1e-3},
    };
    for (const Tolerance& t : tolerances) {
        double worstPosition = 0, worstBack = 0;
        for (double lat : kLatitudes)
            ForEachAzimuth([&](double az) {
                double lat2 = 0, lon2 = 0, azi2 = 0, apart = 0;
                geod.Direct(lat, -71.0, az, t.length, lat2, lon2, azi2);
                const Direct r = Polar(lat, -71.0, az, t.length);
                ASSERT_TRUE(r.ok);
                geod.Inverse(lat2, lon2, r.lat2, r.lon2, apart);
                worstPosition = std::fmax(worstPosition, apart);
                worstBack = std::fmax(worstBack, AzimuthDifference(r.back, azi2 + 180.0) * 3600);
            });
        std::printf("ClarkePolar %6.0f m: end point %.2e m, back azimuth %.2e\"\n", t.length, worstPosition, worstBack);
        EXPECT_LT(worstPosition, t.distance) << t.length;
        EXPECT_LT(worstBack, t.backAzimuth) << t.length;
    }
#endif
}
