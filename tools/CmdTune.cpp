// kvsblocks tune: tunes the multibeam filter settings of an attribute file on a simulated
// line whose injected outliers are marked. Prints the chain before and after, one table
// per filter threshold (value, detection %, false-alarm %), writes the base file with the
// tuned values put in (comments and order kept) and, with --svg, draws the curves.
#include "BeamFlags.h"
#include "BeamGrid.h"
#include "Commands.h"
#include "FilterTuner.h"
#include "Progress.h"
#include "SvgPicture.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct TuneOptions
{
    std::string input;
    std::string attributes;
    std::string output;
    std::string svg;
    FilterTuner::Targets targets;
    bool quiet = false;
};

std::vector<CDataBlock> ReadLine(const std::string& path)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(path.c_str(), error)) throw InputError(path + ": " + std::string(error));
    std::vector<CDataBlock> line;
    CDataBlock block;
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) throw InputError(path + ": " + std::string(error));
        if (block.GetDataId().GetGroupId() == 1011) line.push_back(block);
    }
    if (line.empty()) throw InputError(path + ": no multibeam pings (group 1011) to tune on");
    return line;
}

std::string FormatValue(double v, bool isInt)
{
    char buf[32];
    if (isInt)
        std::snprintf(buf, sizeof buf, "int:%ld", std::lround(v));
    else
        std::snprintf(buf, sizeof buf, "double:%.6g", v);
    return buf;
}

// The base file with every tuned attribute's line rewritten, the ones it lacks appended.
std::string TunedText(const std::string& basePath, const std::vector<TuneFilter>& filters,
                      const std::map<std::string, double>& values)
{
    std::map<std::string, std::string> lines; // attribute name -> "type:value"
    for (const TuneFilter& f : filters)
        for (const TuneParam& p : f.params) {
            const auto it = values.find(p.names.front());
            if (it == values.end()) continue;
            for (const std::string& name : p.names) lines[name] = FormatValue(it->second, p.isInt);
        }
    std::ifstream in(basePath);
    std::ostringstream out;
    std::set<std::string> written;
    const std::regex setting(R"(^\s*([A-Za-z0-9_.\-]+)\s*=.*$)");
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (std::regex_match(text, m, setting) && lines.count(m[1].str())) {
            out << m[1].str() << " = " << lines[m[1].str()] << "\n";
            written.insert(m[1].str());
        } else {
            out << text << "\n";
        }
    }
    bool header = false;
    for (const auto& [name, value] : lines) {
        if (written.count(name)) continue;
        if (!header) out << "# Set by kvsblocks tune\n";
        header = true;
        out << name << " = " << value << "\n";
    }
    return out.str();
}

void PrintChain(const char* title, const QualityTally& t)
{
    std::printf("%s: detection %.2f %% (%llu of %llu outliers), false alarms %.3f %% (%llu of %llu clean beams)\n", title,
                t.Detection(), static_cast<unsigned long long>(t.injectedFlagged),
                static_cast<unsigned long long>(t.injected), t.FalseAlarms(),
                static_cast<unsigned long long>(t.cleanFlagged), static_cast<unsigned long long>(t.Clean()));
    for (size_t b = 0; b < kBeamFlags.size(); ++b)
        if (t.perFilter[b].beams)
            std::printf("  %-14s detection %7.2f %%  false alarms %7.3f %%\n", kBeamFlags[b].name, t.Detection(b),
                        t.FalseAlarms(b));
}

