#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include <gtest/gtest.h>

namespace {

SBDepthFilter Window(double minimum, double maximum)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_SBF_DPTMIN, minimum);
    map.SetAttribValue(ATTR_SBF_DPTMAX, maximum);
    SBDepthFilter filter;
    filter.SetAttributes(&map);
    return filter;
}

bool Rejects(SBDepthFilter& filter, double depth)
{
    CDataBlock block = sb_test::MakeDepth(depth);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    if (sb_test::IsInvalidated(block)) return true;
    EXPECT_TRUE(sb_test::IsUntouched(block)) << depth;
    return false;
}

} // namespace

TEST(SBDepthFilter, WindowIsInclusiveAtBothEnds)
{
    SBDepthFilter filter = Window(10.0, 50.0);
    EXPECT_FALSE(Rejects(filter, 10.0));
    EXPECT_FALSE(Rejects(filter, 50.0));
    EXPECT_FALSE(Rejects(filter, 30.0));
    EXPECT_TRUE(Rejects(filter, 9.99));
    EXPECT_TRUE(Rejects(filter, 50.01));
}

TEST(SBDepthFilter, SwappedLimitsAreOrderedAndEqualLimitsSwitchItOff)
{
    SBDepthFilter swapped = Window(50.0, 10.0);
    EXPECT_EQ(swapped.GetMinimum(), 10.0);
    EXPECT_EQ(swapped.GetMaximum(), 50.0);
    EXPECT_FALSE(Rejects(swapped, 10.0));
    EXPECT_TRUE(Rejects(swapped, 50.01));

    SBDepthFilter equal = Window(20.0, 20.0);
    EXPECT_FALSE(equal.IsEnabled());
    EXPECT_FALSE(Rejects(equal, 5.0));

    SBDepthFilter fresh;
    EXPECT_FALSE(fresh.IsEnabled());
    EXPECT_FALSE(Rejects(fresh, 5.0));
}

TEST(SBDepthFilter, AbsentLimitKeepsItsValue)
{
    SBDepthFilter filter = Window(10.0, 50.0);
    CAttributeMap onlyMax;
    onlyMax.SetAttribValue(ATTR_SBF_DPTMAX, 60.0);
    filter.SetAttributes(&onlyMax);
    EXPECT_EQ(filter.GetMinimum(), 10.0);
    EXPECT_FALSE(Rejects(filter, 55.0));
    EXPECT_TRUE(Rejects(filter, 9.0));
}

TEST(SBDepthFilter, MissingDepthStopsAndInvalidDepthPassesUnchanged)
{
    SBDepthFilter filter = Window(10.0, 50.0);
    CDataBlock empty;
    EXPECT_FALSE(filter.Process(empty, COMPUPDATE_FULL));

    CDataBlock block = sb_test::MakeDepth(100.0);
    block.SetDataStatus(201, kvs::kStatusInvalid, CDataBlock::kByUseAs);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    EXPECT_EQ(sb_test::StatusOf(block, 201), kvs::kStatusInvalid);
    EXPECT_EQ(sb_test::StatusOf(block, 202), 0);
}
