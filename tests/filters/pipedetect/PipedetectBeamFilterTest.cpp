#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/DataSearch.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using F = PipedetectBeamFilter;

// One ping of the pipe-detection layout; arrays left empty are left out of the block.
struct Ping
{
    int beams = -1; // element 1; -1: the flag count
    std::vector<float> x, y, z, value;
    std::vector<unsigned int> flags;
    std::vector<unsigned short> intensity;
    std::vector<float> floatIntensity;
    std::vector<float> lookup;
    double sensor[3] = {0.0, 0.0, 0.0};
    double time = 1.0;
};

CDataBlock MakeBlock(const Ping& p, unsigned short group = 1071)
{
    struct Item
    {
        unsigned short id, type, useAs;
    };
    const Item items[] = {{1, ET_INT, 0},         {2, ET_FLOAT_ARRAY, 0}, {3, ET_FLOAT_ARRAY, 0},
                          {4, ET_FLOAT_ARRAY, 0}, {5, ET_FLOAT_ARRAY, 0}, {6, ET_UINT_ARRAY, 0},
                          {7, ET_DOUBLE, 0},      {8, ET_DOUBLE, 0},      {9, ET_DOUBLE, 0},
                          {11, ET_DOUBLE, 0},     {12, ET_DOUBLE, 0},
                          {13, p.floatIntensity.empty() ? ET_USHORT_ARRAY : ET_FLOAT_ARRAY, 0},
                          {14, ET_FLOAT_ARRAY, 615}};
    CDataBlock block;
    block.SetDataId(CDataId(1, group, 1, 1));
    EXPECT_TRUE(block.Allocate(13));
    for (int i = 0; i < 13; ++i) {
        const unsigned short length = items[i].type == ET_INT ? 4 : items[i].type == ET_DOUBLE ? 8 : 0;
        EXPECT_TRUE(block.InitDataElement(i, items[i].id, items[i].type, length, 0, items[i].useAs));
    }
    EXPECT_TRUE(block.Init());
    block.SetTime(p.time);
    block.SetDataValue(1, p.beams >= 0 ? p.beams : static_cast<int>(p.flags.size()), 0, CDataBlock::kById);
    auto setFloats = [&](unsigned short id, const std::vector<float>& v) {
        if (!v.empty()) {
            EXPECT_TRUE(block.SetDataValue(id, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kById));
        }
    };
    setFloats(2, p.x);
    setFloats(3, p.y);
    setFloats(4, p.z);
    setFloats(5, p.value);
    setFloats(615, p.lookup);
    if (!p.flags.empty()) {
        EXPECT_TRUE(block.SetDataValue(6, p.flags.data(), static_cast<int>(p.flags.size()), 0, CDataBlock::kById));
    }
    if (!p.intensity.empty()) {
        EXPECT_TRUE(block.SetDataValue(13, p.intensity.data(), static_cast<int>(p.intensity.size()), 0, CDataBlock::kById));
    }
    setFloats(13, p.floatIntensity);
    for (int i = 0; i < 3; ++i) block.SetDataValue(static_cast<unsigned short>(7 + i), p.sensor[i], 0, CDataBlock::kById);
    block.SetDataValue(11, 7.0, kvs::kStatusInvalid, CDataBlock::kById);
    block.SetDataValue(12, 7.0, kvs::kStatusInvalid, CDataBlock::kById);
    return block;
}

std::vector<unsigned int> Flags(const CDataBlock& block)
{
    unsigned int* items = nullptr;
    int count = 0;
    unsigned short status = 0;
    std::vector<unsigned int> out;
    if (!block.GetDataValue(6, items, count, status, CDataBlock::kById)) return out;
    out.resize(static_cast<size_t>(count));
    CKvsBytePtr e;
    block.GetData(6, e, CDataBlock::kById);
    std::memcpy(out.data(), e.GetDataPtr(), out.size() * sizeof(unsigned int));
    return out;
}

double Output(const CDataBlock& block, unsigned short id, unsigned short& status)
{
    double v = 0.0;
    block.GetDataValue(id, v, status, CDataBlock::kById);
    return v;
}

// A ping for the histogram alone: beams at the origin, quality bit 0 set.
Ping ValuePing(const std::vector<float>& values)
{
    Ping p;
    p.value = values;
    p.flags.assign(values.size(), 1u);
    return p;
}

