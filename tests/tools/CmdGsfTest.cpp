// kvsblocks import and export-gsf on the real GSF files: summaries, faults, the flags
// written back byte for byte, and the refusals that protect the original.
#include "ToolRun.h"
#include "formats/gsf/GsfFiles.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace {

namespace fs = std::filesystem;

std::string Temp(const std::string& name)
{
    return std::string(::testing::TempDir()) + "/kvsgsf_" + std::to_string(getpid()) + "_" + name;
}

std::vector<unsigned char> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The beam flag words (606) of every multibeam block of a stream, in stream order.
std::vector<std::vector<unsigned int>> StreamFlags(const std::string& path)
{
    std::vector<std::vector<unsigned int>> out;
    kvs::RecordStreamReader reader;
    CString error;
    if (!reader.Open(path.c_str(), error)) return out;
    CDataBlock block;
    while (reader.Next(block, error) == kvs::RecordStreamReader::Result::Record) {
        CKvsBytePtr e;
        if (!block.GetData(606, e, CDataBlock::kByUseAs)) continue;
        std::vector<unsigned int> words(e.GetLength() / 4);
        std::memcpy(words.data(), e.GetDataPtr(), words.size() * 4);
        out.push_back(words);
    }
    return out;
}

} // namespace

TEST(CmdGsf, ImportSummarisesEveryRealFile)
{
    GSF_FILES_OR_SKIP();
    const struct { const char* file; int status; const char* text; } cases[] = {
        {gsftest::k0029, 0, "imported 8 pings, 3456 beams (2369 valid, 1087 ignored) from GSF 3.06, positions in UTM "
                            "zone 58N; records skipped: header 1, sound velocity profile 1, processing parameters 1, "
                            "comment 2, history 1, summary 1, attitude 111"},
        {gsftest::k0059, 0, "imported 50 pings, 21600 beams (20959 valid, 641 ignored) from GSF 3.07"},
        {gsftest::k0175, 0, "imported 4 pings, 1728 beams (1446 valid, 282 ignored)"},
        {gsftest::kGsfpy, 0, "imported 4 pings, 1728 beams (1446 valid, 282 ignored)"},
        {gsftest::k6184, 0, "imported 132 pings, 132 beams (132 valid, 0 ignored) from GSF 2.09"},
        // Depths alone cannot be placed across the swath.
        {gsftest::k309, 1, "record 3 at byte 100: ping 1 has no across-track array (0 earlier pings written)"},
    };
    const std::string out = Temp("import.kvs");
    for (const auto& c : cases) {
        const RunResult r = RunTool("import " + gsftest::kDir + c.file + " -o " + out);
        EXPECT_EQ(r.status, c.status) << c.file << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
    }
    fs::remove(out);
}

TEST(CmdGsf, ImportWritesThePingsBeforeAFault)
{
    GSF_FILES_OR_SKIP();
    std::vector<unsigned char> bytes = gsftest::ReadFile(gsftest::k0175);
    bytes.resize(gsftest::PingRecord(bytes, 2).offset + 20);
    const std::string gsf = Temp("cut.gsf"), out = Temp("cut.kvs");
    Write(gsf, bytes);
    const RunResult r = RunTool("import " + gsf + " -o " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("runs past the end of the file (12 bytes left) (2 earlier pings written)"), std::string::npos)
        << r.out;
    EXPECT_EQ(StreamFlags(out).size(), 2u);
    fs::remove(gsf);
    fs::remove(out);
}

