#include <KvsDataBlocks/formula/VectorMath.h>

#include <algorithm>
#include <cmath>

namespace kvs {

namespace {

constexpr double kRad = kVectorDegToRad;

} // namespace

vec2d_rect PolToRect2d(const vec2d_pol& in)
{
    const double b = in.bearing * kRad;
    return {std::sin(b) * in.distance, std::cos(b) * in.distance};
}

vec2d_rect PolToRect2d(const vec3d_pol& in)
{
    const double b = in.bearing * kRad;
    const double h = std::cos(in.elevation * kRad) * in.distance;
    return {std::sin(b) * h, std::cos(b) * h};
}

vec2d_pol RectToPol2d(const vec2d_rect& in)
{
    return {std::sqrt(in.x * in.x + in.y * in.y), std::atan2(in.x, in.y) / kRad};
}

vec2d_pol RectToPol2d(const vec3d_rect& in)
{
    const double h = std::sqrt(in.x * in.x + in.y * in.y);
    return {std::sqrt(h * h + in.z * in.z), std::atan2(in.x, in.y) / kRad};
}

vec3d_rect PolToRect3d(const vec2d_pol& in)
{
    const double b = in.bearing * kRad;
    return {std::sin(b) * in.distance, std::cos(b) * in.distance, 0.0};
}

vec3d_rect PolToRect3d(const vec3d_pol& in)
{
    const double b = in.bearing * kRad;
    const double e = in.elevation * kRad;
    const double h = std::cos(e) * in.distance;
    return {std::sin(b) * h, std::cos(b) * h, std::sin(e) * in.distance};
}

vec3d_pol RectToPol3d(const vec3d_rect& in)
{
    const double h = std::sqrt(in.x * in.x + in.y * in.y);
    return {std::sqrt(h * h + in.z * in.z), std::atan2(in.x, in.y) / kRad, std::atan2(in.z, h) / kRad};
}

vec3d_pol RectToPol3d(const vec2d_rect& in)
{
    return {std::sqrt(in.x * in.x + in.y * in.y), std::atan2(in.x, in.y) / kRad, 0.0};
}

vec3d_rect AttCorRect3d(const vec3d_rect& in, const attitude& att)
{
    const double sp = std::sin(att.pitch * kRad);
    const double cp = std::cos(att.pitch * kRad);
    const double sr = std::sin(att.roll * kRad);
    // Roll about the pitched forward axis: se is its sine there, ce its cosine (>= 0).
    double se = 1.0;
    double ce = 0.0;
    if (cp != 0.0) {
        se = std::clamp(sr / cp, -1.0, 1.0);
        ce = std::cos(std::asin(se));
    }
    const double x = in.x * ce + in.z * se;
    const double y = in.y * cp - in.x * se * sp + in.z * ce * sp;
    const double z = -in.y * sp - in.x * sr + in.z * ce * cp;
    const double sh = std::sin(att.heading * kRad);
    const double ch = std::cos(att.heading * kRad);
    return {ch * x + sh * y, ch * y - sh * x, z};
}

vec2d_rect AttCor2dRect(const vec2d_rect& in, const attitude& att)
{
    const vec3d_rect out = AttCorRect3d({in.x, in.y, 0.0}, att);
    return {out.x, out.y};
}

vec3d_rect AttCor3dRect(const vec3d_rect& in, const attitude& att)
{
    return AttCorRect3d(in, att);
}

vec2d_pol AttCor2dPol(const vec2d_pol& in, const attitude& att)
{
    return RectToPol2d(AttCorRect3d(PolToRect3d(in), att));
}

vec3d_pol AttCor3dPol(const vec3d_pol& in, const attitude& att)
{
    return RectToPol3d(AttCorRect3d(PolToRect3d(in), att));
}

} // namespace kvs
