#include <KvsDataBlocks/geometry/AttitudeCorrection.h>

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>

namespace {

struct Vec3
{
    double x, y, z;
};

double MagnitudeWithSign(double x, double s)
{
    return s >= 0.0 ? std::fabs(x) : -std::fabs(x);
}

// The pitch-roll correction of (x, y, z), before any heading.
Vec3 PitchRoll(double x, double y, double z, double pitch, double roll)
{
    const double sp = std::sin(pitch * D_TO_R), cp = std::cos(pitch * D_TO_R);
    const double sr = std::sin(roll * D_TO_R), cr = std::cos(roll * D_TO_R);
    double se = 1.0, ce = 0.0; // sine and cosine of the Euler roll
    if (cp != 0.0) {
        se = std::clamp(sr / cp, -1.0, 1.0);
        ce = MagnitudeWithSign(std::cos(std::asin(se)), cr);
    }
    return {x * ce + z * se, y * cp - x * se * sp + z * ce * sp, -y * sp - x * sr + z * ce * cp};
}

} // namespace

double EulerRoll(double roll, double pitch)
{
    const double cp = std::cos(pitch * D_TO_R);
    if (cp == 0.0) return 0.0;
    return std::asin(std::clamp(std::sin(roll * D_TO_R) / cp, -1.0, 1.0)) / D_TO_R;
}

Point EulerRollCorrection(Point p, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Point(p.x * c + p.z * s, p.y, -p.x * s + p.z * c);
}

Point PitchCorrection(Point p, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Point(p.x, p.y * c + p.z * s, -p.y * s + p.z * c);
}

Point HeadingCorrection(Point p, double angle)
{
    const double s = std::sin(angle * D_TO_R), c = std::cos(angle * D_TO_R);
    return Point(p.x * c + p.y * s, -p.x * s + p.y * c, p.z);
}

CKvsDouble3D PitchRollCorrection(const CKvsDouble3D& v, double pitch, double roll)
{
    double x = 0.0, y = 0.0, z = 0.0;
    v.GetDouble3D(x, y, z);
    const Vec3 r = PitchRoll(x, y, z, pitch, roll);
    CKvsDouble3D out(0.0, 0.0, 0.0);
    out.SetDouble3D(r.x, r.y, r.z);
    return out;
}

CKvsDouble3D PitchRollHeadingCorrection(const CKvsDouble3D& v, double pitch, double roll, double heading)
{
    double x = 0.0, y = 0.0, z = 0.0;
    v.GetDouble3D(x, y, z);
    const Vec3 r = PitchRoll(x, y, z, pitch, roll);
    const double sh = std::sin(heading * D_TO_R), ch = std::cos(heading * D_TO_R);
    CKvsDouble3D out(0.0, 0.0, 0.0);
    out.SetDouble3D(ch * r.x + sh * r.y, ch * r.y - sh * r.x, r.z);
    return out;
}
