#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

struct Def
{
    unsigned short id, type, length, format, useAs;
};

CDataBlock MakeBlock(std::initializer_list<Def> defs, unsigned short group = 1011)
{
    CDataBlock b;
    b.SetDataId(CDataId(1, group, 2, 3));
    EXPECT_TRUE(b.Allocate(static_cast<unsigned int>(defs.size())));
    int i = 0;
    for (const Def& d : defs)
        EXPECT_TRUE(b.InitDataElement(i++, d.id, d.type, d.length, d.format, d.useAs));
    EXPECT_TRUE(b.Init());
    return b;
}

const unsigned char* DataOf(const CDataBlock& b, unsigned short index)
{
    CKvsBytePtr e;
    return b.GetDataIdx(index, e) ? e.GetDataPtr() : nullptr;
}

} // namespace

TEST(CDataBlock, NewBlockIsEmptyAndNotValid)
{
    const CDataBlock b;
    EXPECT_EQ(b.GetLength(), 0u);
    EXPECT_EQ(b.GetDataSize(), 0u);
    EXPECT_EQ(b.GetStatusAndFlags(), 40);
    EXPECT_EQ(b.GetTime(), 0.0);
    CKvsBytePtr e;
    EXPECT_FALSE(b.GetDataIdx(0, e));
}

