#include <KvsDataBlocks/filters/multibeam/BeamTests.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/filters/multibeam/detail/IhoOrder.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Multibeam;
using kvs::multibeam::detail::FlagBeams;
using kvs::multibeam::detail::IhoOrder;
using kvs::multibeam::detail::ListUnrejected;
using kvs::multibeam::detail::NadirBeam;
using kvs::multibeam::detail::Rejected;
using kvs::multibeam::detail::WalkOutward;

namespace {

// The relative margin on squares below which the tests on squared distances leave a beam
// to the exact test: far above the few roundings of either form.
constexpr double kSquareMargin = 1e-10;

// Bounds on r^2 that settle minRange <= r (at least atLeast, not below below) and
// r <= maxRange (at most atMost, not above above) for r = sqrt(r^2) correctly rounded.
// A bound whose square would lose precision settles nothing (NaN, infinity), so that
// every such beam takes the exact test.
struct SquaredRange
{
    double atLeast, below, atMost, above;

    static bool Squarable(double v) { return v >= 1e-150 && v <= 1e150; }

    explicit SquaredRange(double minRange, double maxRange)
    {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double inf = std::numeric_limits<double>::infinity();
        if (minRange <= 0.0) {
            atLeast = below = 0.0; // r >= 0 always
        } else if (Squarable(minRange)) {
            atLeast = minRange * minRange * (1.0 + kSquareMargin);
            below = minRange * minRange * (1.0 - kSquareMargin);
        } else {
            atLeast = nan;
            below = -inf;
        }
        if (maxRange == inf) {
            atMost = above = inf;
        } else if (Squarable(maxRange)) {
            atMost = maxRange * maxRange * (1.0 - kSquareMargin);
            above = maxRange * maxRange * (1.0 + kSquareMargin);
        } else {
            atMost = nan;
            above = inf;
        }
    }
};

// Whether any of row[lo .. hi] lies below x (below true) or above it; NaN lies neither.
// Four at a time, the last four overlapping the ones before, so that a window of the
// same width always takes the same steps.
template <bool below>
bool AnyBeyond(const float* row, int lo, int hi, float x)
{
#if defined(__SSE2__)
    if (hi - lo >= 3) {
        const __m128 v = _mm_set1_ps(x);
        auto beyond = [&](int c) {
            const __m128 r = _mm_loadu_ps(row + c);
            return _mm_movemask_ps(below ? _mm_cmplt_ps(r, v) : _mm_cmpgt_ps(r, v));
        };
        int any = beyond(hi - 3);
        for (int c = lo; c < hi - 3; c += 4) any |= beyond(c);
        return any != 0;
    }
#endif
    bool any = false;
    for (int c = lo; c <= hi; ++c) any |= below ? row[c] < x : row[c] > x;
    return any;
}

} // namespace

