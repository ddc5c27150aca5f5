#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using kvs_test::At;
using kvs_test::Block;
using kvs_test::DataOf;
using kvs_test::Get;
constexpr unsigned short kUseAs = CDataBlock::kByUseAs;

TEST(CDataBlock, LayoutPlacesZeroedValuesBackToBackAndFailuresAreResults)
{
    EXPECT_EQ(CDataBlock().GetStatusAndFlags(), 40);
    const CDataBlock b = Block({{ET_DOUBLE, 8, 4, 120}, {ET_SHORT, 2, 0, 121}, {ET_INT, 4, 0, 122}});
    EXPECT_EQ(b.GetDataSize(), 14u);
    const unsigned char* base = DataOf(b, 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(std::vector<const unsigned char*>({DataOf(b, 1), DataOf(b, 2)}),
              std::vector<const unsigned char*>({base + 8, base + 10}));
    EXPECT_EQ(std::vector<unsigned char>(base, base + 14), std::vector<unsigned char>(14, 0));
    EXPECT_EQ(std::vector<int>({At(b, 2)->GetStatus(), At(b, 2)->GetGroupId(), At(b, 2)->GetUseAs()}),
              std::vector<int>({40, 1011, 122}));

    CDataBlock c;
    EXPECT_FALSE(c.InitDataElement(0, 0, ET_INT, 4, 0, 0)); // no table
    EXPECT_FALSE(c.Allocate(65536));
    EXPECT_EQ(c.GetLength(), 0u);
    ASSERT_TRUE(c.Allocate(2));
    EXPECT_FALSE(c.InitDataElement(2, 0, ET_INT, 4, 0, 0));
    EXPECT_FALSE(c.InitDataElement(-1, 0, ET_INT, 4, 0, 0));
    // Elements of length 0 only: no buffer, null data pointers, still a success.
    EXPECT_TRUE(c.Init());
    EXPECT_EQ(c.GetDataSize(), 0u);
    EXPECT_EQ(DataOf(c, 0), nullptr);
    int v = 0;
    unsigned short s = 0;
    c.InitDataElement(0, 0, ET_INT, 0, 0, 0);
    EXPECT_FALSE(c.GetDataValue(0, v, s, CDataBlock::kByPosition));
    EXPECT_TRUE(c.Allocate(65535));
    EXPECT_EQ(c.GetLength(), 65535u);
}

TEST(CDataBlock, LookUpByPositionIdAndUseAs)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 150, 1}, {ET_INT, 4, 0, 151, 2}, {ET_INT, 4, 0, 152, 5},
                          {ET_INT, 4, 0, 150, 3}, {ET_INT, 4, 0, 153, 4}, {ET_INT, 4, 0, 154, 0},
                          {ET_INT, 4, 0, 155, 6}, {ET_DOUBLE, 8, 0, 156, 5}});
    const struct { unsigned short key, mode; int index; } cases[] = {
        {150, CDataBlock::kByPosition, 0}, // 100 and above is a use-as code whatever the mode
        {150, 7, 0},
        {5, CDataBlock::kById, 2}, // duplicates resolve to the lower position
        {5, CDataBlock::kByPosition, 5}, {153, kUseAs, 4}, {7, CDataBlock::kByPosition, 7},
        {8, CDataBlock::kByPosition, -1}, {9, CDataBlock::kById, -1}, {157, kUseAs, -1}, {1, 3, -1},
        {1, kUseAs, -1}, // below 100 the use-as mode still looks for use-as 1
    };
    for (const auto& c : cases) {
        unsigned short index = 99;
        EXPECT_EQ(b.LookUp(c.key, c.mode, index), c.index >= 0) << c.key << " mode " << c.mode;
        EXPECT_EQ(index, c.index >= 0 ? c.index : 99) << c.key << " mode " << c.mode;
    }
    unsigned short id = 0;
    ASSERT_TRUE(b.GetDataId(7, id));
    EXPECT_EQ(id, 5);
    CKvsBytePtr* ptr = nullptr;
    EXPECT_FALSE(b.GetDataId(8, id));
    EXPECT_FALSE(b.GetDataIdx(8, ptr));
    ASSERT_TRUE(b.GetData(156, ptr, kUseAs));
    ASSERT_TRUE(ptr->SetValue(3.25)); // the element writes into the block
    EXPECT_EQ(Get<double>(b, 156), 3.25);
    EXPECT_TRUE(b.SetDataStatus(6, 0, CDataBlock::kById));
    EXPECT_FALSE(b.SetDataStatus(9, 0, CDataBlock::kById));
    EXPECT_EQ(At(b, 6)->GetStatus(), 0);
}

