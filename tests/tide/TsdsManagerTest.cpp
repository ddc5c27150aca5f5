#include <KvsDataBlocks/tide/TideStationDataSource.h>
#include <KvsDataBlocks/tide/TsdsManager.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
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

TEST(TsdsManager, SameNameSharesOneSourceUntilTheLastClose)
{
    TsdsManager mgr;
    const std::string path = MakeTideFile("share");
    TideStationDataSource* a = mgr.OpenFile(path.c_str());
    TideStationDataSource* b = mgr.OpenFile(path.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetOpenCount(), 2);
    EXPECT_TRUE(mgr.CloseFile(a, false));
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b->GetOpenCount(), 1);
    TideStationDataSource* keep = b;
    EXPECT_TRUE(mgr.CloseFile(b, false));
    EXPECT_EQ(b, nullptr);
    EXPECT_FALSE(mgr.CloseFile(keep, false)); // already deleted and erased
    std::remove(path.c_str());
}

TEST(TsdsManager, NamesDifferingInCaseAreDistinct)
{
    TsdsManager mgr;
    const std::string lower = MakeTideFile("case");
    std::string upper = lower;
    upper.replace(upper.size() - 8, 4, "CASE");
    std::ofstream(upper) << "2026/01/01 00:00:00 3.0\n";
    TideStationDataSource* a = mgr.OpenFile(lower.c_str());
    TideStationDataSource* b = mgr.OpenFile(upper.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_TRUE(mgr.CloseFile(a, false));
    EXPECT_TRUE(mgr.CloseFile(b, false));
    std::remove(lower.c_str());
    std::remove(upper.c_str());
}

TEST(TsdsManager, FailedOpenLeavesNothingAndNullCloseFails)
{
    TsdsManager mgr;
    const std::string path = std::string(::testing::TempDir()) + "/mgr_missing_" + std::to_string(getpid()) + ".txt";
    EXPECT_EQ(mgr.OpenFile(path.c_str()), nullptr);
    EXPECT_NE(std::string(mgr.GetLastError()).find("cannot open"), std::string::npos);
    std::ofstream(path) << "2026/01/01 00:00:00 1.0\n";
    TideStationDataSource* s = mgr.OpenFile(path.c_str()); // a fresh data source now
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetOpenCount(), 1);
    TideStationDataSource* none = nullptr;
    EXPECT_FALSE(mgr.CloseFile(none, false));
    TideStationDataSource stranger;
    TideStationDataSource* foreign = &stranger;
    EXPECT_FALSE(mgr.CloseFile(foreign, false));
    EXPECT_EQ(foreign, &stranger);
    EXPECT_TRUE(mgr.CloseFile(s, false));
    std::remove(path.c_str());
}

TEST(TsdsManager, CommitSavesEveryFileAndStopsAtTheFirstFailure)
{
    TsdsManager mgr;
    EXPECT_TRUE(mgr.Commit());
    const std::string a = MakeTideFile("commit_a");
    const std::string b = MakeTideFile("commit_b");
    TideStationDataSource* sa = mgr.OpenFile(a.c_str());
    TideStationDataSource* sb = mgr.OpenFile(b.c_str());
    ASSERT_TRUE(sa && sb);
    sa->GetTideStation().AddTideValue(1767229200.0 + 60, 7.0);
    sb->GetTideStation().AddTideValue(1767229200.0 + 60, 8.0);
    sa->GetTideStation().SetWriteFunction([](int, const void*, size_t) -> ssize_t { return -1; });
    EXPECT_FALSE(mgr.Commit()); // a sorts first and fails: b is not saved
    std::ifstream inB(b);
    std::string all((std::istreambuf_iterator<char>(inB)), {});
    EXPECT_EQ(all.find("7"), std::string::npos);
    EXPECT_EQ(all.find("8"), std::string::npos);
    sa->GetTideStation().SetWriteFunction(nullptr);
    EXPECT_TRUE(mgr.Commit());
    mgr.CloseFile(sa, false);
    mgr.CloseFile(sb, false);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(TsdsManager, CopySharesSourcesButHasItsOwnLock)
{
    TsdsManager mgr;
    const std::string path = MakeTideFile("copy");
    TideStationDataSource* s = mgr.OpenFile(path.c_str());
    ASSERT_NE(s, nullptr);
    TsdsManager copy(mgr);
    TideStationDataSource* again = copy.OpenFile(path.c_str());
    EXPECT_EQ(again, s);
    EXPECT_TRUE(copy.CloseFile(again, false));
    EXPECT_TRUE(mgr.CloseFile(s, false));
    std::remove(path.c_str());
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
                const std::string& name = files[static_cast<size_t>((t + round) % 3)];
                TideStationDataSource* s = mgr.OpenFile(name.c_str());
                if (!s) {
                    ++failures;
                    continue;
                }
                if (s->GetOpenCount() < 1) ++failures;
                if (!mgr.CloseFile(s, false) || s != nullptr) ++failures;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    // Every source was deleted with its last close: a new open starts from one.
    TideStationDataSource* s = mgr.OpenFile(files[0].c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetOpenCount(), 1);
    mgr.CloseFile(s, false);
    for (const std::string& f : files) std::remove(f.c_str());
}
