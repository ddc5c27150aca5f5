#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Expects in map the values that both the setters and the text below give.
void ExpectEveryType(const CAttributeMap& map, unsigned int boolStatus)
{
    unsigned int st = 99;
    bool b = false;
    EXPECT_TRUE(map.GetAttribValue(ATTR_DEPTHFILTER, b, st) && b);
    EXPECT_EQ(st, boolStatus);
    int i = 0;
    EXPECT_TRUE(map.GetAttribValue(ATTR_FILTERQUALITY, i, st));
    EXPECT_EQ(i, -2);
    EXPECT_EQ(st, 0u);
    double d = 0;
    EXPECT_TRUE(map.GetAttribValue(ATTR_FILTERMAXDEPTH, d, st));
    EXPECT_EQ(d, 150.0);
    EXPECT_TRUE(map.GetAttribValue(ATTR_FILTERQUALITY, d, st)); // an int reads as a double
    EXPECT_EQ(d, -2.0);
    CString s;
    EXPECT_TRUE(map.GetAttribValue(ATTR_FILTERREJECTBEAMS, s, st));
    EXPECT_EQ(s, "3, 7-9");
    CDataInfo info;
    EXPECT_TRUE(map.GetAttribValue("PipedetectCompId", info, st));
    EXPECT_EQ(info.GetDataId().GetDataType(), 1);
    EXPECT_EQ(info.GetDataId().GetGroupId(), 1072);
    EXPECT_EQ(info.GetDataId().GetDeviceNum(), 2);
    EXPECT_EQ(info.GetDataId().GetVesselId(), 3);
    EXPECT_EQ(info.GetElemId(), 65535);
    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(map.GetAttribValue("Offset", x, y, z, st));
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, -2.5);
    EXPECT_EQ(z, 30.0);
}

} // namespace

TEST(CAttributeMap, ReadsBackEveryTypeSetOrLoaded)
{
    CAttributeMap set;
    set.SetAttribValue(ATTR_DEPTHFILTER, true, 7);
    set.SetAttribValue(ATTR_FILTERQUALITY, -2);
    set.SetAttribValue(ATTR_FILTERMAXDEPTH, 150.0);
    set.SetAttribValue(ATTR_FILTERREJECTBEAMS, "3, 7-9");
    set.SetAttribValue("PipedetectCompId", CDataInfo(CDataId(1, 1072, 2, 3), 65535));
    set.SetAttribValue("Offset", 1.0, -2.5, 30.0);
    ExpectEveryType(set, 7);

    CAttributeMap loaded;
    CString error;
    ASSERT_TRUE(loaded.LoadString("# multibeam settings\r\n"
                                  "  DepthFilter = bool : YES\n"
                                  "\n"
                                  "; comment\n"
                                  "FilterQuality=int:-2\n"
                                  "FilterMaxDepth = double: 1.5e2\n"
                                  "FilterRejectBeams = string:  3, 7-9  \n"
                                  "MaskShape = string: \"  a \\\"b\\\" \\x41\"\n"
                                  "PipedetectCompId = datainfo: 1, 1072, 2, 3, 65535\n"
                                  "Offset = double3: 1, -2.5, 3e1\n",
                                  error))
        << error;
    EXPECT_EQ(loaded.GetCount(), 7);
    ExpectEveryType(loaded, 0);
    CString s;
    unsigned int st = 0;
    EXPECT_TRUE(loaded.GetAttribValue("MaskShape", s, st));
    EXPECT_EQ(s, "  a \"b\" A");
}

