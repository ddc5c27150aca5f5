#include "KongsbergFiles.h"

#include <KvsDataBlocks/datablocks/ByteLayout.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <string>

using kongsbergtest::Bytes;
using kvs::KongsbergKmallReader;
using kvs::KongsbergSwath;
using kvs::LoadLE;
using kvs::StoreLE;

namespace {

std::vector<KongsbergSwath> ReadBytes(const Bytes& bytes, std::string& error, KongsbergKmallReader* keep = nullptr)
{
    KongsbergKmallReader local;
    KongsbergKmallReader& reader = keep ? *keep : local;
    CString e;
    if (!reader.OpenMemory(bytes.data(), bytes.size(), e)) {
        error = std::string(e);
        return {};
    }
    return kongsbergtest::ReadAll(reader, error);
}

// Offsets of the datagrams of a .kmall image.
std::vector<size_t> Datagrams(const Bytes& b)
{
    std::vector<size_t> out;
    for (size_t at = 0; at + 8 <= b.size(); at += LoadLE<uint32_t>(b.data() + at)) out.push_back(at);
    return out;
}

size_t FirstMrz(const Bytes& b)
{
    for (size_t at : Datagrams(b))
        if (std::string(b.begin() + static_cast<long>(at) + 4, b.begin() + static_cast<long>(at) + 8) == "#MRZ") return at;
    return 0;
}

// The #MRZ at `at` as a newer sonar might write it: 8 more bytes of ping info and 4 more
// bytes a sounding, both declared in their size fields.
Bytes Lengthen(const Bytes& file, size_t at)
{
    const unsigned char* d = file.data() + at;
    const uint32_t length = LoadLE<uint32_t>(d);
    const size_t info = 24 + LoadLE<uint16_t>(d + 24);
    const size_t infoEnd = info + LoadLE<uint16_t>(d + info);
    const size_t rx = infoEnd + size_t{LoadLE<uint16_t>(d + info + 92)} * LoadLE<uint16_t>(d + info + 94);
    const size_t per = LoadLE<uint16_t>(d + rx + 6);
    const size_t count = size_t{LoadLE<uint16_t>(d + rx + 2)} + LoadLE<uint16_t>(d + rx + 26);
    const size_t soundings = rx + LoadLE<uint16_t>(d + rx) + size_t{LoadLE<uint16_t>(d + rx + 28)} * LoadLE<uint16_t>(d + rx + 30);
    Bytes m(d, d + infoEnd);
    m.insert(m.end(), 8, 0xEE);
    m.insert(m.end(), d + infoEnd, d + soundings);
    for (size_t i = 0; i < count; ++i) {
        m.insert(m.end(), d + soundings + i * per, d + soundings + (i + 1) * per);
        m.insert(m.end(), 4, 0xEE);
    }
    m.insert(m.end(), d + soundings + count * per, d + length - 4);
    m.insert(m.end(), 4, 0);
    StoreLE<uint32_t>(m.data(), static_cast<uint32_t>(m.size()));
    StoreLE<uint32_t>(m.data() + m.size() - 4, static_cast<uint32_t>(m.size()));
    StoreLE<uint16_t>(m.data() + info, static_cast<uint16_t>(infoEnd - info + 8));
    StoreLE<uint16_t>(m.data() + rx + 8 + 6, static_cast<uint16_t>(per + 4));
    Bytes out(file.begin(), file.begin() + static_cast<long>(at));
    out.insert(out.end(), m.begin(), m.end());
    out.insert(out.end(), file.begin() + static_cast<long>(at + length), file.end());
    return out;
}

} // namespace

