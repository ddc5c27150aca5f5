// End-to-end runs of the filter quality tools: the shipped presets meet their detection
// and false-alarm targets on simulated lines, the summary counts per filter, and the
// tuner finds settings that meet its targets.
#include "TempFolder.h"
#include "ToolRun.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <tuple>

#ifdef KVS_TOOL_PATH

static nlohmann::json Filter(const std::string& line, const std::string& attr)
{
    const RunResult r = RunTool("filter " + line + " -a " + attr + " --json");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.status == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
}

TEST(FilterQuality, PresetsMeetTheTargetsAcrossDepthsAndBeamCounts)
{
    // Default noise and spike sizes; more spikes and flying objects than by default so
    // that a short line carries enough of them to judge. Targets: at least 99 % of the
    // injected outliers flagged, at most 2 % of the clean beams. One line a depth, each
    // with another beam count; the survey preset from 12 m to 2500 m.
    const struct { int metres, beams, pings; const char* preset; } lines[] = {
        {12, 256, 40, "shallow.attr"}, {30, 1600, 15, "filters.attr"}, {55, 800, 15, "filters.attr"},
        {90, 400, 30, "filters.attr"}, {12, 256, 40, "survey.attr"},  {30, 1600, 15, "survey.attr"},
        {90, 400, 30, "survey.attr"},  {400, 800, 20, "survey.attr"}, {2500, 400, 30, "survey.attr"}};
    TempFolder dir("quality");
    const std::string line = dir / "preset.kvs";
    int seed = 1;
    for (const auto& l : lines) {
        SCOPED_TRACE(std::to_string(l.metres) + " m, " + std::to_string(l.beams) + " beams");
        ASSERT_EQ(RunTool("simulate -q -o " + line + " --spikes 0.01 --flying 0.5 --depth " + std::to_string(l.metres) +
                          " --beams " + std::to_string(l.beams) + " --pings " + std::to_string(l.pings) + " --seed " +
                          std::to_string(++seed)).status, 0);
        const nlohmann::json j = Filter(line, KVS_SOURCE_DIR "/examples/" + std::string(l.preset));
        ASSERT_TRUE(j.contains("falseAlarmPercent") && j["injectedOutliers"].get<long>() > 100) << j;
        const long injected = j["injectedOutliers"].get<long>(), caught = j["injectedFlagged"].get<long>();
        EXPECT_TRUE(j["falseAlarmPercent"].get<double>() <= 2.0 && 100.0 * caught >= 99.0 * injected) << caught << " of " << injected << ": " << j;
    }
}

TEST(FilterQuality, TheSummaryCountsPerFilterAndTuneWritesSettingsThatMeetItsTargets)
{
    TempFolder dir("tune");
    const std::string line = dir / "line.kvs", base = dir / "base.attr", tuned = dir / "tuned.attr", svg = dir / "c.svg";
    const std::string sim = "simulate -q -o " + line + " --pings 12 --beams 256 --spikes 0.01", slope = dir / "slope.attr";
    ASSERT_EQ(RunTool(sim + " --flying 0.5 --seed 5").status, 0);
    // Neighbouring beams' noise on a strict slope limit: false alarms, all of them slope's.
    std::ofstream(slope) << "SlopeFilter = bool:true\nFilterSlopeAngle = double:5\n";
    const nlohmann::json alone = Filter(line, slope);
    EXPECT_EQ(std::tuple(alone["perFilter"]["slope"]["cleanFlagged"], alone["perFilter"]["slope"]["injectedFlagged"],
                         alone["perFilter"]["smart filter"]["beams"], alone["falseAlarmPercent"].get<double>() > 2.0),
              std::tuple(alone["cleanFlagged"], alone["injectedFlagged"], 0, true));
    const std::string text = RunTool("filter " + line + " -a " + slope).out;
    EXPECT_TRUE(text.find("% false alarms)") != std::string::npos && text.find("outliers caught") != std::string::npos) << text;

    // The smart filter on its default profile in metres flags most clean beams; a strict slope limit
    // flags more. The tuner must loosen both.
    std::ofstream(base) << "# base\nSmartFilter = bool:true\nVertTolRelData = double:0.07\n"
                           "SlopeFilter = bool:true\nFilterSlopeAngle = double:20\nSlopeBaseRatio = double:0.05\n";
    RunResult r = RunTool("tune " + line + " -a " + base + " -o " + tuned + " --svg " + svg);
    ASSERT_EQ(std::tuple(r.status, r.out.find("slope, FilterSlopeAngle:") != std::string::npos), std::tuple(0, true)) << r.out;
    const nlohmann::json j = Filter(line, tuned);
    EXPECT_TRUE(j["falseAlarmPercent"].get<double>() <= 1.0 && j["detectionPercent"].get<double>() >= 99.0) << j;
    // the base file's comments are kept
    EXPECT_EQ(std::tuple(ReadWholeFile(tuned).rfind("# base\n", 0), ReadWholeFile(svg).find("chain, tuned settings") != std::string::npos),
              std::tuple(0u, true));

    // Targets out of reach (spikes of 0.1 % of the depth, within the noise): the best
    // found is written, and the run fails.
    ASSERT_EQ(RunTool(sim + " --spike-size 0.001:0.002").status, 0);
    r = RunTool("tune " + line + " -a " + base + " -o " + tuned + " --max-false-alarm 0.1 --min-detection 99");
    EXPECT_EQ(std::tuple(r.status, r.out.find("no settings met") != std::string::npos), std::tuple(1, true)) << r.out;
}

#endif
