// The smart filter's variants (SmartSlopedNadir, SmartSkipEmptyBins, SmartToleranceUnit),
// each on the case that tells it from the plain filter.
#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

#include <KvsDataBlocks/config/AttributeNames.h>

#include "PingBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace pingtest;
using Omit = std::vector<unsigned short>;

TEST(SmartProfile, VariantsOnTheCasesThatTellThemFromThePlainFilter)
{
    const char* const kSkip = ATTR_SMARTSKIPEMPTYBINS;
    const char* const kSloped = ATTR_SMARTSLOPEDNADIR;
    const std::vector<std::pair<int, float>> kSpikes = {{102, -0.3f}, {180, -0.5f}}; // 6 and 2.4 x their error
    struct Case
    {
        const char* name;
        filtertest::AttributeList settings;
        std::vector<int> want; // x of the beams flagged
        double slope = 0.0;
        std::vector<std::pair<int, float>> dz = {};
        bool errors = false;   // estimated errors 0.05 m at nadir to 0.25 m at the edges
        bool omitErrors = false;
        float lastX = 100.0f;
    };
    const Case cases[] = {
        // 3 % across: the flat nadir level (the mean of the bins at x -16 and 12) is wrong by
        // up to 0.3 m inside the zone (x -8 .. 11), far beyond 0.07 m, and so for the beams
        // that interpolate towards it; the straight line is right everywhere.
        {"flat nadir on a sloping seabed", {{kSkip, true}},
         {-8, -7, -6, -5, -4, -3, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 0.03},
        {"sloped nadir on a sloping seabed", {{kSkip, true}, {kSloped, true}}, {}, 0.03},
        // Plain: the empty port margin bin counts as depth 0, failing the two outermost
        // beams; left out, a flat seabed passes whole.
        {"empty margin bin counts as 0", {}, {-100, -99}},
        {"empty margin bin left out", {{kSkip, true}}, {}},
        // Beams 40 .. 43 rejected leave the bin of x 40 .. 44 empty: its neighbours
        // interpolate towards 0, or across it when it is left out.
        {"empty bin inside the swath", {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "141-144"}},
         {-100, -99, 39, 44, 45}},
        {"empty bin inside the swath left out",
         {{kSkip, true}, {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "141-144"}}, {}},
        // An empty bin beside the nadir zone stops the plain filter; left out, the zone
        // takes its level from the next bin out, and a spike inside it is found.
        {"empty bin beside the nadir zone", {{ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "85-88"}}, {},
         0.0, {{100, -1.0f}}},
        {"empty bin beside the nadir zone left out",
         {{kSkip, true}, {ATTR_BEAMREJECTFILTER, true}, {ATTR_FILTERREJECTBEAMS, "85-88"}}, {0}, 0.0, {{100, -1.0f}}},
        // In metres the nadir spike is missed, the outer beam fails within its noise; 1 % of
        // 20 m is 0.2 m everywhere; 4 x the beam's own error keeps the outer beam.
        {"tolerance in metres", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 0},
         {"VertTolRelData", 0.4}, {"VertTolUnrelData", 0.4}}, {80}, 0.0, kSpikes, true},
        {"tolerance of the depth", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 1},
         {"VertTolRelData", 0.01}, {"VertTolUnrelData", 0.01}}, {2, 80}, 0.0, kSpikes, true},
        {"tolerance of the beam's error", {{kSkip, true}, {kSloped, true}, {ATTR_SMARTTOLERANCEUNIT, 2},
         {"VertTolRelData", 4.0}, {"VertTolUnrelData", 4.0}}, {2}, 0.0, kSpikes, true},
        {"errors the ping does not carry: nothing tested", {{ATTR_SMARTTOLERANCEUNIT, 2}}, {}, 0.0, kSpikes, false,
         true},
        // Billions of bins across the swath would need memory beyond reason: the profile is
        // skipped, the width test still fails the beam beyond the half-width of 100 m.
        {"absurd bin count", {{"NumberAveragingClips", 2147483647}}, {100}, 0.0, {}, false, false, 150.0f},
        {"absurd bin count, empty bins left out", {{kSkip, true}, {"NumberAveragingClips", 2147483647}}, {100}, 0.0,
         {}, false, false, 150.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Floats x = Changed(Ramp(201, -100.0f), {{200, c.lastX}}), z(201), err(201);
        for (int i = 0; i < 201; ++i) {
            z[i] = static_cast<float>(-20.0 + c.slope * (i - 100));
            err[i] = static_cast<float>(0.05 + 0.2 * std::fabs(i - 100) / 100.0);
        }
        for (const auto& [i, d] : c.dz) z[i] += d;
        CDataBlock b = Block(x, z, {}, 0.0, c.omitErrors ? std::vector<unsigned short>{676} : Omit());
        if (c.errors) SetFloats(b, 676, err);
        filtertest::AttributeList settings = c.settings;
        settings.push_back({"SmartFilter", true});
        std::vector<int> flagged = With(Filtered(settings, b), MultibeamFilter::kFlagSmart);
        for (int& i : flagged) i -= 100;
        EXPECT_EQ(flagged, c.want);
    }
}
