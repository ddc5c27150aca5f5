#include <KvsDataBlocks/config/DataDefinition.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

struct ItemLayout
{
    unsigned short type = 0, length = 0, format = 0, useAs = 0;
};

ItemLayout Layout(unsigned int group, unsigned int item)
{
    const DataDefinition& def = DataDefinition::GetDataDefinition();
    ItemLayout l;
    EXPECT_TRUE(def.GetGroupItemType(group, item, l.type));
    EXPECT_TRUE(def.GetGroupItemLength(group, item, l.length));
    EXPECT_TRUE(def.GetGroupItemFormat(group, item, l.format));
    EXPECT_TRUE(def.GetGroupItemUseas(group, item, l.useAs));
    return l;
}

// Position of the first item of group with the use-as code, -1 when none.
int FindUseAs(unsigned int group, unsigned short useAs)
{
    int count = 0;
    if (!DataDefinition::GetDataDefinition().GetGroupNumItems(group, count)) return -1;
    for (int i = 0; i < count; ++i)
        if (Layout(group, static_cast<unsigned int>(i)).useAs == useAs) return i;
    return -1;
}

class DataDefinitionTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        DataDefinition::GetDataDefinition().UseDefault();
        for (const auto& p : m_files) std::filesystem::remove(p);
    }

    std::string WriteFile(const std::string& text)
    {
        const auto path = std::filesystem::temp_directory_path() /
                          ("kvs_definition_" + std::to_string(getpid()) + "_" + std::to_string(m_files.size()) + ".json");
        std::ofstream(path) << text;
        m_files.push_back(path);
        return path.string();
    }

    std::vector<std::filesystem::path> m_files;
};

const char* const kSmallDefinition = R"({
  "groups": [
    { "id": 7, "name": "Small", "bufferLength": 25,
      "items": [
        { "name": "Mode", "type": "ET_INT", "format": 30, "useAs": 120,
          "map": { "0": "Off", "1": "On", "-2": "Broken" } },
        { "name": "Depth", "type": 103, "length": 8, "format": 44, "useAs": 201,
          "doubleText": [ { "value": -9999, "text": "no data" },
                          { "min": 0, "max": 0.5, "text": "shallow" } ] },
        { "name": "Label", "type": "ET_STRING", "length": 12 } ] } ] })";

} // namespace

TEST_F(DataDefinitionTest, BuiltInSingleBeamGroupHasSeventeenDepthsAndAPosition)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    EXPECT_EQ(def.GetSource(), DataDefinition::kBuiltInSource);
    for (unsigned short useAs = 201; useAs <= 217; ++useAs) {
        const int i = FindUseAs(1010, useAs);
        ASSERT_GE(i, 0) << useAs;
        EXPECT_EQ(Layout(1010, static_cast<unsigned int>(i)).type, 103);
        EXPECT_EQ(Layout(1010, static_cast<unsigned int>(i)).length, 8);
    }
    EXPECT_GE(FindUseAs(1010, 505), 0);
    EXPECT_GE(FindUseAs(1010, 506), 0);
}

TEST_F(DataDefinitionTest, BuiltInMultibeamGroupCarriesEveryPingMemberFor1600Beams)
{
    // use-as code, type, minimum number of items
    const struct { unsigned short useAs, type, items; } expected[] = {
        {601, 101, 1}, {602, 101, 1}, {612, 101, 1}, {101, 103, 1}, {214, 103, 1}, {213, 103, 1},
        {212, 103, 1}, {104, 103, 1}, {102, 103, 1}, {103, 103, 1}, {401, 103, 1}, {505, 103, 1},
        {506, 103, 1}, {507, 103, 1}, {603, 606, 1600}, {604, 606, 1600}, {605, 606, 1600},
        {606, 609, 1600}, {607, 102, 1}, {608, 610, 1600}, {609, 111, 1}, {611, 111, 1}, {610, 110, 1},
        {617, 101, 1}, {621, 606, 1600}, {622, 606, 1600}, {623, 606, 1600}, {618, 606, 1600},
        {619, 101, 1}, {672, 109, 1}, {620, 109, 1}, {624, 101, 1}, {522, 103, 1}, {684, 103, 1},
        {685, 103, 1}, {616, 103, 1}, {676, 606, 1600}, {677, 606, 1600}, {678, 606, 1600},
        {679, 606, 1600}, {649, 101, 1}, {625, 109, 1}, {626, 109, 1}, {627, 109, 1}};
    constexpr unsigned short kItemSize[] = {0, 4, 4, 8, 1, 1, 1, 4, 4, 4, 2, 2, 8};
    for (const auto& e : expected) {
        const int i = FindUseAs(1011, e.useAs);
        ASSERT_GE(i, 0) << e.useAs;
        const ItemLayout l = Layout(1011, static_cast<unsigned int>(i));
        EXPECT_EQ(l.type, e.type) << e.useAs;
        const unsigned short size = e.type >= 600 ? (e.type == 610 ? 2 : 4) : kItemSize[e.type - 100];
        EXPECT_EQ(l.length, e.items * size) << e.useAs;
    }
}

