#include <KvsDataBlocks/filters/Filter.h>

#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <gtest/gtest.h>

#include <memory>

TEST(Filter, FactoryPicksTheMultibeamFilterByGroupId)
{
    CDataBlock block;
    block.SetDataId(CDataId(0, 1011, 1, 1));
    std::unique_ptr<Filter> f(Filter::CreateFilter(block, nullptr));
    EXPECT_NE(dynamic_cast<MultibeamFilter*>(f.get()), nullptr);
    for (unsigned short group : {0, 1012}) {
        block.SetDataId(CDataId(0, group, 1, 1));
        EXPECT_EQ(Filter::CreateFilter(block, nullptr), nullptr) << group;
    }
}
