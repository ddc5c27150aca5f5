#include <KvsDataBlocks/tide/TideStation.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double kT0 = 1767225600.0; // 2026-01-01 00:00:00 UTC

std::string TempFile(const char* name)
{
    return std::string(::testing::TempDir()) + "/tide_" + name + "_" + std::to_string(getpid()) + ".txt";
}

std::string ReadFile(const std::string& path)
{
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// The permission bits of path (0 when it cannot be read).
unsigned int Mode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// Files left beside path by a save (its temporary files).
int LeftoverFiles(const std::string& path)
{
    const std::filesystem::path p(path);
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(p.parent_path()))
        if (entry.path().filename().string().rfind(p.filename().string() + ".tmp", 0) == 0) ++n;
    return n;
}

// The observations as "time-kT0=value" pairs.
std::string Values(const TideStation& s)
{
    std::ostringstream out;
    double t = 0, v = 0;
    for (int i = 0; s.GetTideValue(i, t, v); ++i) out << t - kT0 << "=" << v << " ";
    return out.str();
}

const char* kNative = "KVSTIDE 1\n# Harbour gauge\nSTATION Harbour North\nID HN01\nPOSITION 512345.5 5801234.25\n"
                      "KP 12.5\nOFFSET -0.25\nDATA\n"
                      "2026-01-01 00:10:00 1.50\n2026-01-01 00:00:00.500 1.00\n2026-01-01 00:20:00 2.00\n";

} // namespace

TEST(TideStation, ReadsTheNativeLayoutCountsOpensAndRefusesMalformedFilesByLine)
{
    const std::string path = TempFile("native");
    std::ofstream(path) << kNative;
    TideStation s;
    ASSERT_TRUE(s.FileOpen(path.c_str())) << s.GetLastError();
    EXPECT_EQ(s.Format(), "KVSTIDE 1\nSTATION Harbour North\nID HN01\nPOSITION 512345.5 5801234.25\nKP 12.5\n"
                          "OFFSET -0.25\nDATA\n2026-01-01 00:00:00.500 1\n2026-01-01 00:10:00.000 1.5\n"
                          "2026-01-01 00:20:00.000 2\n");
    double t = 0, v = 0, first = 0, last = 0;
    EXPECT_FALSE(s.GetTideValue(-1, t, v) || s.GetTideValue(3, t, v));
    ASSERT_TRUE(s.GetTimeSpan(first, last));
    EXPECT_EQ(std::pair(first, last), std::pair(kT0 + 0.5, kT0 + 1200));
    // Opened twice: the first close keeps it open; another file cannot be opened meanwhile.
    EXPECT_EQ((std::vector<int>{s.FileOpen(path.c_str()), s.FileOpen("other.txt"), s.GetOpenCount(), s.FileClose(false),
                                s.IsOpen(), s.FileClose(false), s.IsOpen(), s.FileClose(false)}),
              (std::vector<int>{1, 0, 2, 1, 1, 0, 0, -1}));
    const struct { const char *text, *line; } cases[] = {
        {"KVSTIDE 1\nSTATION A\nPOSITION 1\nDATA\n", "line 3"},
        {"KVSTIDE 1\nDATA\n2026-01-01 00:00:00 1.0\n2026-13-01 00:00:00 1.0\n", "line 4"},
        {"KVSTIDE 1\nDATA\n2026-01-01 00:00:00 abc\n", "line 3"}, {"KVSTIDE 1\nCOLOUR red\nDATA\n", "line 2"},
        {"2026/01/01 00:00:00 1.0\n2026-01-01 00:00:01 2.0\n", "line 2"}, {"2026/01/01 00:00:00\n", "line 1"},
        {"2026/01/01 00:00:00 1.0 2.0\n", "line 1"}, {"2026/01/01 00:00:00 nan\n", "line 1"},
        {"2026/01/01 00:00:00.0001 1\n2026/01/01 00:00:00.0004 2\n", "line 2: a second observation at the same time"},
    };
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary) << c.text;
        TideStation s;
        EXPECT_FALSE(s.FileOpen(path.c_str()) || s.IsOpen() || s.GetNumValues() != 0) << c.text;
        EXPECT_NE(std::string(s.GetLastError()).find(c.line), std::string::npos) << c.text << " -> " << s.GetLastError();
    }
    TideStation missing;
    EXPECT_TRUE(!missing.FileOpen("/nonexistent/tide.txt") && missing.GetLastError().Find("/nonexistent/tide.txt") >= 0);
    std::remove(path.c_str());
}