TEST(CDataBlock, GettersDeliverTheStatusWheneverTheElementIsFoundAndSettersSetItWhenStored)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 300}, {ET_DOUBLE_ARRAY, 16, 0, 301}, {ET_USHORT, 2, 0, 400},
                          {ET_DATAINFO, 20, 0, 401}, {ET_UINT64, 8, 0, 402}});
    ASSERT_TRUE(b.SetDataValue(300, 12, 20, kUseAs));
    unsigned short s = 0;
    EXPECT_EQ(Get<int>(b, 300, kUseAs, &s), 12);
    EXPECT_EQ(s, 20);
    float f = 0;
    s = 0;
    EXPECT_FALSE(b.GetDataValue(300, f, s, kUseAs)); // type mismatch
    EXPECT_EQ(s, 20);
    int v = 0;
    s = 77;
    EXPECT_FALSE(b.GetDataValue(302, v, s, kUseAs)); // not found
    EXPECT_EQ(s, 77);
    double* items = nullptr;
    int count = 0;
    ASSERT_TRUE(b.GetDataValue(301, items, count, s, kUseAs));
    EXPECT_EQ(count * 100 + s, 240);
    double d = 0;
    ASSERT_TRUE(b.GetDataAsDouble(300, d, s, kUseAs, false));
    EXPECT_EQ(d, 12.0);
    EXPECT_TRUE(b.GetDataAsDouble(301, 1, d, s, kUseAs, false));
    EXPECT_FALSE(b.GetDataAsDouble(301, 2, d, s, kUseAs, false));

    EXPECT_FALSE(b.SetDataValue(400, 5, 0, kUseAs)); // int is not unsigned short
    Get<unsigned short>(b, 400, kUseAs, &s);
    EXPECT_EQ(s, 40);
    EXPECT_TRUE(b.SetDataValue(400, static_cast<unsigned short>(5), 10, kUseAs));
    EXPECT_EQ(Get<unsigned short>(b, 400, kUseAs, &s) * 100 + s, 510);
    EXPECT_TRUE(b.SetDataFromDouble(400, -3.0, 0, kUseAs));
    EXPECT_EQ(Get<unsigned short>(b, 400, kUseAs, &s) * 100 + s, 0);
    EXPECT_FALSE(b.SetDataFromDouble(401, 1.0, 0, kUseAs));
    const CDataInfo info(CDataId(4, 1011, 1, 2), 9);
    EXPECT_TRUE(b.SetDataValue(401, info, 0, kUseAs));
    EXPECT_EQ(Get<CDataInfo>(b, 401), info);
    EXPECT_TRUE(b.SetDataValue(402, 1ull << 40, 0, kUseAs));
    EXPECT_EQ(Get<unsigned long long>(b, 402), 1ull << 40);
    EXPECT_FALSE(b.SetDataValue(403, 1ull, 0, kUseAs));
}

TEST(CDataBlock, ResizingSettersMoveLaterElementsAndResizeToExactlyTheItemsGiven)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 500}, {ET_STRING, 10, 0, 501}, {ET_DOUBLE, 8, 0, 502}, {ET_SHORT, 2, 0, 503}});
    ASSERT_TRUE(b.SetDataValue(500, 11, 0, kUseAs));
    ASSERT_TRUE(b.SetDataValue(502, 2.5, 0, kUseAs));
    ASSERT_TRUE(b.SetDataValue(503, static_cast<short>(-4), 0, kUseAs));
    const auto offset = [&b](unsigned short i) { return DataOf(b, i) - DataOf(b, 0); };
    EXPECT_EQ(offset(2) * 100 + offset(3), 1422);
    ASSERT_TRUE(b.SetDataValue(501, CString("abcd"), 10, kUseAs));
    EXPECT_EQ(b.GetDataSize(), 18u);
    EXPECT_EQ(offset(2) * 100 + offset(3), 816); // six bytes down
    unsigned short s = 0;
    EXPECT_EQ(Get<CString>(b, 501, kUseAs, &s), "abcd");
    EXPECT_EQ(s, 10);
    EXPECT_EQ(Get<int>(b, 500), 11);
    EXPECT_EQ(Get<double>(b, 502), 2.5);
    EXPECT_EQ(Get<short>(b, 503, kUseAs, &s), -4);
    EXPECT_EQ(s, 0);

    b = Block({{ET_DOUBLE_ARRAY, 8, 0, 600}, {ET_INT, 4, 0, 601}, {ET_STRING_ARRAY, 4, 0, 602},
               {ET_LONG_ARRAY, 4, 0, 603}, {ET_INT_ARRAY, 4, 0, 604}});
    ASSERT_TRUE(b.SetDataValue(601, 77, 0, kUseAs));
    const int ints[3] = {1, 2, 3};
    EXPECT_FALSE(b.SetDataValue(600, ints, 3, 0, kUseAs)); // int array into a double array
    EXPECT_EQ(b.GetDataSize(), 24u);                      // not resized
    const double ds[4] = {1, 2, 3, 4};
    ASSERT_TRUE(b.SetDataValue(600, ds, 4, 0, kUseAs));
    EXPECT_EQ(b.GetDataSize(), 48u);
    double d = 0;
    s = 9;
    ASSERT_TRUE(b.GetDataAsDouble(600, 3, d, s, kUseAs, false));
    EXPECT_EQ(d * 100 + s, 400);
    EXPECT_EQ(Get<int>(b, 601), 77);
    EXPECT_FALSE(b.SetDataValue(600, ds, -1, 0, kUseAs));
    CStringArray list;
    list.Add("one");
    list.Add("three");
    ASSERT_TRUE(b.SetDataValue(602, list, 0, kUseAs));
    EXPECT_EQ(At(b, 2)->GetLength(), 4u + 7u + 9u);
    EXPECT_EQ(Get<CStringArray>(b, 602), list);
    const long longs[2] = {-9, static_cast<long>(INT32_MAX) + 1};
    EXPECT_FALSE(b.SetDataValue(603, longs, 2, 0, kUseAs)); // refused before any resize
    EXPECT_EQ(At(b, 3)->GetLength(), 4u);
    ASSERT_TRUE(b.SetDataValue(603, longs, 1, 0, kUseAs));
    EXPECT_EQ(Get<std::vector<long>>(b, 603), std::vector<long>{-9});
    // 2^30 ints are 2^32 bytes, one past the largest data size: refused before anything is
    // allocated or read, the layout as it was.
    const unsigned int size = b.GetDataSize();
    EXPECT_FALSE(b.SetDataValue(604, ints, 1 << 30, 0, kUseAs));
    EXPECT_EQ(b.GetDataSize(), size);
    EXPECT_EQ(At(b, 4)->GetLength(), 4u);
}

