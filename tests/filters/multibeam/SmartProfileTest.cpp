// The smart filter's variants (SmartSlopedNadir, SmartSkipEmptyBins, SmartToleranceUnit),
// each on the case that tells it from the specified filter.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include "PingBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace pingtest;

namespace {

constexpr COMPUPDATEMODE kFull = static_cast<COMPUPDATEMODE>(0);

// Beams at x = -100 .. 100 (one a metre) over the seabed z = -20 + slope * x.
CDataBlock Swath(double slope)
{
    const int n = 201;
    CDataBlock b = MakePingBlock(n);
    std::vector<float> x(n), z(n);
    for (int i = 0; i < n; ++i) {
        x[i] = static_cast<float>(i - 100);
        z[i] = static_cast<float>(-20.0 + slope * x[i]);
    }
    SetFloats(b, 603, x);
    SetFloats(b, 605, z);
    return b;
}

std::vector<int> Smart(CDataBlock b, CAttributeMap& a)
{
    MultibeamFilter f(&a);
    EXPECT_TRUE(f.Process(b, kFull));
    std::vector<int> out;
    const auto flags = Flags(b);
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & MultibeamFilter::kFlagSmart) out.push_back(static_cast<int>(i) - 100); // as x
    return out;
}

CAttributeMap SmartWith(std::initializer_list<const char*> variants)
{
    CAttributeMap a;
    a.SetAttribValue("SmartFilter", true);
    for (const char* v : variants) a.SetAttribValue(v, true);
    return a;
}

} // namespace

TEST(SmartProfile, SlopedNadirFollowsASlopingSeabed)
{
    // 3 % across: the flat nadir level (the mean of the bins at x -16 and 12) is wrong by
    // up to 0.3 m inside the zone (x -8 .. 11), far beyond 0.07 m, and so for the beams
    // that interpolate towards it (x -10 .. 13); the straight line is right everywhere.
    CAttributeMap flat = SmartWith({ATTR_SMARTSKIPEMPTYBINS});
    const std::vector<int> flagged = Smart(Swath(0.03), flat);
    EXPECT_GT(flagged.size(), 10u);
    for (int x : flagged) EXPECT_TRUE(x >= -10 && x < 14) << x;
    CAttributeMap sloped = SmartWith({ATTR_SMARTSKIPEMPTYBINS, ATTR_SMARTSLOPEDNADIR});
    EXPECT_EQ(Smart(Swath(0.03), sloped), std::vector<int>{});
}

TEST(SmartProfile, EmptyBinsAreLeftOutOfTheProfile)
{
    // Specified: the empty port margin bin counts as depth 0, failing the two outermost
    // beams; left out, a flat seabed passes whole.
    CAttributeMap spec = SmartWith({});
    EXPECT_EQ(Smart(Swath(0.0), spec), (std::vector<int>{-100, -99}));
    CAttributeMap skip = SmartWith({ATTR_SMARTSKIPEMPTYBINS});
    EXPECT_EQ(Smart(Swath(0.0), skip), std::vector<int>{});

    // Beams 40 .. 43 rejected leave the bin of x 40 .. 44 empty: its neighbours interpolate
    // across it instead of towards 0.
    for (bool skipEmpty : {false, true}) {
        CAttributeMap a = SmartWith({});
        a.SetAttribValue(ATTR_SMARTSKIPEMPTYBINS, skipEmpty);
        a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
        a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "141-144");
        const std::vector<int> flagged = Smart(Swath(0.0), a);
        const bool nearGap = std::find(flagged.begin(), flagged.end(), 39) != flagged.end() ||
                             std::find(flagged.begin(), flagged.end(), 45) != flagged.end();
        EXPECT_EQ(nearGap, !skipEmpty);
    }

    // An empty bin beside the nadir zone stops the specified filter; left out, the zone
    // takes its level from the next bin out, and a spike inside it is found.
    CAttributeMap stop = SmartWith({});
    stop.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    stop.SetAttribValue(ATTR_FILTERREJECTBEAMS, "85-88");
    CDataBlock spiked = Swath(0.0);
    auto z = ReadArray<float>(spiked, 605);
    z[100] = -21.0f;
    SetFloats(spiked, 605, z);
    EXPECT_EQ(Smart(spiked, stop), std::vector<int>{});
    CAttributeMap on = stop;
    on.SetAttribValue(ATTR_SMARTSKIPEMPTYBINS, true);
    EXPECT_EQ(Smart(spiked, on), std::vector<int>{0});
}

TEST(SmartProfile, TolerancesFollowTheDepthOrEachBeamsEstimatedError)
{
    // Noise that grows outwards: estimated errors 0.05 m at nadir to 0.25 m at the edges.
    CDataBlock b = Swath(0.0);
    std::vector<float> err(201);
    for (int i = 0; i < 201; ++i) err[i] = static_cast<float>(0.05 + 0.2 * std::fabs(i - 100) / 100.0);
    SetFloats(b, 676, err);
    auto z = ReadArray<float>(b, 605);
    z[100 + 2] -= 0.3f;  // 6 x its error of 0.054 m
    z[100 + 80] -= 0.5f; // 2.4 x its error of 0.21 m
    SetFloats(b, 605, z);

    struct Case
    {
        int unit;
        double tolerance;
        std::vector<int> flagged;
    };
    const Case cases[] = {
        {0, 0.4, {80}},      // metres: misses the nadir spike, fails the outer beam within its noise
        {1, 0.01, {2, 80}},  // 1 % of 20 m: 0.2 m everywhere
        {2, 4.0, {2}},       // 4 x the beam's own error: the outer beam is within its noise
    };
    for (const Case& c : cases) {
        CAttributeMap a = SmartWith({ATTR_SMARTSKIPEMPTYBINS, ATTR_SMARTSLOPEDNADIR});
        a.SetAttribValue(ATTR_SMARTTOLERANCEUNIT, c.unit);
        a.SetAttribValue("VertTolRelData", c.tolerance);
        a.SetAttribValue("VertTolUnrelData", c.tolerance);
        EXPECT_EQ(Smart(b, a), c.flagged) << "unit " << c.unit;
    }

    // Measured against errors the ping does not carry, nothing is tested.
    CAttributeMap a = SmartWith({});
    a.SetAttribValue(ATTR_SMARTTOLERANCEUNIT, 2);
    CDataBlock bare = MakePingBlock(201, 0.0, {676});
    SetFloats(bare, 603, ReadArray<float>(b, 603));
    SetFloats(bare, 605, z);
    EXPECT_EQ(Smart(bare, a), std::vector<int>{});
}

TEST(SmartProfile, AbsurdBinCountsLeaveOnlyTheWidthTest)
{
    // Billions of bins across the swath would need memory beyond reason: the profile is
    // skipped, the ping still filtered.
    for (bool variant : {false, true}) {
        CAttributeMap a = SmartWith({});
        a.SetAttribValue(ATTR_SMARTSKIPEMPTYBINS, variant);
        a.SetAttribValue("NumberAveragingClips", 2147483647);
        CDataBlock b = Swath(0.0);
        auto x = ReadArray<float>(b, 603);
        x[200] = 150.0f; // beyond the analysed half-width of 100 m
        SetFloats(b, 603, x);
        EXPECT_EQ(Smart(b, a), std::vector<int>{100});
    }
}
