// kvsblocks import and export-gsf on the real GSF files: summaries, faults, the flags
// written back byte for byte, and the refusals that protect the original.
#include "TempFolder.h"
#include "ToolRun.h"
#include "formats/gsf/GsfFiles.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef KVS_TOOL_PATH

using Bytes = std::vector<unsigned char>;

static void Write(const std::string& path, const Bytes& bytes) { std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end()); }

// The beam flag words (606) of every multibeam block of a stream, in stream order.
static std::vector<std::vector<unsigned int>> StreamFlags(const std::string& path)
{
    std::vector<std::vector<unsigned int>> out;
    kvs::RecordStreamReader reader;
    CString error;
    CDataBlock block;
    CKvsBytePtr e;
    if (reader.Open(path.c_str(), error))
        while (reader.Next(block, error) == kvs::RecordStreamReader::Result::Record)
            if (block.GetData(606, e, CDataBlock::kByUseAs)) {
                out.emplace_back(e.GetLength() / 4);
                std::memcpy(out.back().data(), e.GetDataPtr(), out.back().size() * 4);
            }
    return out;
}

TEST(CmdGsf, ImportSummarisesEveryRealFileAndKeepsTheOutputAfterAFault)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("gsf_import");
    Bytes cut = gsftest::ReadFile(gsftest::k0175);
    cut.resize(gsftest::PingRecord(cut, 2).offset + 20);
    Write(dir / "cut.gsf", cut);
    const struct { std::string file; int status; const char* text; } cases[] = {
        {gsftest::k0029, 0, "imported 8 pings, 3456 beams (2369 valid, 1087 ignored) from GSF 3.06, positions in UTM "
                            "zone 58N; 0 pings without position; records skipped: header 1, sound velocity profile 1, processing parameters 1, "
                            "comment 2, history 1, summary 1, attitude 111"},
        {gsftest::k6184, 0, "imported 132 pings, 132 beams (132 valid, 0 ignored) from GSF 2.09"},
        // Depths alone cannot be placed across the swath.
        {gsftest::k309, 1, "record 3 at byte 100: ping 1 has no across-track array (0 earlier pings read; the output is "
                           "left as it was"},
        {"", 1, "runs past the end of the file (12 bytes left) (2 earlier pings read; the output is left as it was"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunTool("import " + (c.file.empty() ? dir / "cut.gsf" : gsftest::kDir + c.file) + " -o " +
                                    dir / "out.kvs");
        EXPECT_EQ(std::tuple(r.status, r.out.find(c.text) != std::string::npos), std::tuple(c.status, true)) << c.file << "\n" << r.out;
    }
    EXPECT_EQ(StreamFlags(dir / "out.kvs").size(), 132u); // the last good import, left as it was
    const RunResult partial = RunTool("import " + dir / "cut.gsf" + " --partial -o " + dir / "out.kvs");
    EXPECT_NE(partial.out.find("(2 earlier pings written)"), std::string::npos) << partial.out;
    EXPECT_EQ(StreamFlags(dir / "out.kvs").size(), 2u); // the pings before the cut
}

TEST(CmdGsf, ExportSetsExactlyTheRejectedUsableBeamsAndNothingElse)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("gsf_export");
    const std::string line = dir / "line.kvs", filtered = dir / "filtered.kvs", attr = dir / "reject.attr";
    const std::string edited = dir / "edited.gsf", original = gsftest::kDir + gsftest::k0175;
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:1-40,200,390-432\n"
                           "StatisticFilter = bool:true\n";
    ASSERT_EQ(RunTool("import " + original + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("filter " + line + " -a " + attr + " -o " + filtered).status, 0);
    const RunResult r = RunTool("export " + filtered + " --into " + original + " -o " + edited);
    ASSERT_EQ(r.status, 0) << r.out;

    // What the edited file must be: the original with 0x09 on each rejected usable beam.
    std::string expected = ReadWholeFile(original);
    const std::vector<std::vector<unsigned int>> words = StreamFlags(filtered);
    kvs::GsfReader reader;
    CString error;
    ASSERT_TRUE(reader.Open(original.c_str(), error));
    size_t ping = 0, newlyIgnored = 0;
    while (reader.Next(error) == kvs::GsfReader::Result::Record) {
        if (!reader.IsPing()) continue;
        ASSERT_LT(ping, words.size());
        const kvs::GsfPing& p = reader.Ping();
        for (size_t i = 0; i < static_cast<size_t>(p.beamCount); ++i) {
            char& flag = expected[reader.RecordOffset() + p.beamFlagsAt + i];
            if (Multibeam::IsBeamRejected(words[ping][i]) && !(flag & 1)) {
                flag = 0x09;
                ++newlyIgnored;
            }
        }
        ++ping;
    }
    EXPECT_EQ(std::tuple(newlyIgnored > 100, ReadWholeFile(edited) == expected), std::tuple(true, true));
    EXPECT_NE(r.out.find("edited 4 of 4 pings: " + std::to_string(newlyIgnored) + " beams newly ignored"), std::string::npos) << r.out;
    // Read back, the edited file ignores the newly flagged beams too.
    const RunResult again = RunTool("import " + edited + " -o " + line);
    EXPECT_NE(again.out.find("(" + std::to_string(1446 - newlyIgnored) + " valid, " +
                             std::to_string(282 + newlyIgnored) + " ignored)"), std::string::npos) << again.out;
}

