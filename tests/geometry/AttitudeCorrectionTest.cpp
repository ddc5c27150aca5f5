#include <KvsDataBlocks/geometry/AttitudeCorrection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double kTol = 1e-9;

void ExpectPoint(const Point& p, const Point& q)
{
    EXPECT_TRUE(std::fabs(p.x - q.x) < kTol && std::fabs(p.y - q.y) < kTol && std::fabs(p.z - q.z) < kTol)
        << p.x << " " << p.y << " " << p.z;
}

Point ToPoint(const CKvsDouble3D& v)
{
    double x = 0, y = 0, z = 0;
    v.GetDouble3D(x, y, z);
    return Point(x, y, z);
}

double Sin(double degrees)
{
    return std::sin(degrees * std::numbers::pi / 180);
}

} // namespace

TEST(AttitudeCorrection, EulerRollDividesByTheCosineOfPitchAndClamps)
{
    EXPECT_NEAR(EulerRoll(-12.5, 0.0), -12.5, 1e-12);
    EXPECT_NEAR(EulerRoll(10.0, 20.0), std::asin(Sin(10.0) / Sin(70.0)) * 180 / std::numbers::pi, 1e-12);
    EXPECT_EQ(EulerRoll(60.0, 60.0), 90.0); // sin 60 / cos 60 > 1
    EXPECT_EQ(EulerRoll(-60.0, 60.0), -90.0);
    EXPECT_EQ(EulerRoll(1.0, 90.0), 90.0); // cos 90 is a rounding residue, not 0
}

TEST(AttitudeCorrection, ElementaryTurnsFollowTheAxisConventions)
{
    ExpectPoint(PitchCorrection(Point(0, 1, 0), 90), Point(0, 0, -1));
    ExpectPoint(HeadingCorrection(Point(0, 1, 0), 90), Point(1, 0, 0));
    ExpectPoint(EulerRollCorrection(Point(1, 0, 0), 90), Point(0, 0, -1));
    // Each turn leaves its own axis alone.
    ExpectPoint(PitchCorrection(Point(2, 0, 0), 37), Point(2, 0, 0));
    ExpectPoint(EulerRollCorrection(Point(0, 2, 0), 37), Point(0, 2, 0));
    ExpectPoint(HeadingCorrection(Point(0, 0, 2), 37), Point(0, 0, 2));
}

TEST(AttitudeCorrection, PitchRollCorrectionTurnsByTheEulerRollThenThePitch)
{
    const Point p(0.8, 12.0, -3.5);
    const CKvsDouble3D v(p.x, p.y, p.z);
    for (double pitch : {-30.0, 0.0, 25.0})
        for (double roll : {-20.0, 0.0, 15.0, 170.0}) {
            const double euler = roll > 90 ? 180 - EulerRoll(roll, pitch) : EulerRoll(roll, pitch); // turned over
            const Point got = ToPoint(PitchRollCorrection(v, pitch, roll));
            ExpectPoint(got, PitchCorrection(EulerRollCorrection(p, euler), pitch));
            EXPECT_NEAR(got.Dist3D(Point(), false), p.Dist3D(Point(), false), kTol); // a rotation
        }
    ExpectPoint(ToPoint(PitchRollCorrection(v, 0, -150)), EulerRollCorrection(p, -150));
    // sin 20 / cos 80 > 1: the Euler roll is clamped to 90 and z takes -x sin(roll).
    ExpectPoint(ToPoint(PitchRollCorrection(CKvsDouble3D(1, 0, 0), 80, 20)), Point(0, -Sin(80), -Sin(20)));
}

TEST(AttitudeCorrection, HeadingTurnsTheLevelledVector)
{
    ExpectPoint(ToPoint(PitchRollHeadingCorrection(CKvsDouble3D(0, 1, 0), 0, 0, 90)), Point(1, 0, 0));
    const CKvsDouble3D v(0.8, 12.0, -3.5);
    const Point levelled = ToPoint(PitchRollCorrection(v, 4.0, -7.0));
    for (double heading : {-135.0, 47.0, 300.0})
        ExpectPoint(ToPoint(PitchRollHeadingCorrection(v, 4.0, -7.0, heading)), HeadingCorrection(levelled, heading));
}
