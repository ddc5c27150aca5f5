#include <KvsDataBlocks/geometry/KvsMath.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(KvsMath, ModgeoBringsAnglesIntoMinus180To180)
{
    // Exactly +180 is kept and -180 becomes +180, on the fast path and after fmod alike.
    const double cases[][2] = {{0, 0},      {180, 180},  {-180, 180},    {190, -170},  {-190, 170},
                               {540, 180},  {-540, 180}, {-720.25, -0.25}, {359.5, -0.5}, {-179.5, -179.5}};
    for (const auto& c : cases) EXPECT_EQ(modgeo(c[0]), c[1]) << c[0];
    EXPECT_NEAR(modgeo(1e6 + 0.5), modgeo(std::fmod(1e6, 360.0) + 0.5), 1e-9);
    EXPECT_TRUE(std::isnan(modgeo(INFINITY)));
    EXPECT_TRUE(std::isnan(modgeo(NAN)));
}
