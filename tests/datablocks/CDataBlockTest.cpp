#include "datablocks/TestBlocks.h"

#include <cmath>
#include <vector>

using namespace kvs_test;
constexpr unsigned short kUseAs = CDataBlock::kByUseAs;

TEST(CDataBlock, LayoutPlacesZeroedValuesBackToBackAndFailuresAreResults)
{
    EXPECT_EQ(CDataBlock().GetStatusAndFlags(), 40); // a new block is invalid
    const CDataBlock b = Block({{ET_DOUBLE, 8, 4, 120}, {ET_SHORT, 2, 0, 121}, {ET_INT, 4, 0, 122}});
    const unsigned char* base = DataOf(b, 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(std::tuple(b.GetDataSize(), DataOf(b, 1) - base, DataOf(b, 2) - base, std::vector<unsigned char>(base, base + 14)),
              std::tuple(14u, 8, 10, std::vector<unsigned char>(14, 0)));
    EXPECT_EQ(std::tuple(At(b, 2)->GetStatus(), At(b, 2)->GetGroupId(), At(b, 2)->GetUseAs()), std::tuple(40, 1011, 122));

    CDataBlock c; // no table yet, then one too long
    EXPECT_EQ((std::tuple{c.InitDataElement(0, 0, ET_INT, 4, 0, 0), c.Allocate(65536), c.GetLength(), c.Allocate(2),
                          c.InitDataElement(2, 0, ET_INT, 4, 0, 0), c.InitDataElement(-1, 0, ET_INT, 4, 0, 0)}),
              std::tuple(false, false, 0u, true, false, false));
    // Elements of length 0 only: no buffer, null data pointers, still a success.
    EXPECT_EQ((std::tuple{c.Init(), c.GetDataSize(), DataOf(c, 0)}), std::tuple(true, 0u, static_cast<const unsigned char*>(nullptr)));
    int v = 0;
    unsigned short s = 0;
    c.InitDataElement(0, 0, ET_INT, 0, 0, 0);
    EXPECT_EQ((std::tuple{c.GetDataValue(0, v, s, CDataBlock::kByPosition), c.Allocate(65535), c.GetLength()}),
              std::tuple(false, true, 65535u));
}

TEST(CDataBlock, LookUpByPositionIdAndUseAs)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 150, 1}, {ET_INT, 4, 0, 151, 2}, {ET_INT, 4, 0, 152, 5},
                          {ET_INT, 4, 0, 150, 3}, {ET_INT, 4, 0, 153, 4}, {ET_INT, 4, 0, 154, 0},
                          {ET_INT, 4, 0, 155, 6}, {ET_DOUBLE, 8, 0, 156, 5}});
    const struct { unsigned short key, mode; int index; } cases[] = {
        // 100 and above is a use-as code whatever the mode; duplicates resolve to the lower position
        {150, CDataBlock::kByPosition, 0}, {150, 7, 0}, {5, CDataBlock::kById, 2},
        {5, CDataBlock::kByPosition, 5}, {153, kUseAs, 4}, {7, CDataBlock::kByPosition, 7},
        {8, CDataBlock::kByPosition, -1}, {9, CDataBlock::kById, -1}, {157, kUseAs, -1}, {1, 3, -1},
        {1, kUseAs, -1}, // below 100 the use-as mode still looks for use-as 1
    };
    for (const auto& c : cases) {
        unsigned short index = 99;
        EXPECT_EQ((std::tuple{b.LookUp(c.key, c.mode, index), index}), std::tuple(c.index >= 0, c.index >= 0 ? c.index : 99))
            << c.key << " mode " << c.mode;
    }
    unsigned short id = 0;
    CKvsBytePtr* ptr = nullptr;
    EXPECT_EQ((std::tuple{b.GetDataId(7, id), id}), std::tuple(true, 5));
    EXPECT_EQ(std::tuple(b.GetDataId(8, id), b.GetDataIdx(8, ptr)), std::tuple(false, false));
    ASSERT_TRUE(b.GetData(156, ptr, kUseAs));
    ASSERT_TRUE(ptr->SetValue(3.25)); // the element writes into the block
    EXPECT_EQ((std::tuple{Get<double>(b, 156), b.SetDataStatus(6, 0, CDataBlock::kById), b.SetDataStatus(9, 0, CDataBlock::kById),
                          At(b, 6)->GetStatus()}), std::tuple(3.25, true, false, 0));
}

