#include <KvsDataBlocks/geometry/GridAdjustment.h>

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cmath>
#include <initializer_list>

namespace {

bool AllFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

} // namespace

std::optional<GridAdjustment> GridAdjustment::Affine(double a, double b, double c, double d, double e, double f)
{
    if (!AllFinite({a, b, c, d, e, f})) return std::nullopt;
    const double det = a * e - b * d;
    // Singular, or so nearly singular that the inverse would be meaningless.
    const double size = (std::fabs(a) + std::fabs(b)) * (std::fabs(d) + std::fabs(e));
    if (!std::isfinite(det) || !(std::fabs(det) > 1e-12 * size) || !std::isfinite(1.0 / det)) return std::nullopt;
    GridAdjustment g;
    g.m_a = a;
    g.m_b = b;
    g.m_c = c;
    g.m_d = d;
    g.m_e = e;
    g.m_f = f;
    g.m_det = det;
    return g;
}

std::optional<GridAdjustment> GridAdjustment::Similarity(double tx, double ty, double scale, double rotationDeg)
{
    if (!AllFinite({tx, ty, scale, rotationDeg}) || !(scale > 0.0)) return std::nullopt;
    const double r = rotationDeg * D_TO_R;
    const double sc = scale * std::cos(r);
    const double ss = scale * std::sin(r);
    return Affine(sc, -ss, tx, ss, sc, ty);
}

bool GridAdjustment::Forward(double x, double y, double& xOut, double& yOut) const
{
    const double xr = m_a * x + m_b * y + m_c;
    const double yr = m_d * x + m_e * y + m_f;
    if (!AllFinite({x, y, xr, yr})) return false;
    xOut = xr;
    yOut = yr;
    return true;
}

bool GridAdjustment::Inverse(double x, double y, double& xOut, double& yOut) const
{
    // Take the translation off first: survey coordinates are large, the terms small.
    const double dx = x - m_c;
    const double dy = y - m_f;
    const double xr = (m_e * dx - m_b * dy) / m_det;
    const double yr = (m_a * dy - m_d * dx) / m_det;
    if (!AllFinite({x, y, xr, yr})) return false;
    xOut = xr;
    yOut = yr;
    return true;
}
