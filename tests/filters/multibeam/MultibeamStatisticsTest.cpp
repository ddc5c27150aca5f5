// The multibeam filter's statistical pass: its window of pings, the quantiles, restarts,
// copies, and the sliding sample against the statistics written out plainly and against
// a sort.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/multibeam/detail/SlideKeys.h>
#include <KvsDataBlocks/filters/multibeam/detail/StatisticsWindow.h>

#include "PingBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <tuple>

using namespace pingtest;
using F = MultibeamFilter;

namespace {

// Ping 2 of three through a window of three, its depths changed; the flags it leaves with.
Words MiddlePing(int beams, std::initializer_list<std::pair<int, float>> depths, int outerBeams = -1)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    CDataBlock p2 = NumberedPing(2, beams);
    SetFloats(p2, 605, Changed(ReadArray<float>(p2, 605), depths));
    const int n = outerBeams < 0 ? beams : outerBeams;
    const std::vector<CDataBlock> out = RunAll(f, {NumberedPing(1, n), p2, NumberedPing(3, n)});
    EXPECT_EQ(std::pair(PingNumber(out.at(1)), (PingFlags(out[1]) & F::kFlagStatistics) != 0), std::pair(2, true));
    return Flags(out[1]);
}

} // namespace

TEST(MultibeamStatistics, WindowHoldsHalfItsPingsDrainsThemInOrderQuantilesFollowTheirRulesAndSamplesNeedFour)
{
    for (auto [windowAttr, held] : {std::pair{0, 1}, std::pair{1, 2}}) { // pings held while the window fills
        CAttributeMap a = StatsAttributes(windowAttr);
        MultibeamFilter f(&a);
        std::vector<int> out;
        for (int p = 1; p <= 8; ++p) {
            CDataBlock b = NumberedPing(p);
            ASSERT_EQ(f.Process(b, kFull), p > held) << p;
            if (p > held) out.push_back(PingNumber(b));
        }
        EXPECT_EQ(f.GetPendingCount(), held);
        for (CDataBlock b; f.GetRemainder(b);) {
            out.push_back(PingNumber(b));
            EXPECT_EQ(std::tuple(b.GetTime(), (PingFlags(b) & F::kFlagStatistics) != 0), std::tuple(out.back(), true));
        }
        EXPECT_EQ(std::pair(f.IsWindowAllocated(), out), std::pair(false, std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    }
    // The first pings leave unjudged while the window warms up, streams shorter than half
    // the window are drained too, and held pings leave with the elements the filter does
    // not carry.
    const std::pair<int, std::vector<bool>> streams[] = {
        {1, {false, false, true, true}}, {2, {false}}, {2, {false, false}}, {2, {false, false, false}}};
    for (const auto& [windowAttr, wantJudged] : streams) {
        CAttributeMap a = StatsAttributes(windowAttr);
        MultibeamFilter f(&a);
        std::vector<CDataBlock> in;
        for (int p = 1; p <= static_cast<int>(wantJudged.size()); ++p) {
            in.push_back(NumberedPing(p));
            in.back().SetDataValue(99, static_cast<unsigned char>(p), 0, CDataBlock::kByUseAs); // not a ping member
        }
        std::vector<bool> judged;
        for (const CDataBlock& b : RunAll(f, in)) {
            judged.push_back(PingFlags(b) & F::kFlagStatistics);
            EXPECT_EQ(std::pair(PingNumber(b), Value(b, 99)), std::pair(int(judged.size()), double(judged.size())));
        }
        EXPECT_EQ(judged, wantJudged) << windowAttr;
    }
    // Mode 3 holds nothing; a held ping leaves its block filtered so far.
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    CDataBlock b = NumberedPing(1);
    EXPECT_TRUE(f.Process(b, F::kErrorLimitsOnly));
    EXPECT_EQ(f.GetPendingCount(), 0);
    EXPECT_FALSE(f.GetRemainder(b));

    filtertest::SetAttributes(a, {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "2"}});
    MultibeamFilter g(&a);
    CDataBlock c = NumberedPing(1, 3);
    SetFlags(c, {0x4000, 0, 0});
    EXPECT_FALSE(g.Process(c, kFull));
    EXPECT_EQ(Flags(c), (Words{0, 0x100, 0}));

    // Quantiles follow their position rules; samples need four, pings the window's width,
    // and edge beams are judged by the outer samples.
    const struct { std::vector<double> v; double p, want; } cases[] = {
        {{4, 1, 3, 2}, 0.75, 3.0}, {{4, 1, 3, 2}, 0.5, 2.5}, {{4, 1, 3, 2}, 0.25, 1.0}, // no interpolation at k = 0
        {{5, 4, 3, 2, 1}, 1.0, 4.0},                                                     // the second largest
        {{5, 4, 3, 2, 1}, 0.5, 3.0}, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, 0.3, 3.4}, {{7}, 0.5, 7.0},
    };
    for (const auto& c : cases) {
        std::vector<double> v = c.v;
        EXPECT_DOUBLE_EQ(MultibeamFilter::Quantile(c.p, v), c.want) << c.p;
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end())); // sorted in place
    }
    // Beam 3 exactly 3 % below the median of 100, beam 6 just beyond; the edge beams 0 and
    // 9, below the first judged beam and beyond the last.
    EXPECT_EQ(MiddlePing(10, {{0, -90.0f}, {3, -103.0f}, {6, -103.01f}, {9, -90.0f}}),
              Only(10, {{F::kFlagStatistics, {0, 6, 9}}}));
    // Three samples: no test; four: the outlier is flagged.
    EXPECT_EQ(MiddlePing(3, {{1, -200.0f}}, 0), Words(3, 0));
    EXPECT_EQ(MiddlePing(3, {{1, -200.0f}}, 1), Only(3, {{F::kFlagStatistics, {1}}}));
    // A ping narrower than the window is marked but not tested.
    EXPECT_EQ(MiddlePing(2, {{1, -200.0f}}), Words(2, 0));
}

