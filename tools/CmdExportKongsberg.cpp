// The Kongsberg writer of kvsblocks export: copies the original .all or .kmall file byte
// for byte, except that every beam our filters rejected and the sonar did not is marked
// in the sonar's own terms:
//   .all   the XYZ 88 beam's real-time cleaning byte becomes -1 (0xFF: flagged out, reason
//          127), the documented "not to be used" mark; the datagram's checksum is
//          recomputed. The detection-information byte is left alone: its low bits change
//          meaning when bit 7 is set.
//   .kmall the sounding's detection type becomes 2, "rejected" (the format has no checksum).
// Filtered pings are matched to the original's swaths by 601 (the 1-based place in the
// file, whatever order the filtered stream holds them in) and checked by time and beam
// count. Beams the sonar already rejected, and swaths the stream does not hold, are
// copied unchanged. The copy replaces the output only when complete, and not at all when
// it would newly ignore more than 20 % of the line's usable beams without --force.
#include "Export.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllFormat.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallFormat.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kvs::tool {

namespace {

using namespace UseAs;

// What export needs of a filtered ping: its identity and which beams our filters rejected.
struct FilteredPing
{
    uint32_t seconds = 0, nanoseconds = 0;
    int beams = 0;
    std::vector<bool> rejected;
};

std::map<int, FilteredPing> ReadFiltered(const std::string& path)
{
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(path.c_str(), error)) throw InputError(path + ": " + std::string(error));
    std::map<int, FilteredPing> pings;
    CDataBlock block;
    std::vector<unsigned int> words;
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::End) break;
        if (r == RecordStreamReader::Result::Error) throw InputError(path + ": " + std::string(error));
        unsigned short status = 0;
        int number = 0;
        if (block.GetDataId().GetGroupId() != 1011 || !block.GetDataValue(kPingNumber, number, status, CDataBlock::kByUseAs))
            continue;
        FilteredPing p;
        unsigned int s = 0, ns = 0;
        const bool exact = block.GetDataValue(kTimeSeconds, s, status, CDataBlock::kByUseAs) && status == 0 &&
                           block.GetDataValue(kTimeNanoseconds, ns, status, CDataBlock::kByUseAs) && status == 0;
        if (!exact) throw InputError(path + ": ping " + std::to_string(number) + " has no exact time (694/695): not a Kongsberg import");
        p.seconds = s, p.nanoseconds = ns;
        block.GetDataValue(kBeamCount, p.beams, status, CDataBlock::kByUseAs);
        if (!ReadUIntArray(block, kBeamFlags, words) || p.beams < 0 || words.size() < static_cast<size_t>(p.beams))
            throw InputError(path + ": ping " + std::to_string(number) + " has fewer beam flags than beams");
        p.rejected.resize(static_cast<size_t>(p.beams));
        for (size_t i = 0; i < p.rejected.size(); ++i) p.rejected[i] = Multibeam::IsBeamRejected(words[i]);
        if (!pings.emplace(number, std::move(p)).second)
            throw InputError(path + ": ping " + std::to_string(number) + " appears twice");
    }
    return pings;
}

struct Edits
{
    std::vector<uint64_t> bytes;                 // offsets of the flag bytes to set
    std::map<uint64_t, uint32_t> checksumDeltas; // .all: checksum offset -> sum of the byte changes
    unsigned long long pingsEdited = 0, swaths = 0, unmatched = 0, newlyIgnored = 0, lineUsable = 0;
};

template <typename Reader>
void CollectEdits(const ExportOptions& o, Reader& reader, std::map<int, FilteredPing>& filtered, Edits& e, bool kmall)
{
    CString error;
    Progress progress("exporting to " + o.output, reader.Size(), "bytes", o.quiet);
    for (;;) {
        progress.Update(reader.Offset());
        const typename Reader::Result r = reader.Next(error);
        if (r == Reader::Result::End) break;
        if (r == Reader::Result::Error) throw InputError(o.original + ": " + std::string(error));
        const KongsbergSwath& s = reader.Swath();
        ++e.swaths;
        for (int i = 0; i < s.beamCount; ++i)
            if (s.IsUsable(i)) ++e.lineUsable;
        const auto it = filtered.find(static_cast<int>(reader.SwathsRead()));
        if (it == filtered.end()) {
            ++e.unmatched;
            continue;
        }
        const FilteredPing& f = it->second;
        if (f.seconds != s.seconds || f.nanoseconds != s.nanoseconds || f.beams != s.beamCount) {
            throw InputError(o.filtered + ": ping " + std::to_string(it->first) + " (" + FormatUtc(f.seconds + f.nanoseconds * 1e-9) +
                             ", " + std::to_string(f.beams) + " beams) differs from swath " + std::to_string(reader.SwathsRead()) +
                             " of the original (" + FormatUtc(s.Time()) + ", " + std::to_string(s.beamCount) +
                             " beams): the stream was not imported from " + o.original);
        }
        bool edited = false;
        size_t part = 0;
        for (int i = 0; i < s.beamCount; ++i) {
            const size_t k = static_cast<size_t>(i);
            while (part + 1 < s.parts.size() && s.parts[part + 1].firstBeam <= i) ++part;
            if (!f.rejected[k] || !s.IsUsable(i)) continue;
            e.bytes.push_back(s.editAt[k]);
            if (!kmall) {
                const uint8_t old = reader.Data()[s.editAt[k]];
                e.checksumDeltas[s.parts[part].checksumAt] += static_cast<uint32_t>(kongsberg::all::kCleaningFlaggedOut - old);
            }
            ++e.newlyIgnored;
            edited = true;
        }
        if (edited) ++e.pingsEdited;
        filtered.erase(it);
    }
    if (!filtered.empty())
        throw InputError(o.filtered + ": ping " + std::to_string(filtered.begin()->first) + " has no counterpart among the " +
                         std::to_string(e.swaths) + " swaths of " + o.original);
}

