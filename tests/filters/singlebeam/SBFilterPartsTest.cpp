// The single-beam filter's parts: the depth window, the gate and the spike test.
#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SBGateFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SBSpikeFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include "../FilterHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using sb_test::MakeSounding;

// Whether the filter rejects a sounding of the depth; one it accepts leaves unchanged.
template <typename Part>
bool Rejects(Part& filter, double depth)
{
    CDataBlock block = sb_test::MakeDepth(depth);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    if (sb_test::IsInvalidated(block)) return true;
    EXPECT_TRUE(sb_test::IsUntouched(block)) << depth;
    return false;
}

SBSpikeFilter Spike(double noise, double gammaDegrees)
{
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_SPIKENOISE, noise}, {ATTR_SBF_SPIKEGAMMA, gammaDegrees}});
    SBSpikeFilter filter;
    filter.SetAttributes(&map);
    return filter;
}

} // namespace

TEST(SBDepthFilter, WindowIsInclusiveSwappedLimitsAreOrderedEqualLimitsSwitchItOffAndMissingDepthsPass)
{
    const struct { double minimum, maximum, depth; bool rejected; } cases[] = {
        {10, 50, 10, false},   {10, 50, 50, false}, {10, 50, 9.99, true},  {10, 50, 50.01, true},
        {50, 10, 10, false},   {50, 10, 50.01, true}, {50, 10, 9.99, true}, {20, 20, 5, false},
    };
    for (const auto& c : cases) {
        CAttributeMap map = filtertest::Attributes({{ATTR_SBF_DPTMIN, c.minimum}, {ATTR_SBF_DPTMAX, c.maximum}});
        SBDepthFilter filter;
        filter.SetAttributes(&map);
        EXPECT_EQ(Rejects(filter, c.depth), c.rejected) << c.minimum << " " << c.maximum << " " << c.depth;
        // An absent limit keeps its value.
        CAttributeMap onlyMax = filtertest::Attributes({{ATTR_SBF_DPTMAX, 60.0}});
        filter.SetAttributes(&onlyMax);
        EXPECT_EQ(filter.GetMinimum(), std::min(c.minimum, c.maximum));
        EXPECT_FALSE(Rejects(filter, 55.0));
    }
    SBDepthFilter fresh;
    EXPECT_FALSE(Rejects(fresh, 5.0));
    // A missing depth or an invalid one passes unchanged.
    CDataBlock empty;
    EXPECT_TRUE(fresh.Process(empty, COMPUPDATE_FULL));
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_DPTMIN, 10.0}, {ATTR_SBF_DPTMAX, 50.0}});
    fresh.SetAttributes(&map);
    CDataBlock block = sb_test::MakeDepth(100.0);
    block.SetDataStatus(201, kvs::kStatusInvalid, CDataBlock::kByUseAs);
    EXPECT_TRUE(fresh.Process(block, COMPUPDATE_FULL));
    EXPECT_EQ(std::tuple(sb_test::StatusOf(block, 201), sb_test::StatusOf(block, 202)),
              std::tuple(kvs::kStatusInvalid, 0));
}

TEST(SBGateFilter, WidthDoublesAfterARejectSnapsBackOnAcceptAndRestartsOnReread)
{
    const struct { double depth; bool rejected; double width, centre; } steps[] = {
        {20.0, false, 2.0, 20.0}, // configured width -1: derived from the first depth
        {21.0, false, 2.0, 21.0}, // on the edge of 20 +- 1
        {20.0, false, 2.0, 20.0}, {21.5, true, 4.0, 20.0}, {30.0, true, 8.0, 20.0}, {21.5, false, 2.0, 21.5},
        {20.5, false, 2.0, 20.5}, // on the lower edge
    };
    SBGateFilter gate;
    for (const auto& s : steps) {
        const bool rejected = Rejects(gate, s.depth);
        EXPECT_EQ(std::tuple(rejected, gate.GetWidth(), gate.GetCentre()), std::tuple(s.rejected, s.width, s.centre))
            << s.depth;
    }
    // A configured width restarts on reread; invalid depths neither start nor move the gate.
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_GATEVAL, 1.0}});
    gate.SetAttributes(&map);
    CDataBlock bad = sb_test::MakeDepth(500.0);
    bad.SetDataStatus(201, kvs::kStatusEmpty, CDataBlock::kByUseAs);
    EXPECT_TRUE(gate.Process(bad, COMPUPDATE_FULL));
    EXPECT_FALSE(gate.IsStarted());
    EXPECT_FALSE(Rejects(gate, 100.0)); // the first depth is always accepted
    EXPECT_TRUE(Rejects(gate, 101.0));
    EXPECT_TRUE(gate.Process(bad, COMPUPDATE_FULL));
    EXPECT_EQ(std::pair(gate.GetCentre(), gate.GetWidth()), std::pair(100.0, 2.0)); // doubled by the reject only
    gate.SetAttributes(&map);
    EXPECT_FALSE(gate.IsStarted());
    EXPECT_FALSE(Rejects(gate, 101.0));
    EXPECT_EQ(std::pair(gate.GetCentre(), gate.GetWidth()), std::pair(101.0, 1.0));
    CDataBlock none;
    EXPECT_TRUE(gate.Process(none, COMPUPDATE_FULL));
}

