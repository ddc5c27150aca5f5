// SlideKeys: one step of the statistical filter's sorted sample along the beams. The
// sorted keys of the window's pings lose the sorted keys of the column that leaves and
// gain those of the column that comes in. Three forms give the same keys: a portable one
// that finds the leaving keys by their ranks and moves each key to its place, and two that
// are told the places of the leaving keys (the caller follows where each column's keys
// lie, MovePlaces) and move the keys in vectors, 8 at a time with AVX2 (SlideKeysEight)
// or 16 at a time with AVX-512 (SlideKeysWide). Internal to the multibeam filter.
#pragma once

#include <KvsDataBlocks/filters/multibeam/detail/DepthKey.h>

#include <algorithm>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KVS_SLIDE_WIDE 1
#endif

namespace kvs::multibeam::detail {

// A sample holds at most 7 pings by 7 beams, in 64 places padded with kNoKey; a column
// at most 7 keys (one a ping), in 8 places padded with kNoKey.
inline constexpr int kSlideMax = 49;
inline constexpr int kSlidePlaces = 64;
// The placed slides move the first 7 places of every column, its kNoKey padding counted
// as keys: every step then moves as many keys, with no branch on how many the column
// holds (where beams are rejected here and there, that count changes at random). The
// padding sorts above every depth, so the sample's depths keep their places.
inline constexpr int kColumnKeys = 7;

// The number of keys below key among the first 52 of a sample padded with kNoKey (kept
// in any order): one comparison per key, four at a time.
inline int KeysBelow(const int32_t* keys, int32_t key)
{
    static_assert(kSlideMax <= 52 && kSlidePlaces >= 52);
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(key);
    __m128i below = _mm_setzero_si128();
    for (int i = 0; i < 52; i += 4)
        below = _mm_sub_epi32(below, _mm_cmplt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i)), k));
    below = _mm_add_epi32(below, _mm_shuffle_epi32(below, _MM_SHUFFLE(1, 0, 3, 2)));
    below = _mm_add_epi32(below, _mm_shuffle_epi32(below, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(below);
#else
    int below = 0;
    for (int i = 0; i < 52; ++i) below += static_cast<int>(keys[i] < key);
    return below;
#endif
}

// Builds in dst (kSlidePlaces keys, kNoKey from the new size on) the sorted prev[0..size)
// without the sorted out[0..nOut), which it holds, and with the sorted in[0..nIn); returns
// the new size. dst held dstSize keys before (kNoKey beyond), so that only those places
// need padding. A leaving key is found by its rank, the next one of equal keys by the
// next place; each kept key goes straight to its place, counting the new keys below it,
// and a new key goes below the kept keys equal to it, which changes no quantile.
inline int SlideKeys(const int32_t* prev, int size, const int32_t* out, int nOut, const int32_t* in, int nIn,
                     int32_t* dst, int dstSize)
{
    uint64_t leaves = 0;
    for (int r = 0, equal = 0; r < nOut; ++r) {
        equal = r > 0 && out[r] == out[r - 1] ? equal + 1 : 0;
        leaves |= uint64_t{1} << (KeysBelow(prev, out[r]) + equal);
    }
    int inAt[8] = {};
    unsigned char newBelow[kSlideMax + 8] = {};
    for (int r = 0; r < nIn; ++r) {
        inAt[r] = KeysBelow(prev, in[r]);
        ++newBelow[inAt[r]];
    }
    int keptBelow[kSlideMax + 8];
    int kept = 0;
    int added = 0;
#pragma GCC unroll 4
    for (int i = 0; i < size; ++i) {
        added += newBelow[i];
        keptBelow[i] = kept;
        dst[kept + added] = prev[i];
        kept += static_cast<int>(((leaves >> i) & 1) == 0);
    }
    keptBelow[size] = kept;
    for (int r = 0; r < nIn; ++r) dst[keptBelow[inAt[r]] + r] = in[r];
    const int newSize = kept + nIn;
    // Beyond the new size: padding up to where dst held keys before, and where a leaving
    // last key may have been written.
    for (int i = newSize; i < std::max(dstSize, newSize + 1); ++i) dst[i] = kNoKey;
    return newSize;
}

#ifdef KVS_SLIDE_WIDE
// Bit i set where key i of the 64 in p[0..4) lies below key.
[[gnu::target("avx512f")]] inline uint64_t KeysBelowMask(const __m512i* p, int32_t key)
{
    const __m512i k = _mm512_set1_epi32(key);
    return static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p[0], k)) |
           static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p[1], k)) << 16 |
           static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p[2], k)) << 32 |
           static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p[3], k)) << 48;
}

