// What kvsblocks must never do to a careful but hostile user: write onto an input, leave a
// half output in place of a whole old one, turn a link into a file, drop or cut input in
// silence, or read without end.
#include "TempFolder.h"
#include "ToolRun.h"
#include "formats/gsf/GsfFiles.h"

#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#ifdef KVS_TOOL_PATH

namespace fs = std::filesystem;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A simulated multibeam line with outliers, for tune and filter.
std::string SimulatedLine(const TempFolder& dir, int pings = 30)
{
    const std::string line = dir / "line.kvs";
    EXPECT_EQ(RunTool("simulate -q -o " + line + " --pings " + std::to_string(pings) + " --beams 128 --seed 3").status, 0);
    return line;
}

} // namespace

TEST(NothingLost, AnOutputThatIsAnInputIsRefusedByEverySubcommandUnderAnyName)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("same_file");
    const std::string gsf = dir / "v.gsf", line = SimulatedLine(dir), attr = dir / "f.attr";
    fs::copy_file(gsftest::kDir + gsftest::k0175, gsf);
    fs::copy_file(KVS_SOURCE_DIR "/examples/filters.attr", attr);
    fs::create_hard_link(gsf, dir / "hard.gsf");
    fs::create_symlink("line.kvs", dir / "link.kvs");
    const std::string gsfBytes = ReadWholeFile(gsf), lineBytes = ReadWholeFile(line), attrBytes = ReadWholeFile(attr);
    for (const std::string& args : {"import " + gsf + " -o " + gsf, "import " + gsf + " -o " + dir / "hard.gsf",
                                    "import " + dir / "hard.gsf" + " -o " + dir / "./v.gsf",
                                    "tune " + line + " -a " + attr + " -o " + line,
                                    "tune " + line + " -a " + attr + " -o " + attr,
                                    "tune " + line + " -a " + attr + " -o " + dir / "t.attr --svg " + dir / "link.kvs"}) {
        const RunResult r = RunTool(args);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, "writing it would destroy the input")), std::tuple(2, true)) << args << "\n" << r.out;
    }
    EXPECT_EQ(std::tuple(ReadWholeFile(gsf), ReadWholeFile(line), ReadWholeFile(attr)), std::tuple(gsfBytes, lineBytes, attrBytes));
    EXPECT_FALSE(fs::exists(dir / "t.attr")); // nothing written when one output is refused
}

TEST(NothingLost, ImportReplacesItsOutputWholeOrNotAtAllAndKeepsAPartialStreamOnlyWhenAsked)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("import_whole");
    const std::string out = dir / "old.kvs";
    std::vector<unsigned char> cut = gsftest::ReadFile(gsftest::k0175);
    cut.resize(gsftest::PingRecord(cut, 2).offset + 20);
    std::ofstream(dir / "cut.gsf", std::ios::binary) << std::string(cut.begin(), cut.end());
    const struct { std::string args; int blocks; const char* text; } refused[] = {
        {KVS_SOURCE_DIR "/README.md", 0, "README.md: "},                    // not a GSF file
        {dir / "cut.gsf", 0, "2 earlier pings read; the output is left as it was"}, // a fault half-way
        {gsftest::kDir + gsftest::k0175, 8, "File too large"},                // a full disk
    };
    for (const auto& c : refused) {
        std::ofstream(out) << "old";
        const RunResult r = RunTool("import " + c.args + " -o " + out, c.blocks);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, c.text), ReadWholeFile(out)), std::tuple(1, true, "old")) << c.args << "\n" << r.out;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"cut.gsf", "old.kvs"})) << c.args;
    }
    // --partial keeps the pings before the fault.
    const RunResult r = RunTool("import " + dir / "cut.gsf" + " -o " + out + " --partial");
    EXPECT_EQ(std::tuple(r.status, Has(r.out, "(2 earlier pings written)")), std::tuple(1, true)) << r.out;
    const RunResult dump = RunTool("dump " + out + " --json");
    EXPECT_EQ(nlohmann::json::parse(dump.out, nullptr, false).size(), 2u) << dump.out;
}

