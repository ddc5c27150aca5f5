#include <KvsDataBlocks/geometry/AttitudeCorrection.h>
#include <KvsDataBlocks/geometry/TransformMatrix.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

Matrix4 Attitude(double roll, double pitch, double yaw)
{
    return YawMatrix(PitchMatrix(RollMatrix(I, roll), pitch), yaw);
}

struct Rpy
{
    double roll, pitch, yaw;
};

Rpy Read(const Matrix4& m)
{
    Rpy r{};
    CalcRPY(m, r.roll, r.pitch, r.yaw);
    return r;
}

} // namespace

TEST(GtlMatrix, StartsZeroAndMultipliesRowsByColumns)
{
    const Matrix4 zero;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(zero[i][j], 0.0);
    Matrix4 a, b;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = i * 4 + j;     // row by row: 0 1 2 3 / 4 5 6 7 / ...
            b[i][j] = (i == j) + (j == 3 && i == 0) * 2.0;
        }
    const Matrix4 ab = a * b, ba = b * a;
    EXPECT_EQ(ab[1][3], 4 * 2.0 + 7); // row 1 of a against column 3 of b
    EXPECT_EQ(ba[0][0], 0 + 2.0 * 12);
    EXPECT_NE(ab, ba);
    EXPECT_EQ(a * I, a);
    EXPECT_EQ(I * a, a);
    Matrix4 c;
    c = a;
    EXPECT_EQ(c, a);
}

TEST(TransformMatrix, NewTurnsMultiplyOnTheLeftSoChainsApplyInOrder)
{
    const Matrix4 m = TransMatrix(RollMatrix(I, 11), Point(1, 2, 3));
    EXPECT_LT(RotationDifference(PitchMatrix(m, 25), PitchMatrix(I, 25) * m), 1e-15);
    // Roll first, then pitch, then yaw: the same as the point corrections in that order.
    const Point lever(1.25, -4.0, 2.5);
    const Point byMatrix = Apply(Attitude(8, -3, 250), lever);
    const Point byTurns = HeadingCorrection(PitchCorrection(EulerRollCorrection(lever, 8), -3), 250);
    EXPECT_NEAR(byMatrix.x, byTurns.x, 1e-12);
    EXPECT_NEAR(byMatrix.y, byTurns.y, 1e-12);
    EXPECT_NEAR(byMatrix.z, byTurns.z, 1e-12);
}

TEST(TransformMatrix, TranslationSitsInColumnThreeAndMovesTheOrigin)
{
    const Point t(10.5, -3.0, 7.25);
    const Matrix4 m = TransMatrix(I, t);
    EXPECT_EQ(m[0][3], t.x);
    EXPECT_EQ(m[1][3], t.y);
    EXPECT_EQ(m[2][3], t.z);
    EXPECT_EQ(Apply(m, Point()), t);
    // Translating after a turn moves the turned point.
    const Point q = Apply(TransMatrix(YawMatrix(I, 90), t), Point(0, 1, 0));
    EXPECT_NEAR(q.x, t.x + 1, 1e-12);
    EXPECT_NEAR(q.y, t.y, 1e-12);
    EXPECT_NEAR(q.z, t.z, 1e-12);
}

TEST(CalcRPY, PureTurnsGiveBackTheirAngle)
{
    auto expect = [](const Rpy& r, double roll, double pitch, double yaw, double a) {
        EXPECT_NEAR(r.roll, roll, 1e-9) << a;
        EXPECT_NEAR(r.pitch, pitch, 1e-9) << a;
        EXPECT_NEAR(r.yaw, yaw, 1e-9) << a;
    };
    for (double a = -90.0; a <= 90.0; a += 7.5) expect(Read(RollMatrix(I, a)), a, 0, 0, a);
    for (double a = -89.5; a <= 89.5; a += 7.25) expect(Read(PitchMatrix(I, a)), 0, a, 0, a);
    for (double a = -720.0; a <= 720.0; a += 12.5) {
        const Rpy r = Read(YawMatrix(I, a));
        expect(r, 0, 0, modgeo(a), a);
        EXPECT_GT(r.yaw, -180.0);
        EXPECT_LE(r.yaw, 180.0);
    }
}