TEST(MultibeamStatistics, TimeReversalRestartsTheWindowCopiesOwnTheirWindowsAndReleasedWindowsAreNeverRead)
{
    CAttributeMap a = StatsAttributes(0);
    MultibeamFilter f(&a);
    // 4 equals the last time: no restart; 5: the last two stored times do not run upwards
    // and it is later: restart, ping 4 goes out first (unjudged); 7 is earlier than a run
    // upwards: restart, ping 6 goes out first; 8 starts a fresh window running backwards.
    // Nothing is dropped.
    const double times[] = {1.0, 2.0, 3.0, 3.0, 4.0, 5.0, 4.5, 4.4};
    std::vector<CDataBlock> in;
    for (int p = 1; p <= 8; ++p) in.push_back(NumberedPing(p, 9, times[p - 1]));
    std::vector<int> numbers;
    for (const CDataBlock& b : RunAll(f, in)) numbers.push_back(PingNumber(b));
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));

    // Pings of a full window of 7, then the line runs back in time: from the reversal on
    // the filter gives exactly what a new filter gives for the pings from there.
    std::srand(3);
    auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
    std::vector<CDataBlock> pings;
    for (int p = 0; p < 30; ++p) {
        Floats z(30);
        for (int i = 0; i < 30; ++i)
            z[i] = static_cast<float>(-40.0 - 0.05 * i + (uniform() - 0.5) * 0.8 + (uniform() < 0.05 ? 3.0 : 0.0));
        pings.push_back(Block(Ramp(30, -15), z, {}, p < 17 ? p : 32.5 - p));
    }
    CAttributeMap seven = StatsAttributes(2);
    MultibeamFilter whole(&seven), fresh(&seven);
    std::vector<Words> fromWhole, fromFresh;
    for (const CDataBlock& b : RunAll(whole, pings))
        if (std::fmod(b.GetTime(), 1.0) != 0.0) fromWhole.push_back(Flags(b)); // from the reversal on
    for (const CDataBlock& b : RunAll(fresh, std::vector<CDataBlock>(pings.begin() + 17, pings.end())))
        fromFresh.push_back(Flags(b));
    ASSERT_EQ(fromFresh.size(), 13u);
    EXPECT_EQ(fromWhole, fromFresh);

    // Copies own their windows, and released windows are never read.
    CAttributeMap five = StatsAttributes(1);
    auto original = std::make_unique<MultibeamFilter>(&five);
    for (int p = 1; p <= 4; ++p) {
        CDataBlock b = NumberedPing(p, 20);
        original->Process(b, kFull);
    }
    MultibeamFilter copy(*original), assigned(nullptr);
    assigned = *original;
    std::vector<int> fromOriginal, fromCopy, fromAssigned;
    for (int p = 5; p <= 7; ++p) {
        CDataBlock b1 = NumberedPing(p, 20), b2 = b1, b3 = b1;
        if (original->Process(b1, kFull)) fromOriginal.push_back(PingNumber(b1));
        if (copy.Process(b2, kFull)) fromCopy.push_back(PingNumber(b2));
        if (assigned.Process(b3, kFull)) fromAssigned.push_back(PingNumber(b3));
        EXPECT_TRUE(Packed(b1) == Packed(b2));
    }
    original.reset(); // the copies must not depend on its arrays
    for (CDataBlock b; copy.GetRemainder(b);) fromCopy.push_back(PingNumber(b));
    for (CDataBlock b; assigned.GetRemainder(b);) fromAssigned.push_back(PingNumber(b));
    EXPECT_EQ(fromOriginal, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(fromCopy, (std::vector<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(fromAssigned, fromCopy);

    // Drained, the filter has released its window, which its working ping referred to: a
    // copy must not read it.
    EXPECT_FALSE(copy.IsWindowAllocated());
    MultibeamFilter again(copy);
    CDataBlock c = NumberedPing(8, 20);
    EXPECT_FALSE(again.Process(c, kFull));
    EXPECT_EQ(again.GetPendingCount(), 1);
    ASSERT_TRUE(again.GetRemainder(c));
    EXPECT_EQ(PingNumber(c), 8);

    // The same settings keep the window (but restart it); another window size releases it.
    CAttributeMap three = StatsAttributes(0);
    MultibeamFilter g(&three);
    g.Process(c, kFull);
    static_cast<Filter&>(g).SetAttributes(&three);
    EXPECT_EQ(std::tuple(g.IsWindowAllocated(), g.GetPendingCount()), std::tuple(true, 0));
    static_cast<Filter&>(g).SetAttributes(&seven);
    EXPECT_EQ(std::tuple(g.IsWindowAllocated(), g.GetWindowSize()), std::tuple(false, 7));
}

namespace {

// The statistical filter written out plainly, sample by sample, for a stream of pings
// with rising times: the flags of every ping in output order (drain included).
struct RefPing { Floats z; Words flags; };

std::vector<Words> ReferenceStats(const std::vector<RefPing>& input, int w, double scale)
{
    const int h = w / 2;
    std::vector<RefPing> win;
    std::vector<Words> out;
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
            auto judge = [&](int t) { mid.flags[t] |= std::fabs(mid.z[t] - med) > limit ? 0x8000u : 0u; };
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

TEST(MultibeamStatistics, SlidingSampleMatchesThePlainStatistics)
{
    std::srand(7);
    auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
    for (int windowAttr : {0, 1, 2}) {
        for (int scaleAttr : {0, 3, 8}) {
            std::vector<RefPing> pings;
            std::vector<CDataBlock> blocks;
            // Long enough for many pings of a full window; now and then a ping narrower
            // than the window.
            for (int p = 0; p < 30; ++p) {
                const int n = p % 11 == 7 ? 2 + p % 5 : 20 + static_cast<int>(uniform() * 20);
                RefPing r;
                for (int i = 0; i < n; ++i) {
                    double z = -50.0 + 0.01 * i + (uniform() - 0.5) * 0.6;
                    if (uniform() < 0.05) z += (uniform() < 0.5 ? -1 : 1) * (1.0 + 5.0 * uniform());
                    if (uniform() < 0.02) z = -50.0; // repeated values
                    if (uniform() < 0.04) z = -44.0; // repeated outliers, often flagged in one window
                    r.z.push_back(static_cast<float>(z));
                    r.flags.push_back(uniform() < 0.05 ? 0x200000u : (uniform() < 0.3 ? 0x3u : 0u));
                }
                pings.push_back(r);
                blocks.push_back(Block(Floats(n, 0.0f), r.z, {}, p));
                SetFlags(blocks.back(), r.flags);
            }
            CAttributeMap a = StatsAttributes(windowAttr);
            a.SetAttribValue(ATTR_FILTERQUANTSCALE, scaleAttr);
            MultibeamFilter f(&a);
            std::vector<Words> got;
            for (const CDataBlock& b : RunAll(f, blocks)) got.push_back(Flags(b));
            const auto want = ReferenceStats(pings, f.GetWindowSize(), f.GetQuantileScale());
            ASSERT_EQ(got.size(), pings.size());
            int flagged = 0;
            for (const Words& v : want)
                for (unsigned int fl : v) flagged += (fl & 0x8000u) ? 1 : 0;
            EXPECT_GT(flagged, 10);
            EXPECT_EQ(got, want) << "window " << f.GetWindowSize() << " scale " << f.GetQuantileScale();
        }
    }
}

TEST(MultibeamStatistics, EverySlideGivesTheSortedKeysOfTheNewSample)
{
    using namespace kvs::multibeam::detail;
    std::srand(11);
    // Few distinct depths, so that equal keys, -0 and +0 meet often.
    auto key = [] { return DepthKey(static_cast<float>(std::rand() % 9 - 4) * 0.5f); };
    // The sample's keys by the column (0 .. 7) they came in with. Each step the keys of one
    // column leave and 0 .. 7 new ones come in its stead. Each placed form slides its own
    // keys, told the places of the leaving ones, and follows the places of every column,
    // whose padding to kColumnKeys keys it moves as keys.
    std::vector<int32_t> column[8];
    struct Placed
    {
        SlideForm form;
        std::vector<int32_t> keys = std::vector<int32_t>(kSlidePlaces, kNoKey);
        uint64_t places[8] = {};
    };
    std::vector<Placed> placed;
    for (SlideForm form : {SlideForm::Eight, SlideForm::Wide})
        if (SlideAvailable(form)) placed.push_back({form});
    auto keysAt = [](const std::vector<int32_t>& keys, uint64_t at) {
        std::vector<int32_t> v;
        for (; at != 0; at &= at - 1) v.push_back(keys[__builtin_ctzll(at)]);
        return v;
    };
    for (int step = 0; step < 4000; ++step) {
        const int c = step % 8;
        std::vector<int32_t> prev, want;
        for (const auto& v : column) prev.insert(prev.end(), v.begin(), v.end());
        std::vector<int32_t> out = column[c], in;
        for (int k = std::rand() % 8; k > 0 && prev.size() - out.size() + in.size() < kSlideMax; --k)
            in.push_back(key());
        column[c] = in;
        for (const auto& v : column) want.insert(want.end(), v.begin(), v.end());
        for (auto* v : {&prev, &out, &in, &want}) std::sort(v->begin(), v->end());
        const int size = static_cast<int>(prev.size()), nOut = static_cast<int>(out.size()),
                  nIn = static_cast<int>(in.size());
        for (auto* v : {&prev, &want}) v->resize(kSlidePlaces, kNoKey);
        for (auto* v : {&out, &in}) v->resize(8, kNoKey);
        std::vector<int32_t> got(kSlidePlaces, kNoKey);
        got[std::rand() % kSlidePlaces] = key(); // a key beyond the new size is padded over
        EXPECT_EQ(SlideKeys(prev.data(), size, out.data(), nOut, in.data(), nIn, got.data(), kSlidePlaces),
                  size - nOut + nIn);
        ASSERT_EQ(got, want) << step;
#ifdef KVS_SLIDE_WIDE
        for (Placed& p : placed) {
            const int form = static_cast<int>(p.form);
            ASSERT_EQ(p.keys, prev) << step << " form " << form;
            // Every place is written, but for the last 8, which the 8-lane form leaves (they
            // hold kNoKey in every sample).
            std::fill(got.begin(), got.end(), key());
            std::fill(got.begin() + 56, got.end(), kNoKey);
            if (p.form == SlideForm::Wide)
                SlideColumnsWide(p.keys.data(), p.places, c, c, in.data(), got.data());
            else
                SlideColumnsEight(p.keys.data(), p.places, c, c, in.data(), got.data());
            p.keys = got;
            ASSERT_EQ(p.keys, want) << step << " form " << form;
            for (int k = 0; k < 8; ++k) {
                // A column not yet slid in holds no places.
                std::vector<int32_t> keys = column[k];
                std::sort(keys.begin(), keys.end());
                if (step >= k) keys.resize(kColumnKeys, kNoKey);
                ASSERT_EQ(keysAt(p.keys, p.places[k]), keys) << step << " column " << k << " form " << form;
            }
        }
#endif
    }
}

TEST(MultibeamStatistics, EverySlideFlagsAlike)
{
    using namespace kvs::multibeam::detail;
    std::vector<SlideForm> placed;
    for (SlideForm form : {SlideForm::Eight, SlideForm::Wide})
        if (SlideAvailable(form)) placed.push_back(form);
    if (placed.empty()) GTEST_SKIP() << "this processor takes the portable slide only";
    for (SlideForm form : placed) {
        std::srand(5);
        auto uniform = [] { return std::rand() / (RAND_MAX + 1.0); };
        for (int size : {3, 5, 7}) {
            StatisticsWindow fast, portable;
            fast.UseSlide(form);
            portable.UseSlide(SlideForm::Portable);
            fast.Resize(size);
            portable.Resize(size);
            for (int p = 0; p < 40; ++p) {
                // Rough depths with outliers, equal depths, NaN and beams no sample.
                const int n = 20 + std::rand() % 60;
                std::vector<float> z(n);
                std::vector<unsigned int> flags(n);
                for (int i = 0; i < n; ++i) {
                    z[i] = static_cast<float>(-50.0 + (uniform() - 0.5) * 0.6 + (uniform() < 0.05 ? 4.0 : 0.0));
                    if (uniform() < 0.05) z[i] = -44.0f;
                    if (uniform() < 0.02) z[i] = std::numeric_limits<float>::quiet_NaN();
                    flags[i] = uniform() < 0.05 ? 0x200000u : 0u;
                }
                std::vector<unsigned int> got[2];
                bool out[2] = {};
                int k = 0;
                for (StatisticsWindow* w : {&fast, &portable}) {
                    PingStruct ping;
                    ping.time = p;
                    ping.beamCount = n;
                    ping.z = z.data();
                    ping.flags = flags.data();
                    out[k] = w->Push(ping, -1, 3.0);
                    if (out[k]) got[k].assign(ping.flags, ping.flags + ping.beamCount);
                    ++k;
                }
                ASSERT_EQ(out[0], out[1]) << size << " " << p;
                ASSERT_EQ(got[0], got[1]) << size << " " << p << " form " << static_cast<int>(form);
            }
        }
    }
}
