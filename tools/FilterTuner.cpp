#include "FilterTuner.h"

#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvs::tool {

namespace {

// Threshold grids, strictest first. The smart filter's tolerances depend on their unit
// (SmartToleranceUnit): metres, a fraction of the depth, a multiple of the beam's error.
constexpr double kSlopeAngles[] = {20, 30, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85};
constexpr double kSlopeBases[] = {0.01, 0.02, 0.03, 0.05, 0.08, 0.12};
constexpr double kMinAngles[] = {170, 160, 150, 140, 120, 100, 80, 60};
constexpr double kQuantScaleCodes[] = {9, 8, 7, 6, 5, 4, 3, 2, 1}; // scale 0.1 .. 6
constexpr double kWindowCodes[] = {0, 1, 2};                       // 3, 5, 7 pings
constexpr double kFlyingSizes[] = {1, 2, 3, 4, 6, 8};
constexpr double kFlyingBorders[] = {8, 4, 2, 1, 0};
constexpr double kSwathHalfAngles[] = {45, 50, 55, 60, 62.5, 65, 70, 75};
constexpr double kIhoOrders[] = {4, 0, 1, 2, 3};
constexpr double kCustomLimits[] = {0.1, 0.2, 0.3, 0.5, 0.75, 1, 2};
constexpr double kToleranceMetres[] = {0.05, 0.1, 0.2, 0.3, 0.5, 0.75, 1, 1.5, 2, 3};
constexpr double kToleranceDepthFractions[] = {0.002, 0.003, 0.005, 0.0075, 0.01, 0.015, 0.02, 0.03, 0.05};
constexpr double kToleranceErrorMultiples[] = {1.5, 2, 2.5, 3, 3.5, 4, 5, 6, 8, 10};
constexpr double kDepthWidthRatios[] = {2, 3, 4, 5, 8};
constexpr double kAveragingClips[] = {10, 15, 20, 25, 35, 50};

template <size_t N>
TuneParam Param(std::vector<std::string> names, bool isInt, const double (&grid)[N])
{
    return {std::move(names), isInt, std::vector<double>(grid, grid + N)};
}

bool IsOn(const CAttributeMap& a, const char* name)
{
    bool on = false;
    unsigned int st = 0;
    return a.GetAttribValue(name, on, st) && on;
}

double Value(const CAttributeMap& a, const std::string& name, double fallback)
{
    double v = fallback;
    unsigned int st = 0;
    a.GetAttribValue(name.c_str(), v, st);
    return v;
}

size_t BitIndex(unsigned int bit)
{
    for (size_t i = 0; i < kBeamFlags.size(); ++i)
        if (kBeamFlags[i].bit == bit) return i;
    return 0;
}

} // namespace

