#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include "../AttributeList.h"

#include <gtest/gtest.h>

namespace {

SBDepthFilter Window(double minimum, double maximum)
{
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_DPTMIN, minimum}, {ATTR_SBF_DPTMAX, maximum}});
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

TEST(SBDepthFilter, WindowIsInclusiveSwappedLimitsAreOrderedAndEqualLimitsSwitchItOff)
{
    struct Case
    {
        double minimum, maximum, depth;
        bool rejected;
    };
    const Case cases[] = {
        {10, 50, 10, false}, {10, 50, 50, false}, {10, 50, 30, false}, {10, 50, 9.99, true},
        {10, 50, 50.01, true}, {50, 10, 10, false}, {50, 10, 50.01, true}, {50, 10, 9.99, true},
        {20, 20, 5, false},
    };
    for (const Case& c : cases) {
        SBDepthFilter filter = Window(c.minimum, c.maximum);
        EXPECT_EQ(Rejects(filter, c.depth), c.rejected) << c.minimum << " " << c.maximum << " " << c.depth;
    }
    SBDepthFilter fresh;
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
