// The packed record of CDataBlock (Pack, PackStatic, PackDynamic, UnPack), narrow and wide.
#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Two elements of lengths 8 and 4, every header field distinct.
CDataBlock HandChecked()
{
    CDataBlock b;
    b.SetDataId(CDataId(0x0102, 1011, 5, 6));
    b.Allocate(2);
    b.InitDataElement(0, 1, ET_DOUBLE, 8, 4, 120);
    b.InitDataElement(1, 2, ET_INT, 4, 0, 121);
    b.Init();
    b.SetTime(1.5);
    b.SetStatusAndFlags(0x0105);
    b.SetDataValue(120, 2.0, 0, 0);
    b.SetDataValue(121, -1, 20, 0);
    return b;
}

Bytes PackToBytes(const CDataBlock& b, bool wide)
{
    Bytes out(b.GetPackSize(wide));
    unsigned char* pos = out.data();
    unsigned int remaining = static_cast<unsigned int>(out.size());
    EXPECT_TRUE(b.Pack(&pos, remaining, wide));
    EXPECT_EQ(remaining, 0u);
    return out;
}

bool UnPackBytes(CDataBlock& b, const Bytes& in, bool wide, unsigned int* left = nullptr)
{
    const unsigned char* pos = in.data();
    unsigned int remaining = static_cast<unsigned int>(in.size());
    const bool ok = b.UnPack(&pos, remaining, wide);
    EXPECT_EQ(pos + remaining, in.data() + in.size());
    if (left) *left = remaining;
    return ok;
}

void ExpectSameBlock(const CDataBlock& a, const CDataBlock& b)
{
    EXPECT_EQ(a.GetDataId(), b.GetDataId());
    EXPECT_EQ(a.GetTime(), b.GetTime());
    EXPECT_EQ(a.GetStatusAndFlags(), b.GetStatusAndFlags());
    ASSERT_EQ(a.GetLength(), b.GetLength());
    ASSERT_EQ(a.GetDataSize(), b.GetDataSize());
    for (unsigned short i = 0; i < a.GetLength(); ++i) {
        CKvsBytePtr x, y;
        a.GetDataIdx(i, x);
        b.GetDataIdx(i, y);
        EXPECT_EQ(x.GetType(), y.GetType()) << i;
        EXPECT_EQ(x.GetLength(), y.GetLength()) << i;
        EXPECT_EQ(x.GetId(), y.GetId()) << i;
        EXPECT_EQ(x.GetFormat(), y.GetFormat()) << i;
        EXPECT_EQ(x.GetUseAs(), y.GetUseAs()) << i;
        EXPECT_EQ(x.GetStatus(), y.GetStatus()) << i;
        EXPECT_EQ(y.GetGroupId(), b.GetDataId().GetGroupId()) << i;
        if (x.GetLength()) {
            EXPECT_EQ(std::memcmp(x.GetDataPtr(), y.GetDataPtr(), x.GetLength()), 0) << i;
        }
    }
}

} // namespace

TEST(PackedRecord, NarrowLayoutOfAHandCheckedRecord)
{
    const Bytes expected = {
        64, 0,                                          // total 28 + 24 + 12
        34, 0, 0x02, 0x01, 0xF3, 0x03, 6, 0, 5, 0, 2, 0, // static size, type, group, vessel, device, count
        12, 0,                                          // data size
        103, 0, 8, 0, 1, 0, 4, 0, 120, 0,               // element 0: type, length, id, format, use-as
        101, 0, 4, 0, 2, 0, 0, 0, 121, 0,               // element 1
        28, 0,                                          // dynamic size 12 + 4 + 12
        0, 0, 0, 0, 0, 0, 0xF8, 0x3F,                   // time 1.5
        0x05, 0x01,                                     // status word
        0, 0, 20, 0,                                    // element statuses
        0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, // 2.0 and -1
    };
    const CDataBlock b = HandChecked();
    EXPECT_EQ(b.GetStaticPackSize(false), 34);
    EXPECT_EQ(b.GetDynamicPackSize(false), 28u);
    EXPECT_EQ(b.GetPackSize(false), 64u);
    EXPECT_EQ(PackToBytes(b, false), expected);
}