TEST_F(DataDefinitionTest, BuiltInTideAndPipeDetectionGroupsFitTheirReaders)
{
    EXPECT_EQ(Layout(1020, 0).type, 103);
    EXPECT_EQ(Layout(1020, 1).type, 501);
    EXPECT_EQ(Layout(1020, static_cast<unsigned int>(FindUseAs(1020, 505))).type, 103);
    EXPECT_EQ(Layout(1020, static_cast<unsigned int>(FindUseAs(1020, 506))).type, 103);

    // Element id = position: ids 1 to 13 as the pipe-detection filter reads them.
    const unsigned short pipeTypes[] = {101, 606, 606, 606, 606, 609, 103, 103, 103, 0, 103, 103, 610};
    for (unsigned int id = 1; id <= 13; ++id) {
        if (pipeTypes[id - 1]) {
            EXPECT_EQ(Layout(1071, id).type, pipeTypes[id - 1]) << id;
        }
    }
    const int lookup = FindUseAs(1071, 615);
    ASSERT_GE(lookup, 0);
    EXPECT_EQ(Layout(1071, static_cast<unsigned int>(lookup)).type, 606);
}

TEST_F(DataDefinitionTest, UnknownGroupsAndItemsLeaveOutputsUntouched)
{
    const DataDefinition& def = DataDefinition::GetDataDefinition();
    int count = -5;
    unsigned short value = 77;
    EXPECT_FALSE(def.GetGroupNumItems(4242, count));
    EXPECT_EQ(count, -5);
    EXPECT_FALSE(def.GetGroupItemType(1020, 99, value));
    EXPECT_EQ(value, 77);
    int buffer = 10;
    EXPECT_FALSE(def.GetGroupBufferlength(1020, buffer)); // the tide group names none
    EXPECT_EQ(buffer, 10);
    CString text("keep");
    EXPECT_FALSE(def.GetGroupItemMapTxt(1020, 0, 0, text));
    EXPECT_EQ(text, "keep");
}

TEST_F(DataDefinitionTest, FileDefinesMapsValueTextsAndBufferLength)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    const std::string path = WriteFile(kSmallDefinition);
    CString error;
    ASSERT_TRUE(def.LoadFile(CString(path), error)) << error.GetString();
    EXPECT_EQ(def.GetSource(), CString(path));
    int count = 0, buffer = 0;
    EXPECT_TRUE(def.GetGroupNumItems(7, count));
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(def.GetGroupBufferlength(7, buffer));
    EXPECT_EQ(buffer, 25);
    EXPECT_FALSE(def.GetGroupNumItems(1010, count)); // the built-in groups are replaced

    const ItemLayout mode = Layout(7, 0), depth = Layout(7, 1), label = Layout(7, 2);
    EXPECT_EQ(mode.length, 4);
    EXPECT_EQ(mode.useAs, 120);
    EXPECT_EQ(depth.format, 44);
    EXPECT_EQ(label.format, 1); // default format
    EXPECT_EQ(label.useAs, 0);

    CString text;
    EXPECT_TRUE(def.GetGroupItemMapTxt(7, 0, -2, text));
    EXPECT_EQ(text, "Broken");
    EXPECT_FALSE(def.GetGroupItemMapTxt(7, 0, 5, text));
    EXPECT_TRUE(def.GetGroupItemDoubleToStr(7, 1, -9999.0, text));
    EXPECT_EQ(text, "no data");
    EXPECT_TRUE(def.GetGroupItemDoubleToStr(7, 1, 0.0, text));
    EXPECT_EQ(text, "shallow");
    EXPECT_FALSE(def.GetGroupItemDoubleToStr(7, 1, 0.5, text)); // ranges exclude their upper end

    def.UseDefault();
    EXPECT_TRUE(def.GetGroupNumItems(1010, count));
}

