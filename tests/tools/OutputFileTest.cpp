// The tool's output files: replaced whole or not at all, and never one of the inputs.
#ifdef KVS_TOOL_PATH
#include "OutputFile.h"
#include "TempFolder.h"
#include "ToolCommon.h"

#include <filesystem>
#include <string>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kvs::tool::OutputFile;
using kvs::tool::RefuseSameFile;
using kvs::tool::UsageError;

// Opens the file and writes the text; with commit, commits it too.
static bool Write(OutputFile& file, const std::string& text, bool commit = false)
{
    std::string error;
    const bool ok = file.Open(error) && std::fputs(text.c_str(), file.Stream()) >= 0 && (!commit || file.Commit(error));
    EXPECT_EQ(error, "");
    return ok;
}

TEST(OutputFile, ReplacesTheTargetOnlyOnCommitAndKeepsItsPermissions)
{
    TempFolder dir("outputfile_commit");
    const std::string target = dir / "line.kvs", link = dir / "link.kvs";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    {
        OutputFile file(target);
        ASSERT_TRUE(Write(file, "new"));
        // Nothing is replaced while writing; the new file has no name, or one that says it is a temporary one.
        const std::vector<std::string> names = dir.Names();
        EXPECT_TRUE(ReadWholeFile(target) == "old" && (names.size() == 1 || names.back().rfind("line.kvs.tmp.", 0) == 0)) << names.back();
    }
    EXPECT_EQ(std::tuple(ReadWholeFile(target), dir.Names().size()), std::tuple("old", 1u)); // not committed: dropped
    OutputFile file(target);
    ASSERT_TRUE(Write(file, "new", true));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(std::tuple(ReadWholeFile(target), dir.Names().size(), st.st_mode & 07777), std::tuple("new", 1u, 0640u));
    // A symbolic link stays and the file it names is replaced; a device stays a device.
    fs::create_symlink(target, link);
    OutputFile through(link), device("/dev/null");
    ASSERT_TRUE(Write(through, "newer", true) && Write(device, "gone", true));
    EXPECT_EQ(std::tuple(fs::is_symlink(link), ReadWholeFile(target), fs::is_regular_file("/dev/null")), std::tuple(true, "newer", false));
    // A target that cannot be made is a failure with the reason.
    OutputFile nowhere(dir / "no/such/folder/x.kvs");
    std::string error;
    EXPECT_EQ((std::tuple{nowhere.Open(error), error.find("no/such/folder") != std::string::npos}), std::tuple(false, true)) << error;
}

TEST(OutputFile, AnOutputThatIsAnInputIsRefusedUnderAnyName)
{
    TempFolder dir("outputfile_same");
    const std::string input = dir / "in.kvs";
    std::ofstream(input) << "data";
    fs::create_symlink(input, dir / "link.kvs");
    fs::create_hard_link(input, dir / "hard.kvs");
    const std::string relative = fs::relative(input, fs::current_path()).string();
    for (const std::string& output : {input, dir / "link.kvs", dir / "hard.kvs", relative, dir / "../" +
                                          dir.path.filename().string() + "/in.kvs"})
        EXPECT_THROW(RefuseSameFile({input}, {output}), UsageError) << output;
    // Two outputs may not be one file either, existing or not.
    EXPECT_THROW(RefuseSameFile({input}, {dir / "a.svg", dir / "./a.svg"}), UsageError);
    EXPECT_NO_THROW(RefuseSameFile({input}, {dir / "other.kvs", "-", "", dir / "b.svg"}));
    EXPECT_EQ(ReadWholeFile(input), "data");
}

TEST(OutputFile, ALinkStaysALinkDanglingOrChainedAndALoopIsRefused)
{
    TempFolder dir("outputfile_links");
    // A dangling link (relative, in a chain of two) is written through: the file it names
    // comes to be and the links stay.
    fs::create_symlink("target.kvs", dir / "first.kvs");
    fs::create_symlink("first.kvs", dir / "second.kvs");
    OutputFile dangling(dir / "second.kvs");
    ASSERT_TRUE(Write(dangling, "new", true));
    EXPECT_EQ(std::tuple(fs::is_symlink(dir / "first.kvs"), fs::is_symlink(dir / "second.kvs"), ReadWholeFile(dir / "target.kvs")),
              std::tuple(true, true, "new"));
    // A loop is refused, named, and left as it was.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    OutputFile loop(dir / "loop-a");
    std::string error;
    EXPECT_FALSE(loop.Open(error));
    EXPECT_NE(error.find("loop-a is a loop of symbolic links"), std::string::npos) << error;
    EXPECT_EQ(std::tuple(fs::is_symlink(dir / "loop-a"), fs::is_symlink(dir / "loop-b")), std::tuple(true, true));
}
#endif