// The swath test by angle, with the test by distance where it is on: flags every beam not
// rejected that lies outside. Most beams are settled on the squares of the angle test
// (TanBound::SideOfSquare) two at a time in vectors, which the compiler does not make of
// the loop itself for the mixed widths; a beam within the margins takes outsideAngle(i),
// the whole test. The beams left after the last two take the whole tests.
template <typename Angle, typename Distance>
void BeamTests::FlagSwath(PingStruct& ping, const MultibeamSettings& s, Angle outsideAngle,
                          Distance outsideDistance) const
{
    const int n = ping.beamCount;
    const float* const px = ping.x;
    const float* const py = ping.y;
    const float* const pz = ping.z;
    unsigned int* const flags = ping.flags;
    const double off = ping.verticalOffset;
    const bool distance = s.nadirDistance;
    const double portDistance = s.portDistance, starboardDistance = s.starboardDistance;
    int i = 0;
#if defined(__SSE2__)
    auto two = [](const float* v, int at) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + at))));
    };
    // A bound that is not usable settles nothing: NaN fails every comparison.
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const __m128d portLo = _mm_set1_pd(m_portBound.usable ? m_portBound.lo : nan);
    const __m128d portHi = _mm_set1_pd(m_portBound.usable ? m_portBound.hi : nan);
    const __m128d starboardLo = _mm_set1_pd(m_starboardBound.usable ? m_starboardBound.lo : nan);
    const __m128d starboardHi = _mm_set1_pd(m_starboardBound.usable ? m_starboardBound.hi : nan);
    const __m128d zero = _mm_setzero_pd(), offset = _mm_set1_pd(off), sign = _mm_set1_pd(-0.0);
    const __m128d largest = _mm_set1_pd(DBL_MAX), tiny = _mm_set1_pd(1e-150), huge = _mm_set1_pd(1e150);
    const __m128d shrink = _mm_set1_pd(1.0 - 1e-10), grow = _mm_set1_pd(1.0 + 1e-10);
    const __m128d portEdge = _mm_set1_pd(-portDistance), starboardEdge = _mm_set1_pd(starboardDistance);
    auto select = [](__m128d mask, __m128d a, __m128d b) {
        return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
    };
    for (; i + 2 <= n; i += 2) {
        const __m128d x = two(px, i), y = two(py, i), z = two(pz, i);
        const __m128d rho2 = _mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y));
        const __m128d d = _mm_xor_pd(_mm_add_pd(z, offset), sign);
        const __m128d toPort = _mm_cmple_pd(x, zero);
        const __m128d l = _mm_mul_pd(d, select(toPort, portLo, starboardLo));
        const __m128d h = _mm_mul_pd(d, select(toPort, portHi, starboardHi));
        const __m128d bounded = _mm_and_pd(_mm_and_pd(_mm_cmplt_pd(zero, d), _mm_cmple_pd(d, largest)),
                                           _mm_and_pd(_mm_cmple_pd(tiny, l), _mm_cmple_pd(h, huge)));
        const __m128d below = _mm_and_pd(bounded, _mm_cmplt_pd(rho2, _mm_mul_pd(_mm_mul_pd(l, l), shrink)));
        const __m128d above =
            _mm_andnot_pd(below, _mm_and_pd(bounded, _mm_cmplt_pd(_mm_mul_pd(_mm_mul_pd(h, h), grow), rho2)));
        __m128d out = above;
        if (distance)
            out = _mm_or_pd(out, _mm_or_pd(_mm_and_pd(toPort, _mm_cmplt_pd(x, portEdge)),
                                           _mm_and_pd(_mm_cmplt_pd(zero, x), _mm_cmplt_pd(starboardEdge, x))));
        const int outside = _mm_movemask_pd(out), settled = _mm_movemask_pd(_mm_or_pd(below, above));
        for (int k = 0; k < 2; ++k) {
            const unsigned int f = flags[i + k];
            const bool rejected = Multibeam::IsBeamRejected(f);
            bool hit = (outside >> k) & 1;
            if (!hit & !((settled >> k) & 1) & !rejected) [[unlikely]]
                hit = outsideAngle(i + k);
            flags[i + k] = f | (hit & !rejected ? kFlagSwath : 0u);
        }
    }
#endif
    for (; i < n; ++i) {
        const unsigned int f = flags[i];
        if (Multibeam::IsBeamRejected(f)) continue;
        const bool hit = outsideAngle(i) || (distance && outsideDistance(i));
        flags[i] = f | (hit ? kFlagSwath : 0u);
    }
}

void BeamTests::Derive(const MultibeamSettings& s)
{
    m_portBound = TanBound::For(s.portAngle);
    m_starboardBound = TanBound::For(s.starboardAngle);
    m_slopeBound = TanBound::For(s.slopeLimit);
    m_minAngleBound = s.minAngle > 0.0 && s.minAngle < 180.0;
    const double c = std::cos(s.minAngle / R_TO_D);
    m_minAngleCosLo = c - 1e-9;
    m_minAngleCosHi = c + 1e-9;
    // Bounds too near 0 would take their squares below the precision kept.
    m_minAngleSquares = m_minAngleBound && std::fabs(m_minAngleCosLo) >= 1e-5 && std::fabs(m_minAngleCosHi) >= 1e-5;
    m_loSqBelow = m_minAngleCosLo * m_minAngleCosLo * (1.0 - kSquareMargin);
    m_loSqAbove = m_minAngleCosLo * m_minAngleCosLo * (1.0 + kSquareMargin);
    m_hiSqBelow = m_minAngleCosHi * m_minAngleCosHi * (1.0 - kSquareMargin);
    m_hiSqAbove = m_minAngleCosHi * m_minAngleCosHi * (1.0 + kSquareMargin);
}

