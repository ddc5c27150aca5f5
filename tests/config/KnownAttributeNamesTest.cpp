// The list of known setting names must be exactly what the filters and data sources ask
// their attribute maps for, so that a settings file can be checked against it.
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/config/KnownAttributeNames.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include "../filters/multibeam/PingBlock.h"
#include "../filters/singlebeam/SingleBeamBlocks.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Every name asked for while each filter is made and runs a block, and while the tide
// data source takes an edit, with the type each is asked for as. Settings that switch
// others on (SbfDepth before SbfDepthMin) are given a value in the next round, until no
// new name is asked for.
std::map<std::string, CAttributeMap::Kind> NamesAskedFor()
{
    std::map<std::string, CAttributeMap::Kind> asked;
    CAttributeMap map;
    map.SetLookupObserver([&asked](const CString& name, CAttributeMap::Kind kind) { asked.emplace(name.str(), kind); });
    for (size_t before = SIZE_MAX; before != asked.size();) {
        before = asked.size();
        for (const auto& [name, kind] : asked) {
            switch (kind) {
            case CAttributeMap::Kind::Bool: map.SetAttribValue(name.c_str(), true); break;
            case CAttributeMap::Kind::Int: map.SetAttribValue(name.c_str(), 1); break;
            case CAttributeMap::Kind::Double: map.SetAttribValue(name.c_str(), 1.0); break;
            case CAttributeMap::Kind::Text: map.SetAttribValue(name.c_str(), "1"); break;
            case CAttributeMap::Kind::DataInfo: map.SetAttribValue(name.c_str(), CDataInfo()); break;
            case CAttributeMap::Kind::Double3: map.SetAttribValue(name.c_str(), 1.0, 1.0, 1.0); break;
            }
        }
        CDataBlock pipe;
        pipe.SetDataId(CDataId(1, 1071, 1, 1));
        for (CDataBlock block : {pingtest::MakePingBlock(16), sb_test::MakeSounding(1.0, 0.0, 0.0, 20.0), pipe}) {
            std::unique_ptr<Filter> filter(Filter::CreateFilter(block, &map));
            EXPECT_NE(filter, nullptr) << block.GetDataId().GetGroupId();
            if (!filter) continue;
            filter->Process(block, COMPUPDATE_FULL);
            while (filter->GetRemainder(block)) continue;
        }
        TideStationDataSource tide;
        CDataBlock edit;
        tide.CopyDataBlock(edit);
        tide.UpdateDataBlock(edit, map);
    }
    return asked;
}

} // namespace

TEST(KnownAttributeNames, AreTheNamesReadAndAMisspeltOneIsReportedWithTheClosest)
{
    const std::map<std::string, CAttributeMap::Kind> asked = NamesAskedFor();
    std::map<std::string, CAttributeMap::Kind> known;
    for (const KnownSetting& s : KnownSettings()) EXPECT_TRUE(known.emplace(s.name, s.kind).second) << s.name << " listed twice";
    for (const auto& [name, kind] : asked) {
        const auto k = known.find(name);
        EXPECT_TRUE(k != known.end()) << name << " is read but not known";
        EXPECT_TRUE(k == known.end() || k->second == kind) << name << " is known as another type than it is read as";
    }
    for (const auto& entry : known) EXPECT_TRUE(asked.count(entry.first)) << entry.first << " is known but never read";
    EXPECT_TRUE(std::equal(KnownAttributeNames().begin(), KnownAttributeNames().end(), KnownSettings().begin(),
                           KnownSettings().end(), [](const char* n, const KnownSetting& s) { return n == s.name; }));
    // Names are case-sensitive; "Colour" is near no name.
    EXPECT_EQ((std::vector{ClosestAttributeName("SlopFilter"), ClosestAttributeName("slopefilter"),
                           ClosestAttributeName("sbfdepthmax"), ClosestAttributeName("Colour")}),
              (std::vector<std::string>{"SlopeFilter", "SlopeFilter", "SbfDepthMax", ""}));
    CAttributeMap map;
    CString error;
    ASSERT_TRUE(map.LoadString("# settings\nSlopFilter = bool:true\nSlopeFilter = bool:true\nColour = string:red\n", error));
    map.SetAttribValue("InCode", 1);
    EXPECT_EQ(CheckAttributeNames(map), (std::vector<CString>{"unknown setting 'InCode'",
                                                              "line 2: unknown setting 'SlopFilter' (did you mean 'SlopeFilter'?)",
                                                              "line 4: unknown setting 'Colour'"}));
}
