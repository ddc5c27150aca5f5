// Pieces both Kongsberg readers share: calendar days, and the beam-angle sign check.
#pragma once

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>

#include <cmath>
#include <cstdint>

namespace kvs::kongsberg {

// Days from 1970-01-01 to a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Makes the swath's angles port-negative: the sign of the angle re the receive array
// follows the array's mounting, so the angles of the usable beams more than a metre off
// the centre line are compared with their across-track distances and flipped when most
// disagree.
inline void CheckAngleSign(KongsbergSwath& s)
{
    if (!s.hasAngle) return;
    int agree = 0, disagree = 0;
    for (int i = 0; i < s.beamCount; ++i) {
        const size_t k = static_cast<size_t>(i);
        if (!s.usable[k] || s.angle[k] == 0.0f || std::fabs(s.across[k]) <= 1.0f) continue;
        ((s.angle[k] < 0) == (s.across[k] < 0) ? agree : disagree) += 1;
    }
    if (disagree > agree)
        for (float& a : s.angle) a = -a;
}

} // namespace kvs::kongsberg
