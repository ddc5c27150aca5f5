// kvsblocks export-gsf: writes the verdicts of our filters back into the GSF file a line
// was imported from. The original is copied record by record; in each ping that the
// filtered stream holds (matched by ping number, checked by time and beam count), every
// beam our filters rejected whose GSF flag byte is still usable becomes 0x09 (ignore,
// filter edited). Bytes change only in place, so no record changes size; a record with a
// checksum gets it recomputed. Beams the hydrographer selected (GSF bit 1) and pings GSF
// already ignores are left alone. A ping our filters marked invalid gets the GSF ping
// ignore bit only with --ignore-invalid-pings: GSF has no reason bit for "rejected by a
// filter", and bit 0 alone claims that the sonar found no bottom.
// The result replaces the target only when complete (OutputFile), and not at all when it
// would newly ignore more than 20 % of the line's usable beams without --force.
#include "Commands.h"
#include "Export.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formats/FileFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/config/UseAsCodes.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

using namespace UseAs;

constexpr double kTimeTolerance = 1e-6;         // seconds, for streams without the exact time

struct Totals
{
    unsigned long long pingsEdited = 0, beamsIgnored = 0, selectedKept = 0, pingsIgnored = 0, unmatched = 0;
    unsigned long long usableBefore = 0; // usable beams of the matched pings, before the edit
    unsigned long long lineUsable = 0;   // usable beams of every ping of the original
};

// The filtered stream's multibeam pings, one after the other in ping number order.
class FilteredPings
{
public:
    explicit FilteredPings(const std::string& path) : m_path(path)
    {
        CString error;
        if (!m_reader.Open(path.c_str(), error)) throw InputError(path + ": " + std::string(error));
    }
    // The next ping, false at the end of the stream.
    bool Next()
    {
        CString error;
        for (;;) {
            const RecordStreamReader::Result r = m_reader.Next(m_block, error);
            if (r == RecordStreamReader::Result::End) return false;
            if (r == RecordStreamReader::Result::Error) throw InputError(m_path + ": " + std::string(error));
            unsigned short status = 0;
            int number = 0;
            if (m_block.GetDataId().GetGroupId() != 1011 || !m_block.GetDataValue(kPingNumber, number, status, CDataBlock::kByUseAs))
                continue;
            if (number <= m_number)
                throw InputError(m_path + ": ping " + std::to_string(number) + " follows ping " + std::to_string(m_number) +
                                 ": the pings are not in the order of a GSF import");
            m_number = number;
            return true;
        }
    }
    int Number() const { return m_number; }
    const CDataBlock& Block() const { return m_block; }

private:
    std::string m_path;
    RecordStreamReader m_reader;
    CDataBlock m_block;
    int m_number = 0;
};

std::string Where(const GsfReader& gsf)
{
    return "ping " + std::to_string(gsf.PingsRead()) + " (record " + std::to_string(gsf.RecordIndex()) + " at byte " +
           std::to_string(gsf.RecordOffset()) + ")";
}

// Checks that the filtered block is this GSF ping and sets the flags it calls for in rec.
void EditPing(const ExportOptions& o, const GsfReader& gsf, const CDataBlock& block, std::vector<unsigned char>& rec,
              std::vector<unsigned int>& words, Totals& totals)
{
    const GsfPing& ping = gsf.Ping();
    unsigned short status = 0;
    unsigned int seconds = 0, nanoseconds = 0;
    const bool exact = block.GetDataValue(kTimeSeconds, seconds, status, CDataBlock::kByUseAs) && status == 0 &&
                       block.GetDataValue(kTimeNanoseconds, nanoseconds, status, CDataBlock::kByUseAs) && status == 0;
    const bool sameTime = exact ? seconds == ping.seconds && nanoseconds == ping.nanoseconds
                                : std::fabs(block.GetTime() - ping.Time()) <= kTimeTolerance;
    int beams = 0;
    block.GetDataValue(kBeamCount, beams, status, CDataBlock::kByUseAs);
    if (!sameTime || beams != ping.beamCount || !ReadUIntArray(block, kBeamFlags, words) ||
        words.size() < static_cast<size_t>(ping.beamCount)) {
        char times[96];
        std::snprintf(times, sizeof times, "%s, %d beams against %s, %d beams", FormatUtc(block.GetTime()).c_str(), beams,
                      FormatUtc(ping.Time()).c_str(), ping.beamCount);
        throw InputError(o.filtered + ": " + Where(gsf) + " differs from the original (" + times +
                         "): the stream was not imported from " + o.original);
    }
    bool edited = false;
    if (!ping.IsIgnored()) {
        for (int i = 0; i < ping.beamCount; ++i) {
            if (ping.IsBeamUsable(i)) ++totals.usableBefore;
            if (!Multibeam::IsBeamRejected(words[static_cast<size_t>(i)])) continue;
            if (!ping.hasBeamFlags)
                throw InputError(o.original + ": " + Where(gsf) +
                                 " has no beam flag array, so its beams cannot be flagged in place");
            unsigned char& flag = rec[ping.beamFlagsAt + static_cast<size_t>(i)];
            if (flag & gsf::kBeamIgnore) continue;
            if ((flag & gsf::kBeamSelected) && !o.editSelected) {
                ++totals.selectedKept;
                continue;
            }
            flag = gsf::kBeamIgnoredByFilter;
            ++totals.beamsIgnored;
            edited = true;
        }
        unsigned int pingWord = 0;
        if (o.ignoreInvalidPings && block.GetDataValue(kPingFlags, pingWord, status, CDataBlock::kByUseAs) && (pingWord & Multibeam::kPingFlagInvalid)) {
            const size_t at = (gsf.RecordHasChecksum() ? 12 : 8) + gsf::kPingFlagsOffset;
            StoreBE<uint16_t>(rec.data() + at, static_cast<uint16_t>(LoadBE<uint16_t>(rec.data() + at) | gsf::kPingIgnore));
            ++totals.pingsIgnored;
            edited = true;
        }
    }
    if (!edited) return;
    ++totals.pingsEdited;
    if (gsf.RecordHasChecksum()) {
        uint32_t sum = 0;
        for (size_t i = gsf::kFramingSize + gsf::kChecksumSize; i < rec.size(); ++i) sum += rec[i];
        StoreBE<uint32_t>(rec.data() + gsf::kFramingSize, sum);
    }
}

} // namespace

