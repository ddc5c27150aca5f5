#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

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
    Bytes At(size_t offset, size_t n) const { return Bytes(bytes + offset, bytes + offset + n); }
};

template <typename T>
void ExpectRoundTrip(unsigned short type, T value, Bytes stored)
{
    Area a;
    CKvsBytePtr e = a.Element(type, static_cast<unsigned int>(stored.size()));
    T out{};
    EXPECT_EQ((std::tuple{e.SetValue(value), a.At(1, stored.size()), e.GetValue(out), out}), std::tuple(true, stored, true, value))
        << type;
}

} // namespace

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
    // DataInfo: five zero-extended words; CDataId is data type, group id, device number, vessel id.
    const CDataInfo info(CDataId(1, 1011, 3, 0xFFFF), 7);
    ExpectRoundTrip<CDataInfo>(ET_DATAINFO, info, {1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xF3, 3, 0, 0, 3, 0, 0, 0, 7, 0, 0, 0});
}

TEST(CKvsBytePtr, TypedAccessNeverConvertsAndNeedsRoomAndAnArea)
{
    Area a;
    std::memset(a.bytes, 0xEE, sizeof a.bytes);
    CKvsBytePtr e = a.Element(ET_UINT, 4), noData(ET_INT, 4);
    int i = 7;
    double d = 5;
    // an area shorter than its item, and no area at all
    const bool refused[] = {e.SetValue(3), e.GetValue(i), noData.SetValue(1), noData.GetValue(i),
                            a.Element(ET_DOUBLE, 4).SetValue(1.0), a.Element(ET_DOUBLE, 4).GetValueInDouble(d, false),
                            a.Element(ET_DATAINFO, 16).SetValue(CDataInfo())};
    for (bool r : refused) EXPECT_FALSE(r);
    EXPECT_EQ(std::tuple(i, e.SetValue(3u)), std::tuple(7, true));
    // Long elements are 32 bits and refuse wider values, writing nothing.
    CKvsBytePtr l = a.Element(ET_LONG, 4, 8), u = a.Element(ET_ULONG, 4, 16);
    EXPECT_EQ((std::tuple{l.SetValue(1), l.SetValue(static_cast<long>(INT32_MAX) + 1), l.SetValue(static_cast<long>(INT32_MIN) - 1),
                          u.SetValue(static_cast<unsigned long>(UINT32_MAX) + 1), a.At(8, 1)}), std::tuple(false, false, false, false, Bytes{0xEE}));
    long out = 0; // then only four bytes written
    EXPECT_EQ((std::tuple{l.SetValue(static_cast<long>(INT32_MIN)), u.SetValue(static_cast<unsigned long>(UINT32_MAX)),
                          l.GetValue(out), out, a.At(12, 1)}), std::tuple(true, true, true, long{INT32_MIN}, Bytes{0xEE}));
}

TEST(CKvsBytePtr, ValuesConvertToDoubleByTypeCode)
{
    const struct { unsigned short type; Bytes stored; int index; bool ok; double value; } cases[] = {
        // any non-zero byte reads as true
        {ET_ULONG, {0xFF, 0xFF, 0xFF, 0xFF}, -1, true, 4294967295.0}, {ET_BOOL, {7}, -1, true, 1},
        {ET_FLOAT, {0, 0, 0, 0x3F}, -1, true, 0.5}, {ET_UINT64, {5, 0, 0, 0, 0, 0, 0, 0}, -1, false, 0},
        {ET_STRING, {'a', 'b'}, -1, false, 0},
        {ET_CHAR_ARRAY, {'A', 0xFF}, 1, true, -1}, {ET_UCHAR_ARRAY, {1, 255}, 1, true, 255},
        {ET_USHORT_ARRAY, {1, 0, 0xFF, 0xFF}, 1, true, 65535}, {ET_LONG_ARRAY, {0xFF, 0xFF, 0xFF, 0xFF}, 0, true, -1},
        // the last numeric array type is still read as an array
        {ET_ULONG_ARRAY, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 1, true, 4294967295.0},
        {ET_DOUBLE_ARRAY, Bytes(16, 0), 2, false, 99}, {ET_TRIANGLE_ARRAY, Bytes(80, 0), 0, false, 99},
    };
    for (const auto& c : cases) {
        Area a;
        std::memcpy(a.bytes + 1, c.stored.data(), c.stored.size());
        const CKvsBytePtr e = a.Element(c.type, static_cast<unsigned int>(c.stored.size()));
        double d = 99;
        EXPECT_EQ((std::tuple{c.index < 0 ? e.GetValueInDouble(d, true) : e.GetValueInDouble(static_cast<unsigned short>(c.index), d, false),
                              d}), std::tuple(c.ok, c.value)) << c.type;
    }
    // Depths in feet: doubles alone are converted, and only when asked.
    struct Feet { ~Feet() { CKvsType::m_unitCnv = CKvsUnitCnv(); } } restore;
    ASSERT_TRUE(CKvsType::m_unitCnv.SetDisplayUnit(CKvsUnitCnv::UNIT_DEPTH, CKvsUnitCnv::DU_FOOT));
    Area a;
    CKvsBytePtr depth = a.Element(ET_DOUBLE, 8), single = a.Element(ET_FLOAT, 4, 16), whole = a.Element(ET_LONG, 4, 24);
    for (CKvsBytePtr* e : {&depth, &single, &whole}) e->SetFormat(4);
    double d = 0, plain = 0, f = 0, l = 0;
    EXPECT_EQ((std::tuple{depth.SetValue(12.5), single.SetValue(12.5f), whole.SetValue(12L), depth.GetValueInDouble(d, true), d,
                          depth.GetValueInDouble(plain, false), plain, single.GetValueInDouble(f, true), f, whole.GetValueInDouble(l, true), l}),
              std::tuple(true, true, true, true, 12.5 * (1 / 0.3048), true, 12.5, true, 12.5, true, 12.0));
}

