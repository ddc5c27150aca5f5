// Line coordinates of the line and plan pictures (distances along the line's own
// direction), their axes and the grid the beams are gathered in.
#include "BeamGrid.h"
#include "PlanSvg.h"
#include "SvgPicture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

using kvs::tool::LinePlaces;

TEST(LinePlaces, FollowTheLineWhicheverWayItRuns)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct { const char* name; std::vector<double> east, north, along, across; } cases[] = {
        {"east", {500, 510, 530}, {100, 100, 100}, {0, 10, 30}, {0, 0, 0}},
        {"south-west", {0, -3, -6}, {0, -4, -8}, {0, 5, 10}, {0, 0, 0}},
        // A ping beside the line: starboard of a line running north lies to the east.
        {"north, one ping off the line", {0, 2, 0}, {0, 5, 10}, {0, 5, 10}, {0, 2, 0}},
        {"a position missing", {0, nan, 20}, {0, 0, 0}, {0, 1, 2}, {0, 0, 0}},
        {"shorter than a metre", {0, 0.5}, {0, 0.2}, {0, 0.2}, {0, 0.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto places = LinePlaces(c.east, c.north);
        ASSERT_EQ(places.size(), c.along.size());
        for (size_t i = 0; i < places.size(); ++i)
            EXPECT_TRUE(std::abs(places[i].along - c.along[i]) < 1e-9 && std::abs(places[i].across - c.across[i]) < 1e-9)
                << i << ": " << places[i].along << ", " << places[i].across;
    }
}

TEST(PictureAxes, TicksAreRoundAndRangesFitTheBulk)
{
    using kvs::tool::NiceTicks;
    using kvs::tool::TickText;
    const struct { double lo, hi; std::vector<double> ticks; std::vector<const char*> texts; } cases[] = {
        {27.8, 32.6, {28, 29, 30, 31, 32}, {"28", "29", "30", "31", "32"}},
        {-55.7, -13.7, {-50, -40, -30, -20}, {"-50", "-40", "-30", "-20"}},
        {0.02, 0.13, {0.02, 0.04, 0.06, 0.08, 0.10, 0.12}, {"0.02", "0.04", "0.06", "0.08", "0.10", "0.12"}},
        {1452.0, 1721.0, {1500, 1550, 1600, 1650, 1700}, {"1500", "1550", "1600", "1650", "1700"}},
    };
    for (const auto& c : cases) {
        double step = 0;
        const std::vector<double> ticks = NiceTicks(c.lo, c.hi, 6, step);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.lo;
        for (size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9);
            EXPECT_EQ(TickText(ticks[i], step), c.texts[i]);
        }
    }
    // One wild value among a thousand does not stretch the range (the 0175 beam at 1796 m).
    std::vector<double> depths(1000, 1500.0);
    for (size_t i = 0; i < depths.size(); ++i) depths[i] += static_cast<double>(i % 200);
    depths[10] = -83.0;
    depths[20] = 1796.0 + 5000;
    const kvs::tool::AxisRange r = kvs::tool::RobustRange(depths, 0.005, 0.05);
    EXPECT_GT(r.lo, 1480.0);
    EXPECT_LT(r.hi, 1720.0);
    // Shares in the legends never round to 0 or 100 % unless they are.
    using kvs::tool::Share;
    EXPECT_EQ(Share(1599, 1600), "99.9 %");
    EXPECT_EQ(Share(9999, 10000), ">99.9 %");
    EXPECT_EQ(Share(1, 100000), "<0.01 %");
    EXPECT_EQ(Share(24, 10000), "0.24 %");
    EXPECT_EQ(Share(5, 5), "100 %");
    EXPECT_EQ(Share(0, 5), "0 %");
    EXPECT_EQ(kvs::tool::Count(31923059), "31 923 059");
    std::vector<double> none;
    EXPECT_EQ(kvs::tool::RobustRange(none).hi, 1.0);
}

TEST(BeamGrid, CountsAcceptedRejectedByFirstFilterAndBeyondTheAxes)
{
    using kvs::tool::BeamGrid;
    BeamGrid grid({0, 10}, {0, 10}, 100, 100, 2, 2);
    const unsigned int slope = Multibeam::kBeamFlagBits[5].bit, statistics = Multibeam::kBeamFlagBits[7].bit;
    grid.Add(1, 1, 1, 0x01);                      // accepted (the sonar's good bit rejects nothing)
    grid.Add(2, 2, 2, slope | statistics);        // slope, the first of the two
    grid.Add(3, 30, 30, statistics);              // below the axis: counted and marked at the edge
    grid.Add(std::nan(""), 1, 1, 0);              // not placed at all
    EXPECT_EQ(grid.Accepted(), 1u);
    EXPECT_EQ(grid.Rejected(5), 1u);
    EXPECT_EQ(grid.Rejected(7), 1u);
    EXPECT_EQ(grid.Beyond(), 1u);
    EXPECT_EQ(grid.Beams(), 3u);
    std::ostringstream s;
    grid.WriteMarks(s, 0, 0);
    grid.WriteEdges(s, 0, 0);
    EXPECT_NE(s.str().find(kvs::tool::kFilterColours[5]), std::string::npos);
    EXPECT_NE(s.str().find(kvs::tool::kFilterColours[7]), std::string::npos); // the edge mark
}