bool BeamTests::FilterBeam(PingStruct& ping, const MultibeamSettings& s) const
{
    FlagBeams<false>(ping, kFlagRejectList, [&](int i) { return s.rejectList[i]; });
    ping.pingFlags |= kFlagRejectList;
    return true;
}

bool BeamTests::FilterQuality(PingStruct& ping, const MultibeamSettings& s) const
{
    // The sonar's quality bits that must all be set, by quality mode 1, 2, 3.
    constexpr unsigned int kRequired[] = {0x1, 0x2, 0x3};
    if (s.qualityMode >= 1 && s.qualityMode <= 3) {
        const unsigned int need = kRequired[s.qualityMode - 1];
        FlagBeams<false>(ping, kFlagQuality, [&](int i) { return (ping.flags[i] & need) != need; });
    }
    ping.pingFlags |= kFlagQuality;
    return true;
}

bool BeamTests::FilterRange(PingStruct& ping, const MultibeamSettings& s) const
{
    const double off = ping.verticalOffset;
    const SquaredRange b(s.minRange, s.maxRange);
    FlagBeams<true>(ping, kFlagRange, [&](int i) {
        const double x = ping.x[i], y = ping.y[i], z = ping.z[i] + off;
        const double r2 = x * x + y * y + z * z;
        if (r2 >= b.atLeast && r2 <= b.atMost) return false;
        if (r2 < b.below || r2 > b.above) return true;
        const double r = std::sqrt(r2);
        return !(s.minRange <= r && r <= s.maxRange);
    });
    ping.pingFlags |= kFlagRange;
    return true;
}

bool BeamTests::FilterDepth(PingStruct& ping, const MultibeamSettings& s) const
{
    FlagBeams<true>(ping, kFlagDepth, [&](int i) {
        const double d = -static_cast<double>(ping.z[i]);
        return !(s.minDepth <= d && d <= s.maxDepth);
    });
    ping.pingFlags |= kFlagDepth;
    return true;
}

bool BeamTests::FilterNadir(PingStruct& ping, const MultibeamSettings& s) const
{
    const double off = ping.verticalOffset;
    // A beam at x = 0 counts as port.
    auto limit = [&](int i) { return ping.x[i] <= 0.0f ? s.portAngle : s.starboardAngle; };
    auto outsideAngle = [&](int i) {
        const double x = ping.x[i], y = ping.y[i];
        const double rho2 = x * x + y * y, d = -(ping.z[i] + off);
        const int side = (ping.x[i] <= 0.0f ? m_portBound : m_starboardBound).SideOfSquare(rho2, d);
        return side != 0 ? side > 0 : std::atan2(std::sqrt(rho2), d) * R_TO_D > limit(i);
    };
    auto outsideDistance = [&](int i) {
        const double x = ping.x[i];
        return (x <= 0.0 && x < -s.portDistance) || (x > 0.0 && x > s.starboardDistance);
    };
    if (s.nadirAngleMode == 1) {
        // Both tests in one pass: they set the same bit, so a beam the first one flags
        // needs no second test.
        FlagSwath(ping, s, outsideAngle, outsideDistance);
    } else {
        if (s.nadirAngleMode == 3 && ping.beamAngle)
            FlagBeams<true>(ping, kFlagSwath, [&](int i) { return static_cast<double>(ping.beamAngle[i]) > limit(i); });
        if (s.nadirDistance) FlagBeams<true>(ping, kFlagSwath, outsideDistance);
    }
    ping.pingFlags |= kFlagSwath;
    return true;
}

