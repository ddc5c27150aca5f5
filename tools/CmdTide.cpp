// kvsblocks tide: the tide value of a tide file at given times or over a span, and
// conversion between the two tide-file layouts.
#include "Commands.h"
#include "OutputFile.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/tide/TideStation.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>
#include <KvsDataBlocks/tide/TsdsManager.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct TideOptions
{
    std::string file;
    std::vector<std::string> at;
    std::string from, to;
    double step = 600.0;
    double interpolationWindow = 0.0;
    double extrapolationWindow = -1.0; // negative: no extrapolation
    std::string convert;
    std::string layout = "native";
    bool json = false;
};

constexpr double kFirstTideTime = -2208988800.0; // 1900-01-01 00:00:00 UTC
constexpr double kEndTideTime = 253402300800.0;  // 10000-01-01 00:00:00 UTC

double ParseTimeOption(const std::string& text, const char* what)
{
    double t = 0.0;
    if (!ParseUtc(text, t)) throw InputError(std::string(what) + " '" + text + "' is not a time (YYYY-MM-DD HH:MM:SS or seconds since 1970)");
    // Tide files hold the years 1900 to 9999.
    if (!(t >= kFirstTideTime && t < kEndTideTime))
        throw InputError(std::string(what) + " '" + text + "' lies outside the years 1900 to 9999 that tide files hold");
    return t;
}

int RunTide(const TideOptions& o)
{
    RefuseSameFile({o.file}, {o.convert});
    TsdsManager& manager = TsdsManager::GetManager();
    TideStationDataSource* source = manager.OpenFile(o.file.c_str());
    if (!source) throw InputError(std::string(manager.GetLastError()));
    struct Closer
    {
        TsdsManager& m;
        TideStationDataSource*& s;
        ~Closer() { m.CloseFile(s, false); }
    } closer{manager, source};
    // A file without observations is not a tide file: an empty file, or one that holds
    // something else with nothing the reader could take for an observation.
    if (source->GetNumElements() == 0)
        throw InputError(o.file + ": no tide observations (expected lines \"YYYY-MM-DD HH:MM:SS value\" after "
                                  "\"KVSTIDE 1\" and DATA, or \"YYYY/MM/DD HH:MM:SS value\")");

    if (!o.convert.empty()) {
        TideStation out;
        TideStation& in = source->GetTideStation();
        out.SetLayout(o.layout == "simple" ? TideStation::Layout::Simple : TideStation::Layout::Native);
        out.SetStationName(in.GetStationName());
        out.SetStationID(in.GetStationID());
        Point p;
        in.GetStationPos(p);
        out.SetStationPos(p);
        out.SetStationKP(in.GetStationKP());
        out.SetStationOffset(in.GetStationOffset());
        for (long i = 0; i < in.GetNumValues(); ++i) {
            double t = 0, v = 0;
            in.GetTideValue(static_cast<int>(i), t, v);
            out.AddTideValue(t, v);
        }
        const std::string text = out.Format();
        OutputFile file(o.convert);
        std::string failure;
        if (!file.Open(failure)) throw InputError(failure);
        if (std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size())
            throw InputError(o.convert + ": cannot write: " + std::strerror(errno));
        if (!file.Commit(failure)) throw InputError(failure);
        std::printf("wrote %ld tide values to %s (%s layout)\n", in.GetNumValues(), o.convert.c_str(), o.layout.c_str());
        if (o.at.empty() && o.from.empty()) return kExitOk;
    }

    source->SetInterpolAttribs(true, o.interpolationWindow);
    source->SetExtrapolationAttribs(o.extrapolationWindow >= 0.0, std::max(o.extrapolationWindow, 0.0));
    std::vector<double> times;
    for (const std::string& a : o.at) times.push_back(ParseTimeOption(a, "--at"));
    if (!o.from.empty() || !o.to.empty()) {
        double first = 0, last = 0;
        source->GetTimeSpan(first, last);
        const double from = o.from.empty() ? first : ParseTimeOption(o.from, "--from");
        const double to = o.to.empty() ? last : ParseTimeOption(o.to, "--to");
        if (!(o.step > 0.0)) throw InputError("--step must be positive");
        if ((to - from) / o.step > 1e6) throw InputError("the span has more than a million steps");
        for (double t = from; t <= to + 1e-9; t += o.step) times.push_back(t);
    }
    if (times.empty()) {
        double first = 0, last = 0;
        const bool any = source->GetTimeSpan(first, last);
        if (o.json) {
            nlohmann::json j = {{"file", o.file}, {"station", std::string(source->GetStationName())},
                                {"id", std::string(source->GetStationID())}, {"values", source->GetNumElements()}};
            if (any) j["first"] = FormatUtc(first), j["last"] = FormatUtc(last);
            std::printf("%s\n", j.dump(2).c_str());
        } else {
            std::printf("%s: station '%s' id '%s', %ld values", o.file.c_str(),
                        static_cast<const char*>(source->GetStationName()), static_cast<const char*>(source->GetStationID()),
                        source->GetNumElements());
            if (any) std::printf(" from %s to %s", FormatUtc(first).c_str(), FormatUtc(last).c_str());
            std::printf("\n");
        }
        return kExitOk;
    }
    nlohmann::json list = nlohmann::json::array();
    for (double t : times) {
        CDataBlock block;
        block.SetTime(t);
        double value = 0.0;
        unsigned short status = 40;
        const bool ok = source->Interpolate(block) && block.GetDataValue(0, value, status, CDataBlock::kByPosition);
        if (o.json) {
            nlohmann::json j = {{"time", FormatUtc(t)}, {"seconds", t}};
            j["value"] = ok ? nlohmann::json(value) : nlohmann::json(nullptr);
            list.push_back(j);
        } else if (ok) {
            std::printf("%s %.3f\n", FormatUtc(t).c_str(), value);
        } else {
            std::printf("%s no value\n", FormatUtc(t).c_str());
        }
    }
    if (o.json) std::printf("%s\n", list.dump(2).c_str());
    return kExitOk;
}

} // namespace

void AddTideCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<TideOptions>();
    CLI::App* cmd = app.add_subcommand("tide", "Read a tide file: values at times or over a span, or convert its layout");
    cmd->add_option("file", o->file, "Tide file (native KVSTIDE layout or lines 'YYYY/MM/DD HH:MM:SS value')")->required();
    cmd->add_option("--at", o->at, "Times (UTC, 'YYYY-MM-DD HH:MM:SS' or seconds since 1970) to give the tide at");
    cmd->add_option("--from", o->from, "Start of a span (default: the first value)");
    cmd->add_option("--to", o->to, "End of a span (default: the last value)");
    cmd->add_option("--step", o->step, "Step through the span, seconds")->capture_default_str();
    cmd->add_option("--window", o->interpolationWindow, "Largest gap to interpolate across, seconds (0: any)")->capture_default_str();
    cmd->add_option("--extrapolate", o->extrapolationWindow, "Extrapolate up to this many seconds beyond the ends");
    cmd->add_option("--convert", o->convert, "Write the tide file in another layout to this file");
    cmd->add_option("--layout", o->layout, "Layout for --convert")->check(CLI::IsMember({"native", "simple"}))->capture_default_str();
    cmd->add_flag("--json", o->json, "Write JSON");
    cmd->callback([o, &run] { run = [o] { return RunTide(*o); }; });
}

} // namespace kvs::tool
