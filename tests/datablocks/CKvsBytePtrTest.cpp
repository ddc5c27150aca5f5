#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// An element over a byte area of its own; offset 1 makes the area unaligned on purpose.
struct Area
{
    alignas(16) unsigned char bytes[256] = {};
    CKvsBytePtr Element(unsigned short type, unsigned int length, size_t offset = 1)
    {
        CKvsBytePtr e(type, length);
        e.SetDataPtr(bytes + offset);
        return e;
    }
};

template <typename T>
void ExpectRoundTrip(unsigned short type, T value, std::vector<unsigned char> stored)
{
    Area a;
    CKvsBytePtr e = a.Element(type, static_cast<unsigned int>(stored.size()));
    ASSERT_TRUE(e.SetValue(value)) << type;
    EXPECT_EQ(std::vector<unsigned char>(a.bytes + 1, a.bytes + 1 + stored.size()), stored) << type;
    T out{};
    ASSERT_TRUE(e.GetValue(out)) << type;
    EXPECT_EQ(out, value) << type;
}

} // namespace

TEST(CKvsBytePtr, ConstructorsSetTheHeaderDefaults)
{
    const CKvsBytePtr d;
    EXPECT_EQ(d.GetType(), 0);
    EXPECT_EQ(d.GetLength(), 0u);
    EXPECT_EQ(d.GetFormat(), 1);
    EXPECT_EQ(d.GetStatus(), 0);
    EXPECT_EQ(d.GetDataPtr(), nullptr);
    const CKvsBytePtr t(ET_DOUBLE_ARRAY, 24);
    EXPECT_EQ(t.GetType(), ET_DOUBLE_ARRAY);
    EXPECT_EQ(t.GetLength(), 24u);
    EXPECT_EQ(t.GetFormat(), 1);
    EXPECT_EQ(t.GetId(), 0);
    EXPECT_EQ(t.GetUseAs(), 0);
}

TEST(CKvsBytePtr, ScalarsRoundTripLittleEndianAtUnalignedAddresses)
{
    ExpectRoundTrip<bool>(ET_BOOL, true, {1});
    ExpectRoundTrip<char>(ET_CHAR, static_cast<char>(-3), {0xFD});
    ExpectRoundTrip<unsigned char>(ET_UCHAR, 200, {200});
    ExpectRoundTrip<int>(ET_INT, -2, {0xFE, 0xFF, 0xFF, 0xFF});
    ExpectRoundTrip<unsigned int>(ET_UINT, 0x01020304u, {4, 3, 2, 1});
    ExpectRoundTrip<short>(ET_SHORT, -2, {0xFE, 0xFF});
    ExpectRoundTrip<unsigned short>(ET_USHORT, 0xABCD, {0xCD, 0xAB});
    ExpectRoundTrip<long>(ET_LONG, -5L, {0xFB, 0xFF, 0xFF, 0xFF});
    ExpectRoundTrip<unsigned long>(ET_ULONG, 0xFFFFFFFFul, {0xFF, 0xFF, 0xFF, 0xFF});
    ExpectRoundTrip<unsigned long long>(ET_UINT64, 0x0102030405060708ull, {8, 7, 6, 5, 4, 3, 2, 1});
    ExpectRoundTrip<float>(ET_FLOAT, 1.0f, {0, 0, 0x80, 0x3F});
    ExpectRoundTrip<double>(ET_DOUBLE, 1.0, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
}

TEST(CKvsBytePtr, TypedAccessNeverConvertsBetweenTypes)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_UINT, 4);
    EXPECT_FALSE(e.SetValue(3));
    EXPECT_TRUE(e.SetValue(3u));
    int i = 7;
    EXPECT_FALSE(e.GetValue(i));
    EXPECT_EQ(i, 7);
    CKvsBytePtr l = a.Element(ET_LONG, 4, 8);
    EXPECT_FALSE(l.SetValue(1));
    EXPECT_TRUE(l.SetValue(1L));
    CKvsBytePtr noData(ET_INT, 4);
    EXPECT_FALSE(noData.SetValue(1));
    EXPECT_FALSE(noData.GetValue(i));
}