bool BeamTests::FilterSlope(PingStruct& ping, const MultibeamSettings& s)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    if (s.slopeBaseRatio > 0.0) {
        m_spacedSlope.Run(ping, nadir, s.slopeLimit, s.slopeBaseRatio, kFlagSlope);
        ping.pingFlags |= kFlagSlope;
        return true;
    }
    // Each beam against the last passing beam nearer nadir (the reference r); once the
    // reference is a rejected beam, the rest of that side is left as it is (the walk ends).
    WalkOutward(ping, nadir, 1, [&](int side) {
        return [&, side, r = nadir](int j) mutable {
            if (Rejected(ping, r)) return false;
            const double dz = std::fabs(static_cast<double>(ping.z[j]) - ping.z[r]);
            const double dx = side > 0 ? static_cast<double>(ping.x[j]) - ping.x[r]
                                       : static_cast<double>(ping.x[r]) - ping.x[j];
            int over = m_slopeBound.Side(dz, dx);
            if (over == 0) over = std::atan2(dz, dx) * R_TO_D > s.slopeLimit ? 1 : -1;
            if (over > 0)
                ping.flags[j] |= kFlagSlope;
            else
                r = j;
            return true;
        };
    });
    ping.pingFlags |= kFlagSlope;
    return true;
}

bool BeamTests::FilterAngle(PingStruct& ping, const MultibeamSettings& s)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    const int n = ping.beamCount;
    const float* const px = ping.x;
    const float* const pz = ping.z;
    unsigned int* const flags = ping.flags;
    auto dist2 = [&](int p, int q) {
        const double dx = static_cast<double>(px[p]) - px[q];
        const double dz = static_cast<double>(pz[p]) - pz[q];
        return dx * dx + dz * dz;
    };
    // The walk sees only the beams not rejected; the flags it sets fall on beams it has
    // passed.
    const int count = ListUnrejected(ping, m_live);
    const int* const live = m_live.data();
    // The bend at beam m between the passing beam a nearer nadir and the next beam j out;
    // a side is left alone when its first unrejected beam m lies at either end of the ping.
    // The next am2 is this mj2 when m passes (a moves to m), else this aj2.
    auto side = [&]() {
        return [&, a = nadir, m = -1, am2 = 0.0](int j) mutable {
            if (m < 0) {
                m = j;
                am2 = dist2(a, m);
                return m > 0 && m < n - 1;
            }
            const double mj2 = dist2(m, j), aj2 = dist2(a, j);
            const double num = am2 + mj2 - aj2;
            // Clear of the bounds the cosine is placed by squares alone (1 passes, -1 fails):
            // c = num / sqrt(den2) against each bound t by num^2 against t^2 den2 and signs.
            int settled = 0;
            if (m_minAngleSquares && am2 > 0.0 && mj2 > 0.0) {
                const double den2 = 4.0 * am2 * mj2, q = num * num;
                if (den2 >= 1e-280 && den2 <= 1e280 && q <= 1e300) {
                    const bool neg = num < 0.0, pos = num > 0.0;
                    const bool below = m_minAngleCosLo < 0.0 ? neg & (q > m_loSqAbove * den2)
                                                             : !pos | (q < m_loSqBelow * den2);
                    const bool above = m_minAngleCosHi < 0.0 ? !neg | (q < m_hiSqBelow * den2)
                                                             : pos & (q > m_hiSqAbove * den2);
                    settled = below ? 1 : above ? -1 : 0;
                }
            }
            bool passes = settled > 0;
            if (!settled) {
                const double am = std::sqrt(am2), mj = std::sqrt(mj2);
                // Coincident beams make no bend (180 degrees); rounding must not push the
                // cosine outside -1 .. 1.
                if (am > 0.0 && mj > 0.0) {
                    const double c = num / (2.0 * am * mj);
                    if (m_minAngleBound && c <= m_minAngleCosLo)
                        passes = true;
                    else if (m_minAngleBound && c >= m_minAngleCosHi)
                        passes = false;
                    else
                        passes = std::acos(std::clamp(c, -1.0, 1.0)) * R_TO_D >= s.minAngle;
                } else {
                    passes = 180.0 >= s.minAngle;
                }
            }
            flags[m] |= passes ? 0u : kFlagAngle;
            a = passes ? m : a;
            am2 = passes ? mj2 : aj2;
            m = j;
            return true;
        };
    };
    // From nadir outwards, port first: the listed beams below nadir, then those above.
    const int port = static_cast<int>(std::lower_bound(live, live + count, nadir) - live);
    const int starboard = static_cast<int>(std::upper_bound(live, live + count, nadir) - live);
    auto visitPort = side();
    for (int k = port - 1; k >= 0 && visitPort(live[k]); --k) {
    }
    auto visitStarboard = side();
    for (int k = starboard; k < count && visitStarboard(live[k]); ++k) {
    }
    ping.pingFlags |= kFlagAngle;
    return true;
}

