#include <KvsDataBlocks/module/VersionControl.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

// Restores the process to an attached module with no version minimum.
struct ModuleGuard
{
    ~ModuleGuard()
    {
        unsetenv("KVS_MIN_DLL_VERSION");
        KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH);
    }
};

} // namespace

TEST(Module, IsReadyAfterLoading)
{
    EXPECT_TRUE(KvsModuleIsReady());
    EXPECT_EQ(kKvsModuleVersion, 50594059u);
}

TEST(Module, BuildTextHasTheCompilerDateForm)
{
    const std::string text = KvsModuleBuildText();
    EXPECT_TRUE(std::regex_match(text, std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}"))) << text;
}

TEST(Module, ThreadNotificationsChangeNothing)
{
    ModuleGuard guard;
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_THREAD_ATTACH), 1);
    EXPECT_TRUE(KvsModuleIsReady());
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_THREAD_DETACH), 1);
    EXPECT_TRUE(KvsModuleIsReady());
}

TEST(Module, DetachAndAttachAgain)
{
    ModuleGuard guard;
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_DETACH), 1);
    EXPECT_FALSE(KvsModuleIsReady());
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    EXPECT_TRUE(KvsModuleIsReady());
}

TEST(Module, RefusedVersionCheckLeavesTheModuleUnusable)
{
    ModuleGuard guard;
    setenv("KVS_MIN_DLL_VERSION", "3.5.0.0", 1);
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 0);
    EXPECT_FALSE(KvsModuleIsReady());
    setenv("KVS_MIN_DLL_VERSION", "3.4.1.11", 1);
    EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    EXPECT_TRUE(KvsModuleIsReady());
}

TEST(Module, DataDirFollowsTheEnvironment)
{
    ModuleGuard guard;
    setenv("KVS_DATA_DIR", "/tmp/kvs-data", 1);
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    EXPECT_EQ(KvsModuleDataDir(), "/tmp/kvs-data");
    unsetenv("KVS_DATA_DIR");
}

TEST(Module, LoadTimeConstants)
{
    EXPECT_DOUBLE_EQ(kDegToRad * 180.0, 3.141592653589793);
    EXPECT_DOUBLE_EQ(kRadToDeg * 3.141592653589793, 180.0);
    EXPECT_STREQ(kSingleBeamFilterNames[0], ATTR_SBF_GATE);
    EXPECT_STREQ(kSingleBeamFilterNames[1], ATTR_SBF_DEPTH);
    EXPECT_STREQ(kSingleBeamFilterNames[2], ATTR_SBF_SPIKE);
}

TEST(CheckDllVersion, PolicyFromTheEnvironment)
{
    ModuleGuard guard;
    unsetenv("KVS_MIN_DLL_VERSION");
    EXPECT_TRUE(CheckDllVersion(0x0304010B, "KvsDataBlocks", "Sep 21 2009 16:20:03"));
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "", "Sep 21 2009 16:20:03"));
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "KvsDataBlocks", nullptr));
    setenv("KVS_MIN_DLL_VERSION", "0x0304010B", 1);
    EXPECT_TRUE(CheckDllVersion(0x0304010B, "KvsDataBlocks", "x"));
    EXPECT_FALSE(CheckDllVersion(0x0304010A, "KvsDataBlocks", "x"));
    setenv("KVS_MIN_DLL_VERSION", "3.4.x", 1);
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "KvsDataBlocks", "x"));
}

TEST(CheckDllVersion, ParsesDottedAndPackedVersions)
{
    EXPECT_EQ(ParsePackedVersion("3.4.1.11"), 0x0304010Bu);
    EXPECT_EQ(ParsePackedVersion("50594059"), 0x0304010Bu);
    EXPECT_EQ(ParsePackedVersion("0x0304010B"), 0x0304010Bu);
    EXPECT_FALSE(ParsePackedVersion("3.4.1"));
    EXPECT_FALSE(ParsePackedVersion("3.4.1.256"));
    EXPECT_FALSE(ParsePackedVersion("3.4.1.1.1"));
    EXPECT_FALSE(ParsePackedVersion("3..1.1"));
    EXPECT_FALSE(ParsePackedVersion(""));
    EXPECT_FALSE(ParsePackedVersion("0x1FFFFFFFF"));
}