TEST_F(DataDefinitionTest, MalformedDefinitionsAreRefusedNamingThePlace)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    const struct { const char* json; const char* place; } cases[] = {
        {"{\"groups\": [ {\"id\": 1, \"items\": [ ] }", "line 1"},
        {"[1, 2]", "one JSON object"},
        {"{\"group\": []}", "unknown key \"group\""},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 999} ] } ]}", "groups[0] (id 1).items[0].type: 999"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": \"ET_DUBLE\"} ] } ]}", "\"ET_DUBLE\""},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 103, \"length\": 4} ] } ]}", "items[0].length: ET_DOUBLE needs length 8"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 606, \"length\": 10} ] } ]}", "not a multiple"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 607} ] } ]}", "needs \"length\""},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 101, \"useAs\": 70000} ] } ]}", "useAs: 70000 is above 65535"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 101, \"format\": 2.5} ] } ]}", "whole number"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 101, \"map\": {\"x\": \"a\"}} ] } ]}", "key \"x\""},
        {"{\"groups\": [ {\"id\": 1, \"items\": [ {\"type\": 103, \"doubleText\": [ {\"min\": 2, \"max\": 1, \"text\": \"t\"} ]} ] } ]}", "doubleText[0]"},
        {"{\"groups\": [ {\"id\": 1, \"items\": [] }, {\"id\": 1, \"items\": [] } ]}", "groups[1] (id 1): group id 1 is defined twice"},
        {"{\"groups\": [ {\"id\": 1, \"bufferLength\": 0, \"items\": [] } ]}", "bufferLength"},
    };
    for (const auto& c : cases) {
        CString error;
        EXPECT_FALSE(def.LoadText(CString(c.json), "test.json", error)) << c.json;
        EXPECT_NE(error.Find(c.place), -1) << error.GetString();
        EXPECT_EQ(error.Find("test.json"), 0) << error.GetString();
        EXPECT_EQ(def.GetLastError(), error);
        EXPECT_EQ(def.GetSource(), DataDefinition::kBuiltInSource);
        int count = 0;
        EXPECT_TRUE(def.GetGroupNumItems(1010, count)); // the definition in use stays
    }
    CString error;
    EXPECT_FALSE(def.LoadFile("/nonexistent/definition.json", error));
    EXPECT_NE(error.Find("/nonexistent/definition.json"), -1);
}

TEST_F(DataDefinitionTest, ReadersSeeWholeDefinitionsWhileAnotherThreadReplacesThem)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    const CString two = "{\"groups\": [ {\"id\": 9, \"items\": [ {\"type\": 101}, {\"type\": 101} ] } ]}";
    const CString three = "{\"groups\": [ {\"id\": 9, \"items\": [ {\"type\": 103}, {\"type\": 103}, {\"type\": 103} ] } ]}";
    CString error;
    ASSERT_TRUE(def.LoadText(two, "two", error));
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0};
    std::thread reader([&] {
        while (!stop) {
            int count = 0;
            unsigned short type = 0;
            if (!def.GetGroupNumItems(9, count) || (count != 2 && count != 3)) ++mixed;
            if (def.GetGroupItemType(9, 0, type) && type != 101 && type != 103) ++mixed;
        }
    });
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(def.LoadText(i % 2 ? two : three, "swap", error));
    stop = true;
    reader.join();
    EXPECT_EQ(mixed, 0);
}

TEST_F(DataDefinitionTest, BuiltInTextIsAValidDefinitionFile)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    const std::string path = WriteFile(DataDefinition::GetDefaultDefinitionText());
    CString error;
    EXPECT_TRUE(def.LoadFile(CString(path), error)) << error.GetString();
    int count = 0;
    EXPECT_TRUE(def.GetGroupNumItems(1071, count));
    EXPECT_EQ(count, 15);
}

TEST_F(DataDefinitionTest, AViewKeepsItsDefinitionAcrossALoad)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    const DataDefinition::View view = def.GetView();
    CString error;
    ASSERT_TRUE(def.LoadText("{\"groups\": []}", "empty", error));
    int count = 0;
    EXPECT_FALSE(def.GetGroupNumItems(1020, count));
    EXPECT_TRUE(view.GetGroupNumItems(1020, count));
    EXPECT_EQ(count, 4);
}

TEST_F(DataDefinitionTest, EnvironmentVariableNamesTheFile)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    CString error;
    unsetenv(DataDefinition::kEnvironmentVariable);
    EXPECT_FALSE(def.LoadFromEnvironment(error));
    EXPECT_TRUE(error.IsEmpty());

    const std::string path = WriteFile(kSmallDefinition);
    setenv(DataDefinition::kEnvironmentVariable, path.c_str(), 1);
    EXPECT_TRUE(def.LoadFromEnvironment(error)) << error.GetString();
    EXPECT_EQ(def.GetSource(), CString(path));

    const std::string broken = WriteFile("{\"groups\": [ {\"id\": 3} ]}");
    setenv(DataDefinition::kEnvironmentVariable, broken.c_str(), 1);
    EXPECT_FALSE(def.LoadFromEnvironment(error));
    EXPECT_NE(error.Find("groups[0] (id 3): needs an \"items\" array"), -1) << error.GetString();
    EXPECT_EQ(def.GetSource(), CString(path)); // the loaded one stays
    unsetenv(DataDefinition::kEnvironmentVariable);
}
