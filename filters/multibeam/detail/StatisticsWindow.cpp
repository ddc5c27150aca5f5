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


// The keys at sorted positions r - 1 and r (the latter kNoKey when there is none) of the
// union of the sorted a[0..na) and b[0..nb) (na < 64, nb <= 7, padded with kNoKey to 64
// and 8 keys), 1 <= r <= na + nb: how many of the r smallest come from b, found by a
// binary search of three fixed steps.
[[gnu::always_inline]] inline void UnionPair(const int32_t* a, int na, const int32_t* b, int nb, int r, int32_t& at,
                                             int32_t& next)
{
    const int lo = std::max(0, r - na);
    const int hi = std::min(nb, r);
    // 1 for t in lo .. i-1, 0 from i on, where i is the count from b; the loads stay
    // within both arrays whatever t is.
    auto more = [&](int t) {
        const int32_t bt = b[std::min(t, 7)];
        const int32_t ar = a[std::max(r - t - 1, 0)];
        return static_cast<int>(t < hi) & static_cast<int>(bt < ar);
    };
    int pos = lo;
    pos += more(pos + 3) << 2;
    pos += more(pos + 1) << 1;
    pos += more(pos);
    const int fromA = r - pos;
    const int32_t fromB = b[std::max(pos - 1, 0)];
    const int32_t lastA = a[std::max(fromA - 1, 0)];
    at = std::max(pos > 0 ? fromB : INT32_MIN, fromA > 0 ? lastA : INT32_MIN);
    // Both arrays are padded with kNoKey beyond their sizes.
    next = std::min(b[pos], a[fromA]);
}

// Where the quantile rule of StatisticsWindow::Quantile reads a sorted sample of a given
// size: the 1-based position r of the item taken, and whether it interpolates towards the
// next one with fraction f. Computed by the rule itself, so the values are the same.
struct QuantilePos
{
    int r = 1;
    bool interpolate = false;
    double f = 0.0;
};

constexpr QuantilePos PositionOf(double p, int size)
{
    const int m = size - 1;
    const double pos = m * p;
    const int k = static_cast<int>(pos);
    const double f = pos - k;
    if (k <= 0) return {1, false, 0.0};
    if (k >= m - 1) return {m, false, 0.0};
    return {k + 1, true, f};
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

// The quantile at q of the union of two sorted key arrays as UnionPair takes them (at
// least 2 keys, fewer than 64).
[[gnu::always_inline]] inline double UnionQuantile(const QuantilePos& q, const int32_t* a, int na, const int32_t* b,
                                                   int nb)
{
    int32_t at = 0;
    int32_t next = 0;
    UnionPair(a, na, b, nb, q.r, at, next);
    const double v = KeyDepth(at);
    return q.interpolate ? v + (KeyDepth(next) - v) * q.f : v;
}

// The sorted columns of beams 0 .. n-1 of up to 6 rows of keys (kMaxBeams each, kNoKey
// beyond their beams): column b of 8 places, kNoKey after its keys, and its count of keys.
// Four beams at a time through SortSix on vectors of four, then turned into columns by
// shuffles; rows beyond rowCount count as kNoKey.
void SortColumns(const int32_t* const* rows, int rowCount, int n, std::array<int32_t, 8>* columns,
                 int* counts)
{
    static_assert(kMaxBeams % 4 == 0, "rows and columns hold whole fours");
    using Four = int32_t __attribute__((vector_size(16)));
    const Four none = {kNoKey, kNoKey, kNoKey, kNoKey};
    for (int b = 0; b < n; b += 4) {
        Four v[6];
        for (int k = 0; k < 6; ++k) {
            v[k] = none;
            if (k < rowCount) std::memcpy(&v[k], rows[k] + b, sizeof v[k]);
        }
        SortSix(v);
        Four count = {0, 0, 0, 0};
        for (int k = 0; k < 6; ++k) count -= v[k] != none;
        // Ranks 0 and 1, 2 and 3, 4 and 5 interleaved, low beams (t0, t2, u0) and high.
        const Four t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 1, 5);
        const Four t1 = __builtin_shufflevector(v[0], v[1], 2, 6, 3, 7);
        const Four t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 1, 5);
        const Four t3 = __builtin_shufflevector(v[2], v[3], 2, 6, 3, 7);
        const Four u0 = __builtin_shufflevector(v[4], v[5], 0, 4, 1, 5);
        const Four u1 = __builtin_shufflevector(v[4], v[5], 2, 6, 3, 7);
        // Beam by beam: ranks 0 .. 3, then 4, 5 and two of kNoKey.
        const Four out[8] = {__builtin_shufflevector(t0, t2, 0, 1, 4, 5), __builtin_shufflevector(u0, none, 0, 1, 4, 5),
                             __builtin_shufflevector(t0, t2, 2, 3, 6, 7), __builtin_shufflevector(u0, none, 2, 3, 4, 5),
                             __builtin_shufflevector(t1, t3, 0, 1, 4, 5), __builtin_shufflevector(u1, none, 0, 1, 4, 5),
                             __builtin_shufflevector(t1, t3, 2, 3, 6, 7), __builtin_shufflevector(u1, none, 2, 3, 4, 5)};
        std::memcpy(columns + b, out, sizeof out);
        std::memcpy(counts + b, &count, sizeof count);
    }
}

} // namespace

