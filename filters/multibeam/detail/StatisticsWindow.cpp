#include <KvsDataBlocks/filters/multibeam/detail/StatisticsWindow.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/detail/DepthKey.h>
#include <KvsDataBlocks/filters/multibeam/detail/SlideKeys.h>
#include <KvsDataBlocks/filters/multibeam/detail/SortNetworks.h>
#include <KvsDataBlocks/filters/multibeam/detail/SortedSample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvs::multibeam::detail {

namespace {

constexpr unsigned int kFlagStatistics = Multibeam::kFlagStatistics;
constexpr int kMaxBeams = PingStruct::kMaxBeams;

// The quantile rule of StatisticsWindow::Quantile on n >= 1 sorted items read by at(i).
template <typename At>
double SortedQuantile(double p, int n, At at)
{
    const int m = n - 1;
    const double pos = m * p;
    const int k = static_cast<int>(pos);
    const double f = pos - k;
    if (k <= 0) return at(0);
    if (k >= m - 1) return at(m - 1);
    const double a = at(k);
    return a + (at(k + 1) - a) * f;
}


// Where the quantile rule of StatisticsWindow::Quantile reads a sorted sample of a given
// size: the 1-based position r of the item taken, and the fraction f towards the next one
// (0 where the rule takes the item alone). Computed by the rule itself, so the values are
// the same. Every read interpolates, with no branch on the size, which changes at random
// where beams are rejected here and there: v + (next - v) * 0 is v, the next item being a
// depth, but for the sign of a zero, which no test of the passes tells apart.
struct QuantilePos
{
    int r = 1;
    double f = 0.0;
};

constexpr QuantilePos PositionOf(double p, int size)
{
    const int m = size - 1;
    const double pos = m * p;
    const int k = static_cast<int>(pos);
    const double f = pos - k;
    if (k <= 0) return {1, 0.0};
    if (k >= m - 1) return {m, 0.0};
    return {k + 1, f};
}

constexpr std::array<QuantilePos, 64> QuantilePositions(double p)
{
    std::array<QuantilePos, 64> t{};
    for (int size = 2; size < 64; ++size) t[size] = PositionOf(p, size);
    return t;
}

constexpr std::array<QuantilePos, 64> kMedianPos = QuantilePositions(0.5);
constexpr std::array<QuantilePos, 64> kLowerPos = QuantilePositions(0.25);
constexpr std::array<QuantilePos, 64> kUpperPos = QuantilePositions(0.75);

// The places of a sorted sample (kSlidePlaces places) that a few of its keys hold, one
// place each: a key listed twice takes two places of equal keys. Every key is held.
template <typename Keys>
uint64_t PlacesOf(const int32_t* sample, Keys keys)
{
    uint64_t places = 0;
    keys([&](int32_t key) {
        int at = KeysBelow(sample, key);
        while ((places >> at) & 1) ++at;
        places |= uint64_t{1} << at;
    });
    return places;
}

// The place of the r-th smallest key (1-based) of a sorted sample without the keys at
// the places in taken, and the place of the key after it.
inline void PlaceWithout(uint64_t taken, int r, int& at, int& next)
{
    int pos = r - 1;
    for (uint64_t t = taken; t != 0 && __builtin_ctzll(t) <= pos; t &= t - 1) ++pos;
    int after = pos + 1;
    while ((taken >> after) & 1) ++after;
    at = pos;
    next = after;
}

// The quantile at q of a sorted sample without the keys at the places in taken (at least
// 2 keys remain, so that the next item read is one).
inline double SampleQuantile(const QuantilePos& q, const int32_t* sample, uint64_t taken)
{
    int at = q.r - 1;
    int next = q.r;
    if (taken != 0) [[unlikely]] {
        PlaceWithout(taken, q.r, at, next);
        const double v = KeyDepth(sample[at]);
        return v + (KeyDepth(sample[next]) - v) * q.f;
    }
#if defined(__SSE2__)
    // The item and the next one side by side: both keys turned into depths at once.
    const __m128i k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(sample + at));
    const __m128 f = _mm_castsi128_ps(_mm_xor_si128(k, _mm_and_si128(_mm_srai_epi32(k, 31), _mm_set1_epi32(0x7FFFFFFF))));
    const __m128d both = _mm_cvtps_pd(f);
    const double v = _mm_cvtsd_f64(both);
    return v + (_mm_cvtsd_f64(_mm_unpackhi_pd(both, both)) - v) * q.f;
#else
    const double v = KeyDepth(sample[at]);
    return v + (KeyDepth(sample[next]) - v) * q.f;
#endif
}

