#include <KvsDataBlocks/filters/multibeam/BeamTests.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// A ping of n beams in its own storage (zeroed when allocated): x = i - n/2, y 0, z = -10 - i, flags 0.
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
        p.z[i] = static_cast<float>(-10 - i);
    }
    return p;
}

} // namespace

TEST(PingStruct, InitCopiesShallowCopiesSwapAndTheNadirBeamTheUnrejectedOneNearestZero)
{
    PingStruct p = MakePing(5); // Init keeps the storage until Delete
    p.pingNumber = 3;
    p.nadirBeam = 2;
    p.Init();
    EXPECT_EQ(std::tuple(p.beamCount, p.pingNumber, p.nadirBeam, p.x, p.flags, p.IsAllocated()),
              std::tuple(0, 0, -1, nullptr, nullptr, true));
    p.Delete();
    EXPECT_EQ(std::tuple(p.IsAllocated(), p.OwnFloats(PingStruct::kArrX)), std::tuple(false, nullptr));

    PingStruct a = MakePing(4);
    a.pingNumber = 9;
    a.time = 12.5;
    PingStruct b;
    b = a;
    EXPECT_EQ(std::tuple(b.pingNumber, b.time, b.x, b.y, b.flags, b.values621),
              std::tuple(9, 12.5, b.OwnFloats(PingStruct::kArrX), b.OwnFloats(PingStruct::kArrY), b.OwnFlags(),
                         nullptr)); // absent stays absent
    a.z[1] = 99.0f;
    const PingStruct c(a);
    EXPECT_EQ(std::tuple(b.z[1], c.z != a.z, c.z[1]), std::tuple(-11.0f, true, 99.0f));

    PingStruct shallow = MakePing(2);
    shallow.ShalowCopy(a);
    EXPECT_EQ(std::tuple(shallow.beamCount, shallow.x, shallow.flags, shallow.IsAllocated()),
              std::tuple(4, a.x, a.flags, true)); // keeps its own storage
    PingStruct deep;
    deep = shallow; // a deep copy of a shallow one owns its arrays
    EXPECT_EQ(std::pair(deep.x != a.x, deep.x[3]), std::pair(true, a.x[3]));
    shallow.x = shallow.y = nullptr, shallow.flags = nullptr; // a view of z alone is copied too
    deep = shallow;
    ASSERT_NE(deep.z, nullptr);
    EXPECT_EQ(std::tuple(deep.x, deep.z[1]), std::tuple(nullptr, 99.0f));

    // Swap exchanges values and storage without copying: the views follow the storage.
    PingStruct two = MakePing(2);
    two.pingNumber = 2;
    float* const ax = a.x;
    float* const twoOwnZ = two.OwnFloats(PingStruct::kArrZ);
    a.values621 = a.OwnFloats(PingStruct::kArr621);
    a.Swap(two);
    EXPECT_EQ(std::tuple(a.pingNumber, two.pingNumber, two.beamCount, two.x, two.OwnFloats(PingStruct::kArrX)),
              std::tuple(2, 9, 4, ax, ax));
    EXPECT_EQ(std::tuple(a.OwnFloats(PingStruct::kArrZ), a.z, a.values621), std::tuple(twoOwnZ, twoOwnZ, nullptr));
    EXPECT_EQ(std::pair(two.values621 != nullptr, two.z[3]), std::pair(true, -13.0f));

    // The nadir beam is the unrejected beam nearest zero.
    p = MakePing(5); // x = -2 .. 2
    EXPECT_EQ(p.CompNadirBeam(), 2);
    EXPECT_EQ(p.nadirBeam, 2);
    p.flags[2] = 0x800;              // rejected
    p.flags[1] = 0x3 | 0x10000;      // sonar and ping-only bits do not reject
    EXPECT_EQ(p.CompNadirBeam(), 1); // tie of |x| = 1: the lower index
    EXPECT_TRUE(p.CompNadirDepth());
    EXPECT_EQ(std::tuple(p.nadirBeam, p.nadirDepth), std::tuple(1, 11.0));
    // Beam 0 at nadir stays nadir, ties and farther beams after it do not take over.
    for (int i = 0; i < 5; ++i) p.x[i] = static_cast<float>(i == 0 ? 0.5 : i == 1 ? -0.5 : i);
    p.flags[1] = p.flags[2] = 0;
    EXPECT_TRUE(p.CompNadirDepth());
    EXPECT_EQ(std::tuple(p.nadirBeam, p.nadirDepth), std::tuple(0, 10.0));
    for (int i = 0; i < 5; ++i) p.flags[i] = 0x100;
    EXPECT_EQ(p.CompNadirBeam(), -1);
    EXPECT_FALSE(p.CompNadirDepth());
    EXPECT_EQ(p.nadirDepth, 0.0);
    EXPECT_EQ(PingStruct().CompNadirBeam(), -1);
}

TEST(Multibeam, FilterBitsRejectSonarAndPingBitsDoNotAndTheBeamTestsReportWhetherTheyRan)
{
    for (unsigned int bit : {0x100u, 0x200u, 0x400u, 0x800u, 0x1000u, 0x2000u, 0x4000u, 0x8000u, 0x100000u,
                             0x400000u, 0x800000u, 0x1000000u})
        EXPECT_TRUE(Multibeam::IsBeamRejected(bit | 0x3u)) << std::hex << bit;
    for (unsigned int word : {0x0u, 0xFFu, 0x10000u | 0x20000u})
        EXPECT_FALSE(Multibeam::IsBeamRejected(word)) << std::hex << word;
    // The depth window ran; the IHO test without its error arrays did not.
    PingStruct p = MakePing(3); // depths 10 .. 12
    MultibeamSettings s;
    s.maxDepth = 11.0;
    BeamTests tests;
    const bool depthRan = tests.FilterDepth(p, s);
    EXPECT_EQ(std::tuple(depthRan, tests.FilterIHO(p), p.flags[2]), std::tuple(true, false, Multibeam::kFlagDepth));
}
