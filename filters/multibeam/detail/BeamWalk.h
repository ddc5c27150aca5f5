// BeamWalk: the ways the multibeam filter's tests walk the beams of a ping: every beam in
// turn (FlagBeams), and outward from nadir on each side (WalkOutward), with the nadir
// beam they start from, and the list of the beams not rejected (ListUnrejected). Internal to the multibeam filter.
#pragma once

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <vector>

namespace kvs::multibeam::detail {

inline bool Rejected(const PingStruct& ping, int i)
{
    return Multibeam::IsBeamRejected(ping.flags[i]);
}

// Lists in live (grown to the ping's beam count, never shrunk) the beams not rejected, in
// order, and returns how many. Gathered without a branch: where rejected beams are strewn
// over a ping, a test of each beam would often be mispredicted.
inline int ListUnrejected(const PingStruct& ping, std::vector<int>& live)
{
    const int n = ping.beamCount;
    if (live.size() < static_cast<size_t>(n)) live.resize(static_cast<size_t>(n));
    int* const out = live.data();
    int count = 0;
    for (int i = 0; i < n; ++i) {
        out[count] = i;
        count += !Rejected(ping, i);
    }
    return count;
}

// The shape of most per-beam tests: ORs bit into every beam for which fails(i) holds,
// skipping beams already rejected when skipRejected. True when any beam was flagged.
// fails must be free of side effects: it is asked of every beam, rejected ones too, so
// that the loop has no branch and vectorises. (A template, so each test is compiled into
// its own loop.)
template <bool skipRejected, typename Fails>
bool FlagBeams(PingStruct& ping, unsigned int bit, Fails fails)
{
    // Locals, as a store into the flags could otherwise alias the beam count.
    unsigned int* const flags = ping.flags;
    const int n = ping.beamCount;
    unsigned int any = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned int f = flags[i];
        unsigned int hit = fails(i) ? bit : 0u;
        if constexpr (skipRejected) hit = Multibeam::IsBeamRejected(f) ? 0u : hit;
        flags[i] = f | hit;
        any |= hit;
    }
    return any != 0;
}

// The tests that run from nadir outwards: port (side -1) first, then starboard (+1). For
// each side, side(s) gives the side's visitor, which sees the beams origin + offset * s,
// then one further out each time, while they lie within the ping and it returns true.
template <typename Side>
void WalkOutward(const PingStruct& ping, int origin, int offset, Side side)
{
    const int n = ping.beamCount;
    for (int s : {-1, 1}) {
        auto visit = side(s);
        for (int j = origin + offset * s; j >= 0 && j < n; j += s)
            if (!visit(j)) break;
    }
}

// The ping's nadir beam, reusing the one found earlier in this pass while it stands:
// within one pass flags only gain bits, so the unrejected beams only become fewer and the
// beam nearest nadir found earlier stays the nearest while it is not rejected itself.
inline int NadirBeam(PingStruct& ping)
{
    const int k = ping.nadirBeam;
    if (k >= 0 && k < ping.beamCount && ping.x && ping.flags && !Rejected(ping, k)) return k;
    return ping.CompNadirBeam();
}

} // namespace kvs::multibeam::detail
