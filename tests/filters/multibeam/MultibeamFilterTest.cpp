#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/geometry/KvsMath.h>

#include "PingBlock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>

using namespace pingtest;
using filtertest::Attributes;
using filtertest::AttributeList;

// Counting allocator: every operator new of the test program is counted while
// g_countAllocations is set (left out of sanitizer builds, which bring their own). The
// other forms of new and delete forward to these two.
#ifndef __SANITIZE_ADDRESS__
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> g_countAllocations{false};
std::atomic<long> g_allocations{0};
} // namespace
void* operator new(std::size_t size)
{
    if (g_countAllocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

using F = MultibeamFilter;

// A block of n beams along x = -n/2 .. at depth 10.
CDataBlock LineBlock(int n, double t = 0.0)
{
    return Block(Ramp(n, static_cast<float>(-(n / 2))), {}, {}, t);
}

// The smart filter's ping: beams at x = -100 .. 100 every metre on a flat seabed at depth
// 20 (beam i at x = i - 100), then one at x = 101.
const Floats kSmartX = Changed(Ramp(202, -100.0f), {{201, 101.0f}});
const Floats kSmartZ(202, -20.0f);

// One ping through one filter set-up: the beams, further per-beam arrays and scalars, the
// flag words before and after, and bits the ping word must or must not carry.
struct FilterCase
{
    const char* name;
    AttributeList settings;
    Floats x, y = {}, z = {}; // y empty: 0; z empty: -10
    Words in = {}, want;       // in empty: 0
    std::vector<std::pair<unsigned short, Floats>> arrays = {};
    std::vector<std::pair<unsigned short, double>> scalars = {};
    std::vector<unsigned short> omit = {};
    unsigned int pingHas = 0, pingLacks = 0;
    std::vector<std::pair<unsigned short, Floats>> wantArrays = {};
};

const float kIho1At100 = std::sqrt(0.25f + 1.69f); // order 1 at 100 m

} // namespace

TEST(MultibeamFilter, EachFilterFlagsTheBeamsItMust)
{
    const float tan59 = 16.6428f, tan61 = 18.0405f; // x of beams at 59 and 61 degrees at depth 10
    const FilterCase cases[] = {
        {.name = "no filter: earlier bits cleared but the sonar's and 0x210000", .settings = {},
         .x = {-2, -1, 0, 1, 2}, .in = {0x3, 0x3, 0xFFFF03, 0x0, 0x1}, .want = {0x3, 0x3, 0x210003, 0x0, 0x1}},
        {.name = "quality 1", .settings = {{ATTR_QUALITYFILTER, true}, {ATTR_FILTERQUALITY, 1}}, .x = {-2, -1, 0, 1},
         .in = {0, 1, 2, 3}, .want = {0x200, 0x1, 0x202, 0x3}, .pingHas = F::kFlagQuality},
        {.name = "quality 2", .settings = {{ATTR_QUALITYFILTER, true}, {ATTR_FILTERQUALITY, 2}}, .x = {-2, -1, 0, 1},
         .in = {0, 1, 2, 3}, .want = {0x200, 0x201, 0x2, 0x3}},
        {.name = "quality 4 tests nothing", .settings = {{ATTR_QUALITYFILTER, true}, {ATTR_FILTERQUALITY, 4}},
         .x = {-2, -1, 0, 1}, .in = {0, 1, 2, 3}, .want = {0, 1, 2, 3}, .pingHas = F::kFlagQuality},
        {.name = "reject list: beams and forward ranges, one beam wide too, on a ping of the most beams",
         .settings = {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "3, 5-5, 7-9, 12-10, 0, 4000, x, 2-3-4"}},
         .x = Ramp(F::kMaxBeams, 0), .want = Only(F::kMaxBeams, {{F::kFlagRejectList, {2, 4, 6, 7, 8}}}),
         .pingHas = F::kFlagRejectList},
        // Exactly 100, beyond, exactly 10, on the reject list, short.
        {.name = "range inclusive, rejected beams skipped",
         .settings = {{ATTR_RANGEFILTER, true}, {ATTR_FILTERMINRANGE, 10.0}, {ATTR_FILTERMAXRANGE, 100.0},
                      {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "4"}},
         .x = {0, 0, 6, 0, 0}, .y = {0, 0, 8, 0, 0}, .z = {-100, -100.001f, 0, -500, -9},
         .want = {0, 0x400, 0, 0x100, 0x400}, .pingHas = F::kFlagRange | F::kFlagRejectList},
        {.name = "range adds the vertical offset to z: -9 - 2 lies inside",
         .settings = {{ATTR_RANGEFILTER, true}, {ATTR_FILTERMINRANGE, 10.0}, {ATTR_FILTERMAXRANGE, 100.0}},
         .x = {0, 0}, .z = {-50, -9}, .want = {0, 0}, .scalars = {{212, -2.0}}},
        {.name = "depth inclusive",
         .settings = {{ATTR_DEPTHFILTER, true}, {ATTR_FILTERMINDEPTH, 0.0}, {ATTR_FILTERMAXDEPTH, 50.0}},
         .x = {0, 0, 0, 0}, .z = {-50, -50.5f, 0, 0.5f}, .want = {0, 0x800, 0, 0x800}, .pingHas = F::kFlagDepth},
        {.name = "swath angle, half the total a side",
         .settings = {{ATTR_NADIRFILTER, true}, {ATTR_FILTERNADIRANGLE, 120.0}}, .x = {-tan61, -tan59, tan59, tan61},
         .want = {0x1000, 0, 0, 0x1000}, .pingHas = F::kFlagSwath},
        // 26.6 degrees along-track at x = 0 (port), to starboard, to port.
        {.name = "swath per side wins over the total; x = 0 is port",
         .settings = {{ATTR_NADIRFILTER, true}, {ATTR_FILTERNADIRANGLE, 120.0}, {ATTR_FILTERPORTNADIRANGLE, 10.0},
                      {ATTR_FILTERSTARBOARDNADIRANGLE, 80.0}},
         .x = {0, 5, -5}, .y = {5, 0, 0}, .want = {0x1000, 0, 0x1000}},
        {.name = "swath mode 3 compares the raw beam angle",
         .settings = {{ATTR_NADIRFILTER, true}, {"NadirAngleFilter", 3}, {ATTR_FILTERNADIRANGLE, 120.0}},
         .x = {-2, -1, 0, 1}, .want = {0, 0x1000, 0, 0}, .arrays = {{622, {60.0f, 60.001f, -70.0f, 0.0f}}}},
        {.name = "swath mode 3 without the angle array tests nothing",
         .settings = {{ATTR_NADIRFILTER, true}, {"NadirAngleFilter", 3}, {ATTR_FILTERNADIRANGLE, 120.0}},
         .x = {-100, 100}, .z = {-1, -1}, .want = {0, 0}, .omit = {622}},
        {.name = "swath mode 2 tests nothing",
         .settings = {{ATTR_NADIRFILTER, true}, {"NadirAngleFilter", 2}, {ATTR_FILTERNADIRANGLE, 120.0}},
         .x = {-100, 100}, .z = {-1, -1}, .want = {0, 0}},
        {.name = "swath distance strict, made non-negative",
         .settings = {{ATTR_NADIRFILTER, true}, {ATTR_FILTERNADIRANGLE, 180.0}, {"NadirDistanceFilter", true},
                      {"FilterPortNadirDistance", 100.0}, {"FilterStarboardNadirDistance", -50.0}},
         .x = {-100.5f, -100, 50, 50.5f}, .want = {0x1000, 0, 0, 0x1000}},
        {.name = "swath distance needs the swath switch",
         .settings = {{"NadirDistanceFilter", true}, {"FilterPortNadirDistance", 100.0},
                      {"FilterStarboardNadirDistance", 50.0}},
         .x = {-100.5f, -100, 50, 50.5f}, .want = {0, 0, 0, 0}, .pingLacks = F::kFlagSwath},
        // From nadir (beam 3) outwards: 78.7 degrees from beam 4; then 14 degrees from beam
        // 4 again; exactly 45; 63 from beam 1.
        {.name = "slope follows the last passing beam",
         .settings = {{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 45.0}}, .x = Ramp(7, -3),
         .z = {-13, -11, -10, -10, -10, -5, -10.5f}, .want = {0x2000, 0, 0, 0, 0, 0x2000, 0}, .pingHas = F::kFlagSlope},
        {.name = "angle passes a sloping straight line",
         .settings = {{ATTR_ANGLEFILTER, true}, {ATTR_FILTERMINANGLE, 180.0}}, .x = Ramp(9, -4),
         .z = {-10, -10.25f, -10.5f, -10.75f, -11, -11.25f, -11.5f, -11.75f, -12}, .want = Words(9, 0),
         .pingHas = F::kFlagAngle},
        // Beam 5 bends by 117 degrees towards the spike at 6; the anchor stays at nadir, so
        // the spike bends by 72 degrees; beam 7 lies straight again.
        {.name = "angle flags the beams bending at a spike",
         .settings = {{ATTR_ANGLEFILTER, true}, {ATTR_FILTERMINANGLE, 150.0}}, .x = Ramp(9, -4),
         .z = Changed(Floats(9, -10.0f), {{6, -8.0f}}), .want = Only(9, {{F::kFlagAngle, {5, 6}}})},
        {.name = "flying objects: beams folding inwards",
         .settings = {{"FlyingObjectsFilter", true}, {"FlyingObjectSize", 1}, {"FlyingObjectBorder", 0}},
         .x = Changed(Ramp(9, -4), {{0, -1.5f}, {7, 4.5f}}), .want = Only(9, {{F::kFlagFlyingObject, {0, 8}}}),
         .pingHas = F::kFlagFlyingRan},
        {.name = "filters needing nadir skip a ping without one",
         .settings = {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "1-5"}, {ATTR_SLOPEFILTER, true},
                      {ATTR_ANGLEFILTER, true}, {ATTR_FILTERMINANGLE, 179.0}, {"FlyingObjectsFilter", true},
                      {"SmartFilter", true}}, .x = Ramp(5, -2), .want = Words(5, 0x100), .pingHas = F::kFlagPingInvalid,
         .pingLacks = F::kFlagSlope | F::kFlagAngle | F::kFlagFlyingRan},
        // d = -(-90 + -10) = 100 m; no ping bit.
        {.name = "IHO: estimated against allowed errors",
         .settings = {{ATTR_IHOERRORCHECK, true}, {ATTR_IHOORDER, 1}}, .x = Ramp(4, -2),
         .want = {0, 0x800000, 0, 0x800000},
         .arrays = {{676, {kIho1At100, std::nextafter(kIho1At100, 2.0f), 0.1f, 0.1f}}, {677, {1, 1, 10, 10.01f}}},
         .scalars = {{507, -90.0}}, .pingLacks = 0xFEFF00u,
         .wantArrays = {{678, Floats(4, kIho1At100)}, {679, Floats(4, 10.0f)}}},
        {.name = "IHO order 7 allows nothing", .settings = {{ATTR_IHOERRORCHECK, true}, {ATTR_IHOORDER, 7}},
         .x = Ramp(3, -1), .want = {0, 0x800000, 0x800000}, .arrays = {{676, {0, 0.01f, 0}}, {677, {0, 0, 0.01f}}}},
        {.name = "IHO needs all four error arrays", .settings = {{ATTR_IHOERRORCHECK, true}, {ATTR_IHOORDER, 7}},
         .x = Ramp(3, -1), .want = {0, 0, 0}, .arrays = {{676, {5, 5, 5}}, {677, {5, 5, 5}}}, .omit = {679}},
        {.name = "custom limit strict", .settings = {{ATTR_CUSTOMERROR, true}, {ATTR_CUSTOMERRORVALUE, 0.5}},
         .x = Ramp(3, -1), .want = {0, 0x400000, 0}, .arrays = {{676, {0.5f, 0.51f, 0}}}},
        {.name = "custom limit 0 is off", .settings = {{ATTR_CUSTOMERROR, true}, {ATTR_CUSTOMERRORVALUE, 0.0}},
         .x = Ramp(3, -1), .want = {0, 0, 0}, .arrays = {{676, {0.5f, 0.51f, 10}}}},
        // D 20, W 100, B 4, nadir zone of grid positions -2 .. 2. The grid runs from -104:
        // its first bin receives no beam, so the two beams that interpolate towards it
        // fail; the beam at 101 lies beyond the width. No ping bit.
        {.name = "smart on a flat seabed", .settings = {{"SmartFilter", true}}, .x = kSmartX, .z = kSmartZ,
         .want = Only(202, {{F::kFlagSmart, {0, 1, 201}}}), .pingLacks = F::kFlagSmart},
        // D 10, W 50, bins of 2 m from -10 to 10: the beam at 9 lies half a bin inwards of
        // the last bin's end, exactly at its centre, and is tested against that bin alone.
        {.name = "smart: the last beam at the centre of the last bin", .settings = {{"SmartFilter", true}},
         .x = Ramp(19, -9), .z = Floats(19, -10.0f), .want = Words(19, 0)},
        // At x 13 seen at 27 degrees: tolerance 0.07; at x 61, 72 degrees: 0.1.
        {.name = "smart tolerance tighter within the reliable sector", .settings = {{"SmartFilter", true}},
         .x = kSmartX, .z = Changed(kSmartZ, {{113, -20.09f}, {161, -20.09f}}),
         .want = Only(202, {{F::kFlagSmart, {0, 1, 113, 201}}})},
        // The beam at x 15, depth 21, ends its bin (12 .. 16): the bin mean is -20.25, the
        // reference a quarter of the way to the next bin -20.1875: off by exactly 0.8125.
        {.name = "smart strict at the tolerance",
         .settings = {{"SmartFilter", true}, {"VertTolRelData", 0.8125}, {"VertTolUnrelData", 0.8125}},
         .x = kSmartX, .z = Changed(kSmartZ, {{115, -21.0f}}), .want = Only(202, {{F::kFlagSmart, {0, 1, 201}}})},
        {.name = "smart just beyond the tolerance",
         .settings = {{"SmartFilter", true}, {"VertTolRelData", 0.8124}, {"VertTolUnrelData", 0.8124}},
         .x = kSmartX, .z = Changed(kSmartZ, {{115, -21.0f}}), .want = Only(202, {{F::kFlagSmart, {0, 1, 115, 201}}})},
        // All beams to starboard: the nadir zone takes the level of the bin at grid 3. Beam
        // 1 also deepens the mean depth to 20.083 and the bins to 4.017 m, so the starboard
        // margin bin (from 60.25) stays empty and beams 59 and 60 fail towards it.
        {.name = "smart with every beam on one side", .settings = {{"SmartFilter", true}}, .x = Ramp(61, 0),
         .z = Changed(Floats(61, -20.0f), {{1, -21.0f}}), .want = Only(61, {{F::kFlagSmart, {1, 59, 60}}})},
        // Bins of 8 m: the starboard bin beside the nadir zone (x 24 .. 32, mean exactly 20) is
        // seen at exactly the reliable angle of 45 degrees: it takes the unreliable tolerance.
        {.name = "smart reliable sector strict at its angle",
         .settings = {{"SmartFilter", true}, {"DepthWidthRatio", 10.0}, {"ReliableAngleSector", 45.0},
                      {"VertTolRelData", 0.01}, {"VertTolUnrelData", 1.0}},
         .x = kSmartX, .z = Changed(kSmartZ, {{128, -20.5f}, {129, -19.5f}}),
         .want = Only(202, {{F::kFlagSmart, {201}}})},
        {.name = "smart with every beam to port", .settings = {{"SmartFilter", true}}, .x = Ramp(61, -60),
         .z = Changed(Floats(61, -20.0f), {{59, -21.0f}}), .want = Only(61, {{F::kFlagSmart, {0, 1, 59}}})},
        {.name = "smart without reliable beams flags nothing",
         .settings = {{"SmartFilter", true}, {"ReliableAngleSector", 1.0}}, .x = {-30, 30}, .z = {-20, -25},
         .want = {0, 0}},
        // Above the datum (but below the transducer, offset -5) the width turns negative.
        {.name = "smart: a negative width fails every beam", .settings = {{"SmartFilter", true}}, .x = Ramp(3, -1),
         .z = {1, 1, 1}, .want = Words(3, F::kFlagSmart), .scalars = {{212, -5.0}}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        CDataBlock b = Block(c.x, c.z, c.y, 0.0, c.omit);
        if (!c.in.empty()) SetFlags(b, c.in);
        for (const auto& [useAs, v] : c.arrays) SetFloats(b, useAs, v);
        for (const auto& [useAs, v] : c.scalars) b.SetDataValue(useAs, v, 0, CDataBlock::kByUseAs);
        b = Filtered(c.settings, b);
        EXPECT_EQ(Flags(b), c.want);
        EXPECT_EQ(std::pair(PingFlags(b) & c.pingHas, PingFlags(b) & c.pingLacks), std::pair(c.pingHas, 0u));
        for (const auto& [useAs, v] : c.wantArrays) EXPECT_EQ(ReadArray<float>(b, useAs), v) << useAs;
    }
}

