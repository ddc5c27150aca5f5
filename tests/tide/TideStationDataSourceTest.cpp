#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>
#include <KvsDataBlocks/tide/TsdsManager.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

constexpr double kT0 = 1767225600.0; // 2026-01-01 00:00:00 UTC

class TideSource : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = std::string(::testing::TempDir()) + "/tsds_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::ofstream(path) << "KVSTIDE 1\nSTATION Quay\nID Q1\nPOSITION 100.5 200.25\nDATA\n"
                               "2026-01-01 00:00:00 1.0\n2026-01-01 00:10:00 2.0\n2026-01-01 00:20:00 4.0\n";
        ASSERT_TRUE(ds.FileOpen(path.c_str()));
    }
    void TearDown() override { std::remove(path.c_str()); }

    // The stored observations as "minutes=value" pairs.
    std::string Stored()
    {
        std::ostringstream out;
        double t = 0, v = 0;
        for (int i = 0; ds.GetTideStation().GetTideValue(i, t, v); ++i) out << (t - kT0) / 60 << "=" << v << " ";
        return out.str();
    }

    // The status of the block the source holds.
    int Status() { CDataBlock b; ds.CopyDataBlock(b); return b.GetStatus(); }

    // Applies the edits of attributes to a copy of the block at index.
    void Edit(int index, std::initializer_list<std::pair<const char*, double>> attributes)
    {
        CDataBlock b;
        ASSERT_TRUE(ds.GetDataBlock(index, b));
        CAttributeMap map;
        for (const auto& [name, value] : attributes) map.SetAttribValue(name, value);
        ds.UpdateDataBlock(b, map);
    }

    std::string path;
    TideStationDataSource ds;
};

double ValueAt0(const CDataBlock& b)
{
    double v = -999;
    unsigned short s = 0;
    return b.GetDataValue(0, v, s, CDataBlock::kByPosition), v;
}

std::string MakeTideFile(const std::string& tag, double value = 1.0)
{
    const std::string path = std::string(::testing::TempDir()) + "/mgr_" + std::to_string(getpid()) + "_" + tag + ".txt";
    std::ofstream(path) << "2026/01/01 00:00:00 " << value << "\n2026/01/01 01:00:00 2.0\n";
    return path;
}

} // namespace

TEST_F(TideSource, BuildsTheBlockOnceFillsItAndInterpolatesInTheFileWindows)
{
    // Not open: nothing built; open: built once, and again by a setup.
    TideStationDataSource closed;
    EXPECT_EQ((std::vector<bool>{closed.DataBlockSetup(0, CDataId()), closed.DataBlockInit(), ds.DataBlockInit(),
                                 ds.DataBlockInit(), ds.DataBlockSetup(0, CDataId()), ds.DataBlockInit()}),
              (std::vector<bool>{true, false, true, false, true, false}));
    CDataId id;
    EXPECT_TRUE(ds.GetDataId(id));
    EXPECT_EQ(std::tuple(id.GetGroupId(), id.GetDataType(), ds.GetDataIdPtr()->GetVesselId()), std::tuple(1020, 1, 1));

    CDataBlock out;
    double t = 0;
    ASSERT_TRUE(ds.GetDataBlock(1, t, out));
    EXPECT_EQ(std::tuple(t, out.GetTime(), ValueAt0(out)), std::tuple(kT0 + 600, kT0 + 600, 2.0));
    CString station;
    unsigned short s = 99;
    double x = 0;
    const bool read = out.GetDataValue(1, station, s, CDataBlock::kByPosition) &&
                      out.GetDataValue(505, x, s, CDataBlock::kByUseAs);
    // Status 0: every element the fill writes is valid.
    EXPECT_EQ(std::tuple(read, station, x, int{out.GetStatus()}), std::tuple(true, CString("Q1"), 100.5, 0));
    CDataBlock untouched;
    untouched.SetTime(5.0);
    EXPECT_FALSE(ds.GetDataBlock(3, untouched) || untouched.GetTime() != 5.0 || untouched.GetLength() != 0u);
    ds.SetInterpolAttribs(true, 0.0);
    ds.SetExtrapolationAttribs(true, 300.0);
    double window = -1, extra = -1;
    EXPECT_TRUE(ds.GetInterpolAttribs(window) && ds.GetExtrapolationAttribs(extra));
    EXPECT_EQ(std::pair(window, extra), std::pair(0.0, 300.0));
    for (const auto& [t, v] : {std::pair{900.0, 3.0}, {1500.0, 5.0}, {1501.0, -999.0}}) {
        CDataBlock b;
        b.SetTime(kT0 + t);
        EXPECT_EQ(ds.Interpolate(b), v != -999.0) << t;
        EXPECT_DOUBLE_EQ(ValueAt0(b), v) << t;
    }
}

