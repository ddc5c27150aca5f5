#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/config/DataDefinition.h>

#include <gtest/gtest.h>

#include <string>

using kvs_test::Layout;

namespace {

// The result code of a text call and the text it made, as "1 text".
std::string Shown(int result, const CString& text)
{
    return std::to_string(result) + " " + std::string(text.GetString());
}

// Keeps the process-wide display settings and definition as the other tests expect them.
class ValueText : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_full = CKvsType::m_bPrintFullArray;
        m_grid = CKvsType::m_iGridDecml;
        m_depth = CKvsType::m_iDepthDecml;
    }
    void TearDown() override
    {
        CKvsType::m_bPrintFullArray = m_full;
        CKvsType::m_iGridDecml = m_grid;
        CKvsType::m_iDepthDecml = m_depth;
        CKvsType::m_unitCnv = CKvsUnitCnv();
        DataDefinition::GetDataDefinition().UseDefault();
    }
    void LoadFormatDefinition()
    {
        CString error;
        ASSERT_TRUE(DataDefinition::GetDataDefinition().LoadFile(KVS_TEST_DATA_DIR "/format_definition.json", error))
            << error.GetString();
    }
    CKvsBytePtr& Element(unsigned short index)
    {
        CKvsBytePtr* e = nullptr;
        EXPECT_TRUE(m_block.GetDataIdx(index, e));
        return *e;
    }

    CDataBlock m_block;
    bool m_full = false;
    int m_grid = 0, m_depth = 0;
};

} // namespace

TEST_F(ValueText, DoubleArrayIsShownInPagesOfFive)
{
    Layout(m_block, {{ET_DOUBLE_ARRAY, 64}});
    const double values[] = {1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5};
    ASSERT_TRUE(m_block.SetDataValue(0, values, 8, 0, CDataBlock::kByPosition));
    const CKvsBytePtr& e = Element(0);
    CString text;
    EXPECT_EQ(Shown(e.GetValueStr(text, false, 0), text), "1 8: 1.50; 2.50; 3.50; 4.50; 5.50; ...");
    EXPECT_EQ(Shown(e.GetValueStr(text, false, 6), text), "1 8: 7.50; 8.50");
    EXPECT_EQ(Shown(e.GetValueStr(text, false, 8), text), "1 <<<8");
    // a negative start is the first page
    EXPECT_EQ(Shown(e.GetValueStr(text, false, -3), text), "1 8: 1.50; 2.50; 3.50; 4.50; 5.50; ...");

    CKvsType::m_bPrintFullArray = true;
    EXPECT_EQ(Shown(e.GetValueStr(text, false, -1), text), "1 1.50; 2.50; 3.50; 4.50; 5.50; 6.50; 7.50; 8.50");
    EXPECT_EQ(Shown(e.GetValueStr(text, false, 6), text), "1 7.50; 8.50");
}

