// The slope filter's variant for dense swaths (SlopeBaseRatio).
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>

#include "PingBlock.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pingtest;

namespace {

// 1601 beams 5 cm apart at 30 m with +-2 cm of alternating noise; beam 1200 4 m too deep
// and, when asked, the nadir beam 800 too: the beams the slope filter flags.
std::vector<int> Slope(double baseRatio, bool nadirSpike = false)
{
    Floats x(1601), z(1601);
    for (int i = 0; i < 1601; ++i) {
        x[i] = static_cast<float>(0.05 * (i - 800));
        z[i] = static_cast<float>(-30.0 + (i % 2 ? 0.02 : -0.02));
    }
    z[1200] -= 4.0f;
    if (nadirSpike) z[800] -= 4.0f;
    const CDataBlock b = Filtered(
        {{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 30.0}, {ATTR_SLOPEBASERATIO, baseRatio}}, Block(x, z));
    return With(b, MultibeamFilter::kFlagSlope);
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
