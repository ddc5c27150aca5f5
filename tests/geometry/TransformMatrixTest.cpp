// The rotation matrices, the angles read back from them, the point corrections they agree
// with, and the angle folding they share.
#include <KvsDataBlocks/geometry/AttitudeCorrection.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/geometry/TransformMatrix.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

const Matrix4 I = Matrix4::Identity();

Point Apply(const Matrix4& m, const Point& p)
{
    return Point(m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                 m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                 m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]);
}

double RotationDifference(const Matrix4& a, const Matrix4& b)
{
    double worst = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) worst = std::fmax(worst, std::fabs(a[i][j] - b[i][j]));
    return worst;
}

double PointDifference(const Point& a, const Point& b)
{
    return std::fmax(std::fabs(a.x - b.x), std::fmax(std::fabs(a.y - b.y), std::fabs(a.z - b.z)));
}

Matrix4 Attitude(double roll, double pitch, double yaw)
{
    return YawMatrix(PitchMatrix(RollMatrix(I, roll), pitch), yaw);
}

struct Rpy { double roll, pitch, yaw; };

Rpy Read(const Matrix4& m)
{
    Rpy r{};
    CalcRPY(m, r.roll, r.pitch, r.yaw);
    return r;
}

void ExpectRpy(const Rpy& r, const Rpy& e, double tol = 1e-9)
{
    EXPECT_NEAR(r.roll, e.roll, tol);
    EXPECT_NEAR(r.pitch, e.pitch, tol);
    EXPECT_NEAR(r.yaw, e.yaw, tol);
}

constexpr double kTol = 1e-9;

void ExpectPoint(const Point& p, const Point& q)
{
    EXPECT_LT(PointDifference(p, q), kTol) << p.x << " " << p.y << " " << p.z;
}

Point ToPoint(const CKvsDouble3D& v)
{
    double x = 0, y = 0, z = 0;
    v.GetDouble3D(x, y, z);
    return Point(x, y, z);
}

double Sin(double degrees) { return std::sin(degrees * std::numbers::pi / 180); }

} // namespace

TEST(TransformMatrix, TurnsApplyInOrderAndTranslationMovesTheTurnedPoint)
{
    const Matrix4 m = TransMatrix(RollMatrix(I, 11), Point(1, 2, 3));
    EXPECT_LT(RotationDifference(PitchMatrix(m, 25), PitchMatrix(I, 25) * m), 1e-15); // new turns on the left
    // Roll first, then pitch, then yaw: the same as the point corrections in that order.
    const Point lever(1.25, -4.0, 2.5);
    const Point byTurns = HeadingCorrection(PitchCorrection(EulerRollCorrection(lever, 8), -3), 250);
    EXPECT_LT(PointDifference(Apply(Attitude(8, -3, 250), lever), byTurns), 1e-12);
    const Point t(10.5, -3.0, 7.25);
    EXPECT_EQ(Apply(TransMatrix(I, t), Point()), t);
    EXPECT_LT(PointDifference(Apply(TransMatrix(YawMatrix(I, 90), t), Point(0, 1, 0)), Point(t.x + 1, t.y, t.z)), 1e-12);
}