// Detection (0 .. 100 %) against false alarms on a log scale (0.001 .. 100 %, none drawn
// at the left edge), one polyline per filter's main threshold, values at the points; the
// chain before and after as two marks.
std::string CurvesSvg(const FilterTuner& tuner, const std::vector<FilterTuner::Curve>& curves,
                      const QualityTally& before, const QualityTally& after, const std::string& title)
{
    constexpr int kWidth = 980, kHeight = 520, kLeft = 70, kRight = 290, kTop = 40, kBottom = 50;
    const double pw = kWidth - kLeft - kRight, ph = kHeight - kTop - kBottom;
    constexpr double kMinLog = -3.0, kMaxLog = 2.0;
    auto px = [&](double fa) {
        const double l = fa > 0.0 ? std::clamp(std::log10(fa), kMinLog, kMaxLog) : kMinLog;
        return kLeft + (l - kMinLog) / (kMaxLog - kMinLog) * pw;
    };
    auto py = [&](double det) { return kTop + (100.0 - std::clamp(det, 0.0, 100.0)) / 100.0 * ph; };
    std::ostringstream s;
    BeginSvg(s, kWidth, kHeight, kLeft, title);
    FrameSvg(s, kLeft, kTop, pw, ph);
    const char* decades[] = {"0.001", "0.01", "0.1", "1", "10", "100"};
    for (int i = 0; i <= 5; ++i) {
        const double x = kLeft + pw * i / 5, det = 20.0 * i;
        s << "<line x1=\"" << x << "\" x2=\"" << x << "\" y1=\"" << kTop << "\" y2=\"" << kTop + ph
          << "\" stroke=\"#eee\"/>\n"
          << "<text x=\"" << x << "\" y=\"" << kHeight - kBottom + 18 << "\" text-anchor=\"middle\">" << decades[i]
          << "</text>\n"
          << "<line x1=\"" << kLeft << "\" x2=\"" << kLeft + pw << "\" y1=\"" << py(det) << "\" y2=\"" << py(det)
          << "\" stroke=\"#eee\"/>\n"
          << "<text x=\"" << kLeft - 6 << "\" y=\"" << py(det) + 4 << "\" text-anchor=\"end\">" << det << "</text>\n";
    }
    s << "<text x=\"" << kLeft + pw / 2 << "\" y=\"" << kHeight - 10
      << "\" text-anchor=\"middle\">false alarms (% of clean beams, log scale; none at the left edge)</text>\n"
      << "<text transform=\"translate(16," << kTop + ph / 2
      << ") rotate(-90)\" text-anchor=\"middle\">detection (% of injected outliers)</text>\n";
    int row = 0;
    auto legend = [&](const std::string& colour, const std::string& text, bool square) {
        const int y = kTop + 10 + 18 * row++;
        if (square)
            s << "<rect x=\"" << kWidth - kRight + 16 << "\" y=\"" << y - 4 << "\" width=\"8\" height=\"8\" fill=\""
              << colour << "\"/>\n";
        else
            s << "<circle cx=\"" << kWidth - kRight + 20 << "\" cy=\"" << y << "\" r=\"4\" fill=\"" << colour << "\"/>\n";
        s << "<text x=\"" << kWidth - kRight + 30 << "\" y=\"" << y + 4 << "\">" << text << "</text>\n";
    };
    struct Box
    {
        double x0, y0, x1, y1;
        bool Overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    };
    std::vector<Box> labels;
    for (const FilterTuner::Curve& c : curves) {
        if (c.param != 0) continue; // each filter's main threshold
        const TuneFilter& f = tuner.Filters()[c.filter];
        const size_t filter = FirstFilter(f.bit);
        const std::string colour = filter < BeamGrid::kFilters ? kFilterColours[filter] : "#000";
        s << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.5\" points=\"";
        for (const FilterTuner::CurvePoint& p : c.points) s << px(p.falseAlarm) << "," << py(p.detection) << " ";
        s << "\"/>\n";
        for (const FilterTuner::CurvePoint& p : c.points) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", p.value);
            const double x = px(p.falseAlarm), y = py(p.detection);
            s << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"3\" fill=\"" << colour << "\" stroke=\"black\" stroke-width=\"0.3\"/>\n";
            // A value is written only where its label overlaps none written before.
            const Box box{x + 4, y - 13, x + 4 + TextWidth(value, 9), y - 2};
            if (std::any_of(labels.begin(), labels.end(), [&](const Box& b) { return b.Overlaps(box); })) continue;
            labels.push_back(box);
            s << "<text x=\"" << box.x0 << "\" y=\"" << y - 4 << "\" font-size=\"9\" fill=\"" << colour << "\">" << value
              << "</text>\n";
        }
        legend(colour, f.label + " (" + f.params[0].names.front() + ")", false);
    }
    auto mark = [&](const QualityTally& t, const char* colour, const std::string& text) {
        s << "<rect x=\"" << px(t.FalseAlarms()) - 5 << "\" y=\"" << py(t.Detection()) - 5
          << "\" width=\"10\" height=\"10\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\"/>\n";
        legend(colour, text, true);
    };
    mark(before, "#888", "chain, base settings");
    mark(after, "#000", "chain, tuned settings");
    s << "</svg>\n";
    return s.str();
}