TEST(CDataBlock, StatusWordKeepsStatusAndFlagsApart)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 700}});
    b.SetStatusFlag(0x0100);
    b.SetStatus(0x47);
    EXPECT_EQ(b.GetStatusAndFlags(), 0x0107);
    EXPECT_EQ(b.GetStatus() * 0x1000 + b.GetStatusFlag(), 0x7100);
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
    EXPECT_EQ(At(b, 0)->GetStatus(), 10);
}

TEST(CDataBlock, RemoveDataElementKeepsOrderAndResetsValues)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 800}, {ET_DOUBLE, 8, 0, 801}, {ET_SHORT, 2, 0, 802}});
    b.SetDataValue(800, 5, 0, kUseAs);
    EXPECT_FALSE(b.RemoveDataElement(3));
    EXPECT_FALSE(b.RemoveDataElement(-1));
    ASSERT_TRUE(b.RemoveDataElement(1));
    EXPECT_EQ(b.GetLength() * 100 + b.GetDataSize(), 206u);
    unsigned short index = 0;
    EXPECT_TRUE(b.LookUp(802, kUseAs, index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(Get<int>(b, 800), 0);
    ASSERT_TRUE(b.RemoveDataElement(0));
    ASSERT_TRUE(b.RemoveDataElement(0));
    EXPECT_EQ(b.GetLength() + b.GetDataSize(), 0u);
    EXPECT_FALSE(b.RemoveDataElement(0));
}

TEST(CDataBlock, AssignmentReusesTheBufferOfAnEqualLayout)
{
    CDataBlock src = Block({{ET_INT, 4, 0, 900}, {ET_STRING, 3, 0, 901}});
    src.SetTime(12.5);
    src.SetStatusAndFlags(0x0100);
    src.SetDataValue(900, 31, 20, kUseAs);
    src.SetDataValue(901, "abc", 0, kUseAs);
    const auto expectSource = [&src](const CDataBlock& b) {
        unsigned short s = 0;
        EXPECT_EQ(Get<int>(b, 900, kUseAs, &s) * 100 + s, 3120);
        EXPECT_EQ(Get<CString>(b, 901), "abc");
        EXPECT_EQ(b.GetTime(), 12.5);
        EXPECT_EQ(b.GetStatusAndFlags(), 0x0100);
        EXPECT_EQ(b.GetDataId(), src.GetDataId());
        EXPECT_EQ(b.GetDataSize(), 7u);
    };
    CDataBlock same = Block({{ET_UINT, 4, 0, 100, 5}, {ET_STRING, 3, 0, 101, 6}}, 7);
    const unsigned char* before = DataOf(same, 0);
    same = src;
    EXPECT_EQ(DataOf(same, 0), before);
    expectSource(same);
    CDataBlock other = Block({{ET_DOUBLE, 8, 0, 100}});
    other = src;
    expectSource(other);
    CDataBlock& self = same;
    same = self;
    expectSource(same);
    other = CDataBlock();
    EXPECT_EQ(other.GetLength() + other.GetDataSize(), 0u);
}

TEST(CDataBlock, ComparesByTimeOnly)
{
    CDataBlock a = Block({{ET_INT, 4, 0, 100}});
    CDataBlock b;
    const struct { double a, b; bool equal, greater, lessOrEqual; } cases[] = {
        {5, 5, true, false, true}, {6, 5, false, true, false}, {4, 5, false, false, true},
        {std::nan(""), 5, false, false, false}};
    for (const auto& c : cases) {
        a.SetTime(c.a);
        b.SetTime(c.b);
        EXPECT_EQ(std::vector<bool>({a == b, a > b, a <= b}), std::vector<bool>({c.equal, c.greater, c.lessOrEqual})) << c.a;
    }
}
