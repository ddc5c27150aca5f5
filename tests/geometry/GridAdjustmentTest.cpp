#include <KvsDataBlocks/geometry/GridAdjustment.h>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

TEST(GridAdjustment, ForwardInverseAndRefusedSingularOrNonFiniteTransforms)
{
    const auto sim = GridAdjustment::Similarity(1000.0, 2000.0, 2.0, 90.0); // turns counter-clockwise
    const auto aff = GridAdjustment::Affine(1.0, 0.5, 10.0, -0.25, 2.0, 20.0);
    ASSERT_TRUE(sim && aff);
    const struct { const GridAdjustment* g; double lx, ly, gx, gy; } cases[] = {
        {&*sim, 1.0, 0.0, 1000.0, 2002.0}, // +x turns to +y, doubled
        {&*sim, 0.0, 3.0, 994.0, 2000.0},  // +y turns to -x
        {&*aff, 4.0, 8.0, 1.0 * 4 + 0.5 * 8 + 10.0, -0.25 * 4 + 2.0 * 8 + 20.0},
    };
    for (const auto& c : cases) {
        double x = 0.0, y = 0.0;
        ASSERT_TRUE(c.g->Forward(c.lx, c.ly, x, y));
        EXPECT_TRUE(std::fabs(x - c.gx) < 1e-9 && std::fabs(y - c.gy) < 1e-9) << x << " " << y;
    }
    const auto survey = GridAdjustment::Similarity(431234.5, 5791234.5, 1.0000123, -0.37);
    const auto skew = GridAdjustment::Affine(0.9999, 0.0002, 500000.0, -0.0003, 1.0001, 5800000.0);
    for (const auto& g : {survey, skew}) {
        ASSERT_TRUE(g);
        for (const auto& [lx, ly] : {std::pair{-5000.0, -800.0}, {0.0, 9876.543}, {12345.678, 0.0}}) {
            double gx = 0.0, gy = 0.0, bx = 0.0, by = 0.0;
            ASSERT_TRUE(g->Forward(lx, ly, gx, gy) && g->Inverse(gx, gy, bx, by));
            EXPECT_TRUE(std::fabs(bx - lx) < 1e-6 && std::fabs(by - ly) < 1e-6) << bx << " " << by;
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    const std::optional<GridAdjustment> refused[] = {
        GridAdjustment::Affine(1.0, 2.0, 0.0, 2.0, 4.0, 0.0), // rows proportional
        GridAdjustment::Affine(0.0, 0.0, 1.0, 0.0, 0.0, 1.0), GridAdjustment::Affine(1.0, 0.0, NAN, 0.0, 1.0, 0.0),
        GridAdjustment::Similarity(0.0, 0.0, 0.0, 10.0), GridAdjustment::Similarity(0.0, 0.0, -1.0, 10.0),
        GridAdjustment::Similarity(inf, 0.0, 1.0, 0.0)};
    for (size_t i = 0; i < std::size(refused); ++i) EXPECT_FALSE(refused[i]) << i;
    const auto g = GridAdjustment::Similarity(0.0, 0.0, 1.0, 0.0);
    ASSERT_TRUE(g);
    double x = 7.0, y = 8.0;
    EXPECT_FALSE(g->Forward(std::nan(""), 1.0, x, y) || g->Inverse(1.0, inf, x, y));
    EXPECT_EQ(std::pair(x, y), std::pair(7.0, 8.0));
}
