// kvsblocks import and export on the real Kongsberg files: summaries, refusals, the round
// trip import -> filter -> export that changes exactly the rejected beams' flag bytes
// (and .all checksums), the 20 % guard, and swaths kept apart by the filter.
#include "TempFolder.h"
#include "ToolRun.h"
#include "formats/kongsberg/KongsbergFiles.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace {

using kvs::KongsbergSwath;

// The beam flag words (606) of every multibeam block of a stream, by ping number 601.
std::map<int, std::vector<unsigned int>> StreamFlags(const std::string& path)
{
    std::map<int, std::vector<unsigned int>> out;
    kvs::RecordStreamReader reader;
    CString error;
    CDataBlock block;
    CKvsBytePtr e;
    if (reader.Open(path.c_str(), error))
        while (reader.Next(block, error) == kvs::RecordStreamReader::Result::Record) {
            int number = 0;
            unsigned short status = 0;
            if (!block.GetDataValue(601, number, status, CDataBlock::kByUseAs) || !block.GetData(606, e, CDataBlock::kByUseAs))
                continue;
            std::vector<unsigned int>& words = out[number];
            words.resize(e.GetLength() / 4);
            std::memcpy(words.data(), e.GetDataPtr(), words.size() * 4);
        }
    return out;
}

std::vector<KongsbergSwath> Swaths(const std::string& path)
{
    std::string error;
    if (path.size() > 6 && path.substr(path.size() - 6) == ".kmall") {
        kvs::KongsbergKmallReader r;
        CString e;
        return r.Open(path.c_str(), e) ? kongsbergtest::ReadAll(r, error) : std::vector<KongsbergSwath>{};
    }
    kvs::KongsbergAllReader r;
    CString e;
    return r.Open(path.c_str(), e) ? kongsbergtest::ReadAll(r, error) : std::vector<KongsbergSwath>{};
}

} // namespace

TEST(CmdKongsberg, ImportSummarisesTheRealFiles)
{
    TempFolder dir("kongsberg_import");
    const struct { const char* name; const char* text; } cases[] = {
        {kongsbergtest::kYolla, "imported 183 pings, 73200 beams (67964 valid, 5236 ignored) from Kongsberg .all (EM 2045), "
                                "positions in UTM zone 54S; 0 pings without position; other datagrams: "},
        {kongsbergtest::kAF, "imported 9 pings, 3600 beams (3600 valid, 0 ignored) from Kongsberg .all (EM 710, dual swath)"},
        {kongsbergtest::kOS01, "imported 6 pings, 2960 beams (2294 valid, 666 ignored) from Kongsberg .kmall (EM 2042), "
                               "positions in UTM zone 31N; 0 pings without position; other datagrams: #CPO 3, #IIP 1, "
                               "#IOP 1, #SCL 3, #SKM 2, #SPE 3, #SPO 3, #SVP 1, #SVT 2\n"},
        {kongsbergtest::kEg, "imported 25 pings, 12800 beams (11473 valid, 1327 ignored, 2384 extra detections (not "
                             "beams)) from Kongsberg .kmall (EM 2040)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!kongsbergtest::Have(c.name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << c.name;
        const RunResult r = RunTool("import " + kongsbergtest::kDir + c.name + " -o " + dir / "line.kvs");
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
    }
    // Another kind of file is refused in one line that says what it looks like.
    std::ofstream(dir / "notes.all") << "depth 12.5\n";
    const RunResult text = RunTool("import " + dir / "notes.all" + " -o " + dir / "x.kvs");
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "kvsblocks: " + dir / "notes.all" + ": not a GSF, Kongsberg .all or .kmall file: it looks like text\n");
}

