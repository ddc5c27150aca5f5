#include "SurveySimulator.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace kvs {

namespace {

constexpr unsigned short kMultibeamGroup = 1011;
constexpr unsigned short kSingleBeamGroup = 1010;
constexpr unsigned short kByUseAs = CDataBlock::kByUseAs;

} // namespace

SurveySimulator::SurveySimulator(const SurveyLineOptions& options) : m_opt(options), m_rng(options.seed)
{
    m_opt.beams = std::clamp(m_opt.beams, 1, 4000);
    m_opt.pings = std::max(m_opt.pings, 0);
    if (!(m_opt.pingRate > 0.0)) m_opt.pingRate = 1.0;
    if (!(m_opt.spikeMin >= 0.0)) m_opt.spikeMin = 0.0;
    if (!(m_opt.spikeMax >= m_opt.spikeMin)) m_opt.spikeMax = m_opt.spikeMin;
}

double SurveySimulator::SeabedDepth(double across, double along) const
{
    const double ripple = 0.5 * m_opt.rippleHeight *
                          std::sin(2.0 * std::numbers::pi * along / std::max(m_opt.rippleLength, 0.1));
    double bump = 0.0;
    if (m_opt.bumpHeight != 0.0 && m_opt.bumpRadius > 0.0) {
        const double centre = 0.5 * m_opt.speed * std::max(m_opt.pings - 1, 0) / m_opt.pingRate;
        const double r = std::hypot(across, along - centre);
        if (r < m_opt.bumpRadius) bump = 0.5 * m_opt.bumpHeight * (1.0 + std::cos(std::numbers::pi * r / m_opt.bumpRadius));
    }
    return m_opt.depth + along * m_opt.alongSlope / 100.0 - across * std::tan(m_opt.acrossSlope * D_TO_R) + ripple - bump;
}

bool SurveySimulator::Next(CDataBlock& block)
{
    if (m_index >= m_opt.pings) return false;
    const bool ok = m_opt.kind == SurveyLineOptions::Kind::Multibeam ? NextMultibeam(block) : NextSingleBeam(block);
    if (ok) ++m_index;
    return ok;
}

