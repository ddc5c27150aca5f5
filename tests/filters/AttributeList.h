// Test helper of the filter tests: an attribute map written as one list of name/value
// pairs, so that each case states its settings in a line.
#pragma once

#include <KvsDataBlocks/config/CAttributeMap.h>

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

} // namespace filtertest