StatisticsWindow::StatisticsWindow()
    : m_wideSlide(SlideWideAvailable())
{
    for (PingStruct& slot : m_slots) slot.Init();
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
    m_spread = 4.0;
    m_writePos = 0;
    m_fill = 0;
    m_allocated = true;
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
    // break the run. A reversal starts the window afresh, dropping the pings it held.
    if (m_fill > 1) {
        const double t1 = m_slots[BufIndex(m_writePos - 1, slots)].time;
        const double t2 = m_slots[BufIndex(m_writePos - 2, slots)].time;
        const bool upwards = t2 < t1;
        if ((upwards && ping.time < t1) || (!upwards && ping.time > t1)) {
            // The ping read into the slot at the write position moves to the first slot.
            if (readSlot == m_writePos && m_writePos != 0) {
                m_slots[0].Swap(m_slots[m_writePos]);
                m_keyStale[0] = m_keyStale[m_writePos] = true;
                readSlot = 0;
            }
            m_spread = 4.0;
            m_writePos = 0;
            m_fill = 0;
        }
    }
    if (readSlot == m_writePos)
        static_cast<PingValues&>(m_slots[m_writePos]) = ping; // the arrays are there already
    else
        m_slots[m_writePos] = ping;
    m_keyStale[m_writePos] = true;
    m_storedSlot = m_writePos;
    m_writePos = (m_writePos + 1) % slots;
    ++m_fill;
    if (m_fill < h + 1) return false;

    const int middle = BufIndex(m_writePos - h - 1, slots);
    if (m_fill >= w + h) {
        Running(middle, quantScale);
        m_slots[middle].pingFlags |= kFlagStatistics;
    } else if (m_fill >= w) {
        Pass(middle, h, false, quantScale);
        // While the window is young the spread pass looks at fewer later pings.
        const int lastOffset = m_fill > w ? m_fill - w : 0;
        Pass(middle, lastOffset, true, quantScale);
        m_slots[middle].pingFlags |= kFlagStatistics;
    }
    ping.ShalowCopy(m_slots[middle]);
    m_middleSlot = middle;
    // The rest of the chain flags the middle ping further: its keys are to be renewed.
    m_keyStale[middle] = true;
    return true;
}

