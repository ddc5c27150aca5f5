// One small stream through every multibeam filter, its result kept as a readable dump in
// golden/all_filters.txt: a line per ping (time, ping word, rejected beams, nadir depth)
// and a line per beam (z in mm, flag word). A change shows which beam of which ping moved.
// KVS_UPDATE_GOLDEN=1 rewrites the dump when a change of the filters' output is intended.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include "PingBlock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace pingtest;

namespace {

constexpr int kBeams = 41;
constexpr int kPings = 12;
const std::string kDumpPath = std::string(KVS_SOURCE_DIR) + "/tests/filters/multibeam/golden/all_filters.txt";

// Ping p: beams 2 m apart across a seabed 20 m deep that slopes and curves across track
// and deepens along it, with a little deterministic noise and one fault per ping where a
// filter must act.
CDataBlock StreamPing(int p)
{
    std::vector<float> x(kBeams), z(kBeams), ev(kBeams, 0.1f), eh(kBeams, 0.5f);
    std::vector<unsigned int> flags(kBeams, 0x3u);
    for (int i = 0; i < kBeams; ++i) {
        const double xi = -40.0 + 2.0 * i;
        const double noise = ((i * 7 + p * 13) % 11 - 5) * 0.004;
        x[i] = static_cast<float>(xi);
        z[i] = static_cast<float>(-(20.0 + 0.02 * xi + 0.001 * xi * xi + 0.05 * p + noise));
    }
    switch (p) {
    case 1: flags[27] = 0x1u, x[30] *= 0.6f, z[30] *= 0.6f; break; // a fold: angle
    case 2: flags[15] = 0x1u; break;                 // quality: a sonar bit missing
    case 3: z[20] += 1.2f; break;                    // a spike at nadir: statistics, smart
    case 5: z[10] -= 4.0f; break;                    // a steep spike: slope, angle
    case 7: x[30] *= 0.6f, z[30] *= 0.6f; break;     // a flying object on the beam's line
    case 8: z[25] = -41.0f; break;                   // beyond the depth window
    case 9: ev[5] = 0.9f, eh[6] = 12.0f; break;      // estimated errors above the limits
    case 10: x[22] = x[23], z[22] = z[23]; break;    // two beams in one place
    default: break;
    }
    CDataBlock b = Block(x, z, {}, 0.1 * p);
    b.SetDataValue(601, p, 0, CDataBlock::kByUseAs);
    SetFlags(b, flags);
    SetFloats(b, 676, ev);
    SetFloats(b, 677, eh);
    return b;
}

void Dump(const CDataBlock& b, const char* pass, std::string& text)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s ping %d t %.1f word %08x rejected %d nadir %ld", pass, PingNumber(b),
                  b.GetTime(), PingFlags(b), static_cast<int>(Value(b, 612)), std::lround(Value(b, 214) * 1000.0));
    text += line + std::string("\n");
    const auto z = ReadArray<float>(b, 605);
    const auto flags = Flags(b);
    for (size_t i = 0; i < flags.size(); ++i) {
        std::snprintf(line, sizeof line, "  beam %2zu z %7ld flags %08x", i, std::lround(z[i] * 1000.0), flags[i]);
        text += line + std::string("\n");
    }
}

} // namespace

TEST(MultibeamFilter, GoldenStreamKeepsItsOutputBeamByBeam)
{
    // The stream through every filter, the statistics over a window of five, one pass in the
    // error-limit mode on the way and the drain at the end.
    CAttributeMap a = filtertest::Attributes({
        {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "1,2"}, {ATTR_QUALITYFILTER, true},
        {ATTR_FILTERQUALITY, 3}, {ATTR_RANGEFILTER, true}, {ATTR_FILTERMINRANGE, 1.0}, {ATTR_FILTERMAXRANGE, 45.0},
        {ATTR_DEPTHFILTER, true}, {ATTR_FILTERMINDEPTH, 5.0}, {ATTR_FILTERMAXDEPTH, 40.0}, {ATTR_NADIRFILTER, true},
        {ATTR_FILTERNADIRANGLE, 120.0}, {"NadirDistanceFilter", true}, {"FilterPortNadirDistance", 30.0},
        {"FilterStarboardNadirDistance", 100.0}, {ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 60.0},
        {ATTR_ANGLEFILTER, true}, {ATTR_FILTERMINANGLE, 120.0}, {ATTR_STATISTICFILTER, true},
        {ATTR_FILTERWINDOWSIZE, 1}, {"FlyingObjectsFilter", true}, {"SmartFilter", true}, {ATTR_IHOERRORCHECK, true},
        {ATTR_IHOORDER, 1}, {ATTR_CUSTOMERROR, true}, {ATTR_CUSTOMERRORVALUE, 0.5},
    });
    MultibeamFilter f(&a);
    std::string text;
    for (int p = 0; p < kPings; ++p) {
        CDataBlock b = StreamPing(p);
        if (!f.Process(b, COMPUPDATE_FULL)) continue;
        Dump(b, "out", text);
        if (p == 6) {
            CDataBlock again = b;
            if (f.Process(again, MultibeamFilter::kErrorLimitsOnly)) Dump(again, "err", text);
        }
    }
    CDataBlock b;
    while (f.GetRemainder(b)) Dump(b, "end", text);
    if (std::getenv("KVS_UPDATE_GOLDEN")) {
        ASSERT_TRUE(std::ofstream(kDumpPath) << text) << kDumpPath;
    }
    std::ifstream in(kDumpPath);
    ASSERT_TRUE(in) << "no dump at " << kDumpPath;
    std::stringstream want;
    want << in.rdbuf();
    EXPECT_EQ(text, want.str()); // a multi-line difference shows as a diff of the lines that moved
}
