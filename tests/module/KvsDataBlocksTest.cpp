#include <KvsDataBlocks/module/VersionControl.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

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

TEST(Module, NotificationsAndTheVersionPolicyFromTheEnvironment)
{
    ModuleGuard guard;
    EXPECT_TRUE(KvsModuleIsReady());
    const std::pair<int, bool> steps[] = {{KVS_THREAD_ATTACH, true}, {KVS_THREAD_DETACH, true},
                                          {KVS_PROCESS_DETACH, false}, {KVS_THREAD_ATTACH, false},
                                          {KVS_PROCESS_ATTACH, true}};
    for (const auto& [reason, ready] : steps) {
        EXPECT_EQ(KvsDataBlocksEntry(nullptr, reason), 1) << reason;
        EXPECT_EQ(KvsModuleIsReady(), ready) << reason;
    }
    const std::string text = KvsModuleBuildText();
    EXPECT_TRUE(std::regex_match(text, std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}"))) << text;
    for (const auto& [minimum, ready] : {std::pair{"3.5.0.0", false}, std::pair{"3.4.1.11", true}}) {
        setenv("KVS_MIN_DLL_VERSION", minimum, 1);
        EXPECT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), ready ? 1 : 0) << minimum;
        EXPECT_EQ(KvsModuleIsReady(), ready) << minimum;
    }
    unsetenv("KVS_MIN_DLL_VERSION");
    setenv("KVS_DATA_DIR", "/tmp/kvs-data", 1);
    ASSERT_EQ(KvsDataBlocksEntry(nullptr, KVS_PROCESS_ATTACH), 1);
    EXPECT_EQ(KvsModuleDataDir(), "/tmp/kvs-data");
    unsetenv("KVS_DATA_DIR");
    EXPECT_TRUE(CheckDllVersion(0x0304010B, "KvsDataBlocks", "Sep 21 2009 16:20:03"));
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "", "Sep 21 2009 16:20:03"));
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "KvsDataBlocks", nullptr));
    setenv("KVS_MIN_DLL_VERSION", "0x0304010B", 1);
    EXPECT_EQ(std::pair(CheckDllVersion(0x0304010B, "KvsDataBlocks", "x"), CheckDllVersion(0x0304010A, "KvsDataBlocks", "x")),
              std::pair(true, false));
    setenv("KVS_MIN_DLL_VERSION", "3.4.x", 1);
    EXPECT_FALSE(CheckDllVersion(0x0304010B, "KvsDataBlocks", "x"));
    for (const char* text : {"3.4.1.11", "50594059", "0x0304010B"}) EXPECT_EQ(ParsePackedVersion(text), 0x0304010Bu) << text;
    for (const char* bad : {"3.4.1", "3.4.1.256", "3.4.1.1.1", "3..1.1", "", "0x1FFFFFFFF"})
        EXPECT_FALSE(ParsePackedVersion(bad)) << bad;
}
