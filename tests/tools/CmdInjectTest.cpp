// kvsblocks inject and the filter's measurements on real seabed: outliers go only into
// usable beams with the truth bit, the same seed gives the same file, the filter summary
// carries detection only where there is truth, names the settings it used, warns about a
// filter that flags most of a line, and the survey preset cleans the real lines.
#include "StreamFilter.h"
#include "TempFolder.h"
#include "ToolRun.h"
#include "formats/gsf/GsfFiles.h"

#include <KvsDataBlocks/config/AttributeNames.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <tuple>

#ifdef KVS_TOOL_PATH

namespace {

nlohmann::json FilterJson(const std::string& args)
{
    const RunResult r = RunTool("filter " + args + " --json --no-progress 2>/dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.status == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
}

} // namespace

TEST(CmdInject, OutliersGoIntoUsableBeamsOnlyTheSameSeedGivesTheSameFileAndTruthBringsDetection)
{
    TempFolder dir("inject");
    const std::string line = dir / "line.kvs", a = dir / "a.kvs", b = dir / "b.kvs", c = dir / "c.kvs";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --pings 20 --beams 200 --spikes 0 --flying 0 --seed 3").status, 0);
    // The plain line has no truth: no detection or false-alarm figures, only the usable share.
    const nlohmann::json plain = FilterJson(line);
    EXPECT_EQ(std::tuple(plain["detectionPercent"].is_null(), plain["falseAlarmPercent"].is_null(),
                         plain["perFilter"]["slope"]["falseAlarmPercent"].is_null(), plain["usableBeams"].get<int>()),
              std::tuple(true, true, true, 4000));
    EXPECT_NE(plain["settings"].get<std::string>().find("built-in survey preset"), std::string::npos) << plain;

    const std::string opts = " --spikes 0.02 --subtle 0.01 --clusters 0.3 --bursts 0.2";
    const RunResult r = RunTool("inject " + line + " -o " + a + " --seed 9" + opts);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("spikes"), std::string::npos) << r.out;
    ASSERT_EQ(RunTool("inject -q " + line + " -o " + b + " --seed 9" + opts).status, 0);
    ASSERT_EQ(RunTool("inject -q " + line + " -o " + c + " --seed 10" + opts).status, 0);
    EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(b));
    EXPECT_NE(ReadWholeFile(a), ReadWholeFile(c));

    const nlohmann::json j = FilterJson(a);
    EXPECT_GT(j["injectedOutliers"].get<int>(), 100) << j;
    EXPECT_GE(j["detectionPercent"].get<double>(), 95.0) << j;
    EXPECT_LE(j["falseAlarmPercent"].get<double>(), 2.0) << j;

    // Bad options: sizes outside 0..1, rates that add up past every beam, an input that is
    // the output.
    for (const char* bad : {" --spike-size 0.5:0.2", " --spikes 0.8 --subtle 0.5", " --subtle-size 1:2"})
        EXPECT_EQ(RunTool("inject -q " + line + " -o " + c + bad).status, 2) << bad;
    EXPECT_EQ(RunTool("inject -q " + line + " -o " + line).status, 2);
}

TEST(CmdInject, TheFilterWarnsAboutAFilterThatFlagsMostOfALineNamingItsSettingsAndTheLinesDepths)
{
    TempFolder dir("guard");
    const std::string line = dir / "line.kvs", attr = dir / "window.attr";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --pings 10 --beams 100 --depth 60 --seed 2").status, 0);
    std::ofstream(attr) << "DepthFilter = bool:true\nFilterMinDepth = double:2\nFilterMaxDepth = double:50\n";
    const RunResult r = RunTool("filter " + line + " -a " + attr + " --no-progress");
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* part : {"warning: filter 'depth window' flags", "FilterMaxDepth = 50",
                             "of the pings are marked invalid (more than MaxBeamReject = 40 %", "m deep"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

TEST(CmdInject, TheSurveyPresetCleansTheRealLines)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("real");
    for (const char* name : {gsftest::k0059, gsftest::k0175, gsftest::k0029}) {
        SCOPED_TRACE(name);
        const std::string line = dir / "line.kvs", injected = dir / "inj.kvs";
        ASSERT_EQ(RunTool("import " + gsftest::kDir + name + " -o " + line).status, 0);
        const nlohmann::json plain = FilterJson(line);
        EXPECT_LE(plain["usableFlaggedPercent"].get<double>(), 1.0) << plain;
        EXPECT_TRUE(plain["warnings"].empty()) << plain["warnings"];
        ASSERT_EQ(RunTool("inject -q " + line + " -o " + injected + " --seed 1 --spikes 0.02 --clusters 0.5").status,
                  0);
        const nlohmann::json j = FilterJson(injected);
        EXPECT_GE(j["detectionPercent"].get<double>(), 99.0) << j;
        EXPECT_LE(j["falseAlarmPercent"].get<double>(), 1.0) << j;
    }
}

// Under SmartToleranceUnit = 2 the pings without estimated vertical errors are named in a
// warning unless a fallback tolerance tests them.
TEST(CmdInject, TheFilterWarnsOfPingsTheSmartFilterCannotTestUnlessAFallbackTestsThem)
{
    kvs::tool::FilterSummary sum;
    sum.pingsWithoutErrors = 4;
    for (const auto& [fallback, warned] : {std::pair{0.0, true}, {0.02, false}}) {
        CAttributeMap a;
        a.SetAttribValue("SmartFilter", true);
        a.SetAttribValue(ATTR_SMARTTOLERANCEUNIT, 2);
        if (fallback > 0.0) a.SetAttribValue(ATTR_SMARTFALLBACKRATIO, fallback);
        const std::vector<std::string> w = kvs::tool::FilterGuards(sum, a);
        EXPECT_EQ(w.size() == 1 && w[0].find("none of the 4 pings") != std::string::npos, warned) << fallback;
        EXPECT_EQ(w.empty(), !warned) << fallback;
    }
}

#endif
