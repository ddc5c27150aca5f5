// Test and benchmark helper: a synthetic multibeam survey line. A vessel runs along y over
// a seabed that slopes along and across track and carries ripples; each ping is a data
// block (group 1011) with equiangular beams, depth noise growing towards the outer beams,
// and injected outliers: spikes (depth off by 10 to 30 %) and flying objects (a return
// from the water column on the beam's line, at 30 to 70 % of the seabed range).
// Seeded: the same options give the same line.
#pragma once

#include "PingBlock.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace pingtest {

enum class Truth : unsigned char { Clean, Spike, Flying };

struct SurveyLineOptions
{
    int beams = 400;
    double depth = 30.0;          // metres at the start of the line below nadir
    double slopeAlong = 0.01;     // depth change per metre along track
    double slopeAcross = 0.03;    // depth change per metre across track (starboard deeper)
    double rippleHeight = 0.25;   // metres, half the crest-to-trough height
    double rippleLength = 12.0;   // metres
    double noise = 0.0015;        // 1-sigma depth noise at nadir as a fraction of depth
    double halfSwath = 65.0;      // degrees from the vertical
    double speed = 2.5;           // metres per second
    double pingRate = 10.0;       // pings per second
    double spikeRate = 0.003;     // share of beams turned into spikes
    double flyingRate = 0.002;    // share of beams turned into flying objects
    unsigned int seed = 1;
};

class SurveyLine
{
public:
    explicit SurveyLine(const SurveyLineOptions& o) : m_o(o), m_rng(o.seed) {}

    double SeabedDepth(double x, double y) const
    {
        const double k = 2.0 * std::numbers::pi / m_o.rippleLength;
        return m_o.depth + m_o.slopeAlong * y + m_o.slopeAcross * x +
               m_o.rippleHeight * std::sin(k * (0.87 * y + 0.5 * x));
    }

    // Ping p: its block and the truth of every beam.
    CDataBlock Ping(int p, std::vector<Truth>& truth)
    {
        const int n = m_o.beams;
        const double y0 = p * m_o.speed / m_o.pingRate;
        std::vector<float> x(n), y(n, 0.0f), z(n), ev(n), eh(n);
        std::vector<unsigned int> flags(n, 0x3u);
        truth.assign(n, Truth::Clean);
        std::normal_distribution<double> gauss(0.0, 1.0);
        std::uniform_real_distribution<double> uni(0.0, 1.0);
        for (int i = 0; i < n; ++i) {
            const double a = (-m_o.halfSwath + 2.0 * m_o.halfSwath * i / (n - 1)) * std::numbers::pi / 180.0;
            double d = m_o.depth;
            double xi = 0.0;
            for (int it = 0; it < 4; ++it) {
                xi = d * std::tan(a);
                d = SeabedDepth(xi, y0);
            }
            const double sigma = m_o.noise * d * (1.0 + 2.0 * std::sin(a) * std::sin(a));
            double zi = -(d + sigma * gauss(m_rng));
            const double r = uni(m_rng);
            if (r < m_o.spikeRate) {
                truth[i] = Truth::Spike;
                zi *= 1.0 + (uni(m_rng) < 0.5 ? -1.0 : 1.0) * (0.1 + 0.2 * uni(m_rng));
            } else if (r < m_o.spikeRate + m_o.flyingRate) {
                truth[i] = Truth::Flying;
                const double f = 0.3 + 0.4 * uni(m_rng);
                xi *= f;
                zi *= f;
            }
            x[i] = static_cast<float>(xi);
            z[i] = static_cast<float>(zi);
            ev[i] = static_cast<float>(1.96 * sigma + 0.05);
            eh[i] = static_cast<float>(0.5 + 0.01 * std::fabs(xi));
        }
        CDataBlock b = MakePingBlock(n, p / m_o.pingRate);
        b.SetDataValue(601, p, 0, 2);
        b.SetDataValue(506, y0, 0, 2);
        SetFloats(b, 603, x);
        SetFloats(b, 604, y);
        SetFloats(b, 605, z);
        SetFlags(b, flags);
        SetFloats(b, 676, ev);
        SetFloats(b, 677, eh);
        return b;
    }

private:
    SurveyLineOptions m_o;
    std::mt19937 m_rng;
};

} // namespace pingtest
