// FilterTuner: finds multibeam filter settings for a simulated line whose injected
// outliers are marked (kSimulatedOutlierBit). It holds the line in memory, sweeps the
// main thresholds of every switched-on filter alone (one curve of detection against
// false alarms per threshold), then searches the chain for the settings that meet the
// targets with the fewest false alarms. Used by `kvsblocks tune`.
#pragma once

#include "QualityTally.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvs::tool {

// One threshold: the attributes it sets (all to the same value) and the values tried,
// from the strictest to the loosest.
struct TuneParam
{
    std::vector<std::string> names;
    bool isInt = false;
    std::vector<double> grid;
};

// A filter whose thresholds are tuned: its switch, its flag bit and its thresholds, the
// first one its main threshold.
struct TuneFilter
{
    std::string label;
    std::string switchName;
    unsigned int bit = 0;
    std::vector<TuneParam> params;
};

// The tunable filters switched on in base, with grids that fit its other settings.
std::vector<TuneFilter> TunableFilters(const CAttributeMap& base);

class FilterTuner
{
public:
    struct Targets
    {
        double maxFalseAlarm = 1.0; // percent of the clean beams
        double minDetection = 99.0; // percent of the injected outliers
    };

    // Detection and false alarms of one filter alone at one value of one threshold.
    struct CurvePoint
    {
        double value = 0.0;
        double detection = 0.0;
        double falseAlarm = 0.0;
    };
    struct Curve
    {
        size_t filter = 0; // index into Filters()
        size_t param = 0;
        std::vector<CurvePoint> points;
    };

    // The settings found: every tuned attribute's value, and the chain's tally with them.
    struct Result
    {
        std::map<std::string, double> values;
        QualityTally tally;
        bool met = false;
        int chainRuns = 0;
    };

    FilterTuner(std::vector<CDataBlock> line, const CAttributeMap& base, Targets targets);

    const std::vector<TuneFilter>& Filters() const { return m_filters; }
    // The chain of attributes a over the whole line (copies of the blocks), drained.
    QualityTally Run(const CAttributeMap& a) const;
    // Each filter alone (beside the filters that are not tuned) over each threshold.
    std::vector<Curve> Sweep() const;
    // The chain search (see the source), starting from the base settings: the false-alarm
    // target held, the detection target met with the fewest false alarms, or failing that
    // the most detection found.
    Result Search(const std::vector<Curve>& curves) const;
    // The base settings with values put in.
    CAttributeMap With(const std::map<std::string, double>& values) const;
    // Called after every run of the chain over the line (for progress).
    void OnRun(std::function<void()> f) { m_onRun = std::move(f); }
    // Runs Sweep makes: one a value of every threshold's grid.
    size_t SweepRuns() const;

private:
    // True when outcome a is better than b for the targets.
    bool Better(const QualityTally& a, const QualityTally& b) const;

    std::vector<CDataBlock> m_line;
    CAttributeMap m_base;
    Targets m_targets;
    std::vector<TuneFilter> m_filters;
    std::function<void()> m_onRun;
};

} // namespace kvs::tool
