#include "PlanSvg.h"

#include "BeamFlags.h"
#include "SvgPicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <sstream>

namespace kvs::tool {

namespace {

constexpr int kWidth = 1000, kHeight = 560, kLeft = 70, kRight = 230, kTop = 40, kBottom = 50;
constexpr double kCell = 4.0; // pixels a side of the cells the beams are gathered in

// Depth colours, shallow to deep (a perceptually even ramp).
constexpr std::array<std::array<int, 3>, 5> kRamp = {{
    {0xfd, 0xe7, 0x25}, {0x5e, 0xc9, 0x62}, {0x21, 0x91, 0x8c}, {0x3b, 0x52, 0x8b}, {0x44, 0x01, 0x54}}};

std::string RampColour(double t)
{
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * (kRamp.size() - 1);
    const size_t i = std::min(static_cast<size_t>(t), kRamp.size() - 2);
    const double f = t - i;
    char buf[8];
    int c[3];
    for (int k = 0; k < 3; ++k) c[k] = static_cast<int>(std::lround(kRamp[i][k] + (kRamp[i + 1][k] - kRamp[i][k]) * f));
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c[0], c[1], c[2]);
    return buf;
}

struct PlanBeam
{
    double along, across, depth;
    unsigned int flags;
};

// The beams in line coordinates: the ping's place in the line frame plus the beam offsets.
std::vector<PlanBeam> LineCoordinates(const std::vector<PlanPing>& pings)
{
    std::vector<double> east, north;
    for (const PlanPing& p : pings) east.push_back(p.east), north.push_back(p.north);
    const std::vector<LinePlace> places = LinePlaces(east, north);
    std::vector<PlanBeam> beams;
    for (size_t p = 0; p < pings.size(); ++p) {
        const PlanPing& ping = pings[p];
        for (size_t i = 0; i < ping.flags.size(); ++i)
            beams.push_back({places[p].along + ping.y[i], places[p].across + ping.x[i], -static_cast<double>(ping.z[i]),
                             ping.flags[i]});
    }
    return beams;
}

} // namespace

std::vector<LinePlace> LinePlaces(const std::vector<double>& east, const std::vector<double>& north)
{
    const size_t n = std::min(east.size(), north.size());
    bool positioned = n > 0;
    for (size_t i = 0; i < n; ++i) positioned = positioned && std::isfinite(east[i]) && std::isfinite(north[i]);
    std::vector<LinePlace> places(n);
    if (!positioned) {
        for (size_t i = 0; i < n; ++i) places[i].along = static_cast<double>(i);
        return places;
    }
    double fe = 0.0, fn = 1.0; // forward unit vector (east, north)
    const double de = east[n - 1] - east[0], dn = north[n - 1] - north[0];
    const double len = std::hypot(de, dn);
    if (len > 1.0) fe = de / len, fn = dn / len;
    for (size_t i = 0; i < n; ++i) {
        const double e = east[i] - east[0], d = north[i] - north[0];
        places[i] = {e * fe + d * fn, e * fn - d * fe};
    }
    return places;
}