TEST(PackedRecord, WideLayoutOfTheSameRecord)
{
    const CDataBlock b = HandChecked();
    EXPECT_EQ(b.GetStaticPackSize(true), 40);
    EXPECT_EQ(b.GetDynamicPackSize(true), 30u);
    EXPECT_EQ(b.GetPackSize(true), 74u);
    const Bytes r = PackToBytes(b, true);
    ASSERT_EQ(r.size(), 74u);
    const unsigned char* p = r.data();
    EXPECT_EQ(kvs::LoadLE<uint32_t>(p + 0), 74u);
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 4), 40);      // static size 16 + 24
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 6), 0x0102);  // data type
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 8), 1011);    // group id
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 10), 6);      // vessel id
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 12), 5);      // device number
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 14), 2);      // count
    EXPECT_EQ(kvs::LoadLE<uint32_t>(p + 16), 12u);    // data size
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 20), 103);    // element 0 type
    EXPECT_EQ(kvs::LoadLE<uint32_t>(p + 22), 8u);     // element 0 length
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 26), 1);      // element 0 id
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 28), 4);      // element 0 format
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 30), 120);    // element 0 use-as
    EXPECT_EQ(kvs::LoadLE<uint32_t>(p + 34), 4u);     // element 1 length
    EXPECT_EQ(kvs::LoadLE<uint32_t>(p + 44), 30u);    // dynamic size 14 + 4 + 12
    EXPECT_EQ(kvs::LoadLE<double>(p + 48), 1.5);      // time
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 56), 0x0105); // status word
    EXPECT_EQ(kvs::LoadLE<uint16_t>(p + 60), 20);     // element 1 status
    EXPECT_EQ(kvs::LoadLE<double>(p + 62), 2.0);
    EXPECT_EQ(kvs::LoadLE<int32_t>(p + 70), -1);
}

TEST(PackedRecord, BlockWithoutElementsPacksTo28Bytes)
{
    CDataBlock b;
    b.SetDataId(CDataId(1, 2, 3, 4));
    b.SetTime(-2.0);
    const Bytes expected = {28, 0, 14, 0, 1, 0, 2, 0, 4, 0, 3, 0, 0, 0, 0, 0,
                            12, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 40, 0};
    EXPECT_EQ(PackToBytes(b, false), expected);
    EXPECT_EQ(b.GetPackSize(true), 34u);
    CDataBlock back;
    back.Allocate(3);
    ASSERT_TRUE(UnPackBytes(back, expected, false));
    ExpectSameBlock(b, back);
}

TEST(PackedRecord, StaticAndDynamicPartsPackSeparately)
{
    for (bool wide : {false, true}) {
        const CDataBlock b = HandChecked();
        const Bytes whole = PackToBytes(b, wide);
        Bytes parts(whole.size());
        unsigned char* pos = parts.data() + (wide ? 4 : 2);
        unsigned int remaining = b.GetStaticPackSize(wide);
        ASSERT_TRUE(b.PackStatic(&pos, remaining, wide));
        EXPECT_EQ(remaining, 0u);
        remaining = b.GetDynamicPackSize(wide) - 1;
        EXPECT_FALSE(b.PackDynamic(&pos, remaining, wide));
        remaining += 1;
        ASSERT_TRUE(b.PackDynamic(&pos, remaining, wide));
        EXPECT_EQ(pos, parts.data() + parts.size());
        EXPECT_TRUE(std::equal(whole.begin() + (wide ? 4 : 2), whole.end(), parts.begin() + (wide ? 4 : 2)));
    }
}

