#include <KvsDataBlocks/config/CAttributeMap.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

// Reads name as every type, from outputs preset to b0 i42 d-1 "keep" 1,2,3,4,5 and 7,8,9
// with status 99: "<found><value>/<status>" for each.
std::string ReadAll(const CAttributeMap& map, const char* name)
{
    std::ostringstream out;
    unsigned int st = 99;
    bool b = false;
    int i = 42;
    double d = -1, x = 7, y = 8, z = 9;
    CString s("keep");
    CDataInfo c(CDataId(1, 2, 3, 4), 5);
    out << "b" << map.GetAttribValue(name, b, st) << b << "/" << st, st = 99;
    out << " i" << map.GetAttribValue(name, i, st) << i << "/" << st, st = 99;
    out << " d" << map.GetAttribValue(name, d, st) << d << "/" << st, st = 99;
    out << " s" << map.GetAttribValue(name, s, st) << s.GetString() << "/" << st, st = 99;
    const bool found = map.GetAttribValue(name, c, st);
    const CDataId& id = c.GetDataId();
    out << " c" << found << id.GetDataType() << "," << id.GetGroupId() << "," << id.GetDeviceNum() << ","
        << id.GetVesselId() << "," << c.GetElemId() << "/" << st, st = 99;
    out << " v" << map.GetAttribValue(name, x, y, z, st) << x << "," << y << "," << z << "/" << st;
    return out.str();
}

const struct { const char *name, *read; /* with status 0 */ } kEveryType[] = {
    {"Flag", "b11/0 i042/99 d0-1/99 s0keep/99 c01,2,3,4,5/99 v07,8,9/99"},
    {"Count", "b00/99 i1-2/0 d1-2/0 s0keep/99 c01,2,3,4,5/99 v07,8,9/99"}, // an int reads as a double
    {"Depth", "b00/99 i042/99 d1150/0 s0keep/99 c01,2,3,4,5/99 v07,8,9/99"},
    {"Beams", "b00/99 i042/99 d0-1/99 s13, 7-9/0 c01,2,3,4,5/99 v07,8,9/99"},
    {"Comp", "b00/99 i042/99 d0-1/99 s0keep/99 c11,1072,2,3,65535/0 v07,8,9/99"},
    {"Offset", "b00/99 i042/99 d0-1/99 s0keep/99 c01,2,3,4,5/99 v11,-2.5,30/0"},
    {"Missing", "b00/99 i042/99 d0-1/99 s0keep/99 c01,2,3,4,5/99 v07,8,9/99"},
    {"flag", "b00/99 i042/99 d0-1/99 s0keep/99 c01,2,3,4,5/99 v07,8,9/99"}, // names are case-sensitive
};

} // namespace

TEST(CAttributeMap, ReadsBackEveryTypeAsItsTypeAndRefusesMalformedTextAndFiles)
{
    CAttributeMap set;
    set.SetAttribValue("Flag", true, 7);
    set.SetAttribValue("Count", -2, 7);
    set.SetAttribValue("Depth", 150.0, 7);
    set.SetAttribValue("Beams", "3, 7-9", 7);
    set.SetAttribValue("Comp", CDataInfo(CDataId(1, 1072, 2, 3), 65535), 7);
    set.SetAttribValue("Offset", 1.0, -2.5, 30.0, 7);

    CAttributeMap loaded;
    CString error;
    ASSERT_TRUE(loaded.LoadString("\xEF\xBB\xBF# multibeam settings\r\n  Flag = bool : YES\n\n; comment\n"
                                  "Count=int:-2\nDepth = double: 1.5e2\nBeams = string:  3, 7-9  \n"
                                  "MaskShape = string: \"  a \\\"b\\\" \\x41\"\n"
                                  "Comp = datainfo: 1, 1072, 2, 3, 65535\nOffset = double3: 1, -2.5, 3e1\n",
                                  error))
        << error;
    EXPECT_EQ(loaded.GetCount(), 7);
    for (const auto& c : kEveryType) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadAll(loaded, c.name), c.read);
        std::string withStatus = c.read;
        for (size_t at = 0; (at = withStatus.find("/0", at)) != std::string::npos;) withStatus.replace(at, 2, "/7");
        EXPECT_EQ(ReadAll(set, c.name), withStatus);
    }
    CString s;
    unsigned int st = 0;
    EXPECT_TRUE(loaded.GetAttribValue("MaskShape", s, st) && s == "  a \"b\" A") << s.GetString();
    const struct { const char *text, *error; } cases[] = {
        {"A = int:1\nB int:2\n", "line 2: expected 'name = type:value'"},
        {"A = int:1\n\nB = float:2\n", "line 3: unknown type 'float'"},
        {"A = int:99999999999\n", "line 1: '99999999999' is not a 32-bit integer"},
        {"A = int:1.5\n", "line 1: '1.5' is not a 32-bit integer"},
        {"A = double:12abc\n", "line 1: '12abc' is not a finite number"},
        {"A = bool:maybe\n", "line 1: 'maybe' is not a bool"},
        {"A = datainfo:1,2,3,4\n", "line 1: '1,2,3,4' is not five numbers"},
        {"A = datainfo:1,2,3,4,65536\n", "line 1: '1,2,3,4,65536' is not five numbers"},
        {"A = double3:1,2\n", "line 1: '1,2' is not three finite numbers"},
        {"A = string:\"open\n", "line 1: quoted string must end"},
        {"A = string:\"a\" b\n", "line 1: quoted string must end"},
        {"Bad name = int:1\n", "line 1: invalid attribute name 'Bad name'"},
        {" = int:1\n", "line 1: missing attribute name"}, {"A = int\n", "line 1: expected 'type:value'"},
        {"A = int:1\r\nA = int:2\r\n", "line 2: attribute 'A' already given on line 1"},
    };
    for (const auto& c : cases) {
        CAttributeMap map;
        map.SetAttribValue("Held", 5);
        CString error;
        const bool loaded = map.LoadString(c.text, error);
        EXPECT_EQ(std::tuple(loaded, error.Find(c.error), map.GetCount(), map.HasAttrib("A")),
                  std::tuple(false, 0, 1, false))
            << c.text << " -> " << error.GetString();
    }
    const std::string path = testing::TempDir() + "attribute_map_test.txt";
    std::ofstream(path) << "SbfDepthMin = double: 2\nSbfGate = bool: false\n";
    CAttributeMap map;
    map.SetAttribValue("SbfDepthMin", 1.0);
    map.SetAttribValue("Other", 1);
    ASSERT_TRUE(map.LoadFile(path.c_str(), error)) << error;
    EXPECT_EQ(ReadAll(map, "SbfDepthMin"), "b00/99 i042/99 d12/0 s0keep/99 c01,2,3,4,5/99 v07,8,9/99");
    EXPECT_EQ(map.GetCount(), 3);
    std::ofstream(path) << "SbfDepthMax = double: 9\nbroken\n";
    EXPECT_FALSE(map.LoadFile(path.c_str(), error) || map.HasAttrib("SbfDepthMax"));
    EXPECT_NE(error.Find("line 2:"), -1);
    std::remove(path.c_str());
    EXPECT_FALSE(map.LoadFile("/nonexistent/dir/attrs.txt", error));
    EXPECT_EQ(error, "/nonexistent/dir/attrs.txt: cannot open: No such file or directory");
    EXPECT_EQ(map.GetCount(), 3);
}