TEST(CDataBlock, GettersDeliverTheStatusWheneverTheElementIsFoundAndSettersSetItWhenStored)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 300}, {ET_DOUBLE_ARRAY, 16, 0, 301}, {ET_USHORT, 2, 0, 400},
                          {ET_DATAINFO, 20, 0, 401}, {ET_UINT64, 8, 0, 402}});
    EXPECT_EQ((std::tuple{b.SetDataValue(300, 12, 20, kUseAs), WithStatus<int>(b, 300)}), std::tuple(true, std::tuple(12, 20)));
    float f = 0;
    int v = 0, count = 0;
    unsigned short s = 0, missing = 77;
    // a type mismatch still delivers the status; an element not found leaves it
    EXPECT_EQ((std::tuple{b.GetDataValue(300, f, s, kUseAs), s, b.GetDataValue(302, v, missing, kUseAs), missing}),
              std::tuple(false, 20, false, 77));
    double* items = nullptr;
    double d = 0;
    EXPECT_EQ((std::tuple{b.GetDataValue(301, items, count, s, kUseAs), count, s}), std::tuple(true, 2, 40));
    EXPECT_EQ((std::tuple{b.GetDataAsDouble(300, d, s, kUseAs, false), d}), std::tuple(true, 12.0));
    EXPECT_EQ(std::tuple(b.GetDataAsDouble(301, 1, d, s, kUseAs, false), b.GetDataAsDouble(301, 2, d, s, kUseAs, false)),
              std::tuple(true, false));

    using Stored = std::tuple<bool, std::tuple<unsigned short, unsigned short>>;
    // an int is not an unsigned short
    EXPECT_EQ((std::vector<Stored>{{b.SetDataValue(400, 5, 0, kUseAs), WithStatus<unsigned short>(b, 400)},
                                   {b.SetDataValue(400, static_cast<unsigned short>(5), 10, kUseAs), WithStatus<unsigned short>(b, 400)},
                                   {b.SetDataFromDouble(400, -3.0, 0, kUseAs), WithStatus<unsigned short>(b, 400)},
                                   {b.SetDataFromDouble(401, 1.0, 0, kUseAs), {}}}),
              (std::vector<Stored>{{false, {0, 40}}, {true, {5, 10}}, {true, {0, 0}}, {false, {}}}));
    const CDataInfo info(CDataId(4, 1011, 1, 2), 9);
    EXPECT_EQ((std::tuple{b.SetDataValue(401, info, 0, kUseAs), b.SetDataValue(402, 1ull << 40, 0, kUseAs), b.SetDataValue(403, 1ull, 0, kUseAs),
                          Get<CDataInfo>(b, 401), Get<unsigned long long>(b, 402)}), std::tuple(true, true, false, info, 1ull << 40));
}

TEST(CDataBlock, ResizingSettersMoveLaterElementsAndResizeToExactlyTheItemsGiven)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 500}, {ET_STRING, 10, 0, 501}, {ET_DOUBLE, 8, 0, 502}, {ET_SHORT, 2, 0, 503}});
    ASSERT_TRUE(b.SetDataValue(500, 11, 0, kUseAs) && b.SetDataValue(502, 2.5, 0, kUseAs) &&
                b.SetDataValue(503, static_cast<short>(-4), 30, kUseAs));
    const auto offsets = [&b] { return std::tuple(DataOf(b, 2) - DataOf(b, 0), DataOf(b, 3) - DataOf(b, 0), b.GetDataSize()); };
    // six bytes down
    EXPECT_EQ((std::tuple{offsets(), b.SetDataValue(501, CString("abcd"), 10, kUseAs), offsets()}),
              std::tuple(std::tuple(14, 22, 24u), true, std::tuple(8, 16, 18u)));
    EXPECT_EQ(std::tuple(WithStatus<CString>(b, 501), Get<int>(b, 500), Get<double>(b, 502), WithStatus<short>(b, 503)),
              std::tuple(std::tuple(CString("abcd"), 10), 11, 2.5, std::tuple(-4, 30)));

    b = Block({{ET_DOUBLE_ARRAY, 8, 0, 600}, {ET_INT, 4, 0, 601}, {ET_STRING_ARRAY, 4, 0, 602},
               {ET_LONG_ARRAY, 4, 0, 603}, {ET_INT_ARRAY, 4, 0, 604}});
    ASSERT_TRUE(b.SetDataValue(601, 77, 0, kUseAs));
    const int ints[3] = {1, 2, 3};
    const double ds[4] = {1, 2, 3, 4};
    // an int array into a double array: not resized
    EXPECT_EQ((std::tuple{b.SetDataValue(600, ints, 3, 0, kUseAs), b.GetDataSize(), b.SetDataValue(600, ds, 4, 0, kUseAs),
                          b.GetDataSize()}), std::tuple(false, 24u, true, 48u));
    double d = 0;
    unsigned short s = 9;
    EXPECT_EQ((std::tuple{b.GetDataAsDouble(600, 3, d, s, kUseAs, false), d, s, Get<int>(b, 601)}), std::tuple(true, 4.0, 0, 77));
    CStringArray list;
    for (const char* text : {"one", "three"}) list.Add(text);
    EXPECT_EQ((std::tuple{b.SetDataValue(600, ds, -1, 0, kUseAs), b.SetDataValue(602, list, 0, kUseAs), At(b, 2)->GetLength(),
                          Get<CStringArray>(b, 602)}), std::tuple(false, true, 4u + 7u + 9u, list));
    const long longs[2] = {-9, static_cast<long>(INT32_MAX) + 1};
    // refused before any resize
    EXPECT_EQ((std::tuple{b.SetDataValue(603, longs, 2, 0, kUseAs), At(b, 3)->GetLength(), b.SetDataValue(603, longs, 1, 0, kUseAs),
                          Get<std::vector<long>>(b, 603)}), std::tuple(false, 4u, true, std::vector<long>{-9}));
    // 2^30 ints are 2^32 bytes, one past the largest data size: refused before anything is
    // allocated or read, the layout as it was.
    const unsigned int size = b.GetDataSize();
    EXPECT_EQ((std::tuple{b.SetDataValue(604, ints, 1 << 30, 0, kUseAs), b.GetDataSize(), At(b, 4)->GetLength()}),
              std::tuple(false, size, 4u));
}