// The lane numbers plus offset: the indices of a permutation reading from lane offset on.
[[gnu::target("avx512f")]] inline __m512i LanesFrom(__m512i lanes, int offset)
{
    return _mm512_add_epi32(lanes, _mm512_set1_epi32(offset));
}

// x holds nx keys (1 <= nx <= 16), y keys from lane 0 on: lo gets the nx of x and then
// the first of y, hi the rest of y and then the lanes of tail.
[[gnu::target("avx512f")]] inline void JoinLanes(__m512i x, int nx, __m512i y, __m512i tail, __m512i lanes,
                                                 __m512i& lo, __m512i& hi)
{
    lo = _mm512_mask_expand_epi32(x, static_cast<__mmask16>(0xFFFF << nx), y);
    hi = _mm512_permutex2var_epi32(y, LanesFrom(lanes, 16 - nx), tail);
}

// SlideKeys by 16 keys at a time, given the places of prev that the leaving keys hold
// (leaves, one bit a key): writes all kSlidePlaces places of dst and returns the places
// there of the new keys. prev is padded with kNoKey to kSlidePlaces, in to 8 places.
[[gnu::target("avx512f,popcnt"), gnu::always_inline]] inline uint64_t
SlideKeysWide(const int32_t* prev, uint64_t leaves, const int32_t* in, int nIn, int32_t* dst)
{
    static_assert(kSlidePlaces == 64);
    const __m512i p[4] = {_mm512_loadu_si512(prev), _mm512_loadu_si512(prev + 16), _mm512_loadu_si512(prev + 32),
                          _mm512_loadu_si512(prev + 48)};
    // A new key's place: the kept keys below it (those below it less the leaving ones)
    // and the new keys before it.
    uint64_t news = 0;
    for (int r = 0; r < nIn; ++r)
        news |= uint64_t{1} << (__builtin_popcountll(KeysBelowMask(p, in[r]) & ~leaves) + r);

    // The kept keys one after the other, then kNoKey: each 16 compressed (lanes beyond
    // their kept keys hold kNoKey), at least 9 of each 16 being kept, then joined in
    // registers two by two, and the two pairs joined likewise.
    const __m512i none = _mm512_set1_epi32(kNoKey);
    const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    __m512i c[4];
    int count[4];
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<__mmask16>(~leaves >> (16 * i));
        c[i] = _mm512_mask_compress_epi32(none, k, p[i]);
        count[i] = __builtin_popcount(k);
    }
    __m512i a0, a1, b0, b1;
    JoinLanes(c[0], count[0], c[1], none, lanes, a0, a1);
    JoinLanes(c[2], count[2], c[3], none, lanes, b0, b1);
    const int inA1 = count[0] + count[1] - 16;
    __m512i kept[4];
    kept[0] = a0;
    JoinLanes(a1, inA1, b0, b1, lanes, kept[1], kept[2]);
    kept[3] = _mm512_permutex2var_epi32(b1, LanesFrom(lanes, 16 - inA1), none);

    int newBefore = 0;
    for (int i = 0; i < 4; ++i) {
        const auto n = static_cast<__mmask16>(news >> (16 * i));
        // The kept keys from the first not yet placed: newBefore lanes back.
        const __m512i next =
            i == 0 ? kept[0] : _mm512_permutex2var_epi32(kept[i - 1], LanesFrom(lanes, 16 - newBefore), kept[i]);
        const __m512i fromKept = _mm512_maskz_expand_epi32(static_cast<__mmask16>(~n), next);
        // The new keys from the first not yet placed, read within the 8 places of in.
        const __m512i fromIn = _mm512_maskz_loadu_epi32(static_cast<__mmask16>(0xFF >> newBefore), in + newBefore);
        _mm512_storeu_si512(dst + 16 * i, _mm512_mask_expand_epi32(fromKept, n, fromIn));
        newBefore += __builtin_popcount(n);
    }
    return news;
}

