#include <KvsDataBlocks/geometry/AttitudeCorrection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kTol = 1e-12;

void ExpectPoint(const Point& p, double x, double y, double z, double tol = kTol)
{
    EXPECT_NEAR(p.x, x, tol);
    EXPECT_NEAR(p.y, y, tol);
    EXPECT_NEAR(p.z, z, tol);
}

Point ToPoint(const CKvsDouble3D& v)
{
    double x = 0, y = 0, z = 0;
    v.GetDouble3D(x, y, z);
    return Point(x, y, z);
}

} // namespace

TEST(AttitudeCorrection, EulerRollDividesByTheCosineOfPitchAndClamps)
{
    EXPECT_NEAR(EulerRoll(30.0, 0.0), 30.0, kTol);
    EXPECT_NEAR(EulerRoll(-12.5, 0.0), -12.5, kTol);
    EXPECT_NEAR(EulerRoll(10.0, 20.0), std::asin(std::sin(10.0 * std::numbers::pi / 180) / std::cos(20.0 * std::numbers::pi / 180)) * 180 / std::numbers::pi,
                kTol);
    EXPECT_EQ(EulerRoll(60.0, 60.0), 90.0);   // sin 60 / cos 60 > 1
    EXPECT_EQ(EulerRoll(-60.0, 60.0), -90.0);
    EXPECT_EQ(EulerRoll(1.0, 90.0), 90.0);    // cos 90 is a rounding residue, not 0
}

TEST(AttitudeCorrection, ElementaryTurnsFollowTheAxisConventions)
{
    ExpectPoint(PitchCorrection(Point(0, 1, 0), 90), 0, 0, -1);
    ExpectPoint(HeadingCorrection(Point(0, 1, 0), 90), 1, 0, 0);
    ExpectPoint(EulerRollCorrection(Point(1, 0, 0), 90), 0, 0, -1);
    // Each turn leaves its own axis alone.
    ExpectPoint(PitchCorrection(Point(2, 0, 0), 37), 2, 0, 0);
    ExpectPoint(EulerRollCorrection(Point(0, 2, 0), 37), 0, 2, 0);
    ExpectPoint(HeadingCorrection(Point(0, 0, 2), 37), 0, 0, 2);
}

TEST(AttitudeCorrection, PitchRollCorrectionReducesToTheElementaryTurns)
{
    const CKvsDouble3D v(1.5, -2.25, 3.0);
    const Point p = ToPoint(v);
    const Point same = ToPoint(PitchRollCorrection(v, 0, 0));
    ExpectPoint(same, p.x, p.y, p.z);
    for (double roll : {-150.0, -45.0, 7.5, 60.0, 120.0}) {
        const Point r = EulerRollCorrection(p, roll);
        ExpectPoint(ToPoint(PitchRollCorrection(v, 0, roll)), r.x, r.y, r.z, 1e-9);
    }
    for (double pitch : {-60.0, 15.0, 80.0}) {
        const Point r = PitchCorrection(p, pitch);
        ExpectPoint(ToPoint(PitchRollCorrection(v, pitch, 0)), r.x, r.y, r.z, 1e-9);
    }
}

TEST(AttitudeCorrection, PitchRollCorrectionTurnsByTheEulerRollThenThePitch)
{
    const Point p(0.8, 12.0, -3.5);
    const CKvsDouble3D v(p.x, p.y, p.z);
    for (double pitch : {-30.0, -5.0, 10.0, 25.0})
        for (double roll : {-20.0, 3.0, 15.0, 170.0}) {
            const Point expected = PitchCorrection(EulerRollCorrection(p, roll > 90 ? 180 - EulerRoll(roll, pitch)
                                                                                      : EulerRoll(roll, pitch)),
                                                   pitch);
            const Point got = ToPoint(PitchRollCorrection(v, pitch, roll));
            ExpectPoint(got, expected.x, expected.y, expected.z, 1e-9);
            EXPECT_NEAR(got.Dist3D(Point(), false), p.Dist3D(Point(), false), 1e-9); // a rotation
        }
}

TEST(AttitudeCorrection, ImpossibleRollAtSteepPitchKeepsTheMeasuredRollInZ)
{
    // sin 20 / cos 80 > 1: the Euler roll is clamped to 90 and z takes -x sin(roll).
    const Point r = ToPoint(PitchRollCorrection(CKvsDouble3D(1, 0, 0), 80, 20));
    ExpectPoint(r, 0, -std::sin(80 * std::numbers::pi / 180), -std::sin(20 * std::numbers::pi / 180), 1e-9);
}

TEST(AttitudeCorrection, HeadingTurnsTheLevelledVector)
{
    const Point east = ToPoint(PitchRollHeadingCorrection(CKvsDouble3D(0, 1, 0), 0, 0, 90));
    ExpectPoint(east, 1, 0, 0);
    const CKvsDouble3D v(0.8, 12.0, -3.5);
    for (double heading : {-135.0, 0.0, 47.0, 300.0}) {
        const Point levelled = ToPoint(PitchRollCorrection(v, 4.0, -7.0));
        const Point expected = HeadingCorrection(levelled, heading);
        ExpectPoint(ToPoint(PitchRollHeadingCorrection(v, 4.0, -7.0, heading)), expected.x, expected.y, expected.z,
                    1e-9);
    }
}