// Writes a contour file into a temporary project and points DataSearch at it.
class ContourProject : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = ::testing::TempDir() + "pipedetect_project";
        std::filesystem::create_directories(m_dir + "/Contours");
        m_saved = DataSearch::GetDataSearch().GetProjectDirectory();
        DataSearch::GetDataSearch().SetProjectDirectory(CString(m_dir));
    }
    void TearDown() override
    {
        DataSearch::GetDataSearch().SetProjectDirectory(m_saved);
        std::filesystem::remove_all(m_dir);
    }
    void WriteContour(const char* name, const char* text)
    {
        std::ofstream(m_dir + "/Contours/" + name + ".ctr") << text;
    }
    std::string m_dir;
    CString m_saved;
};

} // namespace

TEST(PipedetectBeamFilter, FactoryCreatesItForGroup1071AndItHoldsNothingBack)
{
    CAttributeMap map;
    CDataBlock block = MakeBlock(ValuePing({1.0f}));
    std::unique_ptr<Filter> filter(Filter::CreateFilter(block, &map));
    ASSERT_NE(dynamic_cast<PipedetectBeamFilter*>(filter.get()), nullptr);
    EXPECT_TRUE(filter->Process(block, COMPUPDATE_FULL));
    EXPECT_FALSE(filter->GetRemainder(block));
}

TEST(PipedetectBeamFilter, QualityFlagsCandidatesWithBitZeroClear)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_MAXINTENSITYCNT, 100);
    F filter(&map);
    Ping p = ValuePing({1, 1, 1, 1});
    p.flags = {0u, 1u, 0x100u, 0x201u};
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kQualityBit, F::kQualityBit);
    EXPECT_EQ(f[1] & F::kQualityBit, 0u);
    EXPECT_EQ(f[2] & F::kQualityBit, F::kQualityBit); // 0x100 is still a quality candidate
    EXPECT_EQ(f[3], 0x201u);                         // no longer a candidate
}

TEST(PipedetectBeamFilter, IntensityCutKeepsOnlyTheStrongestCandidates)
{
    CAttributeMap map; // "MaxIntensityCnt" defaults to 5
    {
        F filter(&map);
        Ping p = ValuePing({1, 1, 1});
        p.intensity = {5, 1, 9};
        CDataBlock block = MakeBlock(p);
        filter.Process(block, COMPUPDATE_FULL);
        for (unsigned int f : Flags(block)) EXPECT_EQ(f & F::kIntensityBit, 0u);
    }
    for (bool asFloat : {false, true}) {
        F filter(&map);
        Ping p = ValuePing({1, 1, 1, 1, 1, 1, 1, 1, 1});
        p.flags[8] = 0x200; // not a candidate: neither counted nor cut
        const std::vector<unsigned short> in = {50, 10, 70, 30, 80, 20, 60, 40, 0};
        if (asFloat)
            p.floatIntensity.assign(in.begin(), in.end());
        else
            p.intensity = in;
        CDataBlock block = MakeBlock(p);
        filter.Process(block, COMPUPDATE_FULL);
        const std::vector<unsigned int> f = Flags(block);
        for (int b : {1, 3, 5}) EXPECT_EQ(f[b] & F::kIntensityBit, F::kIntensityBit) << b;
        for (int b : {0, 2, 4, 6, 7, 8}) EXPECT_EQ(f[b] & F::kIntensityBit, 0u) << b;
    }
}

TEST(PipedetectBeamFilter, IntensityTiesCutTheLowerBeamsAndNanCountsAsWeakest)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_MAXINTENSITYCNT, 2);
    F filter(&map);
    Ping p = ValuePing({1, 1, 1, 1});
    p.floatIntensity = {3.0f, 3.0f, std::nanf(""), 3.0f};
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kIntensityBit, F::kIntensityBit);
    EXPECT_EQ(f[1] & F::kIntensityBit, 0u);
    EXPECT_EQ(f[2] & F::kIntensityBit, F::kIntensityBit);
    EXPECT_EQ(f[3] & F::kIntensityBit, 0u);
}

