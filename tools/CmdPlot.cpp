// kvsblocks plot: SVG pictures of a multibeam line: one ping (across-track distance
// against depth), the whole line (depth along the track) and the plan view, beams
// gathered in cells (BeamGrid) so that the pictures stay small and readable whatever the
// line's size. The file is read twice: first for the ping positions and a sample of the
// beams, which fix the line's direction and the axes (fitted to the accepted beams), then
// to fill the pictures; no beam is held in memory.
#include "BeamGrid.h"
#include "CommandLineHint.h"
#include "Commands.h"
#include "OutputFile.h"
#include "PlanSvg.h"
#include "Progress.h"
#include "SvgPicture.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct PlotOptions
{
    std::string input;
    std::string pingSvg;
    std::string lineSvg;
    std::string planSvg;
    long long ping = -1; // number of the ping to draw (601); -1: the middle one
    bool quiet = false;
};

constexpr size_t kSamplesPerPing = 64; // beams a ping gives to the sample that fits the axes

// The beams of one multibeam block, copied out.
struct PingBeams
{
    long long number = 0;                     // as the file numbers it (601), else its 1-based place
    double east = 0.0, north = 0.0;           // NaN when absent
    std::vector<float> x, y, z;               // across, along, up
    std::vector<unsigned int> flags;
};

bool ReadPing(const CDataBlock& block, long long place, PingBeams& p)
{
    if (!ReadFloatArray(block, UseAs::kAcrossTrack, p.x) || !ReadFloatArray(block, UseAs::kBeamZ, p.z) ||
        !ReadUIntArray(block, UseAs::kBeamFlags, p.flags))
        return false;
    int n = 0;
    unsigned short s = 0;
    if (!block.GetDataValue(UseAs::kBeamCount, n, s, CDataBlock::kByUseAs)) n = static_cast<int>(p.x.size());
    const size_t count = static_cast<size_t>(std::clamp(n, 0, static_cast<int>(std::min({p.x.size(), p.z.size(), p.flags.size()}))));
    p.x.resize(count), p.z.resize(count), p.flags.resize(count);
    if (!ReadFloatArray(block, UseAs::kAlongTrack, p.y) || p.y.size() < count) p.y.assign(count, 0.0f);
    p.y.resize(count);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    int number = 0;
    p.number = block.GetDataValue(UseAs::kPingNumber, number, s, CDataBlock::kByUseAs) ? number : place;
    p.east = block.GetDataValue(UseAs::kPositionX, p.east, s, CDataBlock::kByUseAs) ? p.east : nan;
    p.north = block.GetDataValue(UseAs::kPositionY, p.north, s, CDataBlock::kByUseAs) ? p.north : nan;
    return true;
}

// Calls each with every multibeam ping of the file in turn; progress is told the offset.
void ForEachPing(const std::string& path, const std::function<void(const PingBeams&, size_t)>& each,
                 const std::function<void(uint64_t)>& progress)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(path.c_str(), error)) throw InputError(path + ": " + std::string(error) + StreamInputHint(path));
    CDataBlock block;
    PingBeams ping;
    size_t index = 0;
    for (long long place = 1;; ++place) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error)
            throw InputError(path + ": " + std::string(error) + " (no picture written)");
        progress(reader.Offset());
        if (ReadPing(block, place, ping)) each(ping, index++);
    }
}

// First pass: the ping numbers and positions and a sample of the beams.
struct Sample
{
    uint32_t ping;
    float x, y, depth;
    bool accepted;
};

struct Survey
{
    std::vector<long long> numbers;
    std::vector<double> east, north;
    std::vector<Sample> samples;
    bool anyAccepted = false;
};

// Accepted samples when there are any, else all; value picks the number of each.
std::vector<double> SampleValues(const Survey& sv, const std::function<double(const Sample&)>& value)
{
    std::vector<double> v;
    for (const Sample& s : sv.samples)
        if (s.accepted || !sv.anyAccepted) v.push_back(value(s));
    return v;
}

AxisRange Fit(std::vector<double> values, double trim, double pad) { return RobustRange(values, trim, pad); }

// Writes each picture to its own new file, then puts them all in place: a failure leaves
// every target as it was (unless the disk fails between two renames).
void WriteFiles(const std::vector<std::pair<std::string, std::string>>& pictures)
{
    std::vector<std::unique_ptr<OutputFile>> files;
    std::string failure;
    for (const auto& [path, text] : pictures) {
        files.push_back(std::make_unique<OutputFile>(path));
        if (!files.back()->Open(failure)) throw InputError(failure);
        if (std::fwrite(text.data(), 1, text.size(), files.back()->Stream()) != text.size())
            throw InputError(path + ": cannot write: " + std::strerror(errno));
    }
    for (const auto& file : files)
        if (!file->Commit(failure)) throw InputError(failure);
}

