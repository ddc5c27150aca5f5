// What the grid and qa subcommands share: their options and their per-line reports.
#pragma once

#include <Gridding.h>
#include <SurfaceFiles.h>

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kvs::tool {

// The lines, --resolution, --crs, --tide, --tide-window, --tide-extrapolate, --max-memory.
void AddSurfaceOptions(CLI::App* cmd, surface::GridOptions& grid, double& maxMemoryMiB);
// Puts --max-memory (MiB, 0 for the default) into the options; UsageError when negative.
void ApplyMemoryLimit(surface::GridOptions& grid, double maxMemoryMiB);
surface::SurfaceDescription Describe(const surface::PassReport& report, const std::vector<std::string>& lines);
// One line per input: pings, soundings, what was left out and why.
void PrintLineReports(const surface::PassReport& report);
nlohmann::json LinesJson(const surface::PassReport& report);

} // namespace kvs::tool