// One pass over the beams h .. N-h-1 of the middle slot. The sample of beam j is every
// z[b] of the slots at ping offsets -h .. lastOffset for b = j-h .. j+h, where b lies
// within that slot's beams, its flag word is below 0x8000 and z is a number. Instead of
// gathering and sorting each sample anew, the sorted sample slides along the beams: a
// step takes out the column of beam j-h-1 and puts in that of beam j+h, and a beam
// flagged here is taken out at once, so that every test sees exactly the sample the
// flags of that moment give. The quantiles depend only on the values, not on how they
// were sorted.
void StatisticsWindow::Pass(int middle, int lastOffset, bool spreadPass, double quantScale)
{
    const int h = m_size / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_slots[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;

    const PingStruct* pings[7];
    int pingCount = 0;
    for (int p = -h; p <= lastOffset; ++p) pings[pingCount++] = &m_slots[BufIndex(middle + p, slots)];

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
            limit = std::fabs(kFixedRatio * med);
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
    for (int b = 0; b < n; ++b)
        row[b] = q.flags[b] < kFlagStatistics && std::isfinite(q.z[b]) ? DepthKey(q.z[b]) : kNoKey;
    if (m_keyExtent[slot] > n) std::fill(row + n, row + m_keyExtent[slot], kNoKey);
    m_keyExtent[slot] = n;
    m_keyStale[slot] = false;
    return row;
}

// Both passes over a full window (the spread pass sees every ping of it), giving exactly
// what Pass gives for the fixed-ratio pass followed by the spread pass. A sample is
// the union of two sorted parts: the depths of the pings around the middle one, which no
// pass changes, and the few depths of the middle ping itself, which each pass flags its
// own way. The first part slides along the beams once for both passes: a step takes out
// the sorted column of beam j-h-1 and puts in that of beam j+h, and the sample of each
// beam is kept for the spread pass, which trails h beams behind. So it sees every flag
// the fixed-ratio pass sets on its beams, while the fixed-ratio pass, ahead of it, never
// meets a beam the spread pass has flagged. Quantiles of the union come from a binary
// search over the middle part.
void StatisticsWindow::Running(int middle, double quantScale)
{
    static_assert(kLowerQuantile == 0.25 && kUpperQuantile == 0.75, "the quantile positions are tabled for these");
    const int h = m_size / 2;
    const int slots = m_slotCount;
    PingStruct& mid = m_slots[middle];
    const int n = mid.beamCount;
    if (n < 2 * h + 1) return;
    const int width = 2 * h + 1;
    const int kept = h + 1; // samples kept for the trailing pass

    // A buffer of kept samples holds kNoKey only from its size on once it was built in
    // this call: until then the whole of it counts as held.
    m_aroundSize.fill(kSampleSlots);
    const int32_t* around[8] = {};
    int aroundCount = 0;
    for (int p = -h; p <= h; ++p)
        if (p != 0) around[aroundCount++] = KeyRow(BufIndex(middle + p, slots));
    // The middle ping's keys, set to kNoKey as its beams are flagged.
    int32_t* midKeys = m_keyRows.data() + static_cast<size_t>(middle) * kMaxBeams;
    KeyRow(middle);

    // The sorted columns of the pings around the middle one, for every beam (and up to
    // the next four).
    std::array<int32_t, 8>* columns = m_columnKeys.data();
    const int* columnSize = m_columnCounts.data();
    SortColumns(around, aroundCount, n, columns, m_columnCounts.data());
    // Each pass keeps the middle ping's keys of the beam window by ring place (kNoKey
    // where there is no sample) and, beside them, the same keys sorted: a step takes out
    // one key and puts in one, a flag takes out one, each by comparisons and selects over
    // the 8 places rather than by a sort.
    struct Own
    {
        using Four = int32_t __attribute__((vector_size(16)));
        int32_t* ring;
        Four lo, hi; // the keys in ascending order, kNoKey after them
        int size;
        int32_t run[8];

        void Store()
        {
            std::memcpy(run, &lo, sizeof lo);
            std::memcpy(run + 4, &hi, sizeof hi);
        }
        // Keys below key stay, the rest move down one place (key is held). Neither takes
        // a branch on the key: kNoKey leaves the keys as they are.
        void Take(int32_t key)
        {
            const Four pad = {kNoKey, kNoKey, kNoKey, kNoKey};
            const Four downLo = __builtin_shufflevector(lo, hi, 1, 2, 3, 4);
            const Four downHi = __builtin_shufflevector(hi, pad, 1, 2, 3, 4);
            lo = lo < key ? lo : downLo;
            hi = hi < key ? hi : downHi;
            size -= static_cast<int>(key != kNoKey);
        }
        // Keys below key stay, the place after them takes key and the rest move up one.
        void Put(int32_t key)
        {
            const Four k = {key, key, key, key};
            Four upLo = __builtin_shufflevector(k, lo, 0, 4, 5, 6);
            Four upHi = __builtin_shufflevector(lo, hi, 3, 4, 5, 6);
            upLo = upLo > k ? upLo : k;
            upHi = upHi > k ? upHi : k;
            lo = lo < k ? lo : upLo;
            hi = hi < k ? hi : upHi;
            size += static_cast<int>(key != kNoKey);
        }
    };
    Own ownA{m_middleKeys[0].data(), {}, {}, 0, {}};
    Own ownB{m_middleKeys[1].data(), {}, {}, 0, {}};
    auto start = [&](Own& own) {
        own.lo = own.hi = Own::Four{kNoKey, kNoKey, kNoKey, kNoKey};
        own.size = 0;
        for (int b = 0; b < width; ++b) {
            own.ring[b] = midKeys[b];
            own.Put(midKeys[b]);
        }
        own.Store();
    };
    auto slide = [&](Own& own, int b) { // beam b takes the ring place of beam b - width
        int32_t& place = own.ring[b % width];
        own.Take(place);
        place = midKeys[b];
        own.Put(place);
        own.Store();
    };
    // The flagged beam leaves the middle ping's samples from the next beam on (only the
    // median already taken serves the beams judged after it in this step).
    auto flag = [&](int t, Own& own) {
        mid.flags[t] |= kFlagStatistics;
        midKeys[t] = kNoKey;
        int32_t& place = own.ring[t % width];
        own.Take(place);
        own.Store();
        place = kNoKey;
    };

    auto stepA = [&](int j) {
        int32_t* keys = m_aroundKeys[j % kept].data();
        if (j == h) {
            int count = 0;
            for (int b = 0; b < width; ++b)
                for (int k = 0; k < columnSize[b]; ++k) keys[count++] = columns[b][k];
            std::sort(keys, keys + count);
            std::fill(keys + count, keys + kSampleSlots, kNoKey);
            m_aroundSize[j % kept] = count;
            start(ownA);
        } else {
            // The column of beam j-h-1 leaves, that of beam j+h comes.
            const int32_t* out = columns[j - h - 1].data();
            const int32_t* in = columns[j + h].data();
            const int nOut = columnSize[j - h - 1], nIn = columnSize[j + h];
            const int32_t* prev = m_aroundKeys[(j - 1) % kept].data();
            const int prevSize = m_aroundSize[(j - 1) % kept];
            m_aroundSize[j % kept] = m_wideSlide ? SlideKeysWide(prev, prevSize, out, nOut, in, nIn, keys)
                                                 : SlideKeys(prev, prevSize, out, nOut, in, nIn, keys,
                                                             m_aroundSize[j % kept]);
            slide(ownA, j + h);
        }
        const int na = m_aroundSize[j % kept];
        if (na + ownA.size < 4) return;
        const double med = UnionQuantile(kMedianPos[na + ownA.size], keys, na, ownA.run, ownA.size);
        const double limit = std::fabs(kFixedRatio * med);
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t, ownA);
        };
        judge(j);
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    };

    auto stepB = [&](int j) {
        if (j == h)
            start(ownB);
        else
            slide(ownB, j + h);
        const int32_t* keys = m_aroundKeys[j % kept].data();
        const int na = m_aroundSize[j % kept];
        if (na + ownB.size < 4) return;
        const int size = na + ownB.size;
        const double med = UnionQuantile(kMedianPos[size], keys, na, ownB.run, ownB.size);
        const double q1 = UnionQuantile(kLowerPos[size], keys, na, ownB.run, ownB.size);
        const double q3 = UnionQuantile(kUpperPos[size], keys, na, ownB.run, ownB.size);
        m_spread = 0.9 * m_spread + 0.1 * std::fabs(q3 - q1);
        const double limit = quantScale * std::max(m_spread, kMinSpread);
        auto judge = [&](int t) {
            if (std::fabs(mid.z[t] - med) > limit) flag(t, ownB);
        };
        judge(j);
        if (j == h)
            for (int t = h - 1; t >= 0; --t) judge(t);
        if (j == n - 1 - h)
            for (int t = j + 1; t < n; ++t) judge(t);
    };

    for (int j = h; j < n; ++j) {
        if (j < n - h) stepA(j);
        if (j - h >= h) stepB(j - h);
    }
}

double StatisticsWindow::Quantile(double p, std::vector<double>& v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return SortedQuantile(p, static_cast<int>(v.size()), [&](int i) { return v[i]; });
}

} // namespace kvs::multibeam::detail