// The smart filter's bins take their beams in beam order, whatever order the beams lie in
// across track: beams stored out of order (every other one, then the rest) are flagged as
// the same beams in order are, on profiles whose means no order of adding changes beyond
// rounding far inside the tolerances. The spike's bin is filled last, so that a bin left
// unfinished would move its neighbours' flags.
TEST(MultibeamFilter, SmartFlagsTheSameBeamsStoredOutOfOrderAcrossTrack)
{
    const std::pair<const char*, Floats> profiles[] = {
        {"flat", kSmartZ},
        {"two beams off", Changed(kSmartZ, {{113, -20.09f}, {161, -20.09f}})},
        {"a slope with a spike", [] {
             Floats z = kSmartZ;
             for (size_t i = 0; i < z.size(); ++i) z[i] = -20.0f - 0.03f * static_cast<float>(i % 50);
             z[150] -= 3.0f;
             return z;
         }()},
    };
    const int n = static_cast<int>(kSmartX.size());
    // Stored place -> beam: every other beam, then the rest, the spike last of all.
    std::vector<int> order;
    for (int start : {0, 1})
        for (int i = start; i < n; i += 2)
            if (i != 150) order.push_back(i);
    order.push_back(150);
    for (const auto& [name, z] : profiles) {
        SCOPED_TRACE(name);
        const Words inOrder = Flags(Filtered({{"SmartFilter", true}}, Block(kSmartX, z)));
        Floats x2(n), z2(n);
        for (int k = 0; k < n; ++k) {
            x2[k] = kSmartX[order[k]];
            z2[k] = z[order[k]];
        }
        const Words stored = Flags(Filtered({{"SmartFilter", true}}, Block(x2, z2)));
        Words back(n);
        for (int k = 0; k < n; ++k) back[order[k]] = stored[k];
        EXPECT_EQ(back, inOrder);
        EXPECT_GT(std::count(inOrder.begin(), inOrder.end(), F::kFlagSmart), 2);
    }
}

