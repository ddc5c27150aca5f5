#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <gtest/gtest.h>

namespace {

// A ping of n beams in its own storage: x = i - n/2, z = -10 - i, flags 0.
PingStruct MakePing(int n)
{
    PingStruct p;
    EXPECT_TRUE(p.Allocate());
    p.beamCount = n;
    p.x = p.OwnFloats(PingStruct::kArrX);
    p.y = p.OwnFloats(PingStruct::kArrY);
    p.z = p.OwnFloats(PingStruct::kArrZ);
    p.flags = p.OwnFlags();
    for (int i = 0; i < n; ++i) {
        p.x[i] = static_cast<float>(i - n / 2);
        p.y[i] = 0.0f;
        p.z[i] = static_cast<float>(-10 - i);
        p.flags[i] = 0;
    }
    return p;
}

} // namespace

TEST(PingStruct, InitMakesAnEmptyPingAndKeepsStorage)
{
    PingStruct p = MakePing(5);
    p.pingNumber = 3;
    p.nadirBeam = 2;
    p.Init();
    EXPECT_EQ(p.beamCount, 0);
    EXPECT_EQ(p.pingNumber, 0);
    EXPECT_EQ(p.nadirBeam, -1);
    EXPECT_EQ(p.x, nullptr);
    EXPECT_EQ(p.flags, nullptr);
    EXPECT_TRUE(p.IsAllocated());
    p.Delete();
    EXPECT_FALSE(p.IsAllocated());
    EXPECT_EQ(p.OwnFloats(PingStruct::kArrX), nullptr);
}

TEST(PingStruct, CopiesOwnTheirArraysAndShallowCopiesReferToTheSource)
{
    PingStruct a = MakePing(4);
    a.pingNumber = 9;
    a.time = 12.5;
    PingStruct b;
    b = a;
    EXPECT_EQ(b.pingNumber, 9);
    EXPECT_EQ(b.time, 12.5);
    EXPECT_EQ(b.x, b.OwnFloats(PingStruct::kArrX));
    EXPECT_EQ(b.y, b.OwnFloats(PingStruct::kArrY));
    EXPECT_EQ(b.flags, b.OwnFlags());
    EXPECT_EQ(b.values621, nullptr); // absent stays absent
    a.z[1] = 99.0f;
    EXPECT_EQ(b.z[1], -11.0f);
    PingStruct c(a);
    EXPECT_NE(c.z, a.z);
    EXPECT_EQ(c.z[1], 99.0f);

    PingStruct shallow = MakePing(2);
    shallow.ShalowCopy(a);
    EXPECT_EQ(shallow.beamCount, 4);
    EXPECT_EQ(shallow.x, a.x);
    EXPECT_EQ(shallow.flags, a.flags);
    EXPECT_TRUE(shallow.IsAllocated()); // keeps its own storage
    PingStruct deep;
    deep = shallow; // a deep copy of a shallow one owns its arrays
    EXPECT_NE(deep.x, a.x);
    EXPECT_EQ(deep.x[3], a.x[3]);
}

TEST(PingStruct, SwapExchangesValuesAndStorageWithoutCopying)
{
    PingStruct a = MakePing(4);
    PingStruct b = MakePing(2);
    a.pingNumber = 1;
    b.pingNumber = 2;
    float* const ax = a.x;
    float* const bOwnZ = b.OwnFloats(PingStruct::kArrZ);
    a.values621 = a.OwnFloats(PingStruct::kArr621);
    a.Swap(b);
    EXPECT_EQ(a.pingNumber, 2);
    EXPECT_EQ(b.pingNumber, 1);
    EXPECT_EQ(b.beamCount, 4);
    // The views follow the storage: b now owns and shows what a held.
    EXPECT_EQ(b.x, ax);
    EXPECT_EQ(b.OwnFloats(PingStruct::kArrX), ax);
    EXPECT_EQ(a.OwnFloats(PingStruct::kArrZ), bOwnZ);
    EXPECT_EQ(a.z, bOwnZ);
    EXPECT_NE(b.values621, nullptr);
    EXPECT_EQ(a.values621, nullptr);
    EXPECT_EQ(b.z[3], -13.0f);
}

TEST(PingStruct, NadirBeamIsTheUnrejectedBeamNearestZero)
{
    PingStruct p = MakePing(5); // x = -2 .. 2
    EXPECT_EQ(p.CompNadirBeam(), 2);
    EXPECT_EQ(p.nadirBeam, 2);
    p.flags[2] = 0x800;              // rejected
    p.flags[1] = 0x3 | 0x10000;      // sonar and ping-only bits do not reject
    EXPECT_EQ(p.CompNadirBeam(), 1); // tie of |x| = 1: the lower index
    EXPECT_TRUE(p.CompNadirDepth());
    EXPECT_EQ(p.nadirBeam, 1);
    EXPECT_DOUBLE_EQ(p.nadirDepth, 11.0);
    // Beam 0 at nadir stays nadir, ties and farther beams after it do not take over.
    for (int i = 0; i < 5; ++i) p.x[i] = static_cast<float>(i == 0 ? 0.5 : i == 1 ? -0.5 : i);
    p.flags[1] = p.flags[2] = 0;
    EXPECT_TRUE(p.CompNadirDepth());
    EXPECT_EQ(p.nadirBeam, 0);
    EXPECT_DOUBLE_EQ(p.nadirDepth, 10.0);
    for (int i = 0; i < 5; ++i) p.flags[i] = 0x100;
    EXPECT_EQ(p.CompNadirBeam(), -1);
    EXPECT_FALSE(p.CompNadirDepth());
    EXPECT_EQ(p.nadirDepth, 0.0);
    PingStruct empty;
    EXPECT_EQ(empty.CompNadirBeam(), -1);
}
