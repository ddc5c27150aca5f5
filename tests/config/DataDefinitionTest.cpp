#include <KvsDataBlocks/config/DataDefinition.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

struct ItemLayout
{
    unsigned short type = 0, length = 0, format = 0, useAs = 0;
    bool operator==(const ItemLayout&) const = default;
};

ItemLayout Layout(unsigned int group, unsigned int item)
{
    const DataDefinition& def = DataDefinition::GetDataDefinition();
    ItemLayout l;
    EXPECT_TRUE(def.GetGroupItemType(group, item, l.type) && def.GetGroupItemLength(group, item, l.length) &&
                def.GetGroupItemFormat(group, item, l.format) && def.GetGroupItemUseas(group, item, l.useAs));
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

const char* const kSmallDefinition = R"({"groups": [{"id": 7, "name": "Small", "bufferLength": 25, "items": [
  {"name": "Mode", "type": "ET_INT", "format": 30, "useAs": 120, "map": {"0": "Off", "1": "On", "-2": "Broken"}},
  {"name": "Depth", "type": 103, "length": 8, "format": 44, "useAs": 201,
   "doubleText": [{"value": -9999, "text": "no data"}, {"min": 0, "max": 0.5, "text": "shallow"}]},
  {"name": "Label", "type": "ET_STRING", "length": 12}]}]})";

} // namespace

TEST_F(DataDefinitionTest, BuiltInGroupsFitTheirReadersFilesReplaceThemAndMalformedOnesAreRefused)
{
    DataDefinition& def = DataDefinition::GetDataDefinition();
    EXPECT_EQ(def.GetSource(), DataDefinition::kBuiltInSource);
    // One item of each kind the readers take (multibeam arrays for 1600 beams), and the
    // tide block's value and station id at positions 0 and 1.
    const struct { unsigned int group; unsigned short useAs, type, length; } items[] = {
        {1010, 217, 103, 8}, {1010, 506, 103, 8}, {1011, 601, 101, 4},    {1011, 607, 102, 4},
        {1011, 672, 109, 4}, {1011, 610, 110, 2}, {1011, 609, 111, 2},    {1011, 603, 606, 6400},
        {1011, 606, 609, 6400}, {1011, 608, 610, 3200}, {1020, 505, 103, 8}, {1071, 615, 606, 6400},
    };
    for (const auto& e : items) {
        const int i = FindUseAs(e.group, e.useAs);
        ASSERT_GE(i, 0) << e.group << " " << e.useAs;
        const ItemLayout l = Layout(e.group, static_cast<unsigned int>(i));
        EXPECT_EQ(std::pair(l.type, l.length), std::pair(e.type, e.length)) << e.group << " " << e.useAs;
    }
    EXPECT_EQ((std::pair<int, int>(Layout(1020, 0).type, Layout(1020, 1).type)), std::pair(103, 501)); // tide value, id
    int count = -5, buffer = 10;
    unsigned short value = 77;
    CString text("keep");
    // 4242 is no group, the tide group has 4 items, names no buffer length and no map texts.
    EXPECT_FALSE(def.GetGroupNumItems(4242, count) || def.GetGroupItemType(1020, 4, value) ||
                 def.GetGroupBufferlength(1020, buffer) || def.GetGroupItemMapTxt(1020, 0, 0, text));
    EXPECT_EQ(std::tuple(count, value, buffer, text), std::tuple(-5, 77, 10, CString("keep"))); // outputs untouched

    const DataDefinition::View view = def.GetView(); // keeps its definition across a load
    CString error;
    EXPECT_TRUE(def.LoadFile(CString(WriteFile(DataDefinition::GetDefaultDefinitionText())), error)) << error;
    EXPECT_TRUE(def.GetGroupNumItems(1071, count) && count == 15) << count;
    ASSERT_TRUE(def.LoadText("{\"groups\": []}", "empty", error));
    EXPECT_FALSE(def.GetGroupNumItems(1020, count));
    EXPECT_TRUE(view.GetGroupNumItems(1020, count) && count == 4) << count;
    unsetenv(DataDefinition::kEnvironmentVariable);
    EXPECT_FALSE(def.LoadFromEnvironment(error) || !error.IsEmpty());
    const std::string path = WriteFile(kSmallDefinition);
    setenv(DataDefinition::kEnvironmentVariable, path.c_str(), 1);
    ASSERT_TRUE(def.LoadFromEnvironment(error)) << error.GetString();
    EXPECT_EQ(def.GetSource(), CString(path));
    EXPECT_TRUE(def.GetGroupNumItems(7, count) && def.GetGroupBufferlength(7, buffer));
    EXPECT_EQ(std::pair(count, buffer), std::pair(3, 25));
    EXPECT_FALSE(def.GetGroupNumItems(1010, count)); // the built-in groups are replaced
    // The label takes the default format and use-as.
    EXPECT_EQ((std::vector{Layout(7, 0), Layout(7, 1), Layout(7, 2)}),
              (std::vector<ItemLayout>{{101, 4, 30, 120}, {103, 8, 44, 201}, {501, 12, 1, 0}}));
    const auto mapText = [&](int v) { CString t("-"); return def.GetGroupItemMapTxt(7, 0, v, t) ? t.str() : "none"; };
    const auto valueText = [&](double v) { CString t("-"); return def.GetGroupItemDoubleToStr(7, 1, v, t) ? t.str() : "none"; };
    EXPECT_EQ(mapText(-2) + mapText(5), "Brokennone");
    // ranges exclude their upper end
    EXPECT_EQ(valueText(-9999.0) + "/" + valueText(0.0) + "/" + valueText(0.5), "no data/shallow/none");

    const std::string broken = WriteFile("{\"groups\": [ {\"id\": 3} ]}");
    setenv(DataDefinition::kEnvironmentVariable, broken.c_str(), 1);
    EXPECT_FALSE(def.LoadFromEnvironment(error));
    EXPECT_NE(error.Find("groups[0] (id 3): needs an \"items\" array"), -1) << error.GetString();
    EXPECT_EQ(def.GetSource(), CString(path)); // the loaded one stays
    unsetenv(DataDefinition::kEnvironmentVariable);
    def.UseDefault();
    EXPECT_TRUE(def.GetGroupNumItems(1010, count));
    const struct { const char* json; const char* place; } malformed[] = {
        {"{\"groups\": [ {\"id\": 1, \"items\": [ ] }", "line 1"}, {"[1, 2]", "one JSON object"},
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
    for (const auto& c : malformed) {
        CString error;
        EXPECT_FALSE(def.LoadText(CString(c.json), "test.json", error)) << c.json;
        EXPECT_NE(error.Find(c.place), -1) << error.GetString();
        EXPECT_EQ(error.Find("test.json"), 0) << error.GetString();
        int count = 0; // the definition in use stays
        EXPECT_TRUE(def.GetLastError() == error && def.GetSource() == DataDefinition::kBuiltInSource &&
                    def.GetGroupNumItems(1010, count));
    }
    EXPECT_FALSE(def.LoadFile("/nonexistent/definition.json", error));
    EXPECT_NE(error.Find("/nonexistent/definition.json"), -1);
    const CString two = "{\"groups\": [ {\"id\": 9, \"items\": [ {\"type\": 101}, {\"type\": 101} ] } ]}";
    const CString three = "{\"groups\": [ {\"id\": 9, \"items\": [ {\"type\": 103}, {\"type\": 103}, {\"type\": 103} ] } ]}";
    ASSERT_TRUE(def.LoadText(two, "two", error));
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0};
    std::thread reader([&] {
        for (int count = 0; !stop;) {
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
