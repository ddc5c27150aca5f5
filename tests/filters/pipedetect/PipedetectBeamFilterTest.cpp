// The pipe-detection filter and the vessel contour of its mask.
#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/DataSearch.h>

#include "../FilterHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using F = PipedetectBeamFilter;
using Beams = std::vector<int>;
using filtertest::Attributes;

// One ping of the pipe-detection layout; arrays left empty are left out of the block,
// but for the flags: empty, one word 1 (quality bit 0 set) a value.
struct Ping
{
    std::vector<float> value, x = {}, y = {}, z = {};
    std::vector<unsigned int> flags = {};
    std::vector<unsigned short> intensity = {};
    std::vector<float> floatIntensity = {}, lookup = {};
    double sensor[3] = {0.0, 0.0, 0.0};
    double time = 1.0;
    int beams = -1; // element 1; -1: the flag count
};

CDataBlock MakeBlock(const Ping& p, unsigned short group = 1071)
{
    const std::vector<unsigned int> flags = p.flags.empty() ? std::vector<unsigned int>(p.value.size(), 1u) : p.flags;
    // Element ids: beam count, x, y, z, value, flags, sensor x, y, z, the two outputs,
    // intensity; then the lookup array, found by its use-as code 615.
    const std::pair<unsigned short, unsigned short> elements[] = {
        {1, ET_INT}, {2, ET_FLOAT_ARRAY}, {3, ET_FLOAT_ARRAY}, {4, ET_FLOAT_ARRAY}, {5, ET_FLOAT_ARRAY},
        {6, ET_UINT_ARRAY}, {7, ET_DOUBLE}, {8, ET_DOUBLE}, {9, ET_DOUBLE}, {11, ET_DOUBLE}, {12, ET_DOUBLE},
        {13, p.floatIntensity.empty() ? ET_USHORT_ARRAY : ET_FLOAT_ARRAY}, {14, ET_FLOAT_ARRAY}};
    CDataBlock block;
    block.SetDataId(CDataId(1, group, 1, 1));
    EXPECT_TRUE(block.Allocate(13));
    for (int i = 0; i < 13; ++i) {
        const auto [id, type] = elements[i];
        const unsigned short length = type == ET_INT ? 4 : type == ET_DOUBLE ? 8 : 0;
        EXPECT_TRUE(block.InitDataElement(i, id, type, length, 0, id == 14 ? 615 : 0));
    }
    EXPECT_TRUE(block.Init());
    block.SetTime(p.time);
    block.SetDataValue(1, p.beams >= 0 ? p.beams : static_cast<int>(flags.size()), 0, CDataBlock::kById);
    auto set = [&](unsigned short key, const auto& v) { // keys from 100 up are use-as codes
        if (!v.empty()) {
            EXPECT_TRUE(block.SetDataValue(key, v.data(), static_cast<int>(v.size()), 0, CDataBlock::kById));
        }
    };
    set(2, p.x), set(3, p.y), set(4, p.z), set(5, p.value), set(615, p.lookup), set(6, flags);
    set(13, p.intensity), set(13, p.floatIntensity);
    for (int i = 0; i < 3; ++i) block.SetDataValue(static_cast<unsigned short>(7 + i), p.sensor[i], 0, CDataBlock::kById);
    block.SetDataValue(11, 7.0, kvs::kStatusInvalid, CDataBlock::kById);
    block.SetDataValue(12, 7.0, kvs::kStatusInvalid, CDataBlock::kById);
    return block;
}

std::vector<unsigned int> Flags(const CDataBlock& block)
{
    return filtertest::ReadArray<unsigned int>(block, 6, CDataBlock::kById);
}

double Output(const CDataBlock& block, unsigned short id, unsigned short* status = nullptr)
{
    double v = 0.0;
    unsigned short st = 0;
    block.GetDataValue(id, v, st, CDataBlock::kById);
    if (status) *status = st;
    return v;
}

// Filters the block of p (Process always passes it on).
CDataBlock Filtered(F& filter, const Ping& p, unsigned short group = 1071)
{
    CDataBlock block = MakeBlock(p, group);
    EXPECT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    EXPECT_FALSE(filter.GetRemainder(block));
    return block;
}

Beams With(const CDataBlock& block, unsigned int bit)
{
    return filtertest::With(Flags(block), bit);
}

