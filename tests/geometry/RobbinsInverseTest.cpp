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

struct Inverse
{
    bool ok;
    double az12, az21, distance;
};

Inverse Solve(double lat1, double lon1, double lat2, double lon2, double a = kA, double e2 = kE2)
{
    Inverse r{};
    r.ok = robinv(a, e2, lat1, lon1, lat2, lon2, r.az12, r.az21, r.distance);
    return r;
}

} // namespace

TEST(Robbins, EquatorLineOfOneDegree)
{
    const Inverse r = Solve(0, 0, 0, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.az12, 90.0, 1e-12);
    EXPECT_NEAR(r.az21, 270.0, 1e-12);
    EXPECT_NEAR(r.distance, kA * std::numbers::pi / 180.0, 1e-6);
    const Inverse w = Solve(0, 1, 0, 0);
    EXPECT_NEAR(w.az12, 270.0, 1e-12);
    EXPECT_NEAR(w.az21, 90.0, 1e-12);
    EXPECT_NEAR(w.distance, r.distance, 1e-9);
}

TEST(Robbins, MeridianTakesTheMeridianArc)
{
    Inverse r = Solve(52.0, 4.5, 53.0, 4.5);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.az12, 0.0);
    EXPECT_EQ(r.az21, 180.0);
    EXPECT_DOUBLE_EQ(r.distance, MeridianArc(kA, kE2, 53.0 * std::numbers::pi / 180) -
                                     MeridianArc(kA, kE2, 52.0 * std::numbers::pi / 180));
    r = Solve(53.0, 4.5, 52.0, 4.5);
    EXPECT_EQ(r.az12, 180.0);
    EXPECT_EQ(r.az21, 0.0);
    r = Solve(-10.0, -70.0, -10.0, -70.0);
    EXPECT_EQ(r.distance, 0.0);
    EXPECT_EQ(r.az12, 180.0);
    EXPECT_EQ(r.az21, 0.0);
    // Across the equator, and 180 and -180 name one meridian.
    r = Solve(-0.5, 180.0, 0.5, -180.0);
    EXPECT_EQ(r.az12, 0.0);
    EXPECT_NEAR(r.distance, 2 * MeridianArc(kA, kE2, 0.5 * std::numbers::pi / 180), 1e-9);
    // The quarter meridian of WGS 84 is 10001965.729 m; the series in e2^3 holds it to a
    // millimetre.
    EXPECT_NEAR(MeridianArc(kA, kE2, std::numbers::pi / 2), 10001965.729, 1e-3);
    EXPECT_EQ(MeridianArc(kA, kE2, 0.0), 0.0);
}

TEST(Robbins, PointsOfOneLatitudeGetMirroredAzimuths)
{
    // The line between two points of one latitude bows towards the pole: the azimuths
    // are 90 - c and 270 + c in the north, not 90 and 270.
    for (double lat : {60.0, -60.0, 30.0}) {
        const Inverse r = Solve(lat, 5.0, lat, 5.02);
        ASSERT_TRUE(r.ok);
        EXPECT_NEAR(r.az12 + r.az21, 360.0, 1e-9) << lat;
        if (lat > 0) {
            EXPECT_LT(r.az12, 90.0);
            EXPECT_GT(r.az21, 270.0);
        } else {
            EXPECT_GT(r.az12, 90.0);
            EXPECT_LT(r.az21, 270.0);
        }
        // Half the meridian convergence, about dlon sin(lat) / 2.
        EXPECT_NEAR(std::fabs(r.az12 - 90.0), 0.01 * std::fabs(std::sin(lat * std::numbers::pi / 180)), 1e-5);
    }
}

TEST(Robbins, CrossesTheHundredEightiethMeridianTheShortWay)
{
    const Inverse across = Solve(-17.0, 179.99, -17.0, -179.99);
    const Inverse home = Solve(-17.0, -0.01, -17.0, 0.01);
    ASSERT_TRUE(across.ok);
    EXPECT_NEAR(across.distance, home.distance, 1e-6);
    EXPECT_NEAR(across.az12, home.az12, 1e-9);
    EXPECT_NEAR(across.az21, home.az21, 1e-9);
    EXPECT_LT(across.distance, 2200.0);
    const Inverse wrapped = Solve(10.0, 359.0, 10.5, 1.0); // longitudes given 0..360
    EXPECT_NEAR(wrapped.distance, Solve(10.0, -1.0, 10.5, 1.0).distance, 1e-6);
}

