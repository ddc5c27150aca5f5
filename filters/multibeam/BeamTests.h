// BeamTests: the per-beam tests of the multibeam filter's chain (reject list, quality,
// slant range, depth window, swath, slope, angle, flying objects, IHO and custom error
// limits). Each ORs its bit into the flag word of every beam it fails and, where the chain
// records it, into the ping word. Owns the quick bounds derived from the settings and the
// spaced slope variant's and the flying-objects test's buffers.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/filters/multibeam/SpacedSlope.h>
#include <KvsDataBlocks/filters/multibeam/TanBound.h>

#include <vector>

class KVS_API BeamTests
{
public:
    // Derives the bounds of the trigonometric tests; again whenever the settings change.
    void Derive(const MultibeamSettings& s);

    bool FilterBeam(PingStruct& ping, const MultibeamSettings& s) const;
    bool FilterQuality(PingStruct& ping, const MultibeamSettings& s) const;
    bool FilterRange(PingStruct& ping, const MultibeamSettings& s) const;
    bool FilterDepth(PingStruct& ping, const MultibeamSettings& s) const;
    bool FilterNadir(PingStruct& ping, const MultibeamSettings& s) const;
    // The slope, angle and flying-object tests skip a ping without a nadir beam.
    bool FilterSlope(PingStruct& ping, const MultibeamSettings& s);
    bool FilterAngle(PingStruct& ping, const MultibeamSettings& s);
    bool FilterbFlyingObjects(PingStruct& ping, const MultibeamSettings& s);
    // False (nothing flagged) without the error arrays they need.
    bool FilterIHO(PingStruct& ping) const;
    bool FilterCustom(PingStruct& ping, const MultibeamSettings& s) const;

private:
    template <typename Angle, typename Distance>
    void FlagSwath(PingStruct& ping, const MultibeamSettings& s, Angle outsideAngle, Distance outsideDistance) const;

    TanBound m_portBound, m_starboardBound, m_slopeBound;
    // The interior angle acos(c) is at least the minimum angle L exactly when c <= cos L;
    // acos falls at least as fast as c rises, so a margin of 1e-9 in c settles the clear
    // cases.
    double m_minAngleCosLo = 0.0, m_minAngleCosHi = 0.0;
    bool m_minAngleBound = false;
    // The same on squares, no root needed: the squared bounds with a relative margin of
    // 1e-10 either way; usable while both bounds lie at least 1e-5 from 0.
    double m_loSqBelow = 0.0, m_loSqAbove = 0.0, m_hiSqBelow = 0.0, m_hiSqAbove = 0.0;
    bool m_minAngleSquares = false;
    SpacedSlope m_spacedSlope;
    std::vector<float> m_row; // the flying-objects test's positions, grown to the largest ping
    std::vector<int> m_live;  // the angle test's beams not rejected, likewise
};
