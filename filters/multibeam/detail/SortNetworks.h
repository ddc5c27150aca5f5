// SortNetworks: sorts of a few keys without data-dependent branches, for the statistical
// filter's columns and beam windows and the smart filter's small bins: Batcher's odd-even
// merge sort networks on 8 values (for vector types, each lane on its own) and on 16, and
// up to 7 keys padded to 8. Internal to the multibeam filter.
#pragma once

#include <KvsDataBlocks/filters/multibeam/detail/DepthKey.h>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvs::multibeam::detail {

// Orders a and b; written so that the compiler emits conditional moves.
template <typename T>
inline void CompareSwap(T& a, T& b)
{
    const auto less = a < b; // a vector of lane masks for vector types
    const T lo = less ? a : b;
    const T hi = less ? b : a;
    a = lo;
    b = hi;
}

#if defined(__SSE2__)
// For doubles GCC makes branches of the selects above; minsd and maxsd give the same.
inline void CompareSwap(double& a, double& b)
{
    const __m128d x = _mm_set_sd(a), y = _mm_set_sd(b);
    a = _mm_cvtsd_f64(_mm_min_sd(x, y)); // a < b ? a : b
    b = _mm_cvtsd_f64(_mm_max_sd(y, x)); // b > a ? b : a
}
#endif

// CompareSwap as a function object, the comparator SortEight takes unless told another.
struct CompareSwapper
{
    template <typename T>
    void operator()(T& a, T& b) const
    {
        CompareSwap(a, b);
    }
};

// Sorts 8 keys (19 comparators) on values held in registers; order(a, b) puts a pair in
// order (for vector types whose lanes < does not compare as keys, say how).
template <typename T, typename Order = CompareSwapper>
[[gnu::always_inline]] inline void SortEight(T* w, Order order = {})
{
    T v0 = w[0], v1 = w[1], v2 = w[2], v3 = w[3], v4 = w[4], v5 = w[5], v6 = w[6], v7 = w[7];
    order(v0, v1); order(v2, v3); order(v4, v5); order(v6, v7);
    order(v0, v2); order(v1, v3); order(v4, v6); order(v5, v7);
    order(v1, v2); order(v5, v6);
    order(v0, v4); order(v1, v5); order(v2, v6); order(v3, v7);
    order(v2, v4); order(v3, v5);
    order(v1, v2); order(v3, v4); order(v5, v6);
    w[0] = v0; w[1] = v1; w[2] = v2; w[3] = v3; w[4] = v4; w[5] = v5; w[6] = v6; w[7] = v7;
}

// The comparators of Batcher's odd-even merge sort on 16 values (63 of them), in order.
struct Comparators16
{
    unsigned char first[64], second[64];
    int count;
};

constexpr Comparators16 Batcher16()
{
    Comparators16 c{};
    constexpr int n = 16;
    for (int p = 1; p < n; p *= 2)
        for (int k = p; k >= 1; k /= 2)
            for (int j = k % p; j + k < n; j += 2 * k)
                for (int i = 0; i < k && i + j + k < n; ++i)
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) {
                        c.first[c.count] = static_cast<unsigned char>(i + j);
                        c.second[c.count] = static_cast<unsigned char>(i + j + k);
                        ++c.count;
                    }
    return c;
}

inline constexpr Comparators16 kBatcher16 = Batcher16();

// Sorts 16 values.
template <typename T>
inline void SortSixteen(T* w)
{
#pragma GCC unroll 64
    for (int c = 0; c < kBatcher16.count; ++c) CompareSwap(w[kBatcher16.first[c]], w[kBatcher16.second[c]]);
}

// Sorts up to 7 keys.
inline void SortSmall(int32_t* v, int n)
{
    int32_t w[8];
    for (int i = 0; i < 8; ++i) w[i] = i < n ? v[i] : kNoKey;
    SortEight(w);
    for (int i = 0; i < n; ++i) v[i] = w[i];
}

} // namespace kvs::multibeam::detail