std::vector<TuneFilter> TunableFilters(const CAttributeMap& base)
{
    std::vector<TuneFilter> t;
    if (IsOn(base, ATTR_NADIRFILTER))
        t.push_back({"swath", ATTR_NADIRFILTER, Multibeam::kFlagSwath,
                     {Param({ATTR_FILTERPORTNADIRANGLE, ATTR_FILTERSTARBOARDNADIRANGLE}, false, kSwathHalfAngles)}});
    if (IsOn(base, ATTR_SLOPEFILTER)) {
        TuneFilter f{"slope", ATTR_SLOPEFILTER, Multibeam::kFlagSlope, {Param({ATTR_FILTERSLOPEANGLE}, false, kSlopeAngles)}};
        if (Value(base, ATTR_SLOPEBASERATIO, 0.0) > 0.0) f.params.push_back(Param({ATTR_SLOPEBASERATIO}, false, kSlopeBases));
        t.push_back(f);
    }
    if (IsOn(base, ATTR_ANGLEFILTER))
        t.push_back({"angle", ATTR_ANGLEFILTER, Multibeam::kFlagAngle, {Param({ATTR_FILTERMINANGLE}, false, kMinAngles)}});
    if (IsOn(base, ATTR_STATISTICFILTER))
        t.push_back({"statistics", ATTR_STATISTICFILTER, Multibeam::kFlagStatistics,
                     {Param({ATTR_FILTERQUANTSCALE}, true, kQuantScaleCodes), Param({ATTR_FILTERWINDOWSIZE}, true, kWindowCodes)}});
    if (IsOn(base, "FlyingObjectsFilter"))
        t.push_back({"flying object", "FlyingObjectsFilter", Multibeam::kFlagFlyingObject,
                     {Param({"FlyingObjectSize"}, true, kFlyingSizes), Param({"FlyingObjectBorder"}, true, kFlyingBorders)}});
    if (IsOn(base, "SmartFilter")) {
        const int unit = static_cast<int>(Value(base, ATTR_SMARTTOLERANCEUNIT, 0.0));
        auto tolerances = [&](const char* name) {
            return unit == 1   ? Param({name}, false, kToleranceDepthFractions)
                   : unit == 2 ? Param({name}, false, kToleranceErrorMultiples)
                               : Param({name}, false, kToleranceMetres);
        };
        t.push_back({"smart filter", "SmartFilter", Multibeam::kFlagSmart,
                     {tolerances("VertTolUnrelData"), tolerances("VertTolRelData"),
                      Param({"DepthWidthRatio"}, false, kDepthWidthRatios),
                      Param({"NumberAveragingClips"}, true, kAveragingClips)}});
    }
    if (IsOn(base, ATTR_IHOERRORCHECK))
        t.push_back({"IHO error", ATTR_IHOERRORCHECK, Multibeam::kFlagIhoError, {Param({ATTR_IHOORDER}, true, kIhoOrders)}});
    if (IsOn(base, ATTR_CUSTOMERROR))
        t.push_back({"custom error", ATTR_CUSTOMERROR, Multibeam::kFlagCustomError,
                     {Param({ATTR_CUSTOMERRORVALUE}, false, kCustomLimits)}});
    return t;
}

FilterTuner::FilterTuner(std::vector<CDataBlock> line, const CAttributeMap& base, Targets targets)
    : m_line(std::move(line)), m_base(base), m_targets(targets), m_filters(TunableFilters(base))
{
}

QualityTally FilterTuner::Run(const CAttributeMap& a) const
{
    CAttributeMap settings = a;
    MultibeamFilter filter(&settings);
    QualityTally tally;
    CDataBlock block;
    std::vector<unsigned int> flags;
    auto count = [&](const CDataBlock& b) {
        CKvsBytePtr e;
        int n = 0;
        unsigned short st = 0;
        if (!b.GetData(UseAs::kBeamFlags, e, CDataBlock::kByUseAs) || !e.GetDataPtr() ||
            !b.GetDataValue(UseAs::kBeamCount, n, st, CDataBlock::kByUseAs))
            return;
        const int items = static_cast<int>(e.GetLength() / sizeof(unsigned int));
        n = std::clamp(n, 0, items);
        flags.resize(static_cast<size_t>(n));
        if (n) std::memcpy(flags.data(), e.GetDataPtr(), flags.size() * sizeof(unsigned int));
        tally.Add(flags.data(), n);
    };
    const COMPUPDATEMODE full = static_cast<COMPUPDATEMODE>(0);
    for (const CDataBlock& in : m_line) {
        block = in;
        if (filter.Process(block, full)) count(block);
    }
    while (filter.GetRemainder(block)) count(block);
    if (m_onRun) m_onRun();
    return tally;
}

size_t FilterTuner::SweepRuns() const
{
    size_t runs = 0;
    for (const TuneFilter& f : m_filters)
        for (const TuneParam& p : f.params) runs += p.grid.size();
    return runs;
}

CAttributeMap FilterTuner::With(const std::map<std::string, double>& values) const
{
    CAttributeMap a = m_base;
    for (const TuneFilter& f : m_filters)
        for (const TuneParam& p : f.params)
            for (const std::string& name : p.names) {
                const auto it = values.find(p.names.front());
                if (it == values.end()) continue;
                if (p.isInt)
                    a.SetAttribValue(name.c_str(), static_cast<int>(std::lround(it->second)));
                else
                    a.SetAttribValue(name.c_str(), it->second);
            }
    return a;
}

