// PingExchange: how the multibeam filter reads a ping out of a data block (group 1011,
// elements by use-as code) into a PingStruct and writes it back. One table of {use-as
// code, member} gives the order of both ways and the special cases. Internal to the
// multibeam filter.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <string>

namespace kvs::multibeam::detail {

class PingExchange
{
public:
    // True when the block has the arrays 603, 604, 605 (float) and 606 (32-bit unsigned)
    // with beam-count items and a beam count within 0 .. PingStruct::kMaxBeams.
    static bool IsReadable(const CDataBlock& block);
    // Why IsReadable refuses block, for a message ("" when it does not): the beam count
    // out of range, or the beam array that is missing or does not hold one item a beam.
    static std::string WhyUnreadable(const CDataBlock& block);
    // The ping of the block, its arrays copied into the ping's own storage (block arrays
    // lie unaligned in the block's buffer). Absent values leave the member as Init left
    // it, absent optional arrays stay null. With both allowed-error arrays (678, 679)
    // present they are filled for the IHO order ihoOrder (0 outside 0 .. 4). False when
    // the block is not readable or out of memory.
    static bool Read(const CDataBlock& block, PingStruct& ping, int ihoOrder);
    // Writes every member back into the element the block has for it (status 0), the
    // nadir depth (214) and the nadir depth less the vertical offset (213) with
    // nadirDepthStatus; block time and status 0. With arraysAsRead the block is the one
    // the ping was read from and the ping's arrays are unchanged since, but for the flags
    // and the allowed errors (computed in Read): the others only get status 0, no copy.
    static void Write(CDataBlock& block, const PingStruct& ping, unsigned short nadirDepthStatus,
                      bool arraysAsRead = false);
    // Writes only the beam flag words (606).
    static void WriteFlags(CDataBlock& block, const unsigned int* flags, int count);
};

} // namespace kvs::multibeam::detail
