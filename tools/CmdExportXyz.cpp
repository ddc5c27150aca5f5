// kvsblocks export-xyz: the soundings of a filtered multibeam stream as an XYZ text file,
// one line a beam: easting, northing, depth (metres, depth positive down), for any other
// program; the accepted beams only, or with --all every beam with its flag word. Each
// beam lies at its ping's position (505, 506) plus its across- and along-track offsets
// turned to the course made good between the neighbouring pings: the blocks carry no
// heading. The file is streamed, three pings in memory at most, and written through
// OutputFile (whole or not at all).
#include "CommandLineHint.h"
#include "Commands.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ToolCommon.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvs::tool {

namespace {

struct XyzOptions
{
    std::string input;
    std::string output;
    bool all = false;
    bool quiet = false;
};

struct XyzPing
{
    double east = 0.0, north = 0.0;
    std::vector<float> x, y, z;
    std::vector<unsigned int> flags;
};

// A multibeam ping with a position; nullopt for other blocks and pings without one.
std::optional<XyzPing> ReadXyzPing(const CDataBlock& block, uint64_t& unplaced)
{
    XyzPing p;
    if (!ReadFloatArray(block, UseAs::kAcrossTrack, p.x) || !ReadFloatArray(block, UseAs::kBeamZ, p.z) ||
        !ReadUIntArray(block, UseAs::kBeamFlags, p.flags))
        return std::nullopt;
    unsigned short s = 0;
    if (!block.GetDataValue(UseAs::kPositionX, p.east, s, CDataBlock::kByUseAs) ||
        !block.GetDataValue(UseAs::kPositionY, p.north, s, CDataBlock::kByUseAs) || !std::isfinite(p.east) ||
        !std::isfinite(p.north)) {
        ++unplaced;
        return std::nullopt;
    }
    int n = static_cast<int>(p.x.size());
    block.GetDataValue(UseAs::kBeamCount, n, s, CDataBlock::kByUseAs);
    const size_t count = std::min({static_cast<size_t>(std::max(n, 0)), p.x.size(), p.z.size(), p.flags.size()});
    p.x.resize(count), p.z.resize(count), p.flags.resize(count);
    if (!ReadFloatArray(block, UseAs::kAlongTrack, p.y) || p.y.size() < count) p.y.assign(count, 0.0f);
    return p;
}

class XyzWriter
{
public:
    XyzWriter(std::FILE* out, std::string name, bool all) : m_out(out), m_name(std::move(name)), m_all(all) {}

    // Writes ping with the course from before to after (either may be absent).
    void Write(const XyzPing& ping, const XyzPing* before, const XyzPing* after)
    {
        const XyzPing& a = before ? *before : ping;
        const XyzPing& b = after ? *after : ping;
        const double de = b.east - a.east, dn = b.north - a.north;
        if (const double d = std::hypot(de, dn); d > 0.01) m_fe = de / d, m_fn = dn / d, m_course = true;
        const double fe = m_fe, fn = m_fn; // forward (east, north); starboard is (fn, -fe)
        for (size_t i = 0; i < ping.flags.size(); ++i) {
            const bool rejected = Multibeam::IsBeamRejected(ping.flags[i]);
            if (rejected && !m_all) continue;
            const double x = ping.x[i], y = ping.y[i], depth = -static_cast<double>(ping.z[i]);
            if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(depth)) continue;
            const double e = ping.east + y * fe + x * fn, n = ping.north + y * fn - x * fe;
            const int written = m_all ? std::fprintf(m_out, "%.3f %.3f %.3f 0x%08X\n", e, n, depth, ping.flags[i])
                                      : std::fprintf(m_out, "%.3f %.3f %.3f\n", e, n, depth);
            if (written < 0) throw InputError(m_name + ": cannot write: " + std::strerror(errno));
            ++m_lines;
        }
    }
    uint64_t Lines() const { return m_lines; }
    bool HadCourse() const { return m_course; }

private:
    std::FILE* m_out;
    std::string m_name;
    bool m_all;
    double m_fe = 0.0, m_fn = 1.0; // north until the track gives a course
    bool m_course = false;
    uint64_t m_lines = 0;
};

int RunExportXyz(const XyzOptions& o)
{
    RefuseSameFile({o.input}, {o.output});
    RecordStreamReader reader;
    CString error;
    if (!reader.Open(o.input.c_str(), error)) throw InputError(o.input + ": " + std::string(error) + StreamInputHint(o.input));
    OutputFile file(o.output);
    std::string failure;
    if (!file.Open(failure)) throw InputError(failure);
    XyzWriter writer(file.Stream(), o.output, o.all);
    Progress progress("exporting " + o.input, reader.Size(), "bytes", o.quiet);
    uint64_t unplaced = 0, pings = 0;
    // A window of three pings: the one written and its neighbours, for the course.
    std::optional<XyzPing> before, current;
    CDataBlock block;
    for (;;) {
        const RecordStreamReader::Result r = reader.Next(block, error);
        if (r == RecordStreamReader::Result::Error)
            throw InputError(o.input + ": " + std::string(error) + " (" + o.output + " not written)");
        if (r == RecordStreamReader::Result::End) break;
        progress.Update(reader.Offset());
        std::optional<XyzPing> next = ReadXyzPing(block, unplaced);
        if (!next) continue;
        ++pings;
        if (current) writer.Write(*current, before ? &*before : nullptr, &*next);
        before = std::move(current);
        current = std::move(next);
    }
    if (current) writer.Write(*current, before ? &*before : nullptr, nullptr);
    progress.Done();
    if (!pings) throw InputError(o.input + ": no multibeam pings with a position (505, 506) to export");
    if (!file.Commit(failure)) throw InputError(failure);
    std::FILE* summary = file.IsStandardOutput() ? stderr : stdout;
    std::fprintf(summary, "wrote %llu %s of %llu pings to %s (easting northing depth%s)\n",
                 static_cast<unsigned long long>(writer.Lines()), o.all ? "beams" : "accepted soundings",
                 static_cast<unsigned long long>(pings), o.output.c_str(), o.all ? " flag" : "");
    if (unplaced)
        std::fprintf(stderr, "kvsblocks: %s: %llu pings without a position left out\n", o.input.c_str(),
                     static_cast<unsigned long long>(unplaced));
    if (pings > 0 && !writer.HadCourse())
        std::fprintf(stderr, "kvsblocks: %s: the pings do not move, so the beams are turned as if heading north\n",
                     o.input.c_str());
    return kExitOk;
}

} // namespace

void AddExportXyzCommand(CLI::App& app, Runner& run)
{
    auto o = std::make_shared<XyzOptions>();
    CLI::App* cmd = app.add_subcommand(
        "export-xyz", "Write the accepted soundings of a filtered multibeam stream as easting northing depth lines");
    cmd->add_option("input", o->input, "Filtered record stream (from filter)")->required();
    cmd->add_option("-o,--output", o->output, "XYZ text file to write (- for standard output)")->required();
    cmd->add_flag("--all", o->all, "Every beam, with its flag word (606, hexadecimal) as a fourth column");
    AddQuietFlag(*cmd, o->quiet);
    cmd->callback([o, &run] { run = [o] { return RunExportXyz(*o); }; });
}

} // namespace kvs::tool
