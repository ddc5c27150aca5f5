// What kvsblocks leaves behind when writing fails half-way
// and when it is killed half-way: the old files as they were, and no complete-looking
// file that is not.
#include "TempFolder.h"
#include "ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace fs = std::filesystem;

namespace {

// A tide file of count (at most 744) hourly values in January 2026.
void WriteTide(const std::string& path, int count)
{
    std::ofstream out(path);
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "2026/01/%02d %02d:00:00 %.2f\n", 1 + i / 24, i % 24, i * 0.01);
        out << line;
    }
}

// The size of the file that process pid writes in folder, 0 while it has none open there.
long WritingSize(pid_t pid, const fs::path& folder)
{
    long size = 0;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (target.rfind(folder.string(), 0) != 0) continue;
        struct stat st {};
        if (::stat(fd.path().c_str(), &st) == 0) size = std::max<long>(size, st.st_size);
    }
    return size;
}

} // namespace

TEST(KvsblocksOutput, AWriteFailureHalfWayLeavesTheOldFile)
{
    TempFolder dir("full");
    const std::string line = dir / "in.kvs", tide = dir / "in.txt", target = dir / "out";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --pings 40 --beams 256").status, 0);
    WriteTide(tide, 700);
    // Every output is larger than the 20000 bytes that the disk takes.
    const std::string streamFailed = "write failed after 1 records: File too large", textFailed = "cannot write: File too large";
    for (const auto& [args, message] : {std::pair{"simulate -q -o " + target + " --pings 40 --beams 256", streamFailed},
                                        std::pair{"filter " + line + " -o " + target, streamFailed},
                                        std::pair{"plot " + line + " --line-svg " + target, textFailed},
                                        std::pair{"tide " + tide + " --convert " + target, textFailed}}) {
        std::ofstream(target) << "old";
        SCOPED_TRACE(args);
        const RunResult r = RunToolLimited(args, 39); // 19968 bytes
        EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(1, "kvsblocks: " + target + ": " + message + "\n"));
        EXPECT_EQ(std::tuple(ReadWholeFile(target), dir.Names()), std::tuple("old", std::vector<std::string>{"in.kvs", "in.txt", "out"}));
    }
}

TEST(KvsblocksOutput, ACorruptInputLeavesTheOutputUnlessThePartialStreamIsAskedFor)
{
    TempFolder dir("partial");
    const std::string line = dir / "in.kvs", target = dir / "out.kvs";
    ASSERT_EQ(RunTool("simulate -q -o " + line + " --kind singlebeam --pings 5").status, 0);
    std::string bytes = ReadWholeFile(line);
    bytes.resize(bytes.size() - 3);
    std::ofstream(line, std::ios::binary) << bytes;
    std::ofstream(target) << "old";
    RunResult r = RunTool("filter " + line + " -o " + target);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the output is left as it was"), std::string::npos) << r.out;
    EXPECT_EQ(ReadWholeFile(target), "old");
    EXPECT_EQ(RunTool("filter " + line + " -o " + target + " --partial").status, 1);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"in.kvs", "out.kvs"}));
    // The four blocks before the bad one; a stream on standard output takes nothing else
    // there: the summary goes to standard error.
    for (const std::string& dump : {"dump " + target + " --json", "filter " + target + " -o - 2>/dev/null | " KVS_TOOL_PATH " dump - --json"}) {
        r = RunTool(dump);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(nlohmann::json::parse(r.out).size(), 4u);
    }
}

TEST(KvsblocksOutput, AKillHalfWayLeavesTheOldFileAndNoCompleteLookingOne)
{
    TempFolder dir("kill");
    const std::string target = dir / "out.kvs";
    std::ofstream(target) << "old";
    const pid_t pid = StartTool({"simulate", "-q", "-o", target, "--pings", "1000000"});
    ASSERT_GT(pid, 0);
    // Kill it once it has written a megabyte of its new file.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (WritingSize(pid, dir.path) < (1 << 20) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int st = 0;
    ASSERT_EQ(::waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(st)) << "ended before it was killed";
    EXPECT_EQ(ReadWholeFile(target), "old");
    // The new file had no name (or one that says it is a temporary file).
    for (const std::string& name : dir.Names()) EXPECT_TRUE(name == "out.kvs" || name.rfind("out.kvs.tmp.", 0) == 0) << name;
}

#endif
