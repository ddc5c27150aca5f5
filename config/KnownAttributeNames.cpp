#include <KvsDataBlocks/config/KnownAttributeNames.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <algorithm>

namespace {

// The names of AttributeNames.h and the ones the filters and data sources write as
// literals. A test reads every filter and data source and checks that this table holds
// exactly the names they ask for.
constexpr const char* kKnownNames[] = {
    // Multibeam filter (MultibeamFilter).
    ATTR_BEAMREJECTFILTER, ATTR_FILTERREJECTBEAMS, ATTR_MAXBEAMREJECT, ATTR_QUALITYFILTER, ATTR_FILTERQUALITY,
    ATTR_RANGEFILTER, ATTR_FILTERMINRANGE, ATTR_FILTERMAXRANGE, ATTR_DEPTHFILTER, ATTR_FILTERMINDEPTH,
    ATTR_FILTERMAXDEPTH, ATTR_NADIRFILTER, ATTR_FILTERNADIRANGLE, ATTR_FILTERPORTNADIRANGLE,
    ATTR_FILTERSTARBOARDNADIRANGLE, ATTR_SLOPEFILTER, ATTR_FILTERSLOPEANGLE, ATTR_ANGLEFILTER, ATTR_FILTERMINANGLE,
    ATTR_IHOERRORCHECK, ATTR_IHOORDER, ATTR_CUSTOMERROR, ATTR_CUSTOMERRORVALUE, ATTR_STATISTICFILTER,
    ATTR_FILTERWINDOWSIZE, ATTR_FILTERQUANTSCALE, "NadirAngleFilter", "NadirDistanceFilter",
    "FilterPortNadirDistance", "FilterStarboardNadirDistance", "FlyingObjectsFilter", "FlyingObjectSize",
    "FlyingObjectBorder", "SmartFilter", "ReliableAngleSector", "DepthWidthRatio", "NumberAveragingClips",
    "NadirAreaPercentage", "VertTolRelData", "VertTolUnrelData", ATTR_SMARTSLOPEDNADIR, ATTR_SMARTSKIPEMPTYBINS,
    ATTR_SMARTTOLERANCEUNIT, ATTR_SLOPEBASERATIO,
    // Single-beam filters (SingleBeamFilter, SBDepthFilter, SBGateFilter, SBSpikeFilter).
    ATTR_SBF_DEPTH, ATTR_SBF_GATE, ATTR_SBF_SPIKE, ATTR_SBF_DPTMIN, ATTR_SBF_DPTMAX, ATTR_SBF_GATEVAL,
    ATTR_SBF_SPIKEGAMMA, ATTR_SBF_SPIKENOISE,
    // Pipe-detection filter (PipedetectBeamFilter).
    ATTR_MASKSHAPE, ATTR_SHAPEVIEWSIDE, ATTR_PREVPOSMARGIN, ATTR_PIPEDETECTCOMPID, ATTR_MAXINTENSITYCNT,
    ATTR_PIPEDIAMETER, ATTR_POSITION,
    // Tide data source edits (TideStationDataSource).
    ATTR_ELTINDEX, ATTR_SETVALUE, ATTR_VALUESHIFT, "SetDeleteFlag",
};

} // namespace

std::span<const char* const> KnownAttributeNames()
{
    return kKnownNames;
}

bool IsKnownAttributeName(std::string_view name)
{
    return std::any_of(std::begin(kKnownNames), std::end(kKnownNames),
                       [name](const char* known) { return name == known; });
}

std::string ClosestAttributeName(std::string_view name)
{
    const size_t limit = std::max<size_t>(2, name.size() / 3);
    const char* best = nullptr;
    size_t bestDistance = limit + 1;
    for (const char* known : kKnownNames) {
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
    for (const CAttributeMap::NameAndLine& held : map.GetNamesAndLines()) {
        if (IsKnownAttributeName(held.name.str())) continue;
        std::string text = held.line > 0 ? "line " + std::to_string(held.line) + ": " : std::string();
        text += "unknown setting '" + held.name.str() + "'";
        const std::string closest = ClosestAttributeName(held.name.str());
        if (!closest.empty()) text += " (did you mean '" + closest + "'?)";
        warnings.emplace_back(text);
    }
    return warnings;
}
