#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

TEST(Filter, FactoryPicksTheFilterByGroupIdUnknownGroupsGetNoneAndSoDoesAnUninitialisedLibrary)
{
    const struct { unsigned short group; const std::type_info* type; } cases[] = {
        {1010, &typeid(SingleBeamFilter)}, {1011, &typeid(MultibeamFilter)}, {1071, &typeid(PipedetectBeamFilter)},
        {0, nullptr}, {1012, nullptr}};
    CAttributeMap map;
    CDataBlock block;
    for (const auto& c : cases) {
        block.SetDataId(CDataId(0, c.group, 1, 1));
        std::unique_ptr<Filter> f(Filter::CreateFilter(block, &map));
        const Filter* made = f.get();
        EXPECT_EQ(std::string(made ? typeid(*made).name() : "none"), c.type ? c.type->name() : "none") << c.group;
    }
    block.SetDataId(CDataId(0, 1011, 1, 1));
    setenv("KVS_MIN_DLL_VERSION", "99.0.0.0", 1);
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 0);
    EXPECT_EQ(Filter::CreateFilter(block, nullptr), nullptr);
    unsetenv("KVS_MIN_DLL_VERSION");
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
}
