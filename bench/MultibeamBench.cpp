// Pings per second through MultibeamFilter::Process on a synthetic survey line, for 400-
// and 1600-beam pings with (a) the per-beam filters, (b) plus the statistical filter over
// a window of 7 pings, (c) plus the smart filter, (e) (c) with the smart filter on the
// seabed profile as the survey preset sets it (bins of 8 beams, tolerances of the depth,
// slope allowance), (d) the survey preset (examples/survey.attr, judged line edges and
// the seabed profile included), (f) the smart filter alone on its default profile (1600
// beams). The baseline beside them is the block copy that every iteration makes to hand
// the filter a fresh ping. The counters pings/s and soundings/s are rates per CPU second
// of the benchmark thread, as items_per_second is.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SurveySimulator.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum Config { kPerBeam, kWithStats, kWithSmart, kWithSmartSeabed, kSurveyPreset, kSmartOnly };

std::vector<CDataBlock> MakeLine(int beams)
{
    kvs::SurveyLineOptions o;
    o.beams = beams;
    o.pings = 32;
    kvs::SurveySimulator line(o);
    std::vector<CDataBlock> pings;
    CDataBlock block;
    while (line.Next(block)) pings.push_back(block);
    return pings;
}

CAttributeMap Attributes(Config config)
{
    CAttributeMap a;
    if (config == kSmartOnly) {
        a.SetAttribValue("SmartFilter", true); // every beam of the ping goes into its bins
        return a;
    }
    if (config == kSurveyPreset) {
        // The preset `filter` uses without -a: every filter it switches on.
        CString error;
        a.LoadFile(KVS_SOURCE_DIR "/examples/survey.attr", error);
        return a;
    }
    for (const char* name : {ATTR_BEAMREJECTFILTER, ATTR_QUALITYFILTER, ATTR_RANGEFILTER, ATTR_DEPTHFILTER,
                             ATTR_NADIRFILTER, "NadirDistanceFilter", ATTR_SLOPEFILTER, ATTR_ANGLEFILTER,
                             "FlyingObjectsFilter", ATTR_IHOERRORCHECK, ATTR_CUSTOMERROR})
        a.SetAttribValue(name, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "1,2,3");
    a.SetAttribValue(ATTR_FILTERQUALITY, 1); // the sonar's good-detection bit, which the simulator sets
    a.SetAttribValue(ATTR_FILTERMINRANGE, 1.0);
    a.SetAttribValue(ATTR_FILTERMAXRANGE, 1000.0);
    a.SetAttribValue(ATTR_FILTERMINDEPTH, 1.0);
    a.SetAttribValue(ATTR_FILTERMAXDEPTH, 500.0);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 140.0);
    a.SetAttribValue("FilterPortNadirDistance", 300.0);
    a.SetAttribValue("FilterStarboardNadirDistance", 300.0);
    a.SetAttribValue(ATTR_FILTERSLOPEANGLE, 75.0);
    a.SetAttribValue(ATTR_FILTERMINANGLE, 100.0);
    a.SetAttribValue(ATTR_IHOORDER, 1);
    a.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.5);
    if (config >= kWithStats) {
        a.SetAttribValue(ATTR_STATISTICFILTER, true);
        a.SetAttribValue(ATTR_FILTERWINDOWSIZE, 2);
    }
    if (config >= kWithSmart) a.SetAttribValue("SmartFilter", true);
    if (config == kWithSmartSeabed) {
        a.SetAttribValue(ATTR_SMARTBINBEAMS, 8);
        a.SetAttribValue(ATTR_SMARTSLOPETOLERANCE, true);
        a.SetAttribValue(ATTR_SMARTTOLERANCEUNIT, 1);
        a.SetAttribValue("VertTolRelData", 0.015);
        a.SetAttribValue("VertTolUnrelData", 0.03);
    }
    return a;
}

void Report(benchmark::State& state, int beams)
{
    state.SetItemsProcessed(state.iterations());
    state.counters["pings/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["soundings/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * beams, benchmark::Counter::kIsRate);
}

void BM_Process(benchmark::State& state, Config config)
{
    const int beams = static_cast<int>(state.range(0));
    const std::vector<CDataBlock> line = MakeLine(beams);
    CAttributeMap a = Attributes(config);
    MultibeamFilter filter(&a);
    CDataBlock block = line[0];
    long n = 0;
    for (auto _ : state) {
        block = line[n % line.size()];
        block.SetTime(0.1 * n); // the line repeats, time keeps running
        ++n;
        benchmark::DoNotOptimize(filter.Process(block, static_cast<COMPUPDATEMODE>(0)));
    }
    Report(state, beams);
}

void BM_BlockCopyOnly(benchmark::State& state)
{
    const int beams = static_cast<int>(state.range(0));
    const std::vector<CDataBlock> line = MakeLine(beams);
    CDataBlock block = line[0];
    long n = 0;
    for (auto _ : state) {
        block = line[n % line.size()];
        block.SetTime(0.1 * n);
        ++n;
        benchmark::DoNotOptimize(block.GetDataSize());
    }
    Report(state, beams);
}

} // namespace

BENCHMARK(BM_BlockCopyOnly)->Arg(400)->Arg(1600);
BENCHMARK_CAPTURE(BM_Process, a_per_beam, kPerBeam)->Arg(400)->Arg(1600);
BENCHMARK_CAPTURE(BM_Process, b_plus_stats_w7, kWithStats)->Arg(400)->Arg(1600);
BENCHMARK_CAPTURE(BM_Process, c_plus_smart, kWithSmart)->Arg(400)->Arg(1600);
BENCHMARK_CAPTURE(BM_Process, d_survey_preset, kSurveyPreset)->Arg(400)->Arg(1600);
BENCHMARK_CAPTURE(BM_Process, e_plus_smart_seabed, kWithSmartSeabed)->Arg(400)->Arg(1600);

BENCHMARK_CAPTURE(BM_Process, f_smart_only, kSmartOnly)->Arg(1600);
BENCHMARK_MAIN();