TEST(MultibeamFilter, AngleTestsAgreeWithTheExactAnglesAtTheirLimits)
{
    // Beams a hair's breadth either side of each limit: every one is judged exactly as
    // the arctangent or arccosine in double precision has it.
    const double offsets[] = {0.0, 1e-15, -1e-15, 1e-13, -1e-13, 1e-11, -1e-11, 1e-9, -1e-9, 1e-7, -1e-7, 1e-5, -1e-5};

    // Swath angle, a limit per side, with a vertical offset.
    Floats x, y, z;
    for (double depth : {7.3, 31.0, 212.9})
        for (double limit : {-55.5, 40.25})
            for (double o : offsets) {
                const double t = depth * std::tan((std::fabs(limit) + o) / R_TO_D);
                x.push_back(static_cast<float>((limit < 0 ? -0.8 : 0.8) * t));
                y.push_back(static_cast<float>(0.6 * t));
                z.push_back(static_cast<float>(-depth + 1.5));
            }
    CDataBlock b = Block(x, z, y);
    b.SetDataValue(212, -1.5, 0, CDataBlock::kByUseAs);
    const Words flags = Flags(Filtered(
        {{ATTR_NADIRFILTER, true}, {ATTR_FILTERPORTNADIRANGLE, 55.5}, {ATTR_FILTERSTARBOARDNADIRANGLE, 40.25}}, b));
    for (size_t i = 0; i < x.size(); ++i) {
        const double xi = x[i], yi = y[i];
        const double theta = std::atan2(std::sqrt(xi * xi + yi * yi), -(z[i] + -1.5)) * R_TO_D;
        EXPECT_EQ((flags[i] & F::kFlagSwath) != 0, theta > (x[i] <= 0.0f ? 55.5 : 40.25)) << "beam " << i;
    }

    // Slope and minimum angle: the nadir beam and beams to starboard, so that the nadir
    // beam is the reference and the anchor; the bend at beam 1 between the nadir beam and
    // beam 2.
    for (double o : offsets) {
        const double s = (33.3 + o) / R_TO_D, bend = (180.0 - 151.7 + o) / R_TO_D;
        const Floats cx{0.0f, 2.5f}, cz{-20.0f, static_cast<float>(-20.0 - 2.5 * std::tan(s))};
        const Floats dx{0.0f, 3.0f, static_cast<float>(3.0 + 4.0 * std::cos(bend)), 9.0f};
        const Floats dz{-20.0f, -20.0f, static_cast<float>(-20.0 - 4.0 * std::sin(bend)), -30.0f};
        const Words slope = Flags(Filtered({{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 33.3}}, Block(cx, cz)));
        const Words angle = Flags(Filtered({{ATTR_ANGLEFILTER, true}, {ATTR_FILTERMINANGLE, 151.7}}, Block(dx, dz)));
        const double steep = std::atan2(std::fabs(double(cz[1]) - cz[0]), double(cx[1]) - cx[0]) * R_TO_D;
        auto d2 = [&](int p, int q) { return std::pow(double(dx[p]) - dx[q], 2) + std::pow(double(dz[p]) - dz[q], 2); };
        const double am2 = d2(0, 1), mj2 = d2(1, 2), aj2 = d2(0, 2);
        const double phi = std::acos(std::clamp((am2 + mj2 - aj2) / (2.0 * std::sqrt(am2 * mj2)), -1.0, 1.0)) * R_TO_D;
        EXPECT_EQ(std::pair((slope[1] & F::kFlagSlope) != 0, (angle[1] & F::kFlagAngle) != 0),
                  std::pair(steep > 33.3, !(phi >= 151.7))) << o;
    }
}

