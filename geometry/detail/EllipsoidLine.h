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

// Sine and cosine of an angle in degrees. The angle is reduced in degrees, r = x - 90 q with
// q the nearest integer to x / 90: for |x| < 2^40 both 90 q and the difference are exact
// (Sterbenz), so that multiples of 90 give 0 and +-1 exactly and no rounding of x pi / 180
// enters; beyond that bound fmod by 360, exact too, comes first. The polynomials on
// |r| <= 45 follow. Within about a unit of the last place of the library's value of the
// exact angle; NaN for infinities and NaN, as the library gives; zeros are +0 but for
// sin(-0) = -0.
inline void SinCosDegrees(double x, double& sinX, double& cosX)
{
    if (!(std::fabs(x) < 0x1p40)) {
        if (!std::isfinite(x)) {
            sinX = cosX = x - x;
            return;
        }
        x = std::fmod(x, 360.0);
    }
    constexpr double kShift = 0x1.8p52; // adding it rounds to an integer
    const double q = (x * (1.0 / 90.0) + kShift) - kShift;
    const double r = x - q * 90.0;
    // With the quadrant n and the sign of its half turn, g, the results are sin(g t) and
    // g cos(t) for even n, g cos(t) and -sin(g t) for odd n, t = r pi / 180. g goes into the
    // argument of the sine and into the parts of the cosine before they meet, which leaves
    // nothing to do after the series but the choice by n (a branch, which costs less on the
    // lines measured than a choice without one). g r is 0 - r for g = -1, +0 rather than -0
    // at multiples of 180.
    const int n = static_cast<int>(static_cast<long long>(q) & 3);
    static constexpr double kSign[4] = {1.0, 1.0, -1.0, -1.0}, kZero[4] = {-0.0, -0.0, 0.0, 0.0};
    const double g = kSign[n], gr = kZero[n] + g * r, gt = gr * D_TO_R;
    // Polynomials in u = r^2, in degrees, which spares the product t = r pi / 180 before u:
    // sin(t) = t + r u S(u), cos(t) = 1 - t^2 / 2 + u^2 C(u). S and C are minimax on
    // |t| <= pi/4 (Remez, relative error of the sine 2^-57.9, of the cosine 2^-64).
    const double u = r * r, u2 = u * u, u4 = u2 * u2;
    const double m = gr * u *
                     (((-8.860961557012961e-07 + u * 1.3496016231614379e-11) +
                       u2 * (-9.788384855853122e-17 + u * 4.1412665750551985e-22)) +
                      u4 * (-1.1467578793302753e-27 + u * 2.21666200364696e-33));
    // sin(g t) and -sin(g t): copysign keeps sin(-0) = -0, which the sum turns into +0; the
    // other sum gives +0 at odd multiples of 90.
    const double sinGt = std::copysign(gt + m, gt), minusSinGt = -gt - m;
    // 1 - t^2 / 2 rounded (the factor is (pi / 180)^2 / 2), and what the rounding dropped,
    // carried with the series.
    const double half = u * 1.523087098933543e-4, w = 1.0 - half;
    const double gCos = g * w + (g * ((1.0 - w) - half) +
                                 (g * u2) * (((3.866323851562987e-09 - u * 3.9258319857386173e-14) +
                                              u2 * (2.1354943024979685e-19 - u * 7.227873840123211e-25)) +
                                             u4 * (1.667897936061176e-30 - u * 2.7644267984630198e-36)));
    const bool odd = (n & 1) != 0;
    sinX = odd ? gCos : sinGt;
    cosX = odd ? minusSinGt : gCos;
}

// Series for the small angles of short lines (|x| <= 1/16 rad, about 400 km of arc): each
// is summed until the next term lies below a thousandth of the last bit, so it gives what
// the library function gives to within rounding, at a fraction of the time. Callers take
// the library function beyond the bound. The polynomials in x^2 are evaluated in pairs of
// terms (Estrin's scheme) rather than one term after the other, which halves the chain of
// dependent operations.
inline constexpr double kSmallAngle = 0.0625;

