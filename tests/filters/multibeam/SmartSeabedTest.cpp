// The smart filter's seabed profile (bins by beams or by a fraction of the depth, median
// points joined by straight lines, the slope allowance) and its fallback tolerance where a
// ping has no estimated vertical errors.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>

#include "PingBlock.h"

#include <cmath>
#include <functional>
#include <limits>

using namespace pingtest;
using filtertest::AttributeList;

namespace {

const unsigned int kSmart = MultibeamFilter::kFlagSmart;

// 201 beams at x = -100 .. 100 one metre apart (beam i at x = i - 100) over the seabed
// z(x), with the changes dz at the given x; with errors, every beam's estimated vertical
// error is err. Returns the x of the beams the smart filter flags.
struct Ping
{
    std::function<double(double)> seabed;
    std::vector<std::pair<int, float>> dz = {};
    float err = -1.0f; // below 0: no error array (676 left out)
};

std::vector<int> Flagged(const AttributeList& settings, const Ping& p)
{
    Floats x = Ramp(201, -100.0f), z(201);
    for (int i = 0; i < 201; ++i) z[i] = static_cast<float>(p.seabed(x[i]));
    for (const auto& [at, d] : p.dz) z[at + 100] += d;
    const std::vector<unsigned short> omit = p.err < 0.0f ? std::vector<unsigned short>{676} : std::vector<unsigned short>{};
    CDataBlock b = Block(x, z, {}, 0.0, omit);
    if (p.err >= 0.0f) SetFloats(b, 676, Floats(201, p.err));
    AttributeList all = settings;
    all.push_back({"SmartFilter", true});
    std::vector<int> flagged = With(Filtered(all, b), kSmart);
    for (int& i : flagged) i -= 100;
    return flagged;
}

double Slope(double x) { return -60.0 + 0.2 * x; }       // 11 degrees, 40 to 80 m deep
double Valley(double x) { return -60.0 + 0.2 * std::fabs(x); }
double Flat(double) { return -60.0; }

// Tolerances of 0.3 m everywhere.
AttributeList Metres(AttributeList more)
{
    more.push_back({"VertTolRelData", 0.3});
    more.push_back({"VertTolUnrelData", 0.3});
    return more;
}

} // namespace