TEST(CKvsBytePtr, LongElementsAreThirtyTwoBitAndRefuseWiderValues)
{
    Area a;
    std::memset(a.bytes, 0xEE, sizeof a.bytes);
    CKvsBytePtr l = a.Element(ET_LONG, 4);
    EXPECT_FALSE(l.SetValue(static_cast<long>(INT32_MAX) + 1));
    EXPECT_FALSE(l.SetValue(static_cast<long>(INT32_MIN) - 1));
    EXPECT_EQ(a.bytes[1], 0xEE); // nothing written
    EXPECT_TRUE(l.SetValue(static_cast<long>(INT32_MIN)));
    long out = 0;
    ASSERT_TRUE(l.GetValue(out));
    EXPECT_EQ(out, INT32_MIN);
    EXPECT_EQ(a.bytes[5], 0xEE); // only four bytes written

    CKvsBytePtr u = a.Element(ET_ULONG, 4, 16);
    EXPECT_FALSE(u.SetValue(static_cast<unsigned long>(UINT32_MAX) + 1));
    EXPECT_TRUE(u.SetValue(static_cast<unsigned long>(UINT32_MAX)));
    double d = 0;
    ASSERT_TRUE(u.GetValueInDouble(d, false));
    EXPECT_EQ(d, 4294967295.0);
}

TEST(CKvsBytePtr, AccessorsRefuseAreasShorterThanTheirItem)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_DOUBLE, 4);
    EXPECT_FALSE(e.SetValue(1.0));
    double d = 5;
    EXPECT_FALSE(e.GetValueInDouble(d, false));
    CKvsBytePtr info = a.Element(ET_DATAINFO, 16);
    EXPECT_FALSE(info.SetValue(CDataInfo()));
}

TEST(CKvsBytePtr, GetValueInDoubleConvertsScalarsByTypeCode)
{
    Area a;
    double d = 9;
    CKvsBytePtr c = a.Element(ET_CHAR, 1);
    c.SetValue(static_cast<char>(-100));
    ASSERT_TRUE(c.GetValueInDouble(d, false));
    EXPECT_EQ(d, -100.0);
    CKvsBytePtr u = a.Element(ET_UINT, 4);
    u.SetValue(0x80000000u);
    ASSERT_TRUE(u.GetValueInDouble(d, false));
    EXPECT_EQ(d, 2147483648.0);
    CKvsBytePtr b = a.Element(ET_BOOL, 1);
    a.bytes[1] = 7; // any non-zero byte reads as true
    ASSERT_TRUE(b.GetValueInDouble(d, false));
    EXPECT_EQ(d, 1.0);
    CKvsBytePtr f = a.Element(ET_FLOAT, 4);
    f.SetValue(0.5f);
    ASSERT_TRUE(f.GetValueInDouble(d, true));
    EXPECT_EQ(d, 0.5); // only doubles are converted to display units

    CKvsBytePtr depth = a.Element(ET_DOUBLE, 8);
    depth.SetFormat(4);
    depth.SetValue(12.5);
    ASSERT_TRUE(depth.GetValueInDouble(d, true));
    EXPECT_EQ(d, CKvsType::m_unitCnv.ConvertUnit(CKvsUnitCnv::ConvertFMTtoUNIT(4), 12.5));

    CKvsBytePtr big = a.Element(ET_UINT64, 8);
    big.SetValue(5ull);
    EXPECT_FALSE(big.GetValueInDouble(d, false));
    EXPECT_EQ(d, 0.0);
    CKvsBytePtr text = a.Element(ET_STRING, 3);
    d = 4;
    EXPECT_FALSE(text.GetValueInDouble(d, false));
    EXPECT_EQ(d, 0.0);
}

