#include <KvsDataBlocks/filters/singlebeam/SBSpikeFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include <gtest/gtest.h>

namespace {

using sb_test::MakeSounding;

SBSpikeFilter Spike(double noise, double gammaDegrees)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_SBF_SPIKENOISE, noise);
    map.SetAttribValue(ATTR_SBF_SPIKEGAMMA, gammaDegrees);
    SBSpikeFilter filter;
    filter.SetAttributes(&map);
    return filter;
}

// Runs P0, P1, P2 (x along the track, depth z) and returns the output of the third.
CDataBlock Middle(SBSpikeFilter& filter, const double (&z)[3], const double (&x)[3] = {0.0, 1.0, 2.0})
{
    CDataBlock out;
    for (int i = 0; i < 3; ++i) {
        out = MakeSounding(i, x[i], 0.0, z[i]);
        EXPECT_EQ(filter.Process(out, COMPUPDATE_FULL), i == 2);
    }
    return out;
}

} // namespace

TEST(SBSpikeFilter, OutputLagsInputByOneBlock)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    for (int i = 0; i < 5; ++i) {
        CDataBlock block = MakeSounding(i, i, 0.0, 10.0 + i);
        const bool out = filter.Process(block, COMPUPDATE_FULL);
        EXPECT_EQ(out, i >= 2) << i;
        if (out) {
            EXPECT_EQ(block.GetTime(), i - 1);
            EXPECT_EQ(sb_test::ValueOf(block, 201), 10.0 + (i - 1));
        }
    }
    EXPECT_EQ(filter.GetFillCount(), 1);
}

TEST(SBSpikeFilter, SharpSpikeOffTheTrackIsInvalidatedOnlyWithinGamma)
{
    // The middle point lies 5 off the line; the track turns at it by about 22.6 degrees.
    SBSpikeFilter sharp = Spike(0.5, 30.0);
    EXPECT_TRUE(sb_test::IsInvalidated(Middle(sharp, {10.0, 15.0, 10.0})));

    SBSpikeFilter narrow = Spike(0.5, 20.0);
    EXPECT_TRUE(sb_test::IsUntouched(Middle(narrow, {10.0, 15.0, 10.0})));

    SBSpikeFilter noisy = Spike(5.0, 30.0); // the offset must exceed the noise strictly
    EXPECT_TRUE(sb_test::IsUntouched(Middle(noisy, {10.0, 15.0, 10.0})));

    SBSpikeFilter off = Spike(0.5, 0.0);
    EXPECT_TRUE(sb_test::IsUntouched(Middle(off, {10.0, 15.0, 10.0})));
    EXPECT_EQ(off.GetGamma(), 0.0);
}

TEST(SBSpikeFilter, CollinearPointsAreNeverRejected)
{
    for (double gamma : {1.0, 90.0, 180.0, 360.0}) {
        SBSpikeFilter straight = Spike(0.0, gamma);
        EXPECT_TRUE(sb_test::IsUntouched(Middle(straight, {10.0, 11.0, 12.0}))) << gamma;
        SBSpikeFilter folded = Spike(0.0, gamma); // the track doubles back on itself
        EXPECT_TRUE(sb_test::IsUntouched(Middle(folded, {10.0, 12.0, 11.0}, {0.0, 2.0, 1.0}))) << gamma;
        SBSpikeFilter still = Spike(0.0, gamma); // coincident points
        EXPECT_TRUE(sb_test::IsUntouched(Middle(still, {10.0, 10.0, 10.0}, {0.0, 0.0, 0.0}))) << gamma;
    }
}

TEST(SBSpikeFilter, BlocksWithoutValidPositionOrDepthAreConsumed)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    CDataBlock noX = MakeSounding(0, 0, 0, 10);
    noX.SetDataStatus(505, kvs::kStatusInvalid, CDataBlock::kByUseAs);
    EXPECT_FALSE(filter.Process(noX, COMPUPDATE_FULL));
    EXPECT_EQ(filter.GetFillCount(), -1);

    for (int i = 0; i < 2; ++i) {
        CDataBlock block = MakeSounding(i, i, 0, 10);
        EXPECT_FALSE(filter.Process(block, COMPUPDATE_FULL));
    }
    CDataBlock rejected = MakeSounding(2, 2, 0, 10);
    rejected.SetDataStatus(201, kvs::kStatusRejected, CDataBlock::kByUseAs);
    EXPECT_FALSE(filter.Process(rejected, COMPUPDATE_FULL));
    CDataBlock empty;
    empty.SetTime(2.5);
    EXPECT_FALSE(filter.Process(empty, COMPUPDATE_FULL));

    CDataBlock next = MakeSounding(3, 3, 0, 10); // the history is unchanged
    ASSERT_TRUE(filter.Process(next, COMPUPDATE_FULL));
    EXPECT_EQ(next.GetTime(), 1.0);
}

