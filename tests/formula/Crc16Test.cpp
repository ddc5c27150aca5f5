#include <KvsDataBlocks/formula/Crc16.h>

#include <gtest/gtest.h>

// The XMODEM check values of "123456789" and "A" are pinned through MARSCS.
TEST(Crc16, ZeroByteAndEmptyOrInvalidRanges)
{
    const unsigned char a[] = {'A'}, zero[] = {0};
    EXPECT_EQ(Compute16BitCRC(a, a + 1), 0x58E5);
    EXPECT_EQ(Compute16BitCRC(zero, zero + 1), 0x0000);
    EXPECT_EQ(Compute16BitCRC(a, a), 0);
    EXPECT_EQ(Compute16BitCRC(a + 1, a), 0);
    EXPECT_EQ(Compute16BitCRC(nullptr, nullptr), 0);
}
