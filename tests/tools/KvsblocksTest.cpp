// End-to-end runs of the kvsblocks program: exit codes and the texts printed, one row a run.
#include "TempFolder.h"
#include "ToolRun.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <tuple>
#include <string>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace {

using nlohmann::json;

// Input files shared by the runs of this suite, made once; "$D" in a row names their folder.
class Kvsblocks : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TempFolder>("cli");
        ASSERT_EQ(Run("simulate -q -o $D/mb.kvs --pings 5 --beams 50 --seed 7 && $T simulate -q -o $D/sb.kvs --kind singlebeam --pings 3 "
                      "--rate 1 && $T simulate -q -o $D/sb400.kvs --kind singlebeam --pings 400 --spikes 0.02").status, 0);
        std::string bytes = ReadWholeFile(*s_dir / "sb.kvs");
        std::ofstream(*s_dir / "cut.kvs", std::ios::binary) << bytes.substr(0, bytes.size() - 3);
        std::ofstream(*s_dir / "tide.txt") << "2026/01/01 00:00:00 1.0\n2026/01/01 01:00:00 2.0\n";
        std::ofstream(*s_dir / "broken.txt") << "2026/01/01 00:00:00 1.0\nbroken line\n";
        std::ofstream(*s_dir / "sbf.attr") << "SbfDepth = bool:true\nSbfDepthMin = double:5\nSbfDepthMax = double:60\n"
                                              "SbfSpike = bool:true\nSbfSpikeGamma = double:30\nSbfSpikeNoise = double:0.5\n";
        std::ofstream(*s_dir / "typo.attr") << "\xEF\xBB\xBFSbfDepth = bool:true\r\nSbfDeptMin = double:5\r\n";
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static std::string Expand(std::string text)
    {
        for (size_t at; (at = text.find("$D")) != std::string::npos;) text.replace(at, 2, s_dir->path.string());
        for (size_t at; (at = text.find("$T")) != std::string::npos;) text.replace(at, 2, KVS_TOOL_PATH);
        return text;
    }
    static RunResult Run(const std::string& args) { return RunTool(Expand(args)); }
    static json Json(const std::string& args)
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
        return json::parse(r.out, nullptr, false);
    }

    static std::unique_ptr<TempFolder> s_dir;
};

std::unique_ptr<TempFolder> Kvsblocks::s_dir;

// A run: its arguments, exit status, texts each found in the output, and the whole output when given.
struct Case { const char* args; int status; std::vector<const char*> texts; const char* exact = nullptr; };

} // namespace

