// Vector arithmetic of the formula engine's vector functions: conversions between the
// rectangular and polar vector records and the attitude correction of a vector. Free
// functions on the records of VectorRecords.h; Ccalc reads and writes the records from
// its values and calls these.
//
// Angles are degrees, converted with the fixed factor kVectorDegToRad (14 significant
// digits, not pi/180 to full precision) and back by dividing by it, so results match
// the telegram formulas they serve. Bearings come out in (-180, 180].
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formula/VectorRecords.h>

namespace kvs {

inline constexpr double kVectorDegToRad = 0.017453292519943;

KVS_API vec2d_rect PolToRect2d(const vec2d_pol& in);
KVS_API vec2d_rect PolToRect2d(const vec3d_pol& in);  // horizontal part
KVS_API vec2d_pol RectToPol2d(const vec2d_rect& in);
KVS_API vec2d_pol RectToPol2d(const vec3d_rect& in);  // distance is the 3-D length
KVS_API vec3d_rect PolToRect3d(const vec2d_pol& in);  // z = 0
KVS_API vec3d_rect PolToRect3d(const vec3d_pol& in);
KVS_API vec3d_pol RectToPol3d(const vec3d_rect& in);
KVS_API vec3d_pol RectToPol3d(const vec2d_rect& in);  // elevation 0

// A vector in the vessel's axes corrected for roll and pitch and turned by the heading
// (degrees) into the x-east, y-north frame. Roll acts about the pitched forward axis;
// at pitch +-90 degrees that roll is taken as 90 degrees.
KVS_API vec3d_rect AttCorRect3d(const vec3d_rect& in, const attitude& att);

// The attitude correction of 2-D and 3-D vectors in both forms. The 2-D forms take
// z = 0; the 2-D rectangular result drops the corrected z, the 2-D polar result keeps it
// in its distance.
KVS_API vec2d_rect AttCor2dRect(const vec2d_rect& in, const attitude& att);
KVS_API vec3d_rect AttCor3dRect(const vec3d_rect& in, const attitude& att);
KVS_API vec2d_pol AttCor2dPol(const vec2d_pol& in, const attitude& att);
KVS_API vec3d_pol AttCor3dPol(const vec3d_pol& in, const attitude& att);

} // namespace kvs