TEST(CmdGsf, ExportRefusesToIgnoreMoreThanAFifthOfTheUsableBeamsUnlessForced)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("gsf_export_guard");
    const std::string original = gsftest::kDir + gsftest::k0175, attr = dir / "r.attr", edited = dir / "edited.gsf";
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:1-200\n";
    ASSERT_EQ(RunTool("import " + original + " -o " + dir / "line.kvs").status, 0);
    ASSERT_EQ(RunTool("filter " + dir / "line.kvs" + " -a " + attr + " -o " + dir / "f.kvs").status, 0);
    const std::string args = "export-gsf " + dir / "f.kvs" + " --into " + original + " -o " + edited;
    const RunResult refused = RunTool(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("of the line's 1446 usable beams"), std::string::npos) << refused.out;
    EXPECT_FALSE(std::filesystem::exists(edited));
    EXPECT_EQ(RunTool(args + " --force").status, 0);
    EXPECT_TRUE(std::filesystem::exists(edited));
}

TEST(CmdGsf, ExportKeepsRecordChecksumsTrueAndRefusesForeignStreamsAndOutputsThatAreInputs)
{
    GSF_FILES_OR_SKIP();
    // The 0175 file with a checksum on every record (the reader checks them).
    const Bytes plain = gsftest::ReadFile(gsftest::k0175);
    Bytes summed;
    for (const gsftest::Record& rec : gsftest::Records(plain)) {
        const unsigned char* data = plain.data() + rec.offset + 8;
        uint32_t sum = 0;
        for (uint32_t i = 0; i < rec.size; ++i) sum += data[i];
        unsigned char head[12];
        kvs::StoreBE<uint32_t>(head, rec.size);
        kvs::StoreBE<uint32_t>(head + 4, kvs::LoadBE<uint32_t>(plain.data() + rec.offset + 4) | 0x80000000u);
        kvs::StoreBE<uint32_t>(head + 8, sum);
        summed.insert(summed.end(), head, head + 12);
        summed.insert(summed.end(), data, data + rec.size);
    }
    TempFolder dir("gsf_export_more");
    const std::string copy = dir / "original.gsf", line = dir / "line.kvs", other = dir / "other.kvs", attr = dir / "r.attr";
    Write(copy, summed);
    Write(dir / "cut.gsf", Bytes(plain.begin(), plain.begin() + gsftest::PingRecord(plain, 2).offset));
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:100-120\n";
    ASSERT_EQ(RunTool("import " + copy + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("filter " + line + " -a " + attr + " -o " + dir / "f.kvs").status, 0);
    ASSERT_EQ(RunTool("import " + gsftest::kDir + gsftest::k0029 + " -o " + other).status, 0);
    const std::string before = ReadWholeFile(copy), edited = " -o " + dir / "edited.gsf";
    const struct { std::string args; int status; const char* text; } cases[] = {
        // the original under another name, or standard output: refused before writing
        {line + " --into " + copy + " -o " + dir / "./original.gsf", 2, "is the input"},
        {line + " --into " + copy + " -o -", 2, ""},
        // a stream imported from another file, or one with more pings than the original
        {other + " --into " + copy + edited, 1, "differs from the original"},
        {line + " --into " + dir / "cut.gsf" + edited, 1, "ping 3 has no counterpart among the 2 pings"},
        {dir / "f.kvs" + " --into " + copy + edited, 0, "edited 4 of 4 pings"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunTool("export-gsf " + c.args);
        EXPECT_EQ(std::tuple(r.status, r.out.find(c.text) != std::string::npos), std::tuple(c.status, true)) << c.args << "\n" << r.out;
    }
    EXPECT_EQ(ReadWholeFile(copy), before);
    // Nothing was left behind by the refusals: no output, no temporary file.
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"cut.gsf", "edited.gsf", "f.kvs", "line.kvs", "original.gsf", "other.kvs", "r.attr"}));
    // The edited flags carry checksums that read true.
    EXPECT_NE(ReadWholeFile(dir / "edited.gsf"), before);
    const RunResult back = RunTool("import " + dir / "edited.gsf" + " -o " + line);
    EXPECT_EQ(back.status, 0) << back.out;
}

#endif