TEST(CAttributeMap, AbsentOrMismatchedNamesLeaveOutputsUntouched)
{
    CAttributeMap map;
    map.SetAttribValue("Flag", true);
    map.SetAttribValue("Limit", 2.5);
    int i = 42;
    double d = -1.0, x = 1, y = 2, z = 3;
    bool b = true;
    CString s("keep");
    CDataInfo info(CDataId(1, 2, 3, 4), 5);
    unsigned int status = 99;
    EXPECT_FALSE(map.GetAttribValue("Missing", i, status));
    EXPECT_FALSE(map.GetAttribValue("Missing", d, status));
    EXPECT_FALSE(map.GetAttribValue("Missing", b, status));
    EXPECT_FALSE(map.GetAttribValue("Missing", s, status));
    EXPECT_FALSE(map.GetAttribValue("Missing", info, status));
    EXPECT_FALSE(map.GetAttribValue("Missing", x, y, z, status));
    EXPECT_FALSE(map.GetAttribValue("Flag", i, status));  // a bool is not an int
    EXPECT_FALSE(map.GetAttribValue("Limit", i, status)); // a double is not an int
    EXPECT_FALSE(map.GetAttribValue("flag", b, status));  // names are case-sensitive
    EXPECT_EQ(i, 42);
    EXPECT_EQ(d, -1.0);
    EXPECT_EQ(x + y + z, 6.0);
    EXPECT_TRUE(b);
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(info.GetElemId(), 5);
    EXPECT_EQ(status, 99u);
}

TEST(CAttributeMap, MalformedTextNamesTheLineAndLoadsNothing)
{
    struct Case
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"A = int:1\nB int:2\n", "line 2: expected 'name = type:value'"},
        {"A = int:1\n\nB = float:2\n", "line 3: unknown type 'float'"},
        {"A = int:99999999999\n", "line 1: '99999999999' is not a 32-bit integer"},
        {"A = int:1.5\n", "line 1: '1.5' is not a 32-bit integer"},
        {"A = double:12abc\n", "line 1: '12abc' is not a finite number"},
        {"A = double:inf\n", "line 1: 'inf' is not a finite number"},
        {"A = bool:maybe\n", "line 1: 'maybe' is not a bool"},
        {"A = datainfo:1,2,3,4\n", "line 1: '1,2,3,4' is not five numbers"},
        {"A = datainfo:1,2,3,4,65536\n", "line 1: '1,2,3,4,65536' is not five numbers"},
        {"A = double3:1,2\n", "line 1: '1,2' is not three finite numbers"},
        {"A = string:\"open\n", "line 1: quoted string must end"},
        {"A = string:\"a\" b\n", "line 1: quoted string must end"},
        {"Bad name = int:1\n", "line 1: invalid attribute name 'Bad name'"},
        {" = int:1\n", "line 1: missing attribute name"},
        {"A = int\n", "line 1: expected 'type:value'"},
        {"A = int:1\r\nA = int:2\r\n", "line 2: attribute 'A' already given on line 1"},
    };
    for (const Case& c : cases) {
        CAttributeMap map;
        map.SetAttribValue("Held", 5);
        CString error;
        EXPECT_FALSE(map.LoadString(c.text, error)) << c.text;
        EXPECT_EQ(error.Find(c.error), 0) << "got: " << static_cast<const char*>(error);
        EXPECT_EQ(map.GetCount(), 1) << c.text;
        EXPECT_FALSE(map.HasAttrib("A"));
    }
}

TEST(CAttributeMap, LoadFileReplacesSameNamesAndReportsUnreadableFiles)
{
    const std::string path = testing::TempDir() + "attribute_map_test.txt";
    {
        std::ofstream out(path);
        out << "SbfDepthMin = double: 2\nSbfGate = bool: false\n";
    }
    CAttributeMap map;
    map.SetAttribValue(ATTR_SBF_DPTMIN, 1.0);
    map.SetAttribValue("Other", 1);
    CString error;
    ASSERT_TRUE(map.LoadFile(path.c_str(), error)) << error;
    double d = 0;
    unsigned int st = 0;
    EXPECT_TRUE(map.GetAttribValue(ATTR_SBF_DPTMIN, d, st));
    EXPECT_EQ(d, 2.0);
    EXPECT_EQ(map.GetCount(), 3);

    {
        std::ofstream out(path);
        out << "SbfDepthMax = double: 9\nbroken\n";
    }
    EXPECT_FALSE(map.LoadFile(path.c_str(), error));
    EXPECT_NE(error.Find("line 2:"), -1);
    EXPECT_FALSE(map.HasAttrib(ATTR_SBF_DPTMAX));
    std::remove(path.c_str());

    EXPECT_FALSE(map.LoadFile("/nonexistent/dir/attrs.txt", error));
    EXPECT_EQ(error, "cannot read file '/nonexistent/dir/attrs.txt'");
    EXPECT_EQ(map.GetCount(), 3);
}