TEST_F(TideSource, AddRebuildsTheBlockAndDerivesItsStatus)
{
    ds.DataBlockInit();
    CDataBlock in; // a tide block as a producer hands it in
    ds.CopyDataBlock(in);
    in.SetTime(kT0 + 60);
    in.SetDataValue(0, 1.25, 20, CDataBlock::kByPosition);
    in.SetDataValue(505, 7.0, 30, CDataBlock::kByUseAs);
    ASSERT_TRUE(ds.AddDataBlock(in));
    EXPECT_EQ(Stored(), "0=1 1=1.25 10=2 20=4 ");
    double last = 0;
    EXPECT_TRUE(ds.GetLastAddTime(last) && last == kT0 + 60);
    // Station id and y were not valid in the incoming block (status 40): the block is 40.
    EXPECT_EQ(Status(), 40);
    in.SetDataValue(1, CString("Q1"), 0, CDataBlock::kByPosition);
    in.SetDataValue(506, 8.0, 0, CDataBlock::kByUseAs);
    in.SetTime(kT0 + 120);
    ASSERT_TRUE(ds.AddDataBlock(in));
    EXPECT_EQ(Status(), 30);           // statuses 20 and 30: the worse one
    EXPECT_FALSE(ds.AddDataBlock(in)); // the same time twice

    // Without a double at position 0 nothing is stored.
    EXPECT_FALSE(ds.AddDataBlock(CDataBlock()));
    CDataBlock wrongType;
    wrongType.Allocate(1);
    wrongType.InitDataElement(0, 0, 101, 4, 1, 0);
    wrongType.Init();
    wrongType.SetTime(kT0);
    EXPECT_FALSE(ds.UpdateDataBlock(wrongType));
    EXPECT_EQ(ds.GetNumElements(), 5);
}

TEST_F(TideSource, AttributeEditsDeleteShiftAndSetInOrder)
{
    Edit(1, {{ATTR_ELTINDEX, 0.9}, {ATTR_VALUESHIFT, 0.5}}); // element id 0
    EXPECT_EQ(Stored(), "0=1 10=2.5 20=4 ");
    Edit(1, {{ATTR_ELTINDEX, 0.0}, {ATTR_SETVALUE, 9.0}, {ATTR_VALUESHIFT, 1.0}}); // shift, then set
    EXPECT_EQ(Stored(), "0=1 10=9 20=4 ");
    Edit(0, {{ATTR_ELTINDEX, 505.0}, {ATTR_VALUESHIFT, 1.0}}); // edits the station x of the copy only
    Edit(2, {{TideStationDataSource::kDeleteFlagAttribute, 0.0}});
    EXPECT_EQ(Stored(), "0=1 10=9 20=4 ");
    // Deleted first, so the shift finds nothing to update.
    Edit(2, {{TideStationDataSource::kDeleteFlagAttribute, -1.0}, {ATTR_ELTINDEX, 0.0}, {ATTR_VALUESHIFT, 1.0}});
    EXPECT_EQ(Stored(), "0=1 10=9 ");
}

TEST(TsdsManager, SharesOneSourcePerNameCommitsInOrderAndServesManyThreads)
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
    EXPECT_TRUE(mgr.Commit());
    const std::string fa = MakeTideFile("commit_a"), fb = MakeTideFile("commit_b");
    TideStationDataSource* sa = mgr.OpenFile(fa.c_str());
    TideStationDataSource* sb = mgr.OpenFile(fb.c_str());
    ASSERT_TRUE(sa && sb);
    sa->GetTideStation().AddTideValue(1767229200.0 + 60, 7.0);
    sb->GetTideStation().AddTideValue(1767229200.0 + 60, 8.0);
    sa->GetTideStation().SetWriteFunction([](int, const void*, size_t) -> ssize_t { return -1; });
    auto fileB = [&fb] { return (std::ostringstream() << std::ifstream(fb).rdbuf()).str(); };
    const std::string before = fileB();
    EXPECT_FALSE(mgr.Commit()); // fa sorts first and fails: fb is not saved
    EXPECT_EQ(fileB(), before);
    sa->GetTideStation().SetWriteFunction(nullptr);
    EXPECT_TRUE(mgr.Commit());
    EXPECT_EQ(fileB(), sb->GetTideStation().Format());
    EXPECT_TRUE(mgr.CloseFile(sa, false) && mgr.CloseFile(sb, false));
    std::remove(fa.c_str()), std::remove(fb.c_str());
    TsdsManager& global = TsdsManager::GetManager();
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(MakeTideFile("mt" + std::to_string(i), i));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                TideStationDataSource* s = global.OpenFile(files[static_cast<size_t>((t + round) % 3)].c_str());
                if (!s || s->GetOpenCount() < 1 || !global.CloseFile(s, false) || s != nullptr) ++failures;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    // Every source was deleted with its last close: a new open starts from one.
    TideStationDataSource* s = global.OpenFile(files[0].c_str());
    EXPECT_TRUE(s && s->GetOpenCount() == 1 && global.CloseFile(s, false));
    for (const std::string& f : files) std::remove(f.c_str());
}
