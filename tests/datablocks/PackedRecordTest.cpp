// The packed record of CDataBlock (Pack, PackStatic, PackDynamic, UnPack), narrow and wide.
#include "datablocks/TestBlocks.h"

#include <KvsDataBlocks/datablocks/ByteLayout.h>

#include <cstring>
#include <random>
#include <vector>

using Bytes = std::vector<unsigned char>;
using Packer = bool (CDataBlock::*)(unsigned char**, unsigned int&, bool) const;
constexpr Packer kPackers[] = {&CDataBlock::Pack, &CDataBlock::PackStatic, &CDataBlock::PackDynamic};

// Two elements of lengths 8 and 4, every header field distinct.
static CDataBlock HandChecked()
{
    CDataBlock b = kvs_test::Block({{ET_DOUBLE, 8, 4, 120, 1}, {ET_INT, 4, 0, 121, 2}});
    b.SetDataId(CDataId(0x0102, 1011, 5, 6));
    b.SetTime(1.5);
    b.SetStatusAndFlags(0x0105);
    EXPECT_TRUE(b.SetDataValue(120, 2.0, 0, CDataBlock::kByUseAs) && b.SetDataValue(121, -1, 20, CDataBlock::kByUseAs));
    return b;
}

static Bytes PackToBytes(const CDataBlock& b, bool wide)
{
    Bytes out(b.GetPackSize(wide));
    unsigned char* pos = out.data();
    unsigned int remaining = static_cast<unsigned int>(out.size());
    EXPECT_EQ((std::tuple{b.Pack(&pos, remaining, wide), remaining}), std::tuple(true, 0u));
    return out;
}

// Each packer refuses the room given, leaving position, room and bytes as they were.
static void ExpectPackRefused(const CDataBlock& b, bool wide, const unsigned int (&rooms)[3])
{
    for (int k = 0; k < 3; ++k) {
        Bytes out(rooms[k] + 100, 0xAA);
        unsigned char* pos = out.data();
        unsigned int remaining = rooms[k];
        const Packer pack = kPackers[k]; // (b.*kPackers[k]) trips g++ 12's bounds sanitizer
        EXPECT_EQ((std::tuple{(b.*pack)(&pos, remaining, wide), pos, remaining, out}),
                  std::tuple(false, out.data(), rooms[k], Bytes(out.size(), 0xAA))) << "packer " << k;
    }
}

static bool UnPackBytes(CDataBlock& b, const Bytes& in, bool wide, unsigned int* left = nullptr)
{
    const unsigned char* pos = in.data();
    unsigned int remaining = static_cast<unsigned int>(in.size());
    const bool ok = b.UnPack(&pos, remaining, wide);
    EXPECT_EQ(pos + remaining, in.data() + in.size());
    if (left) *left = remaining;
    return ok;
}

// Two blocks are the same when their wide records are (the hand-checked layout below pins
// that every field is in the record).
static void ExpectSameBlock(const CDataBlock& a, const CDataBlock& b)
{
    EXPECT_EQ(PackToBytes(a, true), PackToBytes(b, true));
    CKvsBytePtr x, y; // element group ids are not in the record but follow the block's
    for (unsigned short i = 0; a.GetDataIdx(i, x) && b.GetDataIdx(i, y); ++i) EXPECT_EQ(x.GetGroupId(), y.GetGroupId()) << i;
}

// A block of count elements with random header fields, lengths, statuses and bytes.
static CDataBlock RandomBlock(std::mt19937& random, unsigned short count)
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
        CKvsBytePtr* e = kvs_test::At(b, i);
        e->SetStatus(word());
        for (unsigned int k = 0; k < e->GetLength(); ++k) e->GetDataPtr()[k] = static_cast<unsigned char>(pick(0, 255));
    }
    return b;
}

TEST(PackedRecord, NarrowAndWideLayoutsOfAHandCheckedRecord)
{
    const Bytes data = {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0xFF, 0xFF, 0xFF}; // 2.0 and -1
    const struct { bool wide; unsigned int staticSize, dynamicSize; Bytes head; } forms[] = {
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
        EXPECT_EQ(std::tuple(b.GetStaticPackSize(f.wide), b.GetDynamicPackSize(f.wide), PackToBytes(b, f.wide)),
                  std::tuple(f.staticSize, f.dynamicSize, expected)) << f.wide;
        ExpectPackRefused(b, f.wide, {b.GetPackSize(f.wide) - 1, f.staticSize - 1, f.dynamicSize - 1});
    }
}

