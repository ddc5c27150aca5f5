// The per-beam tests against plain forms of them (a root and an arctangent for every beam,
// one branch per flag), on random pings full of NaN, infinities, zeros, coincident beams
// and settings taken from the pings' own values at and about the bounds: every flag and
// the ping word must match.
#include <KvsDataBlocks/filters/multibeam/BeamTests.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace Multibeam;

namespace {

bool Rej(const PingStruct& p, int i) { return IsBeamRejected(p.flags[i]); }
double Sq(double v) { return v * v; }

template <typename F>
bool Flag(PingStruct& p, unsigned int bit, bool skipRejected, F fails)
{
    bool any = false;
    for (int i = 0; i < p.beamCount; ++i)
        if (!(skipRejected && Rej(p, i)) && fails(i)) p.flags[i] |= bit, any = true;
    return any;
}

int Nadir(const PingStruct& p)
{
    int best = -1;
    for (int i = 0; i < p.beamCount; ++i) {
        const double d = std::fabs(static_cast<double>(p.x[i]));
        if (!Rej(p, i) && d == d && (best < 0 || d < std::fabs(static_cast<double>(p.x[best])))) best = i;
    }
    return best;
}

double Cos(const PingStruct& p, int a, int m, int j)
{
    auto d2 = [&](int u, int v) { return Sq(double(p.x[u]) - p.x[v]) + Sq(double(p.z[u]) - p.z[v]); };
    return (d2(a, m) + d2(m, j) - d2(a, j)) / (2.0 * std::sqrt(d2(a, m)) * std::sqrt(d2(m, j)));
}

// The chain range, depth, swath, slope, angle, flying objects, custom error as it stood.
bool Reference(PingStruct& p, const MultibeamSettings& s)
{
    const int n = p.beamCount;
    const double off = p.verticalOffset;
    Flag(p, kFlagRange, true, [&](int i) {
        const double r = std::sqrt(Sq(p.x[i]) + Sq(p.y[i]) + Sq(p.z[i] + off));
        return !(s.minRange <= r && r <= s.maxRange);
    });
    Flag(p, kFlagDepth, true, [&](int i) { return !(s.minDepth <= -double(p.z[i]) && -double(p.z[i]) <= s.maxDepth); });
    p.pingFlags |= kFlagRange | kFlagDepth | kFlagSwath;
    auto limit = [&](int i) { return p.x[i] <= 0.0f ? s.portAngle : s.starboardAngle; };
    if (s.nadirAngleMode == 1)
        Flag(p, kFlagSwath, true, [&](int i) {
            const double rho = std::sqrt(Sq(p.x[i]) + Sq(p.y[i])), d = -(p.z[i] + off);
            const int side = TanBound::For(limit(i)).Side(rho, d);
            return side != 0 ? side > 0 : std::atan2(rho, d) * R_TO_D > limit(i);
        });
    if (s.nadirAngleMode == 3)
        Flag(p, kFlagSwath, true, [&](int i) { return double(p.beamAngle[i]) > limit(i); });
    if (s.nadirDistance)
        Flag(p, kFlagSwath, true, [&](int i) {
            return (p.x[i] <= 0.0f && p.x[i] < -s.portDistance) || (p.x[i] > 0.0f && p.x[i] > s.starboardDistance);
        });
    const int nadir = Nadir(p);
    for (int side : {-1, 1})
        for (int j = nadir + side, r = nadir; nadir >= 0 && j >= 0 && j < n && !Rej(p, r); j += side) {
            const double dz = std::fabs(double(p.z[j]) - p.z[r]), dx = side * (double(p.x[j]) - p.x[r]);
            int over = TanBound::For(s.slopeLimit).Side(dz, dx);
            if (over == 0) over = std::atan2(dz, dx) * R_TO_D > s.slopeLimit ? 1 : -1;
            over > 0 ? void(p.flags[j] |= kFlagSlope) : void(r = j);
        }
    const double cosL = std::cos(s.minAngle / R_TO_D);
    const bool bound = s.minAngle > 0.0 && s.minAngle < 180.0;
    for (int side : {-1, 1})
        for (int j = nadir + side, a = nadir, m = -1; nadir >= 0 && j >= 0 && j < n; j += side) {
            if (Rej(p, j)) continue;
            if (m < 0 && (m = j, m == 0 || m == n - 1)) break;
            if (m == j) continue;
            const double c = Cos(p, a, m, j);
            bool passes = 180.0 >= s.minAngle; // coincident beams
            if (Sq(double(p.x[a]) - p.x[m]) + Sq(double(p.z[a]) - p.z[m]) > 0.0 &&
                Sq(double(p.x[m]) - p.x[j]) + Sq(double(p.z[m]) - p.z[j]) > 0.0)
                passes = bound && c <= cosL - 1e-9   ? true
                         : bound && c >= cosL + 1e-9 ? false
                                                     : std::acos(std::clamp(c, -1.0, 1.0)) * R_TO_D >= s.minAngle;
            passes ? void(a = m) : void(p.flags[m] |= kFlagAngle);
            m = j;
        }
    const int flyNadir = Nadir(p), k = std::max(s.flyingSize, 1), b = std::clamp(s.flyingBorder, 0, k - 1);
    for (int side : {-1, 1})
        for (int i = flyNadir; flyNadir >= 0 && i >= 0 && i < n; i += side) {
            bool hit = false;
            for (long long t = -b, c; t <= b && !Rej(p, i); ++t)
                if (c = side < 0 ? i + (k - t) : i - (k - t); c >= 0 && c < n && !Rej(p, int(c)))
                    hit |= side < 0 ? p.x[c] < p.x[i] : p.x[c] > p.x[i];
            if (hit) p.flags[i] |= kFlagFlyingObject;
        }
    p.pingFlags |= (nadir >= 0 ? kFlagSlope | kFlagAngle : 0u) | (flyNadir >= 0 ? kPingFlagFlyingRan : 0u);
    auto custom = [&](int i) { return p.estVertError[i] > s.customLimit; };
    return s.customLimit > 0.0 && Flag(p, kFlagCustomError, false, custom);
}

} // namespace