TEST(TideStation, EditsKeepTimeOrderWithinTheFileYearsAndWindowsBoundInterpolation)
{
    TideStation s;
    // kT0 + 0.3334 and + 0.3331 fall on the millisecond of kT0 + 1/3; kT0 + 11 holds nothing.
    EXPECT_EQ((std::vector<bool>{s.AddTideValue(kT0 + 20, 2.0), s.AddTideValue(kT0 + 1.0 / 3.0, 1.0),
                                 s.AddTideValue(kT0 + 0.3334, 5.0), s.UpdateTideValue(kT0 + 0.3331, 1.5),
                                 s.UpdateTideValue(kT0 + 11, 1.5)}),
              (std::vector<bool>{true, true, false, true, false}));
    EXPECT_EQ(Values(s), "0.333=1.5 20=2 ");
    EXPECT_TRUE(s.DeleteTideValue(kT0 + 0.333) && !s.DeleteTideValue(kT0 + 0.333));
    // Times a tide file cannot hold are refused: 10000-01-01, a time rounding to it, before 1900.
    EXPECT_EQ((std::vector<bool>{s.AddTideValue(1e300, 1.0), s.AddTideValue(253402300800.0, 1.0),
                                 s.AddTideValue(253402300799.9996, 1.0), s.AddTideValue(-2208988801.0, 1.0),
                                 s.AddTideValue(253402300799.999, 1.0)}),
              (std::vector<bool>{false, false, false, false, true}));
    EXPECT_EQ(s.GetNumValues(), 2);
    constexpr double kNone = -999.0; // refused: the value is left
    const struct { bool interpolate; double window; bool extrapolate; double extraWindow, t, v; } cases[] = {
        {true, 0.0, false, 0.0, 300, 3.0},      // window 0: any gap
        {true, 600.0, false, 0.0, 300, 3.0},    // gaps up to 600 gauge inclusive
        {true, 600.0, false, 0.0, 1200, kNone}, {false, 0.0, false, 0.0, 300, kNone},
        {false, 0.0, false, 0.0, 600, 6.0},     // a stored time always gives its value
        {false, 0.0, false, 0.0, 3700, kNone},  // no extrapolation by default
        {false, 0.0, true, 0.0, 3700, kNone},   // window 0: nothing beyond the ends
        {false, 0.0, true, 100.0, 3700, 1.0 - 5.0 / 3000 * 100}, {false, 0.0, true, 100.0, -100, -1.0},
        {false, 0.0, true, 100.0, -100.5, kNone},
    };
    TideStation gauge;
    for (const auto& [t, v] : {std::pair{0.0, 0.0}, {600.0, 6.0}, {3600.0, 1.0}}) gauge.AddTideValue(t, v);
    for (const auto& c : cases) {
        gauge.SetInterpolAttribs(c.interpolate, c.window);
        gauge.SetExtrapolationAttribs(c.extrapolate, c.extraWindow);
        double t = c.t, v = kNone;
        EXPECT_EQ(gauge.InterpolateTide(t, v), c.v != kNone) << c.t;
        EXPECT_DOUBLE_EQ(v, c.v) << c.t;
    }
    TideStation one; // a single observation extrapolates as itself
    double t = 14, v = 0;
    one.AddTideValue(10, 4.0);
    one.SetExtrapolationAttribs(true, 5.0);
    EXPECT_TRUE(one.InterpolateTide(t, v) && v == 4.0) << v;
}

