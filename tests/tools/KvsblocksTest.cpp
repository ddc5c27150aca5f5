// End-to-end runs of the kvsblocks program: output and exit codes.
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>

#ifdef KVS_TOOL_PATH

namespace {

std::string Temp(const std::string& name)
{
    return std::string(::testing::TempDir()) + "/kvsblocks_" + std::to_string(getpid()) + "_" + name;
}

} // namespace

TEST(Kvsblocks, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(RunTool("").status, 2);
    EXPECT_EQ(RunTool("nosuchcommand").status, 2);
    EXPECT_EQ(RunTool("simulate").status, 2); // --output is required
    EXPECT_EQ(RunTool("simulate -o x --beams 0").status, 2);
    const RunResult help = RunTool("simulate --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--beams"), std::string::npos);
}

TEST(Kvsblocks, SimulateIsSeededAndDumpReadsItBack)
{
    const std::string a = Temp("a.kvs"), b = Temp("b.kvs");
    ASSERT_EQ(RunTool("simulate -q -o " + a + " --pings 5 --beams 50 --seed 7").status, 0);
    ASSERT_EQ(RunTool("simulate -q -o " + b + " --pings 5 --beams 50 --seed 7").status, 0);
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    const std::string ca((std::istreambuf_iterator<char>(fa)), {}), cb((std::istreambuf_iterator<char>(fb)), {});
    EXPECT_FALSE(ca.empty());
    EXPECT_EQ(ca, cb);

    const RunResult text = RunTool("dump " + a + " --count 1");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("group 1011"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("BeamCount"), std::string::npos);

    const RunResult json = RunTool("dump --json " + a);
    ASSERT_EQ(json.status, 0);
    const nlohmann::json j = nlohmann::json::parse(json.out);
    ASSERT_EQ(j.size(), 5u);
    EXPECT_EQ(j[0]["dataId"]["groupId"], 1011);
    bool sawBeams = false;
    for (const auto& e : j[4]["elements"])
        if (e["useAs"] == 602) {
            EXPECT_EQ(e["value"], 50.0);
            sawBeams = true;
        }
    EXPECT_TRUE(sawBeams);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(Kvsblocks, CorruptStreamNamesTheOffsetAfterTheGoodRecords)
{
    const std::string a = Temp("corrupt.kvs");
    ASSERT_EQ(RunTool("simulate -q -o " + a + " --kind singlebeam --pings 3").status, 0);
    std::string bytes;
    {
        std::ifstream in(a, std::ios::binary);
        bytes.assign((std::istreambuf_iterator<char>(in)), {});
    }
    ASSERT_GT(bytes.size(), 40u);
    bytes.resize(bytes.size() - 3);
    std::ofstream(a, std::ios::binary) << bytes;
    const RunResult r = RunTool("dump " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("block 1 at offset"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("truncated record at offset"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(a), std::string::npos);
    EXPECT_EQ(RunTool("dump /nonexistent/file.kvs").status, 1);
    std::remove(a.c_str());
}

TEST(Kvsblocks, TideValuesAndConversion)
{
    const std::string f = Temp("tide.txt"), g = Temp("tide2.txt");
    std::ofstream(f) << "2026/01/01 00:00:00 1.0\n2026/01/01 01:00:00 2.0\n";
    RunResult r = RunTool("tide " + f + " --at '2026-01-01 00:30:00' --at '2026-01-01 03:00:00'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("2026-01-01 00:30:00.000 1.500"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("03:00:00.000 no value"), std::string::npos) << r.out;
    // Impossible times are refused, not read as a later day.
    for (const char* at : {"2026-02-31 00:30:00", "2025-02-29 00:00:00", "2026-01-01 24:00:00"}) {
        r = RunTool("tide " + f + " --at '" + at + "'");
        EXPECT_EQ(r.status, 1) << at;
        EXPECT_NE(r.out.find("is not a time"), std::string::npos) << r.out;
    }
    r = RunTool("tide " + f + " --convert " + g);
    EXPECT_EQ(r.status, 0);
    r = RunTool("tide " + g + " --at 1767227400 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(nlohmann::json::parse(r.out)[0]["value"], 1.5);
    // A file saved by a Windows editor: byte-order mark and CRLF.
    std::ofstream(f) << "\xEF\xBB\xBF" "2026/01/01 00:00:00 1.0\r\n2026/01/01 01:00:00 2.0\r\n";
    r = RunTool("tide " + f + " --at '2026-01-01 00:30:00'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("00:30:00.000 1.500"), std::string::npos) << r.out;
    std::ofstream(f) << "2026/01/01 00:00:00 1.0\nbroken line\n";
    r = RunTool("tide " + f);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << r.out;
    std::remove(f.c_str());
    std::remove(g.c_str());
}

TEST(Kvsblocks, PlotWritesSvgWithALegend)
{
    const std::string a = Temp("plot.kvs"), svg = Temp("ping.svg");
    ASSERT_EQ(RunTool("simulate -q -o " + a + " --pings 3 --beams 40").status, 0);
    ASSERT_EQ(RunTool("plot " + a + " --ping-svg " + svg).status, 0);
    std::ifstream in(svg);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.rfind("<svg", 0), 0u);
    EXPECT_NE(text.find("accepted (40)"), std::string::npos);
    EXPECT_EQ(RunTool("plot " + a + " --ping-svg " + svg + " --ping 9").status, 1);
    std::remove(a.c_str());
    std::remove(svg.c_str());
}

TEST(Kvsblocks, FormulaEvaluatesWithVariablesFromTheCommandLine)
{
    RunResult r = RunTool("formula 'Sqrt(var0^2 + var1^2)' --var 0=3 --var 1=4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "5\n");
    // A quoted value is a text; texts join with "+"; the vessel name is bound.
    r = RunTool("formula 'var0 + \",\" + vesselName' --var '0=\"GPHDT\"' --vessel Snellius");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "GPHDT,Snellius\n");
    r = RunTool("formula 'var0*2+var1/3-var2 ; telegram note' --var 0=1.5 --var 1=9 --var 2=-1 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["result"], 7.0);
    // Integers and times have options of their own; times are milliseconds since 1970.
    r = RunTool("formula 'var3' --int 3=-12 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(nlohmann::json::parse(r.out)["result"], -12);
    r = RunTool("formula 'tim2 / 1000' --tim '2=2026-01-01 00:00:01'");
    EXPECT_EQ(r.out, "1767225601\n");
    r = RunTool("formula 'C2D(var0, var1)' --var 0=1 --var 1=2 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(nlohmann::json::parse(r.out)["result"].is_array());
}

TEST(Kvsblocks, FormulaErrorsNameCodeTextAndColumn)
{
    RunResult r = RunTool("formula 'var0 + foo(1)' --var 0=1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("formula error 5 at column 8: Unknown function"), std::string::npos) << r.out;
    r = RunTool("formula 'var7 * 2'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("error 12 at column 4: Unassigned variable"), std::string::npos) << r.out;
    r = RunTool("formula '(1+2' --json");
    EXPECT_EQ(r.status, 1);
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["error"]["code"], 8);
    EXPECT_EQ(j["error"]["text"], "Missing closing bracket");
    // A bound call without implementation fails when it runs.
    r = RunTool("formula 'AttCor(var0, var1)' --var 0=1 --var 1=2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("execution error 1: Empty function pointer"), std::string::npos) << r.out;
    // A value operation that fails fails the formula and names the call.
    const std::pair<const char*, const char*> failing[] = {
        {"1/0", "in '/' at column 2"}, {"Sqrt(-4)+1", "in 'Sqrt' at column 1"}, {"Log(0)", "in 'Log' at column 1"}};
    for (const auto& [formula, where] : failing) {
        r = RunTool(std::string("formula '") + formula + "'");
        EXPECT_EQ(r.status, 1) << formula;
        EXPECT_NE(r.out.find(std::string("execution error 14: Calculation failed ") + where), std::string::npos) << r.out;
    }
    r = RunTool("formula 'Log(0)' --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(nlohmann::json::parse(r.out)["error"]["call"], "Log") << r.out;
    // Bad option values are usage errors.
    EXPECT_EQ(RunTool("formula var0 --var 50=1").status, 2);
    EXPECT_EQ(RunTool("formula var0 --var 0=abc").status, 2);
    EXPECT_EQ(RunTool("formula var0 --int 0=1.5").status, 2);
    EXPECT_EQ(RunTool("formula var0 --var 0").status, 2);
    EXPECT_EQ(RunTool("formula").status, 2);
}

TEST(Kvsblocks, FormulaBuildsOneTelegramPerBlockOfAStream)
{
    const std::string a = Temp("telegrams.kvs");
    ASSERT_EQ(RunTool("simulate -q -o " + a + " --kind singlebeam --pings 3 --rate 1").status, 0);
    // tim0 is the block time in milliseconds; data elements are bound by position.
    RunResult r = RunTool("formula '\"T\" + ValToMyStr(tim0 / 1000 - 1767225600, 0)' --stream " + a);
    EXPECT_EQ(r.out, "T0\nT1\nT2\n");
    r = RunTool("formula 'tim0 / 1000 - 1767225600' --stream " + a);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "0\n1\n2\n");
    // --elem binds by use-as code (505: position x; the line runs north from x 500000).
    r = RunTool("formula 'EntryValue(dataElem49) + EntryStatus(dataElem0)' --elem 49=505 --stream " + a + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[2]["index"], 2);
    EXPECT_EQ(j[2]["time"], "2026-01-01 00:00:02.000");
    for (const auto& line : j) EXPECT_EQ(line["result"], 500000.0);
    // Element 0 of a single-beam block is its first depth, about 30 m.
    r = RunTool("formula 'Clip(EntryValue(dataElem0), 25, 35) - EntryValue(dataElem0) + Sign(EntryValue(dataElem0))' --stream " + a);
    EXPECT_EQ(r.out, "1\n1\n1\n");
    // A block whose telegram fails gives none and is reported; the others still do.
    r = RunTool("formula '1 / (tim0 / 1000 - 1767225601)' --stream " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("-1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("block 1 at offset"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("in '/' at column 3"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "1\n") << r.out;
    // Without a stream there are no data elements.
    EXPECT_EQ(RunTool("formula 'EntryValue(dataElem0)'").status, 1);

    // A corrupt stream: the telegrams of the good blocks, then the offset of the bad one.
    std::string bytes;
    {
        std::ifstream in(a, std::ios::binary);
        bytes.assign((std::istreambuf_iterator<char>(in)), {});
    }
    bytes.resize(bytes.size() - 3);
    std::ofstream(a, std::ios::binary) << bytes;
    r = RunTool("formula 'tim0 / 1000 - 1767225600' --stream " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("0\n1\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("truncated record at offset"), std::string::npos) << r.out;
    std::remove(a.c_str());
}

TEST(Kvsblocks, RefusedVersionCheckIsReported)
{
    const std::string a = Temp("v.kvs");
    const RunResult r = RunTool("simulate -q -o " + a + " --pings 1 2>&1; KVS_MIN_DLL_VERSION=9.0.0.0 " KVS_TOOL_PATH " simulate -q -o " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("refused to load"), std::string::npos) << r.out;
    std::remove(a.c_str());
}

#endif

#ifdef KVS_TOOL_PATH
TEST(Kvsblocks, FilterSummarisesAndRefusesABadAttributeFile)
{
    const std::string in = Temp("sb.kvs"), out = Temp("sbf.kvs"), attr = Temp("sb.attr");
    ASSERT_EQ(RunTool("simulate -q -o " + in + " --kind singlebeam --pings 400 --spikes 0.02").status, 0);
    std::ofstream(attr) << "SbfDepth = bool:true\nSbfDepthMin = double:5\nSbfDepthMax = double:60\n"
                           "SbfSpike = bool:true\nSbfSpikeGamma = double:30\nSbfSpikeNoise = double:0.5\n";
    RunResult r = RunTool("filter " + in + " -a " + attr + " -o " + out + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["blocksIn"], 400);
    EXPECT_EQ(j["blocksOut"].get<int>() + j["blocksConsumed"].get<int>(), 400);
    EXPECT_GT(j["injectedOutliers"].get<int>(), 0);
    EXPECT_EQ(RunTool("dump " + out + " --count 1").status, 0);

    EXPECT_EQ(j["corruptRecords"], 0);

    // A misspelt setting is reported with the name meant; --strict refuses the file.
    std::ofstream(attr) << "\xEF\xBB\xBFSbfDepth = bool:true\r\nSbfDeptMin = double:5\r\n";
    r = RunTool("filter " + in + " -a " + attr);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("line 2: unknown setting 'SbfDeptMin' (did you mean 'SbfDepthMin'?)"), std::string::npos) << r.out;
    r = RunTool("filter " + in + " -a " + attr + " --strict -o " + out);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("1 unknown setting"), std::string::npos) << r.out;

    std::ofstream(attr) << "SbfDepth = bool:true\nSbfDepthMin = number 5\n";
    r = RunTool("filter " + in + " -a " + attr);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(attr), std::string::npos);
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(attr.c_str());
}
#endif
