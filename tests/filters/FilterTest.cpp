#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

TEST(Filter, FactoryPicksTheFilterByGroupIdAndUnknownGroupsGetNone)
{
    const struct { unsigned short group; const std::type_info* type; } cases[] = {
        {1010, &typeid(SingleBeamFilter)}, {1011, &typeid(MultibeamFilter)}, {1071, &typeid(PipedetectBeamFilter)},
        {0, nullptr}, {1012, nullptr}};
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