TEST(CDataBlock, StatusWordKeepsStatusAndFlagsApart)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 700}});
    b.SetStatusFlag(0x0100);
    b.SetStatus(0x47);
    EXPECT_EQ(std::tuple(b.GetStatusAndFlags(), b.GetStatus(), b.GetStatusFlag()), std::tuple(0x0107, 7, 0x0100));
    b.SetStatusFlag(0x0001);
    EXPECT_EQ(b.GetStatus(), 7); // bit 0 was already set
    b.SetStatus(0);
    b.SetStatusFlag(0x0001);
    const bool set = b.CheckStatusFlag(0x0100);
    b.ResetStatusFlag(0x0100);
    EXPECT_EQ(std::tuple(b.GetStatus(), set, b.CheckStatusFlag(0x0100)), std::tuple(1, true, false));
    b.SetStatusAndFlags(0x0200 | 20);
    b.SetEmpty();
    EXPECT_EQ(std::tuple(b.GetStatusAndFlags(), At(b, 0)->GetStatus()), std::tuple(0x0200 | 10, 10));
}

TEST(CDataBlock, RemoveDataElementKeepsOrderAndResetsValues)
{
    CDataBlock b = Block({{ET_INT, 4, 0, 800}, {ET_DOUBLE, 8, 0, 801}, {ET_SHORT, 2, 0, 802}});
    b.SetDataValue(800, 5, 0, kUseAs);
    ASSERT_EQ((std::tuple{b.RemoveDataElement(3), b.RemoveDataElement(-1), b.RemoveDataElement(1)}), std::tuple(false, false, true));
    unsigned short index = 0;
    EXPECT_EQ((std::tuple{b.GetLength(), b.GetDataSize(), b.LookUp(802, kUseAs, index), index, Get<int>(b, 800)}),
              std::tuple(2u, 6u, true, 1, 0));
    EXPECT_EQ((std::tuple{b.RemoveDataElement(0), b.RemoveDataElement(0), b.GetLength(), b.GetDataSize(), b.RemoveDataElement(0)}),
              std::tuple(true, true, 0u, 0u, false));
}

TEST(CDataBlock, AssignmentReusesTheBufferOfAnEqualLayoutAndSwapHandsItOver)
{
    CDataBlock src = Block({{ET_INT, 4, 0, 900}, {ET_STRING, 3, 0, 901}});
    src.SetTime(12.5);
    src.SetStatusAndFlags(0x0100);
    ASSERT_TRUE(src.SetDataValue(900, 31, 20, kUseAs) && src.SetDataValue(901, "abc", 0, kUseAs));
    const auto expectSource = [&src](const CDataBlock& b) {
        EXPECT_EQ(std::tuple(WithStatus<int>(b, 900), Get<CString>(b, 901), b.GetTime(), b.GetStatusAndFlags(), b.GetDataId(),
                             b.GetDataSize()), std::tuple(std::tuple(31, 20), CString("abc"), 12.5, 0x0100, src.GetDataId(), 7u));
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
    EXPECT_EQ(std::tuple(other.GetLength(), other.GetDataSize()), std::tuple(0u, 0u));
    // A swap hands over the buffer itself, the layout with it.
    const unsigned char* held = DataOf(same, 0);
    other.Swap(same);
    EXPECT_EQ(DataOf(other, 0), held);
    expectSource(other);
    EXPECT_EQ(std::tuple(same.GetLength(), same.GetDataSize()), std::tuple(0u, 0u));
}

TEST(CDataBlock, ComparesByTimeOnly)
{
    CDataBlock a = Block({{ET_INT, 4, 0, 100}}), b;
    const struct { double a, b; bool equal, greater, lessOrEqual; } cases[] = {
        {5, 5, true, false, true}, {6, 5, false, true, false}, {4, 5, false, false, true},
        {std::nan(""), 5, false, false, false}};
    for (const auto& c : cases) {
        a.SetTime(c.a);
        b.SetTime(c.b);
        EXPECT_EQ(std::tuple(a == b, a > b, a <= b), std::tuple(c.equal, c.greater, c.lessOrEqual)) << c.a;
    }
}
