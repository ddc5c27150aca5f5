#include <KvsDataBlocks/formula/VectorMath.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kTol = 1e-9;

} // namespace

TEST(VectorMath, RectToPolBearingsRunFromNorthTowardsEastInHalfOpenRange)
{
    const vec2d_pol a = kvs::RectToPol2d(vec2d_rect{1.0, 1.0});
    EXPECT_NEAR(a.distance, std::sqrt(2.0), kTol);
    EXPECT_NEAR(a.bearing, 45.0, kTol);
    EXPECT_NEAR(kvs::RectToPol2d(vec2d_rect{0.0, -1.0}).bearing, 180.0, kTol);
    EXPECT_NEAR(kvs::RectToPol2d(vec2d_rect{-1.0, 0.0}).bearing, -90.0, kTol);
    EXPECT_NEAR(kvs::RectToPol2d(vec2d_rect{-1.0, -1.0}).bearing, -135.0, kTol);
    EXPECT_EQ(kvs::RectToPol2d(vec2d_rect{0.0, 0.0}).bearing, 0.0);
}

TEST(VectorMath, AnglesUseTheFixedFourteenDigitFactor)
{
    // 90 degrees come out as (pi/2) / 0.017453292519943, about 1.5e-12 above 90.
    const double bearing = kvs::RectToPol2d(vec2d_rect{1.0, 0.0}).bearing;
    EXPECT_DOUBLE_EQ(bearing, (std::numbers::pi / 2.0) / 0.017453292519943);
    EXPECT_NE(bearing, 90.0);
    const vec2d_rect r = kvs::PolToRect2d(vec2d_pol{1.0, 180.0});
    EXPECT_DOUBLE_EQ(r.x, std::sin(180.0 * 0.017453292519943));
}

TEST(VectorMath, ThreeDimensionalConversions)
{
    const vec3d_rect r = kvs::PolToRect3d(vec3d_pol{2.0, 90.0, 30.0});
    EXPECT_NEAR(r.x, std::sqrt(3.0), kTol);
    EXPECT_NEAR(r.y, 0.0, kTol);
    EXPECT_NEAR(r.z, 1.0, kTol);

    const vec3d_pol up = kvs::RectToPol3d(vec3d_rect{0.0, 0.0, 5.0});
    EXPECT_NEAR(up.distance, 5.0, kTol);
    EXPECT_NEAR(up.bearing, 0.0, kTol);
    EXPECT_NEAR(up.elevation, 90.0, kTol);

    // Mixed forms: a 3-D polar vector's horizontal part, a 3-D length in a 2-D polar
    // vector, zero height and elevation from 2-D inputs.
    const vec2d_rect h = kvs::PolToRect2d(vec3d_pol{2.0, 0.0, 60.0});
    EXPECT_NEAR(h.x, 0.0, kTol);
    EXPECT_NEAR(h.y, 1.0, kTol);
    const vec2d_pol p = kvs::RectToPol2d(vec3d_rect{3.0, 0.0, 4.0});
    EXPECT_NEAR(p.distance, 5.0, kTol);
    EXPECT_NEAR(p.bearing, 90.0, kTol);
    const vec3d_rect flat = kvs::PolToRect3d(vec2d_pol{2.0, 30.0});
    EXPECT_NEAR(flat.x, 1.0, kTol);
    EXPECT_EQ(flat.z, 0.0);
    EXPECT_EQ(kvs::RectToPol3d(vec2d_rect{1.0, 1.0}).elevation, 0.0);
}

TEST(VectorMath, PolarAndRectangularFormsRoundTrip)
{
    for (double x : {-7.5, -1.0, 0.25, 3.0}) {
        for (double y : {-2.0, 0.5, 9.0}) {
            for (double z : {-4.0, 0.0, 1.5}) {
                const vec3d_rect back = kvs::PolToRect3d(kvs::RectToPol3d(vec3d_rect{x, y, z}));
                EXPECT_NEAR(back.x, x, kTol);
                EXPECT_NEAR(back.y, y, kTol);
                EXPECT_NEAR(back.z, z, kTol);
            }
            const vec2d_rect back2 = kvs::PolToRect2d(kvs::RectToPol2d(vec2d_rect{x, y}));
            EXPECT_NEAR(back2.x, x, kTol);
            EXPECT_NEAR(back2.y, y, kTol);
        }
    }
}

