// Homogeneous 4x4 transforms for sensor offsets: the pitch (about x), roll (about y), yaw
// (about z) and translation matrices, each multiplied on the left of a given matrix, and
// CalcRPY, which reads roll, pitch and yaw back out of a transform. Angles in degrees;
// y is the forward axis, z the vertical. YawMatrix(PitchMatrix(RollMatrix(I, r), p), y)
// applies roll first, then pitch, then yaw to a point.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/geometry/Matrix.h>
#include <KvsDataBlocks/geometry/Point.h>

using Matrix4 = GTL::Matrix<4, 4, double>;

// R * m with R the pitch matrix: rows (1 0 0), (0 c s), (0 -s c).
KVS_API Matrix4 PitchMatrix(const Matrix4& m, double angle);
// R * m with R the roll matrix: rows (c 0 s), (0 1 0), (-s 0 c).
KVS_API Matrix4 RollMatrix(const Matrix4& m, double angle);
// R * m with R the yaw matrix: rows (c s 0), (-s c 0), (0 0 1).
KVS_API Matrix4 YawMatrix(const Matrix4& m, double angle);
// T * m with T the translation by t (t in column 3).
KVS_API Matrix4 TransMatrix(const Matrix4& m, const Point& t);

// The roll, pitch and yaw of m, read from its rotation block (a translation does not
// change them). Pitch comes from the forward (y) axis and lies in [-90, 90] before the
// turn-over below; yaw is the direction of the forward axis, clockwise from y towards x,
// in (-180, 180]; when the forward axis is within about 0.06 degrees of the vertical the
// yaw is taken from the x axis, which holds the roll as well, and the roll is 0. A roll
// beyond +-90 is
// reported turned over: yaw + 180, 180 - pitch, roll + 180 (not normalised again).
KVS_API void CalcRPY(const Matrix4& m, double& roll, double& pitch, double& yaw);
