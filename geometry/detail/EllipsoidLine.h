// Pieces shared by the closed-form direct (Clarke) and inverse (Robbins) solutions: the
// argument checks, the prime-vertical radius and the azimuth of the normal section from
// one point towards another. Internal to the geometry functions.
#pragma once

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kvs::geometry::detail {

inline constexpr double kPi = 3.141592653589793;

// An ellipsoid the formulas can use: a finite positive semi-major axis and an
// eccentricity squared in [0, 1).
inline bool UsableEllipsoid(double a, double e2)
{
    return std::isfinite(a) && a > 0.0 && std::isfinite(e2) && e2 >= 0.0 && e2 < 1.0;
}

inline bool UsableLatitude(double lat)
{
    return std::isfinite(lat) && std::fabs(lat) <= 90.0;
}

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// asin of a value that rounding may have carried just beyond +-1.
inline double SafeAsin(double x)
{
    return std::asin(std::clamp(x, -1.0, 1.0));
}

// Radius of curvature in the prime vertical for the sine of the latitude.
inline double PrimeVerticalRadius(double a, double e2, double sinLat)
{
    return a / std::sqrt(1.0 - e2 * sinLat * sinLat);
}

// tan of the latitude, seen along the normal through point A, of point B:
// (1 - e2) tan(latB) + e2 NA sin(latA) / (NB cos(latB)).
inline double NormalSectionTanPsi(double e2, double sinA, double nA, double sinB, double cosB, double nB)
{
    return (1.0 - e2) * sinB / cosB + e2 * nA * sinA / (nB * cosB);
}

// Azimuth in radians, [0, 2 pi), of the normal section at A towards B, from A's latitude,
// the NormalSectionTanPsi of B and the longitude difference lonB - lonA (radians, within
// +-pi). The quadrant follows the signs of the east and north parts of the direction, so
// lines running nearly east-west, or between points of one latitude, get it right.
inline double NormalSectionAzimuth(double sinA, double cosA, double tanPsiB, double dLon)
{
    double az = std::atan2(std::sin(dLon), cosA * tanPsiB - sinA * std::cos(dLon));
    if (az < 0.0) az += 2.0 * kPi;
    if (az >= 2.0 * kPi) az -= 2.0 * kPi;
    return az;
}

// An azimuth in degrees brought into [0, 360).
inline double AzimuthDegrees(double radians)
{
    double deg = radians * R_TO_D;
    if (deg >= 360.0) deg -= 360.0;
    if (deg < 0.0) deg += 360.0;
    return deg >= 360.0 ? 0.0 : deg;
}

} // namespace kvs::geometry::detail