int RunPlot(const PlotOptions& o)
{
    if (o.pingSvg.empty() && o.lineSvg.empty() && o.planSvg.empty())
        throw UsageError("nothing to plot: give --ping-svg, --line-svg and/or --plan-svg");
    RefuseSameFile({o.input}, {o.pingSvg, o.lineSvg, o.planSvg});
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(o.input, ec);
    Progress progress("plotting " + o.input, ec ? 0 : 2 * size, "bytes", o.quiet);

    Survey sv;
    ForEachPing(
        o.input,
        [&](const PingBeams& p, size_t index) {
            sv.numbers.push_back(p.number);
            sv.east.push_back(p.east);
            sv.north.push_back(p.north);
            const size_t step = std::max<size_t>(1, p.flags.size() / kSamplesPerPing);
            for (size_t i = 0; i < p.flags.size(); i += step) {
                const bool accepted = !Multibeam::IsBeamRejected(p.flags[i]);
                sv.anyAccepted = sv.anyAccepted || accepted;
                sv.samples.push_back({static_cast<uint32_t>(index), p.x[i], p.y[i], -p.z[i], accepted});
            }
        },
        [&](uint64_t offset) { progress.Update(offset); });
    if (sv.numbers.empty()) throw InputError(o.input + ": no multibeam pings to plot");

    size_t pingIndex = sv.numbers.size() / 2;
    if (o.ping >= 0) {
        const auto it = std::find(sv.numbers.begin(), sv.numbers.end(), o.ping);
        if (it == sv.numbers.end())
            throw InputError(o.input + " has no ping " + std::to_string(o.ping) + " (its pings are numbered " +
                             std::to_string(sv.numbers.front()) + " to " + std::to_string(sv.numbers.back()) + ")");
        pingIndex = static_cast<size_t>(it - sv.numbers.begin());
    }

    const std::vector<LinePlace> places = LinePlaces(sv.east, sv.north);
    std::vector<double> alongs;
    for (const LinePlace& p : places) alongs.push_back(p.along);
    const AxisRange lineX = Fit(alongs, 0.0, 0.02);
    const AxisRange depthAxis = Fit(SampleValues(sv, [](const Sample& s) { return s.depth; }), 0.001, 0.05);
    const AxisRange planX = Fit(SampleValues(sv, [&](const Sample& s) { return places[s.ping].along + s.y; }), 0.001, 0.02);
    const AxisRange planY = Fit(SampleValues(sv, [&](const Sample& s) { return places[s.ping].across + s.x; }), 0.001, 0.03);
    const AxisRange depthColours = Fit(SampleValues(sv, [](const Sample& s) { return s.depth; }), 0.01, 0.0);

    // A column of the line picture holds about two pings, so that none falls between columns.
    const int columnWidth = std::clamp(static_cast<int>(2 * kPlotWidth / sv.numbers.size()) + 1, 2, 8);
    BeamGrid line(lineX, depthAxis, kPlotWidth, kPlotHeight, columnWidth, 2);
    BeamGrid plan(planX, planY, kPlotWidth, kPlotHeight, 4, 4);
    PingBeams chosen;
    ForEachPing(
        o.input,
        [&](const PingBeams& p, size_t index) {
            const LinePlace& at = places[index];
            for (size_t i = 0; i < p.flags.size(); ++i) {
                const double depth = -p.z[i];
                if (!o.lineSvg.empty()) line.Add(at.along, depth, depth, p.flags[i]);
                if (!o.planSvg.empty()) plan.Add(at.along + p.y[i], at.across + p.x[i], depth, p.flags[i]);
            }
            if (index == pingIndex) chosen = p;
        },
        [&](uint64_t offset) { progress.Update(size + offset); });
    progress.Done();

    std::vector<std::pair<std::string, std::string>> pictures;
    if (!o.pingSvg.empty()) {
        Survey one;
        for (size_t i = 0; i < chosen.flags.size(); ++i) {
            const bool accepted = !Multibeam::IsBeamRejected(chosen.flags[i]);
            one.anyAccepted = one.anyAccepted || accepted;
            one.samples.push_back({0, chosen.x[i], 0.0f, -chosen.z[i], accepted});
        }
        const AxisRange x = Fit(SampleValues(one, [](const Sample& s) { return s.x; }), 0.0, 0.04);
        const AxisRange y = Fit(SampleValues(one, [](const Sample& s) { return s.depth; }), 0.005, 0.08);
        BeamGrid grid(x, y, kPlotWidth, kPlotHeight, 3, 3);
        for (size_t i = 0; i < chosen.flags.size(); ++i) grid.Add(chosen.x[i], -chosen.z[i], -chosen.z[i], chosen.flags[i]);
        pictures.emplace_back(o.pingSvg, GridSvg(grid, x, y,
                                                 {"Ping " + std::to_string(chosen.number) + " of " + o.input,
                                                  "across-track distance (m, starboard positive)", "depth (m)", one.anyAccepted},
                                                 false, {}));
    }
    if (!o.lineSvg.empty())
        pictures.emplace_back(o.lineSvg, GridSvg(line, lineX, depthAxis,
                                                 {"Line " + o.input + ": every beam along the track",
                                                  "along the track (m from the first ping)", "depth (m)", sv.anyAccepted},
                                                 false, {}));
    if (!o.planSvg.empty())
        pictures.emplace_back(o.planSvg, GridSvg(plan, planX, planY,
                                                 {"Plan view of " + o.input + ": depth and rejected beams",
                                                  "along the line (m from the first ping; not to scale)",
                                                  "across the line (m, starboard down)", sv.anyAccepted},
                                                 true, depthColours));
    WriteFiles(pictures);
    for (const auto& picture : pictures) std::printf("wrote %s\n", picture.first.c_str());
    return kExitOk;
}

} // namespace

void AddPlotCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<PlotOptions>();
    CLI::App* cmd = app.add_subcommand("plot", "Draw SVG pictures of a multibeam line, rejected beams coloured by filter");
    cmd->add_option("input", o->input, "Record stream file")->required();
    cmd->add_option("--ping-svg", o->pingSvg, "Write the picture of one ping (across-track distance against depth)");
    cmd->add_option("--line-svg", o->lineSvg, "Write the picture of the whole line (depth along the track)");
    cmd->add_option("--plan-svg", o->planSvg,
                    "Write the plan view: every beam at its place along and across the line, by depth and filter");
    cmd->add_option("--ping", o->ping, "Number of the ping to draw, as the file numbers it (default: the middle one)");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return RunPlot(*o); }; });
}

} // namespace kvs::tool
