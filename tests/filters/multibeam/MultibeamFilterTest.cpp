#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include "PingBlock.h"
#include "SurveySimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

using namespace pingtest;

// Counting allocator: every operator new of the test program is counted while
// g_countAllocations is set (left out of sanitizer builds, which bring their own).
#ifndef __SANITIZE_ADDRESS__
// The replacements pair malloc with free; the compiler cannot see that new is malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> g_countAllocations{false};
std::atomic<long> g_allocations{0};
void* CountedAlloc(std::size_t size)
{
    if (g_countAllocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
} // namespace
void* operator new(std::size_t size)
{
    if (void* p = CountedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    if (void* p = CountedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif

namespace {

constexpr COMPUPDATEMODE kFull = static_cast<COMPUPDATEMODE>(0);
constexpr COMPUPDATEMODE kErrorOnly = MultibeamFilter::kErrorLimitsOnly;

// A block of n beams along x = 0 .. n-1 at depth 10 (z = -10).
CDataBlock LineBlock(int n, double t = 0.0)
{
    CDataBlock b = MakePingBlock(n, t);
    std::vector<float> x(n), y(n, 0.0f), z(n, -10.0f);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(i - n / 2);
    SetFloats(b, 603, x);
    SetFloats(b, 604, y);
    SetFloats(b, 605, z);
    return b;
}

void SetBeam(CDataBlock& b, int i, float x, float y, float z)
{
    auto xs = ReadArray<float>(b, 603), ys = ReadArray<float>(b, 604), zs = ReadArray<float>(b, 605);
    xs[i] = x;
    ys[i] = y;
    zs[i] = z;
    SetFloats(b, 603, xs);
    SetFloats(b, 604, ys);
    SetFloats(b, 605, zs);
}

bool Same(const CDataBlock& a, const CDataBlock& b)
{
    if (a.GetLength() != b.GetLength() || a.GetDataSize() != b.GetDataSize() || a.GetTime() != b.GetTime() ||
        a.GetStatusAndFlags() != b.GetStatusAndFlags())
        return false;
    for (unsigned short i = 0; i < a.GetLength(); ++i) {
        CKvsBytePtr ea, eb;
        a.GetDataIdx(i, ea);
        b.GetDataIdx(i, eb);
        if (ea.GetStatus() != eb.GetStatus() || ea.GetLength() != eb.GetLength()) return false;
        if (ea.GetLength() && std::memcmp(ea.GetDataPtr(), eb.GetDataPtr(), ea.GetLength()) != 0) return false;
    }
    return true;
}

} // namespace

TEST(MultibeamFilter, NullMapLeavesEveryFilterOff)
{
    MultibeamFilter f(nullptr);
    CDataBlock b = LineBlock(5);
    SetFlags(b, {0x3, 0x3, 0xFFFF03, 0x0, 0x1});
    ASSERT_TRUE(f.Process(b, kFull));
    // Flags of earlier passes are cleared except the sonar bits and 0x10000 / 0x200000.
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x3, 0x3, 0x210003, 0x0, 0x1}));
    EXPECT_EQ(f.GetWindowSize(), 3);
    EXPECT_DOUBLE_EQ(f.GetQuantileScale(), 4.0);
    EXPECT_FALSE(f.GetRemainder(b));
}

TEST(MultibeamFilter, WindowSizeAndQuantileScaleAttributes)
{
    struct Case
    {
        int attr;
        int window;
    };
    for (Case c : {Case{0, 3}, Case{1, 5}, Case{2, 7}, Case{5, 7}, Case{-1, 3}, Case{-7, 3}}) {
        CAttributeMap a;
        a.SetAttribValue(ATTR_FILTERWINDOWSIZE, c.attr);
        EXPECT_EQ(MultibeamFilter(&a).GetWindowSize(), c.window) << c.attr;
    }
    struct Scale
    {
        int attr;
        double scale;
    };
    for (Scale c : {Scale{0, 4.0}, Scale{1, 6.0}, Scale{2, 5.0}, Scale{5, 2.0}, Scale{-3, 10.0}, Scale{6, 1.0},
                    Scale{7, 0.5}, Scale{8, 0.2}, Scale{9, 0.1}, Scale{12, 1.0}}) {
        CAttributeMap a;
        a.SetAttribValue(ATTR_FILTERQUANTSCALE, c.attr);
        EXPECT_DOUBLE_EQ(MultibeamFilter(&a).GetQuantileScale(), c.scale) << c.attr;
    }
}

TEST(MultibeamFilter, RejectListTakesBeamsAndForwardRangesOnly)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "3, 7-9, 12-10, 0, 4000, x, 2-3-4");
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4000);
    ASSERT_TRUE(f.Process(b, kFull));
    const auto flags = Flags(b);
    std::vector<int> flagged;
    for (int i = 0; i < 4000; ++i)
        if (flags[i] & MultibeamFilter::kFlagRejectList) flagged.push_back(i);
    EXPECT_EQ(flagged, (std::vector<int>{2, 6, 7, 8}));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagRejectList);
}

TEST(MultibeamFilter, QualityModesTestTheSonarBits)
{
    const std::vector<unsigned int> in = {0x0, 0x1, 0x2, 0x3};
    struct Case
    {
        int mode;
        std::vector<bool> flagged;
    };
    for (const Case& c : {Case{1, {true, false, true, false}}, Case{2, {true, true, false, false}},
                          Case{3, {true, true, true, false}}, Case{4, {false, false, false, false}}}) {
        CAttributeMap a;
        a.SetAttribValue(ATTR_QUALITYFILTER, true);
        a.SetAttribValue(ATTR_FILTERQUALITY, c.mode);
        MultibeamFilter f(&a);
        CDataBlock b = LineBlock(4);
        SetFlags(b, in);
        ASSERT_TRUE(f.Process(b, kFull));
        const auto flags = Flags(b);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ((flags[i] & MultibeamFilter::kFlagQuality) != 0, c.flagged[i]) << c.mode << " " << i;
        EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagQuality);
    }
}

TEST(MultibeamFilter, RangeLimitsAreInclusiveAndSkipRejectedBeams)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_RANGEFILTER, true);
    a.SetAttribValue(ATTR_FILTERMINRANGE, 10.0);
    a.SetAttribValue(ATTR_FILTERMAXRANGE, 100.0);
    a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "4");
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(5);
    SetBeam(b, 0, 0.0f, 0.0f, -100.0f);    // exactly 100
    SetBeam(b, 1, 0.0f, 0.0f, -100.001f);  // beyond
    SetBeam(b, 2, 6.0f, 8.0f, 0.0f);       // exactly 10
    SetBeam(b, 3, 0.0f, 0.0f, -500.0f);    // on the reject list
    SetBeam(b, 4, 0.0f, 0.0f, -9.0f);      // short, but offset 2 makes it 11... below
    b.SetDataValue(212, 0.0, 0, CDataBlock::kByUseAs);
    ASSERT_TRUE(f.Process(b, kFull));
    auto flags = Flags(b);
    EXPECT_EQ(flags[0], 0u);
    EXPECT_EQ(flags[1], MultibeamFilter::kFlagRange);
    EXPECT_EQ(flags[2], 0u);
    EXPECT_EQ(flags[3], MultibeamFilter::kFlagRejectList);
    EXPECT_EQ(flags[4], MultibeamFilter::kFlagRange);
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagRange);

    // The vertical offset is added to z: -9 - 2 = -11 lies inside.
    CDataBlock c = LineBlock(5);
    SetBeam(c, 4, 0.0f, 0.0f, -9.0f);
    c.SetDataValue(212, -2.0, 0, CDataBlock::kByUseAs);
    for (int i = 0; i < 4; ++i) SetBeam(c, i, 0.0f, 0.0f, -50.0f);
    ASSERT_TRUE(f.Process(c, kFull));
    EXPECT_EQ(Flags(c)[4], 0u);
}

TEST(MultibeamFilter, DepthLimitsAreInclusive)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_DEPTHFILTER, true);
    a.SetAttribValue(ATTR_FILTERMINDEPTH, 0.0);
    a.SetAttribValue(ATTR_FILTERMAXDEPTH, 50.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    SetBeam(b, 0, 0, 0, -50.0f);
    SetBeam(b, 1, 0, 0, -50.5f);
    SetBeam(b, 2, 0, 0, 0.0f);
    SetBeam(b, 3, 0, 0, 0.5f); // above the datum: depth -0.5
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0, 0x800, 0, 0x800}));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagDepth);
}

TEST(MultibeamFilter, SwathAngleFromTotalAndPerSide)
{
    // 120 degrees in total: 60 a side. Beams at 59 and 61 degrees on each side.
    CAttributeMap a;
    a.SetAttribValue(ATTR_NADIRFILTER, true);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 120.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    auto at = [](double deg) { return static_cast<float>(10.0 * std::tan(deg * std::numbers::pi / 180.0)); };
    SetBeam(b, 0, -at(61), 0, -10.0f);
    SetBeam(b, 1, -at(59), 0, -10.0f);
    SetBeam(b, 2, at(59), 0, -10.0f);
    SetBeam(b, 3, at(61), 0, -10.0f);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x1000, 0, 0, 0x1000}));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagSwath);

    // The per-side angles win over the total; a beam at x = 0 is judged as port.
    a.SetAttribValue(ATTR_FILTERPORTNADIRANGLE, 10.0);
    a.SetAttribValue(ATTR_FILTERSTARBOARDNADIRANGLE, 80.0);
    MultibeamFilter g(&a);
    CDataBlock c = LineBlock(3);
    SetBeam(c, 0, 0.0f, 5.0f, -10.0f);  // 26.6 degrees along-track, x = 0: port limit 10
    SetBeam(c, 1, 5.0f, 0.0f, -10.0f);  // 26.6 degrees starboard
    SetBeam(c, 2, -5.0f, 0.0f, -10.0f); // 26.6 degrees port
    ASSERT_TRUE(g.Process(c, kFull));
    EXPECT_EQ(Flags(c), (std::vector<unsigned int>{0x1000, 0, 0x1000}));
}

