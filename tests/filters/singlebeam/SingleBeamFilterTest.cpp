#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include "SingleBeamBlocks.h"

#include "../FilterHelpers.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using sb_test::MakeDepth;
using sb_test::MakeSounding;

CAttributeMap Switches(bool gate, bool depth, bool spike)
{
    return filtertest::Attributes({{ATTR_SBF_GATE, gate}, {ATTR_SBF_DEPTH, depth}, {ATTR_SBF_SPIKE, spike},
                                   {ATTR_SBF_GATEVAL, 2.0}, {ATTR_SBF_DPTMIN, 5.0}, {ATTR_SBF_DPTMAX, 100.0},
                                   {ATTR_SBF_SPIKENOISE, 0.5}, {ATTR_SBF_SPIKEGAMMA, 120.0}});
}

// Feeds soundings at times first .. last (x = time, depth 20).
void Feed(SingleBeamFilter& filter, int first, int last)
{
    for (int i = first; i <= last; ++i) {
        CDataBlock block = MakeSounding(i, i, 0, 20.0);
        filter.Process(block, COMPUPDATE_FULL);
    }
}

} // namespace

TEST(SingleBeamFilter, SwitchesMakeSubFiltersRereadingKeepsTheirStateNothingIsDroppedAndCopiesOwnClones)
{
    CAttributeMap map = Switches(true, true, true);
    SingleBeamFilter filter(&map);
    Feed(filter, 0, 1);
    const SBSpikeFilter* spike = filter.GetSpikeFilter();
    const SBDepthFilter* depth = filter.GetDepthFilter();
    ASSERT_NE(spike, nullptr);
    EXPECT_EQ(spike->GetNoise(), 0.5);

    // Absent switches keep their sub-filters; an absent spike noise falls back to 0.
    CAttributeMap changed = filtertest::Attributes({{ATTR_SBF_SPIKE, true}, {ATTR_SBF_DPTMAX, 30.0}});
    filter.SetAttributes(&changed);
    EXPECT_EQ(std::tuple(filter.GetSpikeFilter(), filter.GetDepthFilter(), depth->GetMinimum(), depth->GetMaximum(),
                         spike->GetNoise()),
              std::tuple(spike, depth, 5.0, 30.0, 0.0));
    EXPECT_FALSE(filter.GetGateFilter()->IsStarted());
    CDataBlock block = MakeSounding(2, 2, 0, 25.0); // far outside the old gate
    ASSERT_TRUE(filter.Process(block, COMPUPDATE_FULL));
    EXPECT_EQ(block.GetTime(), 1.0);

    CAttributeMap spikeOff = filtertest::Attributes({{ATTR_SBF_SPIKE, false}});
    filter.SetAttributes(&spikeOff);
    EXPECT_EQ(std::tuple(filter.GetSpikeFilter(), filter.GetDepthFilter()), std::tuple(nullptr, depth));

    // A block without depth passes the whole chain unchanged, and one the window
    // invalidates passes the spike filter at once: neither is held, nor dropped.
    SingleBeamFilter chain(&map);
    CDataBlock noDepth;
    noDepth.SetTime(3.0);
    EXPECT_TRUE(chain.Process(noDepth, COMPUPDATE_FULL));
    EXPECT_EQ(std::tuple(noDepth.GetTime(), chain.GetSpikeFilter()->GetFillCount()), std::tuple(3.0, -1));
    CDataBlock tooDeep = MakeSounding(1, 1, 0, 150.0);
    EXPECT_TRUE(chain.Process(tooDeep, COMPUPDATE_FULL));
    EXPECT_TRUE(sb_test::IsInvalidated(tooDeep));
    EXPECT_EQ(std::tuple(chain.GetSpikeFilter()->GetFillCount(), chain.GetUntestedCount()), std::tuple(-1, 2LL));

    // Without the spike filter the invalidated block is passed on, and nothing is held.
    CAttributeMap noSpike = Switches(true, true, false);
    SingleBeamFilter plain(&noSpike);
    CDataBlock deep = MakeDepth(150.0, 7.0);
    EXPECT_TRUE(plain.Process(deep, COMPUPDATE_FULL));
    EXPECT_TRUE(sb_test::IsInvalidated(deep));
    EXPECT_FALSE(plain.GetRemainder(deep));
    EXPECT_EQ(deep.GetTime(), 7.0);

    SingleBeamFilter bare(nullptr); // no map: nothing filters
    CDataBlock far = MakeDepth(1000.0);
    EXPECT_TRUE(bare.Process(far, COMPUPDATE_FULL));
    EXPECT_TRUE(sb_test::IsUntouched(far));

    // Copies own clones of the sub-filters.
    CAttributeMap gateSpike = Switches(true, false, true);
    SingleBeamFilter original(&gateSpike);
    Feed(original, 0, 1);
    SingleBeamFilter copy(original);
    ASSERT_NE(copy.GetSpikeFilter(), nullptr);
    EXPECT_NE(copy.GetSpikeFilter(), original.GetSpikeFilter());
    EXPECT_NE(copy.GetGateFilter(), original.GetGateFilter());
    EXPECT_EQ(copy.GetDepthFilter(), nullptr);

    CDataBlock next = MakeSounding(2, 2, 0, 20.0);
    ASSERT_TRUE(copy.Process(next, COMPUPDATE_FULL));
    EXPECT_EQ(next.GetTime(), 1.0); // the held history came along
    CAttributeMap depthOnly = Switches(false, true, false);
    SingleBeamFilter assigned(&depthOnly);
    assigned = copy;
    EXPECT_EQ(assigned.GetDepthFilter(), nullptr);
    ASSERT_NE(assigned.GetSpikeFilter(), nullptr);
    EXPECT_NE(assigned.GetSpikeFilter(), copy.GetSpikeFilter());
    // Each drains its own history.
    for (SingleBeamFilter* f : {&original, &copy, &assigned}) {
        CDataBlock out;
        ASSERT_TRUE(f->GetRemainder(out));
        EXPECT_EQ(out.GetTime(), f == &original ? 1.0 : 2.0);
        EXPECT_FALSE(f->GetRemainder(out));
    }
}

