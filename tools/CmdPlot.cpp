// kvsblocks plot: SVG pictures of a multibeam line: one ping (across-track distance
// against depth), the whole line (depth along track) and the plan view (PlanSvg), every
// beam coloured by the filter bit that rejected it, with a legend.
#include "BeamFlags.h"
#include "Commands.h"
#include "OutputFile.h"
#include "PlanSvg.h"
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
#include <limits>
#include <memory>
#include <sstream>
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
    int ping = -1; // index of the ping to draw; -1: the middle one
};

struct Beam
{
    double along;  // metres along track (line plot) or across track (ping plot)
    double depth;  // metres, positive down
    unsigned int flags;
};

constexpr const char* kAcceptedColour = "#1f77b4";
constexpr int kWidth = 900, kHeight = 480, kLeft = 70, kRight = 190, kTop = 40, kBottom = 50;

std::string Svg(const std::vector<Beam>& beams, const std::string& title, const char* xLabel, size_t maxPoints)
{
    double xmin = std::numeric_limits<double>::max(), xmax = -xmin, dmin = xmin, dmax = -xmin;
    for (const Beam& b : beams) {
        if (!std::isfinite(b.along) || !std::isfinite(b.depth)) continue;
        xmin = std::min(xmin, b.along);
        xmax = std::max(xmax, b.along);
        dmin = std::min(dmin, b.depth);
        dmax = std::max(dmax, b.depth);
    }
    if (xmin > xmax) xmin = 0, xmax = 1, dmin = 0, dmax = 1;
    if (xmax - xmin < 1e-9) xmax = xmin + 1;
    if (dmax - dmin < 1e-9) dmax = dmin + 1;
    const double pad = 0.05 * (dmax - dmin);
    dmin -= pad;
    dmax += pad;
    const double pw = kWidth - kLeft - kRight, ph = kHeight - kTop - kBottom;
    auto px = [&](double x) { return kLeft + (x - xmin) / (xmax - xmin) * pw; };
    auto py = [&](double d) { return kTop + (d - dmin) / (dmax - dmin) * ph; }; // depth grows downwards

    std::ostringstream s;
    BeginSvg(s, kWidth, kHeight, kLeft, title);
    FrameSvg(s, kLeft, kTop, pw, ph);
    for (int i = 0; i <= 5; ++i) {
        const double x = xmin + (xmax - xmin) * i / 5, d = dmin + (dmax - dmin) * i / 5;
        s << "<text x=\"" << px(x) << "\" y=\"" << kHeight - kBottom + 18 << "\" text-anchor=\"middle\">" << x << "</text>\n"
          << "<text x=\"" << kLeft - 6 << "\" y=\"" << py(d) + 4 << "\" text-anchor=\"end\">" << d << "</text>\n"
          << "<line x1=\"" << kLeft << "\" x2=\"" << kLeft + pw << "\" y1=\"" << py(d) << "\" y2=\"" << py(d)
          << "\" stroke=\"#eee\"/>\n";
    }
    s << "<text x=\"" << kLeft + pw / 2 << "\" y=\"" << kHeight - 10 << "\" text-anchor=\"middle\">" << xLabel << "</text>\n"
      << "<text transform=\"translate(16," << kTop + ph / 2 << ") rotate(-90)\" text-anchor=\"middle\">depth (m)</text>\n";
    // Accepted beams first, flagged ones on top so they stay visible.
    const size_t step = std::max<size_t>(1, beams.size() / std::max<size_t>(maxPoints, 1));
    std::vector<size_t> counts(kBeamFlags.size() + 1, 0);
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < beams.size(); ++i) {
            const Beam& b = beams[i];
            const BeamFlagInfo* f = FirstBeamFlag(b.flags);
            if ((pass == 0) != (f == nullptr)) continue;
            if (pass == 0) ++counts.back();
            else ++counts[static_cast<size_t>(f - kBeamFlags.data())];
            if (!f && i % step != 0) continue;
            if (!std::isfinite(b.along) || !std::isfinite(b.depth)) continue;
            s << "<circle cx=\"" << px(b.along) << "\" cy=\"" << py(b.depth) << "\" r=\"" << (f ? 2.2 : 1.3)
              << "\" fill=\"" << (f ? f->colour : kAcceptedColour) << "\"/>\n";
        }
    }
    int row = 0;
    auto legend = [&](const char* colour, const std::string& text) {
        const int y = kTop + 10 + 18 * row++;
        s << "<circle cx=\"" << kWidth - kRight + 20 << "\" cy=\"" << y << "\" r=\"4\" fill=\"" << colour << "\"/>\n"
          << "<text x=\"" << kWidth - kRight + 30 << "\" y=\"" << y + 4 << "\">" << text << "</text>\n";
    };
    legend(kAcceptedColour, "accepted (" + std::to_string(counts.back()) + ")");
    for (size_t i = 0; i < kBeamFlags.size(); ++i)
        if (counts[i]) legend(kBeamFlags[i].colour, std::string(kBeamFlags[i].name) + " (" + std::to_string(counts[i]) + ")");
    s << "</svg>\n";
    return s.str();
}

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
        throw InputError("nothing to plot: give --ping-svg, --line-svg and/or --plan-svg");
    RefuseSameFile({o.input}, {o.pingSvg, o.lineSvg, o.planSvg});
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    std::vector<std::vector<Beam>> pings; // per ping: across-track x, depth, flags
    std::vector<double> easts, norths; // ping positions, NaN where absent
    std::vector<PlanPing> plan; // only when a plan view is asked for
    CDataBlock block;
    std::vector<float> x, y, z;
    std::vector<unsigned int> flags;
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) {
            std::fprintf(stderr, "kvsblocks: %s: %s (no picture written)\n", o.input.c_str(),
                         static_cast<const char*>(error));
            return kExitBadInput;
        }
        if (!ReadFloatArray(block, UseAs::kAcrossTrack, x) || !ReadFloatArray(block, UseAs::kBeamZ, z) ||
            !ReadUIntArray(block, UseAs::kBeamFlags, flags))
            continue;
        int n = 0;
        unsigned short s = 0;
        if (!block.GetDataValue(UseAs::kBeamCount, n, s, CDataBlock::kByUseAs)) n = static_cast<int>(x.size());
        n = std::clamp(n, 0, static_cast<int>(std::min({x.size(), z.size(), flags.size()})));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        double easting = 0.0, northing = 0.0;
        easts.push_back(block.GetDataValue(UseAs::kPositionX, easting, s, CDataBlock::kByUseAs) ? easting : nan);
        norths.push_back(block.GetDataValue(UseAs::kPositionY, northing, s, CDataBlock::kByUseAs) ? northing : nan);
        if (!o.planSvg.empty()) {
            PlanPing p;
            p.east = easts.back();
            p.north = norths.back();
            p.x.assign(x.begin(), x.begin() + n);
            if (!ReadFloatArray(block, UseAs::kAlongTrack, y) || y.size() < static_cast<size_t>(n))
                y.assign(static_cast<size_t>(n), 0.0f);
            p.y.assign(y.begin(), y.begin() + n);
            p.z.assign(z.begin(), z.begin() + n);
            p.flags.assign(flags.begin(), flags.begin() + n);
            plan.push_back(std::move(p));
        }
        std::vector<Beam> beams(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) beams[static_cast<size_t>(i)] = {x[static_cast<size_t>(i)], -z[static_cast<size_t>(i)], flags[static_cast<size_t>(i)]};
        pings.push_back(std::move(beams));
    }
    if (pings.empty()) throw InputError(o.input + ": no multibeam pings to plot");
    std::vector<std::pair<std::string, std::string>> pictures;
    if (!o.pingSvg.empty()) {
        const size_t index = o.ping < 0 ? pings.size() / 2 : static_cast<size_t>(o.ping);
        if (index >= pings.size())
            throw InputError("ping " + std::to_string(o.ping) + " is beyond the " + std::to_string(pings.size()) + " pings of the line");
        pictures.emplace_back(o.pingSvg, Svg(pings[index], "Ping " + std::to_string(index) + " of " + o.input,
                                             "across-track distance (m)", 100000));
    }
    if (!o.lineSvg.empty()) {
        // Along the line's own direction, so that a line running east is drawn as long as it is.
        const std::vector<LinePlace> places = LinePlaces(easts, norths);
        std::vector<Beam> all;
        for (size_t p = 0; p < pings.size(); ++p)
            for (const Beam& b : pings[p]) all.push_back({places[p].along, b.depth, b.flags});
        pictures.emplace_back(o.lineSvg, Svg(all, "Line " + o.input + ": all beams", "along-track distance (m)", 40000));
    }
    if (!o.planSvg.empty())
        pictures.emplace_back(o.planSvg, PlanSvg(plan, "Plan view of " + o.input + ": depth and rejected beams"));
    WriteFiles(pictures);
    for (const auto& picture : pictures) std::printf("wrote %s\n", picture.first.c_str());
    return kExitOk;
}

} // namespace

void AddPlotCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<PlotOptions>();
    CLI::App* cmd = app.add_subcommand("plot", "Draw SVG pictures of a multibeam line, beams coloured by filter flag");
    cmd->add_option("input", o->input, "Record stream file")->required();
    cmd->add_option("--ping-svg", o->pingSvg, "Write the picture of one ping (across-track distance against depth)");
    cmd->add_option("--line-svg", o->lineSvg, "Write the picture of the whole line (depth along track)");
    cmd->add_option("--plan-svg", o->planSvg,
                    "Write the plan view: every beam at its place along and across the line, by depth and filter");
    cmd->add_option("--ping", o->ping, "Index of the ping to draw (default: the middle one)");
    cmd->callback([o, &run] { run = [o] { return RunPlot(*o); }; });
}

} // namespace kvs::tool
