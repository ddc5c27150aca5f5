// The inverse geodetic problem for the short lines of survey work, in closed form by
// Robbins' formula: the distance between two points and the azimuths at both ends
// (robinv). Points on one meridian take the meridian-arc series (MeridianArc). The
// ellipsoid is given by its semi-major axis a (the distance unit, normally metres) and
// first eccentricity squared e2. Degrees throughout, azimuths clockwise from north.
// No iteration, no allocation.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

// Solves the line from (lat1, lon1) to (lat2, lon2): azimuth12 at point 1 towards point 2,
// azimuth21 at point 2 towards point 1, both in [0, 360), and the distance. The longitude
// difference is taken the short way round (within +-180), so a line may cross the
// 180th meridian. Points on one meridian give the meridian arc and azimuths 0 / 180
// (northwards) or 180 / 0 (southwards, and identical points). False, with NaN results,
// when the ellipsoid is unusable (a not positive, e2 outside [0, 1)), a latitude lies
// beyond +-90 or an argument is not finite.
KVS_API bool robinv(double a, double e2, double lat1, double lon1, double lat2, double lon2, double& azimuth12,
            double& azimuth21, double& distance);

// Length of the meridian from the equator to the latitude (radians; negative south),
// by the series in e2 to the third power (Snyder, Map Projections, eq. 3-21).
KVS_API double MeridianArc(double a, double e2, double latRadians);
