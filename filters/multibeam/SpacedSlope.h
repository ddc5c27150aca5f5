// SpacedSlope: the slope filter's variant for dense swaths. Each beam's slope is measured
// against the nearest passing beam nearer nadir that lies at least a base distance away
// across track (a fraction of the depth, so the base grows with the footprint and the
// noise), rather than against its neighbour a few centimetres away, whose depth noise
// would make any slope. No single beam can lead the test astray: the base is a fraction
// of the median depth of the passing beams about nadir; the chains start from the beam
// within a base of nadir whose depth lies nearest that median (not a spike at nadir, nor
// fish crowding in about it); and the reference of each beam is, of the nearest passing
// beam a base away and the two passing beams before it, the one of median depth. Near the
// anchor, where no beam lies a base away, the slope to it is taken over the base. Used by
// MultibeamFilter when its slope base ratio is positive.
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
    // taken as references. The base is baseRatio times the depth about nadir (NadirDepth).
    void Run(PingStruct& ping, int nadir, double limit, double baseRatio, unsigned int bit);

    // The median depth (-z) of the passing beams within kNadirSpan beam places of nadir;
    // the nadir beam's own when none passes. Beams are taken from work, whose room is kept.
    static double NadirDepth(const PingStruct& ping, int nadir, std::vector<float>& work);
    static constexpr int kNadirSpan = 64;

private:
    // Of the beams not rejected within base of nadir (across), the one whose depth lies
    // nearest depth (the depth about nadir); nadir when there is none.
    int Anchor(const PingStruct& ping, int nadir, double base, double depth);

    std::vector<int> m_passed; // the passing beams of one side, from the anchor outwards
    std::vector<int> m_near;   // the beams near nadir
    std::vector<float> m_depths; // the depths about nadir
};