bool SurveySimulator::NextMultibeam(CDataBlock& block)
{
    if (block.GetDataId().GetGroupId() != kMultibeamGroup || block.GetLength() == 0) {
        if (!BuildDataBlockFromDefinition(CDataId(1, kMultibeamGroup, 1, 1), block)) return false;
    }
    const int n = m_opt.beams;
    const double t = m_opt.startTime + m_index / m_opt.pingRate;
    const double along = m_opt.speed * m_index / m_opt.pingRate;

    std::vector<float> x(n), y(n), z(n), angle(n), vertErr(n), horErr(n), zeros(n, 0.0f);
    std::vector<unsigned int> flags(n, kSonarGoodBit);
    m_truth.assign(static_cast<size_t>(n), BeamTruth::Clean);
    std::vector<unsigned short> zeros16(n, 0);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    const double half = 0.5 * m_opt.swath * D_TO_R;
    for (int i = 0; i < n; ++i) {
        // Beams from port (negative angle) to starboard, equiangular.
        const double a = n == 1 ? 0.0 : -half + 2.0 * half * i / (n - 1);
        // Intersect the beam with the seabed: a few fixed-point steps are plenty for
        // the gentle slopes simulated here.
        double range = SeabedDepth(0.0, along);
        for (int k = 0; k < 4; ++k) range = SeabedDepth(range * std::sin(a), along) / std::cos(a);
        const double sigma = m_opt.noise * (1.0 + 2.0 * std::pow(std::sin(a), 2)) / std::max(std::cos(a), 0.2);
        const double across = range * std::sin(a);
        const double depth = range * std::cos(a) + sigma * unit(m_rng);
        x[i] = static_cast<float>(across);
        y[i] = static_cast<float>(0.02 * unit(m_rng));
        z[i] = static_cast<float>(-depth);
        angle[i] = static_cast<float>(a / D_TO_R);
        vertErr[i] = static_cast<float>(0.02 + sigma);
        horErr[i] = static_cast<float>(0.05 + 0.01 * range);
        if (uniform(m_rng) < m_opt.spikeRate) {
            // A spike: the depth jumps by spikeMin to spikeMax of itself, up or down.
            const double size = m_opt.spikeMin + (m_opt.spikeMax - m_opt.spikeMin) * uniform(m_rng);
            const double jump = depth * size * (uniform(m_rng) < 0.5 ? -1.0 : 1.0);
            z[i] = static_cast<float>(-(depth + jump));
            flags[i] |= kSimulatedOutlierBit;
            m_truth[i] = BeamTruth::Spike;
            ++m_spikes;
        }
    }
    if (uniform(m_rng) < m_opt.flyingRate && n >= 8) {
        // A flying object: a few neighbouring beams return from high in the water column.
        const int width = 1 + static_cast<int>(uniform(m_rng) * 3.0);
        const int first = static_cast<int>(uniform(m_rng) * (n - width));
        const double height = 0.3 + 0.4 * uniform(m_rng);
        for (int i = first; i < first + width; ++i) {
            if (flags[i] & kSimulatedOutlierBit) continue;
            z[i] = static_cast<float>(z[i] * height);
            x[i] = static_cast<float>(x[i] * height);
            flags[i] |= kSimulatedOutlierBit;
            m_truth[i] = BeamTruth::Flying;
            ++m_flyingBeams;
        }
    }

    const unsigned short ok = 0;
    block.SetTime(t);
    block.SetStatus(0);
    bool good = true;
    good &= block.SetDataValue(601, m_index + 1, ok, kByUseAs);
    good &= block.SetDataValue(602, n, ok, kByUseAs);
    good &= block.SetDataValue(612, 0, ok, kByUseAs);
    good &= block.SetDataValue(212, 0.0, ok, kByUseAs);
    good &= block.SetDataValue(507, 0.0, ok, kByUseAs);
    good &= block.SetDataValue(505, m_opt.startX, ok, kByUseAs);
    good &= block.SetDataValue(506, m_opt.startY + along, ok, kByUseAs);
    good &= block.SetDataValue(603, x.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(604, y.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(605, z.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(606, flags.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(607, 0u, ok, kByUseAs);
    good &= block.SetDataValue(622, angle.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(676, vertErr.data(), n, ok, kByUseAs);
    good &= block.SetDataValue(677, horErr.data(), n, ok, kByUseAs);
    // The other per-beam arrays of the layout are sized to the ping and left zero.
    for (unsigned short useAs : {621, 623, 618, 678, 679}) block.SetDataValue(useAs, zeros.data(), n, 40, kByUseAs);
    block.SetDataValue(608, zeros16.data(), n, 40, kByUseAs);
    return good;
}

bool SurveySimulator::NextSingleBeam(CDataBlock& block)
{
    if (block.GetDataId().GetGroupId() != kSingleBeamGroup || block.GetLength() == 0) {
        if (!BuildDataBlockFromDefinition(CDataId(1, kSingleBeamGroup, 1, 1), block)) return false;
    }
    std::normal_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double t = m_opt.startTime + m_index / m_opt.pingRate;
    const double along = m_opt.speed * m_index / m_opt.pingRate;
    double depth = SeabedDepth(0.0, along) + m_opt.noise * unit(m_rng);
    block.SetTime(t);
    block.SetStatusAndFlags(0);
    if (uniform(m_rng) < m_opt.spikeRate) {
        const double size = m_opt.spikeMin + (m_opt.spikeMax - m_opt.spikeMin) * uniform(m_rng);
        depth += depth * size * (uniform(m_rng) < 0.5 ? -1.0 : 1.0);
        block.SetStatusFlag(kSimulatedOutlierFlag);
        ++m_spikes;
    }
    bool good = block.SetDataValue(201, depth, 0, kByUseAs);
    good &= block.SetDataValue(505, m_opt.startX, 0, kByUseAs);
    good &= block.SetDataValue(506, m_opt.startY + along, 0, kByUseAs);
    return good;
}

} // namespace kvs
