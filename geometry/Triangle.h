// Triangle: three corner points. Stored inside data elements (type 612) as 80 bytes per
// item: the nine doubles A.x A.y A.z B.x B.y B.z C.x C.y C.z at byte offsets 0 to 64,
// little-endian, followed by 8 bytes of padding that are written as zero.
#pragma once

#include <KvsDataBlocks/geometry/Point.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

class Triangle
{
public:
    static constexpr size_t kStoredSize = 80;

    Triangle() = default;
    Triangle(const Point& a, const Point& b, const Point& c) : m_a(a), m_b(b), m_c(c) {}

    const Point& GetPointA() const { return m_a; }
    const Point& GetPointB() const { return m_b; }
    const Point& GetPointC() const { return m_c; }
    void SetPoints(const Point& a, const Point& b, const Point& c)
    {
        m_a = a;
        m_b = b;
        m_c = c;
    }
    bool operator==(const Triangle& o) const { return m_a == o.m_a && m_b == o.m_b && m_c == o.m_c; }

private:
    Point m_a;
    Point m_b;
    Point m_c;
    [[maybe_unused]] uint64_t m_reserved = 0; // keeps the in-memory item exactly 80 bytes, like the stored one
};

static_assert(sizeof(Triangle) == Triangle::kStoredSize, "Triangle items are 80 bytes");
