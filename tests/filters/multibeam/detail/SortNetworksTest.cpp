#include <KvsDataBlocks/filters/multibeam/detail/SortNetworks.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

using namespace kvs::multibeam::detail;

// A comparator network sorts every input when it sorts every input of zeros and ones.
TEST(SortNetworks, SixteenAndEightSortEveryInputOfZerosAndOnes)
{
    EXPECT_EQ(kBatcher16.count, 63);
    for (unsigned int bits = 0; bits < (1u << 16); ++bits) {
        std::array<int, 16> w{};
        for (int i = 0; i < 16; ++i) w[i] = (bits >> i) & 1;
        std::array<int, 16> want = w;
        std::sort(want.begin(), want.end());
        SortSixteen(w.data());
        ASSERT_EQ(w, want) << bits;
        if (bits < 256) {
            std::array<int, 8> e{};
            for (int i = 0; i < 8; ++i) e[i] = (bits >> i) & 1;
            std::array<int, 8> sorted = e;
            std::sort(sorted.begin(), sorted.end());
            SortEight(e.data());
            ASSERT_EQ(e, sorted) << bits;
        }
    }
}