TEST(MultibeamFilter, SettingsWindowSizeQuantileScaleIhoLimitsAbsentSwitchesAndModeThree)
{
    const std::pair<int, int> windows[] = {{0, 3}, {1, 5}, {2, 7}, {5, 7}, {-1, 3}, {-7, 3}};
    for (auto [attr, window] : windows) {
        CAttributeMap a = Attributes({{ATTR_FILTERWINDOWSIZE, attr}});
        EXPECT_EQ(MultibeamFilter(&a).GetWindowSize(), window) << attr;
    }
    const std::pair<int, double> scales[] = {{0, 4.0}, {1, 6.0}, {2, 5.0}, {5, 2.0},  {-3, 10.0},
                                             {6, 1.0}, {7, 0.5}, {8, 0.2}, {9, 0.1}, {12, 1.0}};
    for (auto [attr, scale] : scales) {
        CAttributeMap a = Attributes({{ATTR_FILTERQUANTSCALE, attr}});
        EXPECT_DOUBLE_EQ(MultibeamFilter(&a).GetQuantileScale(), scale) << attr;
    }
    const struct { int order; float vert, hor; } orders[] = { // at 100 m
        {0, std::sqrt(0.0625f + 0.5625f), 2.0f}, {1, kIho1At100, 10.0f}, {2, std::sqrt(1.0f + 5.29f), 25.0f},
        {3, std::sqrt(1.0f + 5.29f), 155.0f},    {4, std::sqrt(0.01f + 0.5625f), 0.4f}, {7, 0.0f, 0.0f},
        {-1, 0.0f, 0.0f}};
    for (const auto& c : orders) {
        CAttributeMap a = Attributes({{ATTR_IHOORDER, c.order}});
        MultibeamFilter f(&a);
        EXPECT_NEAR(f.Compute_IHO_VERT_Error(100.0f), c.vert, 1e-5) << c.order;
        EXPECT_FLOAT_EQ(f.Compute_IHO_HOR_Error(100.0f), c.hor) << c.order;
        EXPECT_FLOAT_EQ(f.Compute_IHO_HOR_Error(-100.0f), c.hor) << c.order;
    }
    // The depth filter (limits 0 / 0) would flag every beam: read again without any
    // attribute it is switched off, custom error stays on; mode 3 does not run it.
    CAttributeMap on = Attributes({{ATTR_CUSTOMERROR, true}, {ATTR_CUSTOMERRORVALUE, 0.5}, {ATTR_DEPTHFILTER, true}});
    MultibeamFilter f(&on);
    CAttributeMap empty;
    static_cast<Filter&>(f).SetAttributes(&empty); // public through the interface
    CDataBlock b = LineBlock(2);
    SetFloats(b, 676, {1.0f, 0.0f});
    ASSERT_TRUE(f.Process(b, kFull));
    EXPECT_EQ(Flags(b), (Words{0x400000, 0}));

    CAttributeMap a = Attributes({{ATTR_IHOERRORCHECK, true}, {ATTR_IHOORDER, 1}, {ATTR_DEPTHFILTER, true}});
    MultibeamFilter g(&a);
    b = LineBlock(4);
    SetFlags(b, {0x2003, 0x400000 | 0x100, 0x800000, 0x8000});
    b.SetDataValue(607, 0x2000u | 0x100u | 0x10000u, 0, CDataBlock::kByUseAs);
    SetFloats(b, 676, {0.0f, 0.0f, 0.0f, 5.0f});
    SetFloats(b, 677, {0.0f, 0.0f, 0.0f, 0.0f});
    ASSERT_TRUE(g.Process(b, F::kErrorLimitsOnly));
    // The ping word keeps the earlier pass's bits; validation is judged again (3 of 4
    // beams rejected: invalid).
    EXPECT_EQ(std::tuple(Flags(b), PingFlags(b), Value(b, 612)),
              std::tuple(Words{0x2003, 0x100, 0x0, 0x8000 | 0x800000}, 0x2000u | 0x100u | 0x10000u, 3.0));
}