// Writes contour files into a temporary project and points DataSearch at it.
class ContourProject : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir + "/Contours");
        m_saved = DataSearch::GetDataSearch().GetProjectDirectory();
        DataSearch::GetDataSearch().SetProjectDirectory(CString(m_dir));
    }
    void TearDown() override
    {
        DataSearch::GetDataSearch().SetProjectDirectory(m_saved);
        std::filesystem::remove_all(m_dir);
    }
    void WriteContour(const char* name, const char* text) { std::ofstream(m_dir + "/Contours/" + name + ".ctr") << text; }
    // One directory a test: ctest runs the tests of this fixture side by side.
    std::string m_dir =
        ::testing::TempDir() + "pipedetect_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CString m_saved;
};

} // namespace

TEST(PipedetectBeamFilter, QualityAndIntensityStepsFlagTheBeamsTheyMustAndTheHistogramThoseOutsideThePipesWindow)
{
    const std::vector<unsigned short> in = {50, 10, 70, 30, 80, 20, 60, 40, 0};
    const std::vector<unsigned int> lastNoCandidate = {1, 1, 1, 1, 1, 1, 1, 1, 0x200};
    const struct
    {
        const char* name;
        int intensitiesKept; // "MaxIntensityCnt", -1: absent (5)
        Ping ping;
        unsigned int bits;
        Beams want; // the beams with any of the bits
        double pipeValue = NAN;
    } cases[] = {
        // 0x100 is still a quality candidate, 0x201 no longer.
        {"quality: bit 0 clear", 100, {.value = {1, 1, 1, 1}, .flags = {0u, 1u, 0x100u, 0x201u}}, F::kQualityBit,
         {0, 2, 3}},
        {"intensity: no more candidates than kept", -1, {.value = {1, 1, 1}, .intensity = {5, 1, 9}}, F::kIntensityBit,
         {}},
        // Beam 8 is no candidate: neither counted nor cut.
        {"intensity: the weakest cut", -1, {.value = std::vector<float>(9, 1.0f), .flags = lastNoCandidate,
         .intensity = in}, F::kIntensityBit, {1, 3, 5}},
        {"intensity as floats", -1, {.value = std::vector<float>(9, 1.0f), .flags = lastNoCandidate,
         .floatIntensity = {50, 10, 70, 30, 80, 20, 60, 40, 0}}, F::kIntensityBit, {1, 3, 5}},
        {"intensity: ties cut the lower beams, NaN counts as the weakest", 2,
         {.value = {1, 1, 1, 1}, .floatIntensity = {3.0f, 3.0f, std::nanf(""), 3.0f}}, F::kIntensityBit, {0, 2}},
        // Diameter 0: only the peak value passes the histogram.
        {"beam count beyond the arrays: the arrays count", -1, {.value = {10.0f, 10.0f, 30.0f}, .beams = 5000},
         F::kHistogramBit, {0, 1, 2}, 10.0},
        {"no values and an empty ring: nothing found, nothing touched", -1, {.value = {}, .flags = {1u}}, ~1u, {},
         7.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAttributeMap map;
        if (c.intensitiesKept >= 0) map.SetAttribValue(ATTR_MAXINTENSITYCNT, c.intensitiesKept);
        F filter(&map);
        const CDataBlock block = Filtered(filter, c.ping);
        EXPECT_EQ(With(block, c.bits), c.want);
        EXPECT_TRUE(std::isnan(c.pipeValue) || Output(block, 11) == c.pipeValue) << Output(block, 11);
    }

    // The histogram finds the pipe value and flags the beams outside its window.
    struct Case
    {
        const char* name;
        double diameter;
        std::vector<float> values, lookup;
        std::vector<unsigned int> flags;
        double pipeValue, valueAtMean;
        unsigned short status11, status12;
        Beams outside;
    };
    const Case histograms[] = {
        // 50.0 is never binned; its beams lie outside 10.025 +- 0.5; the mean beam index
        // (3 + 4) / 2 picks the lookup value.
        {"pipe at 10", 0.5, {50.0f, 50.0f, 50.0f, 10.0f, 10.04f}, {100, 101, 102, 103, 104, 105}, {},
         (10.0 + double(10.04f)) / 2.0, 103.0, 0, 0, {0, 1, 2}},
        // Values below half a bin are never counted; without a lookup array the mean index
        // itself is written, marked not valid.
        {"below half a bin", 0.0, {0.01f, 0.02f, 0.0f, 0.01f, 10.0f}, {}, {}, 10.0, 4.0, 0, kvs::kStatusInvalid,
         {0, 1, 2, 3, 4}},
        // Half a bin rounds up into bin 1, which is counted: the peak is bins 1 and 2.
        {"half a bin", 0.5, {0.025f, 0.025f, 10.0f}, {}, {}, double(0.025f), 0.0, 0, kvs::kStatusInvalid, {2}},
        // Nothing binned: the peak is the top pair of bins (49.925), no output is written;
        // 50.0 lies within 0.1 of it, 60.0 does not.
        {"nothing binned", 0.1, {60.0f, 50.0f, 60.0f}, {}, {}, 7.0, 7.0, kvs::kStatusInvalid, kvs::kStatusInvalid,
         {0, 2}},
        // Words from 0x100 up are no candidates: neither binned nor flagged; 0xFF is.
        {"candidates only", 0.5, {30, 30, 30, 10, 10}, {}, {0x101, 0x101, 0x101, 0xFF, 1}, 10.0, 3.0, 0,
         kvs::kStatusInvalid, {}},
    };
    for (const Case& c : histograms) {
        SCOPED_TRACE(c.name);
        CAttributeMap map = Attributes({{ATTR_PIPEDIAMETER, c.diameter}});
        F filter(&map);
        const CDataBlock block = Filtered(filter, {.value = c.values, .flags = c.flags, .lookup = c.lookup});
        unsigned short status11 = 99, status12 = 99;
        EXPECT_NEAR(Output(block, 11, &status11), c.pipeValue, 1e-6);
        EXPECT_DOUBLE_EQ(Output(block, 12, &status12), c.valueAtMean);
        EXPECT_EQ(std::tuple(status11, status12, With(block, F::kHistogramBit)),
                  std::tuple(c.status11, c.status12, c.outside));
    }
}

TEST_F(ContourProject, MaskFlagsBeamsCrossingSolidEdgesOfTheStructureAndNeedsAReadableContour)
{
    // Side view (x, z): a hull keel from x -2 to 2 at z -3 with an open moonpool edge
    // between x 2 and 3, the sensor under the keel at z -4.
    WriteContour("hull", "# x y z open\n-2 0 0 0\n-2 0 -3 0\n 2 0 -3 0\n 3 0 -3 1  # moonpool\n 3 0 0 0\n");
    CAttributeMap map = Attributes({{ATTR_MASKSHAPE, "hull"}, {ATTR_MAXINTENSITYCNT, 100}});
    F filter(&map);
    ASSERT_TRUE(filter.GetContourError().IsEmpty()) << filter.GetContourError().GetString();
    ASSERT_EQ(filter.GetContour().GetSize(), 5);
    // Downwards, through the keel, through the open edge, through keel and side, no
    // candidate (exactly 0x100); the sensor's y counts in the top view only.
    const Ping p{.value = {1, 1, 1, 1, 1}, .x = {0.0f, 0.0f, 2.75f, 5.0f, 0.0f}, .y = std::vector<float>(5, 0.0f),
                 .z = {-10.0f, -1.0f, -2.9f, -1.0f, -1.0f}, .flags = {1u, 1u, 1u, 1u, 0x100u}, .sensor = {0.0, 99.0, -4.0}};
    const CDataBlock block = Filtered(filter, p);
    EXPECT_EQ(With(block, F::kMaskBit), (Beams{1, 3}));
    EXPECT_EQ(Flags(block)[4], 0x100u | F::kQualityBit);

    // Top view: the same file seen from above is a line at y 0; the sensor at y 99 and
    // beams at y 0 reach it only at their end point, which does not count as a crossing.
    map.SetAttribValue(ATTR_SHAPEVIEWSIDE, 1);
    filter.SetAttributes(&map);
    EXPECT_EQ(With(Filtered(filter, p), F::kMaskBit), Beams{});

    // A contour of one point, a malformed or a missing file leave the mask off.
    WriteContour("dot", "0 0 -3 0\n");
    WriteContour("broken", "0 0 -3 0\n1 0 -3\n");
    const Ping q{.value = {1, 1}, .x = {0.0f, 0.5f}, .y = {0.0f, 0.0f}, .z = {-1.0f, -1.0f}, .sensor = {0, 0, -4.0}};
    for (const char* name : {"dot", "broken", "absent"}) {
        CAttributeMap shape = Attributes({{ATTR_MASKSHAPE, name}});
        F off(&shape);
        EXPECT_EQ(With(Filtered(off, q), F::kMaskBit), Beams{}) << name;
        EXPECT_EQ(off.GetContourError().IsEmpty(), std::string(name) == "dot") << name;
    }
}

TEST(PipedetectBeamFilter, RingKeepsTenPingsRestartsWhenTimeTurnsBackAndThePreviousPositionFlagsBeamsAwayFromThePipe)
{
    CAttributeMap map;
    F filter(&map);
    // Ten pings at 20.0 then one at 10.0: the ring still holds mostly 20.0.
    for (int i = 0; i < 12; ++i) Filtered(filter, {.value = {20.0f}, .time = 1.0 + i});
    EXPECT_EQ(filter.GetFilledCount(), 10);
    Ping later{.value = {10.0f, 10.0f}, .time = 13.0};
    EXPECT_FLOAT_EQ(Output(Filtered(filter, later), 11), 20.0f);
    // Earlier than the last of two ascending pings: the ring starts anew.
    later.time = 5.0;
    EXPECT_FLOAT_EQ(Output(Filtered(filter, later), 11), 10.0f);
    EXPECT_EQ(filter.GetFilledCount(), 1);
    F copy(filter); // with its own ring
    later.time = 4.0;
    Filtered(copy, later);
    EXPECT_EQ(std::pair(copy.GetFilledCount(), filter.GetFilledCount()), std::pair(2, 1));

    // The previous position flags beams away from the pipe unless it is the origin; it is
    // read again at every block.
    CAttributeMap pos = Attributes({{ATTR_PIPEDIAMETER, 1.0}, {ATTR_PREVPOSMARGIN, 0.5}}); // radius 1.0
    pos.SetAttribValue(ATTR_POSITION, 0.0, 0.0, 0.0);
    F tracker(&pos);
    const Ping p{.value = {10, 10, 10, 10}, .x = {5.0f, 5.9f, 5.0f, 9.0f}, .y = {0, 0, 0, 0},
                 .z = {-3.0f, -3.0f, -1.5f, -3.0f}, .flags = {1, 1, 1, 0x101}};
    EXPECT_EQ(With(Filtered(tracker, p), F::kPrevPosBit), Beams{});

    // Read again at every block; side view (x, z) by default.
    pos.SetAttribValue(ATTR_POSITION, 5.0, 100.0, -3.0);
    const CDataBlock block = Filtered(tracker, p);
    EXPECT_EQ(With(block, F::kPrevPosBit), Beams{2});
    EXPECT_EQ(Flags(block)[3], 0x101u);

    // Read again, the attributes reset the intensity count but keep the rest.
    CAttributeMap first = Attributes({{ATTR_MAXINTENSITYCNT, 1}, {ATTR_PREVPOSMARGIN, 5.0}, {ATTR_PIPEDIAMETER, 0.0}});
    F again(&first);
    CAttributeMap bare;
    bare.SetAttribValue(ATTR_POSITION, 1.0, 0.0, 1.0);
    again.SetAttributes(&bare);
    // 4.5 from the position: inside margin 5.
    const Ping q{.value = std::vector<float>(6, 1.0f), .x = std::vector<float>(6, 1.0f),
                 .y = std::vector<float>(6, 0.0f), .z = std::vector<float>(6, 5.5f), .intensity = {1, 2, 3, 4, 5, 6}};
    const CDataBlock kept = Filtered(again, q);
    EXPECT_EQ(std::pair(With(kept, F::kIntensityBit), With(kept, F::kPrevPosBit)), std::pair(Beams{0}, Beams{}));

    // Component group 1072 runs the histogram before the previous position: four beams at
    // 10.0 near the last position, five at 20.0 far from it.
    const Ping r{.value = {10, 10, 10, 10, 20, 20, 20, 20, 20}, .x = {0, 0, 0, 0, 9, 9, 9, 9, 9},
                 .y = std::vector<float>(9, 0.0f), .z = std::vector<float>(9, -1.0f),
                 .intensity = std::vector<unsigned short>(9, 1)};
    for (unsigned short group : {1071, 1072}) {
        CAttributeMap order = Attributes({{ATTR_MAXINTENSITYCNT, 100}, {ATTR_PIPEDIAMETER, 0.5}});
        order.SetAttribValue(ATTR_POSITION, 0.1, 0.0, -1.0);
        order.SetAttribValue(ATTR_PIPEDETECTCOMPID, CDataInfo(CDataId(1, group, 1, 1), 3));
        F ordered(&order);
        const CDataBlock out = Filtered(ordered, r);
        const bool first = group == 1071; // far beams gone first, the histogram sees only 10.0
        EXPECT_EQ(std::tuple(With(out, F::kPrevPosBit), Output(out, 11), With(out, F::kHistogramBit)),
                  std::tuple(Beams{4, 5, 6, 7, 8}, first ? 10.0 : 20.0, first ? Beams{} : Beams{0, 1, 2, 3})) << group;
    }
}

TEST(VesselContour, ReadsCornersIntoTheSideOrTopViewAndMalformedTextOrAMissingFileLeaveItEmptyAndNameTheFault)
{
    const CString text("# stern frame\n"
                       "1.0 2.0 3.0 0\r\n"
                       "\n"
                       "  -4.5,\t5.5 , -6.5 1 ; open edge\n");
    VesselContour side, top;
    ASSERT_TRUE(side.CreateFromText(text, VesselContour::kSideView)) << side.GetLastError().GetString();
    ASSERT_EQ(side.GetSize(), 2);
    VesselPoint p1, p2, p;
    ASSERT_TRUE(side.GetPoint(1, p1) && side.GetPoint(2, p2));
    EXPECT_EQ(std::tuple(p1 == Point(1.0, 3.0, 0.0), p1.flag, p2 == Point(-4.5, -6.5, 0.0), p2.flag),
              std::tuple(true, false, true, true));
    EXPECT_FALSE(side.GetPoint(0, p) || side.GetPoint(3, p));
    ASSERT_TRUE(top.CreateFromText(text, 1) && top.GetPoint(2, p));
    EXPECT_EQ(p, Point(-4.5, 5.5, 0.0));

    // Malformed text, more corners than the limit or a missing file leave an empty contour.
    std::string tooMany;
    for (int i = 0; i <= VesselContour::kMaxPoints; ++i) tooMany += "1 2 3 0\n";
    const std::string lastLine = "line " + std::to_string(VesselContour::kMaxPoints + 1) + ": too many corner points";
    const struct { const char* text; const char* error; } cases[] = {
        {tooMany.c_str(), lastLine.c_str()},
        {"1 2 3 0\n1 2 3\n", "line 2: expected four fields: x y z flag"},
        {"1 2 3 0 7\n", "line 1: expected four fields: x y z flag"},
        {"# c\n1 x 3 0\n", "line 2: coordinate is not a finite number"},
        {"1 2 nan 0\n", "line 1: coordinate is not a finite number"},
        {"1 2 1e999 0\n", "line 1: coordinate is not a finite number"},
        {"1 2 3 2\n", "line 1: flag must be 0 or 1"},
    };
    for (const auto& c : cases) {
        VesselContour contour;
        ASSERT_TRUE(contour.CreateFromText("0 0 0 0\n1 1 1 0\n", 5));
        EXPECT_FALSE(contour.CreateFromText(c.text, 5)) << c.text;
        EXPECT_EQ(contour.GetSize(), 0) << c.text;
        EXPECT_STREQ(contour.GetLastError().GetString(), c.error) << c.text;
    }
    VesselContour contour;
    EXPECT_FALSE(contour.CreateFromText(CString(std::string("1 2 3 0\n1 2\0 3 0\n", 16)), 5));
    EXPECT_STREQ(contour.GetLastError().GetString(), "line 2: unexpected NUL character");
    // A file that cannot be read, a malformed one (its path before the line) and an empty one.
    EXPECT_FALSE(contour.Create("/nonexistent/dir/shape.ctr", 5));
    EXPECT_EQ(contour.GetSize(), 0);
    EXPECT_STREQ(contour.GetLastError().GetString(), "/nonexistent/dir/shape.ctr: cannot open: No such file or directory");

    const std::string path = ::testing::TempDir() + "vessel_contour_test.ctr";
    std::ofstream(path) << "0 0 0 0\n1 1 1 1\nbad\n";
    EXPECT_FALSE(contour.Create(CString(path), 5));
    EXPECT_EQ(std::string(contour.GetLastError().GetString()), path + ": line 3: expected four fields: x y z flag");
    std::ofstream(path) << "";
    EXPECT_TRUE(contour.Create(CString(path), 5));
    EXPECT_EQ(contour.GetSize(), 0);
    EXPECT_TRUE(contour.GetLastError().IsEmpty());
    std::remove(path.c_str());
}