TEST(CKvsBytePtr, SetValueFromDoubleClampsThenTruncates)
{
    struct Case
    {
        unsigned short type;
        double in;
        double stored;
    };
    const Case cases[] = {
        {ET_USHORT, -1.7, 0},          {ET_SHORT, -1.7, -1},          {ET_INT, 1e10, 2147483647},
        {ET_INT, -1e10, -2147483648.0}, {ET_LONG, 2.9, 2},             {ET_UINT, 5e9, 4294967295.0},
        {ET_ULONG, -3, 0},             {ET_CHAR, 300, 127},           {ET_CHAR, -300, -128},
        {ET_UCHAR, 255.9, 255},        {ET_SHORT, 40000, 32767},      {ET_USHORT, 65535.5, 65535},
        {ET_FLOAT, 0.1, static_cast<double>(0.1f)}, {ET_DOUBLE, -1e300, -1e300},
        {ET_INT, std::nan(""), 0},     {ET_UCHAR, std::nan(""), 0},
    };
    for (const Case& c : cases) {
        Area a;
        CKvsBytePtr e = a.Element(c.type, 8);
        ASSERT_TRUE(e.SetValueFromDouble(c.in)) << c.type << " " << c.in;
        double out = -42;
        ASSERT_TRUE(e.GetValueInDouble(out, false));
        EXPECT_EQ(out, c.stored) << c.type << " " << c.in;
    }
    Area a;
    CKvsBytePtr b = a.Element(ET_BOOL, 1);
    bool v = true;
    ASSERT_TRUE(b.SetValueFromDouble(0.0));
    b.GetValue(v);
    EXPECT_FALSE(v);
    ASSERT_TRUE(b.SetValueFromDouble(-0.5));
    b.GetValue(v);
    EXPECT_TRUE(v);
    ASSERT_TRUE(b.SetValueFromDouble(std::nan("")));
    b.GetValue(v);
    EXPECT_TRUE(v);

    for (unsigned short t : {ET_STRING, ET_DOUBLE_ARRAY, ET_DATAINFO, ET_UINT64, ET_STRING_ARRAY})
        EXPECT_FALSE(a.Element(t, 20).SetValueFromDouble(1.0)) << t;
    CKvsBytePtr noData(ET_INT, 4);
    EXPECT_FALSE(noData.SetValueFromDouble(1.0));
}

