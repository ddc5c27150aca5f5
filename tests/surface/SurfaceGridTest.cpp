// The cells of a gridded surface: the running median against the exact one, the
// leave-one-out reference of the quality check, placement on nodes, the refusal of a grid
// too large, the S-44 table, and how a line's soundings are placed and chosen.
#include "../tools/TempFolder.h"

#include <IhoS44.h>
#include <LineSoundings.h>
#include <SurfaceGrid.h>

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/filters/multibeam/detail/IhoOrder.h>

#include "SurveySimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace kvs::surface;

TEST(SurfaceCell, RunningMedianFollowsTheExactMedianAndShrugsOffOutliers)
{
    std::mt19937_64 rng(5);
    std::normal_distribution<double> noise(0.0, 0.1);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int n : {1, 2, 3, 4, 5, 6, 9, 40, 400}) {
        CellStats c;
        std::vector<double> all;
        for (int k = 0; k < n; ++k) {
            // One sounding in ten is a spike 5 m deep.
            const double d = 30.0 + noise(rng) + (u(rng) < 0.1 ? 5.0 : 0.0);
            c.Add(d, 0.1);
            all.push_back(d);
        }
        std::sort(all.begin(), all.end());
        const double exact = n % 2 ? all[n / 2] : 0.5 * (all[n / 2 - 1] + all[n / 2]);
        // Exact up to five; the running estimate settles on the median as soundings come.
        EXPECT_NEAR(c.Median(), exact, n <= 5 ? 1e-5 : n < 40 ? 0.3 : 0.1) << n;
        if (n >= 400) {
            EXPECT_NEAR(c.Median(), 30.0, 0.05) << n; // the spikes do not drag it
            EXPECT_GT(c.mean, 30.3) << n;             // as they drag the mean
        }
        EXPECT_EQ(c.count, static_cast<uint32_t>(n));
        EXPECT_NEAR(c.RmsError(), 0.1, 1e-9);
        if (n == 1) {
            EXPECT_TRUE(std::isnan(c.Spread()));
        }
    }
}

TEST(SurfaceCell, LeaveOneOutMedianLeavesTheSoundingItselfOut)
{
    CellStats c;
    for (double d : {10.0, 10.2, 14.0}) c.Add(d, std::nan(""));
    EXPECT_NEAR(c.MedianWithout(14.0), 10.1, 1e-5); // the spike is judged against the others
    EXPECT_NEAR(c.MedianWithout(10.0), 12.1, 1e-5);
    EXPECT_TRUE(std::isnan(c.RmsError()));
    CellStats alone;
    alone.Add(3.0, 0.1);
    EXPECT_TRUE(std::isnan(alone.MedianWithout(3.0))); // nothing to compare with
}

TEST(SurfaceGrid, SoundingsGoToTheNearestNodeAndBoundsFollowThem)
{
    SurfaceGrid g(2.0, uint64_t{1} << 30);
    g.Add(0.9, -0.9, 10.0, 0.1);   // node (0, 0)
    g.Add(1.1, 3.1, 11.0, 0.1);    // node (1, 2)
    g.Add(-129.0, 0.0, 12.0, 0.1); // node (-64, 0): another tile, west of the origin
    int64_t i0, j0, i1, j1;
    ASSERT_TRUE(g.Bounds(i0, j0, i1, j1));
    EXPECT_EQ(std::vector<int64_t>({i0, j0, i1, j1}), std::vector<int64_t>({-64, 0, 1, 2}));
    ASSERT_NE(g.Find(1, 2), nullptr);
    EXPECT_EQ(g.Find(1, 2)->count, 1u);
    ASSERT_NE(g.Find(-64, 0), nullptr);
    EXPECT_EQ(g.Find(0, 1), nullptr);
    int cells = 0;
    g.ForEachCell([&](int64_t, int64_t, const CellStats&) { ++cells; });
    EXPECT_EQ(cells, 3);
}

