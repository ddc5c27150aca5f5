#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

TEST(VesselContour, ReadsCornersIntoTheSideOrTopView)
{
    const CString text("# stern frame\n"
                       "1.0 2.0 3.0 0\r\n"
                       "\n"
                       "  -4.5,\t5.5 , -6.5 1 ; open edge\n");
    VesselContour side, top;
    ASSERT_TRUE(side.CreateFromText(text, VesselContour::kSideView)) << side.GetLastError().GetString();
    ASSERT_EQ(side.GetSize(), 2);
    VesselPoint p1, p2, p;
    ASSERT_TRUE(side.GetPoint(1, p1) && side.GetPoint(2, p2));
    EXPECT_EQ(std::tuple(p1 == Point(1.0, 3.0, 0.0), p1.flag, p2 == Point(-4.5, -6.5, 0.0), p2.flag),
              std::tuple(true, false, true, true));
    EXPECT_FALSE(side.GetPoint(0, p) || side.GetPoint(3, p));
    ASSERT_TRUE(top.CreateFromText(text, 1) && top.GetPoint(2, p));
    EXPECT_EQ(p, Point(-4.5, 5.5, 0.0));
}

TEST(VesselContour, MalformedTextOrMoreCornersThanTheLimitLeaveAnEmptyContourAndNameTheLine)
{
    std::string tooMany;
    for (int i = 0; i <= VesselContour::kMaxPoints; ++i) tooMany += "1 2 3 0\n";
    const std::string lastLine = "line " + std::to_string(VesselContour::kMaxPoints + 1) + ": too many corner points";
    const struct { const char* text; const char* error; } cases[] = {
        {tooMany.c_str(), lastLine.c_str()},
        {"1 2 3 0\n1 2 3\n", "line 2: expected four fields: x y z flag"},
        {"1 2 3 0 7\n", "line 1: expected four fields: x y z flag"},
        {"# c\n1 x 3 0\n", "line 2: coordinate is not a finite number"},
        {"1 2 nan 0\n", "line 1: coordinate is not a finite number"},
        {"1 2 1e999 0\n", "line 1: coordinate is not a finite number"},
        {"1 2 3 2\n", "line 1: flag must be 0 or 1"},
    };
    for (const auto& c : cases) {
        VesselContour contour;
        ASSERT_TRUE(contour.CreateFromText("0 0 0 0\n1 1 1 0\n", 5));
        EXPECT_FALSE(contour.CreateFromText(c.text, 5)) << c.text;
        EXPECT_EQ(contour.GetSize(), 0) << c.text;
        EXPECT_STREQ(contour.GetLastError().GetString(), c.error) << c.text;
    }
    VesselContour contour;
    EXPECT_FALSE(contour.CreateFromText(CString(std::string("1 2 3 0\n1 2\0 3 0\n", 16)), 5));
    EXPECT_STREQ(contour.GetLastError().GetString(), "line 2: unexpected NUL character");
}

TEST(VesselContour, MissingFileIsReportedAndLeavesTheContourEmpty)
{
    VesselContour contour;
    EXPECT_FALSE(contour.Create("/nonexistent/dir/shape.ctr", 5));
    EXPECT_EQ(contour.GetSize(), 0);
    EXPECT_STREQ(contour.GetLastError().GetString(), "cannot read file '/nonexistent/dir/shape.ctr'");

    const std::string path = ::testing::TempDir() + "vessel_contour_test.ctr";
    std::ofstream(path) << "0 0 0 0\n1 1 1 1\nbad\n";
    EXPECT_FALSE(contour.Create(CString(path), 5));
    EXPECT_EQ(std::string(contour.GetLastError().GetString()), path + ": line 3: expected four fields: x y z flag");
    std::ofstream(path) << "";
    EXPECT_TRUE(contour.Create(CString(path), 5));
    EXPECT_EQ(contour.GetSize(), 0);
    EXPECT_TRUE(contour.GetLastError().IsEmpty());
    std::remove(path.c_str());
}
