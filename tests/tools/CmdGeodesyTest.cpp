// End-to-end runs of kvsblocks geodesy: output, JSON and exit codes.
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#ifdef KVS_TOOL_PATH

namespace {

// Runs "kvsblocks geodesy <args>".
RunResult Geodesy(const std::string& args)
{
    return RunTool("geodesy " + args);
}

} // namespace

TEST(KvsblocksGeodesy, InverseGivesDistanceAndBothAzimuths)
{
    RunResult r = Geodesy("inverse 0 0 0 1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("distance     111319.4908 m"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("azimuth 1-2  90.000000000 deg"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("azimuth 2-1  270.000000000 deg"), std::string::npos) << r.out;

    r = Geodesy("inverse -33.85 151.2 -33.9 151.3 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["problem"], "inverse");
    EXPECT_EQ(j["ellipsoid"]["name"], "WGS84");
    EXPECT_GT(j["distance"].get<double>(), 10000.0);
    EXPECT_LT(j["distance"].get<double>(), 11000.0);
    EXPECT_GT(j["azimuth12"].get<double>(), 90.0); // south-east
    EXPECT_LT(j["azimuth12"].get<double>(), 180.0);
}

TEST(KvsblocksGeodesy, DirectRunsTheInverseBack)
{
    RunResult r = Geodesy("direct 52.0 4.0 45 10000 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json d = nlohmann::json::parse(r.out);
    EXPECT_EQ(d["problem"], "direct");
    const double lat2 = d["lat2"], lon2 = d["lon2"], back = d["backAzimuth"];
    EXPECT_NEAR(back, 225.0, 0.1);
    char args[160];
    std::snprintf(args, sizeof args, "inverse 52.0 4.0 %.12f %.12f --json", lat2, lon2);
    r = Geodesy(args);
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json i = nlohmann::json::parse(r.out);
    EXPECT_NEAR(i["distance"].get<double>(), 10000.0, 1e-3);
    EXPECT_NEAR(i["azimuth12"].get<double>(), 45.0, 1e-7);
    EXPECT_NEAR(i["azimuth21"].get<double>(), back, 1e-7);

    r = Geodesy("direct 10 179.99 90 5000");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("longitude     -179.9"), std::string::npos) << r.out; // shown within +-180
    EXPECT_NE(r.out.find("back azimuth  270.0"), std::string::npos) << r.out;
}

TEST(KvsblocksGeodesy, EllipsoidsByNameOrByAxisAndFlattening)
{
    const RunResult wgs = Geodesy("inverse 50 0 51 1 --json");
    const RunResult intl = Geodesy("inverse 50 0 51 1 --json --ellipsoid International1924");
    const RunResult own = Geodesy("inverse 50 0 51 1 --json --a 6378388 --rf 297");
    ASSERT_EQ(wgs.status, 0);
    ASSERT_EQ(intl.status, 0) << intl.out;
    ASSERT_EQ(own.status, 0) << own.out;
    const double dWgs = nlohmann::json::parse(wgs.out)["distance"], dIntl = nlohmann::json::parse(intl.out)["distance"];
    EXPECT_GT(dIntl - dWgs, 5.0); // the larger ellipsoid
    EXPECT_EQ(nlohmann::json::parse(own.out)["distance"].get<double>(), dIntl);
}

TEST(KvsblocksGeodesy, UsageErrorsExitWithTwoAndBadInputWithOne)
{
    EXPECT_EQ(Geodesy("").status, 2);
    EXPECT_EQ(Geodesy("inverse 1 2 3").status, 2);
    EXPECT_EQ(Geodesy("direct 1 2 3 4 5").status, 2);
    EXPECT_EQ(Geodesy("sideways 1 2 3 4").status, 2);
    EXPECT_EQ(Geodesy("inverse 1 2 3 4 --ellipsoid Mars").status, 2);
    const RunResult help = Geodesy("direct --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("AZIMUTH"), std::string::npos);

    RunResult r = Geodesy("inverse 95 0 0 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("LAT1 '95' lies outside -90..90"), std::string::npos) << r.out;
    r = Geodesy("direct 52 4x 45 100");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("LON '4x' is not a number"), std::string::npos) << r.out;
    r = Geodesy("direct 52 4 45 -- -100");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("negative"), std::string::npos) << r.out;
    EXPECT_EQ(Geodesy("inverse 1 2 3 4 --a 6378137 --rf 0.5").status, 1);
    EXPECT_EQ(Geodesy("direct 52 4 45 nan").status, 1);
}

TEST(KvsblocksGeodesy, LongLinesAreWarnedAbout)
{
    const RunResult r = Geodesy("inverse 0 0 10 10");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("warning"), std::string::npos) << r.out;
    EXPECT_EQ(Geodesy("inverse 0 0 0.1 0.1").out.find("warning"), std::string::npos);
}

#endif
