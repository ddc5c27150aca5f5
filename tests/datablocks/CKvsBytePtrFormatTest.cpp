#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/config/DataDefinition.h>

#include <string>
#include <vector>

using kvs_test::Layout;
using Texts = std::vector<std::string>;

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
    void TearDown() override
    {
        CKvsType::m_bPrintFullArray = m_full;
        CKvsType::m_iGridDecml = m_grid;
        CKvsType::m_iDepthDecml = m_depth;
        CKvsType::m_unitCnv = CKvsUnitCnv();
        DataDefinition::GetDataDefinition().UseDefault();
    }
    CKvsBytePtr& Element(unsigned short index) { return *kvs_test::At(m_block, index); }
    // A value, or items and their count, or all items of an array.
    template <typename... T>
    void Set(unsigned short index, const T&... value) { ASSERT_TRUE(m_block.SetDataValue(index, value..., 0, CDataBlock::kByPosition)); }
    template <typename T, size_t N>
    void Set(unsigned short index, const T (&items)[N]) { Set(index, &items[0], static_cast<int>(N)); }
    // The values in element order from element 0 on.
    template <typename... T>
    void SetAll(const T&... values)
    {
        unsigned short i = 0;
        (Set(i++, values), ...);
    }
    // The text of element index from item start, and of its item at index item.
    std::string Str(unsigned short index, int start, bool unit = false)
    {
        return Shown(Element(index).GetValueStr(m_text, unit, start), m_text);
    }
    std::string Item(unsigned short index, unsigned short item) { return Shown(Element(index).GetArrayValueStr(item, m_text, false), m_text); }
    std::string Fmt(unsigned short index, const char* format) { return Shown(Element(index).GetValueStr(CString(format), m_text, false), m_text); }

    CDataBlock m_block;
    CString m_text;
    const bool m_full = CKvsType::m_bPrintFullArray;
    const int m_grid = CKvsType::m_iGridDecml, m_depth = CKvsType::m_iDepthDecml;
};

} // namespace

TEST_F(ValueText, ArraysOfEveryListedTypeAreShownInPagesOfFive)
{
    Layout(m_block, {{ET_DOUBLE_ARRAY, 0}, {ET_SHORT_ARRAY, 0}, {ET_UINT_ARRAY, 0}, {ET_USHORT_ARRAY, 0}, {ET_CHAR_ARRAY, 0},
                     {ET_STRING_ARRAY, 0}, {ET_FLOAT_ARRAY, 0}, {ET_TRIANGLE_ARRAY, 0}});
    const double d[] = {1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5};
    const short s[] = {-3, 4};
    const unsigned int u[] = {4000000000u};
    const unsigned short us[] = {65535, 1, 2, 3, 4, 5};
    const char chars[] = {'a', 'b', 'c', 'd'};
    CStringArray list;
    for (const char* text : {"one", "two"}) list.Add(text);
    const float f[] = {0.25f};
    const Triangle t[] = {Triangle(Point(1, 2, 3), Point(4, 5, 6), Point(7, 8, 9)),
                          Triangle(Point(-1, -2, -3), Point(0.5, 0.3, 0), Point(10, 20, 30))};
    SetAll(d, s, u, us, chars, list, f, t);
    // a negative start is the first page; a char array is one text from start on
    EXPECT_EQ(Texts({Str(0, 0), Str(0, 6), Str(0, 8), Str(0, -3), Str(1, 0), Str(2, 0), Str(3, 5), Str(4, 2), Str(5, 0), Str(6, 0)}),
              Texts({"1 8: 1.50; 2.50; 3.50; 4.50; 5.50; ...", "1 8: 7.50; 8.50", "1 <<<8", "1 8: 1.50; 2.50; 3.50; 4.50; 5.50; ...",
                     "1 2: -3; 4", "1 1: 4000000000", "1 6: 5", "1 cd", "1 2: one; two", "1 1: 0.25"}));
    // Out of range: the numeric arrays leave the text empty, lists and char arrays "---";
    // unsigned short arrays give no item text.
    EXPECT_EQ(Texts({Item(1, 1), Item(2, 0), Item(4, 0), Item(5, 1), Item(1, 2), Item(5, 2), Item(3, 0),
                     Shown(Element(6).GetArrayValueStr(3, 0, m_text, false), m_text)}),
              Texts({"1 4", "1 4000000000", "1 abcd", "1 two", "0 ", "0 ---", "0 ...", "1 0.250"}));
    CKvsType::m_bPrintFullArray = true;
    EXPECT_EQ(Texts({Str(0, -1), Str(0, 6)}), Texts({"1 1.50; 2.50; 3.50; 4.50; 5.50; 6.50; 7.50; 8.50", "1 7.50; 8.50"}));
    CKvsType::m_bPrintFullArray = false;
    // Triangles list nine coordinates each, with grid decimals; the bar marks position 1.
    CKvsType::m_iGridDecml = 1;
    const std::string second = "-1.0; -2.0; -3.0; 0.5; 0.3; 0.0; 10.0; 20.0; 30.0; ";
    EXPECT_EQ(Texts({Item(7, 1), Shown(Element(7).GetArrayValueStr(0, 0, m_text, false), m_text), Str(7, 0), Str(7, 1)}),
              Texts({"1 " + second, "1 1; 2; 3; 4; 5; 6; 7; 8; 9; ", // no decimals
                     "1 2: 1.0; 2.0; 3.0; 4.0; 5.0; 6.0; 7.0; 8.0; 9.0; | " + second, "1 2: | " + second}));
}