TEST(PackedRecord, PackRefusesTooLittleRoomWithoutWriting)
{
    const CDataBlock b = HandChecked();
    for (bool wide : {false, true}) {
        Bytes out(100, 0xAA);
        unsigned char* pos = out.data();
        unsigned int remaining = b.GetPackSize(wide) - 1;
        EXPECT_FALSE(b.Pack(&pos, remaining, wide));
        EXPECT_EQ(pos, out.data());
        EXPECT_EQ(remaining, b.GetPackSize(wide) - 1);
        EXPECT_EQ(out, Bytes(100, 0xAA));
        remaining = b.GetStaticPackSize(wide) - 1;
        EXPECT_FALSE(b.PackStatic(&pos, remaining, wide));
        EXPECT_EQ(out, Bytes(100, 0xAA));
    }
}

TEST(PackedRecord, EveryElementTypeRoundTripsInBothForms)
{
    const unsigned short types[] = {ET_INT, ET_UINT, ET_DOUBLE, ET_BOOL, ET_CHAR, ET_UCHAR, ET_LONG,
                                    ET_ULONG, ET_FLOAT, ET_SHORT, ET_USHORT, ET_UINT64, ET_DATAINFO, ET_STRING,
                                    ET_BOOL_ARRAY, ET_CHAR_ARRAY, ET_INT_ARRAY, ET_SHORT_ARRAY, ET_LONG_ARRAY,
                                    ET_FLOAT_ARRAY, ET_DOUBLE_ARRAY, ET_UCHAR_ARRAY, ET_UINT_ARRAY,
                                    ET_USHORT_ARRAY, ET_ULONG_ARRAY, ET_TRIANGLE_ARRAY, ET_STRING_ARRAY};
    const unsigned short n = sizeof types / sizeof types[0];
    CDataBlock b;
    b.SetDataId(CDataId(9, 1011, 2, 3));
    ASSERT_TRUE(b.Allocate(n));
    for (unsigned short i = 0; i < n; ++i) {
        const kvs::ElementTypeInfo* t = kvs::FindElementType(types[i]);
        ASSERT_NE(t, nullptr);
        const unsigned short length = static_cast<unsigned short>(t->kind == kvs::ElementKind::Array ? 3 * t->itemSize
                                                                  : t->itemSize ? t->itemSize : 4);
        b.InitDataElement(i, i, types[i], t->kind == kvs::ElementKind::String ? 6 : length, i, 100 + i);
    }
    ASSERT_TRUE(b.Init());
    b.SetTime(1234567.25);
    b.SetStatusAndFlags(0x0140);
    ASSERT_TRUE(b.SetDataValue(100, -7, 0, 0));
    ASSERT_TRUE(b.SetDataValue(102, 3.75, 10, 0));
    ASSERT_TRUE(b.SetDataValue(111, 0xFEDCBA9876543210ull, 20, 0));
    ASSERT_TRUE(b.SetDataValue(112, CDataInfo(CDataId(1, 2, 3, 4), 5), 30, 0));
    ASSERT_TRUE(b.SetDataValue(113, CString("sounds"), 0, 0));
    CStringArray list;
    list.Add("a");
    ASSERT_TRUE(b.SetDataValue(126, list, 0, 0));
    const Triangle tri[1] = {Triangle(Point(1, 2, 3), Point(4, 5, 6), Point(7, 8, 9))};
    ASSERT_TRUE(b.SetDataValue(125, tri, 1, 0, 0));
    for (unsigned short i = 0; i < n; ++i) {
        CKvsBytePtr* e = nullptr;
        b.GetDataIdx(i, e);
        if (e->GetStatus() == 40) {
            e->SetStatus(i);
            for (unsigned int k = 0; k < e->GetLength(); ++k)
                e->GetDataPtr()[k] = static_cast<unsigned char>(i * 7 + k);
        }
    }
    for (bool wide : {false, true}) {
        const Bytes record = PackToBytes(b, wide);
        CDataBlock empty;
        ASSERT_TRUE(UnPackBytes(empty, record, wide));
        ExpectSameBlock(b, empty);
        CString text;
        unsigned short s = 0;
        ASSERT_TRUE(empty.GetDataValue(113, text, s, 0));
        EXPECT_EQ(text, "sounds");
        Triangle* items = nullptr;
        int count = 0;
        ASSERT_TRUE(empty.GetDataValue(125, items, count, s, 0));
        EXPECT_EQ(count, 1);
        unsigned long long big = 0;
        ASSERT_TRUE(empty.GetDataValue(111, big, s, 0));
        EXPECT_EQ(big, 0xFEDCBA9876543210ull);
        EXPECT_EQ(s, 20);
    }
}

