// kvsblocks geodesy against GeographicLib over the whole globe: the exact geodesic by
// default, the closed forms only where they hold to a centimetre, never NaN or infinity.
#include "GeodesicSolver.h"
#include "ToolRun.h"

#include <GeographicLib/Geodesic.hpp>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef KVS_TOOL_PATH

using kvs::tool::GeodesicMethod;
using kvs::tool::GeodesicSolver;

namespace {

constexpr double kA = 6378137.0, kF = 1.0 / 298.257223563, kE2 = kF * (2.0 - kF); // WGS 84

struct Pair
{
    double lat1, lon1, lat2, lon2;
};

// 1,000 pairs: random over the globe (uniform on the sphere), antipodal and within a
// thousandth of a degree of antipodal, on the equator across 179..180 degrees, at the poles.
std::vector<Pair> Pairs()
{
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), lon(-180.0, 180.0), tiny(-1e-3, 1e-3);
    auto lat = [&] { return std::asin(unit(random)) * 180.0 / M_PI; };
    std::vector<Pair> pairs;
    for (int i = 0; i < 700; ++i) pairs.push_back({lat(), lon(random), lat(), lon(random)});
    for (int i = 0; i < 150; ++i) {
        const double p = lat(), l = lon(random);
        pairs.push_back({p, l, -p, l > 0 ? l - 180.0 : l + 180.0});
    }
    for (int i = 0; i < 140; ++i) {
        const double p = lat(), l = lon(random);
        pairs.push_back({p, l, std::clamp(-p + tiny(random), -90.0, 90.0), (l > 0 ? l - 180.0 : l + 180.0) + tiny(random)});
    }
    for (const Pair& p : {Pair{0, 0, 0, 179}, Pair{0, 0, 0, 180}, Pair{0, 0, 0, 179.5}, Pair{0, 0, 0.5, 179.7},
                          Pair{90, 0, -90, 0}, Pair{90, 10, 89.999, -170}, Pair{-90, 0, 0, 0}, Pair{52, 4, 52, 4},
                          Pair{0, -179.9999, 0, 179.9999}, Pair{45, 0, -45, 180}})
        pairs.push_back(p);
    return pairs;
}


// Options first: after "--" negative numbers are values.
std::string Args(std::initializer_list<double> values)
{
    std::ostringstream s;
    s.precision(17);
    s << " --json --";
    for (double v : values) s << " " << v;
    return s.str();
}

} // namespace

TEST(GeodesyTool, InverseAndDirectAgreeWithGeographicLibToAMicrometreEverywhere)
{
    const GeographicLib::Geodesic geodesic(kA, kF);
    const GeodesicSolver solver(kA, kE2, GeodesicMethod::Exact);
    std::string error;
    int n = 0;
    for (const Pair& p : Pairs()) {
        double s12 = 0, azi1 = 0, azi2 = 0;
        geodesic.Inverse(p.lat1, p.lon1, p.lat2, p.lon2, s12, azi1, azi2);
        kvs::tool::GeodesicInverse inverse;
        ASSERT_TRUE(solver.Inverse(p.lat1, p.lon1, p.lat2, p.lon2, inverse, error)) << error;
        EXPECT_NEAR(inverse.distance, s12, 1e-6) << p.lat1 << " " << p.lon1 << " " << p.lat2 << " " << p.lon2;
        // The direct problem along the same line ends at point 2.
        kvs::tool::GeodesicDirect direct;
        ASSERT_TRUE(solver.Direct(p.lat1, p.lon1, inverse.azimuth12, inverse.distance, direct, error)) << error;
        double miss = 0;
        geodesic.Inverse(direct.lat2, direct.lon2, p.lat2, p.lon2, miss);
        EXPECT_LT(miss, 1e-6) << p.lat1 << " " << p.lon1 << " " << p.lat2 << " " << p.lon2;
        // The tool prints what it solves, every tenth pair through the program itself.
        if (n++ % 10 != 0) continue;
        const RunResult r = RunTool("geodesy inverse" + Args({p.lat1, p.lon1, p.lat2, p.lon2}));
        const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_TRUE(j.is_object()) << r.out;
        EXPECT_NEAR(j["distance"].get<double>(), s12, 1e-6) << r.out;
    }
}

TEST(GeodesyTool, TheCasesThatWereWrongAreRightAndTheClosedFormsAreRefusedBeyondACentimetre)
{
    const struct { std::string args; int status; const char* text; } cases[] = {
        {"inverse 0 0 0 179", 0, "\"distance\": 19926188.85"},
        {"inverse 0 0 0 180", 0, "\"distance\": 20003931.45"},
        {"direct 52 4 45 1e7", 0, "\"lon2\": 132.04185202"},
        {"direct 52 4 45 1e300", 1, "DISTANCE 1e300: the distance must lie within 0..1e9 m"},
        {"inverse 0 0 0 179 --closed-form", 1, "off the exact geodesic here (more than 1 cm allowed)"},
        {"direct 52 4 45 1e7 --closed-form", 1, "off the exact geodesic here"},
        {"inverse 52 4 52.1 4.2 --closed-form", 0, "\"method\": \"closed-form\""},
        {"direct 52 4 45 10000 --closed-form", 0, "\"method\": \"closed-form\""},
    };
    for (const auto& c : cases) {
        const RunResult r = RunTool("geodesy " + c.args + " --json");
        EXPECT_EQ(std::tuple(r.status, r.out.find(c.text) != std::string::npos, r.out.find("nan") == std::string::npos &&
                                                                                      r.out.find("inf") == std::string::npos),
                  std::tuple(c.status, true, true))
            << c.args << "\n" << r.out;
    }
}

#endif