TEST(NothingLost, ALinkStaysALinkForEveryOutputAndALoopIsRefused)
{
    TempFolder dir("links");
    const std::string line = SimulatedLine(dir, 10);
    fs::create_symlink("made.kvs", dir / "dangling.kvs");
    fs::create_symlink("loop2.kvs", dir / "loop1.kvs");
    fs::create_symlink("loop1.kvs", dir / "loop2.kvs");
    RunResult r = RunTool("filter " + line + " -o " + dir / "dangling.kvs");
    EXPECT_EQ(std::tuple(r.status, fs::is_symlink(dir / "dangling.kvs"), fs::is_regular_file(dir / "made.kvs")),
              std::tuple(0, true, true)) << r.out;
    for (const std::string& args : {"filter " + line + " -o " + dir / "loop1.kvs", "plot " + line + " --line-svg " + dir / "loop1.kvs"}) {
        r = RunTool(args);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, "is a loop of symbolic links"), fs::is_symlink(dir / "loop1.kvs")),
                  std::tuple(1, true, true)) << args << "\n" << r.out;
    }
}

TEST(NothingLost, FilterNamesThePingsItCannotRead)
{
    TempFolder dir("unreadable");
    const std::string line = SimulatedLine(dir, 20), damaged = dir / "damaged.kvs";
    {
        kvs::RecordStreamReader reader;
        kvs::RecordStreamWriter writer;
        CString error;
        ASSERT_TRUE(reader.Open(line.c_str(), error) && writer.Open(damaged.c_str(), error)) << error;
        CDataBlock block;
        for (int n = 1; reader.Next(block, error) == kvs::RecordStreamReader::Result::Record; ++n) {
            if (n == 4) block.SetDataValue(UseAs::kBeamCount, 100000, 0, CDataBlock::kByUseAs);
            const float none = 0.0f;
            if (n == 9) block.SetDataValue(UseAs::kBeamZ, &none, 0, 0, CDataBlock::kByUseAs);
            ASSERT_TRUE(writer.Write(block, error)) << error;
        }
        ASSERT_TRUE(writer.Close(error)) << error;
    }
    RunResult r = RunTool("filter " + damaged + " -a " KVS_SOURCE_DIR "/examples/filters.attr -o " + dir / "out.kvs");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "unreadable pings 2 (not filtered, not written):") && Has(r.out, "record 4 at byte ") &&
                Has(r.out, "beam count 100000 outside 0..") && Has(r.out, "record 9 at byte ") &&
                Has(r.out, "beam array 605 does not hold 128 items"))
        << r.out;
    r = RunTool("filter " + damaged + " -a " KVS_SOURCE_DIR "/examples/filters.attr --json");
    const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    EXPECT_EQ(std::tuple(j["unreadablePings"], j["unreadable"].size(), j["unreadable"][0]["record"], j["unreadable"][1]["ping"]),
              std::tuple(nlohmann::json(2), 2u, nlohmann::json(4), nlohmann::json(9)));
    EXPECT_EQ(j["blocksIn"].get<int>(), j["blocksOut"].get<int>() + j["blocksConsumed"].get<int>() + 2);
}

TEST(NothingLost, WronglyTypedSettingsAreWarnedAndRefusedWithStrict)
{
    TempFolder dir("typed");
    const std::string line = SimulatedLine(dir, 5), attr = dir / "typed.attr";
    std::ofstream(attr) << "DepthFilter = int:1\nFilterMinDepth = string:100\nFilterMaxDepth = int:200\n";
    RunResult r = RunTool("filter " + line + " -a " + attr);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "line 1: setting 'DepthFilter' is read as bool, not int") &&
                Has(r.out, "line 2: setting 'FilterMinDepth' is read as double, not string") && !Has(r.out, "line 3"))
        << r.out;
    r = RunTool("filter " + line + " -a " + attr + " --strict");
    EXPECT_EQ(std::tuple(r.status, Has(r.out, "2 unknown or wrongly typed setting(s)")), std::tuple(1, true)) << r.out;
}

