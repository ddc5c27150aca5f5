// Point: three coordinates x, y, z (metres or degrees as the caller uses them).
#pragma once

#include <cmath>

class Point
{
public:
    Point() = default;
    Point(double x, double y, double z) : x(x), y(y), z(z) {}

    void Set(double nx, double ny, double nz)
    {
        x = nx;
        y = ny;
        z = nz;
    }
    bool operator==(const Point& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Point& o) const { return !(*this == o); }
    Point operator-(const Point& o) const { return Point(x - o.x, y - o.y, z - o.z); }
    Point operator+(const Point& o) const { return Point(x + o.x, y + o.y, z + o.z); }

    // Distance to another point; with horizontalOnly the z difference is ignored.
    double Dist3D(const Point& o, bool horizontalOnly) const
    {
        const double dx = x - o.x, dy = y - o.y, dz = horizontalOnly ? 0.0 : z - o.z;
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    }

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
