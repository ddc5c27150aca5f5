// Ellipsoid: the reference ellipsoids that callers name for the geodesic functions
// (robinv, ClarkePolar), as one table of semi-major axis (metres) and inverse
// flattening, with the first eccentricity squared the functions take.
#pragma once

#include <array>
#include <string_view>

struct Ellipsoid
{
    std::string_view name;
    double a;                 // semi-major axis, metres
    double inverseFlattening; // 1 / f

    // First eccentricity squared, f (2 - f).
    constexpr double E2() const
    {
        const double f = 1.0 / inverseFlattening;
        return f * (2.0 - f);
    }
};

inline constexpr std::array<Ellipsoid, 6> kEllipsoids{{
    {"WGS84", 6378137.0, 298.257223563},
    {"GRS80", 6378137.0, 298.257222101},
    {"International1924", 6378388.0, 297.0},
    {"Bessel1841", 6377397.155, 299.1528128},
    {"Clarke1866", 6378206.4, 294.9786982},
    {"Airy1830", 6377563.396, 299.3249646},
}};

// The table entry of that name (exact case), or null.
constexpr const Ellipsoid* FindEllipsoid(std::string_view name)
{
    for (const Ellipsoid& e : kEllipsoids)
        if (e.name == name) return &e;
    return nullptr;
}