TEST(CalcRPY, VerticalForwardAxisTakesTheYawFromTheXAxis)
{
    Rpy r = Read(PitchMatrix(I, 90));
    EXPECT_NEAR(r.pitch, 90.0, 1e-9);
    EXPECT_NEAR(r.yaw, 0.0, 1e-9);
    EXPECT_EQ(r.roll, 0.0);
    // Straight up after a roll of 15 and a yaw of 40: yaw and roll turn about the same
    // axis, and the x axis gives their sum as the yaw.
    r = Read(Attitude(15, -90, 40));
    EXPECT_NEAR(r.pitch, -90.0, 1e-9);
    EXPECT_NEAR(r.yaw, 40.0 - 15.0, 1e-9);
    EXPECT_EQ(r.roll, 0.0);
    // A roll beyond 90 about the vertical forward axis is held in the yaw as well; it does
    // not turn the reading over.
    r = Read(Attitude(150, 90, 10));
    EXPECT_NEAR(r.pitch, 90.0, 1e-9);
    EXPECT_NEAR(r.yaw, 160.0, 1e-9);
    EXPECT_EQ(r.roll, 0.0);
    r = Read(Attitude(-180, -90, 10));
    EXPECT_NEAR(r.yaw, -170.0, 1e-9);
    EXPECT_EQ(r.roll, 0.0);
    // Within 0.06 degrees of the vertical the x axis is still used, to within that tilt.
    r = Read(Attitude(0, 89.97, 40));
    EXPECT_NEAR(r.yaw, 40.0, 1e-6);
    r = Read(Attitude(15, 89.97, 40));
    EXPECT_NEAR(r.yaw, 55.0, 1e-3);
    EXPECT_LT(RotationDifference(Attitude(r.roll, r.pitch, r.yaw), Attitude(15, 89.97, 40)), 1e-3);
}

TEST(CalcRPY, RollBeyondNinetyIsReportedTurnedOver)
{
    const Rpy r = Read(RollMatrix(I, 120));
    EXPECT_NEAR(r.roll, 300.0, 1e-9); // 120 + 180, not normalised
    EXPECT_NEAR(r.pitch, 180.0, 1e-9);
    EXPECT_NEAR(r.yaw, 180.0, 1e-9);
    EXPECT_LT(RotationDifference(Attitude(r.roll, r.pitch, r.yaw), RollMatrix(I, 120)), 1e-12);
    // A pitch beyond 90 comes back through the same turn-over.
    const Rpy p = Read(PitchMatrix(I, 120));
    EXPECT_NEAR(std::remainder(p.roll, 360.0), 0.0, 1e-9);
    EXPECT_NEAR(p.pitch, 120.0, 1e-9);
    EXPECT_NEAR(std::remainder(p.yaw, 360.0), 0.0, 1e-9);
}

TEST(CalcRPY, AnglesRebuildTheMatrixOverTheWholeGrid)
{
    for (double roll = -180.0; roll <= 180.0; roll += 22.5)
        for (double pitch = -180.0; pitch <= 180.0; pitch += 15.0)
            for (double yaw = -165.0; yaw <= 360.0; yaw += 35.0) {
                const Matrix4 m = Attitude(roll, pitch, yaw);
                const Rpy r = Read(m);
                EXPECT_LT(RotationDifference(Attitude(r.roll, r.pitch, r.yaw), m), 1e-9)
                    << "roll " << roll << " pitch " << pitch << " yaw " << yaw;
                EXPECT_LE(std::fabs(std::remainder(r.roll, 360.0)), 90.0 + 1e-9);
                if (std::fabs(std::remainder(pitch, 180.0)) < 89.0 && std::fabs(std::remainder(roll, 180.0)) < 89.0) {
                    // Away from the vertical and the turn-over the angles themselves return.
                    const bool flipped = std::fabs(std::remainder(roll, 360.0)) > 90.0 ||
                                         std::fabs(std::remainder(pitch, 360.0)) > 90.0;
                    if (!flipped) {
                        EXPECT_NEAR(r.roll, roll, 1e-9);
                        EXPECT_NEAR(r.pitch, pitch, 1e-9);
                        EXPECT_NEAR(std::remainder(r.yaw - yaw, 360.0), 0.0, 1e-9);
                    }
                }
            }
}

TEST(CalcRPY, TranslationDoesNotChangeTheAttitude)
{
    const Matrix4 turned = Attitude(5, -12, 70);
    const Matrix4 moved = TransMatrix(turned, Point(150.0, -40.0, 12.0));
    const Rpy a = Read(turned), b = Read(moved);
    EXPECT_NEAR(b.roll, a.roll, 1e-9);
    EXPECT_NEAR(b.pitch, a.pitch, 1e-9);
    EXPECT_NEAR(b.yaw, a.yaw, 1e-9);
    EXPECT_NEAR(a.yaw, 70.0, 1e-9);
}
