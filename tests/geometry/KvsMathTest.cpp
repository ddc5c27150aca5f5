#include <KvsDataBlocks/geometry/KvsMath.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(KvsMath, ModgeoBringsAnglesIntoMinus180To180)
{
    EXPECT_EQ(modgeo(0.0), 0.0);
    EXPECT_EQ(modgeo(180.0), 180.0);
    EXPECT_EQ(modgeo(-180.0), 180.0);
    EXPECT_EQ(modgeo(190.0), -170.0);
    EXPECT_EQ(modgeo(-190.0), 170.0);
    EXPECT_EQ(modgeo(540.0), 180.0);
    EXPECT_EQ(modgeo(-720.25), -0.25);
    EXPECT_EQ(modgeo(359.5), -0.5);
    EXPECT_NEAR(modgeo(1e6 + 0.5), modgeo(std::fmod(1e6, 360.0) + 0.5), 1e-9);
    EXPECT_TRUE(std::isnan(modgeo(INFINITY)));
    EXPECT_TRUE(std::isnan(modgeo(NAN)));
}

TEST(KvsMath, DegreeRadianFactors)
{
    EXPECT_DOUBLE_EQ(180.0 * D_TO_R, 3.141592653589793);
    EXPECT_DOUBLE_EQ(D_TO_R * R_TO_D, 1.0);
}
