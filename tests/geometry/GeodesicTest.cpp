// The closed-form direct (ClarkePolar, ClarkeXY) and inverse (robinv) solutions on WGS 84,
// held against each other, known lines and GeographicLib.
#include <KvsDataBlocks/geometry/ClarkeDirect.h>
#include <KvsDataBlocks/geometry/RobbinsInverse.h>
#include <KvsDataBlocks/geometry/detail/EllipsoidLine.h>

#include <gtest/gtest.h>

#ifdef KVS_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geodesic.hpp>
#endif

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kE2 = kF * (2.0 - kF);
constexpr double kRad = std::numbers::pi / 180;
constexpr double kLatitudes[] = {-80, -60, -45, -20, -1, 0, 0.5, 20, 45, 60, 80};

// Azimuths 0, 15, ... 345 and some that fall between.
template <typename F>
void ForEachAzimuth(F&& f)
{
    for (double az = 0.0; az < 360.0; az += 15.0) f(az);
    for (double az : {0.25, 89.9, 90.1, 179.75, 269.99, 301.3}) f(az);
}

// The difference of two azimuths in degrees, folded into [0, 180].
double AzimuthDifference(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

struct Direct { bool ok; double lat2, lon2, back; };

Direct Polar(double lat1, double lon1, double az, double s, double a = kA, double e2 = kE2)
{
    Direct r{};
    return r.ok = ClarkePolar(a, e2, lat1, lon1, az, s, r.lat2, r.lon2, r.back), r;
}

Direct XY(double lat1, double lon1, double dx, double dy)
{
    Direct r{};
    return r.ok = ClarkeXY(kA, kE2, lat1, lon1, dx, dy, r.lat2, r.lon2, r.back), r;
}

struct Inverse { bool ok; double az12, az21, distance; };

Inverse Solve(double lat1, double lon1, double lat2, double lon2, double a = kA, double e2 = kE2)
{
    Inverse r{};
    return r.ok = robinv(a, e2, lat1, lon1, lat2, lon2, r.az12, r.az21, r.distance), r;
}

void ExpectNear(const Direct& r, const Direct& e, double tol)
{
    EXPECT_EQ(r.ok, e.ok);
    EXPECT_NEAR(r.lat2, e.lat2, tol);
    EXPECT_NEAR(r.lon2, e.lon2, tol);
    EXPECT_NEAR(r.back, e.back, tol * 1000);
}

void ExpectNear(const Inverse& r, const Inverse& e, double tol)
{
    EXPECT_EQ(r.ok, e.ok);
    EXPECT_NEAR(r.az12, e.az12, tol);
    EXPECT_NEAR(r.az21, e.az21, tol);
    EXPECT_NEAR(r.distance, e.distance, 1e-6);
}

double Arc(double lat) { return MeridianArc(kA, kE2, lat * kRad); }

} // namespace

