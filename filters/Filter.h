// Filter: the interface of every sounding filter and the factory that picks the filter
// for a data stream from the group id of its blocks. The application creates one filter
// per stream, feeds it every block in time order, drains it with GetRemainder at the end
// of the stream and deletes it; the caller owns what CreateFilter returns. A filter is
// used by one thread at a time; filters on different threads share nothing but an
// attribute map that no thread changes while they run (they only read it).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

// The mode of a filter run. Only the value 3 has a meaning of its own: recompute the
// error-estimate flags (IHO and custom error limits) and keep every other flag.
enum COMPUPDATEMODE
{
    COMPUPDATE_FULL = 0,
    COMPUPDATE_ERRORLIMITS = 3,
};

class KVS_API Filter
{
public:
    Filter() = default;
    Filter(const Filter&) {}
    Filter& operator=(const Filter&) { return *this; }
    virtual ~Filter() = default;

    // Filters block in place. True when block now holds a result to pass on (possibly an
    // earlier block the filter held back); false when there is nothing to pass on.
    virtual bool Process(CDataBlock& block, COMPUPDATEMODE mode) = 0;
    // Re-reads every setting; true.
    virtual bool SetAttributes(CAttributeMap* attributes) = 0;
    // Delivers one more held block per true result; the first false ends the draining.
    virtual bool GetRemainder(CDataBlock& block);

    // The filter for the group id of block's data id: 1010 single-beam, 1011 multibeam,
    // 1071 pipe detection;
    // null for any group without a filter. The filter reads its settings from attributes at once.
    static Filter* CreateFilter(CDataBlock& block, CAttributeMap* attributes);
};