int ExportGsf(const ExportOptions& o)
{
    if (o.output == "-") {
        std::fprintf(stderr, "kvsblocks: export writes a file: give its name with -o\n");
        return kExitUsage;
    }
    RefuseSameFile({o.filtered, o.original}, {o.output});
    const FileFormat format = DetectFileFormat(o.original.c_str());
    if (format == FileFormat::KongsbergAll || format == FileFormat::KongsbergKmall)
        throw InputError(o.original + ": not a GSF file but " + FileFormatName(format) + ": write it with export");
    GsfReader gsf;
    CString error;
    if (!gsf.Open(o.original.c_str(), error)) throw InputError(std::string(error));
    FilteredPings filtered(o.filtered);
    OutputFile out(o.output);
    std::string failure;
    if (!out.Open(failure)) throw InputError(failure);
    auto write = [&](const unsigned char* data, size_t size) {
        if (std::fwrite(data, 1, size, out.Stream()) != size) throw InputError("cannot write " + o.output);
    };

    Totals totals;
    std::vector<unsigned char> rec;
    std::vector<unsigned int> words;
    bool pending = filtered.Next();
    Progress progress("exporting to " + o.output, gsf.Size(), "bytes", o.quiet);
    for (;;) {
        progress.Update(gsf.RecordOffset());
        const GsfReader::Result r = gsf.Next(error);
        if (r == GsfReader::Result::End) break;
        if (r == GsfReader::Result::Error) throw InputError(o.original + ": " + std::string(error));
        if (!gsf.IsPing()) {
            write(gsf.RecordBytes(), gsf.RecordSize());
            continue;
        }
        rec.assign(gsf.RecordBytes(), gsf.RecordBytes() + gsf.RecordSize());
        if (!gsf.Ping().IsIgnored())
            for (int i = 0; i < gsf.Ping().beamCount; ++i)
                if (gsf.Ping().IsBeamUsable(i)) ++totals.lineUsable;
        if (pending && static_cast<uint64_t>(filtered.Number()) == gsf.PingsRead()) {
            EditPing(o, gsf, filtered.Block(), rec, words, totals);
            pending = filtered.Next();
        } else {
            ++totals.unmatched;
        }
        write(rec.data(), rec.size());
    }
    if (pending)
        throw InputError(o.filtered + ": ping " + std::to_string(filtered.Number()) + " has no counterpart among the " +
                         std::to_string(gsf.PingsRead()) + " pings of " + o.original);
    CheckNewlyIgnored(o, totals.beamsIgnored, totals.lineUsable);
    progress.Done();
    if (!out.Commit(failure)) throw InputError(failure);
    std::printf("edited %llu of %llu pings: %llu beams newly ignored (filter edited, %.1f %% of the usable beams)",
                totals.pingsEdited, static_cast<unsigned long long>(gsf.PingsRead()), totals.beamsIgnored,
                totals.usableBefore ? 100.0 * totals.beamsIgnored / totals.usableBefore : 0.0);
    if (totals.pingsIgnored) std::printf(", %llu pings ignored", totals.pingsIgnored);
    if (totals.selectedKept) std::printf(", %llu selected soundings kept", totals.selectedKept);
    if (totals.unmatched) std::printf("; %llu pings not in the filtered stream copied unchanged", totals.unmatched);
    std::printf("; wrote %s\n", o.output.c_str());
    return kExitOk;
}

void AddExportGsfCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<ExportOptions>();
    CLI::App* cmd = app.add_subcommand("export-gsf", "Write the beams our filters rejected back into the original GSF file "
                                                     "(export for GSF)");
    cmd->add_option("input", o->filtered, "Filtered record stream (from import, then filter)")->required();
    cmd->add_option("--into", o->original, "The GSF file the stream was imported from")->required();
    cmd->add_option("-o,--output", o->output, "Edited GSF file to write (not one of the inputs)")->required();
    cmd->add_flag("--ignore-invalid-pings", o->ignoreInvalidPings,
                  "Also set the GSF ping ignore bit on pings our filters marked invalid");
    cmd->add_flag("--edit-selected", o->editSelected, "Also ignore rejected beams that GSF marks as selected soundings");
    cmd->add_flag("--force", o->force, "Write the copy even when it newly ignores more than 20 % of the usable beams");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return ExportGsf(*o); }; });
}

} // namespace kvs::tool