TEST(Geodesic, KnownLinesAcrossTheDateLineEndingOnTheEquatorAndRefusedArguments)
{
    const double degree = kA * kRad;
    ExpectNear(Polar(52.25, 4.75, 123.0, 0.0), Direct{true, 52.25, 4.75, 0.0}, 0);
    ExpectNear(Polar(0.0, 0.0, 90.0, degree), Direct{true, 0, 1, 270}, 1e-12);
    ExpectNear(Polar(0.0, 0.0, 270.0, degree), Direct{true, 0, -1, 90}, 1e-12);
    ExpectNear(Solve(0, 0, 0, 1), Inverse{true, 90, 270, degree}, 1e-12);
    ExpectNear(Solve(0, 1, 0, 0), Inverse{true, 270, 90, degree}, 1e-12);
    ExpectNear(Solve(52.0, 4.5, 53.0, 4.5), Inverse{true, 0, 180, Arc(53) - Arc(52)}, 0);
    ExpectNear(Solve(53.0, 4.5, 52.0, 4.5), Inverse{true, 180, 0, Arc(53) - Arc(52)}, 0);
    ExpectNear(Solve(-10.0, -70.0, -10.0, -70.0), Inverse{true, 180, 0, 0}, 0);
    // Across the equator, and 180 and -180 name one meridian.
    ExpectNear(Solve(-0.5, 180.0, 0.5, -180.0), Inverse{true, 0, 180, 2 * Arc(0.5)}, 0);
    // The quarter meridian of WGS 84 is 10001965.729 m; the series in e2^3 holds it to a mm.
    EXPECT_NEAR(Arc(90), 10001965.729, 1e-3);
    EXPECT_EQ(Arc(0), 0.0);
    // A sphere is an ellipsoid with e2 = 0.
    ExpectNear(Solve(0, 0, 0, 90, 1.0, 0.0), Inverse{true, 90, 270, std::numbers::pi / 2}, 1e-12);
    // Azimuths beyond [0, 360) name the same direction, however large.
    for (double az : {-315.0, 405.0, 45.0 + 360 * 0x1p41}) ExpectNear(Polar(52, 4, az, 9e4), Polar(52, 4, 45, 9e4), 1e-12);
    // An offset runs along its own direction.
    ExpectNear(XY(52.0, 4.0, -1.0, 0.0), Polar(52.0, 4.0, 270.0, 1.0), 0);
    ExpectNear(XY(52.0, 4.0, 3000.0, 4000.0), Polar(52.0, 4.0, std::atan2(3.0, 4.0) / kRad, 5000.0), 0);
    // The line between two points of one latitude bows towards the pole: the azimuths
    // are 90 - c and 270 + c in the north, c about half the meridian convergence.
    for (double lat : {60.0, -60.0, 30.0}) {
        const Inverse r = Solve(lat, 5.0, lat, 5.02);
        EXPECT_NEAR(r.az12 + r.az21, 360.0, 1e-9) << lat;
        EXPECT_NEAR(90.0 - r.az12, 0.01 * std::sin(lat * kRad), 1e-5) << lat;
    }
    // A line leaving 60 N just north of east climbs over its vertex and ends a little north
    // of the start while already heading south of east: the way back is west-north-west.
    const Direct bow = Polar(60.0, 0.0, 89.5, 50000.0);
    EXPECT_EQ(std::tuple(bow.ok, bow.lat2 > 60.0, bow.back > 270.0, bow.back < 271.0), std::tuple(true, true, true, true));
    // The short way across the 180th meridian, and longitudes given 0..360.
    const Inverse across = Solve(-17.0, 179.99, -17.0, -179.99);
    ExpectNear(across, Solve(-17.0, -0.01, -17.0, 0.01), 1e-9);
    EXPECT_LT(across.distance, 2200.0);
    EXPECT_NEAR(Solve(10.0, 359.0, 10.5, 1.0).distance, Solve(10.0, -1.0, 10.5, 1.0).distance, 1e-6);
    // This northbound line ends exactly on the auxiliary sphere's equator (sin(psi) = 0);
    // its latitude is still found, and the meridian arc back has the line's length.
    const double s = 55659.754855147243;
    const Direct r = Polar(-0.5, 0.0, 0.0, s);
    EXPECT_EQ(std::tuple(r.ok, r.lat2 > 0.0, r.lon2, r.back), std::tuple(true, true, 0.0, 180.0));
    EXPECT_NEAR(Arc(r.lat2) - Arc(-0.5), s, 1e-4);
    for (const Direct& r : {Polar(0, 0, 10, 100, 0.0), Polar(0, 0, 10, 100, NAN), Polar(0, 0, 10, 100, kA, 1.0),
                            Polar(0, 0, 10, 100, kA, -1e-3), Polar(91, 0, 10, 100), Polar(0, INFINITY, 10, 100),
                            Polar(0, 0, NAN, 100), Polar(0, 0, 10, INFINITY), XY(0, 0, NAN, 1), XY(NAN, 0, 0, 0)}) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(std::isnan(r.lat2) && std::isnan(r.lon2) && std::isnan(r.back));
    }
    for (const Inverse& r : {Solve(0, 0, 1, 1, 0.0), Solve(0, 0, 1, 1, -6378137.0), Solve(0, 0, 1, 1, NAN),
                             Solve(0, 0, 1, 1, kA, 1.0), Solve(0, 0, 1, 1, kA, -0.01), Solve(90.5, 0, 1, 1),
                             Solve(0, 0, -91, 1), Solve(0, NAN, 1, 1), Solve(0, 0, 1, INFINITY)}) {
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(std::isnan(r.distance) && std::isnan(r.az12) && std::isnan(r.az21));
    }
}

