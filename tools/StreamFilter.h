// StreamFilter: the work of "kvsblocks filter" on one record stream. One filter per data
// stream (data type, group, device, vessel; for multibeam pings also the swath position
// 697 and frequency 698, so that unlike pings are never judged together) from Filter::CreateFilter with the given
// settings; blocks of streams without a filter pass unchanged. Every block goes through
// Process, the filters are drained with GetRemainder at the end, and each finished block
// is handed to the caller. The summary counts blocks in, out and held back, the corrupt
// record that stopped the stream, and the beams and soundings flagged.
#pragma once

#include "QualityTally.h"

#include <KvsDataBlocks/filters/Filter.h>

#include <cstdint>
#include <functional>
#include <string>

class CAttributeMap;
class CDataBlock;

namespace kvs {
class RecordStreamReader;
}

namespace kvs::tool {

struct FilterSummary
{
    uint64_t blocksIn = 0;       // records read
    uint64_t blocksOut = 0;      // blocks handed on
    uint64_t blocksHeld = 0;     // taken by a filter and never given back (the filters keep none)
    uint64_t corruptRecords = 0; // the bad record that stopped the stream (0 or 1)
    uint64_t unfiltered = 0, streams = 0;
    QualityTally beams; // multibeam beams, overall and per filter
    uint64_t soundings = 0, soundingsInvalidated = 0, soundingOutliers = 0, soundingOutliersFlagged = 0;
    double seconds = 0.0; // CPU-side time spent in the filters
    std::string error;    // why the stream stopped early ("" when it was read to its end)

    // Simulated outliers and clean data, beams and soundings together.
    uint64_t Injected() const { return beams.injected + soundingOutliers; }
    uint64_t InjectedFlagged() const { return beams.injectedFlagged + soundingOutliersFlagged; }
    uint64_t Clean() const { return beams.Clean() + (soundings - soundingOutliers); }
    uint64_t CleanFlagged() const { return beams.cleanFlagged + (soundingsInvalidated - soundingOutliersFlagged); }

    // Adds the counts and times of another stream; the error becomes the first one.
    void Add(const FilterSummary& other);
};

// Filters every block of reader; emit receives each finished block (it may throw to stop
// the run), progress the reader's offset after each record.
FilterSummary FilterStream(RecordStreamReader& reader, CAttributeMap& attributes, COMPUPDATEMODE mode,
                           const std::function<void(const CDataBlock&)>& emit,
                           const std::function<void(uint64_t offset)>& progress = {});

} // namespace kvs::tool
