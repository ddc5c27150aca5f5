#include <KvsDataBlocks/filters/singlebeam/SBGateFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

bool Rejects(SBGateFilter& filter, double depth)
{
    CDataBlock block = sb_test::MakeDepth(depth);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    return sb_test::IsInvalidated(block);
}

} // namespace

TEST(SBGateFilter, WidthDoublesAfterARejectAndSnapsBackOnAccept)
{
    const struct { double depth; bool rejected; double width, centre; } steps[] = {
        {20.0, false, 2.0, 20.0}, // configured width -1: derived from the first depth
        {21.0, false, 2.0, 21.0}, // on the edge of 20 +- 1
        {20.0, false, 2.0, 20.0}, {21.5, true, 4.0, 20.0}, {30.0, true, 8.0, 20.0}, {21.5, false, 2.0, 21.5},
        {20.5, false, 2.0, 20.5}, // on the lower edge
    };
    SBGateFilter gate;
    for (const auto& s : steps) {
        EXPECT_EQ(Rejects(gate, s.depth), s.rejected) << s.depth;
        EXPECT_EQ(gate.GetWidth(), s.width) << s.depth;
        EXPECT_EQ(gate.GetCentre(), s.centre) << s.depth;
    }
}

TEST(SBGateFilter, ConfiguredWidthRestartsOnRereadAndInvalidDepthsNeitherStartNorMoveTheGate)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_SBF_GATEVAL, 1.0);
    SBGateFilter gate;
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
    EXPECT_FALSE(gate.Process(none, COMPUPDATE_FULL));
}
