#include <KvsDataBlocks/filters/singlebeam/SBSpikeFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include "../AttributeList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sb_test::MakeSounding;

SBSpikeFilter Spike(double noise, double gammaDegrees)
{
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_SPIKENOISE, noise}, {ATTR_SBF_SPIKEGAMMA, gammaDegrees}});
    SBSpikeFilter filter;
    filter.SetAttributes(&map);
    return filter;
}

} // namespace

TEST(SBSpikeFilter, MiddlePointIsASpikeWhenOffTheLineBeyondNoiseAndWithinGamma)
{
    // The peak lies 5 off the line; the track turns at it by about 22.6 degrees.
    const struct { const char* name; double noise, gamma, z[3], x[3]; bool spike; } cases[] = {
        {"sharp peak", 0.5, 30.0, {10, 15, 10}, {0, 1, 2}, true},
        {"turn wider than gamma", 0.5, 20.0, {10, 15, 10}, {0, 1, 2}, false},
        {"offset not above the noise", 5.0, 30.0, {10, 15, 10}, {0, 1, 2}, false},
        {"gamma 0: test off", 0.5, 0.0, {10, 15, 10}, {0, 1, 2}, false},
        {"straight", 0.0, 360.0, {10, 11, 12}, {0, 1, 2}, false},
        {"folded back on itself", 0.0, 360.0, {10, 12, 11}, {0, 2, 1}, false},
        {"coincident points", 0.0, 360.0, {10, 10, 10}, {0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SBSpikeFilter filter = Spike(c.noise, c.gamma);
        CDataBlock out;
        for (int i = 0; i < 3; ++i) {
            out = MakeSounding(i, c.x[i], 0.0, c.z[i]);
            EXPECT_EQ(filter.Process(out, COMPUPDATE_FULL), i == 2);
        }
        EXPECT_EQ(out.GetTime(), 1.0);
        EXPECT_TRUE(c.spike ? sb_test::IsInvalidated(out) : sb_test::IsUntouched(out));
    }
}

TEST(SBSpikeFilter, HoldsTwoBlocksPassesOnTheOlderAndDrainsTheNewestOnce)
{
    enum Spoil { kNone, kNoX, kRejectedDepth, kEmpty };
    struct In { double time, depth = 10.0; Spoil spoil = kNone; }; // x = time
    // The times passed on by Process, and of the remainder (-1: none).
    const struct { const char* name; std::vector<In> in; std::vector<double> out; double remainder; } cases[] = {
        {"output lags by one block", {{0}, {1}, {2}, {3}, {4}}, {1, 2, 3}, 4},
        {"no valid position or depth: consumed, history unchanged",
         {{0, 10, kNoX}, {0}, {1}, {2, 10, kRejectedDepth}, {2.5, 10, kEmpty}, {3}}, {1}, 3},
        {"earlier than the newest held block: it replaces it", {{10}, {11}, {12}, {11.5}, {13}}, {11, 11.5}, 13},
        {"earlier than both: the history starts again", {{10}, {11}, {12}, {1}, {2}, {3}}, {11, 2}, 3},
        {"equal times reset nothing", {{1}, {2}, {3}, {3}}, {2, 3}, 3},
        {"equal to the older held block: only the newest is replaced", {{10}, {11}, {12}, {11}, {13}}, {11, 11}, 13},
        {"the replacing block has no position: only the passed one is left",
         {{10}, {11}, {12}, {11.5, 10, kNoX}}, {11}, -1},
        {"the last block is never spike-tested", {{10}, {11}, {12}, {13, 30}}, {11, 12}, 13},
        {"one block", {{1}}, {}, 1},
        {"nothing", {}, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SBSpikeFilter filter = Spike(0.5, 30.0);
        std::vector<double> out;
        for (const In& in : c.in) {
            CDataBlock block = MakeSounding(in.time, in.time, 0, in.depth);
            if (in.spoil == kNoX) block.SetDataStatus(505, kvs::kStatusInvalid, CDataBlock::kByUseAs);
            if (in.spoil == kRejectedDepth) block.SetDataStatus(201, kvs::kStatusRejected, CDataBlock::kByUseAs);
            if (in.spoil == kEmpty) {
                block = CDataBlock();
                block.SetTime(in.time);
            }
            if (filter.Process(block, COMPUPDATE_FULL)) {
                out.push_back(block.GetTime());
                EXPECT_TRUE(sb_test::IsUntouched(block));
            }
        }
        EXPECT_EQ(out, c.out);
        CDataBlock rest;
        ASSERT_EQ(filter.GetRemainder(rest), c.remainder >= 0);
        if (c.remainder >= 0) {
            EXPECT_EQ(rest.GetTime(), c.remainder);
            EXPECT_TRUE(sb_test::IsUntouched(rest));
            EXPECT_FALSE(filter.GetRemainder(rest));
        }
    }
}

TEST(SBSpikeFilter, RereadingSettingsKeepsTheHistory)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    for (int i = 0; i < 2; ++i) {
        CDataBlock block = MakeSounding(i, i, 0, i == 1 ? 15.0 : 10.0);
        filter.Process(block, COMPUPDATE_FULL);
    }
    CAttributeMap map;
    map.SetAttribValue(ATTR_SBF_SPIKEGAMMA, 30.0);
    filter.SetAttributes(&map); // the noise falls back to 0
    EXPECT_EQ(filter.GetNoise(), 0.0);
    CDataBlock block = MakeSounding(2, 2, 0, 10.0);
    ASSERT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    EXPECT_TRUE(sb_test::IsInvalidated(block));
}
