// Helpers of the data block tests: blocks laid out from a list of element layouts.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <initializer_list>

namespace kvs_test {

struct ElementSpec
{
    unsigned short type;
    unsigned short length;
    unsigned short format = 1;
    unsigned short useAs = 0;
};

// Elements get their position as id; the block is left with status 0 (valid).
inline void Layout(CDataBlock& block, std::initializer_list<ElementSpec> elements, unsigned short group = 0)
{
    block.SetDataId(CDataId(1, group, 1, 1));
    ASSERT_TRUE(block.Allocate(static_cast<unsigned int>(elements.size())));
    int i = 0;
    for (const ElementSpec& e : elements) {
        ASSERT_TRUE(block.InitDataElement(i, static_cast<unsigned short>(i), e.type, e.length, e.format, e.useAs));
        ++i;
    }
    ASSERT_TRUE(block.Init());
    block.SetStatus(0);
}

} // namespace kvs_test
