#include "QualityTally.h"

#include "SurveySimulator.h"

namespace kvs::tool {

void QualityTally::Add(const unsigned int* flags, int count)
{
    for (int i = 0; i < count; ++i) {
        const unsigned int f = flags[i];
        const bool outlier = (f & kSimulatedOutlierBit) != 0;
        const bool flagged = Multibeam::IsBeamRejected(f);
        // Outliers are only ever put into usable beams; a marked beam counts as usable.
        const bool good = outlier || (f & kSonarGoodBit) != 0;
        const bool clean = good && !outlier;
        ++beams;
        rejected += flagged;
        usable += good;
        usableFlagged += good && flagged;
        injected += outlier;
        injectedFlagged += outlier && flagged;
        cleanFlagged += clean && flagged;
        if (!flagged) continue;
        for (size_t b = 0; b < kBeamFlags.size(); ++b) {
            if (!(f & kBeamFlags[b].bit)) continue;
            PerFilter& p = perFilter[b];
            ++p.beams;
            p.injected += outlier;
            p.clean += clean;
            p.usable += good;
        }
    }
}

void QualityTally::Add(const QualityTally& other)
{
    beams += other.beams;
    rejected += other.rejected;
    injected += other.injected;
    injectedFlagged += other.injectedFlagged;
    cleanFlagged += other.cleanFlagged;
    usable += other.usable;
    usableFlagged += other.usableFlagged;
    for (size_t b = 0; b < perFilter.size(); ++b) {
        perFilter[b].beams += other.perFilter[b].beams;
        perFilter[b].injected += other.perFilter[b].injected;
        perFilter[b].clean += other.perFilter[b].clean;
        perFilter[b].usable += other.perFilter[b].usable;
    }
}

} // namespace kvs::tool