TEST(SBSpikeFilter, MiddlePointIsASpikeWhenOffTheLineBeyondNoiseAndWithinGammaAndTwoBlocksAreHeld)
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
            EXPECT_EQ(filter.Process(out, COMPUPDATE_FULL), i >= 1); // the first goes out untested
        }
        EXPECT_EQ(out.GetTime(), 1.0);
        EXPECT_TRUE(c.spike ? sb_test::IsInvalidated(out) : sb_test::IsUntouched(out));
    }

    // Every block that comes in goes out once, the untested ones counted: the first and
    // the last of a history, one displaced by a time reversal, and those without a valid
    // position or depth (passed on at once, ahead of the one held back).
    enum Spoil { kNone, kNoX, kRejectedDepth, kEmpty };
    struct In { double time, depth = 10.0; Spoil spoil = kNone; }; // x = time
    // The times passed on by Process, and of the remainder (-1: none).
    const struct { const char* name; std::vector<In> in; std::vector<double> out; double remainder; long long untested; }
        histories[] = {
            {"output lags by one block", {{0}, {1}, {2}, {3}, {4}}, {0, 1, 2, 3}, 4, 2},
            {"no valid position or depth: on at once, history unchanged",
             {{0, 10, kNoX}, {0}, {1}, {2, 10, kRejectedDepth}, {2.5, 10, kEmpty}, {3}}, {0, 0, 2, 2.5, 1}, 3, 5},
            {"earlier than the newest held block: it takes its place", {{10}, {11}, {12}, {11.5}, {13}}, {10, 11, 12, 11.5}, 13, 3},
            {"earlier than both: the history starts again", {{10}, {11}, {12}, {1}, {2}, {3}}, {10, 11, 12, 1, 2}, 3, 4},
            {"earlier than a one-block history", {{10}, {1}, {2}}, {10, 1}, 2, 3},
            {"equal times reset nothing", {{1}, {2}, {3}, {3}}, {1, 2, 3}, 3, 2},
            {"equal to the older held block: only the newest is displaced", {{10}, {11}, {12}, {11}, {13}}, {10, 11, 12, 11}, 13, 3},
            {"a later block without position resets nothing", {{10}, {11}, {12}, {11.5, 10, kNoX}}, {10, 11, 11.5}, 12, 3},
            {"the last block is never spike-tested", {{10}, {11}, {12}, {13, 30}}, {10, 11, 12}, 13, 2},
            {"one block", {{1}}, {}, 1, 1},
            {"nothing", {}, {}, -1, 0},
        };
    for (const auto& c : histories) {
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
                EXPECT_FALSE(sb_test::IsInvalidated(block)); // nothing here is a spike
            }
        }
        EXPECT_EQ(out, c.out);
        CDataBlock rest;
        ASSERT_EQ(filter.GetRemainder(rest), c.remainder >= 0);
        EXPECT_EQ(out.size() + (c.remainder >= 0 ? 1 : 0), c.in.size()); // nothing dropped
        if (c.remainder >= 0) {
            EXPECT_EQ(rest.GetTime(), c.remainder);
            EXPECT_TRUE(sb_test::IsUntouched(rest));
            EXPECT_FALSE(filter.GetRemainder(rest));
        }
        EXPECT_EQ(filter.GetUntestedCount(), c.untested);
    }
}