TEST(MultibeamFilter, SwathAngleModeThreeUsesTheBeamAngleArray)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_NADIRFILTER, true);
    a.SetAttribValue("NadirAngleFilter", 3);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 120.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    SetFloats(b, 622, {60.0f, 60.001f, -70.0f, 0.0f});
    ASSERT_TRUE(f.Process(b, kFull));
    // The raw angle is compared: -70 passes.
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0, 0x1000, 0, 0}));

    // Without the angle array there is no angle test; any other mode tests nothing.
    CDataBlock c = MakePingBlock(2, 0.0, {622});
    SetFloats(c, 603, {-100.0f, 100.0f});
    SetFloats(c, 605, {-1.0f, -1.0f});
    ASSERT_TRUE(f.Process(c, kFull));
    EXPECT_EQ(Flags(c), (std::vector<unsigned int>{0, 0}));
    a.SetAttribValue("NadirAngleFilter", 2);
    MultibeamFilter g(&a);
    CDataBlock d = LineBlock(2);
    SetFloats(d, 603, {-100.0f, 100.0f});
    SetFloats(d, 605, {-1.0f, -1.0f});
    ASSERT_TRUE(g.Process(d, kFull));
    EXPECT_EQ(Flags(d), (std::vector<unsigned int>{0, 0}));
}

TEST(MultibeamFilter, SwathDistanceIsStrictAndNeedsTheSwathSwitch)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_NADIRFILTER, true);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 180.0);
    a.SetAttribValue("NadirDistanceFilter", true);
    a.SetAttribValue("FilterPortNadirDistance", 100.0);
    a.SetAttribValue("FilterStarboardNadirDistance", -50.0); // made non-negative
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    SetFloats(b, 603, {-100.5f, -100.0f, 50.0f, 50.5f});
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x1000, 0, 0, 0x1000}));

    a.SetAttribValue(ATTR_NADIRFILTER, false);
    MultibeamFilter g(&a);
    CDataBlock c = LineBlock(4);
    SetFloats(c, 603, {-100.5f, -100.0f, 50.0f, 50.5f});
    ASSERT_TRUE(g.Process(c, kFull));
    EXPECT_EQ(Flags(c), (std::vector<unsigned int>(4, 0)));
    EXPECT_FALSE(PingFlags(c) & MultibeamFilter::kFlagSwath);
}

TEST(MultibeamFilter, AngleTestsAgreeWithTheExactAnglesAtTheirLimits)
{
    // Beams a hair's breadth either side of each limit: every one is judged exactly as
    // the arctangent or arccosine in double precision has it.
    const double offsets[] = {0.0, 1e-15, -1e-15, 1e-13, -1e-13, 1e-11, -1e-11, 1e-9, -1e-9, 1e-7, -1e-7, 1e-5, -1e-5};

    // Swath angle, a limit per side, with a vertical offset.
    CAttributeMap swath;
    swath.SetAttribValue(ATTR_NADIRFILTER, true);
    swath.SetAttribValue(ATTR_FILTERPORTNADIRANGLE, 55.5);
    swath.SetAttribValue(ATTR_FILTERSTARBOARDNADIRANGLE, 40.25);
    MultibeamFilter fs(&swath);
    std::vector<float> x, y, z;
    for (double depth : {7.3, 31.0, 212.9})
        for (double limit : {-55.5, 40.25})
            for (double o : offsets) {
                const double a = (std::fabs(limit) + o) / R_TO_D;
                x.push_back(static_cast<float>((limit < 0 ? -1 : 1) * depth * std::tan(a) * 0.8));
                y.push_back(static_cast<float>(depth * std::tan(a) * 0.6));
                z.push_back(static_cast<float>(-depth + 1.5));
            }
    const int n = static_cast<int>(x.size());
    CDataBlock b = MakePingBlock(n);
    SetFloats(b, 603, x);
    SetFloats(b, 604, y);
    SetFloats(b, 605, z);
    b.SetDataValue(212, -1.5, 0, CDataBlock::kByUseAs);
    ASSERT_TRUE(fs.Process(b, kFull));
    auto flags = Flags(b);
    int flagged = 0;
    for (int i = 0; i < n; ++i) {
        const double xi = x[i], yi = y[i];
        const double theta = std::atan2(std::sqrt(xi * xi + yi * yi), -(z[i] + -1.5)) * R_TO_D;
        const bool want = theta > (x[i] <= 0.0f ? 55.5 : 40.25);
        EXPECT_EQ((flags[i] & MultibeamFilter::kFlagSwath) != 0, want) << "beam " << i;
        flagged += want;
    }
    EXPECT_GT(flagged, 0);
    EXPECT_LT(flagged, n);

    // Slope and minimum angle: each ping has the nadir beam and one or two beams to
    // starboard, so that the nadir beam is the reference and the anchor.
    CAttributeMap slope;
    slope.SetAttribValue(ATTR_SLOPEFILTER, true);
    slope.SetAttribValue(ATTR_FILTERSLOPEANGLE, 33.3);
    CAttributeMap angle;
    angle.SetAttribValue(ATTR_ANGLEFILTER, true);
    angle.SetAttribValue(ATTR_FILTERMINANGLE, 151.7);
    MultibeamFilter fl(&slope);
    MultibeamFilter fa(&angle);
    for (double o : offsets) {
        const double s = (33.3 + o) / R_TO_D;
        CDataBlock c = MakePingBlock(2);
        const std::vector<float> cx{0.0f, 2.5f}, cz{-20.0f, static_cast<float>(-20.0 - 2.5 * std::tan(s))};
        SetFloats(c, 603, cx);
        SetFloats(c, 605, cz);
        ASSERT_TRUE(fl.Process(c, kFull));
        const bool steep = std::atan2(std::fabs(static_cast<double>(cz[1]) - cz[0]), static_cast<double>(cx[1]) - cx[0]) * R_TO_D > 33.3;
        EXPECT_EQ((Flags(c)[1] & MultibeamFilter::kFlagSlope) != 0, steep) << o;

        // The bend at beam 1 between the nadir beam and beam 2.
        const double bend = (180.0 - 151.7 + o) / R_TO_D;
        CDataBlock d = MakePingBlock(4);
        const std::vector<float> dx{0.0f, 3.0f, static_cast<float>(3.0 + 4.0 * std::cos(bend)), 9.0f};
        const std::vector<float> dz{-20.0f, -20.0f, static_cast<float>(-20.0 - 4.0 * std::sin(bend)), -30.0f};
        SetFloats(d, 603, dx);
        SetFloats(d, 605, dz);
        ASSERT_TRUE(fa.Process(d, kFull));
        auto dist2 = [&](int p, int q) {
            const double ddx = static_cast<double>(dx[p]) - dx[q], ddz = static_cast<double>(dz[p]) - dz[q];
            return ddx * ddx + ddz * ddz;
        };
        const double am2 = dist2(0, 1), mj2 = dist2(1, 2), aj2 = dist2(0, 2);
        const double phi = std::acos(std::clamp((am2 + mj2 - aj2) / (2.0 * std::sqrt(am2) * std::sqrt(mj2)), -1.0, 1.0)) * R_TO_D;
        EXPECT_EQ((Flags(d)[1] & MultibeamFilter::kFlagAngle) != 0, !(phi >= 151.7)) << o;
    }
}

TEST(MultibeamFilter, SlopeFollowsTheLastPassingBeamOutwards)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_SLOPEFILTER, true);
    a.SetAttribValue(ATTR_FILTERSLOPEANGLE, 45.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(7); // x = -3 .. 3, nadir beam 3
    auto z = ReadArray<float>(b, 605);
    z[5] = -5.0f;  // 78.7 degrees from beam 4: flagged
    z[6] = -10.5f; // judged against beam 4: 14 degrees, passes
    z[1] = -11.0f; // exactly 45 degrees from beam 2: passes
    z[0] = -13.0f; // 63 degrees from beam 1: flagged
    SetFloats(b, 605, z);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x2000, 0, 0, 0, 0, 0x2000, 0}));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagSlope);
}

TEST(MultibeamFilter, AngleFilterPassesStraightLinesAndFlagsSpikes)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_ANGLEFILTER, true);
    a.SetAttribValue(ATTR_FILTERMINANGLE, 180.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(9);
    // A sloping straight line: every interior angle is 180 degrees.
    auto z = ReadArray<float>(b, 605);
    for (int i = 0; i < 9; ++i) z[i] = static_cast<float>(-10.0 - 0.25 * i);
    SetFloats(b, 605, z);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>(9, 0)));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagAngle);

    a.SetAttribValue(ATTR_FILTERMINANGLE, 150.0);
    MultibeamFilter g(&a);
    CDataBlock c = LineBlock(9);
    auto zc = ReadArray<float>(c, 605);
    zc[6] = -8.0f; // a spike two beams starboard of nadir (beam 4)
    SetFloats(c, 605, zc);
    ASSERT_TRUE(g.Process(c, kFull));
    // Beam 5 bends by 117 degrees towards the spike and is flagged; the anchor stays at
    // nadir, so the spike bends by 72 degrees and is flagged; beam 7 lies straight again.
    const auto flags = Flags(c);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(flags[i], (i == 5 || i == 6) ? 0x4000u : 0u) << i;
}

