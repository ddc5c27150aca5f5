// Helpers of the data block tests: blocks laid out from a list of element layouts, and
// typed reads that expect the element to be there.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>

namespace kvs_test {

// An element's layout; its id is its position when -1.
struct ElementSpec { unsigned short type, length, format = 1, useAs = 0; int id = -1; };

// Elements get their position as id unless given; the block is left with status 0 (valid).
inline void Layout(CDataBlock& block, std::initializer_list<ElementSpec> elements, unsigned short group = 0)
{
    block.SetDataId(CDataId(1, group, 1, 1));
    ASSERT_TRUE(block.Allocate(static_cast<unsigned int>(elements.size())));
    for (int i = 0; const ElementSpec& e : elements) {
        const unsigned short id = static_cast<unsigned short>(e.id < 0 ? i : e.id);
        ASSERT_TRUE(block.InitDataElement(i++, id, e.type, e.length, e.format, e.useAs));
    }
    ASSERT_TRUE(block.Init());
    block.SetStatus(0);
}

// A block laid out by Layout whose status stays 40 (invalid), as after Init.
inline CDataBlock Block(std::initializer_list<ElementSpec> elements, unsigned short group = 1011)
{
    CDataBlock block;
    Layout(block, elements, group);
    block.SetStatus(40);
    return block;
}

// The value and the status of an element, which must be found with that type.
template <typename T>
std::tuple<T, unsigned short> WithStatus(const CDataBlock& block, unsigned short key, unsigned short mode = CDataBlock::kByUseAs)
{
    std::tuple<T, unsigned short> out{};
    EXPECT_TRUE(block.GetDataValue(key, std::get<0>(out), std::get<1>(out), mode)) << "key " << key;
    return out;
}

// The value of an element, which must be found with that type.
template <typename T>
T Get(const CDataBlock& block, unsigned short key, unsigned short mode = CDataBlock::kByUseAs) { return std::get<0>(WithStatus<T>(block, key, mode)); }

inline CKvsBytePtr* At(const CDataBlock& block, unsigned short index)
{
    CKvsBytePtr* e = nullptr;
    EXPECT_TRUE(block.GetDataIdx(index, e)) << "index " << index;
    return e;
}

inline const unsigned char* DataOf(const CDataBlock& block, unsigned short index)
{
    CKvsBytePtr e;
    return block.GetDataIdx(index, e) ? e.GetDataPtr() : nullptr;
}

} // namespace kvs_test
