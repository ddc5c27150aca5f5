// End-to-end runs of the filter quality tools: the shipped presets meet their detection
// and false-alarm targets on simulated lines, the summary counts per filter, and the
// tuner finds settings that meet its targets.
#include "TempFolder.h"
#include "ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <tuple>

#ifdef KVS_TOOL_PATH

namespace {

nlohmann::json Filter(const std::string& line, const std::string& attr)
{
    const RunResult r = RunTool("filter " + line + " -a " + attr + " --json");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.status == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
}

} // namespace

TEST(FilterQuality, PresetsMeetTheTargetsAcrossDepthsAndBeamCounts)
{
    // Default noise and spike sizes; more spikes and flying objects than by default so
    // that a short line carries enough of them to judge. Targets: at least 99 % of the
    // injected outliers flagged, at most 2 % of the clean beams. One line a depth, each
    // with another beam count.
    const struct { int metres, beams, pings; const char* preset; } lines[] = {
        {12, 256, 40, "shallow.attr"}, {30, 1600, 15, "filters.attr"}, {55, 800, 15, "filters.attr"},
        {90, 400, 30, "filters.attr"}};
    TempFolder dir("quality");
    const std::string line = dir / "preset.kvs";
    int seed = 1;
    for (const auto& l : lines) {
        SCOPED_TRACE(std::to_string(l.metres) + " m, " + std::to_string(l.beams) + " beams");
        ASSERT_EQ(RunTool("simulate -q -o " + line + " --spikes 0.01 --flying 0.5 --depth " + std::to_string(l.metres) +
                          " --beams " + std::to_string(l.beams) + " --pings " + std::to_string(l.pings) + " --seed " +
                          std::to_string(++seed)).status, 0);
        const nlohmann::json j = Filter(line, KVS_SOURCE_DIR "/examples/" + std::string(l.preset));
        ASSERT_TRUE(j.contains("falseAlarmPercent"));
        EXPECT_LE(j["falseAlarmPercent"].get<double>(), 2.0);
        const long injected = j["injectedOutliers"].get<long>(), caught = j["injectedFlagged"].get<long>();
        ASSERT_GT(injected, 100);
        EXPECT_GE(100.0 * caught / injected, 99.0) << caught << " of " << injected;
    }
}

TEST(FilterQuality, SummaryCountsCatchesAndFalseAlarmsPerFilter)
{
    TempFolder dir("perfilter");
    const std::string line = dir / "line.kvs", attr = dir / "slope.attr";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --pings 10 --beams 200 --spikes 0.02 --seed 3").status, 0);
    // Neighbouring beams' noise on a strict slope limit: false alarms, all of them slope's.
    std::ofstream(attr) << "SlopeFilter = bool:true\nFilterSlopeAngle = double:5\n";
    const nlohmann::json j = Filter(line, attr);
    const nlohmann::json& slope = j["perFilter"]["slope"];
    EXPECT_EQ(std::tuple(slope["cleanFlagged"], slope["injectedFlagged"], j["perFilter"]["smart filter"]["beams"]),
              std::tuple(j["cleanFlagged"], j["injectedFlagged"], 0));
    EXPECT_GT(j["falseAlarmPercent"].get<double>(), 2.0);
    const std::string text = RunTool("filter " + line + " -a " + attr).out;
    EXPECT_TRUE(text.find("% false alarms)") != std::string::npos && text.find("outliers caught") != std::string::npos) << text;
}

TEST(FilterQuality, TuneWritesSettingsThatMeetItsTargets)
{
    TempFolder dir("tune");
    const std::string line = dir / "line.kvs", base = dir / "base.attr", tuned = dir / "tuned.attr", svg = dir / "c.svg";
    const std::string sim = "simulate -q -o " + line + " --pings 12 --beams 256 --spikes 0.01";
    ASSERT_EQ(RunTool(sim + " --flying 0.5 --seed 5").status, 0);
    // The specified smart filter in metres flags most clean beams; a strict slope limit
    // flags more. The tuner must loosen both.
    std::ofstream(base) << "# base\nSmartFilter = bool:true\nVertTolRelData = double:0.07\n"
                           "SlopeFilter = bool:true\nFilterSlopeAngle = double:20\nSlopeBaseRatio = double:0.05\n";
    RunResult r = RunTool("tune " + line + " -a " + base + " -o " + tuned + " --svg " + svg);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("slope, FilterSlopeAngle:"), std::string::npos) << r.out;
    const nlohmann::json j = Filter(line, tuned);
    EXPECT_TRUE(j["falseAlarmPercent"].get<double>() <= 1.0 && j["detectionPercent"].get<double>() >= 99.0) << j;
    EXPECT_EQ(ReadWholeFile(tuned).rfind("# base\n", 0), 0u); // the base file's comments are kept
    EXPECT_NE(ReadWholeFile(svg).find("chain, tuned settings"), std::string::npos);

    // Targets out of reach (spikes of 0.1 % of the depth, within the noise): the best
    // found is written, and the run fails.
    ASSERT_EQ(RunTool(sim + " --spike-size 0.001:0.002").status, 0);
    r = RunTool("tune " + line + " -a " + base + " -o " + tuned + " --max-false-alarm 0.1 --min-detection 99");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("no settings met"), std::string::npos) << r.out;
}

#endif
