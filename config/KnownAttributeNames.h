// KnownAttributeNames: every setting name that the filters and data sources of this
// library read from a CAttributeMap, with the type each is read as and who reads it. An
// application checks a settings file against it so that a misspelt name ("SlopFilter") is
// reported instead of silently leaving the setting it meant at its default; the Python
// module checks a settings dict against it, names and types.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/platform/CString.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Who reads a setting.
enum class SettingReader : unsigned char
{
    MultibeamFilter,
    SingleBeamFilter,
    PipeDetectionFilter,
    TideDataSource, // the edits of TideStationDataSource::UpdateDataBlock
};

struct KnownSetting
{
    const char* name = nullptr;
    CAttributeMap::Kind kind = CAttributeMap::Kind::Bool; // the GetAttribValue overload it is read with
    SettingReader reader = SettingReader::MultibeamFilter;
};

// Every setting, each once; the multibeam filter's come from its settings table
// (filters/multibeam/MultibeamSettings.h).
KVS_API std::span<const KnownSetting> KnownSettings();
// The setting of that name, null when none.
KVS_API const KnownSetting* FindKnownSetting(std::string_view name);
// The names of KnownSettings, in its order.
KVS_API std::span<const char* const> KnownAttributeNames();
KVS_API bool IsKnownAttributeName(std::string_view name);
// The known name nearest to name by case-insensitive edit distance, or "" when none is
// near enough to be what was meant (more than a third of the name's letters, at least 2,
// would have to change).
KVS_API std::string ClosestAttributeName(std::string_view name);
// One warning for each name of map that no filter or data source reads, and for each known
// one whose value is of another type than it is read as (which the reader would pass over),
// in line order: "line 1: unknown setting 'SlopFilter' (did you mean 'SlopeFilter'?)",
// "line 2: setting 'DepthFilter' is read as bool, not int (write DepthFilter = bool:...)"
// (names set in code have no line).
KVS_API std::vector<CString> CheckAttributeNames(const CAttributeMap& map);
