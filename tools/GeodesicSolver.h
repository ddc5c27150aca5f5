// GeodesicSolver: the geodesic lines that the tool's geodesy subcommand and the Python
// module give. By default GeographicLib's exact solution (Karney's algorithms, accurate to
// nanometres at any distance, antipodal points included); on request the library's closed
// forms for survey lines (Robbins inverse, Clarke direct), which are refused wherever they
// would be more than 1 cm off the exact solution rather than returning a wrong line.
#pragma once

#include <string>

namespace kvs::tool {

enum class GeodesicMethod { Exact, ClosedForm };

struct GeodesicInverse
{
    double distance = 0.0;  // metres
    double azimuth12 = 0.0; // at point 1 towards point 2, [0, 360)
    double azimuth21 = 0.0; // at point 2 back towards point 1, [0, 360)
};

struct GeodesicDirect
{
    double lat2 = 0.0;
    double lon2 = 0.0;        // (-180, 180]
    double backAzimuth = 0.0; // at the end back towards the start, [0, 360)
};

class GeodesicSolver
{
public:
    // The ellipsoid by its semi-major axis (metres) and first eccentricity squared.
    GeodesicSolver(double a, double e2, GeodesicMethod method);

    // The largest distance of the direct problem: beyond it a double's rounding of the
    // distance alone passes a micrometre.
    static constexpr double kMaxDistance = 1e9;
    // How far the closed forms may be off the exact solution before they are refused.
    static constexpr double kClosedFormTolerance = 0.01;

    // False with the reason in error (a latitude outside -90..90, a number that is not
    // finite, a closed form that would be off by more than kClosedFormTolerance).
    bool Inverse(double lat1, double lon1, double lat2, double lon2, GeodesicInverse& out, std::string& error) const;
    bool Direct(double lat1, double lon1, double azimuth, double distance, GeodesicDirect& out,
                std::string& error) const;

private:
    double m_a;
    double m_e2;
    double m_f;
    GeodesicMethod m_method;
};

} // namespace kvs::tool
