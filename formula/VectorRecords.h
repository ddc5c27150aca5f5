// Vector records of the formula engine's vector functions: plain structures of doubles in
// field order. A CKvsDouble2D stands for a 2-field record, a CKvsDouble3D for a 3-field
// one (its components in field order). Distances in metres, angles in degrees; bearings
// from +y (north) towards +x (east), elevations above the x-y plane.
#pragma once

struct vec2d_rect
{
    double x;
    double y;
};

struct vec2d_pol
{
    double distance;
    double bearing;
};

struct vec3d_rect
{
    double x;
    double y;
    double z;
};

struct vec3d_pol
{
    double distance;
    double bearing;
    double elevation;
};

struct attitude
{
    double roll;
    double pitch;
    double heading;
};
