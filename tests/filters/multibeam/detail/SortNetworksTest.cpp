#include <KvsDataBlocks/filters/multibeam/detail/SortNetworks.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <type_traits>

using namespace kvs::multibeam::detail;

// A comparator network sorts every input when it sorts every input of zeros and ones.
TEST(SortNetworks, SixteenAndEightSortEveryInputOfZerosAndOnes)
{
    EXPECT_EQ(kBatcher16.count, 63);
    auto sortsAll = [](auto size, auto sort) {
        for (unsigned int bits = 0; bits < (1u << size.value); ++bits) {
            std::array<int, size.value> w{};
            for (int i = 0; i < size.value; ++i) w[i] = (bits >> i) & 1;
            std::array<int, size.value> want = w;
            std::sort(want.begin(), want.end());
            sort(w.data());
            ASSERT_EQ(w, want) << size.value << " values, bits " << bits;
        }
    };
    sortsAll(std::integral_constant<int, 16>{}, [](int* w) { SortSixteen(w); });
    sortsAll(std::integral_constant<int, 8>{}, [](int* w) { SortEight(w); });
}
