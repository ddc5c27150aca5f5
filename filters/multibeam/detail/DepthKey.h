// DepthKey: the statistical filter's depths as 32-bit integer keys that sort like the
// floats (for numbers; -0 sorts before +0, which changes no quantile), and the entries of
// its running passes: a key shifted left by 3 bits over a tag of 0 .. 7 (the ring place of
// the beam's column), so that entries sort as their keys and a column can be taken out by
// its tag. Internal to the multibeam filter.
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

using Entry = int64_t;
// Made from kNoKey, an entry lies above every entry of a depth, whatever its tag.
inline constexpr Entry kNoEntry = (static_cast<Entry>(kNoKey) << 3) | 7;

inline Entry MakeEntry(int32_t key, int tag)
{
    return (static_cast<Entry>(key) << 3) | tag;
}

inline double EntryDepth(Entry e)
{
    return KeyDepth(static_cast<int32_t>(e >> 3));
}

} // namespace kvs::multibeam::detail