TEST(MultibeamFilter, FlyingObjectsFlagBeamsThatFoldInwards)
{
    CAttributeMap a;
    a.SetAttribValue("FlyingObjectsFilter", true);
    a.SetAttribValue("FlyingObjectSize", 1);
    a.SetAttribValue("FlyingObjectBorder", 0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(9); // x = -4 .. 4
    auto x = ReadArray<float>(b, 603);
    x[0] = -1.5f; // port end folds back inside beam 1
    x[7] = 4.5f;  // starboard beam beyond beam 8
    SetFloats(b, 603, x);
    ASSERT_TRUE(f.Process(b, kFull));
    const auto flags = Flags(b);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(flags[i], (i == 0 || i == 8) ? 0x100000u : 0u) << i;
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagFlyingRan);
}

TEST(MultibeamFilter, FiltersNeedingNadirSkipAPingWithoutOne)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "1-5");
    a.SetAttribValue(ATTR_SLOPEFILTER, true);
    a.SetAttribValue(ATTR_ANGLEFILTER, true);
    a.SetAttribValue(ATTR_FILTERMINANGLE, 179.0);
    a.SetAttribValue("FlyingObjectsFilter", true);
    a.SetAttribValue("SmartFilter", true);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(5);
    ASSERT_TRUE(f.Process(b, kFull));
    const unsigned int ping = PingFlags(b);
    EXPECT_FALSE(ping & (MultibeamFilter::kFlagSlope | MultibeamFilter::kFlagAngle | MultibeamFilter::kFlagFlyingRan));
    EXPECT_TRUE(ping & MultibeamFilter::kFlagPingInvalid);
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>(5, 0x100)));
    // Without a nadir beam the nadir depths are written with status 40.
    double depth = 1.0;
    unsigned short st = 0;
    ASSERT_TRUE(b.GetDataValue(214, depth, st, CDataBlock::kByUseAs));
    EXPECT_EQ(st, kvs::kStatusInvalid);
    ASSERT_TRUE(b.GetDataValue(213, depth, st, CDataBlock::kByUseAs));
    EXPECT_EQ(st, kvs::kStatusInvalid);
}

TEST(MultibeamFilter, IhoLimitsFollowTheOrder)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_IHOORDER, 1);
    MultibeamFilter f(&a);
    EXPECT_FLOAT_EQ(f.Compute_IHO_VERT_Error(100.0f), std::sqrt(0.25f + 1.69f));
    EXPECT_NEAR(f.Compute_IHO_VERT_Error(100.0f), 1.3928f, 1e-4);
    EXPECT_FLOAT_EQ(f.Compute_IHO_HOR_Error(100.0f), 10.0f);
    EXPECT_FLOAT_EQ(f.Compute_IHO_HOR_Error(-100.0f), 10.0f);
    struct Case
    {
        int order;
        float vert;
        float hor;
    };
    for (Case c : {Case{0, std::sqrt(0.0625f + 0.5625f), 2.0f}, Case{2, std::sqrt(1.0f + 5.29f), 25.0f},
                   Case{3, std::sqrt(1.0f + 5.29f), 155.0f}, Case{4, std::sqrt(0.01f + 0.5625f), 0.4f},
                   Case{7, 0.0f, 0.0f}, Case{-1, 0.0f, 0.0f}}) {
        a.SetAttribValue(ATTR_IHOORDER, c.order);
        MultibeamFilter g(&a);
        EXPECT_NEAR(g.Compute_IHO_VERT_Error(100.0f), c.vert, 1e-5) << c.order;
        EXPECT_FLOAT_EQ(g.Compute_IHO_HOR_Error(100.0f), c.hor) << c.order;
    }
}

TEST(MultibeamFilter, IhoFilterComparesEstimatedWithAllowedErrors)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_IHOERRORCHECK, true);
    a.SetAttribValue(ATTR_IHOORDER, 1);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    b.SetDataValue(507, -90.0, 0, CDataBlock::kByUseAs); // d = -(-90 + -10) = 100 m
    const float v = std::sqrt(0.25f + 1.69f);
    SetFloats(b, 676, {v, std::nextafter(v, 2.0f), 0.1f, 0.1f});
    SetFloats(b, 677, {1.0f, 1.0f, 10.0f, 10.01f});
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0, 0x800000, 0, 0x800000}));
    EXPECT_EQ(ReadArray<float>(b, 678), std::vector<float>(4, v));
    EXPECT_EQ(ReadArray<float>(b, 679), std::vector<float>(4, 10.0f));
    EXPECT_EQ(PingFlags(b) & 0xFFFF00u & ~MultibeamFilter::kFlagPingInvalid, 0u); // no ping bit

    // Order 7 allows nothing: every beam with a positive estimate is flagged.
    a.SetAttribValue(ATTR_IHOORDER, 7);
    MultibeamFilter g(&a);
    CDataBlock c = LineBlock(3);
    SetFloats(c, 676, {0.0f, 0.01f, 0.0f});
    SetFloats(c, 677, {0.0f, 0.0f, 0.01f});
    ASSERT_TRUE(g.Process(c, kFull));
    EXPECT_EQ(Flags(c), (std::vector<unsigned int>{0, 0x800000, 0x800000}));

    // Without all four error arrays nothing is tested.
    CDataBlock d = MakePingBlock(3, 0.0, {679});
    SetFloats(d, 676, {5.0f, 5.0f, 5.0f});
    SetFloats(d, 677, {5.0f, 5.0f, 5.0f});
    ASSERT_TRUE(g.Process(d, kFull));
    EXPECT_EQ(Flags(d), (std::vector<unsigned int>(3, 0)));
}

TEST(MultibeamFilter, CustomLimitIsStrictAndOffWhenNotPositive)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_CUSTOMERROR, true);
    a.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.5);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(3);
    SetFloats(b, 676, {0.5f, 0.51f, 0.0f});
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0, 0x400000, 0}));
    for (double limit : {0.0, -1.0}) {
        a.SetAttribValue(ATTR_CUSTOMERRORVALUE, limit);
        MultibeamFilter g(&a);
        CDataBlock c = LineBlock(3);
        SetFloats(c, 676, {0.5f, 0.51f, 10.0f});
        ASSERT_TRUE(g.Process(c, kFull));
        EXPECT_EQ(Flags(c), (std::vector<unsigned int>(3, 0)));
    }
}

TEST(MultibeamFilter, ErrorSwitchesKeepTheirValueWhenTheirAttributesAreAbsent)
{
    CAttributeMap on;
    on.SetAttribValue(ATTR_CUSTOMERROR, true);
    on.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.5);
    on.SetAttribValue(ATTR_DEPTHFILTER, true);
    MultibeamFilter f(&on);
    CAttributeMap empty;
    static_cast<Filter&>(f).SetAttributes(&empty); // public through the interface
    CDataBlock b = LineBlock(2);
    SetFloats(b, 676, {1.0f, 0.0f});
    ASSERT_TRUE(f.Process(b, kFull));
    // Custom error still on, the depth filter (limits 0 / 0) switched off.
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x400000, 0}));
}

TEST(MultibeamFilter, ModeThreeRecomputesOnlyTheErrorLimitBits)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_IHOERRORCHECK, true);
    a.SetAttribValue(ATTR_IHOORDER, 1);
    a.SetAttribValue(ATTR_DEPTHFILTER, true); // would flag every beam (limits 0 / 0)
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(4);
    SetFlags(b, {0x2003, 0x400000 | 0x100, 0x800000, 0x8000});
    b.SetDataValue(607, 0x2000u | 0x100u | 0x10000u, 0, CDataBlock::kByUseAs);
    SetFloats(b, 676, {0.0f, 0.0f, 0.0f, 5.0f});
    SetFloats(b, 677, {0.0f, 0.0f, 0.0f, 0.0f});
    ASSERT_TRUE(f.Process(b, kErrorOnly));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0x2003, 0x100, 0x0, 0x8000 | 0x800000}));
    // The ping word keeps the earlier pass's bits; validation is judged again (3 of 4
    // beams rejected: invalid).
    EXPECT_EQ(PingFlags(b), 0x2000u | 0x100u | 0x10000u);
    int rejected = 0;
    unsigned short st = 0;
    b.GetDataValue(612, rejected, st, CDataBlock::kByUseAs);
    EXPECT_EQ(rejected, 3);
}

TEST(MultibeamFilter, PingIsValidUpToTheMaximumRejectedPercentage)
{
    for (int rejected : {40, 41}) {
        CAttributeMap a;
        a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
        CString list;
        list.Format("1-%d", rejected);
        a.SetAttribValue(ATTR_FILTERREJECTBEAMS, list);
        MultibeamFilter f(&a);
        CDataBlock b = LineBlock(100);
        ASSERT_TRUE(f.Process(b, kFull));
        EXPECT_EQ((PingFlags(b) & MultibeamFilter::kFlagPingInvalid) != 0, rejected == 41) << rejected;
        int count = 0;
        unsigned short st = 0;
        b.GetDataValue(612, count, st, CDataBlock::kByUseAs);
        EXPECT_EQ(count, rejected);
    }
    // A ping without beams is never valid.
    MultibeamFilter f(nullptr);
    CDataBlock b = LineBlock(0);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_TRUE(PingFlags(b) & MultibeamFilter::kFlagPingInvalid);
}

