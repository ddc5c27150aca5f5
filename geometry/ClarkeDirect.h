// The direct geodetic problem for the short lines of survey work, in closed form by
// Clarke's best formula: from a start point, an azimuth and a distance to the end point
// and the azimuth back to the start (ClarkePolar), or from an east/north offset
// (ClarkeXY). The ellipsoid is given by its semi-major axis a (the distance unit, normally
// metres) and first eccentricity squared e2. Degrees throughout, azimuths clockwise from
// north. No iteration, no allocation.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

// Solves the line from (lat1, lon1) with the forward azimuth over the distance. lat2 and
// lon2 are the end point (lon2 = lon1 + the longitude difference, not normalised);
// backAzimuth, in [0, 360), is the azimuth at the end point towards the start. A distance
// of 0 gives the start point and a back azimuth of 0; a negative distance runs the other
// way. False, with NaN results, when the ellipsoid is unusable (a not positive, e2 outside
// [0, 1)), a latitude lies beyond +-90 or an argument is not finite.
KVS_API bool ClarkePolar(double a, double e2, double lat1, double lon1, double azimuth, double distance, double& lat2,
                 double& lon2, double& backAzimuth);

// ClarkePolar along the direction and length of the offset: dx east, dy north (the
// distance unit of a). A zero offset gives the start point and a back azimuth of 0.
KVS_API bool ClarkeXY(double a, double e2, double lat1, double lon1, double dx, double dy, double& lat2, double& lon2,
              double& backAzimuth);
