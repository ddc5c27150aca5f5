// kvsblocks export: writes the verdicts of our filters back into a copy of the file a line
// was imported from. The original's format is found from its bytes: GSF goes to the GSF
// writer (CmdExportGsf.cpp, also reachable as export-gsf), Kongsberg .all and .kmall to
// the Kongsberg writer (CmdExportKongsberg.cpp). The original is never written; the copy
// replaces the output only when complete.
#include "Commands.h"
#include "Export.h"
#include "Progress.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/formats/FileFormat.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kvs::tool {

void CheckNewlyIgnored(const ExportOptions& o, unsigned long long newlyIgnored, unsigned long long usable)
{
    if (o.force || newlyIgnored <= kMaxNewlyIgnoredShare * static_cast<double>(usable)) return;
    char text[160];
    std::snprintf(text, sizeof text, "%llu of the line's %llu usable beams (%.1f %%)", newlyIgnored, usable,
                  usable ? 100.0 * static_cast<double>(newlyIgnored) / static_cast<double>(usable) : 100.0);
    throw InputError(o.output + " not written: the edit would newly ignore " + text +
                     ", more than 20 %; check the filter settings, or give --force to write it anyway");
}

namespace {

int RunExport(const ExportOptions& o)
{
    const FileFormat format = DetectFileFormat(o.original.c_str());
    switch (format) {
    case FileFormat::Gsf:
        return ExportGsf(o);
    case FileFormat::KongsbergAll:
        return ExportKongsberg(o, false);
    case FileFormat::KongsbergKmall:
        return ExportKongsberg(o, true);
    default:
        break;
    }
    if (std::FILE* f = std::fopen(o.original.c_str(), "rb")) std::fclose(f);
    else throw InputError("cannot open " + o.original + ": " + std::strerror(errno));
    throw InputError(o.original + ": not a GSF, Kongsberg .all or .kmall file: it looks like " +
                     std::string(format == FileFormat::Empty ? "an empty file" : FileFormatName(format)));
}

} // namespace

void AddExportCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<ExportOptions>();
    CLI::App* cmd = app.add_subcommand(
        "export", "Write the beams our filters rejected into a copy of the original GSF, Kongsberg .all or .kmall file");
    cmd->add_option("input", o->filtered, "Filtered record stream (from import, then filter)")->required();
    cmd->add_option("--into", o->original, "The file the stream was imported from (format found from its bytes)")
        ->required();
    cmd->add_option("-o,--output", o->output, "Edited copy to write (not one of the inputs)")->required();
    cmd->add_flag("--ignore-invalid-pings", o->ignoreInvalidPings,
                  "GSF: also set the ping ignore bit on pings our filters marked invalid");
    cmd->add_flag("--edit-selected", o->editSelected, "GSF: also ignore rejected beams marked as selected soundings");
    cmd->add_flag("--force", o->force, "Write the copy even when it newly ignores more than 20 % of the usable beams");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return RunExport(*o); }; });
}

} // namespace kvs::tool
