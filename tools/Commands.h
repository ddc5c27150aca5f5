// The kvsblocks subcommands. Each Add...Command registers its options on the program and
// sets run to the function that carries it out; that function returns the exit status.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace kvs::tool {

using Runner = std::function<int()>;

void AddSimulateCommand(CLI::App& app, Runner& run);
void AddDumpCommand(CLI::App& app, Runner& run);
void AddFilterCommand(CLI::App& app, Runner& run);
void AddPlotCommand(CLI::App& app, Runner& run);
void AddFormulaCommand(CLI::App& app, Runner& run);
void AddTideCommand(CLI::App& app, Runner& run);
void AddGeodesyCommand(CLI::App& app, Runner& run);
void AddTuneCommand(CLI::App& app, Runner& run);
void AddImportCommand(CLI::App& app, Runner& run);
void AddExportGsfCommand(CLI::App& app, Runner& run);
void AddExportCommand(CLI::App& app, Runner& run);
void AddExportXyzCommand(CLI::App& app, Runner& run);

} // namespace kvs::tool
