// kvsblocks grid: the accepted soundings of filtered lines as a gridded surface (GeoTIFF,
// and BAG and a shaded-relief PNG on request), optionally reduced by a tide file.
#include "Commands.h"
#include "OutputFile.h"
#include "SurfaceCommand.h"
#include "ToolCommon.h"

#include <Gridding.h>
#include <SurfaceFiles.h>
#include <SurfacePicture.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct GridCommandOptions
{
    surface::GridOptions grid;
    std::string output, bag, png;
    double maxMemoryMiB = 0.0;
    bool json = false;
};

} // namespace

void AddSurfaceOptions(CLI::App* cmd, surface::GridOptions& grid, double& maxMemoryMiB)
{
    cmd->add_option("lines", grid.lines, "Filtered lines (record streams of multibeam pings)")->required();
    cmd->add_option("--resolution", grid.resolution, "Cell size, metres")->required()->check(CLI::PositiveNumber);
    cmd->add_option("--crs", grid.crs,
                    "The surface's projected system (EPSG:code or any text PROJ reads); default: the UTM zone the "
                    "import chose. Lines without longitude and latitude are taken to lie in it");
    cmd->add_option("--tide", grid.tideFile, "Reduce every sounding by the tide of this tide file at its ping time");
    cmd->add_option("--tide-window", grid.tideWindow, "Largest gap of the tide file to interpolate across, seconds (0: any)")
        ->capture_default_str();
    cmd->add_option("--tide-extrapolate", grid.tideExtrapolate,
                    "Extrapolate the tide up to this many seconds beyond the file's ends (default: not at all)");
    cmd->add_option("--max-memory", maxMemoryMiB, "Memory the grid may take, MiB (default: half of the machine's)");
}

void ApplyMemoryLimit(surface::GridOptions& grid, double maxMemoryMiB)
{
    if (maxMemoryMiB < 0.0 || !std::isfinite(maxMemoryMiB)) throw UsageError("--max-memory must be positive");
    if (maxMemoryMiB > 0.0) grid.maxBytes = static_cast<uint64_t>(maxMemoryMiB * 1024.0 * 1024.0);
}

surface::SurfaceDescription Describe(const surface::PassReport& report, const std::vector<std::string>& lines)
{
    surface::SurfaceDescription about;
    about.crsWkt = report.crsWkt;
    about.verticalReference = report.verticalReference;
    if (!report.tideStation.empty()) about.verticalDatum = "datum of tide station " + report.tideStation;
    about.lines = lines;
    about.firstTime = report.firstTime;
    about.lastTime = report.lastTime;
    return about;
}

void PrintLineReports(const surface::PassReport& report)
{
    for (const surface::LineReport& l : report.lines) {
        std::printf("%s: %llu pings, %llu soundings gridded, %llu beams rejected", l.path.c_str(),
                    static_cast<unsigned long long>(l.counts.pings), static_cast<unsigned long long>(l.counts.soundings),
                    static_cast<unsigned long long>(l.counts.rejected));
        if (l.counts.pingsInvalid) std::printf(", %llu invalid pings left out", static_cast<unsigned long long>(l.counts.pingsInvalid));
        if (l.counts.pingsNoPosition)
            std::printf(", %llu pings without position left out", static_cast<unsigned long long>(l.counts.pingsNoPosition));
        if (l.pingsNoTide)
            std::printf(", %llu pings (%llu soundings) beyond the tide file's reach left out",
                        static_cast<unsigned long long>(l.pingsNoTide), static_cast<unsigned long long>(l.soundingsNoTide));
        if (l.reprojected) std::printf(", moved from UTM zone %d", l.utmZone);
        if (l.counts.headingFromTrack) std::printf(", heading from the track");
        std::printf("\n");
    }
}

nlohmann::json LinesJson(const surface::PassReport& report)
{
    nlohmann::json lines = nlohmann::json::array();
    for (const surface::LineReport& l : report.lines)
        lines.push_back({{"file", l.path},
                         {"pings", l.counts.pings},
                         {"soundings", l.counts.soundings},
                         {"rejected_beams", l.counts.rejected},
                         {"invalid_pings", l.counts.pingsInvalid},
                         {"pings_without_position", l.counts.pingsNoPosition},
                         {"pings_without_tide", l.pingsNoTide},
                         {"soundings_without_tide", l.soundingsNoTide},
                         {"utm_zone", l.utmZone},
                         {"reprojected", l.reprojected},
                         {"heading_from_track", l.counts.headingFromTrack}});
    return lines;
}