TEST(PackedRecord, UnPackRefusesTruncatedAndInconsistentRecords)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "narrow");
        const Bytes record = PackToBytes(HandChecked(), wide);
        const auto storeSize = [wide](Bytes& r, size_t at, unsigned int v) {
            wide ? kvs::StoreLE<uint32_t>(r.data() + at, v) : kvs::StoreLE<uint16_t>(r.data() + at, static_cast<uint16_t>(v));
        };
        // No position, or a total beyond the bytes given, fails at once.
        CDataBlock back;
        back.SetTime(3.0);
        const unsigned char* none = nullptr;
        unsigned int room = 4;
        EXPECT_EQ((std::tuple{back.UnPack(nullptr, room, wide), back.UnPack(&none, room, wide),
                              UnPackBytes(back, Bytes(record.begin(), record.end() - 1), wide),
                              UnPackBytes(back, Bytes(wide ? 3 : 1, 0), wide), back.GetTime()}), std::tuple(false, false, false, false, 3.0));
        // The total understates the record, so only the field bounds stop the reader.
        Bytes understated = record;
        storeSize(understated, 0, 0);
        for (size_t cut = 0; cut < record.size(); ++cut) {
            CDataBlock target = HandChecked();
            EXPECT_FALSE(UnPackBytes(target, Bytes(understated.begin(), understated.begin() + cut), wide)) << cut;
        }
        EXPECT_TRUE(UnPackBytes(back, understated, wide));
        // A total that announces more than the content: the position stands behind the data bytes.
        Bytes longer = record;
        longer.resize(longer.size() + 6, 0x55);
        storeSize(longer, 0, static_cast<unsigned int>(record.size() + 6));
        unsigned int left = 0;
        EXPECT_EQ((std::tuple{UnPackBytes(back, longer, wide, &left), left}), std::tuple(true, 6u));
        ExpectSameBlock(HandChecked(), back);
        // Element 1 claims 2 bytes, the data size still says 12: the layout is read, no buffer.
        Bytes lengths = record;
        storeSize(lengths, wide ? 34 : 28, 2);
        CDataBlock target = HandChecked();
        double d = 0;
        unsigned short s = 0;
        EXPECT_EQ((std::tuple{UnPackBytes(target, lengths, wide), target.GetDataSize(), target.GetDataValue(120, d, s, CDataBlock::kByUseAs)}),
                  std::tuple(false, 0u, false));
    }
    // Announced sizes are checked before anything is allocated: the layout stays untouched.
    Bytes record = PackToBytes(HandChecked(), true);
    CDataBlock back = HandChecked();
    kvs::StoreLE<uint32_t>(record.data() + 16, 0xFFFFFFF0u); // data size
    EXPECT_EQ((std::tuple{UnPackBytes(back, record, true), back.GetDataSize()}), std::tuple(false, 12u));
    record = PackToBytes(HandChecked(), false);
    kvs::StoreLE<uint16_t>(record.data() + 12, 0xFFFF); // element count
    EXPECT_EQ((std::tuple{UnPackBytes(back, record, false), back.GetLength()}), std::tuple(false, 2u));
}

TEST(PackedRecord, NarrowFormRefusesSizesAbove16Bits)
{
    CDataBlock b = kvs_test::Block({{ET_CHAR_ARRAY, 65535, 0, 100}});
    EXPECT_EQ(std::tuple(b.CanPack(false), b.CanPack(true)), std::tuple(false, true));
    const unsigned int room = b.GetPackSize(false) + 100;
    ExpectPackRefused(b, false, {room, room, room});
    // A total of exactly 65535 still fits.
    ASSERT_TRUE(b.InitDataElement(0, 0, ET_CHAR_ARRAY, 65535 - 40, 0, 100) && b.Init());
    EXPECT_EQ(std::tuple(b.GetPackSize(false), b.CanPack(false)), std::tuple(65535u, true));
    // Element lengths beyond 16 bits from a resizing setter.
    EXPECT_EQ((std::tuple{b.SetDataValue(100, std::vector<char>(70000, 'x').data(), 70000, 0, CDataBlock::kByUseAs), b.CanPack(false)}),
              std::tuple(true, false));
    CDataBlock back;
    ASSERT_TRUE(UnPackBytes(back, PackToBytes(b, true), true));
    ExpectSameBlock(b, back);

    // A static part of 16 + 12 * 5459 bytes is the largest either form takes.
    ASSERT_TRUE(b.Allocate(5459) && b.Init());
    EXPECT_EQ((std::tuple{b.GetStaticPackSize(true), UnPackBytes(back, PackToBytes(b, true), true), back.GetLength()}),
              std::tuple(16 + 12 * 5459, true, 5459u));
    ASSERT_TRUE(b.Allocate(5460));
    EXPECT_EQ(std::tuple(b.CanPack(true), b.CanPack(false)), std::tuple(false, false));
    const unsigned int wide = b.GetPackSize(true);
    ExpectPackRefused(b, true, {wide, wide, wide});
}

TEST(PackedRecord, RandomBlocksRoundTripIntoAnyTarget)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        const CDataBlock b = RandomBlock(random, static_cast<unsigned short>(round % 67));
        const CDataBlock other = RandomBlock(random, static_cast<unsigned short>(round % 5));
        for (bool wide : {false, true}) {
            SCOPED_TRACE(testing::Message() << "round " << round << (wide ? " wide" : " narrow"));
            const Bytes record = PackToBytes(b, wide);
            // The two parts alone are the record without its total.
            Bytes parts(record.size() - (wide ? 4 : 2));
            unsigned char* pos = parts.data();
            unsigned int room = static_cast<unsigned int>(parts.size());
            EXPECT_EQ((std::tuple{b.PackStatic(&pos, room, wide), b.PackDynamic(&pos, room, wide), room, parts}),
                      std::tuple(true, true, 0u, Bytes(record.begin() + (wide ? 4 : 2), record.end())));
            // Into an empty block, a block of the same layout (whose buffer is reused) and one of another.
            int k = 0;
            for (CDataBlock target : {CDataBlock(), b, other}) {
                const unsigned char* before = kvs_test::DataOf(target, 0);
                unsigned int left = 1;
                ASSERT_EQ((std::tuple{UnPackBytes(target, record, wide, &left), left}), std::tuple(true, 0u));
                ExpectSameBlock(b, target);
                EXPECT_TRUE(k++ != 1 || kvs_test::DataOf(target, 0) == before);
            }
        }
    }
}
