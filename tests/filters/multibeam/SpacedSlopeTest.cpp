// The slope filter's variant for dense swaths (SlopeBaseRatio).
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include "PingBlock.h"

#include "../AttributeList.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pingtest;

namespace {

// 1601 beams 5 cm apart at 30 m with +-2 cm of alternating noise; beam 1200 4 m too deep
// and, when asked, the nadir beam 800 too.
CDataBlock DenseSwath(bool nadirSpike = false)
{
    const int n = 1601;
    CDataBlock b = MakePingBlock(n);
    std::vector<float> x(n), z(n);
    for (int i = 0; i < n; ++i) {
        x[i] = static_cast<float>(0.05 * (i - 800));
        z[i] = static_cast<float>(-30.0 + (i % 2 ? 0.02 : -0.02));
    }
    z[1200] -= 4.0f;
    if (nadirSpike) z[800] -= 4.0f;
    SetFloats(b, 603, x);
    SetFloats(b, 605, z);
    return b;
}

std::vector<int> Slope(double baseRatio, bool nadirSpike = false)
{
    CAttributeMap a = filtertest::Attributes({{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 30.0},
                                              {ATTR_SLOPEBASERATIO, baseRatio}});
    MultibeamFilter f(&a);
    CDataBlock b = DenseSwath(nadirSpike);
    EXPECT_TRUE(f.Process(b, static_cast<COMPUPDATEMODE>(0)));
    std::vector<int> out;
    const auto flags = Flags(b);
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & MultibeamFilter::kFlagSlope) out.push_back(static_cast<int>(i));
    return out;
}

} // namespace

TEST(SpacedSlope, DenseSwathIsJudgedOverABaseNotOnNoise)
{
    // Neighbours: 4 cm of noise over 5 cm is 39 degrees, so every other beam fails.
    EXPECT_GT(Slope(0.0).size(), 700u);
    // Over a base of 2 % of the depth (0.6 m) the noise makes 4 degrees: only the spike
    // fails, and the beams after it are measured past it.
    EXPECT_EQ(Slope(0.02), std::vector<int>{1200});
    // A spike at the nadir beam is not taken as the start of the chains: it fails, its
    // neighbours do not.
    EXPECT_EQ(Slope(0.02, true), (std::vector<int>{800, 1200}));
}
