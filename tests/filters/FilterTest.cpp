#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>

#include "singlebeam/SingleBeamBlocks.h"

#include <gtest/gtest.h>

#include <memory>

TEST(Filter, GroupIdSelectsTheSingleBeamFilterAndUnknownGroupsGetNone)
{
    CAttributeMap map;
    CDataBlock block = sb_test::MakeDepth(20.0);
    std::unique_ptr<Filter> single(Filter::CreateFilter(block, &map));
    EXPECT_NE(dynamic_cast<SingleBeamFilter*>(single.get()), nullptr);

    for (unsigned short group : {0, 1012}) {
        CDataId id = block.GetDataId();
        id.SetGroupId(group);
        block.SetDataId(id);
        EXPECT_EQ(Filter::CreateFilter(block, &map), nullptr) << group;
    }
}

TEST(Filter, BaseRemainderDeliversNothingAndLeavesTheBlockAlone)
{
    struct PassFilter : Filter
    {
        bool Process(CDataBlock&, COMPUPDATEMODE) override { return true; }
        bool SetAttributes(CAttributeMap*) override { return true; }
    } filter;
    CDataBlock block = sb_test::MakeDepth(20.0, 5.0);
    EXPECT_FALSE(filter.GetRemainder(block));
    EXPECT_EQ(block.GetTime(), 5.0);
    EXPECT_EQ(sb_test::ValueOf(block, 201), 20.0);
    EXPECT_TRUE(sb_test::IsUntouched(block));
}