// Found while making the fuzz seeds: a saved file came out readable by its owner only
// (the temporary file's permissions), so other users lost a tide file they could read.
TEST(TideStation, SaveKeepsThePermissionsAndAFailedSaveTheOldFile)
{
    const std::string path = TempFile("mode");
    std::remove(path.c_str());
    TideStation s;
    ASSERT_TRUE(s.FileCreate(path.c_str()));
    s.AddTideValue(kT0 + 0.25, 1.0 / 3.0);
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(s.FileSave()) << s.GetLastError();
    EXPECT_EQ(Mode(path), 0644u);
    EXPECT_EQ(ReadFile(path), "KVSTIDE 1\nPOSITION 0 0\nKP 0\nOFFSET 0\nDATA\n2026-01-01 00:00:00.250 0.33333333333333331\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    s.AddTideValue(kT0 + 1, 2.0);
    ASSERT_TRUE(s.FileSave()) << s.GetLastError();
    EXPECT_EQ(Mode(path), 0640u);
    ::umask(mask);
    std::remove(path.c_str());
    const std::string fullPath = TempFile("diskfull");
    std::ofstream(fullPath) << kNative;
    TideStation full;
    ASSERT_TRUE(full.FileOpen(fullPath.c_str()));
    for (int i = 0; i < 1000; ++i) full.AddTideValue(kT0 + 3600 + i, i * 0.01);
    size_t written = 0;
    // The disk fills up after 100 bytes.
    full.SetWriteFunction([&written](int fd, const void* data, size_t size) -> ssize_t {
        if (written >= 100) return errno = ENOSPC, -1;
        const size_t n = std::min<size_t>(size, 100 - written);
        written += n;
        return ::write(fd, data, n);
    });
    EXPECT_FALSE(full.FileSave());
    EXPECT_GE(written, 100u); // the failure came half-way, not before the first byte
    const std::string error(full.GetLastError());
    EXPECT_TRUE(error.find("No space left") != error.npos && error.find(fullPath) != error.npos) << error;
    EXPECT_TRUE(ReadFile(fullPath) == kNative && LeftoverFiles(fullPath) == 0);
    // A disk that silently stops taking bytes is a failure too.
    full.SetWriteFunction([](int, const void*, size_t) -> ssize_t { return 0; });
    EXPECT_FALSE(full.FileSave());
    EXPECT_TRUE(ReadFile(fullPath) == kNative && LeftoverFiles(fullPath) == 0);
    // The last close cannot save either: the file stays open.
    EXPECT_EQ((std::vector<int>{full.FileClose(true), full.IsOpen(), (full.SetWriteFunction(nullptr), full.FileClose(true))}),
              (std::vector<int>{-1, 1, 0}));
    EXPECT_EQ(ReadFile(fullPath), full.Format());
    std::remove(fullPath.c_str());
}

// Found by fuzzing: the simple layout dropped the milliseconds of its times on writing, so
// a converted or saved file lost them (or could no longer be read: two times fell together).
TEST(TideStation, BothLayoutsWriteTimesBackExactly)
{
    TideStation simple, back;
    CString error;
    ASSERT_TRUE(TideStation::Parse("2026/01/01 00:00:00 0.75\n\n2026/01/01 01:00:00 1.25\n", simple, error)) << error;
    EXPECT_EQ(simple.GetLayout(), TideStation::Layout::Simple);
    ASSERT_TRUE(simple.AddTideValue(kT0 + 1800.5, 1.0));
    // Whole seconds stay in the plain form of the simple layout.
    EXPECT_EQ(simple.Format(), "2026/01/01 00:00:00 0.75\n2026/01/01 00:30:00.500 1\n2026/01/01 01:00:00 1.25\n");
    for (TideStation::Layout layout : {TideStation::Layout::Simple, TideStation::Layout::Native}) {
        simple.SetLayout(layout);
        ASSERT_TRUE(TideStation::Parse(simple.Format(), back, error)) << error << "\n" << simple.Format();
        EXPECT_EQ(Values(back), "0=0.75 1800.5=1 3600=1.25 ");
    }
    // The station texts are kept as they stand, odd bytes included, so they read back.
    const std::string name("Pier\0 7", 7);
    ASSERT_TRUE(TideStation::Parse("KVSTIDE 1\nSTATION " + name + " \nDATA\n", simple, error)) << error;
    ASSERT_TRUE(TideStation::Parse(simple.Format(), back, error));
    EXPECT_EQ(simple.GetStationName().str() + "|" + back.GetStationName().str(), name + "|" + name);
}