std::vector<FilterTuner::Curve> FilterTuner::Sweep() const
{
    std::vector<Curve> curves;
    for (size_t fi = 0; fi < m_filters.size(); ++fi) {
        const TuneFilter& f = m_filters[fi];
        // The filter alone: every other tuned filter off; reject list, quality, range and
        // depth window stay as set, since they say what counts as data at all.
        CAttributeMap solo = m_base;
        for (const TuneFilter& other : m_filters)
            if (&other != &f) solo.SetAttribValue(other.switchName.c_str(), false);
        const size_t bit = BitIndex(f.bit);
        for (size_t pi = 0; pi < f.params.size(); ++pi) {
            Curve c{fi, pi, {}};
            for (double v : f.params[pi].grid) {
                CAttributeMap a = solo;
                for (const std::string& name : f.params[pi].names) {
                    if (f.params[pi].isInt)
                        a.SetAttribValue(name.c_str(), static_cast<int>(std::lround(v)));
                    else
                        a.SetAttribValue(name.c_str(), v);
                }
                const QualityTally t = Run(a);
                c.points.push_back({v, t.Detection(bit), t.FalseAlarms(bit)});
            }
            curves.push_back(std::move(c));
        }
    }
    return curves;
}

// The false-alarm target is a hard limit: within it, settings that reach the detection
// target beat those that do not, then fewer false alarms win (reaching it) or more
// detection (not reaching it); beyond it, fewer false alarms win.
bool FilterTuner::Better(const QualityTally& a, const QualityTally& b) const
{
    auto quiet = [&](const QualityTally& t) { return t.FalseAlarms() <= m_targets.maxFalseAlarm; };
    auto finds = [&](const QualityTally& t) { return t.Detection() >= m_targets.minDetection; };
    if (quiet(a) != quiet(b)) return quiet(a);
    if (!quiet(a)) {
        if (a.cleanFlagged != b.cleanFlagged) return a.cleanFlagged < b.cleanFlagged;
        return a.injectedFlagged > b.injectedFlagged;
    }
    if (finds(a) != finds(b)) return finds(a);
    if (!finds(a) && a.injectedFlagged != b.injectedFlagged) return a.injectedFlagged > b.injectedFlagged;
    if (a.cleanFlagged != b.cleanFlagged) return a.cleanFlagged < b.cleanFlagged;
    return a.injectedFlagged > b.injectedFlagged;
}

// The search. The filters of a chain work on what the ones before them left, so the
// best settings of each filter alone are not the best of the chain; but a filter that
// alone flags far more clean beams than the whole chain may cannot be part of a good
// chain either. So:
// 1. From each filter's solo curves, the candidate values of each threshold are those
//    whose false alarms alone stay within twice the target (all values when none does).
// 2. Starting from the base settings, coordinate descent over the chain: each threshold
//    in turn takes the candidate value that makes the whole chain best (see Better: the
//    false-alarm target held, the detection target met with the fewest false alarms, or
//    failing that the most detection), the others held. Passes repeat until one changes nothing (at most four).
// Every step runs the full chain over the whole line, so the result is measured, not
// estimated; the cost is a few dozen chain runs.
FilterTuner::Result FilterTuner::Search(const std::vector<Curve>& curves) const
{
    Result r;
    r.tally = Run(m_base);
    ++r.chainRuns;
    for (int pass = 0; pass < 4; ++pass) {
        bool changed = false;
        for (const Curve& c : curves) {
            const TuneParam& p = m_filters[c.filter].params[c.param];
            std::vector<double> candidates;
            for (const CurvePoint& pt : c.points)
                if (pt.falseAlarm <= 2.0 * m_targets.maxFalseAlarm) candidates.push_back(pt.value);
            if (candidates.empty()) candidates = p.grid;
            const std::string& key = p.names.front();
            const auto held = r.values.find(key);
            const double current = held != r.values.end() ? held->second : std::numeric_limits<double>::quiet_NaN();
            for (double v : candidates) {
                if (v == current) continue;
                std::map<std::string, double> trial = r.values;
                trial[key] = v;
                const QualityTally t = Run(With(trial));
                ++r.chainRuns;
                if (Better(t, r.tally)) {
                    r.values = std::move(trial);
                    r.tally = t;
                    changed = true;
                }
            }
        }
        if (!changed) break;
    }
    r.met = r.tally.Detection() >= m_targets.minDetection && r.tally.FalseAlarms() <= m_targets.maxFalseAlarm;
    return r;
}

} // namespace kvs::tool