// The places that groups of keys hold after SlideKeysWide moved the keys: the kept ones
// close up over the leaving places, then open around the new ones, in order.
[[gnu::target("bmi2")]] inline void MovePlaces(uint64_t* places, int count, uint64_t leaves, uint64_t news)
{
    for (int i = 0; i < count; ++i) places[i] = _pdep_u64(_pext_u64(places[i], ~leaves), ~news);
}
#endif

#ifdef KVS_SLIDE_WIDE
// Lane indices by 8-bit mask for the 8-lane permutes of SlideKeysEight: compress gathers
// the lanes of the mask's set bits to the front, in order; expand gives each set lane the
// item counted by the set bits below it. Lanes that take nothing read lane 0.
struct EightLanes
{
    unsigned char compress[256][8];
    unsigned char expand[256][8];
};

constexpr EightLanes MakeEightLanes()
{
    EightLanes t{};
    for (int m = 0; m < 256; ++m) {
        int set = 0;
        for (int l = 0; l < 8; ++l) {
            t.expand[m][l] = (m >> l) & 1 ? static_cast<unsigned char>(set) : 0;
            if ((m >> l) & 1) t.compress[m][set] = static_cast<unsigned char>(l);
            set += (m >> l) & 1;
        }
    }
    return t;
}

inline constexpr EightLanes kEightLanes = MakeEightLanes();

[[gnu::target("avx2")]] inline __m256i EightLaneIndices(const unsigned char* row)
{
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
}

// The number of the 8 keys of v below key.
[[gnu::target("avx2,popcnt")]] inline int EightBelow(__m256i v, __m256i key)
{
    return __builtin_popcount(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(key, v))));
}

