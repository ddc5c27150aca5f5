// DepthKey: the statistical filter's depths as 32-bit integer keys that sort like the
// floats (for numbers; -0 sorts before +0, which changes no quantile). Internal to the
// multibeam filter.
#pragma once

#include <KvsDataBlocks/datablocks/ByteLayout.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace kvs::multibeam::detail {

// The largest key: a NaN pattern that no depth sample takes.
inline constexpr int32_t kNoKey = INT32_MAX;

inline int32_t DepthKey(float f)
{
    int32_t i = kvs::LoadLE<int32_t>(reinterpret_cast<const unsigned char*>(&f));
    return i ^ ((i >> 31) & 0x7FFFFFFF);
}

inline double KeyDepth(int32_t k)
{
    const int32_t i = k ^ ((k >> 31) & 0x7FFFFFFF);
    float f;
    std::memcpy(&f, &i, sizeof f);
    return f;
}

} // namespace kvs::multibeam::detail