TEST(Robbins, RefusesUnusableArguments)
{
    for (const Inverse& r : {Solve(0, 0, 1, 1, 0.0), Solve(0, 0, 1, 1, -6378137.0), Solve(0, 0, 1, 1, NAN),
                             Solve(0, 0, 1, 1, kA, 1.0), Solve(0, 0, 1, 1, kA, -0.01), Solve(90.5, 0, 1, 1),
                             Solve(0, 0, -91, 1), Solve(0, NAN, 1, 1), Solve(0, 0, 1, INFINITY)}) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(std::isnan(r.distance));
        EXPECT_TRUE(std::isnan(r.az12));
        EXPECT_TRUE(std::isnan(r.az21));
    }
    // A sphere is an ellipsoid with e2 = 0.
    const Inverse sphere = Solve(0, 0, 0, 90, 1.0, 0.0);
    EXPECT_TRUE(sphere.ok);
    EXPECT_NEAR(sphere.distance, std::numbers::pi / 2, 1e-12);
}

TEST(Robbins, AgreesWithGeographicLibOnSurveyLines)
{
#ifndef KVS_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib, the reference, is not installed";
#else
    const GeographicLib::Geodesic geod(kA, kF);
    const Tolerance tolerances[] = {
        {100.0, 1e-7, 2e-5, 2e-5},
        {1000.0, 1e-6, 2e-5, 2e-5},
        {10000.0, 1e-5, 1e-3, 1e-3},
        {100000.0, 1e-4, 0.05, 0.05},
    };
    for (const Tolerance& t : tolerances) {
        double worstDistance = 0, worstAz12 = 0, worstAz21 = 0;
        for (double lat : kLatitudes)
            ForEachAzimuth([&](double az) {
                double lat2 = 0, lon2 = 0, azi2 = 0;
                geod.Direct(lat, 3.0, az, t.length, lat2, lon2, azi2);
                const Inverse r = Solve(lat, 3.0, lat2, lon2);
                ASSERT_TRUE(r.ok);
                worstDistance = std::fmax(worstDistance, std::fabs(r.distance - t.length));
                worstAz12 = std::fmax(worstAz12, AzimuthDifference(r.az12, az) * 3600);
                worstAz21 = std::fmax(worstAz21, AzimuthDifference(r.az21, azi2 + 180.0) * 3600);
                EXPECT_GE(r.az12, 0.0);
                EXPECT_LT(r.az12, 360.0);
                EXPECT_GE(r.az21, 0.0);
                EXPECT_LT(r.az21, 360.0);
            });
        std::printf("robinv %6.0f m: distance %.2e m, azimuth12 %.2e\", azimuth21 %.2e\"\n", t.length, worstDistance,
                    worstAz12, worstAz21);
        EXPECT_LT(worstDistance, t.distance) << t.length;
        EXPECT_LT(worstAz12, t.azimuth) << t.length;
        EXPECT_LT(worstAz21, t.backAzimuth) << t.length;
    }
#endif
}

TEST(Robbins, SouthboundAndNorthboundLinesAreEquallyGood)
{
#ifndef KVS_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib, the reference, is not installed";
#else
    // The odd terms of the distance series change sign with the hemisphere and the
    // direction; with them 500 km lines stay within a millimetre whichever way they run.
    const GeographicLib::Geodesic geod(kA, kF);
    for (double lat : {-45.0, 45.0})
        for (double az : {0.5, 30.0, 150.0, 179.5, 210.0, 330.0}) {
            double lat2 = 0, lon2 = 0;
            geod.Direct(lat, 0.0, az, 500000.0, lat2, lon2);
            EXPECT_NEAR(Solve(lat, 0.0, lat2, lon2).distance, 500000.0, 1e-3) << lat << " " << az;
        }
#endif
}