TEST(BeamTests, EveryFlagMatchesThePlainFormsOnRandomAndBoundaryPings)
{
    std::mt19937 rng(20261208);
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    constexpr float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float special[] = {0.0f, -0.0f, nan, inf, -inf, FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN, 1e-30f, -1e30f};
    // A value at a bound, one step either side of it or within the quick tests' margins.
    auto nudge = [&](double v) {
        const double f[] = {1.0, 1 + 1e-9, 1 - 1e-9, 1 + 1e-10, 1 - 1e-10, 1 + 2e-11, 1 - 2e-11, 1 + 1e-13};
        const int w = pick(10);
        return w < 8 ? v * f[w] : std::nextafter(v, w == 8 ? HUGE_VAL : -HUGE_VAL);
    };
    const int counts[] = {0, 1, 2, 3, 5, 17, 64, 300};
    PingStruct p;
    ASSERT_TRUE(p.Allocate());
    BeamTests tests;
    std::vector<unsigned int> flags;
    for (int trial = 0; trial < 6000; ++trial) {
        const int n = trial % 50 == 0 ? PingStruct::kMaxBeams : counts[pick(8)];
        p.Init();
        p.beamCount = n;
        p.x = p.OwnFloats(PingStruct::kArrX), p.y = p.OwnFloats(PingStruct::kArrY);
        p.z = p.OwnFloats(PingStruct::kArrZ), p.beamAngle = p.OwnFloats(PingStruct::kArrBeamAngle);
        p.estVertError = p.OwnFloats(PingStruct::kArrEstVertError), p.flags = p.OwnFlags();
        const double depth = std::pow(10.0, uni(-1, 3)), noise = std::pow(10.0, uni(-4, 0)) * depth;
        const int specials = pick(4) * pick(4); // per 100 values
        for (float* a : {p.x, p.y, p.z, p.beamAngle, p.estVertError})
            for (int i = 0; i < n; ++i) {
                const double across = 2.0 * i / std::max(n, 1) - 1.0;
                const double base = a == p.x ? depth * across : a == p.z ? -depth : a == p.beamAngle ? 70.0 * across : 0.1;
                a[i] = static_cast<float>(base + uni(-noise, noise));
                if (pick(100) < specials) a[i] = pick(2) ? special[pick(11)] : a[std::max(i - 1, 0)];
            }
        for (int i = 0; i < n; ++i)
            p.flags[i] = pick(10) < 8 ? 0u : pick(2) ? unsigned(pick(256)) : kFlagQuality | kFlagStatistics;
        p.verticalOffset = pick(8) ? uni(-2, 2) : pick(2) ? 0.0 : double(special[pick(11)]);
        p.pingFlags = unsigned(pick(256));

        // Settings drawn at random or from the values of a random beam i (triple h, i, j).
        const int i = n ? pick(n) : 0, h = std::max(i - 1, 0), j = std::min(i + 1, std::max(n - 1, 0));
        auto from = [&](double v, double lo, double hi) {
            return n && pick(3) ? nudge(v) : pick(8) ? uni(lo, hi) : double(special[pick(11)]);
        };
        const double off = p.verticalOffset, xi = n ? p.x[i] : 0, yi = n ? p.y[i] : 0, zi = n ? p.z[i] : 0;
        MultibeamSettings s;
        s.minRange = from(std::sqrt(xi * xi + yi * yi + (zi + off) * (zi + off)), -1, depth);
        s.maxRange = from(std::sqrt(xi * xi + yi * yi + (zi + off) * (zi + off)), depth, 3 * depth);
        s.minDepth = from(-zi, -1, depth), s.maxDepth = from(-zi, depth, 2 * depth);
        s.portAngle = from(std::atan2(std::hypot(xi, yi), -(zi + off)) * R_TO_D, 0, 95);
        s.starboardAngle = from(std::atan2(std::hypot(xi, yi), -(zi + off)) * R_TO_D, 0, 95);
        s.nadirAngleMode = pick(4) ? 1 : pick(2) ? 3 : 0;
        s.nadirDistance = pick(2), s.portDistance = uni(0, 2 * depth), s.starboardDistance = uni(0, 2 * depth);
        const double dz = n ? std::fabs(double(p.z[j]) - p.z[i]) : 0, dx = n ? double(p.x[j]) - p.x[i] : 0;
        s.slopeLimit = from(std::atan2(dz, dx) * R_TO_D, 0, 95);
        const double c = n ? Cos(p, h, i, j) : 0, e[] = {0.0, 1e-9, -1e-9, 1e-9 + 1e-11 * c, -1e-9 - 1e-11 * c};
        s.minAngle = n && pick(3) ? std::acos(std::clamp(c + e[pick(5)], -1.0, 1.0)) * R_TO_D : from(90, 0, 185);
        const int sizes[] = {-1, 0, 1, 2, 4, 6, INT_MAX};
        s.flyingSize = sizes[pick(7)], s.flyingBorder = pick(4) ? pick(9) : sizes[pick(6)] * 100;
        s.customLimit = n && pick(2) ? nudge(p.estVertError[i]) : pick(2) ? uni(0, 0.2) : double(special[pick(11)]);

        PingStruct q(p);
        const bool customRef = Reference(q, s);
        tests.Derive(s);
        p.nadirBeam = -1;
        tests.FilterRange(p, s);
        tests.FilterDepth(p, s);
        tests.FilterNadir(p, s);
        tests.FilterSlope(p, s);
        tests.FilterAngle(p, s);
        tests.FilterbFlyingObjects(p, s);
        ASSERT_EQ(tests.FilterCustom(p, s), customRef) << trial;
        ASSERT_EQ(p.pingFlags, q.pingFlags) << trial;
        for (int b = 0; b < n; ++b) ASSERT_EQ(p.flags[b], q.flags[b]) << "trial " << trial << " beam " << b;
    }
}
