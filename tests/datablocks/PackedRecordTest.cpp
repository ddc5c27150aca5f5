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
    b.SetDataValue(120, 2.0, 0, CDataBlock::kByUseAs);
    b.SetDataValue(121, -1, 20, CDataBlock::kByUseAs);
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
    const auto header = [](const CKvsBytePtr& e) {
        return std::vector<unsigned int>{e.GetType(), e.GetLength(), e.GetId(), e.GetFormat(), e.GetUseAs(),
                                         e.GetStatus(), e.GetGroupId()};
    };
    for (unsigned short i = 0; i < a.GetLength(); ++i) {
        CKvsBytePtr x, y;
        a.GetDataIdx(i, x);
        b.GetDataIdx(i, y);
        EXPECT_EQ(header(x), header(y)) << i;
        if (x.GetLength()) {
            EXPECT_EQ(std::memcmp(x.GetDataPtr(), y.GetDataPtr(), x.GetLength()), 0) << i;
        }
    }
}

} // namespace

TEST(PackedRecord, NarrowAndWideLayoutsOfAHandCheckedRecord)
{
    const Bytes data = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0xFF, 0xFF, 0xFF}; // 2.0 and -1
    const struct { bool wide; int staticSize; unsigned int dynamicSize; Bytes head; } forms[] = {
        {false, 34, 28, {64, 0,                                            // total 28 + 24 + 12
                         34, 0, 0x02, 0x01, 0xF3, 0x03, 6, 0, 5, 0, 2, 0,  // static size, type, group, vessel, device, count
                         12, 0,                                            // data size
                         103, 0, 8, 0, 1, 0, 4, 0, 120, 0,                 // element 0: type, length, id, format, use-as
                         101, 0, 4, 0, 2, 0, 0, 0, 121, 0,                 // element 1
                         28, 0,                                            // dynamic size 12 + 4 + 12
                         0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x05, 0x01,         // time 1.5, status word
                         0, 0, 20, 0}},                                    // element statuses
        {true, 40, 30, {74, 0, 0, 0, 40, 0, 0x02, 0x01, 0xF3, 0x03, 6, 0, 5, 0, 2, 0, 12, 0, 0, 0,
                        103, 0, 8, 0, 0, 0, 1, 0, 4, 0, 120, 0, 101, 0, 4, 0, 0, 0, 2, 0, 0, 0, 121, 0,
                        30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0x05, 0x01, 0, 0, 20, 0}},
    };
    const CDataBlock b = HandChecked();
    for (const auto& f : forms) {
        Bytes expected = f.head;
        expected.insert(expected.end(), data.begin(), data.end());
        EXPECT_EQ(b.GetStaticPackSize(f.wide), f.staticSize);
        EXPECT_EQ(b.GetDynamicPackSize(f.wide), f.dynamicSize);
        EXPECT_EQ(b.GetPackSize(f.wide), expected.size());
        EXPECT_EQ(PackToBytes(b, f.wide), expected) << f.wide;
    }
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

TEST(PackedRecord, PartsPackSeparatelyAndTooLittleRoomIsRefusedWithoutWriting)
{
    const CDataBlock b = HandChecked();
    for (bool wide : {false, true}) {
        const Bytes whole = PackToBytes(b, wide);
        const size_t head = wide ? 4 : 2;
        Bytes parts(whole.size(), 0xAA);
        unsigned char* pos = parts.data() + head;
        unsigned int remaining = b.GetStaticPackSize(wide) - 1;
        EXPECT_FALSE(b.PackStatic(&pos, remaining, wide));
        remaining = b.GetPackSize(wide) - 1;
        EXPECT_FALSE(b.Pack(&pos, remaining, wide));
        EXPECT_EQ(pos, parts.data() + head);
        EXPECT_EQ(remaining, b.GetPackSize(wide) - 1);
        EXPECT_EQ(parts, Bytes(whole.size(), 0xAA));
        remaining = b.GetStaticPackSize(wide);
        ASSERT_TRUE(b.PackStatic(&pos, remaining, wide));
        EXPECT_EQ(remaining, 0u);
        remaining = b.GetDynamicPackSize(wide) - 1;
        EXPECT_FALSE(b.PackDynamic(&pos, remaining, wide));
        remaining += 1;
        ASSERT_TRUE(b.PackDynamic(&pos, remaining, wide));
        EXPECT_EQ(pos, parts.data() + parts.size());
        EXPECT_TRUE(std::equal(whole.begin() + head, whole.end(), parts.begin() + head));
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
    for (unsigned short i = 0; i < n; ++i) { // distinct statuses and bytes everywhere
        CKvsBytePtr* e = nullptr;
        b.GetDataIdx(i, e);
        e->SetStatus(i);
        for (unsigned int k = 0; k < e->GetLength(); ++k) e->GetDataPtr()[k] = static_cast<unsigned char>(i * 7 + k);
    }
    for (bool wide : {false, true}) {
        CDataBlock empty;
        ASSERT_TRUE(UnPackBytes(empty, PackToBytes(b, wide), wide));
        ExpectSameBlock(b, empty);
    }
}

TEST(PackedRecord, UnPackReusesTheBufferOfAnEqualLayout)
{
    const CDataBlock b = HandChecked();
    for (bool wide : {false, true}) {
        CDataBlock target = HandChecked();
        target.SetDataValue(120, 99.0, 0, CDataBlock::kByUseAs);
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
        EXPECT_FALSE(back.GetDataValue(120, d, s, CDataBlock::kByUseAs));
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
    ASSERT_TRUE(b.SetDataValue(100, std::vector<char>(70000, 'x').data(), 70000, 0, CDataBlock::kByUseAs));
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
