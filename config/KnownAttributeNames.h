// KnownAttributeNames: every setting name that the filters and data sources of this
// library read from a CAttributeMap. An application checks a settings file against it so
// that a misspelt name ("SlopFilter") is reported instead of silently leaving the setting
// it meant at its default.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/platform/CString.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The names, each once.
KVS_API std::span<const char* const> KnownAttributeNames();
KVS_API bool IsKnownAttributeName(std::string_view name);
// The known name nearest to name by case-insensitive edit distance, or "" when none is
// near enough to be what was meant (more than a third of the name's letters, at least 2,
// would have to change).
KVS_API std::string ClosestAttributeName(std::string_view name);
// One warning for each name of map that no filter or data source reads, in line order:
// "line 1: unknown setting 'SlopFilter' (did you mean 'SlopeFilter'?)" (names set in code
// have no line: "unknown setting ...").
KVS_API std::vector<CString> CheckAttributeNames(const CAttributeMap& map);
