#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include "singlebeam/SingleBeamBlocks.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

TEST(Filter, FactoryPicksTheFilterByGroupIdAndUnknownGroupsGetNone)
{
    const struct
    {
        unsigned short group;
        const std::type_info* type;
    } cases[] = {{1010, &typeid(SingleBeamFilter)}, {1011, &typeid(MultibeamFilter)},
                 {1071, &typeid(PipedetectBeamFilter)}, {0, nullptr}, {1012, nullptr}};
    CAttributeMap map;
    for (const auto& c : cases) {
        CDataBlock block;
        block.SetDataId(CDataId(0, c.group, 1, 1));
        std::unique_ptr<Filter> f(Filter::CreateFilter(block, &map));
        ASSERT_EQ(f != nullptr, c.type != nullptr) << c.group;
        const Filter* made = f.get();
        if (made) {
            EXPECT_EQ(typeid(*made), *c.type) << c.group;
        }
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

TEST(Filter, FactoryRefusesWhenTheLibraryDidNotInitialise)
{
    CDataBlock block;
    block.SetDataId(CDataId(0, 1011, 1, 1));
    setenv("KVS_MIN_DLL_VERSION", "99.0.0.0", 1);
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 0);
    EXPECT_EQ(Filter::CreateFilter(block, nullptr), nullptr);
    unsetenv("KVS_MIN_DLL_VERSION");
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    EXPECT_NE(std::unique_ptr<Filter>(Filter::CreateFilter(block, nullptr)), nullptr);
}