TEST(MultibeamFilter, UnreadableBlocksAreRefusedAndBeamsBeyondTheCountOfAShorterPingAreNeverLookedAt)
{
    CAttributeMap a = Attributes({{ATTR_DEPTHFILTER, true}, {ATTR_STATISTICFILTER, true}});
    MultibeamFilter f(&a);
    std::vector<CDataBlock> bad;
    for (unsigned short missing : {603, 604, 605, 606}) bad.push_back(MakePingBlock(10, 1.0, {missing}));
    bad.push_back(MakePingBlock(10, 1.0));
    SetFloats(bad.back(), 605, Floats(9, -1.0f)); // 9 items for 10 beams
    bad.push_back(MakePingBlock(10, 1.0));
    bad.back().SetDataValue(602, -1, 0, CDataBlock::kByUseAs);
    // More beams than a ping holds, with every array of that length.
    bad.push_back(MakePingBlock(F::kMaxBeams + 1, 1.0));
    for (CDataBlock& b : bad) {
        const CDataBlock before = b;
        EXPECT_FALSE(f.Process(b, kFull));
        EXPECT_TRUE(Packed(b) == Packed(before));
        EXPECT_EQ(f.GetPendingCount(), 0); // refused blocks are not recorded for the drain
    }
    EXPECT_FALSE(f.GetRemainder(bad[0]));
    CDataBlock good = LineBlock(10, 2.0); // the filter goes on with readable pings
    EXPECT_FALSE(f.Process(good, kFull));
    ASSERT_TRUE(f.GetRemainder(good));
    EXPECT_EQ(good.GetTime(), 2.0);

    // The ping's arrays are reused from ping to ping: a ping with fewer beams than the one
    // before must neither count nor take as nadir what lies beyond its own beams.
    CAttributeMap quality = Attributes({{ATTR_QUALITYFILTER, true}, {ATTR_FILTERQUALITY, 1}});
    for (unsigned int staleFlag : {0x0u, 0x1u}) { // beam 5 rejected by quality / at nadir
        MultibeamFilter g(&quality);
        CDataBlock wide = Block({5, 4, 3, 2, 1, 0}, {-10, -10, -10, -10, -10, -99});
        SetFlags(wide, {1, 1, 1, 1, 1, staleFlag});
        ASSERT_TRUE(g.Process(wide, kFull));
        CDataBlock narrow = Block({5, 4, 3, 2, 1}, {-10, -10, -10, -10, -20}, {}, 1.0);
        SetFlags(narrow, Words(5, 1));
        ASSERT_TRUE(g.Process(narrow, kFull));
        EXPECT_EQ(std::tuple(Value(narrow, 612), Value(narrow, 214), Flags(narrow)), std::tuple(0.0, 20.0, Words(5, 1)))
            << staleFlag;
    }
}

