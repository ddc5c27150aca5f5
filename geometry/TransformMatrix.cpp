#include <KvsDataBlocks/geometry/TransformMatrix.h>

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cmath>

namespace {

struct Vec3
{
    double x, y, z;
};

// The image of a direction under m: the rotation block only. Taking the translation
// along would tilt the axes read from a transform that also moves the origin.
Vec3 Direction(const Matrix4& m, double x, double y, double z)
{
    return {m[0][0] * x + m[0][1] * y + m[0][2] * z, m[1][0] * x + m[1][1] * y + m[1][2] * z,
            m[2][0] * x + m[2][1] * y + m[2][2] * z};
}

Matrix4 Rotation(double r00, double r01, double r02, double r10, double r11, double r12, double r20, double r21,
                 double r22)
{
    Matrix4 r;
    r[0] = {r00, r01, r02, 0.0};
    r[1] = {r10, r11, r12, 0.0};
    r[2] = {r20, r21, r22, 0.0};
    r[3] = {0.0, 0.0, 0.0, 1.0};
    return r;
}

} // namespace

Matrix4 PitchMatrix(const Matrix4& m, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Rotation(1.0, 0.0, 0.0, 0.0, c, s, 0.0, -s, c) * m;
}

Matrix4 RollMatrix(const Matrix4& m, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Rotation(c, 0.0, s, 0.0, 1.0, 0.0, -s, 0.0, c) * m;
}

Matrix4 YawMatrix(const Matrix4& m, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Rotation(c, s, 0.0, -s, c, 0.0, 0.0, 0.0, 1.0) * m;
}

Matrix4 TransMatrix(const Matrix4& m, const Point& t)
{
    Matrix4 r = Matrix4::Identity();
    r[0][3] = t.x;
    r[1][3] = t.y;
    r[2][3] = t.z;
    return r * m;
}

void CalcRPY(const Matrix4& m, double& roll, double& pitch, double& yaw)
{
    const Vec3 f = Direction(m, 0.0, 1.0, 0.0);
    const double h = std::sqrt(f.x * f.x + f.y * f.y);
    pitch = modgeo(-std::atan2(f.z, h) / D_TO_R);
    if (std::fabs(h) <= 0.001) {
        // The forward axis is (nearly) vertical and says nothing about the yaw: the x axis
        // gives it, and with it every turn about the vertical forward axis, roll included.
        // The up axis would add only a ratio of rounding residues (uz and cos(pitch) both
        // vanish), which could turn the reading over by 180; the roll is 0.
        const Vec3 a = Direction(m, 1.0, 0.0, 0.0);
        yaw = modgeo(std::atan2(a.x, a.y) / D_TO_R - 90.0);
        roll = 0.0;
        return;
    }
    yaw = modgeo(std::atan2(f.x, f.y) / D_TO_R);
    const Vec3 u = Direction(m, 0.0, 0.0, 1.0);
    const double cy = std::cos(yaw * D_TO_R), sy = std::sin(yaw * D_TO_R);
    const double n = cy * u.x - sy * u.y;
    double d = u.z;
    const double cp = std::cos(pitch * D_TO_R);
    if (cp != 0.0) d /= cp;
    roll = std::atan2(n, d) / D_TO_R;
    if (std::fabs(roll) > 90.0) {
        yaw += 180.0;
        pitch = 180.0 - pitch;
        roll += 180.0;
    }
}
