// The tool's output files: replaced whole or not at all, and never one of the inputs.
#ifdef KVS_TOOL_PATH
#include "OutputFile.h"
#include "ToolCommon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kvs::tool::OutputFile;
using kvs::tool::RefuseSameFile;
using kvs::tool::UsageError;

namespace {

// A fresh folder for one test, removed with the object.
struct Folder
{
    fs::path path;
    explicit Folder(const std::string& name)
        : path(fs::path(::testing::TempDir()) / ("outputfile_" + std::to_string(getpid()) + "_" + name))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    size_t Count() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), {})); }
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool Write(OutputFile& file, const std::string& text)
{
    std::string error;
    return file.Open(error) && std::fputs(text.c_str(), file.Stream()) >= 0;
}

} // namespace

TEST(OutputFile, ReplacesTheTargetOnlyOnCommitAndKeepsItsPermissions)
{
    Folder dir("commit");
    const std::string target = dir / "line.kvs";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    std::string error;
    {
        OutputFile file(target);
        ASSERT_TRUE(Write(file, "new"));
        EXPECT_EQ(Read(target), "old"); // nothing is replaced while writing
    }
    EXPECT_EQ(Read(target), "old"); // not committed: dropped
    EXPECT_EQ(dir.Count(), 1u);
    OutputFile file(target);
    ASSERT_TRUE(Write(file, "new"));
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(dir.Count(), 1u);
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
    EXPECT_EQ(Read(target), "newer");

    // A target that cannot be made is a failure with the reason.
    OutputFile nowhere(dir / "no/such/folder/x.kvs");
    EXPECT_FALSE(nowhere.Open(error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
}

TEST(OutputFile, AnOutputThatIsAnInputIsRefusedUnderAnyName)
{
    Folder dir("same");
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
    EXPECT_EQ(Read(input), "data");
}
#endif
