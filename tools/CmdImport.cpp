// kvsblocks import: reads a multibeam file in one pass and writes its pings as a record
// stream of multibeam blocks (group 1011), as simulate writes them, so filter, plot and
// dump work on real soundings. The format is found from the file's first bytes, not its
// name: GSF (swath bathymetry pings), Kongsberg .all (XYZ 88) or .kmall (#MRZ); a file of
// another kind is refused in one line that says what it looks like. Blocks are numbered
// 1, 2, ... in file order (the number export matches them by); a Kongsberg dual-swath
// ping gives two blocks. One summary line: pings, beams, valid and ignored beams, pings
// without position, and what else the file holds, by type. A fault in the file is named
// with its record or datagram index and byte offset; the output is then left as it was,
// or with --partial holds the pings before the fault; the exit status is 1.
#include "Commands.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formats/FileFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllFormat.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergBlockMapper.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace kvs::tool {

namespace {

struct ImportOptions
{
    std::string input;
    std::string output;
    bool partial = false;
    bool quiet = false;
};

// What one import counted, for the summary line.
struct ImportTally
{
    unsigned long long beams = 0, ignoredBeams = 0, ignoredPings = 0, withoutPosition = 0;
    std::string source;  // "GSF 3.07", "Kongsberg .all (EM 2045, little-endian)"
    std::string extra;   // said after the counts ("2384 extra detections (not beams)")
    std::string skipped; // "records skipped: ..." or "other datagrams: ..."
    int zone = 0;
    std::string fault;   // why the file was not read to its end
};

// The stream being written: to a new file that replaces the output when complete.
class ImportOutput
{
public:
    explicit ImportOutput(const ImportOptions& o)
        : m_o(o), m_file(o.output), m_progress("importing " + o.input, InputSize(o.input), "bytes", o.quiet)
    {
        std::string failure;
        CString error;
        if (!m_file.Open(failure)) throw InputError(failure);
        if (!m_writer.Open(m_file.Stream(), error)) throw InputError(o.output + ": " + std::string(error));
    }
    void Write(const CDataBlock& block)
    {
        CString error;
        if (!m_writer.Write(block, error)) throw InputError(m_o.output + ": " + std::string(error));
    }
    unsigned long long Written() const { return m_writer.RecordsWritten(); }
    // Commits the stream; after a fault only with --partial. True when it was committed.
    // Shows how far the reader has come through the input.
    void Step(uint64_t offset) { m_progress.Update(offset); }
    bool Finish(bool fault)
    {
        m_progress.Done();
        CString error;
        if (fault && !m_o.partial) {
            m_writer.Close(error); // the writer lets go of the stream before it goes
            m_file.Discard();
            return false;
        }
        std::string failure;
        if (!m_writer.Close(error)) throw InputError(m_o.output + ": " + std::string(error));
        if (!m_file.Commit(failure)) throw InputError(failure);
        return true;
    }

private:
    const ImportOptions& m_o;
    OutputFile m_file;
    RecordStreamWriter m_writer;
    Progress m_progress;

    static uint64_t InputSize(const std::string& path)
    {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        return ec ? 0 : static_cast<uint64_t>(size);
    }
};

bool HasPosition(const CDataBlock& block)
{
    double latitude = 0.0;
    unsigned short status = 1;
    return block.GetDataValue(UseAs::kLatitude, latitude, status, CDataBlock::kByUseAs) && status == kStatusValid;
}

void ImportGsf(const ImportOptions& o, ImportOutput& out, ImportTally& t)
{
    GsfReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(std::string(error));
    GsfBlockMapper mapper;
    CDataBlock block;
    for (;;) {
        out.Step(reader.Offset());
        const GsfReader::Result r = reader.Next(error);
        if (r == GsfReader::Result::End) break;
        if (r == GsfReader::Result::Error) {
            t.fault = std::string(error);
            break;
        }
        if (!reader.IsPing()) continue;
        const GsfPing& ping = reader.Ping();
        if (!mapper.Map(ping, static_cast<int>(reader.PingsRead()), block, error)) {
            t.fault = "record " + std::to_string(reader.RecordIndex()) + " at byte " +
                      std::to_string(reader.RecordOffset()) + ": " + std::string(error);
            break;
        }
        out.Write(block);
        t.beams += static_cast<unsigned>(ping.beamCount);
        if (ping.IsIgnored()) ++t.ignoredPings;
        if (!HasPosition(block)) ++t.withoutPosition;
        for (int i = 0; i < ping.beamCount; ++i)
            if (ping.IsIgnored() || !ping.IsBeamUsable(i)) ++t.ignoredBeams;
    }
    t.source = "GSF " + std::to_string(reader.MajorVersion()) + "." + (reader.MinorVersion() < 10 ? "0" : "") +
               std::to_string(reader.MinorVersion());
    std::string text;
    for (const auto& [id, count] : reader.RecordCounts()) {
        if (id == gsf::kRecordPing) continue;
        const char* name = gsf::RecordTypeName(id);
        text += (text.empty() ? "" : ", ") + (name ? std::string(name) : "type " + std::to_string(id)) + " " +
                std::to_string(count);
    }
    t.skipped = "records skipped: " + (text.empty() ? std::string("none") : text);
    t.zone = mapper.UtmZone();
}

// The swaths of a Kongsberg reader (.all or .kmall) as blocks.
template <typename Reader>
void ImportSwaths(const ImportOptions& o, Reader& reader, ImportOutput& out, ImportTally& t)
{
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error));
    KongsbergBlockMapper mapper;
    CDataBlock block;
    for (;;) {
        out.Step(reader.Offset());
        const typename Reader::Result r = reader.Next(error);
        if (r == Reader::Result::End) break;
        if (r == Reader::Result::Error) {
            t.fault = std::string(error);
            break;
        }
        const KongsbergSwath& s = reader.Swath();
        if (!mapper.Map(s, static_cast<int>(reader.SwathsRead()), block, error)) {
            const KongsbergSwath::Part& p = s.parts.front();
            t.fault = "datagram " + std::to_string(p.index) + " at byte " + std::to_string(p.offset) + ": " +
                      std::string(error);
            break;
        }
        out.Write(block);
        t.beams += static_cast<unsigned>(s.beamCount);
        if (!s.hasPosition) ++t.withoutPosition;
        for (int i = 0; i < s.beamCount; ++i)
            if (!s.IsUsable(i)) ++t.ignoredBeams;
    }
    t.zone = mapper.UtmZone();
}

