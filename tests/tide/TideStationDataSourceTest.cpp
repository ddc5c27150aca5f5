#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

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
    int Status()
    {
        CDataBlock block;
        ds.CopyDataBlock(block);
        return block.GetStatus();
    }

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
    b.GetDataValue(0, v, s, CDataBlock::kByPosition);
    return v;
}

} // namespace

TEST_F(TideSource, BuildsTheBlockOnceAndFillsValueStationAndStatus)
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
}

TEST_F(TideSource, InterpolateUsesTheFileWindows)
{
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
