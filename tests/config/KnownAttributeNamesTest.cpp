// The list of known setting names must be exactly what the filters and data sources ask
// their attribute maps for, so that a settings file can be checked against it.
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/config/KnownAttributeNames.h>
#include <KvsDataBlocks/tide/TideStationDataSource.h>

#include "../filters/multibeam/PingBlock.h"
#include "../filters/singlebeam/SingleBeamBlocks.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

// Every name asked for while each filter is made and runs a block, and while the tide
// data source takes an edit. Settings that switch others on (SbfDepth before
// SbfDepthMin) are given a value in the next round, until no new name is asked for.
std::set<std::string> NamesAskedFor()
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
            while (filter->GetRemainder(block)) {
            }
        }
        TideStationDataSource tide;
        CDataBlock edit;
        tide.CopyDataBlock(edit);
        tide.UpdateDataBlock(edit, map);
    }
    std::set<std::string> names;
    for (const auto& entry : asked) names.insert(entry.first);
    return names;
}

} // namespace

TEST(KnownAttributeNames, AreExactlyTheNamesTheFiltersAndDataSourcesRead)
{
    const std::set<std::string> asked = NamesAskedFor();
    std::set<std::string> known;
    for (const char* name : KnownAttributeNames()) EXPECT_TRUE(known.insert(name).second) << name << " listed twice";
    for (const std::string& name : asked) EXPECT_TRUE(known.count(name)) << name << " is read but not known";
    for (const std::string& name : known) EXPECT_TRUE(asked.count(name)) << name << " is known but never read";
}

TEST(KnownAttributeNames, AMisspeltNameIsReportedWithItsLineAndTheClosestName)
{
    EXPECT_EQ(ClosestAttributeName("SlopFilter"), "SlopeFilter");
    EXPECT_EQ(ClosestAttributeName("slopefilter"), "SlopeFilter"); // names are case-sensitive
    EXPECT_EQ(ClosestAttributeName("sbfdepthmax"), "SbfDepthMax");
    EXPECT_EQ(ClosestAttributeName("Colour"), ""); // nothing near
    CAttributeMap map;
    CString error;
    ASSERT_TRUE(map.LoadString("# settings\nSlopFilter = bool:true\nSlopeFilter = bool:true\nColour = string:red\n", error));
    map.SetAttribValue("InCode", 1);
    const std::vector<CString> warnings = CheckAttributeNames(map);
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0], "unknown setting 'InCode'");
    EXPECT_EQ(warnings[1], "line 2: unknown setting 'SlopFilter' (did you mean 'SlopeFilter'?)");
    EXPECT_EQ(warnings[2], "line 4: unknown setting 'Colour'");
}