// The values the ping carries come back as they were (see the ping exchange's tests);
// the filter writes the counts and the nadir depths.
TEST(MultibeamFilter, NadirCountsAndValidityAreWrittenEveryElementKeepsItsLengthAndAbsentOptionalOnesAreSkipped)
{
    CDataBlock b = Block(Ramp(5, -2), {-10, -10, -12.5f, -10, -10}, {}, 1234.5); // nadir beam (x = 0) at 12.5
    b.SetDataValue(212, 1.5, 0, CDataBlock::kByUseAs);
    b.SetDataValue(612, 99, 40, CDataBlock::kByUseAs);
    const unsigned short v608[5] = {1, 2, 3, 4, 5}; // counts only with status 0: 618 stands in
    b.SetDataValue(608, v608, 5, 40, CDataBlock::kByUseAs);
    SetFloats(b, 618, {7, 8, 9, 10, 11});
    b.SetStatus(20);
    const CDataBlock before = b;
    b = Filtered({}, b);
    CKvsBytePtr e608; // not read, so not written back
    ASSERT_TRUE(b.GetData(608, e608, CDataBlock::kByUseAs));
    EXPECT_EQ(std::tuple(b.GetTime(), b.GetStatus(), ReadArray<float>(b, 618), e608.GetStatus()),
              std::tuple(1234.5, 0, Floats{7, 8, 9, 10, 11}, 40));
    unsigned short st612 = 1, st214 = 1, st213 = 1;
    const double v612 = Value(b, 612, &st612), v214 = Value(b, 214, &st214), v213 = Value(b, 213, &st213);
    EXPECT_EQ(std::tuple(v612, v214, v213, st612, st214, st213), std::tuple(0.0, 12.5, 11.0, 0, 0, 0));
    // Every element keeps its length: exactly the beam count is written back.
    EXPECT_EQ(std::tuple(b.GetLength(), b.GetDataSize()), std::tuple(before.GetLength(), before.GetDataSize()));
    // The ping is valid up to the maximum rejected percentage.
    for (int rejected : {40, 41}) {
        const std::string list = "1-" + std::to_string(rejected);
        const CDataBlock p =
            Filtered({{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, list.c_str()}}, LineBlock(100));
        EXPECT_EQ(std::pair((PingFlags(p) & F::kFlagPingInvalid) != 0, Value(p, 612)),
                  std::pair(rejected == 41, double(rejected)));
    }
    // A ping without beams is never valid and has no nadir: its depths are marked invalid.
    const CDataBlock none = Filtered({}, LineBlock(0));
    unsigned short s214 = 0, s213 = 0;
    Value(none, 214, &s214), Value(none, 213, &s213);
    EXPECT_EQ(std::tuple((PingFlags(none) & F::kFlagPingInvalid) != 0, s214, s213),
              std::tuple(true, kvs::kStatusInvalid, kvs::kStatusInvalid));

    // Optional elements absent from the block are skipped: only the beam count and the
    // four required arrays, the flags as ET_ULONG_ARRAY.
    CDataBlock c;
    c.Allocate(5);
    c.InitDataElement(0, 1, ET_INT, 4, 0, 602);
    for (unsigned short i = 1; i < 4; ++i) c.InitDataElement(i, i + 1, ET_FLOAT_ARRAY, 12, 0, 602 + i);
    c.InitDataElement(4, 5, ET_ULONG_ARRAY, 12, 0, 606);
    c.Init();
    c.SetDataValue(602, 3, 0, CDataBlock::kByUseAs);
    c.SetTime(5.0);
    SetFloats(c, 603, {-1, 0, 1});
    SetFloats(c, 605, {-10, -10, -10});
    const unsigned long flags[3] = {0x1, 0x8000, 0x2};
    ASSERT_TRUE(c.SetDataValue(606, flags, 3, 0, CDataBlock::kByUseAs));
    c = Filtered({{ATTR_IHOERRORCHECK, true}, {ATTR_CUSTOMERROR, true}, {ATTR_CUSTOMERRORVALUE, 0.1},
                  {ATTR_NADIRFILTER, true}, {"NadirAngleFilter", 3}}, c);
    std::vector<unsigned long> out;
    unsigned short st = 0;
    ASSERT_TRUE(c.GetDataValue(606, out, st, CDataBlock::kByUseAs));
    EXPECT_EQ(std::tuple(out, c.GetLength(), c.GetTime()),
              std::tuple(std::vector<unsigned long>{0x1, 0x0, 0x2}, 5u, 5.0));
}

