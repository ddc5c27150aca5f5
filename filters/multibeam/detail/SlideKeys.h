// SlideKeys: one step of the statistical filter's sorted sample along the beams. The
// sorted keys of the pings around the middle one lose the sorted keys of the column that
// leaves and gain those of the column that comes in. Two forms give the same keys: a
// portable one that moves each key to its place, and one for processors with AVX-512
// that moves 16 keys at a time by compress and expand. Internal to the multibeam filter.
#pragma once

#include <KvsDataBlocks/filters/multibeam/detail/DepthKey.h>

#include <algorithm>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KVS_SLIDE_WIDE 1
#endif

namespace kvs::multibeam::detail {

// A sample holds at most 6 pings by 7 beams, in 48 places padded with kNoKey; a column
// at most 6 keys (one a ping), in 8 places padded with kNoKey.
inline constexpr int kSlideMax = 42;
inline constexpr int kSlidePlaces = 48;

// The number of keys below key among the first 44 of a sample padded with kNoKey (kept
// in any order): one comparison per key, four at a time.
inline int KeysBelow(const int32_t* keys, int32_t key)
{
    static_assert(kSlideMax <= 44);
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(key);
    __m128i below = _mm_setzero_si128();
    for (int i = 0; i < 44; i += 4)
        below = _mm_sub_epi32(below, _mm_cmplt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i)), k));
    below = _mm_add_epi32(below, _mm_shuffle_epi32(below, _MM_SHUFFLE(1, 0, 3, 2)));
    below = _mm_add_epi32(below, _mm_shuffle_epi32(below, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(below);
#else
    int below = 0;
    for (int i = 0; i < 44; ++i) below += static_cast<int>(keys[i] < key);
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
// Bit i set where key i of the 48 in p0, p1, p2 lies below key.
[[gnu::target("avx512f")]] inline uint64_t KeysBelowMask(__m512i p0, __m512i p1, __m512i p2, int32_t key)
{
    const __m512i k = _mm512_set1_epi32(key);
    return static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p0, k)) |
           static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p1, k)) << 16 |
           static_cast<uint64_t>(_mm512_cmplt_epi32_mask(p2, k)) << 32;
}

// The lane numbers plus offset: the indices of a permutation reading from lane offset on.
[[gnu::target("avx512f")]] inline __m512i LanesFrom(__m512i lanes, int offset)
{
    return _mm512_add_epi32(lanes, _mm512_set1_epi32(offset));
}

// SlideKeys by 16 keys at a time; writes all kSlidePlaces places of dst. prev is padded
// with kNoKey to kSlidePlaces, out and in to 8 places.
[[gnu::target("avx512f,popcnt")]] inline int SlideKeysWide(const int32_t* prev, int size, const int32_t* out,
                                                              int nOut, const int32_t* in, int nIn, int32_t* dst)
{
    const __m512i p0 = _mm512_loadu_si512(prev);
    const __m512i p1 = _mm512_loadu_si512(prev + 16);
    const __m512i p2 = _mm512_loadu_si512(prev + 32);
    uint64_t leaves = 0;
    for (int r = 0, equal = 0; r < nOut; ++r) {
        equal = r > 0 && out[r] == out[r - 1] ? equal + 1 : 0;
        leaves |= uint64_t{1} << (__builtin_popcountll(KeysBelowMask(p0, p1, p2, out[r])) + equal);
    }
    // A new key's place: the kept keys below it (those below it less the leaving ones)
    // and the new keys before it.
    uint64_t news = 0;
    for (int r = 0; r < nIn; ++r)
        news |= uint64_t{1} << (__builtin_popcountll(KeysBelowMask(p0, p1, p2, in[r]) & ~leaves) + r);

    // The kept keys one after the other, then kNoKey: each 16 compressed (lanes beyond
    // their kept keys hold kNoKey), at least 10 of each 16 being kept, then joined in
    // registers: an expand appends the next 16 after the kept ones, a permutation of two
    // registers reads 16 lanes from any offset into them.
    const __m512i none = _mm512_set1_epi32(kNoKey);
    const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __mmask16 k0 = static_cast<__mmask16>(~leaves), k1 = static_cast<__mmask16>(~leaves >> 16),
                    k2 = static_cast<__mmask16>(~leaves >> 32);
    const int n0 = __builtin_popcount(k0), n1 = __builtin_popcount(k1);
    const __m512i c0 = _mm512_mask_compress_epi32(none, k0, p0);
    const __m512i c1 = _mm512_mask_compress_epi32(none, k1, p1);
    const __m512i c2 = _mm512_mask_compress_epi32(none, k2, p2);
    // Lanes 0 .. 15 and 16 .. 31 of c1 then c2.
    const __m512i c12 = _mm512_mask_expand_epi32(c1, static_cast<__mmask16>(0xFFFF << n1), c2);
    const __m512i c12Next = _mm512_permutex2var_epi32(c2, LanesFrom(lanes, 16 - n1), none);
    const __m512i kept[3] = {_mm512_mask_expand_epi32(c0, static_cast<__mmask16>(0xFFFF << n0), c1),
                             _mm512_permutex2var_epi32(c12, LanesFrom(lanes, 16 - n0), c12Next),
                             _mm512_permutex2var_epi32(c12Next, LanesFrom(lanes, 16 - n0), none)};

    int newBefore = 0;
    for (int c = 0; c < kSlidePlaces / 16; ++c) {
        const __mmask16 n = static_cast<__mmask16>(news >> (16 * c));
        // The kept keys from the first not yet placed: newBefore lanes back.
        const __m512i next =
            c == 0 ? kept[0] : _mm512_permutex2var_epi32(kept[c - 1], LanesFrom(lanes, 16 - newBefore), kept[c]);
        const __m512i fromKept = _mm512_maskz_expand_epi32(static_cast<__mmask16>(~n), next);
        // The new keys from the first not yet placed, read within the 8 places of in.
        const __m512i fromIn = _mm512_maskz_loadu_epi32(static_cast<__mmask16>(0xFF >> newBefore), in + newBefore);
        _mm512_storeu_si512(dst + 16 * c, _mm512_mask_expand_epi32(fromKept, n, fromIn));
        newBefore += __builtin_popcount(n);
    }
    return size - nOut + nIn;
}
#endif

// Whether this processor takes SlideKeysWide.
inline bool SlideWideAvailable()
{
#ifdef KVS_SLIDE_WIDE
    return __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

} // namespace kvs::multibeam::detail