TEST(CmdGsf, ExportSetsExactlyTheRejectedUsableBeamsAndNothingElse)
{
    GSF_FILES_OR_SKIP();
    const std::string line = Temp("line.kvs"), filtered = Temp("filtered.kvs"), attr = Temp("reject.attr");
    const std::string edited = Temp("edited.gsf"), svg = Temp("ping.svg");
    const std::string original = gsftest::kDir + gsftest::k0175;
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:1-40,200,390-432\n"
                           "StatisticFilter = bool:true\n";
    ASSERT_EQ(RunTool("import " + original + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("filter " + line + " -a " + attr + " -o " + filtered).status, 0);
    EXPECT_EQ(RunTool("plot " + filtered + " --ping-svg " + svg + " --ping 1").status, 0);
    const RunResult r = RunTool("export-gsf " + filtered + " --into " + original + " -o " + edited);
    ASSERT_EQ(r.status, 0) << r.out;

    // What the edited file must be: the original with 0x09 on each rejected usable beam.
    std::vector<unsigned char> expected = Bytes(original);
    const std::vector<std::vector<unsigned int>> words = StreamFlags(filtered);
    kvs::GsfReader reader;
    CString error;
    ASSERT_TRUE(reader.Open(original.c_str(), error));
    size_t ping = 0, newlyIgnored = 0;
    while (reader.Next(error) == kvs::GsfReader::Result::Record) {
        if (!reader.IsPing()) continue;
        ASSERT_LT(ping, words.size());
        const kvs::GsfPing& p = reader.Ping();
        for (int i = 0; i < p.beamCount; ++i) {
            unsigned char& flag = expected[reader.RecordOffset() + p.beamFlagsAt + static_cast<size_t>(i)];
            if (Multibeam::IsBeamRejected(words[ping][static_cast<size_t>(i)]) && !(flag & 1)) {
                flag = 0x09;
                ++newlyIgnored;
            }
        }
        ++ping;
    }
    EXPECT_GT(newlyIgnored, 100u);
    EXPECT_EQ(Bytes(edited), expected);
    EXPECT_NE(r.out.find("edited 4 of 4 pings: " + std::to_string(newlyIgnored) + " beams newly ignored"),
              std::string::npos)
        << r.out;
    // Read back, the edited file ignores the newly flagged beams too.
    const RunResult again = RunTool("import " + edited + " -o " + line);
    EXPECT_NE(again.out.find("(" + std::to_string(1446 - newlyIgnored) + " valid, " + std::to_string(282 + newlyIgnored) +
                             " ignored)"),
              std::string::npos)
        << again.out;
    for (const std::string& f : {line, filtered, attr, edited, svg}) fs::remove(f);
}

TEST(CmdGsf, ExportKeepsRecordChecksumsTrue)
{
    GSF_FILES_OR_SKIP();
    // The 0175 file with a checksum on every record (the reader checks them).
    const std::vector<unsigned char> plain = gsftest::ReadFile(gsftest::k0175);
    std::vector<unsigned char> summed;
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
    const std::string gsf = Temp("summed.gsf"), line = Temp("summed.kvs"), attr = Temp("summed.attr");
    const std::string edited = Temp("summed-edited.gsf");
    Write(gsf, summed);
    std::ofstream(attr) << "BeamRejectFilter = bool:true\nFilterRejectBeams = string:100-120\n";
    ASSERT_EQ(RunTool("import " + gsf + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("filter " + line + " -a " + attr + " -o " + line + ".f").status, 0);
    const RunResult r = RunTool("export-gsf " + line + ".f --into " + gsf + " -o " + edited);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(Bytes(edited), summed);
    const RunResult back = RunTool("import " + edited + " -o " + line);
    EXPECT_EQ(back.status, 0) << back.out;
    for (const std::string& f : {gsf, line, line + ".f", attr, edited}) fs::remove(f);
}

TEST(CmdGsf, ExportRefusesForeignStreamsAndOutputsThatAreInputs)
{
    GSF_FILES_OR_SKIP();
    const std::string dir = Temp("export");
    fs::create_directories(dir);
    const std::string copy = dir + "/original.gsf", line = dir + "/line.kvs", other = dir + "/other.kvs";
    fs::copy_file(gsftest::kDir + gsftest::k0175, copy);
    ASSERT_EQ(RunTool("import " + copy + " -o " + line).status, 0);
    ASSERT_EQ(RunTool("import " + gsftest::kDir + gsftest::k0029 + " -o " + other).status, 0);
    const std::vector<unsigned char> before = Bytes(copy);
    // The same file under another name, or the stream itself: refused before writing.
    for (const std::string& out : {dir + "/./original.gsf", line, std::string("-")}) {
        const RunResult r = RunTool("export-gsf " + line + " --into " + copy + " -o " + out);
        EXPECT_EQ(r.status, 2) << out << "\n" << r.out;
    }
    EXPECT_EQ(Bytes(copy), before);
    // A stream imported from another file, or one with more pings than the original.
    const RunResult foreign = RunTool("export-gsf " + other + " --into " + copy + " -o " + dir + "/edited.gsf");
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.out.find("differs from the original"), std::string::npos) << foreign.out;
    std::vector<unsigned char> cut = before;
    cut.resize(gsftest::PingRecord(before, 2).offset);
    Write(dir + "/cut.gsf", cut);
    const RunResult longer = RunTool("export-gsf " + line + " --into " + dir + "/cut.gsf -o " + dir + "/edited.gsf");
    EXPECT_EQ(longer.status, 1);
    EXPECT_NE(longer.out.find("ping 3 has no counterpart among the 2 pings"), std::string::npos) << longer.out;
    // Nothing was left behind: no output, no temporary file.
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 4u);
    fs::remove_all(dir);
}

#endif