TEST_F(ContourProject, MaskFlagsBeamsCrossingSolidEdgesOfTheStructure)
{
    // Side view (x, z): a hull keel from x -2 to 2 at z -3 with an open moonpool edge
    // between x 2 and 3, the sensor under the keel at z -4.
    WriteContour("hull", "# x y z open\n"
                         "-2 0 0 0\n"
                         "-2 0 -3 0\n"
                         " 2 0 -3 0\n"
                         " 3 0 -3 1  # moonpool\n"
                         " 3 0 0 0\n");
    CAttributeMap map;
    map.SetAttribValue(ATTR_MASKSHAPE, "hull");
    map.SetAttribValue(ATTR_MAXINTENSITYCNT, 100);
    F filter(&map);
    ASSERT_TRUE(filter.GetContourError().IsEmpty()) << filter.GetContourError().GetString();
    ASSERT_EQ(filter.GetContour().GetSize(), 5);
    Ping p;
    p.sensor[0] = 0.0;
    p.sensor[2] = -4.0;
    p.sensor[1] = 99.0; // top view only
    p.x = {0.0f, 0.0f, 2.75f, 5.0f, 0.0f};
    p.y = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    p.z = {-10.0f, -1.0f, -2.9f, -1.0f, -1.0f};
    p.value = {1, 1, 1, 1, 1};
    p.flags = {1u, 1u, 1u, 1u, 0x101u};
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kMaskBit, 0u);       // downwards, away from the hull
    EXPECT_EQ(f[1] & F::kMaskBit, F::kMaskBit); // through the keel
    EXPECT_EQ(f[2] & F::kMaskBit, 0u);       // through the open edge
    EXPECT_EQ(f[3] & F::kMaskBit, F::kMaskBit); // through the keel and the side
    EXPECT_EQ(f[4], 0x101u);                 // 0x100: no mask test

    // Top view: the same file seen from above is a line at y 0; the sensor at y 99 and
    // beams at y 0 reach it only at their end point, which does not count as a crossing.
    map.SetAttribValue(ATTR_SHAPEVIEWSIDE, 1);
    filter.SetAttributes(&map);
    CDataBlock top = MakeBlock(p);
    filter.Process(top, COMPUPDATE_FULL);
    for (unsigned int flag : Flags(top)) EXPECT_EQ(flag & F::kMaskBit, 0u);
}

TEST_F(ContourProject, ContourWithOnePointOrAMissingFileLeavesTheMaskOff)
{
    WriteContour("dot", "0 0 -3 0\n");
    WriteContour("broken", "0 0 -3 0\n1 0 -3\n");
    for (const char* name : {"dot", "broken", "absent"}) {
        CAttributeMap map;
        map.SetAttribValue(ATTR_MASKSHAPE, name);
        F filter(&map);
        Ping p = ValuePing({1, 1});
        p.sensor[2] = -4.0;
        p.x = {0.0f, 0.5f};
        p.y = {0.0f, 0.0f};
        p.z = {-1.0f, -1.0f};
        CDataBlock block = MakeBlock(p);
        filter.Process(block, COMPUPDATE_FULL);
        for (unsigned int flag : Flags(block)) EXPECT_EQ(flag & F::kMaskBit, 0u) << name;
        EXPECT_EQ(filter.GetContourError().IsEmpty(), std::string(name) == "dot") << name;
    }
    CAttributeMap map;
    map.SetAttribValue(ATTR_MASKSHAPE, "broken");
    F filter(&map);
    EXPECT_NE(std::string(filter.GetContourError().GetString()).find("broken.ctr: line 2: expected four fields"),
              std::string::npos);
}

TEST(PipedetectBeamFilter, HistogramFindsThePipeValueAndFlagsBeamsOutsideTheWindow)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_PIPEDIAMETER, 0.5);
    F filter(&map);
    // 50.0 is never binned; its beams lie outside 10.025 +- 0.5.
    Ping p = ValuePing({50.0f, 50.0f, 50.0f, 10.0f, 10.04f});
    p.lookup = {100, 101, 102, 103, 104, 105};
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    unsigned short status = 99;
    EXPECT_DOUBLE_EQ(Output(block, 11, status), (10.0 + double(10.04f)) / 2.0); // bins 200 and 201 only
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(Output(block, 12, status), 103.0); // mean beam index (3 + 4) / 2
    EXPECT_EQ(status, 0);
    const std::vector<unsigned int> f = Flags(block);
    for (int b : {0, 1, 2}) EXPECT_EQ(f[b] & F::kHistogramBit, F::kHistogramBit);
    for (int b : {3, 4}) EXPECT_EQ(f[b] & F::kHistogramBit, 0u);
}

