#include <KvsDataBlocks/formula/Crc16.h>

#include <gtest/gtest.h>

#include <cstring>

TEST(Crc16, XmodemCheckValue)
{
    const char* text = "123456789";
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    EXPECT_EQ(Compute16BitCRC(p, p + std::strlen(text)), 0x31C3);
}

TEST(Crc16, SingleBytesAndEmptyOrInvalidRanges)
{
    const unsigned char a[] = {'A'};
    EXPECT_EQ(Compute16BitCRC(a, a + 1), 0x58E5);
    const unsigned char zero[] = {0};
    EXPECT_EQ(Compute16BitCRC(zero, zero + 1), 0x0000);
    EXPECT_EQ(Compute16BitCRC(a, a), 0);
    EXPECT_EQ(Compute16BitCRC(a + 1, a), 0);
    EXPECT_EQ(Compute16BitCRC(nullptr, nullptr), 0);
}
