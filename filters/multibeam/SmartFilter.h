// SmartFilter: the multibeam filter's smart test. The mean depth of the beams seen within
// the reliable sector sets the analysed half-width (depth times the depth/width ratio);
// beams beyond it fail, and the others are tested against an across-track profile of the
// ping averaged in bins, the nadir zone levelled, with a tolerance by the angle at which
// each bin is seen. The variant settings hand the profile steps to SmartProfile: the
// seabed profile (median points of bins by beams or by a fraction of the depth, straight
// lines between them, a slope allowance) when SmartMedianProfile, SmartBinBeams,
// SmartBinDepthRatio or SmartSlopeTolerance is set, the grid variants otherwise. Owns the
// reusable bins.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/filters/multibeam/SmartProfile.h>
#include <KvsDataBlocks/filters/multibeam/TanBound.h>

#include <vector>

class KVS_API SmartFilter
{
public:
    // The most bins across the analysed half-width that are worked with.
    static constexpr int kMaxAveragingClips = 100000;

    // Takes the settings' reliable sector and bin count; again whenever they change.
    void Derive(const MultibeamSettings& s);
    // ORs bit into every beam not rejected that fails; a ping without a nadir beam is
    // skipped. Returns false (the chain ignores the result).
    bool Run(PingStruct& ping, const MultibeamSettings& s, unsigned int bit);

private:
    struct Bin
    {
        int count = 0;
        double mean = 0.0;
        double tolerance = 0.0;
        void Add(double v)
        {
            ++count;
            mean += (v - mean) / count;
        }
    };

    // Adds the depth z[beams[k]] of each of n beams to the running mean of its bin
    // (binOf[k], -1 for none), in the order given.
    void AddToBins(const int* binOf, const int* beams, const float* z, int n);

    TanBound m_reliableBound;
    std::vector<Bin> m_bins;
    std::vector<int> m_live;  // the beams a pass works on, grown to the largest ping
    std::vector<int> m_binOf; // the bin of each of them
    SmartProfile m_profile;
};
