// IhoS44: the orders of IHO S-44 edition 6 (2020) and their total vertical uncertainty
// at 95 % confidence, TVU(d) = sqrt(a^2 + (b d)^2) metres at depth d. Special, 1a, 1b
// and 2 hold the a and b of the 4th edition's orders special, 1 and 2 that the multibeam
// filter's IHO test uses; Exclusive is new in edition 6.
#pragma once

#include <cmath>
#include <string_view>

namespace kvs::surface {

struct IhoS44Order
{
    const char* name;
    double a; // metres
    double b; // per metre of depth

    double Tvu(double depth) const { return std::sqrt(a * a + (b * depth) * (b * depth)); }
};

inline constexpr IhoS44Order kIhoS44Orders[] = {
    {"Exclusive", 0.15, 0.0075},
    {"Special", 0.25, 0.0075},
    {"1a", 0.5, 0.013},
    {"1b", 0.5, 0.013},
    {"2", 1.0, 0.023},
};

// The order of that name (case-insensitive), null for none.
inline const IhoS44Order* FindIhoS44Order(std::string_view name)
{
    for (const IhoS44Order& o : kIhoS44Orders) {
        const std::string_view n = o.name;
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size() && same; ++i) {
            const char a = n[i] >= 'A' && n[i] <= 'Z' ? static_cast<char>(n[i] - 'A' + 'a') : n[i];
            const char b = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
            same = a == b;
        }
        if (same) return &o;
    }
    return nullptr;
}

} // namespace kvs::surface
