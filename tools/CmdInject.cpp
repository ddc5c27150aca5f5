// kvsblocks inject: puts known outliers into the beams of a real multibeam line, so that
// the filters' detection and false alarms can be measured on real seabed. Only beams the
// sonar marked usable (bit 0x01) with a finite depth are disturbed, each at most once, and
// each disturbed beam gets the truth bit 0x80 (kSimulatedOutlierBit), which the filter
// summary, the tuner and the plots read. The kinds of outlier (sizes are fractions of the
// beam's own depth):
//   spikes    single beams moved up or down by --spike-size (5 to 30 %);
//   subtle    single beams moved up or down by --subtle-size (1 to 5 %);
//   clusters  fish or bubbles: 3 to 10 adjacent beams for 1 to 3 pings, 10 to 60 %
//             shallower, moved back along their own beams towards the transducer;
//   bursts    noise on the outer beams of one side (the outer 10 to 25 % of the ping's
//             beams) for 2 to 5 pings: every other usable beam there jumps up or down
//             by 5 to 30 %.
// Spike and subtle rates are fractions of the usable beams; cluster and burst rates are
// the chance that one starts at a ping. The same line, options and seed give the same file.
#include "Commands.h"
#include "OutputFile.h"
#include "SurveySimulator.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

constexpr unsigned short kMultibeamGroup = 1011;

struct Range
{
    double lo = 0.0, hi = 0.0;
};

struct InjectOptions
{
    std::string input, output;
    uint64_t seed = 1;
    double spikes = 0.0, subtle = 0.0, clusters = 0.0, bursts = 0.0;
    Range spikeSize{0.05, 0.30};
    Range subtleSize{0.01, 0.05};
    std::string spikeText = "0.05:0.3", subtleText = "0.01:0.05";
    bool quiet = false;
};

// "MIN:MAX" with 0 <= MIN <= MAX < 1; "" or the reason it is refused.
std::string ParseRange(const std::string& text, Range& r)
{
    double lo = 0.0, hi = 0.0;
    char colon = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%lf %c %lf %c", &lo, &colon, &hi, &rest) != 3 || colon != ':')
        return text + " is not MIN:MAX";
    if (!(lo >= 0.0 && lo <= hi && hi < 1.0)) return "need 0 <= MIN <= MAX < 1, got " + text;
    r = {lo, hi};
    return {};
}

struct InjectCounts
{
    long long pings = 0, usable = 0, spikes = 0, subtle = 0, clusterBeams = 0, clusters = 0, burstBeams = 0,
              bursts = 0;
};

// The disturbances that run over several pings.
struct Cluster
{
    int first = 0, width = 0, pingsLeft = 0;
    double factor = 1.0; // the beams' new distance from the transducer, as a share of the old
};
struct Burst
{
    int side = 1; // -1 port (low beam indexes), +1 starboard
    double share = 0.1;
    int pingsLeft = 0;
};

class Injector
{
public:
    explicit Injector(const InjectOptions& o) : m_o(o), m_rng(o.seed) {}

    // Disturbs the usable beams of one multibeam block; other blocks are left as they are.
    void Ping(CDataBlock& block)
    {
        if (block.GetDataId().GetGroupId() != kMultibeamGroup) return;
        if (!ReadFloatArray(block, 603, m_x) || !ReadFloatArray(block, 604, m_y) || !ReadFloatArray(block, 605, m_z) ||
            !ReadUIntArray(block, 606, m_flags))
            return;
        int n = static_cast<int>(std::min({m_x.size(), m_y.size(), m_z.size(), m_flags.size()}));
        int count = 0;
        unsigned short status = 0;
        if (block.GetDataValue(602, count, status, CDataBlock::kByUseAs) && count >= 0 && count < n) n = count;
        double off = 0.0;
        block.GetDataValue(212, off, status, CDataBlock::kByUseAs);
        ++m_counts.pings;
        auto usable = [&](int i) {
            return (m_flags[i] & kSonarGoodBit) && !(m_flags[i] & kSimulatedOutlierBit) && std::isfinite(m_z[i]);
        };
        for (int i = 0; i < n; ++i) m_counts.usable += usable(i);
        auto mark = [&](int i) { m_flags[i] |= kSimulatedOutlierBit; };
        auto jump = [&](int i, const Range& size) {
            const double depth = -static_cast<double>(m_z[i]);
            const double f = size.lo + (size.hi - size.lo) * Uniform();
            m_z[i] = static_cast<float>(m_z[i] + (Uniform() < 0.5 ? -1.0 : 1.0) * f * std::fabs(depth));
            mark(i);
        };

        // New clusters and bursts start here and run on over the next pings.
        if (n >= 3 && Uniform() < m_o.clusters) {
            Cluster c;
            c.width = std::min(n, 3 + static_cast<int>(Uniform() * 8.0));
            c.first = static_cast<int>(Uniform() * (n - c.width + 1));
            c.pingsLeft = 1 + static_cast<int>(Uniform() * 3.0);
            c.factor = 1.0 - (0.1 + 0.5 * Uniform());
            m_clusters.push_back(c);
            ++m_counts.clusters;
        }
        if (n >= 8 && Uniform() < m_o.bursts) {
            m_bursts.push_back({Uniform() < 0.5 ? -1 : 1, 0.10 + 0.15 * Uniform(), 2 + static_cast<int>(Uniform() * 4.0)});
            ++m_counts.bursts;
        }
        for (Cluster& c : m_clusters) {
            for (int i = c.first; i < c.first + c.width && i < n; ++i) {
                if (!usable(i)) continue;
                // Along the beam towards the transducer, which lies at z = -off.
                const double f = c.factor * (1.0 + 0.05 * (Uniform() - 0.5));
                m_x[i] = static_cast<float>(m_x[i] * f);
                m_y[i] = static_cast<float>(m_y[i] * f);
                m_z[i] = static_cast<float>((m_z[i] + off) * f - off);
                mark(i);
                ++m_counts.clusterBeams;
            }
            --c.pingsLeft;
        }
        for (Burst& b : m_bursts) {
            const int width = std::max(1, static_cast<int>(b.share * n));
            const int first = b.side < 0 ? 0 : n - width;
            for (int i = first; i < first + width; ++i)
                if (usable(i) && Uniform() < 0.5) {
                    jump(i, Range{0.05, 0.30});
                    ++m_counts.burstBeams;
                }
            --b.pingsLeft;
        }
        std::erase_if(m_clusters, [](const Cluster& c) { return c.pingsLeft <= 0; });
        std::erase_if(m_bursts, [](const Burst& b) { return b.pingsLeft <= 0; });
        for (int i = 0; i < n; ++i) {
            if (!usable(i)) continue;
            const double u = Uniform();
            if (u < m_o.spikes) {
                jump(i, m_o.spikeSize);
                ++m_counts.spikes;
            } else if (u < m_o.spikes + m_o.subtle) {
                jump(i, m_o.subtleSize);
                ++m_counts.subtle;
            }
        }
        const unsigned short ok = 0;
        block.SetDataValue(603, m_x.data(), n, ok, CDataBlock::kByUseAs);
        block.SetDataValue(604, m_y.data(), n, ok, CDataBlock::kByUseAs);
        block.SetDataValue(605, m_z.data(), n, ok, CDataBlock::kByUseAs);
        block.SetDataValue(606, m_flags.data(), n, ok, CDataBlock::kByUseAs);
    }