TEST(MultibeamFilter, UnreadableBlocksAreRefusedAndLeftUnchanged)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_DEPTHFILTER, true);
    a.SetAttribValue(ATTR_STATISTICFILTER, true);
    MultibeamFilter f(&a);
    std::vector<CDataBlock> bad;
    for (unsigned short missing : {603, 604, 605, 606}) bad.push_back(MakePingBlock(10, 1.0, {missing}));
    CDataBlock shortArray = MakePingBlock(10, 1.0);
    SetFloats(shortArray, 605, std::vector<float>(9, -1.0f)); // 9 items for 10 beams
    bad.push_back(shortArray);
    CDataBlock wrongType = MakePingBlock(10, 1.0, {606});
    bad.push_back(wrongType);
    CDataBlock negative = MakePingBlock(10, 1.0);
    negative.SetDataValue(602, -1, 0, CDataBlock::kByUseAs);
    bad.push_back(negative);
    // More beams than the filter's arrays hold.
    bad.push_back(MakePingBlock(MultibeamFilter::kMaxBeams + 1, 1.0));
    for (CDataBlock& b : bad) {
        const CDataBlock before = b;
        EXPECT_FALSE(f.Process(b, kFull));
        EXPECT_TRUE(Same(b, before));
    }
    // Refused blocks are not recorded for the drain.
    EXPECT_EQ(f.GetPendingCount(), 0);
    EXPECT_FALSE(f.GetRemainder(bad[0]));
}

TEST(MultibeamFilter, FourThousandBeamsAreAccepted)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_DEPTHFILTER, true);
    a.SetAttribValue(ATTR_FILTERMAXDEPTH, 100.0);
    MultibeamFilter f(&a);
    CDataBlock b = LineBlock(MultibeamFilter::kMaxBeams);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), std::vector<unsigned int>(MultibeamFilter::kMaxBeams, 0));
}

TEST(MultibeamFilter, ValuesSurviveTheRoundTripAndNadirIsWritten)
{
    MultibeamFilter f(nullptr);
    CDataBlock b = LineBlock(5, 1234.5);
    b.SetDataValue(601, 77, 0, CDataBlock::kByUseAs);
    b.SetDataValue(212, 1.5, 0, CDataBlock::kByUseAs);
    b.SetDataValue(505, 650000.25, 0, CDataBlock::kByUseAs);
    b.SetDataValue(506, 5800000.75, 0, CDataBlock::kByUseAs);
    b.SetDataValue(609, static_cast<unsigned short>(9), 0, CDataBlock::kByUseAs);
    b.SetDataValue(610, static_cast<short>(-10), 0, CDataBlock::kByUseAs);
    b.SetDataValue(619, 619, 0, CDataBlock::kByUseAs);
    b.SetDataValue(625, 6.25f, 0, CDataBlock::kByUseAs);
    b.SetDataValue(612, 99, 40, CDataBlock::kByUseAs);
    const std::vector<unsigned short> v608 = {1, 2, 3, 4, 5};
    b.SetDataValue(608, v608.data(), 5, 0, CDataBlock::kByUseAs);
    SetFloats(b, 621, {1, 2, 3, 4, 5});
    b.SetStatus(20);
    auto z = ReadArray<float>(b, 605);
    z[2] = -12.5f; // nadir beam (x = 0)
    SetFloats(b, 605, z);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(b.GetTime(), 1234.5);
    EXPECT_EQ(b.GetStatus(), 0);
    unsigned short st = 1;
    int i = 0;
    double d = 0;
    short s = 0;
    unsigned short us = 0;
    float fl = 0;
    EXPECT_TRUE(b.GetDataValue(601, i, st, CDataBlock::kByUseAs) && i == 77 && st == 0);
    EXPECT_TRUE(b.GetDataValue(505, d, st, CDataBlock::kByUseAs) && d == 650000.25);
    EXPECT_TRUE(b.GetDataValue(506, d, st, CDataBlock::kByUseAs) && d == 5800000.75);
    EXPECT_TRUE(b.GetDataValue(609, us, st, CDataBlock::kByUseAs) && us == 9);
    EXPECT_TRUE(b.GetDataValue(610, s, st, CDataBlock::kByUseAs) && s == -10);
    EXPECT_TRUE(b.GetDataValue(619, i, st, CDataBlock::kByUseAs) && i == 619);
    EXPECT_TRUE(b.GetDataValue(625, fl, st, CDataBlock::kByUseAs) && fl == 6.25f);
    EXPECT_TRUE(b.GetDataValue(612, i, st, CDataBlock::kByUseAs) && i == 0 && st == 0);
    EXPECT_TRUE(b.GetDataValue(214, d, st, CDataBlock::kByUseAs) && d == 12.5 && st == 0);
    EXPECT_TRUE(b.GetDataValue(213, d, st, CDataBlock::kByUseAs) && d == 11.0 && st == 0);
    EXPECT_EQ(ReadArray<unsigned short>(b, 608), v608);
    EXPECT_EQ(ReadArray<float>(b, 621), (std::vector<float>{1, 2, 3, 4, 5}));
}

TEST(MultibeamFilter, OptionalElementsAbsentFromTheBlockAreSkipped)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_IHOERRORCHECK, true);
    a.SetAttribValue(ATTR_CUSTOMERROR, true);
    a.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.1);
    a.SetAttribValue(ATTR_NADIRFILTER, true);
    a.SetAttribValue("NadirAngleFilter", 3);
    MultibeamFilter f(&a);
    // Only the beam count and the four required arrays, the flags as ET_ULONG_ARRAY.
    CDataBlock b;
    b.Allocate(5);
    b.InitDataElement(0, 1, ET_INT, 4, 0, 602);
    b.InitDataElement(1, 2, ET_FLOAT_ARRAY, 12, 0, 603);
    b.InitDataElement(2, 3, ET_FLOAT_ARRAY, 12, 0, 604);
    b.InitDataElement(3, 4, ET_FLOAT_ARRAY, 12, 0, 605);
    b.InitDataElement(4, 5, ET_ULONG_ARRAY, 12, 0, 606);
    b.Init();
    b.SetDataValue(602, 3, 0, CDataBlock::kByUseAs);
    b.SetTime(5.0);
    SetFloats(b, 603, {-1, 0, 1});
    SetFloats(b, 605, {-10, -10, -10});
    const unsigned long flags[3] = {0x1, 0x8000, 0x2};
    ASSERT_TRUE(b.SetDataValue(606, flags, 3, 0, CDataBlock::kByUseAs));
    ASSERT_TRUE(f.Process(b, kFull));
    std::vector<unsigned long> out;
    unsigned short st = 0;
    ASSERT_TRUE(b.GetDataValue(606, out, st, CDataBlock::kByUseAs));
    EXPECT_EQ(out, (std::vector<unsigned long>{0x1, 0x0, 0x2}));
    EXPECT_EQ(b.GetLength(), 5u);
    EXPECT_EQ(b.GetTime(), 5.0);
}

TEST(MultibeamFilter, The608ArrayCountsOnlyWithStatusZero)
{
    MultibeamFilter f(nullptr);
    CDataBlock b = LineBlock(3);
    const std::vector<unsigned short> v608 = {1, 2, 3};
    b.SetDataValue(608, v608.data(), 3, 40, CDataBlock::kByUseAs);
    SetFloats(b, 618, {7, 8, 9});
    ASSERT_TRUE(f.Process(b, kFull));
    // 608 was not read, so it is not written back: its status stays 40.
    CKvsBytePtr e;
    ASSERT_TRUE(b.GetData(608, e, CDataBlock::kByUseAs));
    EXPECT_EQ(e.GetStatus(), 40);
    ASSERT_TRUE(b.GetData(618, e, CDataBlock::kByUseAs));
    EXPECT_EQ(e.GetStatus(), 0);
    EXPECT_EQ(ReadArray<float>(b, 618), (std::vector<float>{7, 8, 9}));
}

#ifndef __SANITIZE_ADDRESS__
TEST(MultibeamFilter, SteadyStateAllocatesNothingPerPing)
{
    CAttributeMap a;
    for (const char* name : {ATTR_RANGEFILTER, ATTR_DEPTHFILTER, ATTR_NADIRFILTER, ATTR_SLOPEFILTER, ATTR_ANGLEFILTER,
                             ATTR_STATISTICFILTER, ATTR_IHOERRORCHECK, ATTR_CUSTOMERROR, ATTR_BEAMREJECTFILTER,
                             ATTR_QUALITYFILTER, "FlyingObjectsFilter", "SmartFilter", "NadirDistanceFilter"})
        a.SetAttribValue(name, true);
    a.SetAttribValue(ATTR_FILTERMAXRANGE, 1000.0);
    a.SetAttribValue(ATTR_FILTERMAXDEPTH, 1000.0);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 150.0);
    a.SetAttribValue(ATTR_FILTERSLOPEANGLE, 60.0);
    a.SetAttribValue(ATTR_FILTERMINANGLE, 120.0);
    a.SetAttribValue(ATTR_FILTERWINDOWSIZE, 2);
    a.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.3);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "1,2,3");
    a.SetAttribValue("FilterPortNadirDistance", 200.0);
    a.SetAttribValue("FilterStarboardNadirDistance", 200.0);
    MultibeamFilter f(&a);
    std::vector<CDataBlock> pings;
    for (int p = 0; p < 20; ++p) {
        CDataBlock b = MakePingBlock(400, p * 0.1);
        SetFlatSwath(b, 400, 30.0 + 0.01 * p, 120.0);
        SetFloats(b, 676, std::vector<float>(400, 0.2f));
        SetFloats(b, 677, std::vector<float>(400, 0.5f));
        pings.push_back(b);
    }
    for (int p = 0; p < 10; ++p) f.Process(pings[p], kFull); // warm up
    g_allocations = 0;
    g_countAllocations = true;
    int out = 0;
    for (int p = 10; p < 20; ++p) out += f.Process(pings[p], kFull) ? 1 : 0;
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(out, 10);
}
#endif

