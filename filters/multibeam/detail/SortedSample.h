// SortedSample: the statistical filter's sorted sample of one beam window, a multiset of
// at most 49 depth keys in a fixed array of 64 that the caller provides, the unused tail
// holding kNoKey, so that counting runs over a fixed length without branches. Slides along
// the beams by taking out and putting in a few sorted keys at a time. Internal to the
// multibeam filter.
#pragma once

#include <KvsDataBlocks/filters/multibeam/detail/DepthKey.h>

#include <algorithm>
#include <cstdint>

// The copies inside SortedSample move a few keys at a time: a library call each would
// cost more than the copy.
#if defined(__GNUC__) && !defined(__clang__)
#define KVS_SHORT_COPIES __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define KVS_SHORT_COPIES
#endif

namespace kvs::multibeam::detail {

class SortedSample
{
public:
    static constexpr int kSlots = 64;

    // keys: kSlots items, owned by the caller.
    explicit SortedSample(int32_t* keys) : m_keys(keys) { std::fill(m_keys, m_keys + kSlots, kNoKey); }

    int Size() const { return m_size; }
    double Depth(int i) const { return KeyDepth(m_keys[i]); }

    void Build(const int32_t* keys, int n)
    {
        std::copy(keys, keys + n, m_keys);
        std::fill(m_keys + n, m_keys + kSlots, kNoKey);
        std::sort(m_keys, m_keys + n);
        m_size = n;
    }

    // Keys sorted, at most 8, every one held (as often as it is listed).
    KVS_SHORT_COPIES void Remove(const int32_t* keys, int n)
    {
        if (n == 0) return;
        int at[8] = {};
        for (int r = 0; r < n; ++r) at[r] = (r > 0 && keys[r] == keys[r - 1]) ? at[r - 1] + 1 : Below(keys[r]);
        int write = at[0];
        for (int r = 0; r < n; ++r) {
            const int from = at[r] + 1;
            const int to = r + 1 < n ? at[r + 1] : m_size;
            for (int i = from; i < to; ++i) m_keys[write++] = m_keys[i];
        }
        std::fill(m_keys + write, m_keys + m_size, kNoKey);
        m_size = write;
    }

    // Keys sorted, at most 8.
    KVS_SHORT_COPIES void Insert(const int32_t* keys, int n)
    {
        int at[8] = {};
        for (int a = 0; a < n; ++a) at[a] = Below(keys[a]);
        int end = m_size;
        for (int a = n - 1; a >= 0; --a) {
            for (int i = end - 1; i >= at[a]; --i) m_keys[i + a + 1] = m_keys[i];
            m_keys[at[a] + a] = keys[a];
            end = at[a];
        }
        m_size += n;
    }

    // Removes one key if held.
    void RemoveOne(int32_t key)
    {
        const int at = Below(key);
        if (at < m_size && m_keys[at] == key) Remove(&key, 1);
    }

private:
    // The number of keys below key: a binary search without branches over the padded
    // array (the padding is above every key).
    int Below(int32_t key) const
    {
        int pos = 0;
        for (int step = kSlots / 2; step > 0; step /= 2) pos += step & -static_cast<int>(m_keys[pos + step - 1] < key);
        return pos;
    }

    int32_t* m_keys;
    int m_size = 0;
};

} // namespace kvs::multibeam::detail

#undef KVS_SHORT_COPIES
