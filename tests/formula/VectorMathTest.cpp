#include <KvsDataBlocks/formula/VectorMath.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kTol = 1e-9;
const double kHalfRoot3 = std::sqrt(3.0) / 2.0;

// A vector's components, in the order of its type's fields.
std::vector<double> C(const vec2d_rect& v) { return {v.x, v.y}; }
std::vector<double> C(const vec2d_pol& v) { return {v.distance, v.bearing}; }
std::vector<double> C(const vec3d_rect& v) { return {v.x, v.y, v.z}; }
std::vector<double> C(const vec3d_pol& v) { return {v.distance, v.bearing, v.elevation}; }

template <typename V>
void ExpectNear(const V& v, std::vector<double> expected)
{
    const std::vector<double> got = C(v);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], kTol) << i;
}

} // namespace

// The bearings and plain conversions are pinned through the formula functions (CcalcCoordinates).
TEST(VectorMath, AnglesUseTheFixedFactorConversionsMixDimensionsAndAttitudeCorrection)
{
    // 90 degrees come out as (pi/2) / 0.017453292519943, about 1.5e-12 above 90.
    const double bearing = kvs::RectToPol2d(vec2d_rect{1.0, 0.0}).bearing;
    EXPECT_DOUBLE_EQ(bearing, (std::numbers::pi / 2.0) / 0.017453292519943);
    EXPECT_NE(bearing, 90.0);
    EXPECT_DOUBLE_EQ(kvs::PolToRect2d(vec2d_pol{1.0, 180.0}).x, std::sin(180.0 * 0.017453292519943));
    // A 3-D polar vector's horizontal part, a 3-D length in a 2-D polar vector, zero
    // height and elevation from 2-D inputs.
    ExpectNear(kvs::PolToRect2d(vec3d_pol{2.0, 0.0, 60.0}), {0.0, 1.0});
    ExpectNear(kvs::RectToPol2d(vec3d_rect{3.0, 0.0, 4.0}), {5.0, 90.0});
    ExpectNear(kvs::PolToRect3d(vec2d_pol{2.0, 30.0}), {1.0, std::sqrt(3.0), 0.0});
    EXPECT_EQ(kvs::RectToPol3d(vec2d_rect{1.0, 1.0}).elevation, 0.0);
    for (double x : {-7.5, 0.25, 3.0})
        for (double y : {-2.0, 0.5, 9.0}) {
            for (double z : {-4.0, 0.0, 1.5}) ExpectNear(kvs::PolToRect3d(kvs::RectToPol3d(vec3d_rect{x, y, z})), {x, y, z});
            ExpectNear(kvs::PolToRect2d(kvs::RectToPol2d(vec2d_rect{x, y})), {x, y});
        }
    const struct { vec3d_rect in; attitude att; vec3d_rect out; } cases[] = {
        {{0, 1, 0}, {0, 0, 90}, {1, 0, 0}},                   // heading turns clockwise: forward becomes east
        {{1, 0, 0}, {30, 0, 0}, {kHalfRoot3, 0, -0.5}},       // roll: starboard dips
        {{0, 0, 1}, {30, 0, 0}, {0.5, 0, kHalfRoot3}},        // and up leans to starboard
        {{0, 1, 0}, {0, 30, 0}, {0, kHalfRoot3, -0.5}},       // pitch: forward dips
        {{1, 0, 0}, {150, 0, 0}, {kHalfRoot3, 0, -0.5}},      // the roll cosine is taken positive
        // sin(roll)/cos(pitch) above 1 is taken as 1: the roll term acts as 90 degrees.
        {{1, 0, 0}, {80, 60, 0}, {0, -std::sin(60.0 * kvs::kVectorDegToRad), -std::sin(80.0 * kvs::kVectorDegToRad)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.att.roll + 1000 * c.att.pitch);
        ExpectNear(kvs::AttCorRect3d(c.in, c.att), C(c.out));
    }
    const attitude pitch30{0.0, 30.0, 0.0};
    ExpectNear(kvs::AttCor2dRect(vec2d_rect{0.0, 10.0}, pitch30), {0.0, 10.0 * kHalfRoot3}); // corrected z dropped
    ExpectNear(kvs::AttCor2dPol(vec2d_pol{10.0, 0.0}, pitch30), {10.0, 0.0}); // the corrected z stays in the distance
    ExpectNear(kvs::AttCor3dPol(vec3d_pol{10.0, 0.0, 0.0}, attitude{0.0, 30.0, 90.0}), {10.0, 90.0, -30.0});
    ExpectNear(kvs::AttCor3dRect(vec3d_rect{0.0, 1.0, 0.0}, attitude{0.0, 0.0, 90.0}), {1.0, 0.0, 0.0});
}
