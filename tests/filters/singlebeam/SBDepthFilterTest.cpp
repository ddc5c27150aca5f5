#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include "../AttributeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

bool Rejects(SBDepthFilter& filter, double depth)
{
    CDataBlock block = sb_test::MakeDepth(depth);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    if (sb_test::IsInvalidated(block)) return true;
    EXPECT_TRUE(sb_test::IsUntouched(block)) << depth;
    return false;
}

} // namespace

TEST(SBDepthFilter, WindowIsInclusiveSwappedLimitsAreOrderedEqualLimitsSwitchItOffAndMissingDepthsStop)
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
    // A missing depth stops the chain, an invalid one passes unchanged.
    CDataBlock empty;
    EXPECT_FALSE(fresh.Process(empty, COMPUPDATE_FULL));
    CAttributeMap map = filtertest::Attributes({{ATTR_SBF_DPTMIN, 10.0}, {ATTR_SBF_DPTMAX, 50.0}});
    fresh.SetAttributes(&map);
    CDataBlock block = sb_test::MakeDepth(100.0);
    block.SetDataStatus(201, kvs::kStatusInvalid, CDataBlock::kByUseAs);
    EXPECT_TRUE(fresh.Process(block, COMPUPDATE_FULL));
    EXPECT_EQ(std::tuple(sb_test::StatusOf(block, 201), sb_test::StatusOf(block, 202)),
              std::tuple(kvs::kStatusInvalid, 0));
}