// The sorted columns of beams 0 .. n-1 of up to 7 rows of keys (kMaxBeams each, kNoKey
// beyond their beams): column b of 8 places, kNoKey after its keys, and its count of keys.
// Four beams at a time through SortEight on vectors of four, then turned into columns by
// shuffles; rows beyond rowCount count as kNoKey.
void SortColumns(const int32_t* const* rows, int rowCount, int n, std::array<int32_t, 8>* columns,
                 int* counts)
{
    static_assert(kMaxBeams % 4 == 0, "rows and columns hold whole fours");
    using Four = int32_t __attribute__((vector_size(16)));
    const Four none = {kNoKey, kNoKey, kNoKey, kNoKey};
    for (int b = 0; b < n; b += 4) {
        Four v[8];
        for (int k = 0; k < 8; ++k) {
            v[k] = none;
            if (k < rowCount) std::memcpy(&v[k], rows[k] + b, sizeof v[k]);
        }
        SortEight(v);
        Four count = {0, 0, 0, 0};
        for (int k = 0; k < 8; ++k) count -= v[k] != none;
        // Ranks 0 .. 3 and 4 .. 7 of each beam, by two transposes of four by four.
        Four out[8];
        for (int half = 0; half < 2; ++half) {
            const Four* r = v + 4 * half;
            const Four t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);
            const Four t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
            const Four t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
            const Four t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
            out[0 + half] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            out[2 + half] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            out[4 + half] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            out[6 + half] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
        std::memcpy(columns + b, out, sizeof out);
        std::memcpy(counts + b, &count, sizeof count);
    }
}

#ifdef KVS_SLIDE_WIDE
// Orders the 32-bit keys in the lanes of two AVX2 vectors: SortEight's comparator for them.
struct OrderLanes
{
    [[gnu::target("avx2")]] void operator()(__m256i& a, __m256i& b) const
    {
        const __m256i lo = _mm256_min_epi32(a, b);
        b = _mm256_max_epi32(a, b);
        a = lo;
    }
};

// SortColumns 8 beams at a time with AVX2, for processors that take the 8-lane slide.
[[gnu::target("avx2")]] void SortColumnsEight(const int32_t* const* rows, int rowCount, int n,
                                              std::array<int32_t, 8>* columns, int* counts)
{
    static_assert(kMaxBeams % 8 == 0, "rows and columns hold whole eights");
    const __m256i none = _mm256_set1_epi32(kNoKey);
    for (int b = 0; b < n; b += 8) {
        __m256i v[8];
        for (int k = 0; k < 8; ++k)
            v[k] = k < rowCount ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + b)) : none;
        SortEight(v, OrderLanes{});
        __m256i count = _mm256_setzero_si256();
        for (int k = 0; k < 8; ++k) count = _mm256_add_epi32(count, _mm256_cmpeq_epi32(v[k], none));
        count = _mm256_add_epi32(count, _mm256_set1_epi32(8)); // 8 less the kNoKey lanes
        // Rank k of each beam in lane b .. turned into the 8 ranks of each beam.
        __m256i t[8], u[8];
        for (int k = 0; k < 8; k += 2) {
            t[k] = _mm256_unpacklo_epi32(v[k], v[k + 1]);
            t[k + 1] = _mm256_unpackhi_epi32(v[k], v[k + 1]);
        }
        for (int k = 0; k < 8; k += 4) {
            u[k] = _mm256_unpacklo_epi64(t[k], t[k + 2]);
            u[k + 1] = _mm256_unpackhi_epi64(t[k], t[k + 2]);
            u[k + 2] = _mm256_unpacklo_epi64(t[k + 1], t[k + 3]);
            u[k + 3] = _mm256_unpackhi_epi64(t[k + 1], t[k + 3]);
        }
        for (int l = 0; l < 4; ++l) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(columns[b + l].data()),
                                _mm256_permute2x128_si256(u[l], u[l + 4], 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(columns[b + 4 + l].data()),
                                _mm256_permute2x128_si256(u[l], u[l + 4], 0x31));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(counts + b), count);
    }
}
#endif

} // namespace

StatisticsWindow::StatisticsWindow()
    : m_slide(BestSlide())
{
    for (PingStruct& slot : m_slots) slot.Init();
    // Every sample is padded with kNoKey; the 8-lane slide leaves the last places alone.
    for (auto& keys : m_windowKeys) keys.fill(kNoKey);
}