TEST_F(ValueText, ItemArraysOfEveryListedType)
{
    Layout(m_block, {{ET_SHORT_ARRAY, 0}, {ET_UINT_ARRAY, 0}, {ET_USHORT_ARRAY, 0}, {ET_CHAR_ARRAY, 0},
                     {ET_STRING_ARRAY, 0}, {ET_FLOAT_ARRAY, 0}});
    const short s[] = {-3, 4};
    const unsigned int u[] = {4000000000u};
    const unsigned short us[] = {65535, 1, 2, 3, 4, 5};
    const char chars[] = {'a', 'b', 'c', 'd'};
    CStringArray list;
    list.Add("one");
    list.Add("two");
    const float f[] = {0.25f};
    ASSERT_TRUE(m_block.SetDataValue(0, s, 2, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(1, u, 1, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(2, us, 6, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(3, chars, 4, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(4, list, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(5, f, 1, 0, CDataBlock::kByPosition));
    CString text;
    EXPECT_EQ(Shown(Element(0).GetValueStr(text, false, 0), text), "1 2: -3; 4");
    EXPECT_EQ(Shown(Element(1).GetValueStr(text, false, 0), text), "1 1: 4000000000");
    EXPECT_EQ(Shown(Element(2).GetValueStr(text, false, 5), text), "1 6: 5");
    EXPECT_EQ(Shown(Element(3).GetValueStr(text, false, 2), text), "1 cd"); // a char array is one text from start on
    EXPECT_EQ(Shown(Element(4).GetValueStr(text, false, 0), text), "1 2: one; two");
    EXPECT_EQ(Shown(Element(5).GetValueStr(text, false, 0), text), "1 1: 0.25");

    EXPECT_EQ(Shown(Element(0).GetArrayValueStr(1, text, false), text), "1 4");
    EXPECT_EQ(Shown(Element(1).GetArrayValueStr(0, text, false), text), "1 4000000000");
    EXPECT_EQ(Shown(Element(3).GetArrayValueStr(0, text, false), text), "1 abcd");
    EXPECT_EQ(Shown(Element(4).GetArrayValueStr(1, text, false), text), "1 two");
    EXPECT_EQ(Shown(Element(5).GetArrayValueStr(3, 0, text, false), text), "1 0.250");
    // Out of range: the numeric arrays leave the text empty, lists and char arrays "---".
    EXPECT_EQ(Shown(Element(0).GetArrayValueStr(2, text, false), text), "0 ");
    EXPECT_EQ(Shown(Element(4).GetArrayValueStr(2, text, false), text), "0 ---");
    // unsigned short arrays give no item text
    EXPECT_EQ(Shown(Element(2).GetArrayValueStr(0, text, false), text), "0 ...");
}

TEST_F(ValueText, TrianglesListNineCoordinatesEach)
{
    Layout(m_block, {{ET_TRIANGLE_ARRAY, 0}});
    const Triangle t[] = {Triangle(Point(1, 2, 3), Point(4, 5, 6), Point(7, 8, 9)),
                          Triangle(Point(-1, -2, -3), Point(0.5, 0.3, 0), Point(10, 20, 30))};
    ASSERT_TRUE(m_block.SetDataValue(0, t, 2, 0, CDataBlock::kByPosition));
    CKvsType::m_iGridDecml = 1;
    CString text;
    EXPECT_EQ(Shown(Element(0).GetArrayValueStr(1, text, false), text), "1 -1.0; -2.0; -3.0; 0.5; 0.3; 0.0; 10.0; 20.0; 30.0; ");
    // no decimals
    EXPECT_EQ(Shown(Element(0).GetArrayValueStr(0, 0, text, false), text), "1 1; 2; 3; 4; 5; 6; 7; 8; 9; ");
    EXPECT_EQ(Element(0).GetValueStr(text, false, 0), 1);
    EXPECT_EQ(text, "2: 1.0; 2.0; 3.0; 4.0; 5.0; 6.0; 7.0; 8.0; 9.0; | -1.0; -2.0; -3.0; 0.5; 0.3; 0.0; "
                    "10.0; 20.0; 30.0; ");
    // the bar marks position 1 in the array
    EXPECT_EQ(Shown(Element(0).GetValueStr(text, false, 1), text), "1 2: | -1.0; -2.0; -3.0; 0.5; 0.3; 0.0; 10.0; 20.0; 30.0; ");
}

TEST_F(ValueText, MappedIntAndBoolTextsComeFromTheDefinition)
{
    LoadFormatDefinition();
    Layout(m_block, {{ET_INT, 4, 30}, {ET_DOUBLE, 8, 44}, {ET_BOOL, 1, 0}, {ET_INT_ARRAY, 12, 30}}, 7);
    CString text;
    ASSERT_TRUE(m_block.SetDataValue(0, -2, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Shown(Element(0).GetValueStr(text, false, -1), text), "1 Broken");
    ASSERT_TRUE(m_block.SetDataValue(0, 5, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Shown(Element(0).GetValueStr(text, false, -1), text), "0 ---"); // no entry for 5

    ASSERT_TRUE(m_block.SetDataValue(2, true, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Shown(Element(2).GetValueStr(text, false, -1), text), "1 Fixed"); // a bool is always mapped, format 0 too
    ASSERT_TRUE(m_block.SetDataValue(2, false, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Element(2).GetValueStr(text, false, -1), 0);

    ASSERT_TRUE(m_block.SetDataValue(1, -9999.0, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Shown(Element(1).GetValueStr(text, false, -1), text), "1 no data");
    ASSERT_TRUE(m_block.SetDataValue(1, 3.0, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Element(1).GetValueStr(text, false, -1), 0);

    const int modes[] = {1, 0, 7};
    ASSERT_TRUE(m_block.SetDataValue(3, modes, 3, 0, CDataBlock::kByPosition));
    // an item without an entry shows its number
    EXPECT_EQ(Shown(Element(3).GetValueStr(text, false, 0), text), "1 3: On; Off; 7");

    // Without a definition group the mapped texts are missing.
    DataDefinition::GetDataDefinition().UseDefault();
    ASSERT_TRUE(m_block.SetDataValue(0, 1, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Element(0).GetValueStr(text, false, -1), 0);
}

TEST_F(ValueText, UnitQuantitiesAreConvertedWithDecimalsAndMnemonic)
{
    Layout(m_block, {{ET_DOUBLE, 8, 4}, {ET_FLOAT, 4, 4}, {ET_DOUBLE, 8, 1}, {ET_INT, 4, 4}});
    ASSERT_TRUE(CKvsType::m_unitCnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_FOOT));
    CKvsType::m_iDepthDecml = 1;
    ASSERT_TRUE(m_block.SetDataValue(0, 10.0, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(1, 10.0f, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(2, 10.0, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(3, 10, 0, CDataBlock::kByPosition));
    const CKvsBytePtr& depth = Element(0);
    CString text;
    EXPECT_EQ(depth.GetDefaultDecimals(), 1);
    EXPECT_EQ(Element(2).GetDefaultDecimals(), CKvsType::m_iGridDecml);
    EXPECT_EQ(Element(3).GetDefaultDecimals(), 0); // ints whatever their format

    EXPECT_EQ(Shown(depth.GetValueStr(text, true, -1), text), "1 32.8 ft");
    EXPECT_EQ(Shown(depth.GetValueStr(text, false, -1), text), "1 32.8");
    EXPECT_EQ(Shown(depth.GetValueStr(3, text, true), text), "1 32.808 ft");
    EXPECT_EQ(Shown(Element(1).GetValueStr(text, true, -1), text), "1 32.8 ft");
    // stored units, no mnemonic
    EXPECT_EQ(Shown(depth.FormatDoubleString(10.0, 2, text, true, false), text), "1 10.00");
    EXPECT_EQ(Shown(depth.FormatDoubleString(1.0, text, true, true), text), "1 3.3 ft");
    EXPECT_EQ(depth.GetUnitAnnotation(), "ft");
    EXPECT_EQ(Shown(Element(3).GetValueStr(text, true, -1), text), "1 10");
}

TEST_F(ValueText, ScalarsTextsAndTypesWithoutText)
{
    Layout(m_block, {{ET_UINT, 4}, {ET_CHAR, 1}, {ET_SHORT, 2}, {ET_USHORT, 2}, {ET_UINT64, 8}, {ET_STRING, 0},
                     {ET_BOOL_ARRAY, 3}, {ET_DATAINFO, 20}, {ET_LONG, 4}});
    ASSERT_TRUE(m_block.SetDataValue(0, 4294967295u, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(1, static_cast<char>(-5), 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(2, static_cast<short>(-300), 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(3, static_cast<unsigned short>(65535), 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(4, 18446744073709551615ull, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(5, CString("Station A"), 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(8, -7L, 0, CDataBlock::kByPosition));
    const char* const expected[] = {"4294967295", "-5", "-300", "65535", "18446744073709551615", "Station A"};
    CString text;
    for (unsigned short i = 0; i < 6; ++i) EXPECT_EQ(Shown(Element(i).GetValueStr(text, false, -1), text), "1 " + std::string(expected[i]));
    EXPECT_EQ(Shown(Element(8).GetValueStr(text, false, -1), text), "1 -7");
    EXPECT_EQ(Shown(Element(6).GetValueStr(text, false, 0), text), "0 ---");
    EXPECT_EQ(Shown(Element(6).GetArrayValueStr(0, text, false), text), "0 ...");
    EXPECT_EQ(Element(7).GetValueStr(text, false, 0), 0);

    CKvsBytePtr detached(ET_DOUBLE, 8); // no data area
    EXPECT_EQ(Shown(detached.GetValueStr(text, false, -1), text), "0 ---");
    EXPECT_EQ(detached.GetDoubleStr(text, false), 0);
}

TEST_F(ValueText, CallerFormatStringsAreCheckedBeforeUse)
{
    Layout(m_block, {{ET_INT, 4}, {ET_DOUBLE, 8, 4}, {ET_BOOL, 1}, {ET_SHORT, 2}});
    ASSERT_TRUE(m_block.SetDataValue(0, 42, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(1, 10.0, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(m_block.SetDataValue(2, true, 0, CDataBlock::kByPosition));
    ASSERT_TRUE(CKvsType::m_unitCnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_FOOT));
    CString text;
    EXPECT_EQ(Shown(Element(0).GetValueStr(CString("[%05d] 100%%"), text, false), text), "1 [00042] 100%");
    // always in the display unit
    EXPECT_EQ(Shown(Element(1).GetValueStr(CString("%.1f"), text, false), text), "1 32.8");
    EXPECT_EQ(Shown(Element(2).GetValueStr(CString("%d"), text, false), text), "1 Yes");
    ASSERT_TRUE(m_block.SetDataValue(2, false, 0, CDataBlock::kByPosition));
    EXPECT_EQ(Shown(Element(2).GetValueStr(CString(""), text, false), text), "1 No");
    EXPECT_EQ(Shown(Element(3).GetValueStr(CString("%d"), text, false), text), "0 ...");
    // Formats that would read a missing or mistyped argument are refused.
    for (const char* bad : {"%s", "%d %d", "%f", "%ld", "%*d", "%", "no conversion", "%99999d"}) {
        EXPECT_EQ(Element(0).GetValueStr(CString(bad), text, false), 0) << bad;
        EXPECT_EQ(text, "...");
    }
    EXPECT_EQ(Element(1).GetValueStr(CString("%d"), text, false), 0);
}

TEST_F(ValueText, BlockWrappersFindTheElementFirst)
{
    Layout(m_block, {{ET_DOUBLE, 8, 4, 201}, {ET_INT_ARRAY, 8}});
    ASSERT_TRUE(m_block.SetDataValue(201, 1.234, 0, CDataBlock::kByUseAs));
    const int items[] = {5, 6};
    ASSERT_TRUE(m_block.SetDataValue(1, items, 2, 0, CDataBlock::kByPosition));
    CString text;
    EXPECT_EQ(Shown(m_block.GetDataValueStr(201, text, CDataBlock::kByUseAs), text), "1 1.23");
    EXPECT_EQ(Shown(m_block.GetDataValueStr(0, 1, text, CDataBlock::kByPosition), text), "1 1.2");
    EXPECT_EQ(Shown(m_block.GetDataValueStr(1, static_cast<unsigned short>(1), text, CDataBlock::kByPosition), text), "1 6");
    EXPECT_EQ(Shown(m_block.GetDataValueStr(0, CString("%.3f"), text, CDataBlock::kByPosition), text), "1 1.234");
    EXPECT_EQ(Shown(m_block.FormatDoubleStr(2.0, 201, text, CDataBlock::kByUseAs, true), text), "1 2.00");
    EXPECT_EQ(Shown(m_block.GetDataValueUnitAnnotation(201, text, CDataBlock::kByUseAs), text), "1 m");

    text = "keep";
    EXPECT_FALSE(m_block.GetDataValueStr(202, text, CDataBlock::kByUseAs));
    EXPECT_FALSE(m_block.GetDataValueStr(9, static_cast<unsigned short>(0), text, CDataBlock::kByPosition));
    EXPECT_FALSE(m_block.GetDataValueUnitAnnotation(9, text, CDataBlock::kByPosition));
    EXPECT_EQ(text, "keep");
    EXPECT_FALSE(m_block.GetDataValueStr(1, static_cast<unsigned short>(5), text, CDataBlock::kByPosition)); // index past the items
}