TEST(CKvsBytePtr, SetValueFromDoubleClampsThenTruncates)
{
    const struct { unsigned short type; double in, stored; } cases[] = {
        {ET_USHORT, -1.7, 0},          {ET_SHORT, -1.7, -1},          {ET_INT, 1e10, 2147483647},
        {ET_INT, -1e10, -2147483648.0}, {ET_LONG, 2.9, 2},             {ET_UINT, 5e9, 4294967295.0},
        {ET_ULONG, -3, 0},             {ET_CHAR, 300, 127},           {ET_CHAR, -300, -128},
        {ET_UCHAR, 255.9, 255},        {ET_SHORT, 40000, 32767},      {ET_USHORT, 65535.5, 65535},
        {ET_FLOAT, 0.1, static_cast<double>(0.1f)}, {ET_DOUBLE, -1e300, -1e300},
        {ET_INT, std::nan(""), 0},     {ET_UCHAR, std::nan(""), 0},
        {ET_BOOL, 0.0, 0},             {ET_BOOL, -0.5, 1},            {ET_BOOL, std::nan(""), 1},
    };
    for (const auto& c : cases) {
        Area a;
        std::memset(a.bytes, 0x55, sizeof a.bytes);
        CKvsBytePtr e = a.Element(c.type, 8);
        double out = -42;
        EXPECT_EQ((std::tuple{e.SetValueFromDouble(c.in), e.GetValueInDouble(out, false), out}), std::tuple(true, true, c.stored))
            << c.type << " " << c.in;
    }
    Area a;
    for (unsigned short t : {ET_STRING, ET_DOUBLE_ARRAY, ET_DATAINFO, ET_UINT64, ET_STRING_ARRAY})
        EXPECT_FALSE(a.Element(t, 20).SetValueFromDouble(1.0)) << t;
    EXPECT_FALSE(CKvsBytePtr(ET_INT, 4).SetValueFromDouble(1.0)); // no area
}

TEST(CKvsBytePtr, ArrayViewsPointAtTheAreaAndCountWholeItems)
{
    Area a;
    CKvsBytePtr e = a.Element(ET_DOUBLE_ARRAY, 24, 8); // aligned, so the view may be read
    const double in[3] = {1.5, -2.5, 4.0};
    ASSERT_TRUE(e.SetValue(in, 3));
    double *items = nullptr, out = 99;
    int count = 0, *ints = nullptr;
    ASSERT_TRUE(e.GetValue(items, count));
    EXPECT_EQ(std::tuple(reinterpret_cast<unsigned char*>(items), std::vector<double>(items, items + count)),
              std::tuple(a.bytes + 8, std::vector<double>(in, in + 3)));
    // past the items, not an int array, overrunning the element
    EXPECT_EQ((std::tuple{e.GetValueInDouble(3, out, false), e.GetValue(ints, count), e.SetValue(in, 4)}),
              std::tuple(false, false, false));
    Triangle* tri = nullptr;
    for (unsigned int length : {160u, 170u})
        EXPECT_EQ((std::tuple{a.Element(ET_TRIANGLE_ARRAY, length).GetValue(tri, count), count}), std::tuple(true, 2));
    // Long arrays use four-byte items and refuse wider ones, writing nothing.
    CKvsBytePtr l = a.Element(ET_LONG_ARRAY, 12, 40), u = a.Element(ET_ULONG_ARRAY, 8, 56);
    const long lin[3] = {-1, 7, INT32_MAX}, lwide[2] = {1, static_cast<long>(INT32_MAX) + 1};
    const unsigned long uin[2] = {0xFFFFFFFFul, 2}, uwide[1] = {0x100000000ul};
    EXPECT_EQ((std::tuple{l.SetValue(lin, 3), u.SetValue(uin, 2), l.SetValue(lwide, 2), u.SetValue(uwide, 1)}),
              std::tuple(true, true, false, false));
    EXPECT_EQ(a.At(40, 24), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0,
                                   0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0}));
    kvs::Long32* view = nullptr;
    std::vector<long> lcopy;
    std::vector<unsigned long> ucopy;
    // the last read: not an unsigned long array
    EXPECT_EQ((std::tuple{l.GetValue(view, count), count, l.GetValue(lcopy), u.GetValue(ucopy), l.GetValue(ucopy), lcopy, ucopy}),
              std::tuple(true, 3, true, true, false, std::vector<long>(lin, lin + 3), std::vector<unsigned long>(uin, uin + 2)));
}