TEST(CKvsBytePtr, ArrayViewsPointAtTheAreaAndCountWholeItems)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_DOUBLE_ARRAY, 24, 8); // aligned, so the view may be read
    const double in[3] = {1.5, -2.5, 4.0};
    ASSERT_TRUE(e.SetValue(in, 3));
    double* items = nullptr;
    int count = 0;
    ASSERT_TRUE(e.GetValue(items, count));
    EXPECT_EQ(reinterpret_cast<unsigned char*>(items), a.bytes + 8);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(items[2], 4.0);
    double out = 99;
    EXPECT_FALSE(e.GetValueInDouble(3, out, false));
    EXPECT_EQ(out, 99);
    ASSERT_TRUE(e.GetValueInDouble(2, out, false));
    EXPECT_EQ(out, 4.0);

    int* ints = nullptr;
    EXPECT_FALSE(e.GetValue(ints, count)); // 607 is not an int array
    EXPECT_FALSE(e.SetValue(in, 4));       // would overrun the element

    Triangle* tri = nullptr;
    EXPECT_TRUE(a.Element(ET_TRIANGLE_ARRAY, 160).GetValue(tri, count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(a.Element(ET_TRIANGLE_ARRAY, 170).GetValue(tri, count));
    EXPECT_EQ(count, 2);
}

TEST(CKvsBytePtr, ArrayItemsConvertToDoubleByTypeCode)
{
    Area a;
    CKvsBytePtr c = a.Element(ET_CHAR_ARRAY, 2);
    const char chars[2] = {'A', static_cast<char>(-1)};
    c.SetValue(chars, 2);
    double d = 0;
    ASSERT_TRUE(c.GetValueInDouble(1, d, false));
    EXPECT_EQ(d, -1.0);
    CKvsBytePtr uc = a.Element(ET_UCHAR_ARRAY, 2, 3);
    const unsigned char uchars[2] = {1, 255};
    uc.SetValue(uchars, 2);
    ASSERT_TRUE(uc.GetValueInDouble(1, d, false));
    EXPECT_EQ(d, 255.0);
    CKvsBytePtr s = a.Element(ET_USHORT_ARRAY, 4, 5);
    const unsigned short shorts[2] = {1, 65535};
    s.SetValue(shorts, 2);
    ASSERT_TRUE(s.GetValueInDouble(1, d, false));
    EXPECT_EQ(d, 65535.0);
    CKvsBytePtr tri = a.Element(ET_TRIANGLE_ARRAY, 80, 16);
    EXPECT_FALSE(tri.GetValueInDouble(0, d, false));
}

TEST(CKvsBytePtr, LongArraysUseFourByteItems)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_LONG_ARRAY, 12, 4);
    const long in[3] = {-1, 7, INT32_MAX};
    ASSERT_TRUE(e.SetValue(in, 3));
    const unsigned char stored[12] = {0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(std::memcmp(a.bytes + 4, stored, 12), 0);
    kvs::Long32* view = nullptr;
    int count = 0;
    ASSERT_TRUE(e.GetValue(view, count));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(static_cast<long>(view[0]), -1);
    std::vector<long> copy;
    ASSERT_TRUE(e.GetValue(copy));
    EXPECT_EQ(copy, std::vector<long>(in, in + 3));
    double d = 0;
    ASSERT_TRUE(e.GetValueInDouble(0, d, false));
    EXPECT_EQ(d, -1.0);

    const long tooWide[2] = {1, static_cast<long>(INT32_MAX) + 1};
    EXPECT_FALSE(e.SetValue(tooWide, 2));
    EXPECT_EQ(std::memcmp(a.bytes + 4, stored, 12), 0); // nothing written

    CKvsBytePtr u = a.Element(ET_ULONG_ARRAY, 8, 20);
    const unsigned long uin[2] = {0xFFFFFFFFul, 2};
    ASSERT_TRUE(u.SetValue(uin, 2));
    std::vector<unsigned long> ucopy;
    ASSERT_TRUE(u.GetValue(ucopy));
    EXPECT_EQ(ucopy, std::vector<unsigned long>(uin, uin + 2));
    const unsigned long uwide[1] = {0x100000000ul};
    EXPECT_FALSE(u.SetValue(uwide, 1));
    EXPECT_FALSE(e.GetValue(ucopy)); // 605 is not an unsigned long array
}

TEST(CKvsBytePtr, StringsHoldExactlyLengthCharacters)
{
    Area a;
    std::memset(a.bytes, 'x', sizeof a.bytes);
    CKvsBytePtr e = a.Element(ET_STRING, 5);
    ASSERT_TRUE(e.SetValue(CString("abcde")));
    EXPECT_EQ(a.bytes[6], 'x'); // no terminator
    CString out;
    ASSERT_TRUE(e.GetValue(out));
    EXPECT_EQ(out, "abcde");
    ASSERT_TRUE(e.SetValue(CString("ab")));
    ASSERT_TRUE(e.GetValue(out));
    EXPECT_EQ(out.GetLength(), 5);
    EXPECT_EQ(std::memcmp(a.bytes + 1, "ab\0\0\0", 5), 0);
    ASSERT_TRUE(e.SetValue("abcdefgh"));
    ASSERT_TRUE(e.GetValue(out));
    EXPECT_EQ(out, "abcde");
    EXPECT_EQ(a.bytes[6], 'x');
    CString through("zz");
    EXPECT_TRUE(e.SetValueStr(through));
    EXPECT_FALSE(a.Element(ET_CHAR_ARRAY, 5).SetValue(CString("a")));
}

TEST(CKvsBytePtr, DataInfoIsFiveZeroExtendedWords)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_DATAINFO, 20);
    // CDataId arguments: data type, group id, device number, vessel id.
    const CDataInfo info(CDataId(1, 1011, 3, 0xFFFF), 7);
    ASSERT_TRUE(e.SetValue(info));
    const unsigned char stored[20] = {1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xF3, 3, 0, 0, 3, 0, 0, 0, 7, 0, 0, 0};
    EXPECT_EQ(std::memcmp(a.bytes + 1, stored, 20), 0);
    CDataInfo out;
    ASSERT_TRUE(e.GetValue(out));
    EXPECT_EQ(out, info);
}