// SlideKeysWide by 8 keys at a time with AVX2: writes places 0 .. 55 of dst and returns
// the places there of the new keys. prev is padded with kNoKey to kSlidePlaces, in to 8
// places; places 56 .. 63 of dst hold kNoKey already (a sample has at most kSlideMax keys)
// and are left alone.
[[gnu::target("avx2,bmi,bmi2,popcnt"), gnu::always_inline]] inline uint64_t
SlideKeysEight(const int32_t* prev, uint64_t leaves, const int32_t* in, int nIn, int32_t* dst)
{
    static_assert(kSlidePlaces == 64 && kSlideMax <= 56);
    // (The 8s are named one by one: GCC turns a loop filling an array of them into a
    // copy through memory, which costs more than the whole step.)
    const auto* p = reinterpret_cast<const __m256i*>(prev);
    const __m256i v0 = _mm256_loadu_si256(p), v1 = _mm256_loadu_si256(p + 1), v2 = _mm256_loadu_si256(p + 2),
                  v3 = _mm256_loadu_si256(p + 3), v4 = _mm256_loadu_si256(p + 4), v5 = _mm256_loadu_si256(p + 5),
                  v6 = _mm256_loadu_si256(p + 6);
    const __m256i none = _mm256_set1_epi32(kNoKey); // the last 8 of prev

    // A new key's place: the kept keys below it and the new keys before it. The keys of
    // prev below it are the 8s whose last (largest) key lies below it, found at once
    // against the last keys of all 8s, and those below it in the next 8.
    const __m256i last = _mm256_permute2x128_si256(
        _mm256_unpackhi_epi64(_mm256_unpackhi_epi32(v0, v1), _mm256_unpackhi_epi32(v2, v3)),
        _mm256_unpackhi_epi64(_mm256_unpackhi_epi32(v4, v5), _mm256_unpackhi_epi32(v6, none)), 0x31);
    uint64_t news = 0;
    int at[8];
    for (int r = 0; r < nIn; ++r) {
        const __m256i key = _mm256_set1_epi32(in[r]);
        const int whole = EightBelow(last, key); // at most 7: the last 8 of prev are kNoKey
        const int prevBelow = 8 * whole + EightBelow(_mm256_loadu_si256(p + whole), key);
        at[r] = __builtin_popcountll(_bzhi_u64(~leaves, static_cast<unsigned int>(prevBelow))) + r;
        news |= uint64_t{1} << at[r];
    }

    // The kept keys one after the other, then kNoKey: each 8 compressed and stored where
    // the last ones ended (the lanes beyond their kept keys are written over by the next
    // store), and 8 kNoKey after them.
    alignas(32) int32_t kept[kSlidePlaces];
    int count = 0;
    for (const __m256i& v : {v0, v1, v2, v3, v4, v5, v6}) {
        const unsigned int keep = static_cast<unsigned char>(~leaves);
        leaves >>= 8;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept + count),
                            _mm256_permutevar8x32_epi32(v, EightLaneIndices(kEightLanes.compress[keep])));
        count += __builtin_popcount(keep);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept + count), none);

    // Each 8 places of dst: the kept keys from the first not yet placed, spread over the
    // places no new key takes; then each new key into its place.
    int newBefore = 0;
    for (int i = 0; i < 7; ++i) {
        const unsigned int n = static_cast<unsigned char>(news >> (8 * i));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(dst + 8 * i),
            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(kept + 8 * i - newBefore)),
                                        EightLaneIndices(kEightLanes.expand[~n & 0xFF])));
        newBefore += __builtin_popcount(n);
    }
    for (int r = 0; r < nIn; ++r) dst[at[r]] = in[r];
    return news;
}

// One step of a placed slide, following the places of every column (8 of them, by beam &
// 7): the column whose keys lie at places[leaving] leaves, in (kColumnKeys keys, padding
// included) comes as column entering. A function of its own per form, so that the moves
// of the places are inlined with it.
[[gnu::target("avx2,bmi,bmi2,popcnt")]] inline void SlideColumnsEight(const int32_t* prev, uint64_t* places,
                                                                        int leaving, int entering,
                                                                        const int32_t* in, int32_t* dst)
{
    const uint64_t leaves = places[leaving];
    const uint64_t news = SlideKeysEight(prev, leaves, in, kColumnKeys, dst);
    MovePlaces(places, 8, leaves, news);
    places[entering] = news;
}

[[gnu::target("avx512f,bmi2,popcnt")]] inline void SlideColumnsWide(const int32_t* prev, uint64_t* places,
                                                                     int leaving, int entering, const int32_t* in,
                                                                     int32_t* dst)
{
    const uint64_t leaves = places[leaving];
    const uint64_t news = SlideKeysWide(prev, leaves, in, kColumnKeys, dst);
    MovePlaces(places, 8, leaves, news);
    places[entering] = news;
}
#endif

// The forms of the slide, and whether this processor takes each.
enum class SlideForm { Portable, Eight, Wide };

inline bool SlideAvailable(SlideForm form)
{
#ifdef KVS_SLIDE_WIDE
    // The placed forms follow the columns' places with pdep and pext (BMI2).
    if (form == SlideForm::Eight)
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi2");
    if (form == SlideForm::Wide) return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("bmi2");
#endif
    return form == SlideForm::Portable;
}

// The fastest form this processor takes.
inline SlideForm BestSlide()
{
    for (SlideForm form : {SlideForm::Wide, SlideForm::Eight})
        if (SlideAvailable(form)) return form;
    return SlideForm::Portable;
}

} // namespace kvs::multibeam::detail
