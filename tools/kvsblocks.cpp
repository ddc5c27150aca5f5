// kvsblocks: puts the KvsDataBlocks library to work from the command line: simulate a
// survey line or import one from GSF, filter it and tune the filters on it, dump and plot
// it, write the filter flags back into the GSF file, evaluate telegram formulas, read tide
// files and solve geodesic lines. Exit status 0 success, 1 bad input or failed output, 2
// bad command line (an output that is an input included).
#include "CommandLineHint.h"
#include "Commands.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/KvsVersion.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    using namespace kvs::tool;
    CLI::App app{"kvsblocks: survey data blocks, filters, telegram formulas, tide files and geodesy"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "kvsblocks " KVS_VERSION_STRING);
    Runner run;
    AddSimulateCommand(app, run);
    AddDumpCommand(app, run);
    AddFilterCommand(app, run);
    AddPlotCommand(app, run);
    AddFormulaCommand(app, run);
    AddTideCommand(app, run);
    AddGeodesyCommand(app, run);
    AddTuneCommand(app, run);
    AddImportCommand(app, run);
    AddExportGsfCommand(app, run);
    AddExportCommand(app, run);
    AddExportXyzCommand(app, run);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (const std::string hint = CommandLineHint(app, argc, argv); !hint.empty())
            std::fprintf(stderr, "kvsblocks: %s\n", hint.c_str());
        else
            app.exit(e);
        return kExitUsage;
    }
    if (!KvsModuleIsReady()) {
        std::fprintf(stderr, "kvsblocks: the KvsDataBlocks library refused to load (version check failed)\n");
        return kExitBadInput;
    }
    try {
        return run ? run() : kExitUsage;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kvsblocks: %s\n", e.what());
        return kExitUsage;
    } catch (const InputError& e) {
        std::fprintf(stderr, "kvsblocks: %s\n", e.what());
        return kExitBadInput;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvsblocks: %s\n", e.what());
        return kExitBadInput;
    }
}