TEST_F(ValueText, MappedIntAndBoolTextsComeFromTheDefinition)
{
    CString error;
    ASSERT_TRUE(DataDefinition::GetDataDefinition().LoadFile(KVS_TEST_DATA_DIR "/format_definition.json", error)) << error;
    Layout(m_block, {{ET_INT, 4, 30}, {ET_DOUBLE, 8, 44}, {ET_BOOL, 1, 0}, {ET_INT_ARRAY, 12, 30}}, 7);
    const int modes[] = {1, 0, 7};
    SetAll(-2, -9999.0, true, modes); // a bool is always mapped, format 0 too; an item without an entry shows its number
    EXPECT_EQ(Texts({Str(0, -1), Str(1, -1), Str(2, -1), Str(3, 0)}), Texts({"1 Broken", "1 no data", "1 Fixed", "1 3: On; Off; 7"}));
    SetAll(5, 3.0, false); // no entry for 5
    EXPECT_EQ(Texts({Str(0, -1), Str(1, -1).substr(0, 1), Str(2, -1).substr(0, 1)}), Texts({"0 ---", "0", "0"}));
    // Without a definition group the mapped texts are missing.
    DataDefinition::GetDataDefinition().UseDefault();
    Set(0, 1);
    EXPECT_EQ(Element(0).GetValueStr(m_text, false, -1), 0);
}

TEST_F(ValueText, UnitQuantitiesAreConvertedWithDecimalsAndMnemonic)
{
    Layout(m_block, {{ET_DOUBLE, 8, 4}, {ET_FLOAT, 4, 4}, {ET_DOUBLE, 8, 1}, {ET_INT, 4, 4}});
    ASSERT_TRUE(CKvsType::m_unitCnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_FOOT));
    CKvsType::m_iDepthDecml = 1;
    SetAll(10.0, 10.0f, 10.0, 10);
    const CKvsBytePtr& depth = Element(0);
    // ints whatever their format
    EXPECT_EQ(std::vector<int>({depth.GetDefaultDecimals(), Element(2).GetDefaultDecimals(), Element(3).GetDefaultDecimals()}),
              std::vector<int>({1, CKvsType::m_iGridDecml, 0}));
    // the last but two in stored units, no mnemonic
    EXPECT_EQ(Texts({Str(0, -1, true), Str(0, -1), Shown(depth.GetValueStr(3, m_text, true), m_text), Str(1, -1, true), Str(3, -1, true),
                     Shown(depth.FormatDoubleString(10.0, 2, m_text, true, false), m_text),
                     Shown(depth.FormatDoubleString(1.0, m_text, true, true), m_text), std::string(depth.GetUnitAnnotation())}),
              Texts({"1 32.8 ft", "1 32.8", "1 32.808 ft", "1 32.8 ft", "1 10", "1 10.00", "1 3.3 ft", "ft"}));
}