TEST(PackedRecord, UnPackReusesTheBufferOfAnEqualLayout)
{
    const CDataBlock b = HandChecked();
    for (bool wide : {false, true}) {
        CDataBlock target = HandChecked();
        target.SetDataValue(120, 99.0, 0, 0);
        CKvsBytePtr before;
        target.GetDataIdx(0, before);
        ASSERT_TRUE(UnPackBytes(target, PackToBytes(b, wide), wide));
        CKvsBytePtr after;
        target.GetDataIdx(0, after);
        EXPECT_EQ(after.GetDataPtr(), before.GetDataPtr());
        ExpectSameBlock(b, target);
    }
}

TEST(PackedRecord, PositionStandsJustBehindTheDataBytes)
{
    const CDataBlock b = HandChecked();
    Bytes record = PackToBytes(b, false);
    record.resize(record.size() + 6, 0x55);
    kvs::StoreLE<uint16_t>(record.data(), 70); // a total that announces more than the content
    CDataBlock back;
    unsigned int left = 0;
    ASSERT_TRUE(UnPackBytes(back, record, false, &left));
    EXPECT_EQ(left, 6u);
    ExpectSameBlock(b, back);
}

TEST(PackedRecord, UnPackFailsOnATotalBeyondTheBytesGiven)
{
    Bytes record = PackToBytes(HandChecked(), true);
    record.pop_back();
    CDataBlock back;
    back.SetTime(3.0);
    EXPECT_FALSE(UnPackBytes(back, record, true));
    EXPECT_EQ(back.GetTime(), 3.0); // failed at once
    EXPECT_FALSE(UnPackBytes(back, Bytes{}, false));
    EXPECT_FALSE(UnPackBytes(back, Bytes{1}, false));
    EXPECT_FALSE(UnPackBytes(back, Bytes{0, 0, 0}, true));
}

TEST(PackedRecord, UnPackFailsAsSoonAsAFieldDoesNotFit)
{
    // The total understates the record, so only the field bounds stop the reader.
    for (bool wide : {false, true}) {
        Bytes record = PackToBytes(HandChecked(), wide);
        if (wide)
            kvs::StoreLE<uint32_t>(record.data(), 0);
        else
            kvs::StoreLE<uint16_t>(record.data(), 0);
        for (size_t cut = 0; cut < record.size(); ++cut) {
            CDataBlock back = HandChecked();
            EXPECT_FALSE(UnPackBytes(back, Bytes(record.begin(), record.begin() + cut), wide)) << cut;
        }
        CDataBlock back;
        EXPECT_TRUE(UnPackBytes(back, record, wide));
    }
}

TEST(PackedRecord, UnPackChecksTheAnnouncedSizesBeforeAllocating)
{
    Bytes record = PackToBytes(HandChecked(), true);
    CDataBlock back = HandChecked();
    kvs::StoreLE<uint32_t>(record.data() + 16, 0xFFFFFFF0u); // data size
    EXPECT_FALSE(UnPackBytes(back, record, true));
    EXPECT_EQ(back.GetDataSize(), 12u); // nothing allocated, layout untouched

    record = PackToBytes(HandChecked(), false);
    kvs::StoreLE<uint16_t>(record.data() + 12, 0xFFFF); // element count
    EXPECT_FALSE(UnPackBytes(back, record, false));
    EXPECT_EQ(back.GetLength(), 2u);
}

