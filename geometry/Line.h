// Line: a segment between two Points, with the segment intersection test that the
// pipe-detection filter uses to find beams crossing the vessel's fixed structures.
// Intersections are computed in the x-y plane; z is carried along the first segment.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/geometry/Point.h>

class KVS_API Line
{
public:
    // Intersection codes written by Intersect.
    enum IntersectCode : long {
        kApart = 0,      // the lines meet, but outside at least one segment (false)
        kParallel = 1,   // parallel and distinct (false)
        kCollinear = 2,  // on one line: true when the segments overlap, false when apart
        kCross = 3,      // the segments cross at a point inside both (true)
        kTouch = 4,      // the segments meet at an end point of one or both (true)
        kDegenerate = 5, // a segment of zero length that lies off the other segment (false)
    };

    Line() = default;
    Line(const Point& start, const Point& end) : m_start(start), m_end(end) {}

    const Point& GetStart() const { return m_start; }
    const Point& GetEnd() const { return m_end; }
    void Set(const Point& start, const Point& end)
    {
        m_start = start;
        m_end = end;
    }

    // True when segments a and b share a point. code receives one of the codes above.
    // point receives the meeting point when there is one: the crossing or touching
    // point, the first point of a overlapping b for collinear segments, and for kApart
    // the meeting point of the infinite lines; it is left unchanged for kParallel, apart
    // collinear segments and kDegenerate. z is interpolated along a. End points count as
    // touching within a relative tolerance of 1e-12 of the segment lengths.
    static bool Intersect(const Line& a, const Line& b, Point& point, long& code);

private:
    Point m_start;
    Point m_end;
};
