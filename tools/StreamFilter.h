// StreamFilter: the work of "kvsblocks filter" on one record stream. One filter per data
// stream (data type, group, device, vessel; for multibeam pings also the swath position
// 697 and frequency 698, so that unlike pings are never judged together) from Filter::CreateFilter with the given
// settings; blocks of streams without a filter pass unchanged. Every block goes through
// Process, the filters are drained with GetRemainder at the end, and each finished block
// is handed to the caller. The summary counts blocks in, out and held back, the pings the
// multibeam filter cannot read (named with place and reason), the corrupt
// record that stopped the stream, and the beams and soundings flagged.
#pragma once

#include "QualityTally.h"

#include <KvsDataBlocks/filters/Filter.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
    // Pings the multibeam filter cannot read (a beam count out of range, a beam array
    // missing or of the wrong size): not filtered and not handed on. The first
    // kUnreadableNamed are named with their place and reason.
    struct Unreadable
    {
        uint64_t record; // 1-based record number
        uint64_t offset; // byte offset of the record
        long ping;       // ping number (601), -1 when the block has none
        std::string reason;
    };
    static constexpr size_t kUnreadableNamed = 20;
    uint64_t unreadable = 0;
    std::vector<Unreadable> unreadableNamed;
    QualityTally beams; // multibeam beams, overall and per filter
    // Multibeam pings handed on: in all, marked invalid (0x10000), and, while the
    // statistics filter is on, those it passed on unjudged (no 0x8000 in the ping word:
    // the first pings of a run without StatsJudgeEdges, or held when the times reversed).
    uint64_t pings = 0, pingsInvalid = 0, pingsUnjudged = 0;
    uint64_t pingsWithoutErrors = 0; // pings without an estimated vertical error per beam (676)
    // The depth range (-z, metres) of the usable beams; min > max when there are none.
    double minDepth = 1e300, maxDepth = -1e300;
    std::vector<std::string> warnings; // the guards' warnings about this line
    uint64_t soundings = 0, soundingsInvalidated = 0, soundingOutliers = 0, soundingOutliersFlagged = 0;
    // Single-beam soundings the spike filter passed on untested (first and last of a run,
    // displaced at a time reversal, without valid position or depth); 0 with it off.
    uint64_t soundingsUntested = 0;
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

// The guards a surveyor expects, for one line filtered with attributes: a filter that flags
// more than 20 % of the usable beams, or more than 10 % of the pings marked invalid, named
// with the share and the settings involved (a depth window beside the line's depth range).
std::vector<std::string> FilterGuards(const FilterSummary& sum, const CAttributeMap& attributes);

// Filters every block of reader; emit receives each finished block (it may throw to stop
// the run), progress the reader's offset after each record.
FilterSummary FilterStream(RecordStreamReader& reader, CAttributeMap& attributes, COMPUPDATEMODE mode,
                           const std::function<void(const CDataBlock&)>& emit,
                           const std::function<void(uint64_t offset)>& progress = {});

} // namespace kvs::tool