#ifndef __SANITIZE_ADDRESS__
TEST(MultibeamFilter, SteadyStateAllocatesNothingPerPing)
{
    CAttributeMap a = filtertest::Attributes(
        {{ATTR_FILTERMAXRANGE, 1000.0}, {ATTR_FILTERMAXDEPTH, 1000.0}, {ATTR_FILTERNADIRANGLE, 150.0},
         {ATTR_FILTERSLOPEANGLE, 60.0}, {ATTR_FILTERMINANGLE, 120.0}, {ATTR_FILTERWINDOWSIZE, 2},
         {ATTR_CUSTOMERRORVALUE, 0.3}, {ATTR_FILTERREJECTBEAMS, "1,2,3"}, {"FilterPortNadirDistance", 200.0},
         {"FilterStarboardNadirDistance", 200.0}});
    for (const char* name : {ATTR_RANGEFILTER, ATTR_DEPTHFILTER, ATTR_NADIRFILTER, ATTR_SLOPEFILTER, ATTR_ANGLEFILTER,
                             ATTR_STATISTICFILTER, ATTR_IHOERRORCHECK, ATTR_CUSTOMERROR, ATTR_BEAMREJECTFILTER,
                             ATTR_QUALITYFILTER, "FlyingObjectsFilter", "SmartFilter", "NadirDistanceFilter"})
        a.SetAttribValue(name, true);
    // The smart filter's seabed profile too, on a second filter.
    CAttributeMap seabed = a;
    seabed.SetAttribValue(ATTR_SMARTBINBEAMS, 8);
    seabed.SetAttribValue(ATTR_SMARTSLOPETOLERANCE, true);
    seabed.SetAttribValue(ATTR_SMARTTOLERANCEUNIT, 2);
    seabed.SetAttribValue(ATTR_SMARTFALLBACKRATIO, 0.02);
    for (CAttributeMap* settings : {&a, &seabed}) {
        MultibeamFilter f(settings);
        std::vector<CDataBlock> pings;
        for (int p = 0; p < 20; ++p) {
            Floats x(400); // across 240 m
            for (int i = 0; i < 400; ++i) x[i] = -120.0f + 240.0f * static_cast<float>(i) / 399.0f;
            CDataBlock b = Block(x, Floats(400, static_cast<float>(-30.0 - 0.01 * p)), {}, p * 0.1);
            SetFloats(b, 676, Floats(400, 0.2f));
            SetFloats(b, 677, Floats(400, 0.5f));
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
}
#endif

// The slope filter's variant for dense swaths (SlopeBaseRatio).
namespace {

// 1601 beams 5 cm apart at 30 m with +-2 cm of alternating noise; beam 1200 4 m too deep
// and, when asked, the nadir beam 800 too: the beams the slope filter flags.
std::vector<int> Slope(double baseRatio, bool nadirSpike = false)
{
    Floats x(1601), z(1601);
    for (int i = 0; i < 1601; ++i) {
        x[i] = static_cast<float>(0.05 * (i - 800));
        z[i] = static_cast<float>(-30.0 + (i % 2 ? 0.02 : -0.02));
    }
    z[1200] -= 4.0f;
    if (nadirSpike) z[800] -= 4.0f;
    const CDataBlock b = Filtered(
        {{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 30.0}, {ATTR_SLOPEBASERATIO, baseRatio}}, Block(x, z));
    return With(b, MultibeamFilter::kFlagSlope);
}

} // namespace

// The smart filter's variants (SmartSlopedNadir, SmartSkipEmptyBins, SmartToleranceUnit),
// each on the case that tells it from the plain filter.
TEST(MultibeamFilter, SmartAndSlopeVariantsOnTheCasesThatTellThemFromThePlainFilters)
{
    const char* const kSkip = ATTR_SMARTSKIPEMPTYBINS;
    const char* const kSloped = ATTR_SMARTSLOPEDNADIR;
    const std::vector<std::pair<int, float>> kSpikes = {{102, -0.3f}, {180, -0.5f}}; // 6 and 2.4 x their error
    struct Case
    {
        const char* name;
        filtertest::AttributeList settings;
        std::vector<int> want; // x of the beams flagged
        double slope = 0.0;
        std::vector<std::pair<int, float>> dz = {};
        // Estimated errors 0.05 m at nadir to 0.25 m at the edges, or no error array.
        bool errors = false, omitErrors = false;
        float lastX = 100.0f;
    };
    const Case cases[] = {
        // 3 % across: the flat nadir level (the mean of the bins at x -16 and 12) is wrong by
        // up to 0.3 m inside the zone (x -8 .. 11), far beyond 0.07 m, and so for the beams
        // that interpolate towards it; the straight line is right everywhere.
        {"flat nadir on a sloping seabed", {{kSkip, true}},
         {-8, -7, -6, -5, -4, -3, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0.03},
        {"sloped nadir on a sloping seabed", {{kSkip, true}, {kSloped, true}}, {}, 0.03},
        // Plain: the empty port margin bin counts as depth 0, failing the two outermost
        // beams; left out, a flat seabed passes whole.
        {"empty margin bin counts as 0", {}, {-100, -99}},
        {"empty margin bin left out", {{kSkip, true}}, {}},
        // Beams 40 .. 43 rejected leave the bin of x 40 .. 44 empty: its neighbours
        // interpolate towards 0, or across it when it is left out.
        {"empty bin inside the swath", {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "141-144"}},
         {-100, -99, 39, 44, 45}},
        {"empty bin inside the swath left out",
         {{kSkip, true}, {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "141-144"}}, {}},
        // An empty bin beside the nadir zone stops the plain filter; left out, the zone
        // takes its level from the next bin out, and a spike inside it is found.
        {"empty bin beside the nadir zone", {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "85-88"}}, {},
         0.0, {{100, -1.0f}}},
        {"empty bin beside the nadir zone left out",
         {{kSkip, true}, {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "85-88"}}, {0}, 0.0, {{100, -1.0f}}},
        // In metres the nadir spike is missed, the outer beam fails within its noise; 1 % of
        // 20 m is 0.2 m everywhere; 4 x the beam's own error keeps the outer beam.
        {"tolerance in metres", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 0},
         {"VertTolRelData", 0.4}, {"VertTolUnrelData", 0.4}}, {80}, 0.0, kSpikes, true},
        {"tolerance of the depth", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 1},
         {"VertTolRelData", 0.01}, {"VertTolUnrelData", 0.01}}, {2, 80}, 0.0, kSpikes, true},
        {"tolerance of the beam's error", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 2},
         {"VertTolRelData", 4.0}, {"VertTolUnrelData", 4.0}}, {2}, 0.0, kSpikes, true},
        {"errors the ping does not carry: nothing tested", {{ATTR_SMARTTOLERANCEUNIT, 2}}, {}, 0.0, kSpikes, false,
         true},
        // Billions of bins across the swath would need memory beyond reason: the profile is
        // skipped, the width test still fails the beam beyond the half-width of 100 m.
        {"absurd bin count", {{"NumberAveragingClips", 2147483647}}, {100}, 0.0, {}, false, false, 150.0f},
        {"absurd bin count, empty bins left out", {{kSkip, true}, {"NumberAveragingClips", 2147483647}}, {100}, 0.0,
         {}, false, false, 150.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Floats x = Changed(Ramp(201, -100.0f), {{200, c.lastX}}), z(201), err(201);
        for (int i = 0; i < 201; ++i) {
            z[i] = static_cast<float>(-20.0 + c.slope * (i - 100));
            err[i] = static_cast<float>(0.05 + 0.2 * std::fabs(i - 100) / 100.0);
        }
        for (const auto& [i, d] : c.dz) z[i] += d;
        CDataBlock b = Block(x, z, {}, 0.0, std::vector<unsigned short>(c.omitErrors ? 1 : 0, 676));
        if (c.errors) SetFloats(b, 676, err);
        filtertest::AttributeList settings = c.settings;
        settings.push_back({"SmartFilter", true});
        std::vector<int> flagged = With(Filtered(settings, b), MultibeamFilter::kFlagSmart);
        for (int& i : flagged) i -= 100;
        EXPECT_EQ(flagged, c.want);
    }

    // The slope filter's variant for dense swaths is judged over a base, not on noise.
    // Neighbours: 4 cm of noise over 5 cm is 39 degrees, so every other beam fails.
    EXPECT_GT(Slope(0.0).size(), 700u);
    // Over a base of 2 % of the depth (0.6 m) the noise makes 4 degrees: only the spike
    // fails, and the beams after it are measured past it.
    EXPECT_EQ(Slope(0.02), std::vector<int>{1200});
    // A spike at the nadir beam is not taken as the start of the chains: it fails, its
    // neighbours do not.
    EXPECT_EQ(Slope(0.02, true), (std::vector<int>{800, 1200}));
    // A slope exactly at the limit passes (the test is strict); one a last bit above fails.
    // A rejected beam is stepped over: the beam beyond it is still measured.
    const Floats x = {-2.0f, -1.0f, 0.0f, 1.0f, 2.0f}, z = {-30.0f, -30.0f, -30.0f, -29.3f, -30.0f};
    const double angle = std::atan2(static_cast<double>(z[3]) - z[2], 1.0) * R_TO_D;
    for (const auto& [limit, want] : {std::pair{angle, std::vector<int>{}}, {std::nextafter(angle, 0.0), {3}}}) {
        const CDataBlock b = Filtered(
            {{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, limit}, {ATTR_SLOPEBASERATIO, 0.02}}, Block(x, z));
        EXPECT_EQ(With(b, MultibeamFilter::kFlagSlope), want) << limit;
    }
    Floats steep = z;
    steep[4] = -28.0f;
    CDataBlock b = Block(x, steep);
    SetFlags(b, {1, 1, 1, 0, 1}); // beam 3 fails the quality test
    EXPECT_EQ(With(Filtered({{ATTR_QUALITYFILTER, true}, {ATTR_FILTERQUALITY, 1}, {ATTR_SLOPEFILTER, true},
                             {ATTR_FILTERSLOPEANGLE, angle}, {ATTR_SLOPEBASERATIO, 0.02}},
                            b),
                   MultibeamFilter::kFlagSlope),
              std::vector<int>{4});
}