TEST_F(Kvsblocks, ExitCodesAndMessages)
{
    const Case cases[] = {
        // usage errors exit with 2
        {"", 2, {}}, {"nosuchcommand", 2, {}}, {"simulate -o x --beams 0", 2, {}}, {"simulate --help", 0, {"--beams"}},
        {"formula var0 --var 50=1", 2, {}}, {"formula var0 --var 0=abc", 2, {}}, {"formula var0 --int 0=1.5", 2, {}},
        {"simulate -q -o $D/x.kvs --spike-size 0.05:0.01", 2, {}}, {"simulate -q -o $D/x.kvs --spike-size 0.2:1.5", 2, {}},
        // dump, plot
        {"dump $D/mb.kvs --count 1", 0, {"group 1011", "BeamCount"}}, {"plot $D/mb.kvs --ping-svg $D/p.svg --ping 9", 1, {}},
        {"dump $D/cut.kvs", 1, {"block 1 at offset", "truncated record at offset", "$D/cut.kvs"}},
        {"dump /nonexistent/file.kvs", 1, {"/nonexistent/file.kvs"}},
        {"plot $D/mb.kvs --ping-svg $D/p.svg && cat $D/p.svg", 0, {"<svg", "Ping 3 of", "accepted 50 (100 %)"}},
        {"simulate -q -o $D/plan.kvs --pings 20 --beams 100 --spike-size 0.01:0.05 && $T plot $D/plan.kvs --plan-svg "
         "$D/plan.svg && cat $D/plan.svg", 0, {"mean depth of accepted beams", "accepted 2 000 ("}},
        // tide: values, impossible times refused, a bad line
        {"tide $D/tide.txt --at '2026-01-01 00:30:00' --at '2026-01-01 03:00:00'", 0,
         {"2026-01-01 00:30:00.000 1.500", "03:00:00.000 no value"}},
        {"tide $D/tide.txt --at '2026-02-31 00:30:00'", 1, {"is not a time"}}, {"tide $D/broken.txt", 1, {"line 2"}},
        // formula: values, texts, options, errors with code, text and column
        {"formula 'Sqrt(var0^2 + var1^2)' --var 0=3 --var 1=4", 0, {}, "5\n"},
        {"formula 'var0 + \",\" + vesselName' --var '0=\"GPHDT\"' --vessel Snellius", 0, {}, "GPHDT,Snellius\n"},
        {"formula 'tim2 / 1000' --tim '2=2026-01-01 00:00:01'", 0, {}, "1767225601\n"},
        {"formula 'var0 + foo(1)' --var 0=1", 1, {"formula error 5 at column 8: Unknown function"}},
        // no stream: no data elements
        {"formula '1/0'", 1, {"execution error 14: Calculation failed in '/' at column 2"}}, {"formula 'EntryValue(dataElem0)'", 1, {}},
        // formula over a stream: tim0 is the block time in ms, elements bound by position
        {"formula '\"T\" + ValToMyStr(tim0 / 1000 - 1767225600, 0)' --stream $D/sb.kvs", 0, {}, "T0\nT1\nT2\n"},
        {"formula 'Clip(EntryValue(dataElem0), 25, 35) - EntryValue(dataElem0) + Sign(EntryValue(dataElem0))' "
         "--stream $D/sb.kvs", 0, {}, "1\n1\n1\n"}, // element 0 is the first depth, about 30 m
        {"formula '1 / (tim0 / 1000 - 1767225601)' --stream $D/sb.kvs", 1, // the failing block is reported
         {"-1\n", "block 1 at offset", "in '/' at column 3", "\n1\n"}},
        {"formula 'tim0 / 1000 - 1767225600' --stream $D/cut.kvs", 1, {"0\n1\n", "truncated record at offset"}},
        // filter: a misspelt setting is named with the one meant; --strict and bad values refuse the file
        {"filter $D/sb.kvs -a $D/typo.attr", 0,
         {"line 2: unknown setting 'SbfDeptMin' (did you mean 'SbfDepthMin'?)"}},
        {"filter $D/sb.kvs -a $D/typo.attr --strict -o $D/f.kvs", 1, {"1 unknown or wrongly typed setting(s)"}},
        {"simulate -q -o $D/v.kvs --pings 1; KVS_MIN_DLL_VERSION=9.0.0.0 $T simulate -q -o $D/v.kvs", 1,
         {"refused to load"}},
        // an output that is an input, or two outputs that are one file: refused before anything is written
        {"filter $D/mb.kvs -o $D/mb.kvs", 2, {"the output $D/mb.kvs is the input $D/mb.kvs"}},
        {"filter - -o $D/mb.kvs < $D/mb.kvs", 2, {"is the input (standard input)"}},
        {"filter $D/sb.kvs -a $D/sbf.attr -o $D/sbf.attr", 2, {"is the input"}},
        {"plot $D/mb.kvs --ping-svg $D/mb.kvs", 2, {"is the input"}}, {"tide $D/tide.txt --convert $D/tide.txt", 2, {"is the input"}},
        {"plot $D/mb.kvs --ping-svg $D/p2.svg --line-svg $D/./p2.svg", 2, {"are the same file"}},
        // what several inputs cannot do
        {"filter $D/mb.kvs - -o $D/o", 2, {"standard input"}}, {"filter $D/mb.kvs $D/sb.kvs -o $D/sb.kvs", 2, {"names a folder"}},
        {"filter $D/mb.kvs $D/sb.kvs -o -", 2, {"not to standard output"}}, {"filter $D/mb.kvs $D/./mb.kvs -o $D/o", 2, {"are the same file"}},
        {"filter $D/mb.kvs $D/sb.kvs -o $D", 2, {"is the input"}}, {"filter $D/mb.kvs $D/sb.kvs --jobs 0", 2, {"--jobs"}},
        // geodesy
        {"geodesy inverse 0 0 0 1", 0,
         {"distance     111319.490793 m", "azimuth 1-2  90.000000000 deg", "azimuth 2-1  270.000000000 deg"}},
        {"geodesy direct 10 179.99 90 5000", 0, {"longitude     -179.9", "back azimuth  270.0"}}, {"geodesy inverse 0 0 10 10 --closed-form", 1, {"more than 1 cm allowed"}},
        {"geodesy direct 52.0 4.0 45 10000 --json", 0, {R"("backAzimuth": 225.0812835)", R"("lat2": 52.0635048)", R"("name": "WGS84")"}},
        {"geodesy inverse 50 0 51 1 --json --ellipsoid International1924", 0, {R"("distance": 131941.1853)", R"("azimuth21": 212.917356)"}},
        {"geodesy inverse 50 0 51 1 --a 6378388 --rf 297", 0, {"distance     131941.185384 m"}},
        {"geodesy inverse 1 2 3", 2, {}}, {"geodesy inverse 1 2 3 4 --ellipsoid Mars", 2, {}},
        {"geodesy inverse 95 0 0 0", 1, {"LAT1 '95' lies outside -90..90"}},
        {"geodesy direct 52 4x 45 100", 1, {"LON '4x' is not a number"}}, {"geodesy direct 52 4 45 -- -100", 1, {"negative"}},
        {"geodesy inverse 1 2 3 4 --a 6378137 --rf 0.5", 1, {}}, {"geodesy direct 52 4 45 nan", 1, {}},
    };
    for (const Case& c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(std::tuple(r.status, c.exact ? r.out : ""), std::tuple(c.status, c.exact ? c.exact : "")) << c.args << "\n" << r.out;
        for (const char* text : c.texts) EXPECT_NE(r.out.find(Expand(text)), std::string::npos) << c.args << ": " << text << "\n" << r.out;
    }
    EXPECT_EQ(std::tuple(std::filesystem::exists(*s_dir / "o"), std::filesystem::exists(*s_dir / "p2.svg")), std::tuple(false, false));
    EXPECT_EQ(std::tuple(Run("geodesy inverse 0 0 0.1 0.1").out.find("warning"),
                         Run("formula '1 / (tim0 / 1000 - 1767225601)' --stream $D/sb.kvs").out.substr(0, 3)), std::tuple(std::string::npos, "-1\n"));
}