void StatisticsWindow::Resize(int size)
{
    if (size == m_size) return;
    Release();
    m_size = size;
    m_slotCount = size;
}

bool StatisticsWindow::Allocate()
{
    if (m_allocated) return true;
    for (int i = 0; i < m_slotCount; ++i)
        if (!m_slots[i].Allocate()) return false;
    try {
        m_keyRows.assign(static_cast<size_t>(m_slotCount) * kMaxBeams, kNoKey);
        m_columnKeys.resize(kMaxBeams);
        m_columnCounts.resize(kMaxBeams);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_keyExtent.fill(0);
    m_keyStale.fill(true);
    m_allocated = true;
    Restart();
    return true;
}

void StatisticsWindow::Restart()
{
    m_spread = 4.0;
    m_writePos = 0;
    m_fill = 0;
    m_held = 0;
    m_storedSlot = m_middleSlot = -1;
}

bool StatisticsWindow::Reverses(double time) const
{
    if (!m_allocated || m_fill <= 1) return false;
    const int slots = m_slotCount;
    const double t1 = m_slots[BufIndex(m_writePos - 1, slots)].time;
    const double t2 = m_slots[BufIndex(m_writePos - 2, slots)].time;
    const bool upwards = t2 < t1;
    return (upwards && time < t1) || (!upwards && time > t1);
}

void StatisticsWindow::JudgePartly(int middle, int firstOffset, int lastOffset, double quantScale)
{
    // Two pings that disagree give no majority to tell which is wrong: with fewer than
    // three the ping passes unjudged (a stream of one or two pings, a run that short).
    if (lastOffset - firstOffset + 1 < 3) return;
    Pass(middle, firstOffset, lastOffset, false, quantScale);
    Pass(middle, firstOffset, lastOffset, true, quantScale);
    m_slots[middle].pingFlags |= kFlagStatistics;
}

bool StatisticsWindow::TakeHeld(PingStruct& ping, bool judge, double quantScale)
{
    m_storedSlot = m_middleSlot = -1;
    if (!m_allocated || m_held <= 0) return false;
    const int h = m_size / 2;
    const int slots = m_slotCount;
    const int slot = BufIndex(m_writePos - m_held, slots);
    if (judge) {
        const int earlier = std::min(h, std::min(m_fill, slots) - m_held);
        const int later = std::min(h, m_held - 1);
        JudgePartly(slot, -earlier, later, quantScale);
    }
    ping.ShalowCopy(m_slots[slot]);
    m_middleSlot = slot;
    m_keyStale[slot] = true;
    --m_held;
    return true;
}

void StatisticsWindow::Release()
{
    if (m_allocated)
        for (PingStruct& slot : m_slots) slot.Delete();
    for (CDataBlock& held : m_blocks) held.Allocate(0);
    m_allocated = false;
}

void StatisticsWindow::KeepBlock(const CDataBlock& block)
{
    if (m_storedSlot >= 0) m_blocks[m_storedSlot] = block;
}

void StatisticsWindow::ExchangeBlock(CDataBlock& block)
{
    if (m_storedSlot >= 0 && m_middleSlot >= 0) {
        // The slot given out held a copy of a block handed over before: it takes the
        // caller's block in exchange for the judged ping's, no copy made.
        m_blocks[m_storedSlot].Swap(block);
        block.Swap(m_blocks[m_middleSlot]);
        return;
    }
    KeepBlock(block);
    TakeBlock(block);
}

void StatisticsWindow::TakeBlock(CDataBlock& block)
{
    if (m_middleSlot >= 0) block.Swap(m_blocks[m_middleSlot]);
}

bool StatisticsWindow::Push(PingStruct& ping, int readSlot, double quantScale)
{
    const int w = m_size;
    const int h = w / 2;
    const int slots = m_slotCount;
    m_storedSlot = m_middleSlot = -1;
    if (!Allocate()) return true; // out of memory: the ping passes unjudged
    // Times must keep running the way the last two stored pings ran; equal times do not
    // break the run. A reversal starts the window afresh: the multibeam filter gives out
    // the pings held before (Reverses, TakeHeld), so that this drops nothing there.
    if (Reverses(ping.time)) {
        // The ping read into the slot at the write position moves to the first slot.
        if (readSlot == m_writePos && m_writePos != 0) {
            m_slots[0].Swap(m_slots[m_writePos]);
            m_keyStale[0] = m_keyStale[m_writePos] = true;
            readSlot = 0;
        }
        Restart();
    }
    if (readSlot == m_writePos)
        static_cast<PingValues&>(m_slots[m_writePos]) = ping; // the arrays are there already
    else
        m_slots[m_writePos] = ping;
    m_keyStale[m_writePos] = true;
    m_storedSlot = m_writePos;
    m_writePos = (m_writePos + 1) % slots;
    ++m_fill;
    ++m_held;
    if (m_fill < h + 1) return false;

    const int middle = BufIndex(m_writePos - h - 1, slots);
    if (m_fill >= w + h) {
        Running(middle, quantScale);
        m_slots[middle].pingFlags |= kFlagStatistics;
    } else if (m_fill >= w) {
        Pass(middle, -h, h, false, quantScale);
        // While the window is young the spread pass looks at fewer later pings.
        const int lastOffset = m_fill > w ? m_fill - w : 0;
        Pass(middle, -h, lastOffset, true, quantScale);
        m_slots[middle].pingFlags |= kFlagStatistics;
    } else if (m_judgeEdges) {
        // The first pings of a run, with the earlier pings there are.
        JudgePartly(middle, -(m_fill - h - 1), h, quantScale);
    }
    --m_held;
    ping.ShalowCopy(m_slots[middle]);
    m_middleSlot = middle;
    // The rest of the chain flags the middle ping further: its keys are to be renewed.
    m_keyStale[middle] = true;
    return true;
}

// One pass over the beams h .. N-h-1 of the middle slot. The sample of beam j is every
// z[b] of the slots at ping offsets firstOffset .. lastOffset for b = j-h .. j+h, where b lies
// within that slot's beams, its flag word is below 0x8000 and z is a number. Instead of
// gathering and sorting each sample anew, the sorted sample slides along the beams: a
// step takes out the column of beam j-h-1 and puts in that of beam j+h, and a beam
// flagged here is taken out at once, so that every test sees exactly the sample the
// flags of that moment give. The quantiles depend only on the values, not on how they
// were sorted.
void StatisticsWindow::Pass(int middle, int firstOffset, int lastOffset, bool spreadPass, double quantScale)
{
    const int h = m_size / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_slots[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;

    const PingStruct* pings[7];
    int pingCount = 0;
    for (int p = firstOffset; p <= lastOffset; ++p) pings[pingCount++] = &m_slots[BufIndex(middle + p, slots)];

    auto isSample = [](const PingStruct& q, int b) {
        return b < q.beamCount && q.flags[b] < kFlagStatistics && std::isfinite(q.z[b]);
    };
    auto column = [&](int b, int32_t* out) {
        int c = 0;
        for (int k = 0; k < pingCount; ++k)
            if (isSample(*pings[k], b)) out[c++] = DepthKey(pings[k]->z[b]);
        SortSmall(out, c);
        return c;
    };

    static_assert(kSampleSlots == SortedSample::kSlots);
    SortedSample sample(m_sampleKeys.data());
    {
        int32_t first[7 * 7];
        int count = 0;
        for (int b = 0; b <= 2 * h; ++b) count += column(b, first + count);
        sample.Build(first, count);
    }

    int lo = 0; // first column of the current sample
    auto flag = [&](int t) {
        const bool wasSample = isSample(mid, t);
        mid.flags[t] |= kFlagStatistics;
        if (wasSample && t >= lo && t <= lo + 2 * h) sample.RemoveOne(DepthKey(mid.z[t]));
    };
    auto at = [&](int i) { return sample.Depth(i); };

    for (int j = h; j < n - h; ++j) {
        if (j > h) {
            int32_t out[8];
            int32_t in[8];
            const int nOut = column(j - h - 1, out);
            const int nIn = column(j + h, in);
            sample.Remove(out, nOut);
            sample.Insert(in, nIn);
            lo = j - h;
        }
        const int size = sample.Size();
        if (size < 4) continue;

        const double med = SortedQuantile(0.5, size, at);
        double limit;
        if (spreadPass) {
            const double q1 = SortedQuantile(kLowerQuantile, size, at);
            const double q3 = SortedQuantile(kUpperQuantile, size, at);
            m_spread = 0.9 * m_spread + 0.1 * std::fabs(q3 - q1);
            limit = quantScale * std::max(m_spread, kMinSpread);
        } else {
            limit = std::fabs(m_fixedRatio * med);
        }
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t);
        };
        judge(j);
        // The beams beyond the first and the last judged one share their sample.
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    }
}