TEST(SBSpikeFilter, EarlierBlocksRestartTheHistory)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    for (int t : {10, 11, 12}) {
        CDataBlock block = MakeSounding(t, t, 0, 10);
        filter.Process(block, COMPUPDATE_FULL);
    }
    // Held: 11 (passed on) and 12. A block at 11.5 replaces 12 without output.
    CDataBlock between = MakeSounding(11.5, 11.5, 0, 10);
    EXPECT_FALSE(filter.Process(between, COMPUPDATE_FULL));
    CDataBlock next = MakeSounding(13, 13, 0, 10);
    ASSERT_TRUE(filter.Process(next, COMPUPDATE_FULL));
    EXPECT_EQ(next.GetTime(), 11.5);

    // A block earlier than both held blocks empties the history: two more warm-up calls.
    CDataBlock back = MakeSounding(1, 1, 0, 10);
    EXPECT_FALSE(filter.Process(back, COMPUPDATE_FULL));
    EXPECT_EQ(filter.GetFillCount(), 0);
    CDataBlock second = MakeSounding(2, 2, 0, 10);
    EXPECT_FALSE(filter.Process(second, COMPUPDATE_FULL));
    CDataBlock third = MakeSounding(3, 3, 0, 10);
    ASSERT_TRUE(filter.Process(third, COMPUPDATE_FULL));
    EXPECT_EQ(third.GetTime(), 2.0);

    // Equal times reset nothing.
    CDataBlock same = MakeSounding(3, 4, 0, 10);
    ASSERT_TRUE(filter.Process(same, COMPUPDATE_FULL));
    EXPECT_EQ(same.GetTime(), 3.0);
}

TEST(SBSpikeFilter, RemainderDeliversTheNewestHeldBlockOnce)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    CDataBlock out;
    EXPECT_FALSE(filter.GetRemainder(out));

    CDataBlock only = MakeSounding(1, 0, 0, 10);
    filter.Process(only, COMPUPDATE_FULL);
    ASSERT_TRUE(filter.GetRemainder(out));
    EXPECT_EQ(out.GetTime(), 1.0);
    EXPECT_FALSE(filter.GetRemainder(out));

    // The last block is not spike-tested, even when it would look like a spike.
    for (int i = 0; i < 4; ++i) {
        CDataBlock block = MakeSounding(10 + i, i, 0, i == 3 ? 30.0 : 10.0);
        filter.Process(block, COMPUPDATE_FULL);
    }
    ASSERT_TRUE(filter.GetRemainder(out));
    EXPECT_EQ(out.GetTime(), 13.0);
    EXPECT_TRUE(sb_test::IsUntouched(out));
    EXPECT_FALSE(filter.GetRemainder(out));
    EXPECT_EQ(filter.GetFillCount(), -1);
}

TEST(SBSpikeFilter, RemainderDoesNotRepeatABlockAlreadyPassedOn)
{
    SBSpikeFilter filter = Spike(0.5, 30.0);
    for (int t : {10, 11, 12}) {
        CDataBlock block = MakeSounding(t, t, 0, 10);
        filter.Process(block, COMPUPDATE_FULL);
    }
    // 11.5 replaces the newest held block but has no valid position: only 11 is left.
    CDataBlock between = MakeSounding(11.5, 11.5, 0, 10);
    between.SetDataStatus(506, kvs::kStatusInvalid, CDataBlock::kByUseAs);
    EXPECT_FALSE(filter.Process(between, COMPUPDATE_FULL));
    CDataBlock out;
    EXPECT_FALSE(filter.GetRemainder(out));
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