TEST(KongsbergKmallReader, RealFilesGiveTheFiguresDecodedByHand)
{
    const struct { const char* name; const char* summary; uint64_t extra; } cases[] = {
        // OS01's middle swath is the 700 kHz ping whose 400 soundings the sonar all rejected.
        {kongsbergtest::kOS01, "swaths 6 beams 2960 usable 2294 depth 3.76..6.81\n"
                               "first 1764236334.019 51.2396127 2.9221876 last 1764236335.020 51.2396138 2.9221897\n"
                               "middle 0.0 0.0", 0},
        {kongsbergtest::kEg, "swaths 25 beams 12800 usable 11473 depth 2.58..3.56\n"
                             "first 1722009373.276 27.5830087 -82.7545219 last 1722009374.262 27.5830002 -82.7545049\n"
                             "middle -3.0 3.0", 2384},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!kongsbergtest::Have(c.name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << c.name;
        KongsbergKmallReader reader;
        CString e;
        ASSERT_TRUE(reader.Open((kongsbergtest::kDir + c.name).c_str(), e)) << e.GetString();
        std::string error;
        const std::vector<KongsbergSwath> swaths = kongsbergtest::ReadAll(reader, error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(kongsbergtest::Summary(swaths), c.summary);
        EXPECT_EQ(reader.ExtraDetections(), c.extra); // counted, never beams
        EXPECT_EQ(reader.IncompleteSwaths(), 0u);
        for (const KongsbergSwath& s : swaths) EXPECT_TRUE(s.hasPosition && s.hasAngle && s.hasErrors);
    }
}

TEST(KongsbergKmallReader, OutOfOrderMultiFrequencyPingsKeepTheirFileOrderAndFrequency)
{
    KONGSBERG_FILE_OR_SKIP(kongsbergtest::kOS01);
    KongsbergKmallReader reader;
    CString e;
    ASSERT_TRUE(reader.Open((kongsbergtest::kDir + kongsbergtest::kOS01).c_str(), e));
    std::string error, got;
    const std::vector<KongsbergSwath> swaths = kongsbergtest::ReadAll(reader, error);
    for (const KongsbergSwath& s : swaths)
        got += std::to_string(s.pingCounter) + "@" + std::to_string(static_cast<int>(s.frequency / 1000)) + " ";
    // Ping 4669 is stored before 4668 (and is 0.2 s later); 4673 is missing.
    EXPECT_EQ(got, "4669@600 4668@400 4670@700 4671@200 4672@300 4674@600 ");
    ASSERT_EQ(swaths.size(), 6u);
    EXPECT_GT(swaths[0].Time(), swaths[1].Time());
    EXPECT_EQ(reader.DatagramCounts().at("#SPE"), 3u); // a type the description does not define, stepped over
}

TEST(KongsbergKmallReader, LongerStructuresOfANewerVersionReadByTheirStatedSizes)
{
    KONGSBERG_FILE_OR_SKIP(kongsbergtest::kEg);
    const Bytes file = kongsbergtest::ReadFile(kongsbergtest::kDir + kongsbergtest::kEg);
    const Bytes longer = Lengthen(file, FirstMrz(file));
    std::string error;
    const std::vector<KongsbergSwath> a = ReadBytes(file, error);
    ASSERT_EQ(error, "");
    const std::vector<KongsbergSwath> b = ReadBytes(longer, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a[0].depth, b[0].depth);
    EXPECT_EQ(a[0].across, b[0].across);
    EXPECT_EQ(a[0].angle, b[0].angle);
    EXPECT_EQ(a[0].usable, b[0].usable);
    EXPECT_EQ(a[0].native8, b[0].native8);
    EXPECT_EQ(a[0].latitude, b[0].latitude);
    EXPECT_EQ(b[0].editAt[1] - b[0].editAt[0], 124u);
    EXPECT_EQ(longer[b[0].editAt[0]], file[a[0].editAt[0]]); // the detection type byte
}

TEST(KongsbergKmallReader, BadFilesAreRefusedWithDatagramIndexAndOffset)
{
    KONGSBERG_FILE_OR_SKIP(kongsbergtest::kOS01);
    const Bytes file = kongsbergtest::ReadFile(kongsbergtest::kDir + kongsbergtest::kOS01);
    const std::vector<size_t> at = Datagrams(file);
    const size_t mrz = at[14]; // the second #MRZ
    Bytes trailing = file, sounding = file, cut = file, split = file;
    trailing[at[15] - 1] ^= 0x10;
    const unsigned char* d = file.data() + mrz;
    const size_t info = 24 + LoadLE<uint16_t>(d + 24);
    const size_t rx = info + LoadLE<uint16_t>(d + info) + size_t{LoadLE<uint16_t>(d + info + 92)} * LoadLE<uint16_t>(d + info + 94);
    StoreLE<uint16_t>(sounding.data() + mrz + rx + 6, 100);
    cut.resize(mrz + 1000);
    StoreLE<uint16_t>(split.data() + mrz + 20, 2);
    const std::string where = "datagram 14 at byte " + std::to_string(mrz) + ": ";
    const struct { const char* what; const Bytes& bytes; const char* error; } cases[] = {
        {"trailing length", trailing, "the trailing length"},
        {"short soundings", sounding, "#MRZ soundings of 100 bytes (at least 120 needed)"},
        {"cut short", cut, "runs past the end of the file"},
        {"a network part", split, "is part 1 of 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const std::vector<KongsbergSwath> s = ReadBytes(c.bytes, error);
        EXPECT_EQ(error.rfind(where, 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(s.size(), 1u); // the swath before the fault still comes out
    }
}