void ImportAll(const ImportOptions& o, ImportOutput& out, ImportTally& t)
{
    KongsbergAllReader reader;
    ImportSwaths(o, reader, out, t);
    t.source = "Kongsberg .all (EM " + std::to_string(reader.Model()) + (reader.BigEndian() ? ", big-endian" : "") +
               (reader.DualSwath() ? ", dual swath" : "") + ")";
    std::string text;
    for (const auto& [type, count] : reader.DatagramCounts()) {
        if (type == kongsberg::all::kXyz88) continue;
        const char* name = kongsberg::all::DatagramTypeName(type);
        char code[16];
        std::snprintf(code, sizeof code, "type 0x%02X", type);
        const std::string label = name ? name : code;
        text += (text.empty() ? "" : ", ") + label + " " + std::to_string(count);
    }
    t.skipped = "other datagrams: " + (text.empty() ? std::string("none") : text);
}

void ImportKmall(const ImportOptions& o, ImportOutput& out, ImportTally& t)
{
    KongsbergKmallReader reader;
    ImportSwaths(o, reader, out, t);
    t.source = "Kongsberg .kmall (EM " + std::to_string(reader.SounderId()) + ")";
    if (reader.ExtraDetections()) t.extra += ", " + std::to_string(reader.ExtraDetections()) + " extra detections (not beams)";
    if (reader.IncompleteSwaths())
        t.extra += ", " + std::to_string(reader.IncompleteSwaths()) + " swaths with receive fans missing";
    std::string text;
    for (const auto& [type, count] : reader.DatagramCounts()) {
        if (type == "#MRZ") continue;
        text += (text.empty() ? "" : ", ") + type + " " + std::to_string(count);
    }
    t.skipped = "other datagrams: " + (text.empty() ? std::string("none") : text);
}

int RunImport(const ImportOptions& o)
{
    RefuseSameFile({o.input}, {o.output});
    const FileFormat format = DetectFileFormat(o.input.c_str());
    if (format != FileFormat::Gsf && format != FileFormat::KongsbergAll && format != FileFormat::KongsbergKmall) {
        if (std::FILE* f = std::fopen(o.input.c_str(), "rb")) std::fclose(f);
        else throw InputError("cannot open " + o.input + ": " + std::strerror(errno));
        throw InputError(o.input + ": not a GSF, Kongsberg .all or .kmall file: it looks like " +
                         (format == FileFormat::Empty ? std::string("an empty file") : std::string(FileFormatName(format))));
    }
    ImportOutput out(o);
    ImportTally t;
    if (format == FileFormat::Gsf) ImportGsf(o, out, t);
    else if (format == FileFormat::KongsbergAll) ImportAll(o, out, t);
    else ImportKmall(o, out, t);
    const unsigned long long pings = out.Written();
    const bool kept = out.Finish(!t.fault.empty());

    // With the stream on standard output the summary goes to standard error.
    std::FILE* sink = o.output == "-" ? stderr : stdout;
    std::fprintf(sink, "imported %llu pings, %llu beams (%llu valid, %llu ignored", pings, t.beams, t.beams - t.ignoredBeams,
                 t.ignoredBeams);
    if (t.ignoredPings) std::fprintf(sink, ", %llu pings ignored", t.ignoredPings);
    std::fprintf(sink, "%s) from %s", t.extra.c_str(), t.source.c_str());
    if (t.zone) std::fprintf(sink, ", positions in UTM zone %d%c", std::abs(t.zone), t.zone > 0 ? 'N' : 'S');
    std::fprintf(sink, "; %llu pings without position; %s\n", t.withoutPosition, t.skipped.c_str());
    if (!t.fault.empty()) {
        std::fflush(sink);
        std::fprintf(stderr, "kvsblocks: %s: %s (%llu earlier ping%s %s)\n", o.input.c_str(), t.fault.c_str(), pings,
                     pings == 1 ? "" : "s",
                     kept ? "written" : "read; the output is left as it was, --partial writes them");
        return kExitBadInput;
    }
    return kExitOk;
}

} // namespace

void AddImportCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<ImportOptions>();
    CLI::App* cmd = app.add_subcommand(
        "import", "Read a GSF, Kongsberg .all or .kmall file and write its pings as multibeam data blocks");
    cmd->add_option("input", o->input, "Multibeam file (format found from its bytes)")->required();
    cmd->add_option("-o,--output", o->output, "Record stream file to write (- for standard output)")->required();
    cmd->add_flag("--partial", o->partial, "After a fault in the file, still write the pings before it");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return RunImport(*o); }; });
}

} // namespace kvs::tool
