#include <KvsDataBlocks/config/KnownAttributeNames.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>
#include <array>
#include <iterator>

namespace {

using Kind = CAttributeMap::Kind;

// The settings read by calls of their own, each with the type it is read as. A test makes
// every filter and data source read its settings and checks that the known settings are
// exactly the names and types they ask for.
constexpr KnownSetting kOtherSettings[] = {
    {ATTR_SBF_DEPTH, Kind::Bool, SettingReader::SingleBeamFilter},
    {ATTR_SBF_GATE, Kind::Bool, SettingReader::SingleBeamFilter},
    {ATTR_SBF_SPIKE, Kind::Bool, SettingReader::SingleBeamFilter},
    {ATTR_SBF_DPTMIN, Kind::Double, SettingReader::SingleBeamFilter},
    {ATTR_SBF_DPTMAX, Kind::Double, SettingReader::SingleBeamFilter},
    {ATTR_SBF_GATEVAL, Kind::Double, SettingReader::SingleBeamFilter},
    {ATTR_SBF_SPIKEGAMMA, Kind::Double, SettingReader::SingleBeamFilter},
    {ATTR_SBF_SPIKENOISE, Kind::Double, SettingReader::SingleBeamFilter},
    {ATTR_MASKSHAPE, Kind::Text, SettingReader::PipeDetectionFilter},
    {ATTR_SHAPEVIEWSIDE, Kind::Int, SettingReader::PipeDetectionFilter},
    {ATTR_PREVPOSMARGIN, Kind::Double, SettingReader::PipeDetectionFilter},
    {ATTR_PIPEDETECTCOMPID, Kind::DataInfo, SettingReader::PipeDetectionFilter},
    {ATTR_MAXINTENSITYCNT, Kind::Int, SettingReader::PipeDetectionFilter},
    {ATTR_PIPEDIAMETER, Kind::Double, SettingReader::PipeDetectionFilter},
    {ATTR_POSITION, Kind::Double3, SettingReader::PipeDetectionFilter},
    {ATTR_ELTINDEX, Kind::Double, SettingReader::TideDataSource},
    {ATTR_SETVALUE, Kind::Double, SettingReader::TideDataSource},
    {ATTR_VALUESHIFT, Kind::Double, SettingReader::TideDataSource},
    {TideStationDataSource::kDeleteFlagAttribute, Kind::Double, SettingReader::TideDataSource},
};

constexpr auto kSettings = [] {
    std::array<KnownSetting, std::size(kMultibeamSettingFields) + std::size(kOtherSettings)> all{};
    size_t i = 0;
    for (const MultibeamSettingField& f : kMultibeamSettingFields) all[i++] = {f.name, f.kind, SettingReader::MultibeamFilter};
    for (const KnownSetting& s : kOtherSettings) all[i++] = s;
    return all;
}();

constexpr auto kNames = [] {
    std::array<const char*, kSettings.size()> names{};
    for (size_t i = 0; i < kSettings.size(); ++i) names[i] = kSettings[i].name;
    return names;
}();

} // namespace

std::span<const KnownSetting> KnownSettings()
{
    return kSettings;
}

const KnownSetting* FindKnownSetting(std::string_view name)
{
    for (const KnownSetting& s : kSettings)
        if (name == s.name) return &s;
    return nullptr;
}

std::span<const char* const> KnownAttributeNames()
{
    return kNames;
}

bool IsKnownAttributeName(std::string_view name)
{
    return FindKnownSetting(name) != nullptr;
}

std::string ClosestAttributeName(std::string_view name)
{
    const size_t limit = std::max<size_t>(2, name.size() / 3);
    const char* best = nullptr;
    size_t bestDistance = limit + 1;
    for (const char* known : kNames) {
        const size_t d = EditDistanceNoCase(name, known);
        if (d < bestDistance) {
            best = known;
            bestDistance = d;
        }
    }
    return best != nullptr ? std::string(best) : std::string();
}

std::vector<CString> CheckAttributeNames(const CAttributeMap& map)
{
    std::vector<CString> warnings;
    // The type words of the attribute files, by kind.
    static constexpr const char* kTypeWords[] = {"bool", "int", "double", "string", "datainfo", "double3"};
    for (const CAttributeMap::NameAndLine& held : map.GetNamesAndLines()) {
        std::string text = held.line > 0 ? "line " + std::to_string(held.line) + ": " : std::string();
        if (const KnownSetting* known = FindKnownSetting(held.name.str())) {
            // A number setting takes an int as well; any other type is passed over by
            // the reader, as if the line were not there.
            const bool fits = held.kind == known->kind ||
                              (known->kind == CAttributeMap::Kind::Double && held.kind == CAttributeMap::Kind::Int);
            if (fits) continue;
            text += "setting '" + held.name.str() + "' is read as " + kTypeWords[static_cast<int>(known->kind)] +
                    ", not " + kTypeWords[static_cast<int>(held.kind)] + " (write " + held.name.str() + " = " +
                    kTypeWords[static_cast<int>(known->kind)] + ":...)";
            warnings.emplace_back(text);
            continue;
        }
        text += "unknown setting '" + held.name.str() + "'";
        const std::string closest = ClosestAttributeName(held.name.str());
        if (!closest.empty()) text += " (did you mean '" + closest + "'?)";
        warnings.emplace_back(text);
    }
    return warnings;
}