TEST(CDataBlock, LayoutPlacesValuesBackToBackInElementOrder)
{
    const CDataBlock b = MakeBlock({{0, ET_DOUBLE, 8, 4, 120}, {1, ET_SHORT, 2, 0, 121}, {2, ET_INT, 4, 0, 122}});
    EXPECT_EQ(b.GetLength(), 3u);
    EXPECT_EQ(b.GetDataSize(), 14u);
    const unsigned char* base = DataOf(b, 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(DataOf(b, 1), base + 8);
    EXPECT_EQ(DataOf(b, 2), base + 10);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(base[i], 0);
    CKvsBytePtr e;
    ASSERT_TRUE(b.GetDataIdx(2, e));
    EXPECT_EQ(e.GetStatus(), 40);
    EXPECT_EQ(e.GetGroupId(), 1011);
    EXPECT_EQ(e.GetUseAs(), 122);
}

TEST(CDataBlock, LayoutFailuresAreResults)
{
    CDataBlock b;
    EXPECT_FALSE(b.InitDataElement(0, 0, ET_INT, 4, 0, 0)); // no table
    EXPECT_FALSE(b.Allocate(65536));
    EXPECT_EQ(b.GetLength(), 0u);
    EXPECT_FALSE(b.InitDataElement(0, 0, ET_INT, 4, 0, 0));
    ASSERT_TRUE(b.Allocate(2));
    EXPECT_FALSE(b.InitDataElement(2, 0, ET_INT, 4, 0, 0));
    EXPECT_FALSE(b.InitDataElement(-1, 0, ET_INT, 4, 0, 0));
    // Elements of length 0 only: no buffer, null data pointers, still a success.
    EXPECT_TRUE(b.Init());
    EXPECT_EQ(b.GetDataSize(), 0u);
    EXPECT_EQ(DataOf(b, 0), nullptr);
    int v = 0;
    unsigned short s = 0;
    b.InitDataElement(0, 0, ET_INT, 0, 0, 0);
    EXPECT_FALSE(b.GetDataValue(0, v, s, CDataBlock::kByPosition));
    EXPECT_TRUE(b.Allocate(0));
    EXPECT_TRUE(b.Allocate(65535));
    EXPECT_EQ(b.GetLength(), 65535u);
}

TEST(CDataBlock, LookUpByPositionIdAndUseAs)
{
    const CDataBlock b = MakeBlock({{1, ET_INT, 4, 0, 150},
                                    {2, ET_INT, 4, 0, 151},
                                    {5, ET_INT, 4, 0, 152},
                                    {3, ET_INT, 4, 0, 150},
                                    {4, ET_INT, 4, 0, 153},
                                    {0, ET_INT, 4, 0, 154},
                                    {6, ET_INT, 4, 0, 155},
                                    {5, ET_INT, 4, 0, 156}});
    unsigned short index = 99;
    EXPECT_TRUE(b.LookUp(150, CDataBlock::kByPosition, index)); // 100 and above is a use-as code whatever the mode
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(b.LookUp(5, CDataBlock::kById, index)); // duplicates resolve to the lower position
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(b.LookUp(5, CDataBlock::kByPosition, index));
    EXPECT_EQ(index, 5);
    EXPECT_TRUE(b.LookUp(153, CDataBlock::kByUseAs, index));
    EXPECT_EQ(index, 4);
    index = 99;
    EXPECT_FALSE(b.LookUp(8, CDataBlock::kByPosition, index));
    EXPECT_FALSE(b.LookUp(9, CDataBlock::kById, index));
    EXPECT_FALSE(b.LookUp(157, CDataBlock::kByUseAs, index));
    EXPECT_FALSE(b.LookUp(1, 3, index));
    EXPECT_FALSE(b.LookUp(1, CDataBlock::kByUseAs, index)); // below 100 mode 2 still looks for use-as 1
    EXPECT_EQ(index, 99);
    EXPECT_TRUE(b.LookUp(150, 7, index));
}

TEST(CDataBlock, ElementHeadersByKeyAndPosition)
{
    CDataBlock b = MakeBlock({{7, ET_INT, 4, 0, 200}, {8, ET_DOUBLE, 8, 0, 201}});
    CKvsBytePtr copy;
    ASSERT_TRUE(b.GetData(8, copy, CDataBlock::kById));
    EXPECT_EQ(copy.GetType(), ET_DOUBLE);
    CKvsBytePtr* ptr = nullptr;
    ASSERT_TRUE(b.GetData(201, ptr, CDataBlock::kByUseAs));
    EXPECT_EQ(ptr->GetDataPtr(), copy.GetDataPtr());
    ASSERT_TRUE(copy.SetValue(3.25)); // the copy writes into the block
    double d = 0;
    unsigned short s = 0;
    ASSERT_TRUE(b.GetDataValue(201, d, s, CDataBlock::kByUseAs));
    EXPECT_EQ(d, 3.25);
    unsigned short id = 0;
    ASSERT_TRUE(b.GetDataId(1, id));
    EXPECT_EQ(id, 8);
    EXPECT_FALSE(b.GetDataId(2, id));
    EXPECT_FALSE(b.GetDataIdx(2, ptr));
    EXPECT_TRUE(b.SetDataStatus(7, 0, CDataBlock::kById));
    EXPECT_FALSE(b.SetDataStatus(9, 0, CDataBlock::kById));
    ASSERT_TRUE(b.GetDataIdx(0, ptr));
    EXPECT_EQ(ptr->GetStatus(), 0);
}

TEST(CDataBlock, GettersDeliverTheStatusWheneverTheElementIsFound)
{
    CDataBlock b = MakeBlock({{0, ET_INT, 4, 0, 300}, {1, ET_DOUBLE_ARRAY, 16, 0, 301}});
    ASSERT_TRUE(b.SetDataValue(300, 12, 20, CDataBlock::kByUseAs));
    int v = 0;
    unsigned short s = 0;
    ASSERT_TRUE(b.GetDataValue(300, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 12);
    EXPECT_EQ(s, 20);
    float f = 0;
    s = 0;
    EXPECT_FALSE(b.GetDataValue(300, f, s, CDataBlock::kByUseAs)); // type mismatch
    EXPECT_EQ(s, 20);
    s = 77;
    EXPECT_FALSE(b.GetDataValue(302, v, s, CDataBlock::kByUseAs)); // not found
    EXPECT_EQ(s, 77);
    double* items = nullptr;
    int count = 0;
    ASSERT_TRUE(b.GetDataValue(301, items, count, s, CDataBlock::kByUseAs));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(s, 40);
    double d = 0;
    ASSERT_TRUE(b.GetDataAsDouble(300, d, s, CDataBlock::kByUseAs, false));
    EXPECT_EQ(d, 12.0);
    ASSERT_TRUE(b.GetDataAsDouble(301, 1, d, s, CDataBlock::kByUseAs, false));
    EXPECT_EQ(d, 0.0);
    EXPECT_FALSE(b.GetDataAsDouble(301, 2, d, s, CDataBlock::kByUseAs, false));
}

TEST(CDataBlock, SettersSetTheStatusOnlyWhenTheValueIsStored)
{
    CDataBlock b = MakeBlock({{0, ET_USHORT, 2, 0, 400}, {1, ET_DATAINFO, 20, 0, 401}, {2, ET_UINT64, 8, 0, 402}});
    EXPECT_FALSE(b.SetDataValue(400, 5, 0, CDataBlock::kByUseAs)); // int is not unsigned short
    unsigned short s = 0, v = 0;
    b.GetDataValue(400, v, s, CDataBlock::kByUseAs);
    EXPECT_EQ(s, 40);
    EXPECT_TRUE(b.SetDataValue(400, static_cast<unsigned short>(5), 10, CDataBlock::kByUseAs));
    b.GetDataValue(400, v, s, CDataBlock::kByUseAs);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(s, 10);
    EXPECT_TRUE(b.SetDataFromDouble(400, -3.0, 0, CDataBlock::kByUseAs));
    b.GetDataValue(400, v, s, CDataBlock::kByUseAs);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(s, 0);
    EXPECT_FALSE(b.SetDataFromDouble(401, 1.0, 0, CDataBlock::kByUseAs));

    const CDataInfo info(CDataId(4, 1011, 1, 2), 9);
    EXPECT_TRUE(b.SetDataValue(401, info, 0, CDataBlock::kByUseAs));
    CDataInfo out;
    EXPECT_TRUE(b.GetDataValue(401, out, s, CDataBlock::kByUseAs));
    EXPECT_EQ(out, info);
    EXPECT_TRUE(b.SetDataValue(402, 1ull << 40, 0, CDataBlock::kByUseAs));
    unsigned long long big = 0;
    EXPECT_TRUE(b.GetDataValue(402, big, s, CDataBlock::kByUseAs));
    EXPECT_EQ(big, 1ull << 40);
    EXPECT_FALSE(b.SetDataValue(403, 1ull, 0, CDataBlock::kByUseAs));
}

TEST(CDataBlock, StringSetterResizesAndMovesLaterElements)
{
    CDataBlock b = MakeBlock({{0, ET_INT, 4, 0, 500}, {1, ET_STRING, 10, 0, 501}, {2, ET_DOUBLE, 8, 0, 502},
                              {3, ET_SHORT, 2, 0, 503}});
    ASSERT_TRUE(b.SetDataValue(500, 11, 0, CDataBlock::kByUseAs));
    ASSERT_TRUE(b.SetDataValue(501, "0123456789", 0, CDataBlock::kByUseAs));
    ASSERT_TRUE(b.SetDataValue(502, 2.5, 0, CDataBlock::kByUseAs));
    ASSERT_TRUE(b.SetDataValue(503, static_cast<short>(-4), 0, CDataBlock::kByUseAs));
    const auto offset = [&b](unsigned short i) { return DataOf(b, i) - DataOf(b, 0); };
    EXPECT_EQ(offset(2), 14);
    EXPECT_EQ(offset(3), 22);

    ASSERT_TRUE(b.SetDataValue(501, CString("abcd"), 10, CDataBlock::kByUseAs));
    EXPECT_EQ(b.GetDataSize(), 18u);
    EXPECT_EQ(offset(2), 8); // six bytes down
    EXPECT_EQ(offset(3), 16);
    CString text;
    unsigned short s = 0;
    ASSERT_TRUE(b.GetDataValue(501, text, s, CDataBlock::kByUseAs));
    EXPECT_EQ(text, "abcd");
    EXPECT_EQ(s, 10);
    int i = 0;
    double d = 0;
    short sh = 0;
    ASSERT_TRUE(b.GetDataValue(500, i, s, CDataBlock::kByUseAs));
    ASSERT_TRUE(b.GetDataValue(502, d, s, CDataBlock::kByUseAs));
    ASSERT_TRUE(b.GetDataValue(503, sh, s, CDataBlock::kByUseAs));
    EXPECT_EQ(i, 11);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(sh, -4);
    EXPECT_EQ(s, 0);
}

TEST(CDataBlock, ArraySettersResizeToExactlyTheItemsGiven)
{
    CDataBlock b = MakeBlock({{0, ET_DOUBLE_ARRAY, 8, 0, 600}, {1, ET_INT, 4, 0, 601},
                              {2, ET_STRING_ARRAY, 4, 0, 602}, {3, ET_LONG_ARRAY, 4, 0, 603}});
    ASSERT_TRUE(b.SetDataValue(601, 77, 0, CDataBlock::kByUseAs));
    const int ints[3] = {1, 2, 3};
    EXPECT_FALSE(b.SetDataValue(600, ints, 3, 0, CDataBlock::kByUseAs)); // int array into a double array
    EXPECT_EQ(b.GetDataSize(), 20u);                  // not resized

    const double ds[4] = {1, 2, 3, 4};
    ASSERT_TRUE(b.SetDataValue(600, ds, 4, 0, CDataBlock::kByUseAs));
    EXPECT_EQ(b.GetDataSize(), 44u);
    double d = 0;
    unsigned short s = 9;
    ASSERT_TRUE(b.GetDataAsDouble(600, 3, d, s, CDataBlock::kByUseAs, false));
    EXPECT_EQ(d, 4.0);
    EXPECT_EQ(s, 0);
    int v = 0;
    ASSERT_TRUE(b.GetDataValue(601, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 77);
    EXPECT_FALSE(b.SetDataValue(600, ds, -1, 0, CDataBlock::kByUseAs));

    CStringArray list;
    list.Add("one");
    list.Add("three");
    ASSERT_TRUE(b.SetDataValue(602, list, 0, CDataBlock::kByUseAs));
    CKvsBytePtr e;
    ASSERT_TRUE(b.GetDataIdx(2, e));
    EXPECT_EQ(e.GetLength(), 4u + 7u + 9u);
    CStringArray out;
    ASSERT_TRUE(b.GetDataValue(602, out, s, CDataBlock::kByUseAs));
    EXPECT_EQ(out, list);

    const long longs[2] = {-9, static_cast<long>(INT32_MAX) + 1};
    EXPECT_FALSE(b.SetDataValue(603, longs, 2, 0, CDataBlock::kByUseAs)); // refused before any resize
    ASSERT_TRUE(b.GetDataIdx(3, e));
    EXPECT_EQ(e.GetLength(), 4u);
    ASSERT_TRUE(b.SetDataValue(603, longs, 1, 0, CDataBlock::kByUseAs));
    std::vector<long> back;
    ASSERT_TRUE(b.GetDataValue(603, back, s, CDataBlock::kByUseAs));
    EXPECT_EQ(back, std::vector<long>{-9});
}

TEST(CDataBlock, StatusWordKeepsStatusAndFlagsApart)
{
    CDataBlock b = MakeBlock({{0, ET_INT, 4, 0, 700}});
    b.SetStatusFlag(0x0100);
    b.SetStatus(0x47);
    EXPECT_EQ(b.GetStatus(), 7);
    EXPECT_EQ(b.GetStatusFlag(), 0x0100);
    b.SetStatusFlag(0x0001);
    EXPECT_EQ(b.GetStatus(), 7); // bit 0 was already set
    b.SetStatus(0);
    b.SetStatusFlag(0x0001);
    EXPECT_EQ(b.GetStatus(), 1);
    EXPECT_TRUE(b.CheckStatusFlag(0x0100));
    b.ResetStatusFlag(0x0100);
    EXPECT_FALSE(b.CheckStatusFlag(0x0100));
    b.SetStatusAndFlags(0x0200 | 20);
    b.SetEmpty();
    EXPECT_EQ(b.GetStatusAndFlags(), 0x0200 | 10);
    unsigned short s = 0;
    int v = 0;
    b.GetDataValue(700, v, s, CDataBlock::kByUseAs);
    EXPECT_EQ(s, 10);
}

TEST(CDataBlock, RemoveDataElementKeepsOrderAndResetsValues)
{
    CDataBlock b = MakeBlock({{0, ET_INT, 4, 0, 800}, {1, ET_DOUBLE, 8, 0, 801}, {2, ET_SHORT, 2, 0, 802}});
    b.SetDataValue(800, 5, 0, CDataBlock::kByUseAs);
    EXPECT_FALSE(b.RemoveDataElement(3));
    EXPECT_FALSE(b.RemoveDataElement(-1));
    ASSERT_TRUE(b.RemoveDataElement(1));
    EXPECT_EQ(b.GetLength(), 2u);
    EXPECT_EQ(b.GetDataSize(), 6u);
    unsigned short index = 0;
    EXPECT_TRUE(b.LookUp(802, CDataBlock::kByUseAs, index));
    EXPECT_EQ(index, 1);
    int v = 9;
    unsigned short s = 0;
    ASSERT_TRUE(b.GetDataValue(800, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(b.RemoveDataElement(0));
    ASSERT_TRUE(b.RemoveDataElement(0));
    EXPECT_EQ(b.GetLength(), 0u);
    EXPECT_EQ(b.GetDataSize(), 0u);
    EXPECT_FALSE(b.RemoveDataElement(0));
}

TEST(CDataBlock, AssignmentReusesTheBufferOfAnEqualLayout)
{
    CDataBlock src = MakeBlock({{0, ET_INT, 4, 0, 900}, {1, ET_STRING, 3, 0, 901}});
    src.SetTime(12.5);
    src.SetStatusAndFlags(0x0100);
    src.SetDataValue(900, 31, 20, CDataBlock::kByUseAs);
    src.SetDataValue(901, "abc", 0, CDataBlock::kByUseAs);

    CDataBlock same = MakeBlock({{5, ET_UINT, 4, 0, 100}, {6, ET_STRING, 3, 0, 101}}, 7);
    const unsigned char* before = DataOf(same, 0);
    same = src;
    EXPECT_EQ(DataOf(same, 0), before);
    EXPECT_NE(DataOf(same, 0), DataOf(src, 0));
    EXPECT_EQ(same.GetTime(), 12.5);
    EXPECT_EQ(same.GetStatusAndFlags(), 0x0100);
    EXPECT_EQ(same.GetDataId(), src.GetDataId());
    int v = 0;
    unsigned short s = 0;
    ASSERT_TRUE(same.GetDataValue(900, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 31);
    EXPECT_EQ(s, 20);
    CString text;
    ASSERT_TRUE(same.GetDataValue(901, text, s, CDataBlock::kByUseAs));
    EXPECT_EQ(text, "abc");

    CDataBlock other = MakeBlock({{0, ET_DOUBLE, 8, 0, 100}});
    other = src;
    EXPECT_EQ(other.GetLength(), 2u);
    EXPECT_EQ(other.GetDataSize(), 7u);
    ASSERT_TRUE(other.GetDataValue(900, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 31);

    const CDataBlock copy(src);
    ASSERT_TRUE(copy.GetDataValue(901, text, s, CDataBlock::kByUseAs));
    EXPECT_EQ(text, "abc");
    CDataBlock& self = same;
    same = self;
    ASSERT_TRUE(same.GetDataValue(900, v, s, CDataBlock::kByUseAs));
    EXPECT_EQ(v, 31);

    CDataBlock empty;
    other = empty;
    EXPECT_EQ(other.GetLength(), 0u);
    EXPECT_EQ(other.GetDataSize(), 0u);
}

TEST(CDataBlock, ComparesByTimeOnly)
{
    CDataBlock a = MakeBlock({{0, ET_INT, 4, 0, 100}});
    CDataBlock b;
    a.SetTime(5);
    b.SetTime(5);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a > b);
    EXPECT_TRUE(a <= b);
    a.SetTime(6);
    EXPECT_TRUE(a > b);
    EXPECT_FALSE(a <= b);
    a.SetTime(std::nan(""));
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(a > b);
    EXPECT_FALSE(a <= b);
}
