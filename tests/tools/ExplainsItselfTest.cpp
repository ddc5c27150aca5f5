// The tool explains itself: typos get the closest subcommand or option, usage errors exit
// 2, a survey file given where a record stream belongs says how to import it, formula
// --list and the README's function table follow the one catalogue, export-xyz writes
// the accepted soundings of a real line, and progress reads right.
#include "CommandLineHint.h"
#include "Progress.h"
#include "TempFolder.h"
#include "ToolRun.h"

#include <KvsDataBlocks/formula/FormulaFunctions.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kRealLine = KVS_SOURCE_DIR "/examples/data/0175_20150322_232639_EX1502L2_MB.gsf.mb121";

} // namespace

TEST(Progress, TextGivesShareRateAndTimeLeft)
{
    using kvs::tool::Progress;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress p("simulating", 1000, "pings", Progress::Style::Lines, out);
    EXPECT_EQ(p.Text(250, 10.0, false), "kvsblocks: simulating: 25 % (250 of 1000 pings), 25 pings/s, about 0:30 left");
    EXPECT_NE(p.Text(250, 10.0, true).find("[#######-----------------------]  25 %"), std::string::npos);
    Progress bytes("filtering", 0, "bytes", Progress::Style::Lines, out);
    EXPECT_EQ(bytes.Text(5000000, 2.0, false), "kvsblocks: filtering: 5 MB, 2.5 MB/s");
    EXPECT_EQ(Progress::Clock(3725), "1:02:05");
    // Nothing before the first few seconds, then a line every ten; one closing line.
    p.UpdateAt(100, 1.0);
    p.UpdateAt(300, 3.5);
    p.UpdateAt(400, 5.0);
    p.UpdateAt(900, 14.0);
    p.Done();
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    EXPECT_EQ(text, "kvsblocks: simulating: 30 % (300 of 1000 pings), 86 pings/s, about 0:08 left\n"
                    "kvsblocks: simulating: 90 % (900 of 1000 pings), 64 pings/s, about 0:02 left\n"
                    "kvsblocks: simulating: done, 900 pings in 0:14\n");
}

#ifdef KVS_TOOL_PATH