TEST(PipedetectBeamFilter, ValuesBelowHalfABinAreNeverCounted)
{
    CAttributeMap map;
    F filter(&map);
    Ping p = ValuePing({0.01f, 0.02f, 0.0f, 0.01f, 10.0f});
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    unsigned short status = 99;
    EXPECT_FLOAT_EQ(Output(block, 11, status), 10.0f);
    // No lookup array: the mean index 4 itself, marked not valid.
    EXPECT_DOUBLE_EQ(Output(block, 12, status), 4.0);
    EXPECT_EQ(status, kvs::kStatusInvalid);
}

TEST(PipedetectBeamFilter, AllEmptyHistogramPeaksAtTheTopAndWritesNoOutputs)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_PIPEDIAMETER, 0.1);
    F filter(&map);
    Ping p = ValuePing({60.0f, 50.0f, 60.0f});
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    unsigned short status = 0;
    EXPECT_DOUBLE_EQ(Output(block, 11, status), 7.0);
    EXPECT_EQ(status, kvs::kStatusInvalid);
    EXPECT_DOUBLE_EQ(Output(block, 12, status), 7.0);
    // Peak value 49.925: 50.0 lies within 0.1 of it, 60.0 does not.
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kHistogramBit, F::kHistogramBit);
    EXPECT_EQ(f[1] & F::kHistogramBit, 0u);
    EXPECT_EQ(f[2] & F::kHistogramBit, F::kHistogramBit);
}

TEST(PipedetectBeamFilter, RingKeepsTenPingsAndRestartsWhenTimeTurnsBack)
{
    CAttributeMap map;
    F filter(&map);
    // Ten pings at 20.0 then one at 10.0: the ring still holds mostly 20.0.
    for (int i = 0; i < 12; ++i) {
        Ping p = ValuePing({20.0f});
        p.time = 1.0 + i;
        CDataBlock block = MakeBlock(p);
        filter.Process(block, COMPUPDATE_FULL);
    }
    EXPECT_EQ(filter.GetFilledCount(), 10);
    Ping later = ValuePing({10.0f, 10.0f});
    later.time = 13.0;
    CDataBlock block = MakeBlock(later);
    filter.Process(block, COMPUPDATE_FULL);
    unsigned short status = 0;
    EXPECT_FLOAT_EQ(Output(block, 11, status), 20.0f);
    // Earlier than the last of two ascending pings: the ring starts anew.
    later.time = 5.0;
    block = MakeBlock(later);
    filter.Process(block, COMPUPDATE_FULL);
    EXPECT_EQ(filter.GetFilledCount(), 1);
    EXPECT_FLOAT_EQ(Output(block, 11, status), 10.0f);

    // A copy has its own ring.
    F copy(filter);
    later.time = 4.0;
    block = MakeBlock(later);
    copy.Process(block, COMPUPDATE_FULL);
    EXPECT_EQ(copy.GetFilledCount(), 2);
    EXPECT_EQ(filter.GetFilledCount(), 1);
}

TEST(PipedetectBeamFilter, BeamCountBeyondTheArraysUsesTheArrays)
{
    CAttributeMap map;
    F filter(&map);
    Ping p = ValuePing({10.0f, 10.0f, 30.0f});
    p.beams = 5000;
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    unsigned short status = 0;
    EXPECT_FLOAT_EQ(Output(block, 11, status), 10.0f);
    EXPECT_EQ(Flags(block)[2] & F::kHistogramBit, F::kHistogramBit);

    // A ping without values and an empty ring: nothing to find, nothing touched.
    F fresh(&map);
    Ping bare;
    bare.flags = {1u};
    CDataBlock none = MakeBlock(bare);
    fresh.Process(none, COMPUPDATE_FULL);
    EXPECT_EQ(Flags(none)[0], 1u);
    EXPECT_DOUBLE_EQ(Output(none, 11, status), 7.0);
}

