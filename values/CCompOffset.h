// CCompOffset: a lever-arm offset of a sensor (x forward... as the caller defines, y, z in
// metres) carried by values that describe computed positions.
#pragma once

class CCompOffset
{
public:
    CCompOffset() = default;
    CCompOffset(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    double GetX() const { return m_x; }
    double GetY() const { return m_y; }
    double GetZ() const { return m_z; }
    void Set(double x, double y, double z)
    {
        m_x = x;
        m_y = y;
        m_z = z;
    }
    bool operator==(const CCompOffset& o) const { return m_x == o.m_x && m_y == o.m_y && m_z == o.m_z; }

private:
    double m_x = 0.0;
    double m_y = 0.0;
    double m_z = 0.0;
};
