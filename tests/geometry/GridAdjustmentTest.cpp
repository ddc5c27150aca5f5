#include <KvsDataBlocks/geometry/GridAdjustment.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(GridAdjustment, SimilarityTurnsCounterClockwiseScalesAndShifts)
{
    const auto g = GridAdjustment::Similarity(1000.0, 2000.0, 2.0, 90.0);
    ASSERT_TRUE(g);
    double x = 0.0, y = 0.0;
    ASSERT_TRUE(g->Forward(1.0, 0.0, x, y)); // +x turns to +y, doubled
    EXPECT_NEAR(x, 1000.0, 1e-9);
    EXPECT_NEAR(y, 2002.0, 1e-9);
    ASSERT_TRUE(g->Forward(0.0, 3.0, x, y)); // +y turns to -x
    EXPECT_NEAR(x, 994.0, 1e-9);
    EXPECT_NEAR(y, 2000.0, 1e-9);
}

TEST(GridAdjustment, AffineFollowsTheDocumentedCoefficients)
{
    const auto g = GridAdjustment::Affine(1.0, 0.5, 10.0, -0.25, 2.0, 20.0);
    ASSERT_TRUE(g);
    double x = 0.0, y = 0.0;
    ASSERT_TRUE(g->Forward(4.0, 8.0, x, y));
    EXPECT_DOUBLE_EQ(x, 1.0 * 4 + 0.5 * 8 + 10.0);
    EXPECT_DOUBLE_EQ(y, -0.25 * 4 + 2.0 * 8 + 20.0);
}

TEST(GridAdjustment, InverseUndoesForwardAtSurveyCoordinates)
{
    const auto sim = GridAdjustment::Similarity(431234.5, 5791234.5, 1.0000123, -0.37);
    const auto aff = GridAdjustment::Affine(0.9999, 0.0002, 500000.0, -0.0003, 1.0001, 5800000.0);
    for (const auto& g : {sim, aff}) {
        ASSERT_TRUE(g);
        for (double lx : {-5000.0, 0.0, 12345.678}) {
            for (double ly : {-800.0, 0.0, 9876.543}) {
                double gx = 0.0, gy = 0.0, bx = 0.0, by = 0.0;
                ASSERT_TRUE(g->Forward(lx, ly, gx, gy));
                ASSERT_TRUE(g->Inverse(gx, gy, bx, by));
                EXPECT_NEAR(bx, lx, 1e-6);
                EXPECT_NEAR(by, ly, 1e-6);
            }
        }
    }
}

TEST(GridAdjustment, RefusesSingularOrNonFiniteTransforms)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(GridAdjustment::Affine(1.0, 2.0, 0.0, 2.0, 4.0, 0.0)); // rows proportional
    EXPECT_FALSE(GridAdjustment::Affine(0.0, 0.0, 1.0, 0.0, 0.0, 1.0));
    EXPECT_FALSE(GridAdjustment::Affine(1.0, 0.0, std::nan(""), 0.0, 1.0, 0.0));
    EXPECT_FALSE(GridAdjustment::Similarity(0.0, 0.0, 0.0, 10.0));
    EXPECT_FALSE(GridAdjustment::Similarity(0.0, 0.0, -1.0, 10.0));
    EXPECT_FALSE(GridAdjustment::Similarity(inf, 0.0, 1.0, 0.0));

    const auto g = GridAdjustment::Similarity(0.0, 0.0, 1.0, 0.0);
    ASSERT_TRUE(g);
    double x = 7.0, y = 8.0;
    EXPECT_FALSE(g->Forward(std::nan(""), 1.0, x, y));
    EXPECT_FALSE(g->Inverse(1.0, inf, x, y));
    EXPECT_EQ(x, 7.0);
    EXPECT_EQ(y, 8.0);
}