// ---- statistical filter --------------------------------------------------------------

namespace {

CAttributeMap StatsAttributes(int windowAttr)
{
    CAttributeMap a;
    a.SetAttribValue(ATTR_STATISTICFILTER, true);
    if (windowAttr >= 0) a.SetAttribValue(ATTR_FILTERWINDOWSIZE, windowAttr);
    return a;
}

// Ping number p at time p, n beams flat at depth 100.
CDataBlock NumberedPing(int p, int n = 9, double t = -1.0)
{
    CDataBlock b = MakePingBlock(n, t < 0 ? p : t);
    SetFlatSwath(b, n, 100.0, 50.0);
    b.SetDataValue(601, p, 0, CDataBlock::kByUseAs);
    return b;
}

int PingNumber(const CDataBlock& b)
{
    int p = -1;
    unsigned short st = 0;
    b.GetDataValue(601, p, st, CDataBlock::kByUseAs);
    return p;
}

} // namespace

TEST(MultibeamFilter, QuantileFollowsItsPositionRules)
{
    std::vector<double> v = {4, 1, 3, 2};
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.75, v), 3.0);
    EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 4})); // sorted in place
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.5, v), 2.5);
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.25, v), 1.0); // no interpolation at k = 0
    std::vector<double> five = {5, 4, 3, 2, 1};
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(1.0, five), 4.0); // the second largest
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.5, five), 3.0);
    std::vector<double> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.3, nine), 3.4);
    std::vector<double> one = {7};
    EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(0.5, one), 7.0);
}

TEST(MultibeamFilter, WindowOfThreeHoldsOnePingAndDrainsIt)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    std::vector<int> out;
    for (int p = 1; p <= 6; ++p) {
        CDataBlock b = NumberedPing(p);
        const bool done = f.Process(b, kFull);
        EXPECT_EQ(done, p > 1) << p;
        if (done) {
            out.push_back(PingNumber(b));
            EXPECT_EQ(b.GetTime(), PingNumber(b));
            // The first ping leaves unjudged; later ones carry the statistics bit.
            EXPECT_EQ((PingFlags(b) & MultibeamFilter::kFlagStatistics) != 0, PingNumber(b) > 1);
        }
    }
    EXPECT_EQ(f.GetPendingCount(), 1);
    CDataBlock b;
    ASSERT_TRUE(f.GetRemainder(b));
    out.push_back(PingNumber(b));
    EXPECT_FALSE(f.GetRemainder(b));
    EXPECT_FALSE(f.IsWindowAllocated());
    EXPECT_EQ(out, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(MultibeamFilter, WindowOfFiveFillsWarmsUpAndDrainsTwo)
{
    CAttributeMap a = StatsAttributes(1);
    MultibeamFilter f(&a);
    std::vector<int> out;
    std::vector<bool> judged;
    for (int p = 1; p <= 8; ++p) {
        CDataBlock b = NumberedPing(p);
        const bool done = f.Process(b, kFull);
        EXPECT_EQ(done, p > 2) << p;
        if (done) {
            out.push_back(PingNumber(b));
            judged.push_back(PingFlags(b) & MultibeamFilter::kFlagStatistics);
        }
    }
    CDataBlock b;
    while (f.GetRemainder(b)) {
        out.push_back(PingNumber(b));
        judged.push_back(PingFlags(b) & MultibeamFilter::kFlagStatistics);
    }
    EXPECT_EQ(out, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    // Pings 1 and 2 leave while the window warms up.
    EXPECT_EQ(judged, (std::vector<bool>{false, false, true, true, true, true, true, true}));
}

TEST(MultibeamFilter, HeldPingsLeaveWithTheElementsTheFilterDoesNotCarry)
{
    CAttributeMap a = StatsAttributes(1); // window 5: pings leave two blocks late
    MultibeamFilter f(&a);
    int seen = 0;
    auto check = [&](const CDataBlock& b) {
        unsigned char mark = 0;
        unsigned short st = 0;
        ASSERT_TRUE(b.GetDataValue(99, mark, st, CDataBlock::kByUseAs));
        EXPECT_EQ(mark, PingNumber(b));
        ++seen;
    };
    for (int p = 1; p <= 6; ++p) {
        CDataBlock b = NumberedPing(p);
        b.SetDataValue(99, static_cast<unsigned char>(p), 0, CDataBlock::kByUseAs); // not a ping member
        if (f.Process(b, kFull)) check(b);
    }
    CDataBlock b;
    while (f.GetRemainder(b)) check(b);
    EXPECT_EQ(seen, 6);
}

TEST(MultibeamFilter, StreamsShorterThanHalfTheWindowAreDrainedToo)
{
    for (int pings : {1, 2, 3}) {
        CAttributeMap a = StatsAttributes(2); // window 7
        MultibeamFilter f(&a);
        std::vector<int> out;
        for (int p = 1; p <= pings; ++p) {
            CDataBlock b = NumberedPing(p);
            EXPECT_FALSE(f.Process(b, kFull));
        }
        CDataBlock b;
        while (f.GetRemainder(b)) out.push_back(PingNumber(b));
        std::vector<int> want;
        for (int p = 1; p <= pings; ++p) want.push_back(p);
        EXPECT_EQ(out, want) << pings;
    }
}

TEST(MultibeamFilter, FixedRatioPassIsStrictAtThreePercent)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    CDataBlock p1 = NumberedPing(1, 10), p2 = NumberedPing(2, 10), p3 = NumberedPing(3, 10);
    auto z = ReadArray<float>(p2, 605);
    z[3] = -103.0f;  // exactly 3 % below the median of 100
    z[6] = -103.01f; // just beyond
    SetFloats(p2, 605, z);
    EXPECT_FALSE(f.Process(p1, kFull));
    EXPECT_TRUE(f.Process(p2, kFull));
    ASSERT_TRUE(f.Process(p3, kFull));
    ASSERT_EQ(PingNumber(p3), 2);
    const auto flags = Flags(p3);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(flags[i], i == 6 ? MultibeamFilter::kFlagStatistics : 0u) << i;
}

TEST(MultibeamFilter, StatisticsNeedFourSamples)
{
    for (int neighbourBeams : {0, 1}) {
        CAttributeMap a = StatsAttributes(0);
        MultibeamFilter f(&a);
        CDataBlock p1 = NumberedPing(1, neighbourBeams), p2 = NumberedPing(2, 3), p3 = NumberedPing(3, 0);
        auto z = ReadArray<float>(p2, 605);
        z[1] = -200.0f;
        SetFloats(p2, 605, z);
        f.Process(p1, kFull);
        f.Process(p2, kFull);
        ASSERT_TRUE(f.Process(p3, kFull));
        ASSERT_EQ(PingNumber(p3), 2);
        // Three samples: no test; four: the outlier is flagged.
        EXPECT_EQ(Flags(p3)[1] != 0, neighbourBeams == 1) << neighbourBeams;
        EXPECT_TRUE(PingFlags(p3) & MultibeamFilter::kFlagStatistics);
    }
}

TEST(MultibeamFilter, PingsTooNarrowForTheWindowAreMarkedButNotTested)
{
    CAttributeMap a = StatsAttributes(1); // window 5: needs 5 beams
    MultibeamFilter f(&a);
    std::vector<CDataBlock> out;
    for (int p = 1; p <= 5; ++p) {
        CDataBlock b = NumberedPing(p, 4);
        SetFloats(b, 605, {-100.0f, -150.0f, -100.0f, -100.0f});
        if (f.Process(b, kFull)) out.push_back(b);
    }
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(PingFlags(out[2]) & MultibeamFilter::kFlagStatistics);
    EXPECT_EQ(Flags(out[2]), std::vector<unsigned int>(4, 0));
}

TEST(MultibeamFilter, EdgeBeamsAreJudgedByTheOuterSamples)
{
    CAttributeMap a = StatsAttributes(1); // window 5, h = 2
    MultibeamFilter f(&a);
    CDataBlock last;
    for (int p = 1; p <= 5; ++p) {
        CDataBlock b = NumberedPing(p, 12);
        if (p == 3) {
            auto z = ReadArray<float>(b, 605);
            z[0] = -90.0f;  // below the first judged beam (2)
            z[11] = -90.0f; // beyond the last judged beam (9)
            SetFloats(b, 605, z);
        }
        if (f.Process(b, kFull)) last = b;
    }
    ASSERT_EQ(PingNumber(last), 3);
    const auto flags = Flags(last);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(flags[i], (i == 0 || i == 11) ? MultibeamFilter::kFlagStatistics : 0u) << i;
}

TEST(MultibeamFilter, TimeReversalRestartsTheWindow)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    std::vector<int> out;
    auto feed = [&](int p, double t) {
        CDataBlock b = NumberedPing(p, 9, t);
        if (f.Process(b, kFull)) out.push_back(PingNumber(b));
    };
    feed(1, 1.0);
    feed(2, 2.0);
    feed(3, 3.0);
    feed(4, 3.0); // equal to the last time: no restart
    feed(5, 4.0); // the last two stored times do not run upwards, this one is later: restart
    feed(6, 5.0); //   (ping 4 is dropped)
    feed(7, 4.5); // earlier than a run upwards: restart, ping 6 is dropped
    feed(8, 4.4); // a fresh window, running backwards
    EXPECT_EQ(out, (std::vector<int>{1, 2, 3, 5, 7}));
    CDataBlock b;
    while (f.GetRemainder(b)) out.push_back(PingNumber(b));
    EXPECT_EQ(out.back(), 8);
}