TEST(VectorMath, AttitudeCorrectionOfSingleAngles)
{
    // Heading alone turns the vector clockwise: forward becomes east at heading 90.
    vec3d_rect v = kvs::AttCorRect3d(vec3d_rect{0.0, 1.0, 0.0}, attitude{0.0, 0.0, 90.0});
    EXPECT_NEAR(v.x, 1.0, kTol);
    EXPECT_NEAR(v.y, 0.0, kTol);
    EXPECT_NEAR(v.z, 0.0, kTol);
    // Roll 30: starboard dips, up leans to starboard.
    v = kvs::AttCorRect3d(vec3d_rect{1.0, 0.0, 0.0}, attitude{30.0, 0.0, 0.0});
    EXPECT_NEAR(v.x, std::sqrt(3.0) / 2.0, kTol);
    EXPECT_NEAR(v.z, -0.5, kTol);
    v = kvs::AttCorRect3d(vec3d_rect{0.0, 0.0, 1.0}, attitude{30.0, 0.0, 0.0});
    EXPECT_NEAR(v.x, 0.5, kTol);
    EXPECT_NEAR(v.z, std::sqrt(3.0) / 2.0, kTol);
    // Pitch 30: forward dips.
    v = kvs::AttCorRect3d(vec3d_rect{0.0, 1.0, 0.0}, attitude{0.0, 30.0, 0.0});
    EXPECT_NEAR(v.x, 0.0, kTol);
    EXPECT_NEAR(v.y, std::sqrt(3.0) / 2.0, kTol);
    EXPECT_NEAR(v.z, -0.5, kTol);
}

TEST(VectorMath, AttitudeCorrectionClampsRollAndKeepsItsCosinePositive)
{
    // sin(roll)/cos(pitch) above 1 is taken as 1: the roll term acts as 90 degrees.
    vec3d_rect v = kvs::AttCorRect3d(vec3d_rect{1.0, 0.0, 0.0}, attitude{80.0, 60.0, 0.0});
    EXPECT_NEAR(v.x, 0.0, kTol);
    EXPECT_NEAR(v.y, -std::sin(60.0 * kvs::kVectorDegToRad), kTol);
    EXPECT_NEAR(v.z, -std::sin(80.0 * kvs::kVectorDegToRad), kTol);
    // Roll 150 acts like roll 30 in x: the cosine is taken positive.
    v = kvs::AttCorRect3d(vec3d_rect{1.0, 0.0, 0.0}, attitude{150.0, 0.0, 0.0});
    EXPECT_NEAR(v.x, std::sqrt(3.0) / 2.0, kTol);
    EXPECT_NEAR(v.z, -0.5, kTol);
}

TEST(VectorMath, AttitudeCorrectedTwoDimensionalForms)
{
    const attitude pitch30{0.0, 30.0, 0.0};
    const vec2d_rect r = kvs::AttCor2dRect(vec2d_rect{0.0, 10.0}, pitch30);
    EXPECT_NEAR(r.x, 0.0, kTol);
    EXPECT_NEAR(r.y, 10.0 * std::sqrt(3.0) / 2.0, kTol); // the corrected z is dropped
    const vec2d_pol p = kvs::AttCor2dPol(vec2d_pol{10.0, 0.0}, pitch30);
    EXPECT_NEAR(p.distance, 10.0, kTol); // the corrected z stays in the distance
    EXPECT_NEAR(p.bearing, 0.0, kTol);

    const vec3d_pol q = kvs::AttCor3dPol(vec3d_pol{10.0, 0.0, 0.0}, attitude{0.0, 30.0, 90.0});
    EXPECT_NEAR(q.distance, 10.0, kTol);
    EXPECT_NEAR(q.bearing, 90.0, kTol);
    EXPECT_NEAR(q.elevation, -30.0, kTol);
    const vec3d_rect s = kvs::AttCor3dRect(vec3d_rect{0.0, 1.0, 0.0}, attitude{0.0, 0.0, 90.0});
    EXPECT_NEAR(s.x, 1.0, kTol);
}
