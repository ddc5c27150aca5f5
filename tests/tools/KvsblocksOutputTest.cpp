// What kvsblocks leaves behind when writing fails half-way or its input is corrupt: the old
// files as they were, and no complete-looking file that is not.
#include "TempFolder.h"
#include "ToolRun.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#ifdef KVS_TOOL_PATH

TEST(KvsblocksOutput, AWriteFailureHalfWayLeavesTheOldFile)
{
    TempFolder dir("full");
    const std::string line = dir / "in.kvs", tide = dir / "in.txt", target = dir / "out";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --pings 40 --beams 256").status, 0);
    // 700 hourly values in January 2026
    ASSERT_EQ(RunShell("awk 'BEGIN { for (i = 0; i < 700; ++i) printf \"2026/01/%02d %02d:00:00 %.2f\\n\", 1 + int(i / 24), i % 24, "
                       "i * 0.01 }' > " + tide).status, 0);
    // Every output is larger than the 20000 bytes that the disk takes.
    const std::string streamFailed = "write failed after 1 records: File too large", textFailed = "cannot write: File too large";
    for (const auto& [args, message] : {std::pair{"simulate -q -o " + target + " --pings 40 --beams 256", streamFailed},
                                        std::pair{"filter " + line + " -o " + target, streamFailed},
                                        std::pair{"plot " + line + " --line-svg " + target, textFailed},
                                        std::pair{"tide " + tide + " --convert " + target, textFailed}}) {
        std::ofstream(target) << "old";
        const RunResult r = RunTool(args, 39); // 19968 bytes
        EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(1, "kvsblocks: " + target + ": " + message + "\n")) << args;
        EXPECT_EQ(std::tuple(ReadWholeFile(target), dir.Names()), std::tuple("old", std::vector<std::string>{"in.kvs", "in.txt", "out"})) << args;
    }
}

TEST(KvsblocksOutput, ACorruptInputLeavesTheOutputUnlessThePartialStreamIsAskedFor)
{
    TempFolder dir("partial");
    const std::string line = dir / "in.kvs", target = dir / "out.kvs";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --kind singlebeam --pings 5").status, 0);
    const std::string bytes = ReadWholeFile(line);
    std::ofstream(line, std::ios::binary) << bytes.substr(0, bytes.size() - 3);
    std::ofstream(target) << "old";
    RunResult r = RunTool("filter " + line + " -o " + target);
    EXPECT_EQ(std::tuple(r.status, r.out.find("the output is left as it was") != std::string::npos, ReadWholeFile(target)),
              std::tuple(1, true, "old")) << r.out;
    EXPECT_EQ((std::tuple{RunTool("filter " + line + " -o " + target + " --partial").status, dir.Names()}),
              std::tuple(1, std::vector<std::string>{"in.kvs", "out.kvs"}));
    // The four blocks before the bad one; a stream on standard output takes nothing else
    // there: the summary goes to standard error.
    for (const std::string& dump : {"dump " + target + " --json", "filter " + target + " -o - 2>/dev/null | " KVS_TOOL_PATH " dump - --json"}) {
        r = RunTool(dump);
        EXPECT_EQ(std::tuple(r.status, nlohmann::json::parse(r.out, nullptr, false).size()), std::tuple(0, 4u)) << r.out;
    }
}

#endif