TEST(MultibeamFilter, RunningWindowRestartsLikeAFreshOneAfterATimeReversal)
{
    // Pings of a full window of 7, then the line runs back in time: from the reversal on
    // the filter gives exactly what a new filter gives for the pings from there.
    std::srand(3);
    auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
    std::vector<CDataBlock> pings;
    for (int p = 0; p < 30; ++p) {
        const int n = 30;
        CDataBlock b = MakePingBlock(n, p < 17 ? p : 32.5 - p);
        std::vector<float> x(n), z(n);
        for (int i = 0; i < n; ++i) {
            x[i] = static_cast<float>(i - n / 2);
            z[i] = static_cast<float>(-40.0 - 0.05 * i + (uniform() - 0.5) * 0.8 + (uniform() < 0.05 ? 3.0 : 0.0));
        }
        SetFloats(b, 603, x);
        SetFloats(b, 605, z);
        b.SetDataValue(601, p, 0, CDataBlock::kByUseAs);
        pings.push_back(b);
    }
    CAttributeMap a = StatsAttributes(2);
    MultibeamFilter whole(&a);
    MultibeamFilter fresh(&a);
    std::vector<std::vector<unsigned int>> fromWhole, fromFresh;
    for (int p = 0; p < 30; ++p) {
        CDataBlock b = pings[p];
        const bool out = whole.Process(b, kFull);
        if (p >= 17 && out) fromWhole.push_back(Flags(b));
        if (p >= 17) {
            CDataBlock c = pings[p];
            if (fresh.Process(c, kFull)) fromFresh.push_back(Flags(c));
        }
    }
    CDataBlock b;
    while (whole.GetRemainder(b)) fromWhole.push_back(Flags(b));
    while (fresh.GetRemainder(b)) fromFresh.push_back(Flags(b));
    ASSERT_EQ(fromFresh.size(), 13u);
    EXPECT_EQ(fromWhole, fromFresh);
}

TEST(MultibeamFilter, CopyingADrainedFilterIsSafe)
{
    CAttributeMap a = StatsAttributes(1);
    MultibeamFilter f(&a);
    for (int p = 1; p <= 6; ++p) {
        CDataBlock b = NumberedPing(p, 20);
        f.Process(b, kFull);
    }
    CDataBlock b;
    while (f.GetRemainder(b)) {
    }
    EXPECT_FALSE(f.IsWindowAllocated());
    // The working ping referred to the released window: a copy must not read it.
    MultibeamFilter copy(f);
    CDataBlock c = NumberedPing(7, 20);
    EXPECT_FALSE(copy.Process(c, kFull));
    EXPECT_EQ(copy.GetPendingCount(), 1);
    EXPECT_TRUE(copy.GetRemainder(c));
    EXPECT_EQ(PingNumber(c), 7);
}

TEST(MultibeamFilter, ModeThreeHoldsNothingInTheWindow)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    CDataBlock b = NumberedPing(1);
    EXPECT_TRUE(f.Process(b, kErrorOnly));
    EXPECT_EQ(f.GetPendingCount(), 0);
    EXPECT_FALSE(f.GetRemainder(b));
}

TEST(MultibeamFilter, HeldPingLeavesTheBlockFlagsAsFilteredSoFar)
{
    CAttributeMap a = StatsAttributes(0);
    a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "2");
    MultibeamFilter f(&a);
    CDataBlock b = NumberedPing(1, 3);
    SetFlags(b, {0x4000, 0, 0});
    EXPECT_FALSE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (std::vector<unsigned int>{0, 0x100, 0}));
}

TEST(MultibeamFilter, CopiesOwnTheirWindows)
{
    CAttributeMap a = StatsAttributes(1);
    auto original = std::make_unique<MultibeamFilter>(&a);
    for (int p = 1; p <= 4; ++p) {
        CDataBlock b = NumberedPing(p, 20);
        original->Process(b, kFull);
    }
    MultibeamFilter copy(*original);
    MultibeamFilter assigned(nullptr);
    assigned = *original;
    std::vector<int> fromOriginal, fromCopy, fromAssigned;
    for (int p = 5; p <= 7; ++p) {
        CDataBlock b1 = NumberedPing(p, 20), b2 = b1, b3 = b1;
        if (original->Process(b1, kFull)) fromOriginal.push_back(PingNumber(b1));
        if (copy.Process(b2, kFull)) fromCopy.push_back(PingNumber(b2));
        if (assigned.Process(b3, kFull)) fromAssigned.push_back(PingNumber(b3));
        EXPECT_TRUE(Same(b1, b2));
    }
    original.reset(); // the copies must not depend on its arrays
    CDataBlock b;
    while (copy.GetRemainder(b)) fromCopy.push_back(PingNumber(b));
    while (assigned.GetRemainder(b)) fromAssigned.push_back(PingNumber(b));
    EXPECT_EQ(fromOriginal, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(fromCopy, (std::vector<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(fromAssigned, fromCopy);
}

TEST(MultibeamFilter, WindowSizeChangeReleasesTheWindow)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    CDataBlock b = NumberedPing(1);
    f.Process(b, kFull);
    EXPECT_TRUE(f.IsWindowAllocated());
    CAttributeMap same = StatsAttributes(0);
    static_cast<Filter&>(f).SetAttributes(&same);
    EXPECT_TRUE(f.IsWindowAllocated());
    EXPECT_EQ(f.GetPendingCount(), 0);
    CAttributeMap bigger = StatsAttributes(2);
    static_cast<Filter&>(f).SetAttributes(&bigger);
    EXPECT_FALSE(f.IsWindowAllocated());
    EXPECT_EQ(f.GetWindowSize(), 7);
}

namespace {

// The statistical filter written out plainly, sample by sample, for a stream of pings
// with rising times: the flags of every ping in output order (drain included).
struct RefPing
{
    std::vector<float> z;
    std::vector<unsigned int> flags;
};

std::vector<std::vector<unsigned int>> ReferenceStats(const std::vector<RefPing>& input, int w, double scale)
{
    const int h = w / 2;
    std::vector<RefPing> win;
    std::vector<std::vector<unsigned int>> out;
    double s = 4.0;
    auto pass = [&](RefPing& mid, int m, int pmax, bool spread) {
        const int n = static_cast<int>(mid.z.size());
        for (int j = h; j < n - h; ++j) {
            std::vector<double> v;
            for (int b = j - h; b <= j + h; ++b)
                for (int p = -h; p <= pmax; ++p) {
                    const RefPing& q = win[m + p];
                    if (b < static_cast<int>(q.z.size()) && q.flags[b] < 0x8000u) v.push_back(q.z[b]);
                }
            if (v.size() < 4) continue;
            const double med = MultibeamFilter::Quantile(0.5, v);
            double limit = std::fabs(0.03 * med);
            if (spread) {
                const double q1 = MultibeamFilter::Quantile(0.25, v);
                const double q3 = MultibeamFilter::Quantile(0.75, v);
                s = 0.9 * s + 0.1 * std::fabs(q3 - q1);
                limit = scale * std::max(s, 0.1);
            }
            auto judge = [&](int t) {
                if (std::fabs(mid.z[t] - med) > limit) mid.flags[t] |= 0x8000u;
            };
            judge(j);
            if (j == h)
                for (int t = h - 1; t >= 0; --t) judge(t);
            if (j == n - 1 - h)
                for (int t = j + 1; t < n; ++t) judge(t);
        }
    };
    auto feed = [&](RefPing ping) {
        for (unsigned int& f : ping.flags) f &= MultibeamFilter::kKeepInFullMode;
        win.push_back(ping);
        const int fill = static_cast<int>(win.size());
        if (fill < h + 1) return;
        const int m = fill - h - 1;
        if (fill >= w) {
            pass(win[m], m, h, false);
            const int pmax = fill < w + h ? (fill > w ? fill - w : 0) : h;
            pass(win[m], m, pmax, true);
        }
        out.push_back(win[m].flags);
    };
    for (const RefPing& p : input) feed(p);
    for (int i = 0; i < std::min<int>(h, static_cast<int>(input.size())); ++i) feed(input.back());
    return out;
}

} // namespace

TEST(MultibeamFilter, SlidingSampleMatchesThePlainStatistics)
{
    std::srand(7);
    auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
    for (int windowAttr : {0, 1, 2}) {
        for (int scaleAttr : {0, 3, 8}) {
            std::vector<RefPing> pings;
            // Long enough for many pings of a full window; now and then a ping narrower
            // than the window.
            for (int p = 0; p < 30; ++p) {
                const int n = p % 11 == 7 ? 2 + p % 5 : 20 + static_cast<int>(uniform() * 20);
                RefPing r;
                for (int i = 0; i < n; ++i) {
                    double z = -50.0 + 0.01 * i + (uniform() - 0.5) * 0.6;
                    if (uniform() < 0.05) z += (uniform() < 0.5 ? -1 : 1) * (1.0 + 5.0 * uniform());
                    if (uniform() < 0.02) z = -50.0; // repeated values
                    r.z.push_back(static_cast<float>(z));
                    r.flags.push_back(uniform() < 0.05 ? 0x200000u : (uniform() < 0.3 ? 0x3u : 0u));
                }
                pings.push_back(r);
            }
            CAttributeMap a = StatsAttributes(windowAttr);
            a.SetAttribValue(ATTR_FILTERQUANTSCALE, scaleAttr);
            MultibeamFilter f(&a);
            std::vector<std::vector<unsigned int>> got;
            for (size_t p = 0; p < pings.size(); ++p) {
                const int n = static_cast<int>(pings[p].z.size());
                CDataBlock b = MakePingBlock(n, static_cast<double>(p));
                SetFloats(b, 603, std::vector<float>(n, 0.0f));
                SetFloats(b, 605, pings[p].z);
                SetFlags(b, pings[p].flags);
                if (f.Process(b, kFull)) got.push_back(Flags(b));
            }
            CDataBlock b;
            while (f.GetRemainder(b)) got.push_back(Flags(b));
            const auto want = ReferenceStats(pings, f.GetWindowSize(), f.GetQuantileScale());
            ASSERT_EQ(got.size(), pings.size());
            int flagged = 0;
            for (const auto& v : want)
                for (unsigned int fl : v) flagged += (fl & 0x8000u) ? 1 : 0;
            EXPECT_GT(flagged, 10);
            EXPECT_EQ(got, want) << "window " << f.GetWindowSize() << " scale " << f.GetQuantileScale();
        }
    }
}

// ---- smart filter ----------------------------------------------------------------------

namespace {

// Beams at x = -100 .. 100 every metre on a flat seabed at depth 20, then one at x = 101.
CDataBlock FlatSmartPing()
{
    const int n = 202;
    CDataBlock b = MakePingBlock(n);
    std::vector<float> x(n), z(n, -20.0f);
    for (int i = 0; i < 201; ++i) x[i] = static_cast<float>(i - 100);
    x[201] = 101.0f;
    SetFloats(b, 603, x);
    SetFloats(b, 605, z);
    return b;
}

int BeamAt(int x)
{
    return x + 100;
}

std::vector<int> SmartFlagged(const CDataBlock& b)
{
    std::vector<int> out;
    const auto flags = Flags(b);
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i] & MultibeamFilter::kFlagSmart) out.push_back(static_cast<int>(i));
    return out;
}

CAttributeMap SmartAttributes()
{
    CAttributeMap a;
    a.SetAttribValue("SmartFilter", true);
    return a;
}

} // namespace

