// SpacedSlope: the slope filter's variant for dense swaths. Each beam's slope is measured
// against the nearest passing beam nearer nadir that lies at least a base distance away
// across track (a fraction of the nadir depth, so the base grows with the footprint and
// the noise), rather than against its neighbour a few centimetres away, whose depth noise
// would make any slope. Near nadir, where no beam lies a base away, the slope to the
// nadir beam is taken over the base. Used by MultibeamFilter when its slope base ratio
// is positive.
#pragma once

#include <KvsDataBlocks/host/PingStruct.h>

#include <vector>

class SpacedSlope
{
public:
    // Flags with bit every beam not rejected whose slope (degrees, from the horizontal)
    // to its reference beam exceeds limit; beams run outwards from nadir on both sides.
    // Rejected beams are neither tested nor taken as references.
    void Run(PingStruct& ping, int nadir, double limit, double baseRatio, unsigned int bit);

private:
    std::vector<int> m_passed; // the passing beams of one side, from nadir outwards
};
