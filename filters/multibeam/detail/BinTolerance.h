// BinTolerance: the tolerance of each bin of an across-track profile by the angle at
// which the sonar sees it. Bin k spans across-track (lo + k) * bw; its edge half a bin
// towards nadir, seen at depth mean + off, gives the angle from the vertical, and bins
// seen within the reliable angle take the reliable tolerance. Empty bins are left as they
// are. Shared by the smart filter and its profile variants.
#pragma once

#include <KvsDataBlocks/geometry/KvsMath.h>

#include <cmath>

namespace kvs::multibeam::detail {

template <class Bins>
void SetBinTolerances(Bins& bins, int count, int lo, double bw, double off, double reliableAngle,
                      double reliable, double unreliable)
{
    for (int k = 0; k < count; ++k) {
        auto& bin = bins[static_cast<size_t>(k)];
        if (bin.count == 0) continue;
        const double p = (lo + k) * bw;
        const double q = p >= 0.0 ? p - bw / 2 : p + bw / 2;
        const double phi = std::fabs(std::atan2(q, -(bin.mean + off)) * R_TO_D);
        bin.tolerance = phi < reliableAngle ? reliable : unreliable;
    }
}

} // namespace kvs::multibeam::detail