    const InjectCounts& Counts() const { return m_counts; }

private:
    double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng); }

    const InjectOptions& m_o;
    std::mt19937_64 m_rng;
    std::vector<float> m_x, m_y, m_z;
    std::vector<unsigned int> m_flags;
    std::vector<Cluster> m_clusters;
    std::vector<Burst> m_bursts;
    InjectCounts m_counts;
};

int RunInject(const InjectOptions& o)
{
    RefuseSameFile({o.input}, {o.output});
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    OutputFile file(o.output);
    std::string failure;
    if (!file.Open(failure)) throw InputError(failure);
    RecordStreamWriter writer;
    if (!writer.Open(file.Stream(), error)) throw InputError(o.output + ": " + std::string(error));
    Injector injector(o);
    CDataBlock block;
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) throw InputError(o.input + ": " + std::string(error));
        injector.Ping(block);
        if (!writer.Write(block, error)) throw InputError(o.output + ": " + std::string(error));
    }
    if (!writer.Close(error)) throw InputError(o.output + ": " + std::string(error));
    if (!file.Commit(failure)) throw InputError(failure);
    const InjectCounts& c = injector.Counts();
    if (!o.quiet && o.output != "-")
        std::printf("%lld pings, %lld usable beams: %lld spikes, %lld subtle, %lld cluster beams in %lld clusters, "
                    "%lld burst beams in %lld bursts injected into %s\n",
                    c.pings, c.usable, c.spikes, c.subtle, c.clusterBeams, c.clusters, c.burstBeams, c.bursts,
                    o.output.c_str());
    return kExitOk;
}

} // namespace

void AddInjectCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<InjectOptions>();
    CLI::App* cmd = app.add_subcommand(
        "inject", "Put known outliers (truth bit 0x80) into the usable beams of a multibeam line");
    cmd->add_option("input", o->input, "Record stream file with multibeam pings")->required();
    cmd->add_option("-o,--output", o->output, "Record stream file to write (- for standard output)")->required();
    cmd->add_option("--seed", o->seed, "Random seed: the same line, options and seed give the same file")
        ->capture_default_str();
    cmd->add_option("--spikes", o->spikes, "Fraction of the usable beams given a spike")->check(CLI::Range(0.0, 1.0));
    cmd->add_option("--subtle", o->subtle, "Fraction of the usable beams given a subtle spike")
        ->check(CLI::Range(0.0, 1.0));
    cmd->add_option("--clusters", o->clusters, "Chance that a fish or bubble cluster starts at a ping")
        ->check(CLI::Range(0.0, 1.0));
    cmd->add_option("--bursts", o->bursts, "Chance that a burst of noisy outer beams starts at a ping")
        ->check(CLI::Range(0.0, 1.0));
    cmd->add_option("--spike-size", o->spikeText, "Spike jump MIN:MAX as fractions of the depth")
        ->check([o](const std::string& text) { return ParseRange(text, o->spikeSize); })
        ->capture_default_str();
    cmd->add_option("--subtle-size", o->subtleText, "Subtle jump MIN:MAX as fractions of the depth")
        ->check([o](const std::string& text) { return ParseRange(text, o->subtleSize); })
        ->capture_default_str();
    cmd->add_flag("-q,--quiet", o->quiet, "Print nothing");
    cmd->callback([o, &run] {
        run = [o] {
            if (o->spikes + o->subtle > 1.0) throw UsageError("--spikes and --subtle together exceed 1");
            return RunInject(*o);
        };
    });
}

} // namespace kvs::tool
