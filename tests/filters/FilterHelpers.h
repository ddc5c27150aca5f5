// Test helpers of the filter tests: an attribute map written as one list of name/value
// pairs, so that each case states its settings in a line; arrays read from a block, and
// the beams whose flag word carries a bit.
#pragma once

#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <cstring>
#include <utility>
#include <variant>
#include <vector>

namespace filtertest {

using AttributeValue = std::variant<bool, int, double, const char*>;
using AttributeList = std::vector<std::pair<const char*, AttributeValue>>;

inline void SetAttributes(CAttributeMap& map, const AttributeList& items)
{
    for (const auto& [name, value] : items) std::visit([&](auto v) { map.SetAttribValue(name, v); }, value);
}

inline CAttributeMap Attributes(const AttributeList& items)
{
    CAttributeMap map;
    SetAttributes(map, items);
    return map;
}

// The items of the array element of the key, empty when there is none.
template <typename T>
std::vector<T> ReadArray(const CDataBlock& b, unsigned short key, unsigned short mode = CDataBlock::kByUseAs)
{
    CKvsBytePtr e;
    std::vector<T> out;
    if (b.GetData(key, e, mode)) out.resize(e.GetLength() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), e.GetDataPtr(), out.size() * sizeof(T));
    return out;
}

// The beams whose flag word has bit set.
inline std::vector<int> With(const std::vector<unsigned int>& flags, unsigned int bit)
{
    std::vector<int> out;
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & bit) out.push_back(static_cast<int>(i));
    return out;
}

} // namespace filtertest
