#include "GeodesicSolver.h"

#include <KvsDataBlocks/geometry/ClarkeDirect.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/geometry/RobbinsInverse.h>

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <cstdio>

namespace kvs::tool {

namespace {

// Degrees folded into [0, 360).
double Azimuth(double degrees)
{
    double a = std::fmod(degrees, 360.0);
    if (a < 0.0) a += 360.0;
    return a >= 360.0 ? 0.0 : a;
}

bool Finite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

std::string Metres(double m)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f m", m);
    return text;
}

std::string ClosedFormRefused(double off)
{
    return "the closed form would be " + (std::isfinite(off) ? Metres(off) : std::string("wholly")) +
           " off the exact geodesic here (more than 1 cm allowed); use the exact solution";
}

} // namespace

GeodesicSolver::GeodesicSolver(double a, double e2, GeodesicMethod method)
    : m_a(a), m_e2(e2), m_f(1.0 - std::sqrt(1.0 - e2)), m_method(method)
{
}

bool GeodesicSolver::Inverse(double lat1, double lon1, double lat2, double lon2, GeodesicInverse& out,
                             std::string& error) const
{
    if (!Finite({lat1, lon1, lat2, lon2})) {
        error = "the coordinates must be finite numbers";
        return false;
    }
    if (std::fabs(lat1) > 90.0 || std::fabs(lat2) > 90.0) {
        error = "a latitude lies outside -90..90 degrees";
        return false;
    }
    const GeographicLib::Geodesic geodesic(m_a, m_f);
    double s12 = 0.0, azi1 = 0.0, azi2 = 0.0;
    geodesic.Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
    if (!Finite({s12, azi1, azi2})) {
        error = "the inverse problem has no solution for these arguments";
        return false;
    }
    GeodesicInverse exact{s12, Azimuth(azi1), Azimuth(azi2 + 180.0)};
    if (m_method == GeodesicMethod::Exact) {
        out = exact;
        return true;
    }
    GeodesicInverse closed;
    robinv(m_a, m_e2, lat1, lon1, lat2, lon2, closed.azimuth12, closed.azimuth21, closed.distance);
    const double off = std::fabs(closed.distance - exact.distance);
    // The azimuths count too: 1 cm sideways at the far end of the line.
    const double turn = std::fabs(std::remainder(closed.azimuth12 - exact.azimuth12, 360.0)) * M_PI / 180.0;
    const double sideways = exact.distance * turn;
    if (!Finite({closed.distance, closed.azimuth12, closed.azimuth21}) || off > kClosedFormTolerance ||
        sideways > kClosedFormTolerance) {
        error = ClosedFormRefused(std::isfinite(closed.distance) ? std::max(off, sideways) : NAN);
        return false;
    }
    out = closed;
    return true;
}

bool GeodesicSolver::Direct(double lat1, double lon1, double azimuth, double distance, GeodesicDirect& out,
                            std::string& error) const
{
    if (!Finite({lat1, lon1, azimuth, distance})) {
        error = "the coordinates, azimuth and distance must be finite numbers";
        return false;
    }
    if (std::fabs(lat1) > 90.0) {
        error = "the latitude lies outside -90..90 degrees";
        return false;
    }
    if (distance < 0.0 || distance > kMaxDistance) {
        error = "the distance must lie within 0..1e9 m (beyond, its rounding alone passes a micrometre)";
        return false;
    }
    const GeographicLib::Geodesic geodesic(m_a, m_f);
    double lat2 = 0.0, lon2 = 0.0, azi2 = 0.0;
    geodesic.Direct(lat1, lon1, azimuth, distance, lat2, lon2, azi2);
    if (!Finite({lat2, lon2, azi2})) {
        error = "the direct problem has no solution for these arguments";
        return false;
    }
    GeodesicDirect exact{lat2, modgeo(lon2), Azimuth(azi2 + 180.0)};
    if (m_method == GeodesicMethod::Exact) {
        out = exact;
        return true;
    }
    GeodesicDirect closed;
    ClarkePolar(m_a, m_e2, lat1, lon1, azimuth, distance, closed.lat2, closed.lon2, closed.backAzimuth);
    if (!Finite({closed.lat2, closed.lon2, closed.backAzimuth}) || std::fabs(closed.lat2) > 90.0) {
        error = ClosedFormRefused(NAN);
        return false;
    }
    closed.lon2 = modgeo(closed.lon2);
    // How far the closed form's end lies from the exact end.
    double off = 0.0;
    geodesic.Inverse(exact.lat2, exact.lon2, closed.lat2, closed.lon2, off);
    if (!(off <= kClosedFormTolerance)) {
        error = ClosedFormRefused(off);
        return false;
    }
    out = closed;
    return true;
}

} // namespace kvs::tool
