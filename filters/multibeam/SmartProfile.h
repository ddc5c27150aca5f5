// SmartProfile: the across-track seabed profile of one ping as the smart filter's sound
// variants build and test it (MultibeamFilter runs it in place of the specified profile
// steps when one of the variant settings is on). Bins of equal across-track width hold
// the mean z of their beams; the nadir zone may follow the straight line between its
// side bins; empty bins may be left out; tolerances may be metres, a fraction of the
// depth or a multiple of each beam's estimated vertical error. Owns its reusable bins.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <vector>

class KVS_API SmartProfile
{
public:
    enum class ToleranceUnit { Metres = 0, DepthFraction = 1, EstimatedError = 2 };

    struct Settings
    {
        double reliableAngle = 30.0;     // degrees from the vertical
        double nadirAreaPercent = 10.0;  // of the analysed half-width
        double tolReliable = 0.07;       // in the tolerance unit
        double tolUnreliable = 0.1;
        bool slopedNadir = false;
        bool skipEmptyBins = false;
        ToleranceUnit unit = ToleranceUnit::Metres;
    };

    // The profile steps after the width test, on the beams not rejected: the bin grid
    // from smallest to largest across-track x (metres, smallest <= 0 <= largest), bins of
    // width binWidth (> 0) across the analysed half-width, the nadir zone, the tolerances,
    // then every beam against the profile; failing beams get bit. With the error unit a
    // ping without estimated vertical errors (676) is not tested.
    void Run(PingStruct& ping, const Settings& s, double smallest, double largest, double binWidth,
             double halfWidth, unsigned int bit);

private:
    struct Bin
    {
        int count = 0;
        double mean = 0.0;
        double tolerance = 0.0;
    };

    // The nearest bin at or beyond k (step -1 or +1) that holds data, -1 when none.
    int Filled(int k, int step) const;
    // The profile at grid coordinate c (bin k's centre at k) with its tolerance factor;
    // false where the profile has no data there. Defined, and inlined into Run, in the
    // source: it runs for every beam.
    inline bool At(double c, double& reference, double& tolerance) const;

    std::vector<Bin> m_bins;
    bool m_skipEmpty = false;
};