TEST(Geodesic, ShortCutFunctionsAgreeWithTheLibraryToTheLastBits)
{
    using namespace kvs::geometry::detail;
    // Within a few units of the last place of the library's value (relative; 0 exactly).
    auto near = [](double got, double want) { return std::fabs(got - want) <= 4.5e-16 * std::fabs(want); };
    for (double r : {1e-300, 1e-3, 1.0, 7e5, 1e300})
        for (int i = -3600; i <= 3600; ++i) {
            const double a = i * std::numbers::pi / 3600 + 1e-4, y = r * std::sin(a), x = r * std::cos(a);
            ASSERT_TRUE(near(FastAtan2(y, x), std::atan2(y, x))) << y << " " << x;
        }
    const double inf = INFINITY;
    for (auto [y, x] : {std::pair{0.0, 0.0}, {-0.0, -1.0}, {0.0, -1.0}, {1.0, -0.0}, {-2.0, 0.0}, {inf, 1.0},
                        {1.0, inf}, {1.0, -inf}, {1e-310, 1.0}, {1.0, 1e-310}})
        EXPECT_EQ(FastAtan2(y, x), std::atan2(y, x)) << y << " " << x;
    EXPECT_TRUE(std::isnan(FastAtan2(NAN, 1.0)) && std::isnan(FastAtan2(1.0, NAN)));
    for (int i = -1000; i <= 1000; ++i) {
        const double x = i * kSmallAngle / 1000;
        double s = 0, c = 0;
        SinCosSmall(x, s, c);
        EXPECT_TRUE(near(s, std::sin(x)) && near(c, std::cos(x)) && near(AsinSmall(x), std::asin(x)) &&
                    near(AtanSmall(x), std::atan(x)))
            << x;
    }
    // Degrees by 1/80 from -720 to 720, the multiples of 45 and 90 among them, against the
    // library's long double sine and cosine of the angle reduced exactly by remquo.
    for (int i = -57600; i <= 57600; ++i) {
        const double d = i / 80.0;
        int n = 0;
        const long double r = std::remquo(d, 90.0, &n) * (std::numbers::pi_v<long double> / 180);
        const double sr = static_cast<double>(std::sin(r)), cr = static_cast<double>(std::cos(r));
        const double sin[4] = {sr, cr, -sr, -cr};
        double s = 0, c = 0;
        SinCosDegrees(d, s, c);
        ASSERT_TRUE(near(s, sin[n & 3]) && near(c, sin[(n + 1) & 3])) << d;
    }
    for (auto [d, sin, cos] : {std::tuple{-0.0, -0.0, 1.0}, {360e9 + 30, 0.5, std::sqrt(0.75)},
                               {360 * 0x1p41 + 120, std::sqrt(0.75), -0.5}, {inf, NAN, NAN}, {-inf, NAN, NAN},
                               {NAN, NAN, NAN}}) {
        double s = 0, c = 0;
        SinCosDegrees(d, s, c);
        EXPECT_TRUE(std::isnan(sin) ? std::isnan(s) && std::isnan(c) : near(s, sin) && near(c, cos) &&
                    std::signbit(s) == std::signbit(sin)) << d;
    }
}

TEST(Geodesic, AgreesWithGeographicLibOnSurveyLines)
{
    // Both closed forms work on the normal section: against the geodesic they part by the
    // limits below; an eastbound line has its start to the west (the back azimuth's side).
#ifndef KVS_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib, the reference, is not installed";
#else
    // Largest differences allowed per line length (metres, arc seconds): what the closed forms
    // achieve with some margin. The azimuth given to ClarkePolar is taken as that of the
    // normal section, which parts from the geodesic by about e'^2 sigma^2 / 12: at 100 km a
    // sideways 1.4 cm at the end point.
    const struct { double length, limits[5]; } tolerances[] = {
        // length: end point (m), back azimuth ("); robinv distance (m), azimuths (")
        {100.0, {1e-7, 1e-4, 1e-7, 2e-5, 2e-5}},     {1000.0, {1e-7, 2e-5, 1e-6, 2e-5, 2e-5}},
        {10000.0, {5e-5, 1e-5, 1e-5, 1e-3, 1e-3}},   {100000.0, {0.03, 1e-3, 1e-4, 0.05, 0.05}},
    };
    const GeographicLib::Geodesic geod(kA, kF);
    for (const auto& t : tolerances) {
        double worst[5] = {};
        for (double lat : kLatitudes)
            ForEachAzimuth([&](double az) {
                double lat2 = 0, lon2 = 0, azi2 = 0, apart = 0;
                geod.Direct(lat, 3.0, az, t.length, lat2, lon2, azi2);
                const Direct d = Polar(lat, 3.0, az, t.length);
                const Inverse r = Solve(lat, 3.0, lat2, lon2);
                ASSERT_TRUE(d.ok && r.ok);
                geod.Inverse(lat2, lon2, d.lat2, d.lon2, apart);
                const double got[5] = {apart, AzimuthDifference(d.back, azi2 + 180.0) * 3600,
                                       std::fabs(r.distance - t.length), AzimuthDifference(r.az12, az) * 3600,
                                       AzimuthDifference(r.az21, azi2 + 180.0) * 3600};
                for (int i = 0; i < 5; ++i) worst[i] = std::fmax(worst[i], got[i]);
                // All azimuths in [0, 360): the differences above are folded.
                for (double az : {r.az12, r.az21, d.back}) EXPECT_TRUE(az >= 0 && az < 360) << az;
            });
        std::printf("%6.0f m: ClarkePolar end point %.2e m, back azimuth %.2e\"; robinv distance %.2e m, "
                    "azimuths %.2e\" %.2e\"\n", t.length, worst[0], worst[1], worst[2], worst[3], worst[4]);
        for (int i = 0; i < 5; ++i) EXPECT_LT(worst[i], t.limits[i]) << t.length << " " << i;
    }
    // The odd terms of the distance series change sign with the hemisphere and the
    // direction; with them 500 km lines stay within a millimetre whichever way they run.
    for (double lat : {-45.0, 45.0})
        for (double az : {0.5, 30.0, 150.0, 179.5, 210.0, 330.0}) {
            double lat2 = 0, lon2 = 0;
            geod.Direct(lat, 0.0, az, 500000.0, lat2, lon2);
            EXPECT_NEAR(Solve(lat, 0.0, lat2, lon2).distance, 500000.0, 1e-3) << lat << " " << az;
        }
#endif
}