TEST(MultibeamFilter, SmartFilterOnAFlatSeabed)
{
    // D 20, W 100, B 4, nadir zone of grid positions -2 .. 2. The grid runs from -104:
    // its first bin receives no beam, so the two beams that interpolate towards it fail.
    CAttributeMap a = SmartAttributes();
    MultibeamFilter f(&a);
    CDataBlock b = FlatSmartPing();
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(SmartFlagged(b), (std::vector<int>{BeamAt(-100), BeamAt(-99), 201}));
    EXPECT_EQ(PingFlags(b) & MultibeamFilter::kFlagSmart, 0u); // no ping bit
}

TEST(MultibeamFilter, SmartToleranceIsTighterWithinTheReliableSector)
{
    CAttributeMap a = SmartAttributes();
    MultibeamFilter f(&a);
    CDataBlock b = FlatSmartPing();
    auto z = ReadArray<float>(b, 605);
    z[BeamAt(13)] = -20.09f; // seen at 27 degrees: tolerance 0.07
    z[BeamAt(61)] = -20.09f; // seen at 72 degrees: tolerance 0.1
    SetFloats(b, 605, z);
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(SmartFlagged(b), (std::vector<int>{BeamAt(-100), BeamAt(-99), BeamAt(13), 201}));
}

TEST(MultibeamFilter, SmartProfileTestIsStrictAtTheTolerance)
{
    // Beam 15 at depth 21 ends its bin (12 .. 16): the bin mean is -20.25, the reference
    // a quarter of the way to the next bin -20.1875: off by exactly 0.8125.
    for (double tolerance : {0.8125, 0.8124}) {
        CAttributeMap a = SmartAttributes();
        a.SetAttribValue("VertTolRelData", tolerance);
        a.SetAttribValue("VertTolUnrelData", tolerance);
        MultibeamFilter f(&a);
        CDataBlock b = FlatSmartPing();
        auto z = ReadArray<float>(b, 605);
        z[BeamAt(15)] = -21.0f;
        SetFloats(b, 605, z);
        ASSERT_TRUE(f.Process(b, kFull));
        const auto flagged = SmartFlagged(b);
        EXPECT_EQ(std::count(flagged.begin(), flagged.end(), BeamAt(15)), tolerance < 0.8125 ? 1 : 0) << tolerance;
    }
}

TEST(MultibeamFilter, SmartFilterStopsWhenTheBinBesideTheNadirZoneIsEmpty)
{
    // Beams -16 .. -13 fill the port bin at grid position -4; rejected, they leave it empty.
    CAttributeMap a = SmartAttributes();
    a.SetAttribValue(ATTR_BEAMREJECTFILTER, true);
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "85-88");
    MultibeamFilter f(&a);
    CDataBlock b = FlatSmartPing();
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(SmartFlagged(b), (std::vector<int>{201})); // the width test only
}

TEST(MultibeamFilter, SmartFilterUsesOneSideWhenAllBeamsLieOnIt)
{
    CAttributeMap a = SmartAttributes();
    MultibeamFilter f(&a);
    const int n = 61;
    CDataBlock b = MakePingBlock(n);
    std::vector<float> x(n), z(n, -20.0f);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(i);
    z[1] = -21.0f; // in the nadir zone: judged against the level of the bin at grid 3
    SetFloats(b, 603, x);
    SetFloats(b, 605, z);
    ASSERT_TRUE(f.Process(b, kFull));
    // Beam 1 also deepens the mean depth to 20.083 and the bins to 4.017 m, so the
    // starboard margin bin (from 60.25) stays empty and beams 59 and 60 fail towards it.
    EXPECT_EQ(SmartFlagged(b), (std::vector<int>{1, 59, 60}));
}

TEST(MultibeamFilter, SmartFilterWithoutReliableBeamsFlagsNothing)
{
    CAttributeMap a = SmartAttributes();
    a.SetAttribValue("ReliableAngleSector", 1.0);
    MultibeamFilter f(&a);
    CDataBlock b = MakePingBlock(2);
    SetFloats(b, 603, {-30.0f, 30.0f});
    SetFloats(b, 605, {-20.0f, -25.0f});
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(SmartFlagged(b), std::vector<int>{});

    // Above the datum (but below the transducer, offset -5) the width turns negative:
    // every beam fails the width test.
    CAttributeMap up = SmartAttributes();
    MultibeamFilter g(&up);
    CDataBlock c = MakePingBlock(3);
    SetFloats(c, 603, {-1.0f, 0.0f, 1.0f});
    SetFloats(c, 605, {1.0f, 1.0f, 1.0f});
    c.SetDataValue(212, -5.0, 0, CDataBlock::kByUseAs);
    ASSERT_TRUE(g.Process(c, kFull));
    EXPECT_EQ(SmartFlagged(c), (std::vector<int>{0, 1, 2}));
}

// ---- a survey line through every filter ---------------------------------------------------

