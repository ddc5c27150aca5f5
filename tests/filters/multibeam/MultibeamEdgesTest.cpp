// The statistical filter at the edges of a run of pings: no ping is lost when the times
// reverse (the pings held go out, judged or unjudged), and with StatsJudgeEdges the first
// and last pings of a line are judged with the pings there are. Also the slope filter's
// spaced variant, whose base no single beam at nadir can set.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include "PingBlock.h"

#include <algorithm>
#include <tuple>

using namespace pingtest;
using F = MultibeamFilter;

namespace {

// n pings of 15 beams flat at 100 m, ping p at time times[p]; beam 7 of ping spike[k] is
// 10 m shallower.
std::vector<CDataBlock> Line(const std::vector<double>& times, std::initializer_list<int> spikes = {})
{
    std::vector<CDataBlock> pings;
    for (size_t p = 0; p < times.size(); ++p) pings.push_back(NumberedPing(static_cast<int>(p) + 1, 15, times[p]));
    for (int s : spikes) SetFloats(pings.at(s - 1), 605, Changed(ReadArray<float>(pings[s - 1], 605), {{7, -90.0f}}));
    return pings;
}

struct Out
{
    std::vector<int> numbers, judged, spikeFlagged;
};

Out RunLine(MultibeamFilter& f, const std::vector<CDataBlock>& in)
{
    Out o;
    for (const CDataBlock& b : RunAll(f, in)) {
        o.numbers.push_back(PingNumber(b));
        if (PingFlags(b) & F::kFlagStatistics) o.judged.push_back(PingNumber(b));
        if (Flags(b).at(7) & F::kFlagStatistics) o.spikeFlagged.push_back(PingNumber(b));
    }
    return o;
}

} // namespace

TEST(MultibeamEdges, EveryPingComesOutOfAReversalJudgedWithTheEdgesOnAndUnjudgedWithout)
{
    // Window 7: pings 1-5 run upwards, ping 6 goes back in time while pings 3-5 are held,
    // and the pings after it run on from there; spikes sit in pings 2 and 9.
    const std::vector<double> times = {1, 2, 3, 4, 5, 4.5, 4.6, 4.7, 4.8, 4.9, 5.0, 5.1};
    for (bool edges : {false, true}) {
        SCOPED_TRACE(edges ? "edges judged" : "default warm-up");
        CAttributeMap a = filtertest::Attributes(
            {{ATTR_STATISTICFILTER, true}, {ATTR_FILTERWINDOWSIZE, 2}, {ATTR_STATSJUDGEEDGES, edges}});
        MultibeamFilter f(&a);
        const Out o = RunLine(f, Line(times, {2, 9}));
        EXPECT_EQ(o.numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        if (edges) {
            EXPECT_EQ(o.judged, o.numbers);
            EXPECT_EQ(o.spikeFlagged, (std::vector<int>{2, 9}));
        } else {
            // The first pings of each run pass unjudged (ping 2 left before the reversal);
            // from ping 9 on the window is full (the last ones with the last ping repeated).
            EXPECT_EQ(std::tuple(o.judged, o.spikeFlagged),
                      std::tuple(std::vector<int>{9, 10, 11, 12}, std::vector<int>{9}));
        }
    }
}

TEST(MultibeamEdges, ShortLinesAndRepeatedReversalsLoseNothing)
{
    // With the edges judged, every ping judged with at least three pings is: runs of one
    // or two pings, and the edges of a window of 3, pass unjudged.
    const struct { std::vector<double> times; int window; size_t judgedWithEdges; } cases[] = {
        {{1}, 2, 0},                             // one ping
        {{1, 2}, 2, 0},                          // shorter than half the window
        {{1, 2, 3, 4}, 2, 4},                    // shorter than the window
        {{1, 2, 3, 2.5, 3.5, 3.0, 4.0}, 1, 3},   // reversals every other ping: runs of 3, 2 and 2
        {{5, 4, 3, 2, 1, 6, 7}, 0, 3},           // backwards (edges of a window of 3), then 2 forwards
    };
    for (const auto& c : cases)
        for (bool edges : {false, true}) {
            CAttributeMap a = filtertest::Attributes(
                {{ATTR_STATISTICFILTER, true}, {ATTR_FILTERWINDOWSIZE, c.window}, {ATTR_STATSJUDGEEDGES, edges}});
            MultibeamFilter f(&a);
            const Out o = RunLine(f, Line(c.times));
            std::vector<int> all(c.times.size());
            for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i) + 1;
            std::vector<int> sorted = o.numbers;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, all) << c.times.size() << " pings, window " << c.window << (edges ? ", edges" : "");
            if (edges) {
                EXPECT_EQ(o.judged.size(), c.judgedWithEdges) << c.times.size() << " pings";
            }
            EXPECT_EQ(f.GetPendingCount(), 0);
        }
}

