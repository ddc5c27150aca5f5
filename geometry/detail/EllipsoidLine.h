// Pieces shared by the closed-form direct (Clarke) and inverse (Robbins) solutions: the
// argument checks, the prime-vertical radius and the azimuth of the normal section from
// one point towards another. Angles travel as sine and cosine wherever the formulas allow,
// so that each solution needs few trigonometric calls. Internal to the geometry functions.
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

// An azimuth in radians from atan2, (-pi, pi], brought into [0, 2 pi).
inline double PositiveAzimuth(double az)
{
    if (az < 0.0) az += 2.0 * kPi;
    if (az >= 2.0 * kPi) az -= 2.0 * kPi;
    return az;
}

// Sine and cosine of one angle (the compiler makes them one sincos call).
inline void SinCos(double x, double& sinX, double& cosX)
{
    sinX = std::sin(x);
    cosX = std::cos(x);
}

// sqrt(1 - e2 sin^2(lat)) = a / N(lat): the prime-vertical radius of curvature N as a
// fraction of the semi-major axis, inverted.
inline double RadiusFactor(double e2, double sinLat)
{
    return std::sqrt(1.0 - e2 * sinLat * sinLat);
}

// cos(asin(x)) for x in [-1, 1], without the two calls.
inline double CosOfAsin(double x)
{
    return std::sqrt((1.0 - x) * (1.0 + x));
}

// The normal section from A towards B has the azimuth atan2(east, north), with
//   east  = sin(dLon) cos(latB),
//   north = cos(latA) ((1 - e2) sin(latB) + e2 (NA / NB) sin(latA)) - sin(latA) cos(dLon) cos(latB),
// dLon = lonB - lonA. This is atan2(sin(dLon), cos(latA) tan(psiB) - sin(latA) cos(dLon))
// with tan(psiB) = (1 - e2) tan(latB) + e2 NA sin(latA) / (NB cos(latB)), the latitude of
// B seen along the normal through A, both arguments scaled by cos(latB) > 0, which keeps
// the quadrant and needs no division. The quadrant follows the signs of the east and north
// parts, so lines running nearly east-west, or between points of one latitude, get it
// right.
struct NormalSection
{
    double east, north;

    NormalSection(double e2, double sinA, double cosA, double sinB, double cosB, double nAOverNB, double sinDLon,
                  double cosDLon)
        : east(sinDLon * cosB), north(cosA * ((1.0 - e2) * sinB + e2 * nAOverNB * sinA) - sinA * cosDLon * cosB)
    {
    }
    // Radians in [0, 2 pi).
    double Azimuth() const { return PositiveAzimuth(std::atan2(east, north)); }
};

// An azimuth in degrees brought into [0, 360).
inline double AzimuthDegrees(double radians)
{
    double deg = radians * R_TO_D;
    if (deg >= 360.0) deg -= 360.0;
    if (deg < 0.0) deg += 360.0;
    return deg >= 360.0 ? 0.0 : deg;
}

} // namespace kvs::geometry::detail
