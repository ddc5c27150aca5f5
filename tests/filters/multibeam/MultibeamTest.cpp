#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <gtest/gtest.h>

TEST(Multibeam, FilterBitsRejectSonarAndPingBitsDoNot)
{
    for (unsigned int bit : {0x100u, 0x200u, 0x400u, 0x800u, 0x1000u, 0x2000u, 0x4000u, 0x8000u, 0x100000u,
                             0x400000u, 0x800000u, 0x1000000u})
        EXPECT_TRUE(Multibeam::IsBeamRejected(bit | 0x3u)) << std::hex << bit;
    EXPECT_FALSE(Multibeam::IsBeamRejected(0));
    EXPECT_FALSE(Multibeam::IsBeamRejected(0xFFu));
    EXPECT_FALSE(Multibeam::IsBeamRejected(0x10000u | 0x20000u));
}