inline void SinCosSmall(double x, double& sinX, double& cosX)
{
    const double z = x * x, z2 = z * z;
    sinX = x + x * z * ((-1.0 / 6 + z * (1.0 / 120)) + z2 * (-1.0 / 5040 + z * (1.0 / 362880)));
    cosX = 1.0 + z * ((-0.5 + z * (1.0 / 24)) + z2 * (-1.0 / 720 + z * (1.0 / 40320)));
}

// k (x + x z ((c0 + c1 z) + z^2 (c2 + c3 z) + z^4 (c4 + c5 z))), z = x^2, with the factor k
// taken into k x and the coefficients rather than applied after the series: k = R_TO_D
// gives degrees without one more product on the chain, k = 1 changes nothing.
inline double OddSeries6(double x, double k, double c0, double c1, double c2, double c3, double c4, double c5)
{
    const double z = x * x, z2 = z * z, z4 = z2 * z2;
    return k * x + x * z * (((k * c0 + k * c1 * z) + z2 * (k * c2 + k * c3 * z)) + z4 * (k * c4 + k * c5 * z));
}

inline double AsinSmall(double x, double k = 1.0)
{
    return OddSeries6(x, k, 1.0 / 6, 3.0 / 40, 5.0 / 112, 35.0 / 1152, 63.0 / 2816, 231.0 / 13312);
}

inline double AtanSmall(double x, double k = 1.0)
{
    return OddSeries6(x, k, -1.0 / 3, 1.0 / 5, -1.0 / 7, 1.0 / 9, -1.0 / 11, 1.0 / 13);
}

// atan(k / 8), k = 0 .. 8.
inline constexpr double kAtanEighths[9] = {
    0,
    0.12435499454676144,
    0.24497866312686414,
    0.35877067027057225,
    0.46364760900080609,
    0.55859931534356244,
    0.64350110879328437,
    0.71882999962162453,
    0.78539816339744828,
};

// atan2(y, x) in [-pi, pi] as std::atan2 gives it, to within a unit or two of the last
// place. With num the smaller and den the larger argument,
// atan(num / den) = atan(c) + atan((num - c den) / (den + c num)) for c the eighth nearest
// num / den, found by comparisons rather than by a division, so that the only division is
// that of the remainder (at most 1/16), which the series takes. Zeros, infinities and NaN
// go to std::atan2.
inline double FastAtan2(double y, double x)
{
    const double ax = std::fabs(x), ay = std::fabs(y);
    const double num = std::min(ax, ay), den = std::max(ax, ay);
    constexpr double kMax = std::numeric_limits<double>::max();
    if (!(ax <= kMax && ay <= kMax && den > 0.0)) return std::atan2(y, x); // also NaN, which min and max drop
    int k = 0;
    for (int j = 1; j <= 8; ++j) k += static_cast<int>(num > den * ((j - 0.5) / 8.0));
    const double c = k * 0.125;
    // |u| <= 1/16: the series to u^13.
    const double u = (num - c * den) / (den + c * num);
    const double r = kAtanEighths[k] + AtanSmall(u);
    // The octant by table rather than by branches, which the azimuths of a batch of lines
    // would mispredict: pi/2 - r above the diagonal, pi - that left of the y axis.
    static constexpr double kOffset[4] = {0.0, kPi / 2.0, kPi, kPi / 2.0};
    static constexpr double kSign[4] = {1.0, -1.0, -1.0, 1.0};
    const int octant = static_cast<int>(ay > ax) | (static_cast<int>(x < 0.0) << 1);
    return std::copysign(kOffset[octant] + kSign[octant] * r, y);
}

// The azimuth atan2(east, north) in degrees, in [0, 360).
inline double AzimuthDegreesOf(double east, double north)
{
    double deg = FastAtan2(east, north) * R_TO_D;
    deg += 360.0 * static_cast<double>(deg < 0.0);
    return deg >= 360.0 ? 0.0 : deg;
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

// An angle in degrees within a turn of [0, 360) brought into it, by branches that a
// batch of azimuths near north alone takes.
inline double FoldDegrees(double deg)
{
    if (deg >= 360.0) deg -= 360.0;
    if (deg < 0.0) deg += 360.0;
    return deg >= 360.0 ? 0.0 : deg;
}

// An azimuth in radians as degrees in [0, 360).
inline double AzimuthDegrees(double radians)
{
    return FoldDegrees(radians * R_TO_D);
}

} // namespace kvs::geometry::detail