TEST(SmartSeabed, FollowsReliefThatTheDefaultProfileRejectsAndStillFindsSpikes)
{
    const char* const kBeams = ATTR_SMARTBINBEAMS;
    const char* const kRatio = ATTR_SMARTBINDEPTHRATIO;
    const char* const kMedian = ATTR_SMARTMEDIANPROFILE;
    const char* const kSlope = ATTR_SMARTSLOPETOLERANCE;
    struct Case
    {
        const char* name;
        AttributeList settings;
        Ping ping;
        std::vector<int> want;
    };
    // Four bad beams of a bin of ten (x 40 .. 49), 3 m deeper together.
    std::vector<std::pair<int, float>> cluster;
    for (int x = 41; x <= 44; ++x) cluster.push_back({x, -3.0f});
    const Case cases[] = {
        // The levelled nadir zone of the default profile lies metres off an 11 degree
        // slope; the straight lines between bin medians lie on it.
        {"slope, bins by beams", Metres({{kBeams, 10}}), {Slope}, {}},
        {"slope, bins of a fraction of the depth", Metres({{kRatio, 0.2}}), {Slope}, {}},
        {"slope, bins of the default width", Metres({{kMedian, true}}), {Slope}, {}},
        {"slope with spikes in the middle and at both edges", Metres({{kBeams, 10}}),
         {Slope, {{-100, 1.0f}, {37, -1.0f}, {100, -0.5f}}}, {-100, 37, 100}},
        {"slope with spikes at both edges, bins of a fraction of the depth", Metres({{kRatio, 0.2}}),
         {Slope, {{-100, 1.0f}, {100, -0.5f}}}, {-100, 100}},
        // A minority of a bin (4 of 10 beams, 3 m off) moves neither its point nor the
        // lines to its neighbours, though on the slope it shifts which good beams stand in
        // the middle of the bin's depths by 0.4 m: only those beams fail.
        {"a cluster in one bin", Metres({{kBeams, 10}}), {Slope, cluster}, {41, 42, 43, 44}},
        {"a junk beam at nadir", Metres({{kBeams, 10}}), {Slope, {{0, 57.6f}}}, {0}},
        // At the bottom of a valley the line between the medians either side cuts 1 m
        // above the seabed; the slope allowance (0.2 over half of 10 m) covers the bend,
        // and a spike of 1.5 m there is still found.
        {"valley without the slope allowance", Metres({{kBeams, 10}}), {Valley}, {-3, -2, -1, 0, 1, 2, 3}},
        {"valley with the slope allowance", Metres({{kBeams, 10}, {kSlope, true}}), {Valley}, {}},
        {"the slope allowance alone draws the seabed profile", Metres({{kSlope, true}}), {Valley}, {}},
        {"valley with the slope allowance and a spike", Metres({{kBeams, 10}, {kSlope, true}}),
         {Valley, {{0, -2.5f}}}, {0}},
        // Bins by beams shorter than 3 work as 3; a bin count as small as one bin gives one
        // point, whose level holds across the ping.
        {"bins of 1 beam work as 3", Metres({{kBeams, 1}}), {Flat, {{20, 1.0f}}}, {20}},
        {"one bin across the ping", Metres({{kBeams, 1000}}), {Flat, {{-100, 1.0f}, {100, -1.0f}}}, {-100, 100}},
        // Bins by width narrower than the beam spacing run on until they hold 3 beams.
        {"bins narrower than the beam spacing", Metres({{kRatio, 0.001}, {kSlope, true}}), {Slope, {{50, 1.0f}}},
         {50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Flagged(c.settings, c.ping), c.want);
    }
    // The default profile on the same slope: its level across the nadir zone fails beams.
    EXPECT_GT(Flagged(Metres({}), {Slope}).size(), 10u);
}

TEST(SmartSeabed, ToleranceUnitsAndTheFallbackWhereErrorsAreMissing)
{
    // A spike of 1 m at x = 30, where the seabed lies 54 m deep (1.9 %).
    const Ping spike{Slope, {{30, 1.0f}}};
    const Ping spikeErr{Slope, {{30, 1.0f}}, 0.25f}; // 3 x 0.25 = 0.75 m: fails
    const Ping spikeBigErr{Slope, {{30, 1.0f}}, 0.5f}; // 3 x 0.5 = 1.5 m: passes
    const Ping spikeZeroErr{Slope, {{30, 1.0f}}, 0.0f};
    const Ping flatSpike{Flat, {{30, 1.0f}}}; // 0.6 m at 1 %
    struct Case
    {
        const char* name;
        double fallback;
        bool seabed;
        Ping ping;
        std::vector<int> want;
    };
    const Case cases[] = {
        // Without 676 and without a fallback the ping is not profile-tested.
        {"no errors, no fallback", 0.0, true, spike, {}},
        {"no errors, no fallback, grid profile", 0.0, false, flatSpike, {}},
        // The fallback of 1 % of the depth (0.54 m there) finds the spike.
        {"no errors, fallback", 0.01, true, spike, {30}},
        {"no errors, fallback, grid profile", 0.01, false, flatSpike, {30}},
        // A fallback of 2 % (1.08 m) passes it.
        {"no errors, loose fallback", 0.02, true, spike, {}},
        // Where the errors are there they rule and the fallback is not used.
        {"errors, fallback", 0.01, true, spikeBigErr, {}},
        {"errors, no fallback", 0.0, true, spikeErr, {30}},
        // A beam whose error is 0 takes the fallback.
        {"zero errors, fallback", 0.01, true, spikeZeroErr, {30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttributeList s = {{ATTR_SMARTTOLERANCEUNIT, 2},   {"VertTolRelData", 3.0},
                           {"VertTolUnrelData", 3.0},      {ATTR_SMARTFALLBACKRATIO, c.fallback},
                           {ATTR_SMARTSKIPEMPTYBINS, true}, {ATTR_SMARTSLOPEDNADIR, true}};
        if (c.seabed) s.push_back({ATTR_SMARTBINBEAMS, 10});
        EXPECT_EQ(Flagged(s, c.ping), c.want);
    }
    // Without the fallback a zero error is a tolerance of 0: the spike fails with it.
    const std::vector<int> zero = Flagged({{ATTR_SMARTTOLERANCEUNIT, 2}, {ATTR_SMARTBINBEAMS, 10}}, spikeZeroErr);
    EXPECT_NE(std::find(zero.begin(), zero.end(), 30), zero.end());
    // A fraction of the depth: 1 % of 54 m catches the 1 m spike, 2 % does not.
    for (const auto& [fraction, want] : {std::pair{0.01, std::vector<int>{30}}, {0.02, {}}}) {
        EXPECT_EQ(Flagged({{ATTR_SMARTTOLERANCEUNIT, 1}, {"VertTolRelData", fraction}, {"VertTolUnrelData", fraction},
                           {ATTR_SMARTBINBEAMS, 10}},
                          spike),
                  want)
            << fraction;
    }
}

TEST(SmartSeabed, DegeneratePingsFailNothingWithoutCause)
{
    auto run = [](const Floats& x, const Floats& z, AttributeList s, double off = 0.0) {
        s.push_back({"SmartFilter", true});
        CDataBlock b = Block(x, z);
        b.SetDataValue(212, off, 0, CDataBlock::kByUseAs);
        return With(Filtered(s, b), kSmart);
    };
    const AttributeList beams = {{ATTR_SMARTBINBEAMS, 8}, {ATTR_SMARTSLOPETOLERANCE, true},
                                 {ATTR_SMARTTOLERANCEUNIT, 1}};
    const AttributeList ratio = {{ATTR_SMARTBINDEPTHRATIO, 0.05}, {ATTR_SMARTTOLERANCEUNIT, 1}};
    for (const AttributeList& s : {beams, ratio}) {
        // One beam, or two: no bin of 3 beams, nothing to compare with.
        EXPECT_EQ(run({0.0f}, {-50.0f}, s), std::vector<int>{});
        EXPECT_EQ(run({-1.0f, 1.0f}, {-50.0f, -40.0f}, s), std::vector<int>{});
        // Every beam at one x: one bin, one point at the median depth; the odd one fails.
        EXPECT_EQ(run(Floats(5, 0.0f), {-50.0f, -50.0f, -50.0f, -50.0f, -45.0f}, s), std::vector<int>{4});
        // A mean depth of 0 (z = 0, seen 1 m below the transducer): the width test fails
        // the beams off nadir (half-width 0); those at nadir lie on the profile of depth 0,
        // and no bin width or tolerance turns into NaN.
        EXPECT_EQ(run({-1.0f, 0.0f, 0.0f, 0.0f, 1.0f}, Floats(5, 0.0f), s, -1.0), (std::vector<int>{0, 4}));
    }
    // A beam without a finite position fails; the others are measured without it.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Floats x = Ramp(21, -10.0f), z(21, -50.0f);
    x[3] = nan;
    z[15] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(run(x, z, beams), (std::vector<int>{3, 15}));
}

TEST(SmartSeabed, SettingsAreReadByNameAndOffByDefault)
{
    MultibeamSettings s;
    s.Read(filtertest::Attributes({}));
    EXPECT_EQ(std::tuple(s.smartMedianProfile, s.smartBinBeams, s.smartBinDepthRatio, s.smartSlopeTolerance,
                         s.smartFallbackRatio),
              std::tuple(false, 0, 0.0, false, 0.0));
    s.Read(filtertest::Attributes({{ATTR_SMARTMEDIANPROFILE, true},
                                   {ATTR_SMARTBINBEAMS, 12},
                                   {ATTR_SMARTBINDEPTHRATIO, 0.1},
                                   {ATTR_SMARTSLOPETOLERANCE, true},
                                   {ATTR_SMARTFALLBACKRATIO, 0.02}}));
    EXPECT_EQ(std::tuple(s.smartMedianProfile, s.smartBinBeams, s.smartBinDepthRatio, s.smartSlopeTolerance,
                         s.smartFallbackRatio),
              std::tuple(true, 12, 0.1, true, 0.02));
}