TEST(PackedRecord, UnPackFailsWhenLengthsDisagreeWithTheDataSize)
{
    for (bool wide : {false, true}) {
        Bytes record = PackToBytes(HandChecked(), wide);
        // Element 1 claims 2 bytes, the data size still says 12.
        if (wide)
            kvs::StoreLE<uint32_t>(record.data() + 34, 2);
        else
            kvs::StoreLE<uint16_t>(record.data() + 28, 2);
        CDataBlock back = HandChecked();
        EXPECT_FALSE(UnPackBytes(back, record, wide));
        EXPECT_EQ(back.GetDataSize(), 0u); // keeps the layout read, but no buffer
        CKvsBytePtr e;
        back.GetDataIdx(0, e);
        EXPECT_EQ(e.GetDataPtr(), nullptr);
        double d = 0;
        unsigned short s = 0;
        EXPECT_FALSE(back.GetDataValue(120, d, s, 0));
    }
}

TEST(PackedRecord, NarrowFormRefusesSizesAbove16Bits)
{
    CDataBlock b;
    b.Allocate(1);
    b.InitDataElement(0, 0, ET_CHAR_ARRAY, 65535, 0, 100);
    ASSERT_TRUE(b.Init());
    EXPECT_FALSE(b.CanPack(false));
    EXPECT_TRUE(b.CanPack(true));
    Bytes out(b.GetPackSize(false) + 100, 0xAA);
    for (auto packer : {&CDataBlock::Pack, &CDataBlock::PackStatic, &CDataBlock::PackDynamic}) {
        unsigned char* pos = out.data();
        unsigned int remaining = static_cast<unsigned int>(out.size());
        EXPECT_FALSE((b.*packer)(&pos, remaining, false));
        EXPECT_EQ(pos, out.data());
        EXPECT_EQ(remaining, out.size());
    }
    EXPECT_EQ(out, Bytes(out.size(), 0xAA));

    // A total of exactly 65535 still fits.
    b.InitDataElement(0, 0, ET_CHAR_ARRAY, 65535 - 40, 0, 100);
    ASSERT_TRUE(b.Init());
    EXPECT_EQ(b.GetPackSize(false), 65535u);
    EXPECT_TRUE(b.CanPack(false));

    // Element lengths beyond 16 bits from a resizing setter.
    ASSERT_TRUE(b.SetDataValue(100, std::vector<char>(70000, 'x').data(), 70000, 0, 0));
    EXPECT_FALSE(b.CanPack(false));
    const Bytes wide = PackToBytes(b, true);
    CDataBlock back;
    ASSERT_TRUE(UnPackBytes(back, wide, true));
    ExpectSameBlock(b, back);
}

TEST(PackedRecord, StaticPartAbove16BitsIsRefusedInBothForms)
{
    CDataBlock b;
    ASSERT_TRUE(b.Allocate(5459));
    ASSERT_TRUE(b.Init());
    EXPECT_TRUE(b.CanPack(true));
    EXPECT_EQ(b.GetStaticPackSize(true), 16 + 12 * 5459);
    const Bytes record = PackToBytes(b, true);
    CDataBlock back;
    ASSERT_TRUE(UnPackBytes(back, record, true));
    EXPECT_EQ(back.GetLength(), 5459u);

    ASSERT_TRUE(b.Allocate(5460));
    EXPECT_FALSE(b.CanPack(true));
    EXPECT_FALSE(b.CanPack(false)); // the narrow total no longer fits either
    Bytes out(b.GetPackSize(true));
    unsigned char* pos = out.data();
    unsigned int remaining = static_cast<unsigned int>(out.size());
    EXPECT_FALSE(b.Pack(&pos, remaining, true));
    EXPECT_FALSE(b.PackStatic(&pos, remaining, true));
    EXPECT_EQ(pos, out.data());
}

