// SmartProfile: the across-track seabed profile of one ping as the smart filter's sound
// variants build and test it (MultibeamFilter runs it in place of the default profile
// steps when one of the variant settings is on). Bins of equal across-track width hold
// the mean z of their beams; the nadir zone may follow the straight line between its
// side bins; empty bins may be left out; tolerances may be metres, a fraction of the
// depth or a multiple of each beam's estimated vertical error. The seabed profile
// (RunSeabed) instead draws the straight lines between robust bin points (the median z at
// the median x of each bin of beams neighbouring across track), so that it follows real
// relief and a minority of bad beams in a bin cannot move it. Owns its reusable storage;
// Reserve makes room once, so that filtering a ping allocates nothing.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <cmath>
#include <utility>
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
        // With the error unit, the tolerance as a fraction of the profile's depth where
        // the ping has no estimated vertical errors or a beam's is not positive; 0: such
        // a ping is not tested (and such a beam is tested against its own error).
        double fallbackRatio = 0.0;
        // The seabed profile: bins of binBeams beams (at least 3) when set, otherwise of
        // binDepthRatio times the median depth when set, otherwise of the width Run gets.
        int binBeams = 0;
        double binDepthRatio = 0.0;
        // The tolerance grows by the steepest |slope| of the profile's segment and its
        // neighbours times half the segment's length.
        bool slopeTolerance = false;
    };

    // The fewest beams a seabed-profile bin needs to give a point.
    static constexpr int kMinBinBeams = 3;

    // Room for pings of up to beams beams, so that RunSeabed allocates nothing.
    void Reserve(int beams);

    // The profile steps after the width test, on the beams not rejected: the bin grid
    // from smallest to largest across-track x (metres, smallest <= 0 <= largest), bins of
    // width binWidth (> 0) across the analysed half-width, the nadir zone, the tolerances,
    // then every beam against the profile; failing beams get bit. With the error unit a
    // ping without estimated vertical errors (676) is not tested unless fallbackRatio is set.
    void Run(PingStruct& ping, const Settings& s, double smallest, double largest, double binWidth,
             double halfWidth, unsigned int bit);

    // The seabed profile, on the beams not rejected: the beams sorted across track are cut
    // into bins (by beams, or of binWidth or the settings' depth ratio, metres > 0); each
    // bin of at least kMinBinBeams beams gives a point, its median x and the median of its
    // beams' z measured about the line through the neighbouring bins' medians; every
    // beam is compared with the straight line between the points on either side of it (the
    // outermost line carried on beyond the end points; one point: its level). A beam fails
    // when it lies further from the profile than its tolerance (strict): VR within the
    // reliable angle (seen from the profile under the beam), VU beyond, in the settings'
    // unit, plus the slope allowance when asked. Beams whose x or z is not a finite number
    // fail. No point (or no positive bin width): nothing else is tested.
    void RunSeabed(PingStruct& ping, const Settings& s, double binWidth, unsigned int bit);

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

    // A beam of the seabed profile: across-track x, z, index in the ping.
    struct Beam
    {
        float x;
        float z;
        int index;
    };

    // The tolerance of beam i in the settings' unit, before any slope allowance.
    static double UnitTolerance(const PingStruct& ping, const Settings& s, int i, double factor, double reference)
    {
        if (s.unit == ToleranceUnit::Metres) return factor;
        if (s.unit == ToleranceUnit::DepthFraction) return factor * std::fabs(reference);
        const double e = ping.estVertError ? static_cast<double>(ping.estVertError[i]) : 0.0;
        if (s.fallbackRatio > 0.0 && !(e > 0.0 && e <= 1e30)) return s.fallbackRatio * std::fabs(reference);
        return factor * e;
    }
    // Appends the point of the bin of sorted beams [first, last) when it holds enough.
    void AddPoint(size_t first, size_t last);
    // Sets each point's z to the median of its beams' z measured about the line through
    // the neighbouring points (the first medians), taken through the point's x.
    void Detrend();

    std::vector<Bin> m_bins;
    bool m_skipEmpty = false;
    std::vector<Beam> m_beams;           // seabed profile: the passing beams, by x
    std::vector<double> m_scratch;       // a bin's z (or depths) for the median
    std::vector<double> m_px, m_pz;      // the profile's points
    std::vector<double> m_rough;         // the points' plain medians
    std::vector<std::pair<size_t, size_t>> m_pointBeams; // each point's beams in m_beams
};
