// VesselPoint: one corner of a vessel or structure outline (VesselContour): a Point
// followed by a flag. The flag is true when the edge that ends at this corner is open
// (no solid structure), so the pipe-detection mask lets beams pass through it.
#pragma once

#include <KvsDataBlocks/geometry/Point.h>

class VesselPoint : public Point
{
public:
    VesselPoint() = default;
    VesselPoint(double x, double y, double z, bool open) : Point(x, y, z), flag(open) {}

    bool flag = false;
};
