#include <KvsDataBlocks/geometry/Line.h>

#include <gtest/gtest.h>

namespace {

Line Seg(double x1, double y1, double x2, double y2)
{
    return Line(Point(x1, y1, 0.0), Point(x2, y2, 0.0));
}

} // namespace

TEST(Line, CrossingSegmentsGiveCodeThreeAndThePoint)
{
    Point p;
    long code = -1;
    const Line a(Point(0, 0, 0), Point(4, 4, 8));
    EXPECT_TRUE(Line::Intersect(a, Seg(0, 4, 4, 0), p, code));
    EXPECT_EQ(code, Line::kCross);
    EXPECT_DOUBLE_EQ(p.x, 2.0);
    EXPECT_DOUBLE_EQ(p.y, 2.0);
    EXPECT_DOUBLE_EQ(p.z, 4.0); // carried along the first segment
}

TEST(Line, TouchingAtAnEndPointIsNotACrossing)
{
    Point p;
    long code = -1;
    EXPECT_TRUE(Line::Intersect(Seg(0, 0, 2, 0), Seg(2, 0, 3, 5), p, code)); // shared end
    EXPECT_EQ(code, Line::kTouch);
    EXPECT_TRUE(Line::Intersect(Seg(0, 0, 4, 0), Seg(2, 0, 2, 3), p, code)); // T junction
    EXPECT_EQ(code, Line::kTouch);
    EXPECT_DOUBLE_EQ(p.x, 2.0);
    EXPECT_TRUE(Line::Intersect(Seg(0, 0, 4, 0), Seg(1, 0, 1, 0), p, code)); // a point on it
    EXPECT_EQ(code, Line::kTouch);
    EXPECT_FALSE(Line::Intersect(Seg(0, 0, 4, 0), Seg(1, 1, 1, 1), p, code));
    EXPECT_EQ(code, Line::kDegenerate);
}

TEST(Line, SeparateSegmentsOfCrossingLines)
{
    Point p;
    long code = -1;
    EXPECT_FALSE(Line::Intersect(Seg(0, 0, 1, 1), Seg(3, 0, 2, 1), p, code));
    EXPECT_EQ(code, Line::kApart);
    EXPECT_DOUBLE_EQ(p.x, 1.5); // where the infinite lines meet
}

TEST(Line, ParallelAndCollinearSegments)
{
    Point p(9, 9, 9);
    long code = -1;
    EXPECT_FALSE(Line::Intersect(Seg(0, 0, 4, 0), Seg(0, 1, 4, 1), p, code));
    EXPECT_EQ(code, Line::kParallel);
    EXPECT_EQ(p, Point(9, 9, 9));
    EXPECT_FALSE(Line::Intersect(Seg(0, 0, 1, 0), Seg(2, 0, 3, 0), p, code));
    EXPECT_EQ(code, Line::kCollinear);
    EXPECT_EQ(p, Point(9, 9, 9));
    EXPECT_TRUE(Line::Intersect(Seg(0, 0, 4, 0), Seg(5, 0, 3, 0), p, code));
    EXPECT_EQ(code, Line::kCollinear);
    EXPECT_DOUBLE_EQ(p.x, 3.0);
    EXPECT_TRUE(Line::Intersect(Seg(0, 0, 4, 0), Seg(4, 0, 6, 0), p, code)); // end to end
    EXPECT_EQ(code, Line::kCollinear);
    EXPECT_DOUBLE_EQ(p.x, 4.0);
}

TEST(Line, LargeCoordinatesStillCross)
{
    Point p;
    long code = -1;
    const Line beam(Point(500000.0, 6000000.0, 0), Point(500010.0, 6000010.0, 0));
    const Line edge(Point(500000.0, 6000010.0, 0), Point(500010.0, 6000000.0, 0));
    EXPECT_TRUE(Line::Intersect(beam, edge, p, code));
    EXPECT_EQ(code, Line::kCross);
    EXPECT_NEAR(p.x, 500005.0, 1e-6);
}
