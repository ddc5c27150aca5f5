// DepthKey: the statistical filter's depths as 32-bit integer keys that sort like the
// floats (for numbers; -0 sorts before +0, which changes no quantile). Internal to the
// multibeam filter.
#pragma once

#include <bit>
#include <climits>
#include <cstdint>

namespace kvs::multibeam::detail {

// The largest key: a NaN pattern that no depth sample takes.
inline constexpr int32_t kNoKey = INT32_MAX;

// The key of a depth's bit pattern: negative numbers turned round, so that the keys
// ascend as the numbers do.
inline int32_t DepthKey(float f)
{
    const auto i = std::bit_cast<int32_t>(f);
    return i ^ ((i >> 31) & 0x7FFFFFFF);
}

inline double KeyDepth(int32_t k)
{
    return std::bit_cast<float>(k ^ ((k >> 31) & 0x7FFFFFFF));
}

// The key of a depth that counts as a sample (a number, and sample true), else kNoKey;
// without branches, so that a loop over beams vectorises.
inline int32_t SampleKey(float f, bool sample)
{
    const auto i = std::bit_cast<int32_t>(f);
    const bool finite = (i & 0x7F800000) != 0x7F800000;
    return sample && finite ? i ^ ((i >> 31) & 0x7FFFFFFF) : kNoKey;
}

} // namespace kvs::multibeam::detail