bool BeamTests::FilterbFlyingObjects(PingStruct& ping, const MultibeamSettings& s)
{
    const int nadir = NadirBeam(ping);
    if (nadir < 0) return true;
    const int n = ping.beamCount;
    const int k = std::max(s.flyingSize, 1);
    const int b = std::clamp(s.flyingBorder, 0, k - 1);
    // The positions with NaN for every rejected beam (the exponent and the quiet bit set),
    // which so lies further out on neither side and is never flagged itself; a beam
    // flagged here becomes NaN at once, as later beams compare against it.
    if (m_row.size() < static_cast<size_t>(n)) m_row.resize(static_cast<size_t>(n));
    float* const row = m_row.data();
    const float* const x = ping.x;
    unsigned int* const flags = ping.flags;
    constexpr std::uint32_t kNan = 0x7FC00000u;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t rejected = -static_cast<std::uint32_t>(Multibeam::IsBeamRejected(flags[i]));
        row[i] = std::bit_cast<float>(std::bit_cast<std::uint32_t>(x[i]) | (rejected & kNan));
    }
    WalkOutward(ping, nadir, 0, [&](int side) {
        return [&, side](int i) {
            // The beams about k places nearer nadir (centre -+ b, within the ping), any of
            // which lies further out than beam i.
            const float xi = row[i];
            const long long centre = i - static_cast<long long>(side) * k;
            const int lo = static_cast<int>(std::clamp(centre - b, 0LL, static_cast<long long>(n)));
            const int hi = static_cast<int>(std::clamp(centre + b, -1LL, static_cast<long long>(n) - 1));
            const bool hit = side < 0 ? AnyBeyond<true>(row, lo, hi, xi) : AnyBeyond<false>(row, lo, hi, xi);
            flags[i] |= hit ? kFlagFlyingObject : 0u;
            // Stored only on a hit (rare): a store into the row each beam would stall the
            // next beam's loads, which span it.
            if (hit) row[i] = std::bit_cast<float>(kNan);
            return true;
        };
    });
    ping.pingFlags |= kPingFlagFlyingRan;
    return true;
}

bool BeamTests::FilterIHO(PingStruct& ping) const
{
    if (!ping.estVertError || !ping.estHorError || !ping.allowedVertError || !ping.allowedHorError) return false;
    return FlagBeams<false>(ping, kFlagIhoError, [&](int i) {
        return ping.allowedVertError[i] < ping.estVertError[i] || ping.allowedHorError[i] < ping.estHorError[i];
    });
}

bool BeamTests::FilterCustom(PingStruct& ping, const MultibeamSettings& s) const
{
    if (!ping.estVertError || !(s.customLimit > 0.0)) return false;
    // e > L for a float e exactly when e > f, the largest float not above L.
    const double limit = s.customLimit;
    float f = FLT_MAX;
    if (limit == std::numeric_limits<double>::infinity()) {
        f = std::numeric_limits<float>::infinity();
    } else if (limit < static_cast<double>(FLT_MAX)) {
        f = static_cast<float>(limit);
        if (static_cast<double>(f) > limit) f = std::nextafter(f, 0.0f);
    }
    return FlagBeams<false>(ping, kFlagCustomError, [&](int i) { return ping.estVertError[i] > f; });
}
