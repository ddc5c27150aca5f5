#include <KvsDataBlocks/geometry/Line.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

Line Seg(double x1, double y1, double x2, double y2) { return Line(Point(x1, y1, 0.0), Point(x2, y2, 0.0)); }

} // namespace

TEST(Line, IntersectionCodesAndPoints)
{
    constexpr double kEps = 1e-12; // the end-point tolerance of Intersect
    constexpr double kKept = 9.0;  // the point is left as it was
    const struct { const char* name; Line a, b; bool meet; long code; double x; /* of the point written */ } cases[] = {
        {"crossing", Seg(0, 0, 4, 4), Seg(0, 4, 4, 0), true, Line::kCross, 2.0},
        {"large coordinates", Seg(500000, 6000000, 500010, 6000010), Seg(500000, 6000010, 500010, 6000000), true,
         Line::kCross, 500005.0},
        {"shared end", Seg(0, 0, 2, 0), Seg(2, 0, 3, 5), true, Line::kTouch, 2.0},
        {"T junction", Seg(0, 0, 4, 0), Seg(2, 0, 2, 3), true, Line::kTouch, 2.0},
        // The parameter along a exactly at 0 and 1, and exactly at the tolerance on either side.
        {"at the start", Seg(0, 0, 1, 0), Seg(0, -1, 0, 1), true, Line::kTouch, 0.0},
        {"at the end", Seg(0, 0, 1, 0), Seg(1, -1, 1, 1), true, Line::kTouch, 1.0},
        {"tolerance before the start", Seg(0, 0, 1, 0), Seg(-kEps, -1, -kEps, 1), true, Line::kTouch, -kEps},
        {"tolerance past the end", Seg(0, 0, 1, 0), Seg(1 + kEps, -1, 1 + kEps, 1), true, Line::kTouch, 1 + kEps},
        {"tolerance inside the start", Seg(0, 0, 1, 0), Seg(kEps, -1, kEps, 1), true, Line::kTouch, kEps},
        {"beyond the start", Seg(0, 0, 1, 0), Seg(-4 * kEps, -1, -4 * kEps, 1), false, Line::kApart, -4 * kEps},
        {"apart", Seg(0, 0, 1, 1), Seg(3, 0, 2, 1), false, Line::kApart, 1.5}, // where the lines meet
        {"point on it", Seg(0, 0, 4, 0), Seg(1, 0, 1, 0), true, Line::kTouch, 1.0},
        {"point off it", Seg(0, 0, 4, 0), Seg(1, 1, 1, 1), false, Line::kDegenerate, kKept},
        {"parallel", Seg(0, 0, 4, 0), Seg(0, 1, 4, 1), false, Line::kParallel, kKept},
        {"collinear apart", Seg(0, 0, 1, 0), Seg(2, 0, 3, 0), false, Line::kCollinear, kKept},
        {"collinear overlap", Seg(0, 0, 4, 0), Seg(5, 0, 3, 0), true, Line::kCollinear, 3.0},
        {"collinear end to end", Seg(0, 0, 4, 0), Seg(4, 0, 6, 0), true, Line::kCollinear, 4.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Point p(kKept, kKept, kKept);
        long code = -1;
        EXPECT_EQ(Line::Intersect(c.a, c.b, p, code), c.meet);
        EXPECT_EQ(code, c.code);
        EXPECT_DOUBLE_EQ(p.x, c.x);
    }
    // z is carried along the first segment.
    Point p;
    long code = -1;
    EXPECT_TRUE(Line::Intersect(Line(Point(0, 0, 0), Point(4, 4, 8)), Seg(0, 4, 4, 0), p, code));
    EXPECT_EQ(std::tuple(p.x, p.y, p.z), std::tuple(2.0, 2.0, 4.0));
}
