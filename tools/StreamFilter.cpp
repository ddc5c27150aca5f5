#include "StreamFilter.h"

#include "SurveySimulator.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/filters/multibeam/detail/PingExchange.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace kvs::tool {

namespace {

constexpr unsigned short kMultibeamGroup = 1011;

// Counts the beams or the sounding of a block that is handed on.
void CountFlags(const CDataBlock& block, FilterSummary& sum, bool statistics)
{
    std::vector<unsigned int> flags;
    if (ReadUIntArray(block, UseAs::kBeamFlags, flags)) {
        int n = static_cast<int>(flags.size());
        unsigned short s = 0;
        int count = 0;
        if (block.GetDataValue(UseAs::kBeamCount, count, s, CDataBlock::kByUseAs) && count >= 0 && count < n) n = count;
        sum.beams.Add(flags.data(), n);
        unsigned int ping = 0;
        if (block.GetDataValue(607, ping, s, CDataBlock::kByUseAs)) {
            ++sum.pings;
            sum.pingsInvalid += (ping & Multibeam::kPingFlagInvalid) != 0;
            sum.pingsUnjudged += statistics && !(ping & Multibeam::kFlagStatistics);
        }
        std::vector<float> z;
        if (!ReadFloatArray(block, 676, z) || static_cast<int>(z.size()) < n) ++sum.pingsWithoutErrors;
        if (ReadFloatArray(block, 605, z))
            for (int i = 0; i < n && i < static_cast<int>(z.size()); ++i)
                if (((flags[i] & kSonarGoodBit) || (flags[i] & kSimulatedOutlierBit)) && std::isfinite(z[i])) {
                    sum.minDepth = std::min(sum.minDepth, -static_cast<double>(z[i]));
                    sum.maxDepth = std::max(sum.maxDepth, -static_cast<double>(z[i]));
                }
        return;
    }
    if (block.GetDataId().GetGroupId() == 1010) {
        double depth = 0.0;
        unsigned short status = 0;
        if (!block.GetDataValue(UseAs::kDepth, depth, status, CDataBlock::kByUseAs)) return;
        ++sum.soundings;
        const bool invalid = status == kStatusRejected;
        if (invalid) ++sum.soundingsInvalidated;
        if (block.CheckStatusFlag(kSimulatedOutlierFlag)) {
            ++sum.soundingOutliers;
            if (invalid) ++sum.soundingOutliersFlagged;
        }
    }
}

// Pings of different swath positions or frequencies of one sonar (Kongsberg dual swath,
// multi-frequency modes) cover the seabed differently: they go to separate filters, so
// that the filters looking along the line never judge one against another.
std::pair<unsigned int, unsigned int> PingKind(const CDataBlock& block)
{
    if (block.GetDataId().GetGroupId() != 1011) return {0, 0};
    unsigned short swath = 0, status = 0;
    float frequency = 0.0f;
    const bool hasSwath = block.GetDataValue(UseAs::kSwathPosition, swath, status, CDataBlock::kByUseAs) && status == 0;
    const bool hasFrequency =
        block.GetDataValue(UseAs::kPingFrequency, frequency, status, CDataBlock::kByUseAs) && status == 0 && frequency > 0.0f;
    const bool inRange = hasFrequency && frequency < 4.0e9f; // Hz, any sonar's
    return {hasSwath ? swath : 0u, inRange ? static_cast<unsigned int>(frequency + 0.5f) : 0u};
}

} // namespace

void FilterSummary::Add(const FilterSummary& other)
{
    blocksIn += other.blocksIn;
    blocksOut += other.blocksOut;
    blocksHeld += other.blocksHeld;
    corruptRecords += other.corruptRecords;
    unfiltered += other.unfiltered;
    streams += other.streams;
    beams.Add(other.beams);
    pings += other.pings;
    pingsInvalid += other.pingsInvalid;
    pingsUnjudged += other.pingsUnjudged;
    pingsWithoutErrors += other.pingsWithoutErrors;
    minDepth = std::min(minDepth, other.minDepth);
    maxDepth = std::max(maxDepth, other.maxDepth);
    soundings += other.soundings;
    soundingsInvalidated += other.soundingsInvalidated;
    soundingOutliers += other.soundingOutliers;
    soundingOutliersFlagged += other.soundingOutliersFlagged;
    soundingsUntested += other.soundingsUntested;
    seconds += other.seconds;
    if (error.empty()) error = other.error;
    unreadable += other.unreadable;
    for (const Unreadable& u : other.unreadableNamed)
        if (unreadableNamed.size() < kUnreadableNamed) unreadableNamed.push_back(u);
}

