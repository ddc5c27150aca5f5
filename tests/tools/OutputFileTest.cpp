// The tool's output files: replaced whole or not at all, and never one of the inputs.
#ifdef KVS_TOOL_PATH
#include "OutputFile.h"
#include "TempFolder.h"
#include "ToolCommon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kvs::tool::OutputFile;
using kvs::tool::RefuseSameFile;
using kvs::tool::UsageError;

namespace {

bool Write(OutputFile& file, const std::string& text)
{
    std::string error;
    return file.Open(error) && std::fputs(text.c_str(), file.Stream()) >= 0;
}

} // namespace

TEST(OutputFile, ReplacesTheTargetOnlyOnCommitAndKeepsItsPermissions)
{
    TempFolder dir("outputfile_commit");
    const std::string target = dir / "line.kvs";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    std::string error;
    {
        OutputFile file(target);
        ASSERT_TRUE(Write(file, "new"));
        EXPECT_EQ(ReadWholeFile(target), "old"); // nothing is replaced while writing
    }
    EXPECT_EQ(ReadWholeFile(target), "old"); // not committed: dropped
    EXPECT_EQ(dir.Names().size(), 1u);
    OutputFile file(target);
    ASSERT_TRUE(Write(file, "new"));
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(dir.Names().size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A symbolic link stays and the file it names is replaced.
    const std::string link = dir / "link.kvs";
    fs::create_symlink(target, link);
    OutputFile through(link);
    ASSERT_TRUE(Write(through, "newer"));
    ASSERT_TRUE(through.Commit(error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), "newer");

    // A device stays a device.
    OutputFile device("/dev/null");
    ASSERT_TRUE(Write(device, "gone"));
    ASSERT_TRUE(device.Commit(error)) << error;
    EXPECT_FALSE(fs::is_regular_file("/dev/null"));

    // A target that cannot be made is a failure with the reason.
    OutputFile nowhere(dir / "no/such/folder/x.kvs");
    EXPECT_FALSE(nowhere.Open(error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
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
    EXPECT_NO_THROW(RefuseSameFile({input}, {dir / "other.kvs", "-", ""}));
    // Two outputs may not be one file either, existing or not.
    EXPECT_THROW(RefuseSameFile({input}, {dir / "a.svg", dir / "./a.svg"}), UsageError);
    EXPECT_NO_THROW(RefuseSameFile({input}, {dir / "a.svg", dir / "b.svg"}));
    EXPECT_EQ(ReadWholeFile(input), "data");
}
#endif