// Writes data with the edits applied.
void WriteCopy(const ExportOptions& o, const unsigned char* data, uint64_t size, bool bigEndian, bool kmall, Edits& e)
{
    std::vector<std::pair<uint64_t, unsigned char>> patches;
    patches.reserve(e.bytes.size() + 2 * e.checksumDeltas.size());
    const unsigned char mark = kmall ? kongsberg::kmall::kDetectionRejected : kongsberg::all::kCleaningFlaggedOut;
    for (uint64_t at : e.bytes) patches.emplace_back(at, mark);
    for (const auto& [at, delta] : e.checksumDeltas) {
        unsigned char sum[2];
        const uint16_t old = bigEndian ? LoadBE<uint16_t>(data + at) : LoadLE<uint16_t>(data + at);
        const uint16_t now = static_cast<uint16_t>(old + delta);
        if (bigEndian) StoreBE<uint16_t>(sum, now);
        else StoreLE<uint16_t>(sum, now);
        patches.emplace_back(at, sum[0]);
        patches.emplace_back(at + 1, sum[1]);
    }
    std::sort(patches.begin(), patches.end());
    OutputFile out(o.output);
    std::string failure;
    if (!out.Open(failure)) throw InputError(failure);
    auto write = [&](const unsigned char* p, uint64_t n) {
        if (n && std::fwrite(p, 1, n, out.Stream()) != n) throw InputError("cannot write " + o.output);
    };
    uint64_t at = 0;
    for (const auto& [offset, byte] : patches) {
        write(data + at, offset - at);
        write(&byte, 1);
        at = offset + 1;
    }
    write(data + at, size - at);
    CheckNewlyIgnored(o, e.newlyIgnored, e.lineUsable);
    if (!out.Commit(failure)) throw InputError(failure);
}

} // namespace

int ExportKongsberg(const ExportOptions& o, bool kmall)
{
    if (o.output == "-") {
        std::fprintf(stderr, "kvsblocks: export writes a file: give its name with -o\n");
        return kExitUsage;
    }
    RefuseSameFile({o.filtered, o.original}, {o.output});
    std::map<int, FilteredPing> filtered = ReadFiltered(o.filtered);
    Edits e;
    CString error;
    if (kmall) {
        KongsbergKmallReader reader;
        if (!reader.Open(o.original.c_str(), error)) throw InputError(o.original + ": " + std::string(error));
        CollectEdits(o, reader, filtered, e, true);
        WriteCopy(o, reader.Data(), reader.Size(), false, true, e);
    } else {
        KongsbergAllReader reader;
        if (!reader.Open(o.original.c_str(), error)) throw InputError(o.original + ": " + std::string(error));
        CollectEdits(o, reader, filtered, e, false);
        WriteCopy(o, reader.Data(), reader.Size(), reader.BigEndian(), false, e);
    }
    std::printf("edited %llu of %llu pings: %llu beams newly ignored (%s, %.1f %% of the usable beams)", e.pingsEdited,
                e.swaths, e.newlyIgnored, kmall ? "detection type rejected" : "real-time cleaning flagged out",
                e.lineUsable ? 100.0 * static_cast<double>(e.newlyIgnored) / static_cast<double>(e.lineUsable) : 0.0);
    if (e.unmatched) std::printf("; %llu pings not in the filtered stream copied unchanged", e.unmatched);
    std::printf("; wrote %s\n", o.output.c_str());
    return kExitOk;
}

} // namespace kvs::tool