FilterSummary FilterStream(RecordStreamReader& reader, CAttributeMap& attributes, COMPUPDATEMODE mode,
                           const std::function<void(const CDataBlock&)>& emit,
                           const std::function<void(uint64_t offset)>& progress)
{
    using StreamKey = std::tuple<unsigned short, unsigned short, unsigned short, unsigned short, unsigned int, unsigned int>;
    std::map<StreamKey, std::unique_ptr<Filter>> filters;
    FilterSummary sum;
    bool statistics = false;
    unsigned int status = 0;
    attributes.GetAttribValue(ATTR_STATISTICFILTER, statistics, status);
    auto out = [&](const CDataBlock& block) {
        ++sum.blocksOut;
        CountFlags(block, sum, statistics);
        emit(block);
    };

    using Clock = std::chrono::steady_clock;
    Clock::duration busy{};
    CDataBlock block;
    CString error;
    uint64_t kept = 0;       // blocks a filter took without handing one on
    uint64_t remainders = 0; // blocks the filters gave back when drained
    for (;;) {
        const uint64_t offset = reader.Offset();
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) {
            sum.error = std::string(error);
            sum.corruptRecords = 1; // the reader stops at the first bad record
            break;
        }
        ++sum.blocksIn;
        if (progress) progress(reader.Offset());
        const CDataId& id = block.GetDataId();
        const auto [swath, frequency] = PingKind(block);
        const StreamKey key{id.GetDataType(), id.GetGroupId(), id.GetDeviceNum(), id.GetVesselId(), swath, frequency};
        auto it = filters.find(key);
        if (it == filters.end()) {
            it = filters.emplace(key, std::unique_ptr<Filter>(Filter::CreateFilter(block, &attributes))).first;
            ++sum.streams;
        }
        if (!it->second) {
            ++sum.unfiltered;
            out(block);
            continue;
        }
        if (id.GetGroupId() == kMultibeamGroup) {
            if (std::string why = multibeam::detail::PingExchange::WhyUnreadable(block); !why.empty()) {
                ++sum.unreadable;
                if (sum.unreadableNamed.size() < FilterSummary::kUnreadableNamed) {
                    int ping = -1;
                    unsigned short status = 0;
                    if (!block.GetDataValue(UseAs::kPingNumber, ping, status, CDataBlock::kByUseAs)) ping = -1;
                    sum.unreadableNamed.push_back({sum.blocksIn, offset, ping, std::move(why)});
                }
                continue;
            }
        }
        const Clock::time_point start = Clock::now();
        const bool ready = it->second->Process(block, mode);
        busy += Clock::now() - start;
        if (ready)
            out(block);
        else
            ++kept;
    }
    // The blocks held back come out when the filters are drained, the stream's
    // remaining ones even after a corrupt record.
    for (auto& [key, filter] : filters) {
        if (!filter) continue;
        for (;;) {
            const Clock::time_point start = Clock::now();
            const bool more = filter->GetRemainder(block);
            busy += Clock::now() - start;
            if (!more) break;
            ++remainders;
            out(block);
        }
        if (const auto* single = dynamic_cast<const SingleBeamFilter*>(filter.get()))
            sum.soundingsUntested += static_cast<uint64_t>(single->GetUntestedCount());
    }
    // More remainders than blocks kept would be blocks made up; blocksIn then falls
    // short of blocksOut + blocksHeld + unreadable, which is what a check of the summary
    // looks for.
    sum.blocksHeld = kept > remainders ? kept - remainders : 0;
    sum.seconds = std::chrono::duration<double>(busy).count();
    return sum;
}