int RunTune(const TuneOptions& o)
{
    CAttributeMap base;
    CString error;
    if (!base.LoadFile(o.attributes.c_str(), error)) throw InputError(std::string(error));
    std::vector<CDataBlock> line = ReadLine(o.input);
    FilterTuner tuner(std::move(line), base, o.targets);
    if (tuner.Filters().empty())
        throw InputError(o.attributes + ": no tunable multibeam filter is switched on");
    const QualityTally before = tuner.Run(base);
    if (before.injected == 0)
        throw InputError(o.input + ": the line carries no injected outliers to tune on (see kvsblocks simulate)");
    PrintChain("base settings", before);

    uint64_t runs = 0;
    auto sweepProgress = std::make_unique<Progress>("sweeping thresholds", tuner.SweepRuns(), "runs", o.quiet);
    tuner.OnRun([&] { sweepProgress->Update(++runs); });
    const std::vector<FilterTuner::Curve> curves = tuner.Sweep();
    sweepProgress = std::make_unique<Progress>("searching the chain", 0, "runs", o.quiet);
    runs = 0;
    std::printf("\neach filter alone (beside reject list, quality, range and depth window as set):\n");
    for (const FilterTuner::Curve& c : curves) {
        const TuneFilter& f = tuner.Filters()[c.filter];
        std::printf("%s, %s:\n  %10s %12s %15s\n", f.label.c_str(), f.params[c.param].names.front().c_str(), "value",
                    "detection %", "false alarms %");
        for (const FilterTuner::CurvePoint& p : c.points)
            std::printf("  %10g %12.2f %15.3f\n", p.value, p.detection, p.falseAlarm);
    }

    const FilterTuner::Result r = tuner.Search(curves);
    sweepProgress->Done();
    std::printf("\ntuned settings (%d chain runs):\n", r.chainRuns);
    for (const auto& [name, value] : r.values) std::printf("  %s = %g\n", name.c_str(), value);
    PrintChain("tuned settings", r.tally);

    std::ofstream out(o.output, std::ios::binary);
    out << TunedText(o.attributes, tuner.Filters(), r.values);
    out.close();
    if (!out) throw InputError(o.output + ": cannot write");
    std::printf("wrote %s\n", o.output.c_str());
    if (!o.svg.empty()) {
        std::ofstream svg(o.svg, std::ios::binary);
        svg << CurvesSvg(tuner, curves, before, r.tally, "Filter curves on " + o.input);
        svg.close();
        if (!svg) throw InputError(o.svg + ": cannot write");
        std::printf("wrote %s\n", o.svg.c_str());
    }
    if (!r.met) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "kvsblocks: no settings met detection >= %g %% with false alarms <= %g %%; %s holds the best "
                     "found\n",
                     o.targets.minDetection, o.targets.maxFalseAlarm, o.output.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

} // namespace

void AddTuneCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<TuneOptions>();
    CLI::App* cmd = app.add_subcommand(
        "tune", "Tune the multibeam filter settings on a simulated line with marked outliers");
    cmd->add_option("input", o->input, "Record stream of a simulated line (kvsblocks simulate)")->required();
    cmd->add_option("-a,--attributes", o->attributes, "Attribute file with the base settings")->required();
    cmd->add_option("-o,--output", o->output, "Attribute file to write with the tuned settings")->required();
    cmd->add_option("--max-false-alarm", o->targets.maxFalseAlarm, "Most clean beams flagged, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    cmd->add_option("--min-detection", o->targets.minDetection, "Fewest injected outliers flagged, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    cmd->add_option("--svg", o->svg, "Draw the detection/false-alarm curve of each filter");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return RunTune(*o); }; });
}

} // namespace kvs::tool