TEST(CKvsBytePtr, StringListsUseTheCountedLayout)
{
    Area a;
    CStringArray list;
    list.Add("ab");
    list.Add("");
    list.Add("xyz");
    CKvsBytePtr e = a.Element(ET_STRING_ARRAY, 4 + 6 + 4 + 7);
    ASSERT_TRUE(e.SetValue(list));
    const unsigned char stored[21] = {3, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 3, 0, 0, 0, 'x', 'y', 'z'};
    EXPECT_EQ(std::memcmp(a.bytes + 1, stored, 21), 0);
    CStringArray out;
    out.Add("old");
    ASSERT_TRUE(e.GetValue(out));
    EXPECT_EQ(out, list);

    CKvsBytePtr tooSmall = a.Element(ET_STRING_ARRAY, 20, 40);
    EXPECT_FALSE(tooSmall.SetValue(list));

    CKvsBytePtr empty = a.Element(ET_STRING_ARRAY, 4, 80);
    ASSERT_TRUE(empty.SetValue(CStringArray()));
    EXPECT_FALSE(empty.GetValue(out));
    EXPECT_EQ(out, list); // untouched

    // Counts that run past the area are refused, not followed.
    CKvsBytePtr corrupt = a.Element(ET_STRING_ARRAY, 10, 100);
    const unsigned char bad[10] = {1, 0, 0, 0, 200, 0, 0, 0, 'a', 'b'};
    std::memcpy(a.bytes + 100, bad, 10);
    EXPECT_FALSE(corrupt.GetValue(out));
    const unsigned char many[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    std::memcpy(a.bytes + 100, many, 10);
    EXPECT_FALSE(corrupt.GetValue(out));
    EXPECT_EQ(out, list);
}

TEST(CKvsBytePtr, CopiesShareTheDataArea)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_INT, 4);
    e.SetId(3);
    e.SetUseAs(505);
    e.SetGroupId(1011);
    e.SetStatus(20);
    CKvsBytePtr copy(e);
    EXPECT_EQ(copy.GetDataPtr(), e.GetDataPtr());
    EXPECT_EQ(copy.GetUseAs(), 505);
    EXPECT_EQ(copy.GetGroupId(), 1011);
    EXPECT_EQ(copy.GetStatus(), 20);
    copy.SetValue(41);
    int v = 0;
    e.GetValue(v);
    EXPECT_EQ(v, 41);

    CKvsBytePtr assigned;
    assigned = e;
    EXPECT_EQ(assigned.GetId(), 3);
    std::unique_ptr<CKvsType> heap(e.MakeCopy());
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->SetInt(42), 1);
    e.GetValue(v);
    EXPECT_EQ(v, 42);
}

TEST(CKvsBytePtr, ValueInterfaceReadsOnlyIntBoolAndDouble)
{
    Area a;
    CKvsBytePtr i = a.Element(ET_INT, 4);
    CKvsType& t = i;
    EXPECT_EQ(t.SetInt(5), 1);
    int iv = 0;
    EXPECT_EQ(t.GetInt(iv), 1);
    EXPECT_EQ(iv, 5);
    double dv = 0;
    EXPECT_EQ(t.GetDouble(dv), 0);
    EXPECT_EQ(t.SetDouble(1.0), 0);
    unsigned int uv = 0;
    EXPECT_EQ(t.GetUInt(uv), 0);

    CKvsBytePtr d = a.Element(ET_DOUBLE, 8, 8);
    EXPECT_EQ(d.SetDouble(2.5), 1);
    EXPECT_EQ(d.GetDouble(dv), 1);
    EXPECT_EQ(dv, 2.5);
    EXPECT_EQ(d.GetInt(iv), 0);

    CKvsBytePtr b = a.Element(ET_BOOL, 1, 20);
    bool bv = false;
    EXPECT_EQ(b.SetBool(true), 1);
    EXPECT_EQ(b.GetBool(bv), 1);
    EXPECT_TRUE(bv);
    CKvsBytePtr noData(ET_BOOL, 1);
    EXPECT_EQ(noData.GetBool(bv), 0);
}
