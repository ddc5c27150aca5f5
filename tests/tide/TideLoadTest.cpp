// Tide files in any order load sorted, in n log n; what cannot be a tide file is refused
// with the file named and the reason, and a reader never runs on without end.
#include "tools/TempFolder.h"

#include <KvsDataBlocks/tide/TideStation.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kT0 = 1767225600.0; // 2026-01-01 00:00:00 UTC

std::string Lines(const std::vector<int>& minutes)
{
    std::string text;
    char line[64];
    for (int m : minutes) {
        std::snprintf(line, sizeof line, "2026/01/01 %02d:%02d:00 %d.5\n", m / 60, m % 60, m);
        text += line;
    }
    return text;
}

} // namespace

TEST(TideLoad, ObservationsInAnyOrderLoadSortedAndATimeTwiceNamesBothLines)
{
    TempFolder dir("tide_order");
    const std::string path = dir / "t.txt";
    std::vector<int> reversed;
    for (int m = 1439; m >= 0; --m) reversed.push_back(m);
    std::ofstream(path) << Lines(reversed);
    TideStation s;
    ASSERT_TRUE(s.FileOpen(path.c_str())) << s.GetLastError();
    ASSERT_EQ(s.GetNumValues(), 1440);
    for (int i : {0, 1, 700, 1439}) {
        double t = 0, v = 0;
        ASSERT_TRUE(s.GetTideValue(i, t, v));
        EXPECT_EQ(std::pair(t, v), std::pair(kT0 + 60.0 * i, i + 0.5));
    }
    std::ofstream(path) << Lines({30, 10, 20, 10, 40});
    TideStation twice;
    EXPECT_FALSE(twice.FileOpen(path.c_str()));
    EXPECT_NE(std::string(twice.GetLastError()).find("t.txt: line 4: a second observation at the same time (the first is on line 2)"),
              std::string::npos) << twice.GetLastError();
    // The last instant of 9999 rounds to the millisecond into the year 10000.
    std::ofstream(path) << "2026/01/01 00:00:00 1.0\n9999/12/31 23:59:59.9996 1.0\n";
    EXPECT_FALSE(twice.FileOpen(path.c_str()));
    EXPECT_NE(std::string(twice.GetLastError()).find("line 2: the time lies outside the years 1900 to 9999"), std::string::npos)
        << twice.GetLastError();
}

TEST(TideLoad, FoldersAndEndlessDevicesAreRefusedNamingTheFile)
{
    TempFolder dir("tide_devices");
    const struct { std::string path; const char* reason; } cases[] = {
        {dir.path.string(), ": is a folder, not a file"},
        {"/dev/zero", "/dev/zero: larger than 128 MiB, the most a text file may hold (it is a device or pipe that does not end)"},
    };
    for (const auto& c : cases) {
        TideStation s;
        EXPECT_FALSE(s.FileOpen(c.path.c_str()));
        const std::string error(s.GetLastError());
        EXPECT_TRUE(error.rfind(c.path, 0) == 0 && error.find(c.reason) != std::string::npos) << error;
    }
}