TEST(PipedetectBeamFilter, PreviousPositionFlagsBeamsAwayFromThePipeUnlessAtOrigin)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_PIPEDIAMETER, 1.0);
    map.SetAttribValue(ATTR_PREVPOSMARGIN, 0.5); // radius 1.0
    map.SetAttribValue(ATTR_POSITION, 0.0, 0.0, 0.0);
    F filter(&map);
    Ping p = ValuePing({10, 10, 10, 10});
    p.x = {5.0f, 5.9f, 5.0f, 9.0f};
    p.y = {0.0f, 0.0f, 0.0f, 0.0f};
    p.z = {-3.0f, -3.0f, -1.5f, -3.0f};
    p.flags[3] = 0x101;
    CDataBlock origin = MakeBlock(p);
    filter.Process(origin, COMPUPDATE_FULL);
    for (unsigned int f : Flags(origin)) EXPECT_EQ(f & F::kPrevPosBit, 0u);

    // Read again at every block; side view (x, z) by default.
    map.SetAttribValue(ATTR_POSITION, 5.0, 100.0, -3.0);
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kPrevPosBit, 0u);
    EXPECT_EQ(f[1] & F::kPrevPosBit, 0u);
    EXPECT_EQ(f[2] & F::kPrevPosBit, F::kPrevPosBit);
    EXPECT_EQ(f[3], 0x101u);
}

TEST(PipedetectBeamFilter, SecondSetAttributesResetsIntensityCountButKeepsTheRest)
{
    CAttributeMap map;
    map.SetAttribValue(ATTR_MAXINTENSITYCNT, 1);
    map.SetAttribValue(ATTR_PREVPOSMARGIN, 5.0);
    map.SetAttribValue(ATTR_PIPEDIAMETER, 0.0);
    F filter(&map);
    CAttributeMap bare;
    bare.SetAttribValue(ATTR_POSITION, 1.0, 0.0, 1.0);
    filter.SetAttributes(&bare);
    Ping p = ValuePing({1, 1, 1, 1, 1, 1});
    p.intensity = {1, 2, 3, 4, 5, 6};
    p.x = {1, 1, 1, 1, 1, 1};
    p.y = {0, 0, 0, 0, 0, 0};
    p.z = {5.5f, 5.5f, 5.5f, 5.5f, 5.5f, 5.5f}; // 4.5 from the position: inside margin 5
    CDataBlock block = MakeBlock(p);
    filter.Process(block, COMPUPDATE_FULL);
    const std::vector<unsigned int> f = Flags(block);
    EXPECT_EQ(f[0] & F::kIntensityBit, F::kIntensityBit); // back to 5 kept
    for (int b = 1; b < 6; ++b) {
        EXPECT_EQ(f[b] & F::kIntensityBit, 0u) << b;
        EXPECT_EQ(f[b] & F::kPrevPosBit, 0u) << b; // margin 5.0 kept
    }
}

TEST(PipedetectBeamFilter, ComponentGroup1072RunsTheHistogramBeforeThePreviousPosition)
{
    // Four beams at 10.0 near the last position, five at 20.0 far from it.
    Ping p = ValuePing({10, 10, 10, 10, 20, 20, 20, 20, 20});
    p.x = {0, 0, 0, 0, 9, 9, 9, 9, 9};
    p.y.assign(9, 0.0f);
    p.z.assign(9, -1.0f);
    p.intensity.assign(9, 1);
    for (unsigned short group : {1071, 1072}) {
        CAttributeMap map;
        map.SetAttribValue(ATTR_MAXINTENSITYCNT, 100);
        map.SetAttribValue(ATTR_PIPEDIAMETER, 0.5);
        map.SetAttribValue(ATTR_POSITION, 0.1, 0.0, -1.0);
        map.SetAttribValue(ATTR_PIPEDETECTCOMPID, CDataInfo(CDataId(1, group, 1, 1), 3));
        F filter(&map);
        CDataBlock block = MakeBlock(p);
        filter.Process(block, COMPUPDATE_FULL);
        unsigned short status = 0;
        const std::vector<unsigned int> f = Flags(block);
        if (group == 1071) {
            // Far beams gone first: the histogram sees only 10.0.
            EXPECT_FLOAT_EQ(Output(block, 11, status), 10.0f);
            EXPECT_EQ(f[4] & (F::kPrevPosBit | F::kHistogramBit), F::kPrevPosBit);
        } else {
            EXPECT_FLOAT_EQ(Output(block, 11, status), 20.0f);
            EXPECT_EQ(f[0] & (F::kPrevPosBit | F::kHistogramBit), F::kHistogramBit);
            EXPECT_EQ(f[4] & (F::kPrevPosBit | F::kHistogramBit), F::kPrevPosBit);
        }
    }
}
