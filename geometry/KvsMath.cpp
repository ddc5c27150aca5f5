#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cmath>
#include <limits>

double modgeo(double degrees)
{
    if (!std::isfinite(degrees)) return std::numeric_limits<double>::quiet_NaN();
    if (degrees > -180.0 && degrees <= 180.0) return degrees;
    double r = std::fmod(degrees, 360.0); // (-360, 360), exact
    if (r > 180.0) r -= 360.0;
    else if (r <= -180.0) r += 360.0;
    return r;
}
