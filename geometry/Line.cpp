#include <KvsDataBlocks/geometry/Line.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEps = 1e-12;

double Cross(double ax, double ay, double bx, double by)
{
    return ax * by - ay * bx;
}

Point Along(const Line& l, double t)
{
    const Point& s = l.GetStart();
    const Point& e = l.GetEnd();
    return Point(s.x + (e.x - s.x) * t, s.y + (e.y - s.y) * t, s.z + (e.z - s.z) * t);
}

// Parameter of p projected on the segment l (0 at its start, 1 at its end).
double Project(const Line& l, const Point& p)
{
    const double dx = l.GetEnd().x - l.GetStart().x, dy = l.GetEnd().y - l.GetStart().y;
    return ((p.x - l.GetStart().x) * dx + (p.y - l.GetStart().y) * dy) / (dx * dx + dy * dy);
}

// True when the point lies on the segment (which has non-zero length).
bool OnSegment(const Line& l, const Point& p)
{
    const double dx = l.GetEnd().x - l.GetStart().x, dy = l.GetEnd().y - l.GetStart().y;
    const double len = std::hypot(dx, dy);
    const double off = Cross(dx, dy, p.x - l.GetStart().x, p.y - l.GetStart().y) / len;
    if (std::fabs(off) > kEps * std::max(1.0, len)) return false;
    const double t = Project(l, p);
    return t >= -kEps && t <= 1.0 + kEps;
}

bool IsPoint(const Line& l)
{
    return l.GetStart().x == l.GetEnd().x && l.GetStart().y == l.GetEnd().y;
}

} // namespace

bool Line::Intersect(const Line& a, const Line& b, Point& point, long& code)
{
    const Point& p = a.GetStart();
    const Point& q = b.GetStart();
    const double rx = a.GetEnd().x - p.x, ry = a.GetEnd().y - p.y;
    const double sx = b.GetEnd().x - q.x, sy = b.GetEnd().y - q.y;

    if (IsPoint(a) || IsPoint(b)) {
        // A zero-length segment touches the other one when it lies on it.
        const bool bothPoints = IsPoint(a) && IsPoint(b);
        const bool meet = bothPoints ? IsPoint(Line(p, q)) : IsPoint(a) ? OnSegment(b, p) : OnSegment(a, q);
        code = meet ? kTouch : kDegenerate;
        if (meet) point = IsPoint(a) ? p : Along(a, Project(a, q));
        return meet;
    }

    const double lenA = std::hypot(rx, ry), lenB = std::hypot(sx, sy);
    const double denom = Cross(rx, ry, sx, sy);
    const double qpx = q.x - p.x, qpy = q.y - p.y;
    if (std::fabs(denom) <= kEps * lenA * lenB) {
        // Parallel: collinear when b's start lies on a's line.
        if (std::fabs(Cross(rx, ry, qpx, qpy)) > kEps * lenA * std::max(1.0, std::hypot(qpx, qpy))) {
            code = kParallel;
            return false;
        }
        code = kCollinear;
        const double t0 = Project(a, q), t1 = Project(a, b.GetEnd());
        const double lo = std::max(0.0, std::min(t0, t1)), hi = std::min(1.0, std::max(t0, t1));
        if (lo > hi + kEps) return false;
        point = Along(a, lo);
        return true;
    }

    const double t = Cross(qpx, qpy, sx, sy) / denom; // along a
    const double u = Cross(qpx, qpy, rx, ry) / denom; // along b
    point = Along(a, t);
    auto inside = [](double v) { return v >= -kEps && v <= 1.0 + kEps; };
    auto interior = [](double v) { return v > kEps && v < 1.0 - kEps; };
    if (!inside(t) || !inside(u)) {
        code = kApart;
        return false;
    }
    code = interior(t) && interior(u) ? kCross : kTouch;
    return true;
}
