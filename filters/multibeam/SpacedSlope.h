// SpacedSlope: the slope filter's variant for dense swaths. Each beam's slope is measured
// against the nearest passing beam nearer nadir that lies at least a base distance away
// across track (a fraction of the nadir depth, so the base grows with the footprint and
// the noise), rather than against its neighbour a few centimetres away, whose depth noise
// would make any slope. The chains start from an anchor: of the beams within a base of
// the nadir beam, the one of median depth, so that a spike at nadir does not become the
// reference of every beam beside it. Near the anchor, where no beam lies a base away,
// the slope to it is taken over the base. Used by MultibeamFilter when its slope base
// ratio is positive.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <vector>

class KVS_API SpacedSlope
{
public:
    // Flags with bit every beam not rejected whose slope (degrees, from the horizontal)
    // to its reference beam exceeds limit; beams run outwards from the anchor on both
    // sides (the anchor itself is not tested). Rejected beams are neither tested nor
    // taken as references. The base is baseRatio times the nadir beam's depth.
    void Run(PingStruct& ping, int nadir, double limit, double baseRatio, unsigned int bit);

private:
    // The beam of median depth among those not rejected within base of nadir (across).
    int Anchor(const PingStruct& ping, int nadir, double base);

    std::vector<int> m_passed; // the passing beams of one side, from the anchor outwards
    std::vector<int> m_near;   // the beams near nadir
};