std::string PlanSvg(const std::vector<PlanPing>& pings, const std::string& title)
{
    const std::vector<PlanBeam> beams = LineCoordinates(pings);
    double amin = std::numeric_limits<double>::max(), amax = -amin, cmin = amin, cmax = -amin;
    std::vector<double> depths;
    for (const PlanBeam& b : beams) {
        if (!std::isfinite(b.along) || !std::isfinite(b.across) || !std::isfinite(b.depth)) continue;
        amin = std::min(amin, b.along), amax = std::max(amax, b.along);
        cmin = std::min(cmin, b.across), cmax = std::max(cmax, b.across);
        if (!FirstBeamFlag(b.flags)) depths.push_back(b.depth);
    }
    if (amin > amax) amin = 0, amax = 1, cmin = 0, cmax = 1;
    if (amax - amin < 1e-6) amax = amin + 1;
    if (cmax - cmin < 1e-6) cmax = cmin + 1;
    // The colour range leaves out the shallowest and deepest 1 % of the accepted beams.
    double dmin = 0.0, dmax = 1.0;
    if (!depths.empty()) {
        std::sort(depths.begin(), depths.end());
        dmin = depths[depths.size() / 100];
        dmax = depths[depths.size() - 1 - depths.size() / 100];
    }
    if (dmax - dmin < 1e-6) dmax = dmin + 1;

    const double pw = kWidth - kLeft - kRight, ph = kHeight - kTop - kBottom;
    const int cols = static_cast<int>(pw / kCell), rows = static_cast<int>(ph / kCell);
    auto cellOf = [&](const PlanBeam& b, int& c, int& r) {
        c = std::clamp(static_cast<int>((b.along - amin) / (amax - amin) * cols), 0, cols - 1);
        r = std::clamp(static_cast<int>((b.across - cmin) / (cmax - cmin) * rows), 0, rows - 1);
    };
    // Accepted beams: the mean depth of each cell. Rejected: one mark per filter and cell.
    std::vector<double> sum(static_cast<size_t>(cols) * rows, 0.0);
    std::vector<int> count(sum.size(), 0);
    std::map<std::pair<size_t, int>, const BeamFlagInfo*> marks; // (flag index, cell) -> flag
    std::vector<size_t> rejected(kBeamFlags.size(), 0);
    size_t accepted = 0;
    for (const PlanBeam& b : beams) {
        if (!std::isfinite(b.along) || !std::isfinite(b.across) || !std::isfinite(b.depth)) continue;
        int c = 0, r = 0;
        cellOf(b, c, r);
        const int cell = r * cols + c;
        if (const BeamFlagInfo* f = FirstBeamFlag(b.flags)) {
            const size_t index = static_cast<size_t>(f - kBeamFlags.data());
            ++rejected[index];
            marks.emplace(std::make_pair(index, cell), f);
        } else {
            ++accepted;
            sum[static_cast<size_t>(cell)] += b.depth;
            ++count[static_cast<size_t>(cell)];
        }
    }

    std::ostringstream s;
    BeginSvg(s, kWidth, kHeight, kLeft, title);
    for (size_t cell = 0; cell < sum.size(); ++cell) {
        if (!count[cell]) continue;
        const double d = sum[cell] / count[cell];
        s << "<rect x=\"" << kLeft + (cell % cols) * kCell << "\" y=\"" << kTop + (cell / cols) * kCell
          << "\" width=\"" << kCell << "\" height=\"" << kCell << "\" fill=\"" << RampColour((d - dmin) / (dmax - dmin))
          << "\"/>\n";
    }
    for (const auto& [key, f] : marks) {
        const int cell = key.second;
        s << "<circle cx=\"" << kLeft + (cell % cols + 0.5) * kCell << "\" cy=\"" << kTop + (cell / cols + 0.5) * kCell
          << "\" r=\"1.6\" fill=\"" << f->colour << "\" stroke=\"black\" stroke-width=\"0.3\"/>\n";
    }
    s << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << pw << "\" height=\"" << ph
      << "\" fill=\"none\" stroke=\"#444\"/>\n";
    for (int i = 0; i <= 5; ++i) {
        const double a = amin + (amax - amin) * i / 5, c = cmin + (cmax - cmin) * i / 5;
        s << "<text x=\"" << kLeft + pw * i / 5 << "\" y=\"" << kHeight - kBottom + 18 << "\" text-anchor=\"middle\">"
          << a << "</text>\n"
          << "<text x=\"" << kLeft - 6 << "\" y=\"" << kTop + ph * i / 5 + 4 << "\" text-anchor=\"end\">" << c
          << "</text>\n";
    }
    s << "<text x=\"" << kLeft + pw / 2 << "\" y=\"" << kHeight - 10
      << "\" text-anchor=\"middle\">along the line (m from the first ping)</text>\n"
      << "<text transform=\"translate(16," << kTop + ph / 2
      << ") rotate(-90)\" text-anchor=\"middle\">across the line (m, starboard down)</text>\n";

    // Colour bar, then the legend of the marks.
    const int bx = kWidth - kRight + 16, by = kTop + 10, bh = 150;
    for (int i = 0; i < bh; ++i)
        s << "<rect x=\"" << bx << "\" y=\"" << by + i << "\" width=\"14\" height=\"1.2\" fill=\""
          << RampColour(static_cast<double>(i) / (bh - 1)) << "\"/>\n";
    s.precision(2);
    for (int i = 0; i <= 4; ++i)
        s << "<text x=\"" << bx + 20 << "\" y=\"" << by + bh * i / 4 + 4 << "\">" << dmin + (dmax - dmin) * i / 4
          << " m</text>\n";
    s << "<text x=\"" << bx << "\" y=\"" << by + bh + 18 << "\">depth of accepted beams ("
      << accepted << ")</text>\n";
    int row = 0;
    for (size_t i = 0; i < kBeamFlags.size(); ++i) {
        if (!rejected[i]) continue;
        const int y = by + bh + 42 + 18 * row++;
        s << "<circle cx=\"" << bx + 6 << "\" cy=\"" << y << "\" r=\"4\" fill=\"" << kBeamFlags[i].colour
          << "\" stroke=\"black\" stroke-width=\"0.4\"/>\n"
          << "<text x=\"" << bx + 16 << "\" y=\"" << y + 4 << "\">" << kBeamFlags[i].name << " (" << rejected[i]
          << ")</text>\n";
    }
    s << "</svg>\n";
    return s.str();
}

} // namespace kvs::tool