TEST(SurfaceGrid, AGridTooLargeIsRefusedNamingItsSize)
{
    SurfaceGrid g(1.0, 64u << 20); // 64 MiB
    g.Add(0.0, 0.0, 10.0, 0.1);
    try {
        g.Add(100000.0, 100000.0, 10.0, 0.1); // 100001 x 100001 cells
        FAIL() << "not refused";
    } catch (const GridTooLarge& e) {
        EXPECT_NE(std::string(e.what()).find("100001 x 100001 cells at 1 m"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("64 MiB allowed"), std::string::npos) << e.what();
    }
    EXPECT_THROW(g.Add(1e300, 0.0, 1.0, 0.1), std::out_of_range);
    EXPECT_THROW(g.Add(std::nan(""), 0.0, 1.0, 0.1), std::out_of_range);
}

TEST(IhoS44, EditionSixOrdersAgreeWithTheFilterWhereTheyShareConstants)
{
    // Special, 1a/1b and 2 are the a and b of the 4th edition's orders 0, 1 and 2.
    const struct { const char* name; int filterOrder; } shared[] = {{"special", 0}, {"1A", 1}, {"1b", 1}, {"2", 2}};
    for (const auto& s : shared) {
        const IhoS44Order* o = FindIhoS44Order(s.name);
        ASSERT_NE(o, nullptr) << s.name;
        const auto* f = kvs::multibeam::detail::IhoOrder::Find(s.filterOrder);
        EXPECT_FLOAT_EQ(static_cast<float>(o->a), f->a) << s.name;
        EXPECT_FLOAT_EQ(static_cast<float>(o->b), f->b) << s.name;
        EXPECT_NEAR(o->Tvu(40.0), f->VertError(40.0f), 1e-5) << s.name;
    }
    EXPECT_NEAR(FindIhoS44Order("Exclusive")->Tvu(20.0), std::sqrt(0.15 * 0.15 + 0.15 * 0.15), 1e-12);
    EXPECT_NEAR(FindIhoS44Order("1a")->Tvu(30.0), 0.63411, 1e-5);
    EXPECT_EQ(FindIhoS44Order("3"), nullptr);
    EXPECT_EQ(FindIhoS44Order(""), nullptr);
}

namespace {

// Writes blocks of a simulated line, letting edit change each before it is written.
template <typename Edit>
void WriteLine(const std::string& path, kvs::SurveyLineOptions opt, Edit edit)
{
    kvs::SurveySimulator sim(opt);
    kvs::RecordStreamWriter w;
    CString error;
    ASSERT_TRUE(w.Open(path.c_str(), error));
    CDataBlock b;
    for (int k = 0; sim.Next(b); ++k) {
        edit(k, b);
        ASSERT_TRUE(w.Write(b, error));
    }
    ASSERT_TRUE(w.Close(error));
}

} // namespace

TEST(LineSoundings, BeamsArePlacedByTheHeadingOrTheTrackAndChosenByTheirFlags)
{
    TempFolder dir("line_soundings");
    kvs::SurveyLineOptions opt;
    opt.beams = 3;
    opt.pings = 4;
    opt.spikeRate = opt.flyingRate = 0.0;
    // Ping 0 heads east (699); ping 1 lacks the heading and takes the track's course
    // (north); ping 2 has a beam rejected and one the sonar did not mark usable; ping 3 is
    // an invalid ping.
    WriteLine(dir / "l.kvs", opt, [](int k, CDataBlock& b) {
        if (k == 0) b.SetDataValue(699, 90.0, 0, CDataBlock::kByUseAs);
        if (k == 1) b.SetDataValue(699, 90.0, 40, CDataBlock::kByUseAs);
        if (k == 2) {
            unsigned int flags[3] = {0x1 | 0x2000, 0x0, 0x1};
            b.SetDataValue(606, flags, 3, 0, CDataBlock::kByUseAs);
        }
        if (k == 3) b.SetDataValue(607, 0x10000u, 0, CDataBlock::kByUseAs);
    });
    LineSoundings line(dir / "l.kvs");
    PingSoundings p;
    ASSERT_TRUE(line.Next(p));
    ASSERT_EQ(p.depth.size(), 3u);
    // Heading east: starboard (the last beam, across > 0) lies south of the ping.
    EXPECT_LT(p.north[2], 5800000.0 - 10.0);
    EXPECT_NEAR(p.east[2], 500000.0, 0.2);
    ASSERT_TRUE(line.Next(p));
    EXPECT_GT(p.east[2], 500000.0 + 10.0); // heading north: starboard is east
    EXPECT_TRUE(line.Counts().headingFromTrack);
    ASSERT_TRUE(line.Next(p));
    EXPECT_EQ(p.depth.size(), 1u);
    EXPECT_EQ(p.rejected, 2u);
    ASSERT_TRUE(line.Next(p));
    EXPECT_TRUE(p.depth.empty());
    EXPECT_FALSE(line.Next(p));
    EXPECT_EQ(line.Counts().pingsInvalid, 1u);
    EXPECT_EQ(line.Counts().soundings, 7u);
    EXPECT_EQ(line.UtmZone(), 0); // no longitude and latitude
}

TEST(LineSoundings, ACorruptOrMissingLineIsNamed)
{
    TempFolder dir("line_bad");
    EXPECT_THROW(LineSoundings(dir / "none.kvs"), LineReadError);
    kvs::SurveyLineOptions opt;
    opt.pings = 3;
    WriteLine(dir / "l.kvs", opt, [](int, CDataBlock&) {});
    std::string bytes = ReadWholeFile(dir / "l.kvs");
    bytes.resize(bytes.size() - 10);
    std::ofstream(dir / "cut.kvs", std::ios::binary) << bytes;
    LineSoundings line(dir / "cut.kvs");
    PingSoundings p;
    try {
        while (line.Next(p)) {
        }
        FAIL() << "the cut record was not noticed";
    } catch (const LineReadError& e) {
        EXPECT_NE(std::string(e.what()).find("cut.kvs"), std::string::npos) << e.what();
    }
}