namespace {

int RunGrid(GridCommandOptions o)
{
    ApplyMemoryLimit(o.grid, o.maxMemoryMiB);
    std::vector<std::string> outputs{o.output, o.bag, o.png};
    std::vector<std::string> inputs = o.grid.lines;
    if (!o.grid.tideFile.empty()) inputs.push_back(o.grid.tideFile);
    RefuseSameFile(inputs, outputs);
    surface::PassReport report;
    std::unique_ptr<surface::SurfaceGrid> grid;
    try {
        grid = surface::GridLines(o.grid, report);
    } catch (const surface::GridTooLarge& e) {
        throw InputError(e.what());
    } catch (const std::out_of_range& e) {
        throw InputError(e.what());
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    } catch (const std::runtime_error& e) {
        throw InputError(e.what());
    }
    const surface::Surface s = surface::MakeSurface(*grid);
    if (s.width == 0) {
        PrintLineReports(report); // says where the soundings went: invalid pings, no position, no tide
        throw InputError("no accepted sounding to grid in " + std::to_string(o.grid.lines.size()) + " line(s)");
    }
    const surface::SurfaceDescription about = Describe(report, o.grid.lines);
    if (!o.bag.empty() && about.crsWkt.empty())
        throw InputError(o.bag + ": a BAG needs the surface's coordinate system, and the lines carry none: give --crs");
    std::string failure = surface::WriteGeoTiff(s, about, o.output);
    if (failure.empty() && !o.bag.empty()) failure = surface::WriteBag(s, about, o.bag);
    if (failure.empty() && !o.png.empty()) {
        char title[256];
        std::snprintf(title, sizeof title, "DEPTH OF %zu LINE(S) AT %g M, %s", o.grid.lines.size(), s.resolution,
                      report.crsName.c_str());
        const surface::Picture p = surface::DrawSurface(s, title);
        failure = surface::WritePng(p.rgb, p.width, p.height, o.png);
    }
    if (!failure.empty()) throw InputError(failure);

    uint64_t cells = 0;
    for (float c : s.count) cells += c > 0.0f;
    const double west = s.west, east = s.west + s.width * s.resolution, south = s.north - s.height * s.resolution;
    if (o.json) {
        nlohmann::json j = {{"output", o.output},
                            {"width", s.width},
                            {"height", s.height},
                            {"resolution", s.resolution},
                            {"extent", {west, south, east, s.north}},
                            {"crs", report.crsName},
                            {"cells_with_soundings", cells},
                            {"soundings", s.soundings},
                            {"uncertainty_source", s.UncertaintySource()},
                            {"vertical_reference", report.verticalReference},
                            {"lines", LinesJson(report)}};
        if (!o.bag.empty()) j["bag"] = o.bag;
        if (!o.png.empty()) j["png"] = o.png;
        std::printf("%s\n", j.dump(2).c_str());
        return kExitOk;
    }
    PrintLineReports(report);
    std::printf("grid %lld x %lld cells at %g m (%s), %llu cells with soundings, %llu soundings\n",
                static_cast<long long>(s.width), static_cast<long long>(s.height), s.resolution, report.crsName.c_str(),
                static_cast<unsigned long long>(cells), static_cast<unsigned long long>(s.soundings));
    std::printf("extent west %.2f south %.2f east %.2f north %.2f\n", west, south, east, s.north);
    std::printf("depth: median of each cell; uncertainty: %s\n", s.UncertaintySource().c_str());
    std::printf("vertical reference: %s\n", report.verticalReference.c_str());
    for (const std::string& f : outputs)
        if (!f.empty()) std::printf("wrote %s\n", f.c_str());
    return kExitOk;
}

} // namespace

void AddGridCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<GridCommandOptions>();
    CLI::App* cmd = app.add_subcommand("grid", "Grid the accepted soundings of filtered lines into a surface (GeoTIFF, BAG, PNG)");
    AddSurfaceOptions(cmd, o->grid, o->maxMemoryMiB);
    cmd->add_option("-o,--output", o->output, "GeoTIFF to write: bands depth, uncertainty, count")->required();
    cmd->add_option("--bag", o->bag, "Also write the surface as BAG (Bathymetric Attributed Grid)");
    cmd->add_option("--png", o->png, "Also draw the surface: shaded relief coloured by depth, colour bar, scale, north arrow");
    cmd->add_flag("--json", o->json, "Write the summary as JSON");
    cmd->callback([o, &run] { run = [o] { return RunGrid(*o); }; });
}

} // namespace kvs::tool
