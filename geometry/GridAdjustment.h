// GridAdjustment: a local 2-D adjustment between a survey's local grid and the projection
// grid, held by a coordinate system (KvsGeoCoordSysBase::GridAdjust). Forward maps a local
// grid position to the projection grid:
//     x' = a·x + b·y + c
//     y' = d·x + e·y + f
// made either from these six affine coefficients or from a 2-D similarity (Helmert)
// transform with translation (tx, ty) in metres, scale s and rotation r in degrees,
// counter-clockwise from +x towards +y: a = e = s·cos r, d = −b = s·sin r, c = tx, f = ty.
// Heights are not adjusted. Only finite, invertible transforms can be made.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <optional>

class KVS_API GridAdjustment
{
public:
    static std::optional<GridAdjustment> Affine(double a, double b, double c, double d, double e, double f);
    static std::optional<GridAdjustment> Similarity(double tx, double ty, double scale, double rotationDeg);

    // Local grid to projection grid; false (outputs untouched) for a non-finite input.
    bool Forward(double x, double y, double& xOut, double& yOut) const;
    // Projection grid to local grid, the exact inverse of Forward.
    bool Inverse(double x, double y, double& xOut, double& yOut) const;

private:
    GridAdjustment() = default;

    double m_a = 1.0, m_b = 0.0, m_c = 0.0;
    double m_d = 0.0, m_e = 1.0, m_f = 0.0;
    double m_det = 1.0;
};
