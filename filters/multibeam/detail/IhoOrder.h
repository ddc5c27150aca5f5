// IhoOrder: the IHO S-44 (4th edition) orders 0 (special) to 3 and the additional order 4
// as the multibeam filter uses them: the allowed vertical error sqrt(a^2 + (b d)^2) and
// the allowed horizontal error (fixed + factor * |d| / 100) at depth d, metres. Single
// precision throughout, as the limits are defined. Internal to the multibeam filter.
#pragma once

#include <cmath>
#include <iterator>

namespace kvs::multibeam::detail {

struct IhoOrder
{
    float a;
    float b;
    float horFixed;
    float horPer100m; // added per 100 m of depth

    // The order of that number, null outside 0 .. 4.
    static const IhoOrder* Find(int order);
    // The order number that picks the order by depth: Order 1 to kByDepthLimit metres,
    // Order 2 beyond (the S-44 orders for coastal and for deeper waters).
    static constexpr int kByDepth = -100;
    static constexpr float kByDepthLimit = 100.0f;

    float VertError(float d) const
    {
        const float bd = b * d;
        return std::sqrt(a * a + bd * bd);
    }

    float HorError(float d) const
    {
        if (horPer100m == 0.0f) return horFixed;
        return horFixed + horPer100m * std::fabs(d) / 100.0f;
    }
};

inline constexpr IhoOrder kIhoOrders[] = {
    {0.25f, 0.0075f, 2.0f, 0.0f},
    {0.5f, 0.013f, 5.0f, 5.0f},
    {1.0f, 0.023f, 20.0f, 5.0f},
    {1.0f, 0.023f, 150.0f, 5.0f},
    {0.1f, 0.0075f, 0.4f, 0.0f},
};

inline const IhoOrder* IhoOrder::Find(int order)
{
    return order >= 0 && order < static_cast<int>(std::size(kIhoOrders)) ? &kIhoOrders[order] : nullptr;
}

} // namespace kvs::multibeam::detail
