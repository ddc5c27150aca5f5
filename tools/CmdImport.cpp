// kvsblocks import: reads a GSF file in one pass and writes its swath bathymetry pings as
// a record stream of multibeam blocks (group 1011), as simulate writes them, so filter,
// plot and dump work on real soundings. Pings are numbered 1, 2, ... in file order (the
// number export-gsf matches them by). A fault in the file is named with its record index
// and byte offset and the exit status is 1; the output is then left as it was, unless
// --partial keeps the pings before the fault. The stream is written whole or not at all
// (OutputFile).
#include "Commands.h"
#include "OutputFile.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace kvs::tool {

namespace {

struct ImportOptions
{
    std::string input;
    std::string output;
    bool partial = false;
};

std::string OtherRecords(const GsfReader& reader)
{
    std::string text;
    for (const auto& [id, count] : reader.RecordCounts()) {
        if (id == gsf::kRecordPing) continue;
        const char* name = gsf::RecordTypeName(id);
        text += (text.empty() ? "" : ", ") + (name ? std::string(name) : "type " + std::to_string(id)) + " " +
                std::to_string(count);
    }
    return text.empty() ? "none" : text;
}

int RunImport(const ImportOptions& o)
{
    RefuseSameFile({o.input}, {o.output});
    GsfReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    OutputFile file(o.output);
    std::string failure;
    if (!file.Open(failure)) throw InputError(failure);
    RecordStreamWriter writer;
    if (!writer.Open(file.Stream(), error)) throw InputError(o.output + ": " + std::string(error));
    GsfBlockMapper mapper;
    CDataBlock block;
    unsigned long long beams = 0, ignoredBeams = 0, ignoredPings = 0;
    std::string fault;
    for (;;) {
        const GsfReader::Result r = reader.Next(error);
        if (r == GsfReader::Result::End) break;
        if (r == GsfReader::Result::Error) {
            fault = std::string(error);
            break;
        }
        if (!reader.IsPing()) continue;
        const GsfPing& ping = reader.Ping();
        if (!mapper.Map(ping, static_cast<int>(reader.PingsRead()), block, error)) {
            fault = "record " + std::to_string(reader.RecordIndex()) + " at byte " +
                    std::to_string(reader.RecordOffset()) + ": " + std::string(error);
            break;
        }
        if (!writer.Write(block, error)) throw InputError(o.output + ": " + std::string(error));
        beams += static_cast<unsigned>(ping.beamCount);
        if (ping.IsIgnored()) ++ignoredPings;
        for (int i = 0; i < ping.beamCount; ++i)
            if (ping.IsIgnored() || !ping.IsBeamUsable(i)) ++ignoredBeams;
    }
    if (!writer.Close(error)) throw InputError(o.output + ": " + std::string(error));
    const bool keep = fault.empty() || o.partial;
    if (!keep) file.Discard();
    if (keep && !file.Commit(failure)) throw InputError(failure);
    const unsigned long long pings = writer.RecordsWritten();
    const int zone = mapper.UtmZone();
    // With the stream on standard output the summary goes to standard error.
    std::FILE* out = o.output == "-" ? stderr : stdout;
    std::fprintf(out, "%s %llu pings, %llu beams (%llu valid, %llu ignored", keep ? "imported" : "read", pings, beams,
                 beams - ignoredBeams, ignoredBeams);
    if (ignoredPings) std::fprintf(out, ", %llu pings ignored", ignoredPings);
    std::fprintf(out, ") from GSF %d.%02d", reader.MajorVersion(), reader.MinorVersion());
    if (zone) std::fprintf(out, ", positions in UTM zone %d%c", std::abs(zone), zone > 0 ? 'N' : 'S');
    std::fprintf(out, "; records skipped: %s\n", OtherRecords(reader).c_str());
    if (!fault.empty()) {
        std::fflush(out);
        std::fprintf(stderr, "kvsblocks: %s: %s (%llu earlier ping%s %s)\n", o.input.c_str(), fault.c_str(), pings,
                     pings == 1 ? "" : "s",
                     o.partial ? "written (--partial)" : "read; the output is left as it was (--partial keeps them)");
        return kExitBadInput;
    }
    return kExitOk;
}

} // namespace

void AddImportCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<ImportOptions>();
    CLI::App* cmd = app.add_subcommand("import", "Read a GSF file and write its pings as multibeam data blocks");
    cmd->add_option("input", o->input, "GSF file (swath bathymetry pings)")->required();
    cmd->add_option("-o,--output", o->output, "Record stream file to write (- for standard output)")->required();
    cmd->add_flag("--partial", o->partial, "After a fault in the input, still write the pings before it");
    cmd->callback([o, &run] { run = [o] { return RunImport(*o); }; });
}

} // namespace kvs::tool