TEST(CalcRPY, TurnsComeBackVerticalForwardAxesTakeTheXAxisAndTheGridRebuilds)
{
    const struct { Matrix4 m; Rpy read; } turns[] = {
        {RollMatrix(I, 90), {90, 0, 0}},       {RollMatrix(I, -90), {-90, 0, 0}},
        {PitchMatrix(I, 89.5), {0, 89.5, 0}},  {PitchMatrix(I, -89.5), {0, -89.5, 0}},
        {RollMatrix(I, 120), {300, 180, 180}}, // a roll beyond 90 is reported turned over, not normalised
    };
    for (const auto& c : turns) ExpectRpy(Read(c.m), c.read);
    for (double a = -720.0; a <= 720.0; a += 12.5) ExpectRpy(Read(YawMatrix(I, a)), {0, 0, modgeo(a)}); // (-180, 180]
    // A pitch beyond 90 comes back through the same turn-over.
    const Rpy p = Read(PitchMatrix(I, 120));
    ExpectRpy({std::remainder(p.roll, 360.0), p.pitch, std::remainder(p.yaw, 360.0)}, {0, 120, 0});
    // Straight up or down yaw and roll turn about the same axis; the x axis gives their sum as
    // the yaw and the roll is 0, also for a roll beyond 90. Within 0.06 degrees of the
    // vertical the x axis is still used, to within that tilt.
    const struct { double roll, pitch, yaw, readPitch, readYaw, tol; } cases[] = {
        {0, 90, 0, 90, 0, 1e-9},         {15, -90, 40, -90, 25, 1e-9},    {150, 90, 10, 90, 160, 1e-9},
        {-180, -90, 10, -90, -170, 1e-9}, {0, 89.97, 40, 89.97, 40, 1e-6}, {15, 89.97, 40, 89.97, 55, 1e-3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.roll);
        const Rpy r = Read(Attitude(c.roll, c.pitch, c.yaw));
        EXPECT_NEAR(r.pitch, c.readPitch, 1e-9);
        EXPECT_NEAR(r.yaw, c.readYaw, c.tol);
        EXPECT_TRUE(c.tol > 1e-9 || r.roll == 0.0) << r.roll;
        EXPECT_LT(RotationDifference(Attitude(r.roll, r.pitch, r.yaw), Attitude(c.roll, c.pitch, c.yaw)), c.tol);
    }
    // Exactly 0.001 off the vertical (x axis east, forward axis leaning east) is still vertical:
    // the yaw comes from the x axis (0), not from the forward axis (90).
    Matrix4 edge = I;
    edge[0][1] = 0.001, edge[1][1] = 0.0, edge[2][1] = 1.0;
    ExpectRpy(Read(edge), {0, -std::atan2(1.0, 0.001) * 180 / std::numbers::pi, 0});
    for (double roll = -180.0; roll <= 180.0; roll += 22.5)
        for (double pitch = -180.0; pitch <= 180.0; pitch += 15.0)
            for (double yaw = -165.0; yaw <= 360.0; yaw += 35.0) {
                const Matrix4 m = Attitude(roll, pitch, yaw);
                const Rpy r = Read(TransMatrix(m, Point(150.0, -40.0, 12.0))); // translation changes nothing
                EXPECT_LT(RotationDifference(Attitude(r.roll, r.pitch, r.yaw), m), 1e-9)
                    << "roll " << roll << " pitch " << pitch << " yaw " << yaw;
                EXPECT_LE(std::fabs(std::remainder(r.roll, 360.0)), 90.0 + 1e-9);
                // Away from the vertical and the turn-over the angles themselves return.
                if (std::fabs(pitch) < 89.0 && std::fabs(roll) < 89.0)
                    ExpectRpy({r.roll, r.pitch, std::remainder(r.yaw - yaw, 360.0)}, {roll, pitch, 0.0});
            }
}

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

TEST(AttitudeCorrection, EulerRollElementaryTurnsPitchRollAndHeadingCorrection)
{
    EXPECT_NEAR(EulerRoll(-12.5, 0.0), -12.5, 1e-12);
    EXPECT_NEAR(EulerRoll(10.0, 20.0), std::asin(Sin(10.0) / Sin(70.0)) * 180 / std::numbers::pi, 1e-12);
    // Clamped where sin 60 / cos 60 > 1; cos 90 is a rounding residue, not 0.
    EXPECT_EQ((std::vector<double>{EulerRoll(60.0, 60.0), EulerRoll(-60.0, 60.0), EulerRoll(1.0, 90.0)}),
              (std::vector<double>{90.0, -90.0, 90.0}));
    ExpectPoint(PitchCorrection(Point(0, 1, 0), 90), Point(0, 0, -1));
    ExpectPoint(HeadingCorrection(Point(0, 1, 0), 90), Point(1, 0, 0));
    ExpectPoint(EulerRollCorrection(Point(1, 0, 0), 90), Point(0, 0, -1));
    // Each turn leaves its own axis alone.
    ExpectPoint(PitchCorrection(Point(2, 0, 0), 37), Point(2, 0, 0));
    ExpectPoint(EulerRollCorrection(Point(0, 2, 0), 37), Point(0, 2, 0));
    ExpectPoint(HeadingCorrection(Point(0, 0, 2), 37), Point(0, 0, 2));
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
    ExpectPoint(ToPoint(PitchRollHeadingCorrection(CKvsDouble3D(0, 1, 0), 0, 0, 90)), Point(1, 0, 0));
    const Point levelled = ToPoint(PitchRollCorrection(v, 4.0, -7.0));
    for (double heading : {-135.0, 47.0, 300.0})
        ExpectPoint(ToPoint(PitchRollHeadingCorrection(v, 4.0, -7.0, heading)), HeadingCorrection(levelled, heading));
}
