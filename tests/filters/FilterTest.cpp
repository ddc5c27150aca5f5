#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

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

TEST(Filter, FactoryPicksTheMultibeamFilterByGroupId)
{
    CDataBlock block;
    block.SetDataId(CDataId(0, 1011, 1, 1));
    std::unique_ptr<Filter> f(Filter::CreateFilter(block, nullptr));
    EXPECT_NE(dynamic_cast<MultibeamFilter*>(f.get()), nullptr);
}

TEST(Filter, FactoryRefusesWhenTheLibraryDidNotInitialise)
{
    CDataBlock block;
    block.SetDataId(CDataId(0, 1011, 1, 1));
    setenv("KVS_MIN_DLL_VERSION", "99.0.0.0", 1);
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 0);
    EXPECT_EQ(Filter::CreateFilter(block, nullptr), nullptr);
    unsetenv("KVS_MIN_DLL_VERSION");
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    std::unique_ptr<Filter> f(Filter::CreateFilter(block, nullptr));
    EXPECT_NE(f, nullptr);
}