TEST(CmdKongsberg, AFaultIsNamedAndLeavesTheOutputAsItWasUnlessPartial)
{
    KONGSBERG_FILE_OR_SKIP(kongsbergtest::kYolla);
    TempFolder dir("kongsberg_fault");
    kongsbergtest::Bytes bytes = kongsbergtest::ReadFile(kongsbergtest::kDir + kongsbergtest::kYolla);
    bytes.resize(bytes.size() / 2);
    std::ofstream(dir / "cut.all", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
    std::ofstream(dir / "line.kvs") << "kept";
    const RunResult r = RunTool("import " + dir / "cut.all" + " -o " + dir / "line.kvs");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cut.all: datagram "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" at byte "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("runs past the end of the file"), std::string::npos) << r.out;
    EXPECT_EQ(ReadWholeFile(dir / "line.kvs"), "kept");
    const RunResult partial = RunTool("import " + dir / "cut.all" + " --partial -o " + dir / "line.kvs");
    EXPECT_EQ(partial.status, 1);
    const size_t written = StreamFlags(dir / "line.kvs").size();
    EXPECT_GT(written, 50u);
    EXPECT_LT(written, 183u);
    EXPECT_NE(partial.out.find("(" + std::to_string(written) + " earlier pings written)"), std::string::npos) << partial.out;
}

TEST(CmdKongsberg, RoundTripChangesExactlyTheRejectedBeamsFlagBytes)
{
    for (const char* name : {kongsbergtest::kYolla, kongsbergtest::kAF, kongsbergtest::kEg, kongsbergtest::kOS01}) {
        SCOPED_TRACE(name);
        if (!kongsbergtest::Have(name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << name;
        TempFolder dir("kongsberg_round_trip");
        const std::string original = kongsbergtest::kDir + name, line = dir / "line.kvs", filtered = dir / "f.kvs";
        const std::string ext = std::string(name).substr(std::string(name).rfind('.'));
        const std::string edited = dir / ("edited" + ext), attr = dir / "r.attr";
        std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:1-20,150,380-400\n"
                               "QualityFilter = bool:true\nFilterQuality = int:1\nStatisticFilter = bool:true\n";
        ASSERT_EQ(RunTool("import " + original + " -o " + line).status, 0);
        ASSERT_EQ(RunTool("filter " + line + " -a " + attr + " -o " + filtered).status, 0);
        const RunResult r = RunTool("export " + filtered + " --into " + original + " -o " + edited);
        ASSERT_EQ(r.status, 0) << r.out;

        const std::vector<KongsbergSwath> before = Swaths(original), after = Swaths(edited);
        const std::map<int, std::vector<unsigned int>> words = StreamFlags(filtered);
        ASSERT_EQ(before.size(), after.size()); // the edited copy reads, its checksums true
        ASSERT_EQ(words.size(), before.size());
        std::set<uint64_t> allowed; // the flag bytes of the newly rejected beams and their datagrams' checksums
        size_t newlyIgnored = 0;
        for (size_t p = 0; p < before.size(); ++p) {
            const KongsbergSwath& a = before[p];
            const KongsbergSwath& b = after[p];
            const std::vector<unsigned int>& w = words.at(static_cast<int>(p + 1));
            for (int i = 0; i < a.beamCount; ++i) {
                const bool rejected = Multibeam::IsBeamRejected(w[static_cast<size_t>(i)]);
                EXPECT_EQ(b.IsUsable(i), a.IsUsable(i) && !rejected) << "swath " << p + 1 << " beam " << i;
                if (!a.IsUsable(i) || !rejected) continue;
                ++newlyIgnored;
                allowed.insert(a.editAt[static_cast<size_t>(i)]);
                for (const KongsbergSwath::Part& part : a.parts)
                    if (part.checksumAt) allowed.insert(part.checksumAt), allowed.insert(part.checksumAt + 1);
            }
            EXPECT_EQ(b.depth, a.depth);
            if (ext == ".all") {
                EXPECT_EQ(b.native8, a.native8); // the detection information is left alone
            } else {
                for (int i = 0; i < a.beamCount; ++i) // the detection method is left alone
                    EXPECT_EQ(b.native8[static_cast<size_t>(i)] >> 4, a.native8[static_cast<size_t>(i)] >> 4);
            }
        }
        EXPECT_GT(newlyIgnored, 0u);
        // cmp -l: no byte changed but those.
        const std::string x = ReadWholeFile(original), y = ReadWholeFile(edited);
        ASSERT_EQ(x.size(), y.size());
        size_t changed = 0;
        for (size_t i = 0; i < x.size(); ++i)
            if (x[i] != y[i]) {
                ++changed;
                EXPECT_TRUE(allowed.count(i)) << "byte " << i << " changed";
            }
        EXPECT_GE(changed, newlyIgnored);
        EXPECT_NE(r.out.find(std::to_string(newlyIgnored) + " beams newly ignored"), std::string::npos) << r.out;
    }
}

TEST(CmdKongsberg, ExportRefusesToIgnoreMoreThanAFifthOfTheUsableBeamsUnlessForced)
{
    KONGSBERG_FILE_OR_SKIP(kongsbergtest::kEg);
    TempFolder dir("kongsberg_guard");
    const std::string original = kongsbergtest::kDir + kongsbergtest::kEg, attr = dir / "r.attr";
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:1-200\n";
    ASSERT_EQ(RunTool("import " + original + " -o " + dir / "line.kvs").status, 0);
    ASSERT_EQ(RunTool("filter " + dir / "line.kvs" + " -a " + attr + " -o " + dir / "f.kvs").status, 0);
    const std::string args = "export " + dir / "f.kvs" + " --into " + original + " -o " + dir / "edited.kmall";
    const RunResult refused = RunTool(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("of the line's 11473 usable beams"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("--force"), std::string::npos) << refused.out;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.kvs", "line.kvs", "r.attr"}));
    EXPECT_EQ(RunTool(args + " --force").status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "edited.kmall"));
    // The original is never a target.
    const RunResult same = RunTool("export " + dir / "f.kvs" + " --into " + original + " -o " + original);
    EXPECT_EQ(same.status, 2) << same.out;
}

TEST(CmdKongsberg, FilterKeepsDualSwathsAndFrequenciesInStreamsOfTheirOwn)
{
    const struct { const char* name; const char* streams; } cases[] = {
        {kongsbergtest::kAF, "(2 streams"},   // dual swath
        {kongsbergtest::kOS01, "(5 streams"}, // five frequencies
        {kongsbergtest::kYolla, "(1 streams"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!kongsbergtest::Have(c.name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << c.name;
        TempFolder dir("kongsberg_streams");
        std::ofstream(dir / "s.attr") << "StatisticFilter = bool:true\n";
        ASSERT_EQ(RunTool("import " + kongsbergtest::kDir + c.name + " -o " + dir / "line.kvs").status, 0);
        const RunResult r = RunTool("filter " + dir / "line.kvs" + " -a " + dir / "s.attr" + " -o " + dir / "f.kvs");
        EXPECT_NE(r.out.find(c.streams), std::string::npos) << r.out;
    }
}

#endif
