// KvsMath: angle constants and normalisation of the base library, used by the geometry
// functions and the filters.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

// Degrees to radians and back (pi = 3.141592653589793).
inline constexpr double D_TO_R = 3.141592653589793 / 180.0;
inline constexpr double R_TO_D = 180.0 / 3.141592653589793;

// An angle in degrees brought into its principal range (-180, 180]: 190 gives -170, -180
// gives 180, 540 gives 180. The range matches atan2, so angles computed by atan2 and
// converted to degrees pass unchanged. NaN and infinities give NaN.
KVS_API double modgeo(double degrees);