TEST_F(ValueText, ScalarsTextsAndTypesWithoutText)
{
    Layout(m_block, {{ET_UINT, 4}, {ET_CHAR, 1}, {ET_SHORT, 2}, {ET_USHORT, 2}, {ET_UINT64, 8}, {ET_STRING, 0},
                     {ET_BOOL_ARRAY, 3}, {ET_DATAINFO, 20}, {ET_LONG, 4}});
    SetAll(4294967295u, static_cast<char>(-5), static_cast<short>(-300), static_cast<unsigned short>(65535),
           18446744073709551615ull, CString("Station A"));
    Set(8, -7L);
    EXPECT_EQ(Texts({Str(0, -1), Str(1, -1), Str(2, -1), Str(3, -1), Str(4, -1), Str(5, -1), Str(8, -1), Str(6, 0), Item(6, 0)}),
              Texts({"1 4294967295", "1 -5", "1 -300", "1 65535", "1 18446744073709551615", "1 Station A", "1 -7", "0 ---", "0 ..."}));
    CKvsBytePtr detached(ET_DOUBLE, 8); // no data area
    EXPECT_EQ(std::tuple(Element(7).GetValueStr(m_text, false, 0), Shown(detached.GetValueStr(m_text, false, -1), m_text),
                         detached.GetDoubleStr(m_text, false)), std::tuple(0, "0 ---", 0));
}

TEST_F(ValueText, CallerFormatStringsAreCheckedBeforeUse)
{
    Layout(m_block, {{ET_INT, 4}, {ET_DOUBLE, 8, 4}, {ET_BOOL, 1}, {ET_SHORT, 2}});
    SetAll(42, 10.0, true);
    ASSERT_TRUE(CKvsType::m_unitCnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_FOOT));
    // doubles always in the display unit
    EXPECT_EQ(Texts({Fmt(0, "[%05d] 100%%"), Fmt(1, "%.1f"), Fmt(2, "%d"), Fmt(3, "%d"), Fmt(1, "%d")}),
              Texts({"1 [00042] 100%", "1 32.8", "1 Yes", "0 ...", "0 ..."}));
    Set(2, false);
    EXPECT_EQ(Fmt(2, ""), "1 No");
    // Formats that would read a missing or mistyped argument are refused.
    for (const char* bad : {"%s", "%d %d", "%f", "%ld", "%*d", "%", "no conversion", "%99999d"}) EXPECT_EQ(Fmt(0, bad), "0 ...") << bad;
}

TEST_F(ValueText, BlockWrappersFindTheElementFirst)
{
    Layout(m_block, {{ET_DOUBLE, 8, 4, 201}, {ET_INT_ARRAY, 8}});
    ASSERT_TRUE(m_block.SetDataValue(201, 1.234, 0, CDataBlock::kByUseAs));
    const int items[] = {5, 6};
    Set(1, items);
    CString& t = m_text;
    const unsigned short kPos = CDataBlock::kByPosition;
    EXPECT_EQ(Texts({Shown(m_block.GetDataValueStr(201, t, CDataBlock::kByUseAs), t),
                     Shown(m_block.GetDataValueStr(0, 1, t, kPos), t),
                     Shown(m_block.GetDataValueStr(1, static_cast<unsigned short>(1), t, kPos), t),
                     Shown(m_block.GetDataValueStr(0, CString("%.3f"), t, kPos), t),
                     Shown(m_block.FormatDoubleStr(2.0, 201, t, CDataBlock::kByUseAs, true), t),
                     Shown(m_block.GetDataValueUnitAnnotation(201, t, CDataBlock::kByUseAs), t)}),
              Texts({"1 1.23", "1 1.2", "1 6", "1 1.234", "1 2.00", "1 m"}));
    t = "keep";
    EXPECT_EQ(std::tuple(m_block.GetDataValueStr(202, t, CDataBlock::kByUseAs), m_block.GetDataValueStr(9, static_cast<unsigned short>(0), t, kPos),
                         m_block.GetDataValueUnitAnnotation(9, t, kPos), t), std::tuple(false, false, false, CString("keep")));
    EXPECT_FALSE(m_block.GetDataValueStr(1, static_cast<unsigned short>(5), t, kPos)); // an index past the items
}
