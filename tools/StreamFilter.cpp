#include "StreamFilter.h"

#include "SurveySimulator.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <chrono>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace kvs::tool {

namespace {

// Counts the beams or the sounding of a block that is handed on.
void CountFlags(const CDataBlock& block, FilterSummary& sum)
{
    std::vector<unsigned int> flags;
    if (ReadUIntArray(block, UseAs::kBeamFlags, flags)) {
        int n = static_cast<int>(flags.size());
        unsigned short s = 0;
        int count = 0;
        if (block.GetDataValue(UseAs::kBeamCount, count, s, CDataBlock::kByUseAs) && count >= 0 && count < n) n = count;
        sum.beams.Add(flags.data(), n);
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
    soundings += other.soundings;
    soundingsInvalidated += other.soundingsInvalidated;
    soundingOutliers += other.soundingOutliers;
    soundingOutliersFlagged += other.soundingOutliersFlagged;
    seconds += other.seconds;
    if (error.empty()) error = other.error;
}

FilterSummary FilterStream(RecordStreamReader& reader, CAttributeMap& attributes, COMPUPDATEMODE mode,
                           const std::function<void(const CDataBlock&)>& emit,
                           const std::function<void(uint64_t offset)>& progress)
{
    using StreamKey = std::tuple<unsigned short, unsigned short, unsigned short, unsigned short, unsigned int, unsigned int>;
    std::map<StreamKey, std::unique_ptr<Filter>> filters;
    FilterSummary sum;
    auto out = [&](const CDataBlock& block) {
        ++sum.blocksOut;
        CountFlags(block, sum);
        emit(block);
    };

    using Clock = std::chrono::steady_clock;
    Clock::duration busy{};
    CDataBlock block;
    CString error;
    uint64_t kept = 0;       // blocks a filter took without handing one on
    uint64_t remainders = 0; // blocks the filters gave back when drained
    for (;;) {
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
    }
    // More remainders than blocks kept would be blocks made up; blocksIn then falls
    // short of blocksOut + blocksHeld, which is what a check of the summary looks for.
    sum.blocksHeld = kept > remainders ? kept - remainders : 0;
    sum.seconds = std::chrono::duration<double>(busy).count();
    return sum;
}

} // namespace kvs::tool