TEST(MultibeamEdges, TwoPingsThatDisagreeAreNotJudgedThreeAre)
{
    // A stream of two pings (one of them 10 m shallower than the other in every beam)
    // gives no majority; with a third ping like the first, the odd one is flagged.
    for (size_t count : {2u, 3u}) {
        std::vector<CDataBlock> in = Line(count == 2 ? std::vector<double>{1, 2} : std::vector<double>{1, 2, 3});
        SetFloats(in[1], 605, Floats(15, -90.0f));
        CAttributeMap a = filtertest::Attributes(
            {{ATTR_STATISTICFILTER, true}, {ATTR_FILTERWINDOWSIZE, 2}, {ATTR_STATSJUDGEEDGES, true}});
        MultibeamFilter f(&a);
        const Out o = RunLine(f, in);
        EXPECT_EQ(o.judged.size(), count == 2 ? 0u : 3u);
        EXPECT_EQ(o.spikeFlagged, count == 2 ? std::vector<int>{} : std::vector<int>{2});
    }
}

TEST(MultibeamEdges, AJunkBeamAtNadirSetsNeitherTheSlopeBaseNorItsAnchor)
{
    // 41 beams 10 m apart across a flat seabed at 1500 m; the nadir beam returned at 2.4 m.
    Floats x(41), z(41, -1500.0f);
    for (int i = 0; i < 41; ++i) x[i] = 10.0f * static_cast<float>(i - 20);
    z[20] = -2.4f;
    const CDataBlock b =
        Filtered({{ATTR_SLOPEFILTER, true}, {ATTR_FILTERSLOPEANGLE, 60.0}, {ATTR_SLOPEBASERATIO, 0.05}}, Block(x, z));
    EXPECT_EQ(With(b, F::kFlagSlope), (std::vector<int>{20}));
}

TEST(MultibeamEdges, PingsHeldWhenTheLastPassIsInModeThreeComeOutOnce)
{
    // Pings 1-6 by full passes (a window of 5 holds the last two), ping 7 in mode 3, which
    // holds nothing and comes out at once: the held pings follow it, each once.
    for (bool edges : {false, true}) {
        SCOPED_TRACE(edges ? "edges judged" : "default warm-up");
        CAttributeMap a = filtertest::Attributes(
            {{ATTR_STATISTICFILTER, true}, {ATTR_FILTERWINDOWSIZE, 1}, {ATTR_STATSJUDGEEDGES, edges}});
        MultibeamFilter f(&a);
        std::vector<CDataBlock> in = Line({1, 2, 3, 4, 5, 6, 7}, {6});
        std::vector<int> out, judged;
        auto take = [&](const CDataBlock& b) {
            out.push_back(PingNumber(b));
            if (Flags(b).at(7) & F::kFlagStatistics) judged.push_back(PingNumber(b));
        };
        for (size_t i = 0; i < in.size(); ++i)
            if (f.Process(in[i], i + 1 < in.size() ? kFull : F::kErrorLimitsOnly)) take(in[i]);
        for (CDataBlock b; f.GetRemainder(b);) take(b);
        EXPECT_EQ(out, (std::vector<int>{1, 2, 3, 4, 7, 5, 6}));
        // The spike in ping 6 is found only where the held pings are judged.
        EXPECT_EQ(judged, edges ? std::vector<int>{6} : std::vector<int>{});
        EXPECT_EQ(f.GetPendingCount(), 0);
    }
}