namespace {

struct Tally
{
    long spikes = 0;
    long flying = 0;
    long clean = 0;
};

struct SurveyRun
{
    long spikes = 0, flying = 0, clean = 0;
    Tally flagged; // beams carrying any of the bits asked for
};

CAttributeMap SurveyAttributes(std::initializer_list<const char*> switches)
{
    CAttributeMap a;
    for (const char* name : switches) a.SetAttribValue(name, true);
    a.SetAttribValue(ATTR_FILTERMINRANGE, 1.0);
    a.SetAttribValue(ATTR_FILTERMAXRANGE, 1000.0);
    a.SetAttribValue(ATTR_FILTERMINDEPTH, 1.0);
    a.SetAttribValue(ATTR_FILTERMAXDEPTH, 500.0);
    a.SetAttribValue(ATTR_FILTERNADIRANGLE, 140.0);
    a.SetAttribValue(ATTR_FILTERSLOPEANGLE, 75.0);
    a.SetAttribValue(ATTR_FILTERMINANGLE, 100.0);
    a.SetAttribValue(ATTR_FILTERWINDOWSIZE, 2);
    a.SetAttribValue(ATTR_IHOORDER, 1);
    a.SetAttribValue(ATTR_CUSTOMERRORVALUE, 0.5);
    return a;
}

// Options of the simulated lines the detection tests run on: spikes of 10 to 30 % of
// the depth on 0.3 % of the beams, a flying object of one to three beams on 40 % of the
// pings.
kvs::SurveyLineOptions DetectionLine(int beams, int pings, uint64_t seed)
{
    kvs::SurveyLineOptions o;
    o.beams = beams;
    o.pings = pings;
    o.seed = seed;
    o.spikeRate = 0.003;
    o.spikeMin = 0.1;
    o.spikeMax = 0.3;
    o.flyingRate = 0.4;
    return o;
}

// Runs a line of the given pings through a filter with the attributes; checks that every
// ping comes out once, in time order, and tallies the beams carrying any of bits. The
// pings are laid out by MakePingBlock, so their arrays lie unaligned.
SurveyRun RunSurveyLine(int beams, int pings, CAttributeMap& a, unsigned int bits)
{
    MultibeamFilter f(&a);
    const kvs::SurveyLineOptions o = DetectionLine(beams, pings, static_cast<uint64_t>(beams));
    kvs::SurveySimulator line(o);
    std::vector<std::vector<kvs::BeamTruth>> truth(pings);
    std::vector<CDataBlock> out;
    for (int p = 0; p < pings; ++p) {
        CDataBlock b = MakePingBlock(beams);
        if (!line.Next(b)) {
            ADD_FAILURE() << "ping " << p << " not made";
            break;
        }
        truth[p] = line.LastPingTruth();
        if (f.Process(b, kFull)) out.push_back(b);
    }
    CDataBlock b;
    while (f.GetRemainder(b)) out.push_back(b);

    SurveyRun run;
    EXPECT_EQ(static_cast<int>(out.size()), pings);
    for (int p = 0; p < std::min<int>(pings, static_cast<int>(out.size())); ++p) {
        EXPECT_EQ(PingNumber(out[p]), p + 1);
        EXPECT_DOUBLE_EQ(out[p].GetTime(), o.startTime + p / o.pingRate);
        const auto flags = Flags(out[p]);
        const auto& t = truth[p];
        if (flags.size() != t.size()) {
            ADD_FAILURE() << "ping " << p << " lost beams";
            continue;
        }
        for (size_t i = 0; i < flags.size(); ++i) {
            const bool hit = (flags[i] & bits) != 0;
            switch (t[i]) {
            case kvs::BeamTruth::Spike: ++run.spikes; run.flagged.spikes += hit; break;
            case kvs::BeamTruth::Flying: ++run.flying; run.flagged.flying += hit; break;
            case kvs::BeamTruth::Clean: ++run.clean; run.flagged.clean += hit; break;
            }
        }
    }
    return run;
}

} // namespace

TEST(MultibeamFilter, SurveyLineKeepsEveryPingInOrderAndFlagsTheInjectedOutliers)
{
    const unsigned int outlierBits = 0x0100FF00u | MultibeamFilter::kFlagFlyingObject;
    struct Solo
    {
        const char* name;
        const char* attribute;
        unsigned int bit;
    };
    const Solo solos[] = {{"slope", ATTR_SLOPEFILTER, MultibeamFilter::kFlagSlope},
                          {"angle", ATTR_ANGLEFILTER, MultibeamFilter::kFlagAngle},
                          {"statistics", ATTR_STATISTICFILTER, MultibeamFilter::kFlagStatistics},
                          {"flying objects", "FlyingObjectsFilter", MultibeamFilter::kFlagFlyingObject},
                          {"smart", "SmartFilter", MultibeamFilter::kFlagSmart}};
    const int pings = 150;
    for (int beams : {400, 1600}) {
        CAttributeMap all = SurveyAttributes({ATTR_RANGEFILTER, ATTR_DEPTHFILTER, ATTR_NADIRFILTER, ATTR_SLOPEFILTER,
                                              ATTR_ANGLEFILTER, ATTR_STATISTICFILTER, ATTR_IHOERRORCHECK,
                                              ATTR_CUSTOMERROR, "FlyingObjectsFilter", "SmartFilter"});
        const SurveyRun chain = RunSurveyLine(beams, pings, all, outlierBits);
        std::printf("[ survey  ] %d beams x %d pings: %ld spikes, %ld flying objects, %ld clean beams\n", beams,
                    pings, chain.spikes, chain.flying, chain.clean);
        // Printed and recorded (in the test report, e.g. --gtest_output=xml) per filter.
        auto print = [&](const char* name, const SurveyRun& r) {
            std::printf("[ survey  ]   %-16s spikes %4ld (%5.1f %%)  flying %4ld (%5.1f %%)  clean %6ld (%5.2f %%)\n",
                        name, r.flagged.spikes, 100.0 * r.flagged.spikes / r.spikes, r.flagged.flying,
                        100.0 * r.flagged.flying / r.flying, r.flagged.clean, 100.0 * r.flagged.clean / r.clean);
            std::string key = std::to_string(beams) + "_" + name;
            std::replace(key.begin(), key.end(), ' ', '_');
            ::testing::Test::RecordProperty(key + "_spikes_flagged", std::to_string(r.flagged.spikes) + "/" + std::to_string(r.spikes));
            ::testing::Test::RecordProperty(key + "_flying_flagged", std::to_string(r.flagged.flying) + "/" + std::to_string(r.flying));
            ::testing::Test::RecordProperty(key + "_clean_flagged", std::to_string(r.flagged.clean) + "/" + std::to_string(r.clean));
        };
        print("whole chain", chain);
        EXPECT_EQ(chain.flagged.spikes, chain.spikes);
        EXPECT_EQ(chain.flagged.flying, chain.flying);
        for (const Solo& s : solos) {
            CAttributeMap a = SurveyAttributes({s.attribute});
            const SurveyRun r = RunSurveyLine(beams, pings, a, s.bit);
            print(s.name, r);
            if (s.bit == MultibeamFilter::kFlagStatistics) {
                EXPECT_GE(r.flagged.spikes, r.spikes * 95 / 100);
                EXPECT_GE(r.flagged.flying, r.flying * 95 / 100);
                EXPECT_LE(r.flagged.clean, r.clean / 100);
            }
            if (s.bit == MultibeamFilter::kFlagFlyingObject) {
                EXPECT_GE(r.flagged.flying, r.flying * 8 / 10);
            }
        }
    }
}

// ---- golden stream -----------------------------------------------------------------------

namespace {

// FNV-1a over everything a finished block carries: time, status word and every element's
// status and bytes.
void HashBlock(const CDataBlock& b, uint64_t& h)
{
    auto mix = [&](const void* p, size_t n) {
        const auto* c = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 0x100000001b3ull;
    };
    const double t = b.GetTime();
    const unsigned short sw = b.GetStatusAndFlags();
    mix(&t, sizeof t);
    mix(&sw, sizeof sw);
    for (unsigned short i = 0; i < b.GetLength(); ++i) {
        CKvsBytePtr e;
        b.GetDataIdx(i, e);
        const unsigned short st = e.GetStatus();
        mix(&st, sizeof st);
        if (e.GetLength()) mix(e.GetDataPtr(), e.GetLength());
    }
}

// Every output block of a survey line through the whole chain, drained, hashed in order.
uint64_t GoldenRun(int beams, int pings, int windowAttr, uint64_t seed)
{
    CAttributeMap a = SurveyAttributes({ATTR_BEAMREJECTFILTER, ATTR_QUALITYFILTER, ATTR_RANGEFILTER, ATTR_DEPTHFILTER,
                                        ATTR_NADIRFILTER, "NadirDistanceFilter", ATTR_SLOPEFILTER, ATTR_ANGLEFILTER,
                                        ATTR_STATISTICFILTER, ATTR_IHOERRORCHECK, ATTR_CUSTOMERROR,
                                        "FlyingObjectsFilter", "SmartFilter"});
    a.SetAttribValue(ATTR_FILTERREJECTBEAMS, "1,2,3,40-45");
    a.SetAttribValue(ATTR_FILTERQUALITY, 1); // the good-detection bit the simulator sets
    a.SetAttribValue("FilterPortNadirDistance", 60.0);
    a.SetAttribValue("FilterStarboardNadirDistance", 300.0);
    a.SetAttribValue(ATTR_FILTERWINDOWSIZE, windowAttr);
    MultibeamFilter f(&a);
    kvs::SurveyLineOptions o = DetectionLine(beams, pings, seed);
    o.spikeRate = 0.01;
    o.flyingRate = 0.5;
    kvs::SurveySimulator line(o);
    uint64_t h = 0xcbf29ce484222325ull;
    int out = 0;
    for (int p = 0; p < pings; ++p) {
        CDataBlock b = MakePingBlock(beams);
        if (!line.Next(b)) break;
        if (f.Process(b, kFull)) {
            HashBlock(b, h);
            ++out;
        }
        // Now and then a pass that recomputes only the error limits.
        if (p % 17 == 5) {
            CDataBlock c = b;
            if (f.Process(c, kErrorOnly)) HashBlock(c, h);
        }
    }
    CDataBlock b;
    while (f.GetRemainder(b)) {
        HashBlock(b, h);
        ++out;
    }
    EXPECT_EQ(out, pings);
    return h;
}

} // namespace

// Pins every byte the whole chain writes on representative streams, so that work on the
// filters' speed cannot change a single flag. The values depend on the standard library's
// random distributions and mathematics of this platform (g++ 12, glibc).
TEST(MultibeamFilter, GoldenStreamsKeepTheirExactOutput)
{
    EXPECT_EQ(GoldenRun(400, 60, 2, 11), 13413298217634998784ull);
    EXPECT_EQ(GoldenRun(1600, 24, 2, 12), 8606331427926767451ull);
    EXPECT_EQ(GoldenRun(400, 40, 0, 13), 14561325186042489286ull);
    EXPECT_EQ(GoldenRun(257, 40, 1, 14), 18322646823169507200ull);
}
