// kvsblocks filter over several inputs: parallel runs give what single runs give, one
// failing input spoils only its own output.
#include "ParallelFor.h"
#include "TempFolder.h"
#include "ToolRun.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

TEST(ParallelFor, RunsEveryIndexOnce)
{
    for (unsigned int jobs : {1u, 2u, 8u})
        for (size_t count : {0u, 1u, 5u, 200u}) {
            std::vector<std::atomic<int>> runs(count);
            kvs::tool::ParallelFor(count, jobs, [&](size_t i) { ++runs[i]; });
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i], 1) << jobs << " jobs, index " << i << " of " << count;
        }
}

#ifdef KVS_TOOL_PATH

const std::string kAttributes = std::string(KVS_SOURCE_DIR) + "/examples/filters.attr";

static void Simulate(const std::string& path, int pings, int seed)
{
    ASSERT_EQ(RunTool("simulate -q -o " + path + " --beams 300 --pings " + std::to_string(pings) + " --seed " + std::to_string(seed)).status, 0);
}

TEST(FilterJobs, TwoInputsInParallelMatchTwoSingleRunsAndAFailingInputSpoilsOnlyItsOwnOutput)
{
    TempFolder t("jobs");
    Simulate(t / "a.kvs", 40, 1);
    Simulate(t / "b.kvs", 55, 2);
    // The output folder is made, nested, when absent.
    const RunResult r = RunTool("filter " + t / "a.kvs" + " " + t / "b.kvs" + " -a " + kAttributes + " -o " +
                                t / "out/x" + " --jobs 2 --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["files"].size(), 2u);
    EXPECT_EQ(j["files"][0]["input"], t / "a.kvs");
    int rejected = 0;
    for (int i = 0; i < 2; ++i) {
        const std::string name = i ? "b" : "a";
        const RunResult one = RunTool("filter " + t / (name + ".kvs") + " -a " + kAttributes + " -o " + t / name + "1.kvs --json");
        ASSERT_EQ(one.status, 0) << one.out;
        EXPECT_EQ(ReadWholeFile(t / ("out/x/" + name + ".kvs")), ReadWholeFile(t / (name + "1.kvs")));
        // The summary of each file is that of its single run, times aside.
        nlohmann::json single = nlohmann::json::parse(one.out), file = j["files"][i];
        for (const char* key : {"filterSeconds", "blocksPerSecond", "input", "output", "exitStatus", "messages"}) {
            single.erase(key);
            file.erase(key);
        }
        EXPECT_EQ(file, single) << name;
        rejected += single["beamsRejected"].get<int>();
    }
    EXPECT_EQ(std::tuple(j["total"]["blocksIn"], j["total"]["jobs"], j["total"]["complete"], j["total"]["beamsRejected"]),
              std::tuple(95, 2, true, rejected));

    // A failing input spoils only its own output.
    const std::string whole = ReadWholeFile(t / "b.kvs");
    std::ofstream(t / "bad.kvs", std::ios::binary) << whole.substr(0, whole.size() * 2 / 3);
    std::ofstream(t / "out/bad.kvs") << "kept";
    for (bool partial : {false, true}) {
        const RunResult r = RunTool("filter " + t / "a.kvs" + " " + t / "bad.kvs" + " " + t / "gone.kvs" + " -o " +
                                    t / "out --jobs 2" + (partial ? " --partial" : ""));
        EXPECT_EQ(std::tuple(r.status, ReadWholeFile(t / "out/a.kvs").size() > 16, ReadWholeFile(t / "out/bad.kvs") == "kept",
                             std::filesystem::exists(t / "out/gone.kvs")), std::tuple(1, true, !partial, false)) << r.out;
        // Messages and summaries come in input order, each failure under its own file.
        using Texts = std::vector<std::string>;
        for (const Texts& chain : {Texts{t / "bad.kvs: truncated record", t / "gone.kvs: cannot open"},
                                   Texts{"== " + t / "a.kvs", "== " + t / "bad.kvs", "== " + t / "gone.kvs",
                                         "== total: 3 files, 2 failed"}}) {
            size_t at = 0;
            for (const std::string& text : chain) {
                at = r.out.find(text, at);
                ASSERT_NE(at, std::string::npos) << text << "\n" << r.out;
            }
        }
    }
}

#endif
