#include <KvsDataBlocks/geometry/ClarkeDirect.h>

#include <KvsDataBlocks/geometry/detail/EllipsoidLine.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
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
    // Each angle's sine and cosine come from one sincos; the angles found on the way (psi,
    // the longitude difference, the end latitude) are carried as sine and cosine and
    // turned into an angle only where one is returned, which leaves one asin and two
    // atan2 beside the three sincos.
    // What depends on the ellipsoid only, divided out first, apart from the chain below.
    const double invA = 1.0 / a, onePlusEp2 = 1.0 / (1.0 - e2); // 1 + e'^2 = a^2 / b^2
    const double ep2 = e2 * onePlusEp2;                            // second eccentricity squared
    double sinPhi1, cosPhi1, sinAlpha, cosAlpha;
    SinCosDegrees(lat1, sinPhi1, cosPhi1);
    SinCosDegrees(azimuth, sinAlpha, cosAlpha);
    const double w1 = RadiusFactor(e2, sinPhi1); // a / N(lat1)
    // The forward azimuth turned round, in [0, 360), for the back azimuth below; the
    // azimuth is folded first, so that a large one keeps its 180 degrees.
    double reverse = azimuth;
    if (!(reverse >= 0.0 && reverse < 360.0)) {
        reverse = std::fmod(reverse, 360.0);
        reverse += 360.0 * static_cast<double>(reverse < 0.0);
    }
    reverse += 180.0;
    reverse -= 360.0 * static_cast<double>(reverse >= 360.0);

    const double r1 = -ep2 * cosPhi1 * cosPhi1 * cosAlpha * cosAlpha;
    const double r2 = 3.0 * ep2 * (1.0 - r1) * cosPhi1 * sinPhi1 * cosAlpha;
    // The factors that do not wait for w1 first, so that the series in sigma is short.
    const double sigma = w1 * (distance * invA);
    const double c3 = r1 * (1.0 + r1) * (1.0 / 6.0), c4 = r2 * (1.0 + 3.0 * r1) * (1.0 / 24.0);
    const double theta = sigma - sigma * sigma * sigma * (c3 + c4 * sigma);
    const double r3 = 1.0 - r1 * theta * theta * 0.5 - r2 * theta * theta * theta * (1.0 / 6.0);
    double sinTheta, cosTheta;
    if (std::fabs(theta) <= kSmallAngle)
        SinCosSmall(theta, sinTheta, cosTheta);
    else
        SinCos(theta, sinTheta, cosTheta);

    // psi = asin(sinPsi) lies within +-90 degrees: its cosine is not negative. Rounding
    // may carry sinPsi past +-1 near a pole; the branch for that, rarely taken, keeps the
    // clamp off the chain of operations.
    double sinPsi = sinPhi1 * cosTheta + cosPhi1 * sinTheta * cosAlpha;
    if (std::fabs(sinPsi) > 1.0) sinPsi = std::copysign(1.0, sinPsi);
    const double cos2Psi = (1.0 - sinPsi) * (1.0 + sinPsi);
    const double cosPsi = std::sqrt(cos2Psi);
    // cos(psi) sin(dLon) and cos(psi) cos(dLon) of the same spherical triangle, which need
    // no division by cos(psi).
    const double sinDLambdaCosPsi = sinTheta * sinAlpha;
    const double cosDLambdaCosPsi = cosTheta * cosPhi1 - sinTheta * sinPhi1 * cosAlpha;
    // At a pole (cos(psi) = 0) every longitude is the end point's; the start's is kept.
    const double sinDLambda = cosPsi > 0.0 ? std::clamp(sinDLambdaCosPsi / cosPsi, -1.0, 1.0) : 0.0;
    // tan(lat2) = (1 + ep2) (1 - e2 r3 sin(lat1) / sin(psi)) tan(psi) = north / east: no
    // division by sin(psi), which is 0 for an end point on the equator; east = cos(psi) is
    // 0 only at a pole.
    const double north = onePlusEp2 * (sinPsi - e2 * r3 * sinPhi1), east = cosPsi;
    // A short line ends near the start's latitude: lat2 = lat1 + atan(tan(lat2 - lat1)),
    // where tan(lat2 - lat1) = (north cos(lat1) - east sin(lat1)) / (east cos(lat1) + north
    // sin(lat1)) is small and the series serves.
    const double across = north * cosPhi1 - east * sinPhi1, along = east * cosPhi1 + north * sinPhi1;
    const bool nearStart = east > 0.0 && std::fabs(across) <= kSmallAngle * along;

    // The normal section at the end point back towards the start. sin(lat2) and cos(lat2)
    // enter as north and east, both radius = sqrt(north^2 + east^2) times too large, and so
    // does sin(dLon), so that both atan2 arguments grow alike and no division by radius is
    // needed; N2 / N1 = w1 / w2 with w2 = q / radius, q = sqrt(east^2 + (1 - e2) north^2).
    const double radius = std::sqrt(north * north + cos2Psi);
    const double q = std::sqrt(cos2Psi + (1.0 - e2) * north * north);
    if (cosPsi > 0.0 && cosDLambdaCosPsi > 0.0) {
        // Within 90 degrees of longitude, both arguments times cos(psi) q > 0: the same
        // azimuth with no division on the way.
        // Grouped so that the square roots, found last, enter by one product each.
        const double e = (-sinDLambdaCosPsi * cosPhi1) * (radius * q);
        const double n = q * (cos2Psi * ((1.0 - e2) * sinPhi1) - north * (cosDLambdaCosPsi * cosPhi1)) +
                         cos2Psi * (e2 * w1) * north;
        // Seen from the reversed forward azimuth the way back turns by the small angle
        // atan2(aside, ahead), about the meridian convergence on a short line, which the
        // series takes.
        const double ahead = -(n * cosAlpha + e * sinAlpha), aside = n * sinAlpha - e * cosAlpha;
        if (std::fabs(aside) <= kSmallAngle * ahead) {
            backAzimuth = FoldDegrees(reverse + AtanSmall(aside / ahead, R_TO_D));
        } else {
            backAzimuth = AzimuthDegreesOf(e, n);
        }
    } else {
        const NormalSection back(e2, north, east, sinPhi1, cosPhi1, w1 / q, -sinDLambda * radius,
                                 CosOfAsin(sinDLambda));
        backAzimuth = AzimuthDegrees(back.Azimuth());
    }
    if (nearStart)
        lat2 = lat1 + AtanSmall(across / along, R_TO_D);
    else
        lat2 = (east > 0.0 ? std::atan(north / east) : std::copysign(kPi / 2.0, north)) * R_TO_D;
    lon2 = lon1 +
           (std::fabs(sinDLambda) <= kSmallAngle ? AsinSmall(sinDLambda, R_TO_D) : std::asin(sinDLambda) * R_TO_D);
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
