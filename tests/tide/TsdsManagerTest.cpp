#include <KvsDataBlocks/tide/TideStationDataSource.h>
#include <KvsDataBlocks/tide/TsdsManager.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string MakeTideFile(const std::string& tag, double value = 1.0)
{
    const std::string path = std::string(::testing::TempDir()) + "/mgr_" + std::to_string(getpid()) + "_" + tag + ".txt";
    std::ofstream(path) << "2026/01/01 00:00:00 " << value << "\n2026/01/01 01:00:00 2.0\n";
    return path;
}

} // namespace

TEST(TsdsManager, SameNameSharesOneSourceUntilTheLastCloseAndCopiesShareIt)
{
    TsdsManager mgr;
    const std::string path = MakeTideFile("share"), upper = MakeTideFile("SHARE");
    EXPECT_EQ(mgr.OpenFile((path + ".missing").c_str()), nullptr);
    EXPECT_NE(std::string(mgr.GetLastError()).find("cannot open"), std::string::npos);
    TideStationDataSource stranger;
    TideStationDataSource *none = nullptr, *foreign = &stranger;
    EXPECT_FALSE(mgr.CloseFile(none, false) || mgr.CloseFile(foreign, false) || foreign != &stranger);
    std::ofstream(path + ".missing") << "2026/01/01 00:00:00 1.0\n";
    TideStationDataSource* fresh = mgr.OpenFile((path + ".missing").c_str()); // nothing kept of the failed open
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->GetOpenCount() == 1 && mgr.CloseFile(fresh, false));
    std::remove((path + ".missing").c_str());
    TideStationDataSource* a = mgr.OpenFile(path.c_str());
    TideStationDataSource* b = mgr.OpenFile(path.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::pair(b, a->GetOpenCount()), std::pair(a, 2));
    TideStationDataSource* other = mgr.OpenFile(upper.c_str()); // names differing in case are distinct
    EXPECT_TRUE(other && other != a && mgr.CloseFile(other, false));
    TsdsManager copy(mgr);
    TideStationDataSource* again = copy.OpenFile(path.c_str());
    EXPECT_TRUE(again == a && copy.CloseFile(again, false) && mgr.CloseFile(a, false) && a == nullptr);
    EXPECT_EQ(b->GetOpenCount(), 1);
    TideStationDataSource* keep = b;
    EXPECT_TRUE(mgr.CloseFile(b, false) && b == nullptr);
    EXPECT_FALSE(mgr.CloseFile(keep, false)); // already deleted and erased
    std::remove(path.c_str()), std::remove(upper.c_str());
}

TEST(TsdsManager, CommitSavesEveryFileAndStopsAtTheFirstFailure)
{
    TsdsManager mgr;
    EXPECT_TRUE(mgr.Commit());
    const std::string a = MakeTideFile("commit_a"), b = MakeTideFile("commit_b");
    TideStationDataSource* sa = mgr.OpenFile(a.c_str());
    TideStationDataSource* sb = mgr.OpenFile(b.c_str());
    ASSERT_TRUE(sa && sb);
    sa->GetTideStation().AddTideValue(1767229200.0 + 60, 7.0);
    sb->GetTideStation().AddTideValue(1767229200.0 + 60, 8.0);
    sa->GetTideStation().SetWriteFunction([](int, const void*, size_t) -> ssize_t { return -1; });
    auto fileB = [&b] { return (std::ostringstream() << std::ifstream(b).rdbuf()).str(); };
    const std::string before = fileB();
    EXPECT_FALSE(mgr.Commit()); // a sorts first and fails: b is not saved
    EXPECT_EQ(fileB(), before);
    sa->GetTideStation().SetWriteFunction(nullptr);
    EXPECT_TRUE(mgr.Commit());
    EXPECT_EQ(fileB(), sb->GetTideStation().Format());
    EXPECT_TRUE(mgr.CloseFile(sa, false) && mgr.CloseFile(sb, false));
    std::remove(a.c_str()), std::remove(b.c_str());
}

TEST(TsdsManager, ManyThreadsOpenUseAndClose)
{
    TsdsManager& mgr = TsdsManager::GetManager();
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(MakeTideFile("mt" + std::to_string(i), i));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                TideStationDataSource* s = mgr.OpenFile(files[static_cast<size_t>((t + round) % 3)].c_str());
                if (!s || s->GetOpenCount() < 1 || !mgr.CloseFile(s, false) || s != nullptr) ++failures;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    // Every source was deleted with its last close: a new open starts from one.
    TideStationDataSource* s = mgr.OpenFile(files[0].c_str());
    EXPECT_TRUE(s && s->GetOpenCount() == 1 && mgr.CloseFile(s, false));
    for (const std::string& f : files) std::remove(f.c_str());
}