TEST(ExplainsItself, TyposGetTheClosestNameAndUsageErrorsExit2)
{
    const struct { const char* args; const char* says; } cases[] = {
        {"fitler x.kvs", "unknown subcommand 'fitler' (did you mean 'filter'?)"},
        {"frobnicate", "unknown subcommand 'frobnicate'; `kvsblocks --help` lists them"},
        {"filter x.kvs --atributes a.attr", "filter: unknown option '--atributes' (did you mean '--attributes'?)"},
        {"plot x.kvs --line-sgv l.svg", "plot: unknown option '--line-sgv' (did you mean '--line-svg'?)"},
        {"plot x.kvs", "nothing to plot: give --ping-svg, --line-svg and/or --plan-svg"},
        {"formula", "give a formula, or --list"},
        {"export-xyz", "input is required"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const RunResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
}

TEST(ExplainsItself, ASurveyFileOrFolderWhereAStreamBelongsSaysHowToImportIt)
{
    TempFolder dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const struct { std::string args, says; } cases[] = {
        {"filter " + kRealLine + " -o " + (dir / "f.kvs"), "it looks like a GSF file: import it first (kvsblocks import"},
        {"plot " + kRealLine + " --line-svg " + (dir / "l.svg"), "it looks like a GSF file"},
        {"filter " + dir.path.string() + " -o " + (dir / "f.kvs"), "it is a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const RunResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("not a record stream"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
}

TEST(ExplainsItself, FormulaListAndTheReadmeTableFollowTheCatalogue)
{
    size_t count = 0;
    const kvs::FormulaFunction* f = kvs::FormulaFunctions(count);
    ASSERT_EQ(count, 68u);
    const RunResult r = RunTool("formula --list --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json listed = nlohmann::json::parse(r.out);
    ASSERT_EQ(listed.size(), count);
    const std::string readme = ReadWholeFile(KVS_SOURCE_DIR "/README.md");
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(f[i].keyword);
        EXPECT_EQ(listed[i]["keyword"], f[i].keyword);
        EXPECT_EQ(listed[i]["arguments"], f[i].arguments);
        EXPECT_EQ(listed[i]["description"], f[i].description);
        // The README's reference table has the same row (formula --list --markdown writes it).
        std::string description = f[i].description;
        for (size_t at = 0; (at = description.find('|', at)) != std::string::npos; at += 2) description.insert(at, "\\");
        const std::string row = std::string("| `") + f[i].keyword + "(" + f[i].signature + ")` | " + description + " |";
        EXPECT_NE(readme.find(row), std::string::npos) << row;
    }
}

TEST(ExplainsItself, NmeaChecksumRefusesASentenceItCannotSign)
{
    const struct { const char* sentence; bool fails; const char* result; } cases[] = {
        {"$GPHDT,123.4,T", false, "$GPHDT,123.4,T*31"},
        {"!AIVDM,1,1,,A,1", false, nullptr},
        {"$", false, "$*00"},
        {"$GPHDT,123.4,T*31", true, nullptr}, // a checksum already
        {"GPHDT,123.4,T", true, nullptr},     // no start character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentence);
        const RunResult r = RunTool(std::string("formula 'NMEACS(var0)' --var '0=\"") + c.sentence + "\"'");
        EXPECT_EQ(r.status, c.fails ? 1 : 0) << r.out;
        if (c.fails) {
            EXPECT_NE(r.out.find("Calculation failed"), std::string::npos) << r.out;
        }
        if (c.result) {
            EXPECT_NE(r.out.find(c.result), std::string::npos) << r.out;
        }
    }
}

TEST(ExplainsItself, ExportXyzWritesTheAcceptedSoundingsOfARealLineAsDumpGivesThem)
{
    TempFolder dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string line = (dir / "line.kvs"), filtered = (dir / "filtered.kvs");
    ASSERT_EQ(RunTool("import " + kRealLine + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("filter " + line + " -a " KVS_SOURCE_DIR "/examples/deep.attr -o " + filtered).status, 0);
    const RunResult dump = RunTool("dump " + filtered + " --json");
    ASSERT_EQ(dump.status, 0);
    const nlohmann::json blocks = nlohmann::json::parse(dump.out.substr(dump.out.find('[')));
    // Depths of the accepted beams and of all beams, ping by ping, from the dump.
    std::vector<double> accepted, all;
    for (const auto& block : blocks) {
        std::vector<double> z;
        std::vector<unsigned long long> flags;
        for (const auto& e : block["elements"]) {
            if (e["useAs"] == 605) z = e["value"].get<std::vector<double>>();
            if (e["useAs"] == 606) flags = e["value"].get<std::vector<unsigned long long>>();
        }
        ASSERT_EQ(z.size(), flags.size());
        for (size_t i = 0; i < z.size(); ++i) {
            all.push_back(-z[i]);
            if (!(flags[i] & 0x01F0FF00ull)) accepted.push_back(-z[i]);
        }
    }
    ASSERT_EQ(all.size(), 1728u);
    ASSERT_EQ(accepted.size(), 1446u); // the beams the file itself does not ignore
    for (const bool everyBeam : {false, true}) {
        SCOPED_TRACE(everyBeam);
        const std::string xyz = (dir / (everyBeam ? "all.xyz" : "accepted.xyz"));
        const RunResult r = RunTool("export-xyz " + filtered + " -o " + xyz + (everyBeam ? " --all" : ""));
        ASSERT_EQ(r.status, 0) << r.out;
        std::istringstream in(ReadWholeFile(xyz));
        const std::vector<double>& want = everyBeam ? all : accepted;
        size_t n = 0;
        for (std::string text; std::getline(in, text); ++n) {
            double e = 0, north = 0, depth = 0;
            char flag[16] = {};
            const int fields = std::sscanf(text.c_str(), "%lf %lf %lf %15s", &e, &north, &depth, flag);
            ASSERT_EQ(fields, everyBeam ? 4 : 3) << text;
            ASSERT_LT(n, want.size());
            EXPECT_NEAR(depth, want[n], 0.0005) << text;
            // Positions in UTM zone 19N near 18.74 N, 67.62 W, within the swath of the line.
            EXPECT_TRUE(e > 635000 && e < 656000 && north > 2068000 && north < 2078000) << text;
        }
        EXPECT_EQ(n, want.size());
    }
}

#endif
