// Line coordinates of the line and plan pictures: distances along the line's own direction.
#include "PlanSvg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