TEST_F(Kvsblocks, JsonOutputs)
{
    ASSERT_EQ(Run("simulate -q -o $D/again.kvs --pings 5 --beams 50 --seed 7").status, 0);
    EXPECT_EQ(ReadWholeFile(*s_dir / "again.kvs"), ReadWholeFile(*s_dir / "mb.kvs")); // seeded
    const json dump = Json("dump --json $D/mb.kvs");
    const json& elements = dump[4]["elements"]; // the beam count is 50
    EXPECT_EQ(std::tuple(dump.size(), dump[0]["dataId"]["groupId"],
                         std::count_if(elements.begin(), elements.end(), [](const json& e) { return e["useAs"] == 602 && e["value"] == 50; })),
              std::tuple(5u, 1011, 1));

    ASSERT_EQ(Run("tide $D/tide.txt --convert $D/conv.txt").status, 0);
    EXPECT_EQ(Json("tide $D/conv.txt --at 1767227400 --json")[0]["value"], 1.5);

    EXPECT_EQ(std::tuple(Json("formula 'var0*2+var1/3-var2 ; telegram note' --var 0=1.5 --var 1=9 --var 2=-1 --json")["result"],
                         Json("formula 'var3' --int 3=-12 --json")["result"],
                         Json("formula 'C2D(var0, var1)' --var 0=1 --var 1=2 --json")["result"]), std::tuple(7.0, -12, json{1.0, 2.0}));
    for (const auto& [args, error] : {std::pair{"'(1+2'", R"({"code": 8, "column": 5, "text": "Missing closing bracket"})"},
                                      std::pair{"'Log(0)'", R"({"call": "Log", "code": 14, "column": 1, "text": "Calculation failed"})"}}) {
        const RunResult r = Run(std::string("formula ") + args + " --json");
        EXPECT_EQ(std::tuple(r.status, json::parse(r.out, nullptr, false)["error"]), std::tuple(1, json::parse(error))) << r.out;
    }
    // --elem binds by use-as code (505: position x; the line runs north from x 500000).
    const json lines = Json("formula 'EntryValue(dataElem49) + EntryStatus(dataElem0)' --elem 49=505 --stream $D/sb.kvs --json");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(std::tuple(lines[2]["index"], lines[2]["time"], lines[0]["result"], lines[1]["result"], lines[2]["result"]),
              std::tuple(2, "2026-01-01 00:00:02.000", 500000.0, 500000.0, 500000.0));
    // Every sounding comes out, the first and the last of the line untested by the spike
    // filter; every injected spike is caught.
    const json s = Json("filter $D/sb400.kvs -a $D/sbf.attr -o $D/sbf.kvs --json");
    EXPECT_EQ(std::tuple(s["blocksIn"], s["blocksOut"], s["blocksConsumed"], s["injectedOutliers"], s["injectedFlagged"],
                         s["corruptRecords"], s["soundingsUntestedBySpike"], Json("dump $D/sbf.kvs --json").size()),
              std::tuple(400, 400, 0, 9, 9, 0, 2, 400u));
}

#endif
