#include <KvsDataBlocks/geometry/RobbinsInverse.h>

#include <KvsDataBlocks/geometry/detail/EllipsoidLine.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cmath>

using namespace kvs::geometry::detail;

double MeridianArc(double a, double e2, double phi)
{
    const double e4 = e2 * e2, e6 = e4 * e2;
    return a * ((1.0 - e2 / 4.0 - 3.0 * e4 / 64.0 - 5.0 * e6 / 256.0) * phi -
                (3.0 * e2 / 8.0 + 3.0 * e4 / 32.0 + 45.0 * e6 / 1024.0) * std::sin(2.0 * phi) +
                (15.0 * e4 / 256.0 + 45.0 * e6 / 1024.0) * std::sin(4.0 * phi) -
                (35.0 * e6 / 3072.0) * std::sin(6.0 * phi));
}

bool robinv(double a, double e2, double lat1, double lon1, double lat2, double lon2, double& azimuth12,
            double& azimuth21, double& distance)
{
    if (!UsableEllipsoid(a, e2) || !UsableLatitude(lat1) || !UsableLatitude(lat2) || !std::isfinite(lon1) ||
        !std::isfinite(lon2)) {
        azimuth12 = azimuth21 = distance = kNaN;
        return false;
    }
    const double phi1 = lat1 * D_TO_R, phi2 = lat2 * D_TO_R;
    // The short way round: 179 to -179 is 2 degrees east, not 358 west.
    const double dLambda = modgeo(lon2 - lon1) * D_TO_R;
    if (std::fabs(std::sin(dLambda)) < 1e-38) {
        // One meridian (also 180 and -180, and differences too small for the series).
        distance = std::fabs(MeridianArc(a, e2, phi2) - MeridianArc(a, e2, phi1));
        if (lat2 <= lat1) {
            azimuth12 = 180.0;
            azimuth21 = 0.0;
        } else {
            azimuth12 = 0.0;
            azimuth21 = 180.0;
        }
        return true;
    }
    const double sinPhi1 = std::sin(phi1), cosPhi1 = std::cos(phi1);
    const double sinPhi2 = std::sin(phi2), cosPhi2 = std::cos(phi2);
    const double n1 = PrimeVerticalRadius(a, e2, sinPhi1), n2 = PrimeVerticalRadius(a, e2, sinPhi2);

    const double tanPsi2 = NormalSectionTanPsi(e2, sinPhi1, n1, sinPhi2, cosPhi2, n2);
    const double alpha12 = NormalSectionAzimuth(sinPhi1, cosPhi1, tanPsi2, dLambda);
    const double tanPsi1 = NormalSectionTanPsi(e2, sinPhi2, n2, sinPhi1, cosPhi1, n1);
    const double alpha21 = NormalSectionAzimuth(sinPhi2, cosPhi2, tanPsi1, -dLambda);

    const double cosPsi2 = 1.0 / std::sqrt(1.0 + tanPsi2 * tanPsi2);
    const double sigma = SafeAsin(cosPsi2 * std::sin(dLambda) / std::sin(alpha12));
    // g and h carry their signs (g with the hemisphere, h with north- or southbound): the
    // odd terms of the series lengthen some lines and shorten others.
    const double ep2 = e2 / (1.0 - e2);
    const double ep = std::sqrt(ep2);
    const double h = ep * cosPhi1 * std::cos(alpha12), g = ep * sinPhi1;
    const double h2 = h * h, g2 = g * g;
    const double s2 = sigma * sigma, s3 = s2 * sigma, s4 = s3 * sigma, s5 = s4 * sigma;
    distance = std::fabs(n1 * sigma *
                         (1.0 - s2 * h2 * (1.0 - h2) / 6.0 + s3 * g * h * (1.0 - 2.0 * h2) / 8.0 +
                          s4 * (h2 * (4.0 - 7.0 * h2) - 3.0 * g2 * (1.0 - 7.0 * h2)) / 120.0 - s5 * g * h / 48.0));
    azimuth12 = AzimuthDegrees(alpha12);
    azimuth21 = AzimuthDegrees(alpha21);
    return true;
}