namespace {

// The settings that steer the filter of a beam flag bit, by the bit's name.
struct GuardSettings
{
    const char* filter;
    std::vector<const char*> names;
};

const std::vector<GuardSettings>& SettingsPerFilter()
{
    static const std::vector<GuardSettings> table = {
        {"reject list", {ATTR_FILTERREJECTBEAMS}},
        {"quality", {ATTR_FILTERQUALITY}},
        {"range", {ATTR_FILTERMINRANGE, ATTR_FILTERMAXRANGE}},
        {"depth window", {ATTR_FILTERMINDEPTH, ATTR_FILTERMAXDEPTH}},
        {"swath", {ATTR_FILTERNADIRANGLE, ATTR_FILTERPORTNADIRANGLE, ATTR_FILTERSTARBOARDNADIRANGLE,
                   "FilterPortNadirDistance", "FilterStarboardNadirDistance"}},
        {"slope", {ATTR_FILTERSLOPEANGLE, ATTR_SLOPEBASERATIO}},
        {"angle", {ATTR_FILTERMINANGLE}},
        {"statistics", {ATTR_FILTERWINDOWSIZE, ATTR_FILTERQUANTSCALE, ATTR_STATSFIXEDRATIO}},
        {"flying object", {"FlyingObjectSize", "FlyingObjectBorder"}},
        {"custom error", {ATTR_CUSTOMERRORVALUE}},
        {"IHO error", {ATTR_IHOORDER, ATTR_IHOORDERBYDEPTH}},
        {"smart filter", {"DepthWidthRatio", "NumberAveragingClips", "NadirAreaPercentage", "VertTolRelData",
                          "VertTolUnrelData", ATTR_SMARTTOLERANCEUNIT, ATTR_SMARTBINBEAMS, ATTR_SMARTBINDEPTHRATIO,
                          ATTR_SMARTFALLBACKRATIO}},
    };
    return table;
}

// "name = value" of each setting the map holds.
std::string SettingsText(const CAttributeMap& attributes, const std::vector<const char*>& names)
{
    std::string text;
    unsigned int status = 0;
    for (const char* name : names) {
        std::string value;
        double d = 0.0;
        int i = 0;
        bool b = false;
        char buffer[64];
        if (attributes.GetAttribValue(name, d, status)) {
            std::snprintf(buffer, sizeof buffer, "%g", d);
            value = buffer;
        } else if (attributes.GetAttribValue(name, i, status)) {
            value = std::to_string(i);
        } else if (attributes.GetAttribValue(name, b, status)) {
            value = b ? "true" : "false";
        } else {
            CString s;
            if (!attributes.GetAttribValue(name, s, status)) continue;
            value = std::string(s);
        }
        text += (text.empty() ? "" : ", ") + std::string(name) + " = " + value;
    }
    return text.empty() ? "its default settings" : text;
}

} // namespace

std::vector<std::string> FilterGuards(const FilterSummary& sum, const CAttributeMap& attributes)
{
    std::vector<std::string> warnings;
    const QualityTally& q = sum.beams;
    char line[512];
    if (q.usable > 0) {
        for (size_t b = 0; b < kBeamFlags.size(); ++b) {
            const double share = QualityTally::Percent(q.perFilter[b].usable, q.usable);
            if (share <= 20.0) continue;
            std::string settings = "its default settings";
            for (const GuardSettings& g : SettingsPerFilter())
                if (std::string(g.filter) == kBeamFlags[b].name) settings = SettingsText(attributes, g.names);
            if (kBeamFlags[b].bit == Multibeam::kFlagDepth && sum.maxDepth >= sum.minDepth) {
                std::snprintf(line, sizeof line, "; the line's usable beams lie %.1f to %.1f m deep", sum.minDepth,
                              sum.maxDepth);
                settings += line;
            }
            std::snprintf(line, sizeof line, "filter '%s' flags %.1f %% of the usable beams (%s)", kBeamFlags[b].name,
                          share, settings.c_str());
            warnings.emplace_back(line);
        }
    }
    // The smart filter with tolerances in estimated errors cannot profile-test a ping
    // without them: say so rather than let it pass in silence.
    bool smart = false;
    int unit = 0;
    unsigned int status = 0;
    attributes.GetAttribValue("SmartFilter", smart, status);
    attributes.GetAttribValue(ATTR_SMARTTOLERANCEUNIT, unit, status);
    double fallback = 0.0; // a fraction of the depth tests those pings instead
    attributes.GetAttribValue(ATTR_SMARTFALLBACKRATIO, fallback, status);
    if (smart && unit == 2 && !(fallback > 0.0) && sum.pingsWithoutErrors > 0) {
        std::snprintf(line, sizeof line,
                      "the smart filter profile-tests none of the %llu pings without an estimated vertical error "
                      "per beam (use-as 676), as SmartToleranceUnit = 2 measures its tolerances in those errors",
                      static_cast<unsigned long long>(sum.pingsWithoutErrors));
        warnings.emplace_back(line);
    }
    const double invalid = QualityTally::Percent(sum.pingsInvalid, sum.pings);
    if (invalid > 10.0) {
        int maxReject = 40; // the filter's own default
        attributes.GetAttribValue(ATTR_MAXBEAMREJECT, maxReject, status);
        std::snprintf(line, sizeof line,
                      "%.1f %% of the pings are marked invalid (more than MaxBeamReject = %d %% of their beams "
                      "rejected)",
                      invalid, maxReject);
        warnings.emplace_back(line);
    }
    return warnings;
}

} // namespace kvs::tool
