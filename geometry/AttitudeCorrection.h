// Attitude corrections of vessel-fixed offset vectors (lever arms of sensors and
// antennas): the Euler roll for a measured roll at a pitch, the elementary turns about x
// (pitch), y (roll) and z (heading), and the combined pitch-roll(-heading) corrections
// that level an offset and orient it to the heading. Angles in degrees; y is the forward
// axis, z the vertical. Pure functions.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/geometry/Point.h>

// The roll about the pitched forward axis for a roll measured at the given pitch:
// asin(sin(roll) / cos(pitch)), the ratio clamped to [-1, 1]; 0 when cos(pitch) is 0.
KVS_API double EulerRoll(double roll, double pitch);

// p turned about y (roll): (x c + z s, y, -x s + z c).
KVS_API Point EulerRollCorrection(Point p, double angle);
// p turned about x (pitch): (x, y c + z s, -y s + z c).
KVS_API Point PitchCorrection(Point p, double angle);
// p turned about z (heading): (x c + y s, -x s + y c, z).
KVS_API Point HeadingCorrection(Point p, double angle);

// v turned by the Euler roll (keeping the sign of cos(roll), so rolls beyond 90 degrees
// turn over) and then by the pitch. Where sin(roll) / cos(pitch) lies beyond +-1 (no
// attitude gives such a pair) the Euler roll is clamped to +-90 degrees and the z
// component keeps the measured sin(roll) term.
KVS_API CKvsDouble3D PitchRollCorrection(const CKvsDouble3D& v, double pitch, double roll);
// PitchRollCorrection followed by the turn about z by the heading.
KVS_API CKvsDouble3D PitchRollHeadingCorrection(const CKvsDouble3D& v, double pitch, double roll, double heading);