TEST(CKvsBytePtr, StringsHoldExactlyLengthCharactersAndListsUseTheCountedLayout)
{
    Area a;
    std::memset(a.bytes, 'x', sizeof a.bytes);
    CKvsBytePtr e = a.Element(ET_STRING, 5);
    CString out;
    const struct { const char* in; const char* stored; } cases[] = {
        {"abcde", "abcdex"}, {"ab", "ab\0\0\0x"}, {"abcdefgh", "abcdex"}}; // no terminator, cut to the length
    for (const auto& c : cases)
        EXPECT_EQ((std::tuple{e.SetValue(CString(c.in)), a.At(1, 6), e.GetValue(out), std::string(out.GetString(), out.GetLength())}),
                  std::tuple(true, Bytes(c.stored, c.stored + 6), true, std::string(c.stored, 5))) << c.in;
    CString through("zz");
    // neither written into nor read from an element that is not a string
    EXPECT_EQ(std::tuple(e.SetValueStr(through), a.Element(ET_CHAR_ARRAY, 5).SetValue(CString("a")), a.Element(ET_CHAR_ARRAY, 5).GetValue(out)),
              std::tuple(true, false, false));

    CStringArray list, back;
    for (const char* text : {"ab", "", "xyz"}) list.Add(text);
    CKvsBytePtr l = a.Element(ET_STRING_ARRAY, 4 + 6 + 4 + 7, 8);
    back.Add("old");
    EXPECT_EQ((std::tuple{l.SetValue(list), a.At(8, 21), l.GetValue(back), back}),
              std::tuple(true, Bytes{3, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 0, 0, 0, 0, 3, 0, 0, 0, 'x', 'y', 'z'}, true, list));
    CKvsBytePtr empty = a.Element(ET_STRING_ARRAY, 4, 80);
    // too small; an empty list stored, but not read as a list
    EXPECT_EQ((std::tuple{a.Element(ET_STRING_ARRAY, 20, 40).SetValue(list), empty.SetValue(CStringArray()), empty.GetValue(back)}),
              std::tuple(false, true, false));
    // Counts that run past the area are refused, not followed; the list is left as it was.
    CKvsBytePtr corrupt = a.Element(ET_STRING_ARRAY, 10, 100);
    for (const Bytes& bad : {Bytes{1, 0, 0, 0, 200, 0, 0, 0, 'a', 'b'}, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}}) {
        std::memcpy(a.bytes + 100, bad.data(), bad.size());
        EXPECT_FALSE(corrupt.GetValue(back));
    }
    EXPECT_EQ(back, list);
}

TEST(CKvsBytePtr, CopiesShareTheDataAreaAndTheValueInterfaceReadsOnlyIntBoolAndDouble)
{
    Area a;
    CKvsBytePtr i = a.Element(ET_INT, 4), d = a.Element(ET_DOUBLE, 8, 8), b = a.Element(ET_BOOL, 1, 20);
    i.SetUseAs(505);
    i.SetGroupId(1011);
    i.SetStatus(20);
    const CKvsBytePtr copy(i);
    EXPECT_EQ(std::tuple(copy.GetDataPtr(), copy.GetUseAs(), copy.GetGroupId(), copy.GetStatus()),
              std::tuple(i.GetDataPtr(), 505, 1011, 20));
    const std::unique_ptr<CKvsType> heap(i.MakeCopy());
    ASSERT_NE(heap, nullptr);
    int iv = 0;
    double dv = 0;
    bool bv = false;
    unsigned int uv = 0;
    EXPECT_EQ((std::tuple{heap->SetInt(42), i.GetInt(iv), d.SetDouble(2.5), d.GetDouble(dv), b.SetBool(true), b.GetBool(bv), iv, dv, bv}),
              std::tuple(1, 1, 1, 1, 1, 1, 42, 2.5, true));
    CKvsBytePtr noData(ET_BOOL, 1);
    EXPECT_EQ((std::tuple{i.GetDouble(dv), i.SetDouble(1.0), i.GetUInt(uv), d.GetInt(iv), noData.GetBool(bv)}),
              std::tuple(0, 0, 0, 0, 0));
}
