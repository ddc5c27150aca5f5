#include <KvsDataBlocks/geometry/ClarkeDirect.h>

#include <KvsDataBlocks/geometry/detail/EllipsoidLine.h>

#include <cmath>

using namespace kvs::geometry::detail;

bool ClarkePolar(double a, double e2, double lat1, double lon1, double azimuth, double distance, double& lat2,
                 double& lon2, double& backAzimuth)
{
    if (!UsableEllipsoid(a, e2) || !UsableLatitude(lat1) || !std::isfinite(lon1) || !std::isfinite(azimuth) ||
        !std::isfinite(distance)) {
        lat2 = lon2 = backAzimuth = kNaN;
        return false;
    }
    if (distance == 0.0) {
        lat2 = lat1;
        lon2 = lon1;
        backAzimuth = 0.0;
        return true;
    }
    const double ep2 = e2 / (1.0 - e2); // second eccentricity squared, a^2 / b^2 - 1
    const double phi1 = lat1 * D_TO_R, alpha = azimuth * D_TO_R;
    const double sinPhi1 = std::sin(phi1), cosPhi1 = std::cos(phi1);
    const double sinAlpha = std::sin(alpha), cosAlpha = std::cos(alpha);
    const double n1 = PrimeVerticalRadius(a, e2, sinPhi1);

    const double r1 = -ep2 * cosPhi1 * cosPhi1 * cosAlpha * cosAlpha;
    const double r2 = 3.0 * ep2 * (1.0 - r1) * cosPhi1 * sinPhi1 * cosAlpha;
    const double sigma = distance / n1;
    const double sigma3 = sigma * sigma * sigma;
    const double theta = sigma - r1 * (1.0 + r1) * sigma3 / 6.0 - r2 * (1.0 + 3.0 * r1) * sigma3 * sigma / 24.0;
    const double r3 = 1.0 - r1 * theta * theta / 2.0 - r2 * theta * theta * theta / 6.0;
    const double sinTheta = std::sin(theta), cosTheta = std::cos(theta);

    const double psi = SafeAsin(sinPhi1 * cosTheta + cosPhi1 * sinTheta * cosAlpha);
    const double cosPsi = std::cos(psi);
    const double dLambda = SafeAsin(sinTheta * sinAlpha / cosPsi);
    // tan(lat2) = (1 + ep2) (1 - e2 r3 sin(lat1) / sin(psi)) tan(psi), written without the
    // division by sin(psi), which is 0 for an end point on the equator.
    const double phi2 = std::atan((1.0 + ep2) * (std::tan(psi) - e2 * r3 * sinPhi1 / cosPsi));

    const double sinPhi2 = std::sin(phi2), cosPhi2 = std::cos(phi2);
    const double n2 = PrimeVerticalRadius(a, e2, sinPhi2);
    const double tanPsi1 = NormalSectionTanPsi(e2, sinPhi2, n2, sinPhi1, cosPhi1, n1);
    backAzimuth = AzimuthDegrees(NormalSectionAzimuth(sinPhi2, cosPhi2, tanPsi1, -dLambda));
    lat2 = phi2 * R_TO_D;
    lon2 = lon1 + dLambda * R_TO_D;
    return true;
}

bool ClarkeXY(double a, double e2, double lat1, double lon1, double dx, double dy, double& lat2, double& lon2,
              double& backAzimuth)
{
    if (!std::isfinite(dx) || !std::isfinite(dy)) {
        lat2 = lon2 = backAzimuth = kNaN;
        return false;
    }
    const double d = std::hypot(dx, dy);
    if (d == 0.0) {
        if (!UsableEllipsoid(a, e2) || !UsableLatitude(lat1) || !std::isfinite(lon1)) {
            lat2 = lon2 = backAzimuth = kNaN;
            return false;
        }
        lat2 = lat1;
        lon2 = lon1;
        backAzimuth = 0.0;
        return true;
    }
    double azimuth = std::atan2(dx, dy) * R_TO_D;
    if (azimuth < 0.0) azimuth += 360.0;
    return ClarkePolar(a, e2, lat1, lon1, azimuth, d, lat2, lon2, backAzimuth);
}
