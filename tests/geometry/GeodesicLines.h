// WGS 84 and the grid of test lines (lengths, start latitudes, azimuths) on which the
// closed-form direct and inverse solutions are held against GeographicLib.
#pragma once

#include <array>
#include <cmath>

namespace geodesic_test {

inline constexpr double kA = 6378137.0;
inline constexpr double kF = 1.0 / 298.257223563;
inline constexpr double kE2 = kF * (2.0 - kF);

// Largest differences from the reference allowed per line length: what the closed forms
// achieve with some margin (distance or position in metres, azimuths in arc seconds).
struct Tolerance
{
    double length;
    double distance;
    double azimuth;
    double backAzimuth;
};

inline constexpr std::array<double, 11> kLatitudes{-80, -60, -45, -20, -1, 0, 0.5, 20, 45, 60, 80};

// Azimuths 0, 15, ... 345 and some that fall between.
template <typename F>
void ForEachAzimuth(F&& f)
{
    for (double az = 0.0; az < 360.0; az += 15.0) f(az);
    for (double az : {0.25, 89.9, 90.1, 179.75, 269.99, 301.3}) f(az);
}

// The difference of two azimuths in degrees, folded into [0, 180].
inline double AzimuthDifference(double a, double b)
{
    return std::fabs(std::remainder(a - b, 360.0));
}

} // namespace geodesic_test
