// QualityTally: how well the multibeam filters did on a line with known outliers. The
// simulator and `kvsblocks inject` mark every beam they disturbed (kSimulatedOutlierBit);
// the tally counts, overall and per filter flag bit, the injected outliers the filters
// flagged (detection) and the clean beams they flagged (false alarms). Clean beams are
// those the sonar marked usable (kSonarGoodBit): a beam the sonar itself gave up is no
// false alarm of the filters. Used by the filter summary and by the tuner.
#pragma once

#include "BeamFlags.h"

#include <array>
#include <cstdint>

namespace kvs::tool {

struct QualityTally
{
    struct PerFilter
    {
        uint64_t beams = 0;    // beams carrying the bit
        uint64_t injected = 0; // of them injected outliers
        uint64_t clean = 0;    // of them clean (usable) beams
        uint64_t usable = 0;   // of them beams the sonar marked usable
    };

    uint64_t beams = 0, rejected = 0, injected = 0, injectedFlagged = 0, cleanFlagged = 0;
    uint64_t usable = 0, usableFlagged = 0; // beams the sonar marked usable, and of them flagged
    std::array<PerFilter, kBeamFlags.size()> perFilter{}; // in the order of kBeamFlags

    // Counts one ping's beam flag words.
    void Add(const unsigned int* flags, int count);
    void Add(const QualityTally& other);

    // Usable beams that carry no injected outlier.
    uint64_t Clean() const { return usable - injected; }
    // Percent of the injected outliers flagged, of the clean beams flagged (0 of none).
    double Detection() const { return Percent(injectedFlagged, injected); }
    double FalseAlarms() const { return Percent(cleanFlagged, Clean()); }
    double Detection(size_t filter) const { return Percent(perFilter[filter].injected, injected); }
    double FalseAlarms(size_t filter) const { return Percent(perFilter[filter].clean, Clean()); }

    static double Percent(uint64_t part, uint64_t whole) { return whole ? 100.0 * part / whole : 0.0; }
};

} // namespace kvs::tool