TEST(NothingLost, ReadersStopOnDevicesFoldersAndEmptyFilesNamingThem)
{
    TempFolder dir("bounded");
    const std::string line = SimulatedLine(dir, 5), empty = dir / "empty.txt";
    std::ofstream{empty};
    const struct { std::string args; std::string text; } cases[] = {
        {"tide /dev/zero", "/dev/zero: larger than 128 MiB, the most a text file may hold"},
        {"filter " + line + " -a /dev/zero", "/dev/zero: larger than 128 MiB"},
        {"filter " + line + " -a " + dir.path.string(), dir.path.string() + ": is a folder, not a file"},
        {"tide " + dir.path.string(), ": is a folder, not a file"},
        {"tide " + empty, "empty.txt: no tide observations"},
        {"tide " + empty + " --convert " + dir / "out.tide", "empty.txt: no tide observations"},
        {"import " + empty + " -o " + dir / "x.kvs", "empty.txt: not a GSF, Kongsberg .all or .kmall file: it looks like an empty file"},
        {"import /dev/zero -o " + dir / "x.kvs", "/dev/zero: not a regular file"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunShell("timeout 60 " KVS_TOOL_PATH " " + c.args);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, c.text)), std::tuple(1, true)) << c.args << "\n" << r.out;
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"empty.txt", "line.kvs"}));
}

TEST(NothingLost, MessagesSayWhatWasExpectedAndWhatWasFound)
{
    GSF_FILES_OR_SKIP();
    TempFolder dir("messages");
    const std::string gsf = gsftest::kDir + gsftest::k0175, line = dir / "line.kvs", cut = dir / "cut.kvs";
    ASSERT_EQ(RunTool("import " + gsf + " -o " + line).status, 0);
    {
        // Only the flag array of the second ping shortened: the ping itself is the original's.
        kvs::RecordStreamReader reader;
        kvs::RecordStreamWriter writer;
        CString error;
        ASSERT_TRUE(reader.Open(line.c_str(), error) && writer.Open(cut.c_str(), error)) << error;
        CDataBlock block;
        for (int n = 1; reader.Next(block, error) == kvs::RecordStreamReader::Result::Record; ++n) {
            const std::vector<unsigned int> flags(10, 1u);
            if (n == 2) block.SetDataValue(UseAs::kBeamFlags, flags.data(), 10, 0, CDataBlock::kByUseAs);
            ASSERT_TRUE(writer.Write(block, error)) << error;
        }
        ASSERT_TRUE(writer.Close(error)) << error;
    }
    const struct { std::string args; const char* text; } cases[] = {
        {"export-gsf " + cut + " --into " + gsf + " -o " + dir / "e.gsf",
         "cut.kvs: ping 2 (record 11 at byte 14252): the beam flag array (606) holds 10 flags for 432 beams"},
        {"formula 'Sqrt(1,2'", "formula error 11 at the end of the formula (column 9): Expected comma or bracket"},
        {"formula 'Sqrt(1,2)'", "formula error 15 at column 1: Too many function arguments: Sqrt takes 1 argument, given 2"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunTool(c.args);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, c.text)), std::tuple(1, true)) << c.args << "\n" << r.out;
    }
}

TEST(NothingLost, TideTimesOutsideTheFilesYearsAreRefused)
{
    TempFolder dir("tide_at");
    const std::string tide = dir / "t.txt";
    std::ofstream(tide) << "2026/01/01 00:00:00 1.0\n2026/01/01 01:00:00 2.0\n";
    for (const char* at : {"1e300", "-1e300", "253402300800"}) {
        const RunResult r = RunTool("tide " + tide + " --at " + at);
        EXPECT_EQ(std::tuple(r.status, Has(r.out, "lies outside the years 1900 to 9999")), std::tuple(1, true)) << at << "\n" << r.out;
    }
}

#endif
