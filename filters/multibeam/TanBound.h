// TanBound: a quick test of the angle atan2(rho, d) from the vertical against a limit L
// in degrees, used by the swath, slope and smart tests of the multibeam filter. For d > 0
// the angle exceeds L exactly when rho > d tan L; with a relative margin of 1e-9, far above
// the rounding of the arctangent and of tan L, a beam clear of the margin is settled by one
// multiplication. Beams within it, and every case outside 0 < L < 89 degrees or with d not
// a positive finite number, are left to the exact arctangent, so results never change.
#pragma once

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cfloat>
#include <cmath>

struct TanBound
{
    double lo = 0.0;
    double hi = 0.0;
    bool usable = false;

    static TanBound For(double degrees)
    {
        TanBound b;
        if (!(degrees > 0.0 && degrees < 89.0)) return b;
        const double t = std::tan(degrees / R_TO_D);
        b.lo = t * (1.0 - 1e-9);
        b.hi = t * (1.0 + 1e-9);
        b.usable = true;
        return b;
    }

    // -1: atan2(rho, d) lies surely below the limit, +1 surely above, 0: unsettled.
    int Side(double rho, double d) const
    {
        if (!(usable && d > 0.0 && d <= DBL_MAX)) return 0;
        if (rho < d * lo) return -1;
        if (rho > d * hi) return 1;
        return 0;
    }
    // Side for rho given as rho^2 (x^2 + y^2): beams clear of the bounds by a further
    // relative margin of 1e-10 on the squares are settled without the root; the rest, and
    // bounds whose squares would lose precision, as Side settles sqrt(rho2).
    int SideOfSquare(double rho2, double d) const
    {
        if (usable && d > 0.0 && d <= DBL_MAX) {
            const double l = d * lo, h = d * hi;
            if (l >= 1e-150 && h <= 1e150) {
                if (rho2 < l * l * (1.0 - 1e-10)) return -1;
                if (rho2 > h * h * (1.0 + 1e-10)) return 1;
            }
        }
        return Side(std::sqrt(rho2), d);
    }
};