const int32_t* StatisticsWindow::KeyRow(int slot)
{
    int32_t* row = m_keyRows.data() + static_cast<size_t>(slot) * kMaxBeams;
    if (!m_keyStale[slot]) return row;
    const PingStruct& q = m_slots[slot];
    const int n = q.z && q.flags ? std::clamp(q.beamCount, 0, kMaxBeams) : 0;
    const float* const z = q.z;
    const unsigned int* const flags = q.flags;
    for (int b = 0; b < n; ++b) row[b] = SampleKey(z[b], flags[b] < kFlagStatistics);
    if (m_keyExtent[slot] > n) std::fill(row + n, row + m_keyExtent[slot], kNoKey);
    m_keyExtent[slot] = n;
    m_keyStale[slot] = false;
    return row;
}

// Both passes over a full window (the spread pass sees every ping of it), giving exactly
// what Pass gives for the fixed-ratio pass followed by the spread pass. The sorted sample
// of every beam window is that of the keys the window's pings held before the passes
// (their flags no pass changes but the middle ping's); it slides along the beams once for
// both passes, a step taking out the sorted column of beam j-h-1 and putting in that of
// beam j+h, and it is kept for the spread pass, which trails h beams behind. So it sees
// every flag the fixed-ratio pass sets on its beams, while the fixed-ratio pass, ahead of
// it, never meets a beam the spread pass has flagged. A test takes its quantiles from the
// sorted sample without the keys of the middle ping's beams flagged so far within the
// window: read straight at their places while none is, as almost always.
void StatisticsWindow::Running(int middle, double quantScale)
{
    static_assert(kLowerQuantile == 0.25 && kUpperQuantile == 0.75, "the quantile positions are tabled for these");
    static_assert(kSampleSlots == kSlidePlaces);
    const int h = m_size / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_slots[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;
    const int width = 2 * h + 1;

    // A buffer of kept samples holds kNoKey only from its size on once it was built in
    // this call: until then the whole of it counts as held.
    m_windowSize.fill(kSampleSlots);
    const int32_t* rows[8] = {};
    for (int p = -h; p <= h; ++p) rows[p + h] = KeyRow(BufIndex(middle + p, slots));
    const int32_t* midKeys = rows[h];
    std::array<int32_t, 8>* columns = m_columnKeys.data();
    const int* columnSize = m_columnCounts.data();
#ifdef KVS_SLIDE_WIDE
    if (m_slide != SlideForm::Portable)
        SortColumnsEight(rows, width, n, columns, m_columnCounts.data());
    else
#endif
        SortColumns(rows, width, n, columns, m_columnCounts.data());

    // The middle ping's beams flagged here that were samples, a bit each.
    uint64_t* flagged = m_flaggedBits.data();
    std::fill(flagged, flagged + n / 64 + 2, uint64_t{0});
    // (The middle ping's arrays as locals: the stores into the flags could otherwise alias
    // the ping's pointers and counts, which the compiler would then read again each beam.)
    const float* const z = mid.z;
    unsigned int* const flags = mid.flags;
    int lastFlagged = -1; // the furthest beam flagged so far, as a quick test for none
    auto flag = [&](int t) {
        flags[t] |= kFlagStatistics;
        flagged[t >> 6] |= static_cast<uint64_t>(midKeys[t] != kNoKey) << (t & 63);
        lastFlagged = std::max(lastFlagged, t);
    };
    // The places in the sorted sample of beam j of the keys of its flagged beams.
    auto taken = [&](const int32_t* sample, int j) {
        const int lo = j - h;
        if (lastFlagged < lo) return uint64_t{0};
        const int word = lo >> 6, shift = lo & 63;
        uint64_t bits = flagged[word] >> shift | (flagged[word + 1] << 1) << (63 - shift);
        bits &= (uint64_t{1} << width) - 1;
        if (bits == 0) return uint64_t{0};
        return PlacesOf(sample, [&](auto take) {
            for (; bits != 0; bits &= bits - 1) take(midKeys[lo + __builtin_ctzll(bits)]);
        });
    };

    // For the wide slide: the places in the newest sample of the keys of each column in
    // it, by beam & 7 (the window spans at most 7 beams, and one more comes each step).
    uint64_t places[8] = {};

    // The kept samples form a ring: beam j's lies at j % kKeptSamples.
    static_assert(kKeptSamples == 4, "the ring is indexed by the low bits of the beam");
    auto place = [](int j) { return j & (kKeptSamples - 1); };
    // The median the fixed-ratio pass took from each kept sample, flags taken out.
    double medians[kKeptSamples] = {};

    // Flags beam j when its depth lies further than limit from med; the beams beyond the
    // first and the last judged one share their sample.
    auto judgeAround = [&](int j, double med, double limit) {
        auto judge = [&](int t) {
            if (std::fabs(z[t] - med) > limit) flag(t);
        };
        judge(j);
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    };

    auto stepA = [&](int j) {
        const int slot = place(j), prevSlot = place(j - 1);
        int32_t* keys = m_windowKeys[slot].data();
        if (j == h) {
            // Each key with its column (beam & 7) in three bits below it, sorted: the keys
            // in order and the places of every column, each with its padding to
            // kColumnKeys keys, which sorts after every depth.
            static_assert(kSlideMax == (2 * kMaxHalf + 1) * kColumnKeys);
            int64_t tagged[kSlideMax];
            int size = 0;
            for (int b = 0; b < width; ++b) {
                for (int k = 0; k < kColumnKeys; ++k) tagged[b * kColumnKeys + k] = int64_t{columns[b][k]} * 8 + (b & 7);
                size += columnSize[b];
            }
            const int count = width * kColumnKeys;
            std::sort(tagged, tagged + count);
            std::fill(std::begin(places), std::end(places), uint64_t{0});
            for (int i = 0; i < count; ++i) {
                keys[i] = static_cast<int32_t>(tagged[i] >> 3);
                places[tagged[i] & 7] |= uint64_t{1} << i;
            }
            std::fill(keys + count, keys + kSampleSlots, kNoKey);
            m_windowSize[slot] = size;
        } else {
            // The column of beam j-h-1 leaves, that of beam j+h comes.
            const int32_t* out = columns[j - h - 1].data();
            const int32_t* in = columns[j + h].data();
            const int nOut = columnSize[j - h - 1], nIn = columnSize[j + h];
            const int32_t* prev = m_windowKeys[prevSlot].data();
            const int prevSize = m_windowSize[prevSlot];
#ifdef KVS_SLIDE_WIDE
            if (m_slide != SlideForm::Portable) {
                const int leaving = (j - h - 1) & 7, entering = (j + h) & 7;
                if (m_slide == SlideForm::Wide)
                    SlideColumnsWide(prev, places, leaving, entering, in, keys);
                else
                    SlideColumnsEight(prev, places, leaving, entering, in, keys);
                m_windowSize[slot] = prevSize - nOut + nIn;
            } else
#endif
                m_windowSize[slot] = SlideKeys(prev, prevSize, out, nOut, in, nIn, keys, m_windowSize[slot]);
        }
        const uint64_t gone = taken(keys, j);
        const int size = m_windowSize[slot] - __builtin_popcountll(gone);
        if (size < 4) return;
        const double med = SampleQuantile(kMedianPos[size], keys, gone);
        medians[slot] = med;
        judgeAround(j, med, std::fabs(m_fixedRatio * med));
    };

    // The smoothed spread, held in a register over the beams.
    double spread = m_spread;
    auto stepB = [&](int j) {
        const int slot = place(j);
        const int32_t* keys = m_windowKeys[slot].data();
        const uint64_t gone = taken(keys, j);
        const int size = m_windowSize[slot] - __builtin_popcountll(gone);
        if (size < 4) return;
        // Without flagged beams in it, the sample is the one the fixed-ratio pass took.
        const double med = gone == 0 ? medians[slot] : SampleQuantile(kMedianPos[size], keys, gone);
        const double q1 = SampleQuantile(kLowerPos[size], keys, gone);
        const double q3 = SampleQuantile(kUpperPos[size], keys, gone);
        spread = 0.9 * spread + 0.1 * std::fabs(q3 - q1);
        judgeAround(j, med, quantScale * std::max(spread, kMinSpread));
    };

    for (int j = h; j < n; ++j) {
        if (j < n - h) stepA(j);
        if (j - h >= h) stepB(j - h);
    }
    m_spread = spread;
}

double StatisticsWindow::Quantile(double p, std::vector<double>& v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return SortedQuantile(p, static_cast<int>(v.size()), [&](int i) { return v[i]; });
}

} // namespace kvs::multibeam::detail