namespace {

// The record of b as the format lays it out, written field by field.
Bytes ReferenceRecord(const CDataBlock& b, bool wide)
{
    Bytes out(b.GetPackSize(wide));
    kvs::ByteWriter w(out.data(), out.size());
    auto size = [&](unsigned int v) { return wide ? w.Write<uint32_t>(v) : w.Write<uint16_t>(static_cast<uint16_t>(v)); };
    const CDataId& id = b.GetDataId();
    size(b.GetPackSize(wide));
    w.Write<uint16_t>(b.GetStaticPackSize(wide));
    for (unsigned short v : {id.GetDataType(), id.GetGroupId(), id.GetVesselId(), id.GetDeviceNum(),
                             static_cast<unsigned short>(b.GetLength())})
        w.Write<uint16_t>(v);
    size(b.GetDataSize());
    for (unsigned short i = 0; i < b.GetLength(); ++i) {
        CKvsBytePtr e;
        b.GetDataIdx(i, e);
        w.Write<uint16_t>(e.GetType());
        size(e.GetLength());
        for (unsigned short v : {e.GetId(), e.GetFormat(), e.GetUseAs()}) w.Write<uint16_t>(v);
    }
    size(b.GetDynamicPackSize(wide));
    w.Write<double>(b.GetTime());
    w.Write<uint16_t>(b.GetStatusAndFlags());
    for (unsigned short i = 0; i < b.GetLength(); ++i) {
        CKvsBytePtr e;
        b.GetDataIdx(i, e);
        w.Write<uint16_t>(e.GetStatus());
    }
    CKvsBytePtr first; // its data pointer is the start of the buffer
    if (b.GetDataSize() && b.GetDataIdx(0, first)) w.WriteBytes(first.GetDataPtr(), b.GetDataSize());
    EXPECT_EQ(w.Remaining(), 0u);
    return out;
}

// A block of count elements with random header fields, lengths, statuses and bytes.
CDataBlock RandomBlock(std::mt19937& random, unsigned short count)
{
    auto pick = [&](unsigned int lo, unsigned int hi) { return std::uniform_int_distribution<unsigned int>(lo, hi)(random); };
    auto word = [&] { return static_cast<unsigned short>(pick(0, 0xFFFF)); };
    CDataBlock b;
    b.SetDataId(CDataId(word(), word(), word(), word()));
    b.Allocate(count);
    for (unsigned short i = 0; i < count; ++i)
        b.InitDataElement(i, word(), word(), static_cast<unsigned short>(pick(0, 3) ? pick(0, 40) : pick(0, 3000)),
                          word(), word());
    b.Init();
    b.SetTime(std::uniform_real_distribution<double>(-1e12, 1e12)(random));
    b.SetStatusAndFlags(word());
    for (unsigned short i = 0; i < count; ++i) {
        CKvsBytePtr* e = nullptr;
        b.GetDataIdx(i, e);
        e->SetStatus(word());
        for (unsigned int k = 0; k < e->GetLength(); ++k) e->GetDataPtr()[k] = static_cast<unsigned char>(pick(0, 255));
    }
    return b;
}

} // namespace

TEST(PackedRecord, RandomBlocksPackAsLaidOutAndRoundTrip)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        const CDataBlock b = RandomBlock(random, static_cast<unsigned short>(round % 67));
        const CDataBlock other = RandomBlock(random, static_cast<unsigned short>(round % 5));
        for (bool wide : {false, true}) {
            SCOPED_TRACE(testing::Message() << "round " << round << (wide ? " wide" : " narrow"));
            const Bytes record = PackToBytes(b, wide);
            ASSERT_EQ(record, ReferenceRecord(b, wide));
            // The two parts alone are the record without its total.
            Bytes parts(record.size() - (wide ? 4 : 2));
            unsigned char* pos = parts.data();
            unsigned int room = static_cast<unsigned int>(parts.size());
            ASSERT_TRUE(b.PackStatic(&pos, room, wide));
            ASSERT_TRUE(b.PackDynamic(&pos, room, wide));
            EXPECT_EQ(room, 0u);
            EXPECT_TRUE(std::equal(parts.begin(), parts.end(), record.begin() + (wide ? 4 : 2)));
            // Into an empty block, a block of the same layout and one of another layout.
            for (CDataBlock target : {CDataBlock(), b, other}) {
                unsigned int left = 1;
                ASSERT_TRUE(UnPackBytes(target, record, wide, &left));
                EXPECT_EQ(left, 0u);
                ExpectSameBlock(b, target);
                EXPECT_EQ(PackToBytes(target, wide), record);
            }
        }
    }
}
