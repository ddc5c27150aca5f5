// kvsblocks simulate: writes a synthetic survey line as a record stream.
#include "Commands.h"
#include "OutputFile.h"
#include "Progress.h"
#include "SurveySimulator.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace kvs::tool {

namespace {

struct SimulateOptions
{
    SurveyLineOptions line;
    std::string spikeSize = "0.15:0.5";
    std::string output;
    bool quiet = false;
};

// "MIN:MAX", fractions of the depth with 0 <= MIN <= MAX < 1 (a spike of 1 or more
// would put the seabed above the sea surface).
std::string ParseSpikeSize(const std::string& text, SurveyLineOptions& line)
{
    double lo = 0.0, hi = 0.0;
    char colon = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%lf %c %lf %c", &lo, &colon, &hi, &rest) != 3 || colon != ':')
        return text + " is not MIN:MAX";
    if (!(lo >= 0.0 && lo <= hi && hi < 1.0)) return "need 0 <= MIN <= MAX < 1, got " + text;
    line.spikeMin = lo;
    line.spikeMax = hi;
    return {};
}

int RunSimulate(const SimulateOptions& o)
{
    OutputFile file(o.output);
    std::string failure;
    if (!file.Open(failure)) throw InputError(failure);
    RecordStreamWriter writer;
    CString error;
    if (!writer.Open(file.Stream(), error)) throw InputError(o.output + ": " + std::string(error));
    SurveySimulator sim(o.line);
    CDataBlock block;
    Progress progress("simulating", static_cast<uint64_t>(o.line.pings), "pings", o.quiet);
    while (sim.Next(block)) {
        if (!writer.Write(block, error)) throw InputError(o.output + ": " + std::string(error));
        progress.Update(static_cast<uint64_t>(sim.Produced()));
    }
    progress.Done();
    if (sim.Produced() < o.line.pings) throw InputError("the data definition has no layout for the simulated group");
    if (!writer.Close(error)) throw InputError(o.output + ": " + std::string(error));
    if (!file.Commit(failure)) throw InputError(failure);
    if (!o.quiet && o.output != "-") {
        std::printf("wrote %d %s to %s (%lld spikes, %lld flying-object beams injected)\n", sim.Produced(),
                    o.line.kind == SurveyLineOptions::Kind::Multibeam ? "pings" : "soundings", o.output.c_str(),
                    static_cast<long long>(sim.InjectedSpikes()), static_cast<long long>(sim.InjectedFlyingBeams()));
    }
    return kExitOk;
}

} // namespace

void AddSimulateCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<SimulateOptions>();
    CLI::App* cmd = app.add_subcommand("simulate", "Write a synthetic survey line as a stream of packed data blocks");
    const std::map<std::string, SurveyLineOptions::Kind> kinds{{"multibeam", SurveyLineOptions::Kind::Multibeam},
                                                               {"singlebeam", SurveyLineOptions::Kind::SingleBeam}};
    cmd->add_option("-o,--output", o->output, "Record stream file to write (- for standard output)")->required();
    cmd->add_option("--kind", o->line.kind, "multibeam pings (group 1011) or singlebeam soundings (group 1010)")
        ->transform(CLI::CheckedTransformer(kinds, CLI::ignore_case))
        ->capture_default_str();
    cmd->add_option("--beams", o->line.beams, "Beams per ping")->check(CLI::Range(1, 4000))->capture_default_str();
    cmd->add_option("--pings", o->line.pings, "Pings (or soundings) to write")->check(CLI::Range(1, 10000000))->capture_default_str();
    cmd->add_option("--rate", o->line.pingRate, "Pings per second")->check(CLI::Range(0.01, 1000.0))->capture_default_str();
    cmd->add_option("--depth", o->line.depth, "Water depth at the start, metres")->check(CLI::Range(1.0, 11000.0))->capture_default_str();
    cmd->add_option("--slope", o->line.acrossSlope, "Across-track seabed slope, degrees")->check(CLI::Range(-30.0, 30.0))->capture_default_str();
    cmd->add_option("--along-slope", o->line.alongSlope, "Along-track slope, percent")->check(CLI::Range(-20.0, 20.0))->capture_default_str();
    cmd->add_option("--ripple", o->line.rippleHeight, "Seabed ripple height, metres")->check(CLI::Range(0.0, 10.0))->capture_default_str();
    cmd->add_option("--ripple-length", o->line.rippleLength, "Ripple wave length, metres")->check(CLI::Range(0.5, 1000.0))->capture_default_str();
    cmd->add_option("--noise", o->line.noise, "Depth noise at nadir, metres (1 sigma)")->check(CLI::Range(0.0, 10.0))->capture_default_str();
    cmd->add_option("--spikes", o->line.spikeRate, "Fraction of beams given a spike")->check(CLI::Range(0.0, 1.0))->capture_default_str();
    cmd->add_option("--spike-size", o->spikeSize, "Spike jump MIN:MAX as fractions of the depth (e.g. 0.01:0.05)")
        ->check([o](const std::string& text) { return ParseSpikeSize(text, o->line); })
        ->capture_default_str();
    cmd->add_option("--flying", o->line.flyingRate, "Fraction of pings with a flying object")->check(CLI::Range(0.0, 1.0))->capture_default_str();
    cmd->add_option("--swath", o->line.swath, "Swath opening angle, degrees")->check(CLI::Range(1.0, 170.0))->capture_default_str();
    cmd->add_option("--speed", o->line.speed, "Vessel speed, metres per second")->check(CLI::Range(0.0, 20.0))->capture_default_str();
    cmd->add_option("--seed", o->line.seed, "Random seed: the same options give the same file")->capture_default_str();
    cmd->add_flag("-q,--quiet", o->quiet, "Print nothing, no progress either");
    cmd->callback([o, &run] { run = [o] { return RunSimulate(*o); }; });
}

} // namespace kvs::tool
