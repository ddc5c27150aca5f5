#include "KongsbergFiles.h"

#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>

using kongsbergtest::AllBuilder;
using kongsbergtest::Bytes;
using kvs::KongsbergAllReader;
using kvs::KongsbergSwath;

namespace {

// What a file gives, as the format notes' per-file tables state it and as decoded by hand
// from the bytes: swaths, beams, usable beams, depth range below the water line over the
// usable beams; the first and last swath's time and position; the middle swath's first and
// last usable across-track distance.
struct FileCase { const char* name; const char* summary; };

const FileCase kAllFiles[] = {
    {kongsbergtest::kYolla, "swaths 183 beams 73200 usable 67964 depth 9.00..12.95\n"
                            "first 1392269261.702 -38.4009044 142.4838033 last 1392269271.261 -38.4011177 142.4837035\n"
                            "middle -10.9 14.0"},
    {kongsbergtest::kAF, "swaths 9 beams 3600 usable 3600 depth 206.71..211.62\n"
                         "first 1430779873.154 75.1938886 26.7949183 last 1430779875.505 75.1939696 26.7949523\n"
                         "middle -243.1 242.8"},
    {kongsbergtest::kG, "swaths 10 beams 4000 usable 4000 depth 125.85..129.26\n"
                        "first 1513270249.381 44.1640398 30.6516439 last 1513270254.094 44.1639873 30.6515936\n"
                        "middle -260.0 254.8"},
    {kongsbergtest::kHe, "swaths 10 beams 1280 usable 1267 depth 103.50..110.32\n"
                         "first 1345568982.359 78.5267763 10.2884002 last 1345568984.424 78.5268132 10.2883286\n"
                         "middle -221.8 191.7"},
    {kongsbergtest::kSimon, "swaths 11 beams 4400 usable 3670 depth 25.52..26.78\n"
                            "first 1460572834.126 51.4920371 2.7858496 last 1460572835.324 51.4920175 2.7857840\n"
                            "middle -48.4 53.8"},
};

std::vector<KongsbergSwath> ReadFile(const std::string& name, std::string& error)
{
    KongsbergAllReader reader;
    CString e;
    if (!reader.Open((kongsbergtest::kDir + name).c_str(), e)) {
        error = std::string(e);
        return {};
    }
    return kongsbergtest::ReadAll(reader, error);
}

std::vector<KongsbergSwath> ReadBytes(const Bytes& bytes, std::string& error, KongsbergAllReader* keep = nullptr)
{
    KongsbergAllReader local;
    KongsbergAllReader& reader = keep ? *keep : local;
    CString e;
    if (!reader.OpenMemory(bytes.data(), bytes.size(), e)) {
        error = std::string(e);
        return {};
    }
    return kongsbergtest::ReadAll(reader, error);
}

// Byte offset of the n-th (0-based) datagram of a little-endian .all image.
size_t LoadDatagramOffset(const Bytes& bytes, int n)
{
    size_t at = 0;
    for (; n > 0; --n) at += 4 + (bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16);
    return at;
}

} // namespace

TEST(KongsbergAllReader, RealFilesGiveTheFiguresDecodedByHand)
{
    for (const FileCase& c : kAllFiles) {
        SCOPED_TRACE(c.name);
        if (!kongsbergtest::Have(c.name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << c.name;
        std::string error;
        const std::vector<KongsbergSwath> swaths = ReadFile(c.name, error);
        ASSERT_EQ(error, "");
        ASSERT_FALSE(swaths.empty());
        EXPECT_EQ(kongsbergtest::Summary(swaths), c.summary);
        for (const KongsbergSwath& s : swaths) EXPECT_TRUE(s.hasPosition && s.hasAngle);
    }
}

TEST(KongsbergAllReader, DualSwathPingsGiveTwoSwathsOfTheirOwnFrequency)
{
    for (const char* name : {kongsbergtest::kAF, kongsbergtest::kHe}) {
        SCOPED_TRACE(name);
        KONGSBERG_FILE_OR_SKIP(name);
        std::string error;
        const std::vector<KongsbergSwath> swaths = ReadFile(name, error);
        ASSERT_EQ(error, "");
        std::string order;
        std::set<double> first, second;
        for (const KongsbergSwath& s : swaths) {
            order += static_cast<char>('0' + s.swath);
            (s.swath == 0 ? first : second).insert(s.frequency);
        }
        EXPECT_EQ(order, swaths.size() == 9 ? "010101010" : "0101010101");
        ASSERT_EQ(first.size(), 1u);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_NE(*first.begin(), *second.begin()); // EM 710: the swaths of a pair transmit apart in frequency
        // The sonar's ping counters run on from swath to swath.
        for (size_t i = 1; i < swaths.size(); ++i) EXPECT_EQ(swaths[i].pingCounter, swaths[i - 1].pingCounter + 1);
    }
}

TEST(KongsbergAllReader, BeamAnglesArePortNegativeWhateverWayTheArrayIsMounted)
{
    // g: receive array mounted backwards (its raw angles point the other way); simon: the
    // transmit array reversed, the receive array not; Yolla: a normal mounting.
    for (const char* name : {kongsbergtest::kG, kongsbergtest::kSimon, kongsbergtest::kYolla}) {
        SCOPED_TRACE(name);
        KONGSBERG_FILE_OR_SKIP(name);
        std::string error;
        const std::vector<KongsbergSwath> swaths = ReadFile(name, error);
        long agree = 0, disagree = 0;
        for (const KongsbergSwath& s : swaths)
            for (int i = 0; i < s.beamCount; ++i) {
                const size_t k = static_cast<size_t>(i);
                if (!s.IsUsable(i) || std::fabs(s.across[k]) <= 1.0f) continue;
                ((s.angle[k] < 0) == (s.across[k] < 0) ? agree : disagree) += 1;
            }
        EXPECT_GT(agree, 3000);
        EXPECT_EQ(disagree, 0);
    }
}

TEST(KongsbergAllReader, EitherByteOrderReadsTheSameSwaths)
{
    std::vector<KongsbergSwath> got[2];
    for (bool big : {false, true}) {
        AllBuilder b(big);
        b.Installation(101, 0);
        b.Position(1000, -38.5, 142.5);
        b.Xyz(1500, 7, 101, 4, 10.0f);
        b.Position(2000, -38.5001, 142.5002);
        std::string error;
        KongsbergAllReader reader;
        got[big] = ReadBytes(b.Bytes_(), error, &reader);
        ASSERT_EQ(error, "");
        EXPECT_EQ(reader.BigEndian(), big);
        ASSERT_EQ(got[big].size(), 1u);
    }
    const KongsbergSwath& s = got[1][0];
    EXPECT_EQ(s.seconds, kongsbergtest::kBuilderDay + 1);
    EXPECT_EQ(s.nanoseconds, 500000000u);
    EXPECT_EQ(s.pingCounter, 7);
    EXPECT_FLOAT_EQ(s.depth[0], 10.5f); // below the transducer + the transducer depth
    EXPECT_NEAR(s.latitude, -38.50005, 1e-7);
    EXPECT_NEAR(s.longitude, 142.5001, 1e-7);
    EXPECT_EQ(got[0][0].depth, s.depth);
    EXPECT_EQ(got[0][0].across, s.across);
    EXPECT_EQ(got[0][0].latitude, s.latitude);
}

TEST(KongsbergAllReader, TwoHeadsOfOnePingJoinPortFirst)
{
    AllBuilder b(false);
    b.Installation(101, 102); // 101 the port head, 102 the starboard one
    b.Position(1000, 10.0, 20.0);
    b.Xyz(1500, 7, 102, 3, 20.0f); // the starboard head's datagram comes first
    b.Xyz(1500, 7, 101, 2, 10.0f);
    b.Xyz(2500, 8, 101, 2, 11.0f);
    b.Position(3000, 10.0, 20.0);
    std::string error;
    const std::vector<KongsbergSwath> swaths = ReadBytes(b.Bytes_(), error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(swaths.size(), 2u);
    const KongsbergSwath& s = swaths[0];
    ASSERT_EQ(s.beamCount, 5);
    EXPECT_EQ(s.depth, (std::vector<float>{10.5f, 10.5f, 20.5f, 20.5f, 20.5f}));
    ASSERT_EQ(s.parts.size(), 2u);
    EXPECT_EQ(s.parts[1].firstBeam, 2);
    EXPECT_LT(s.parts[1].offset, s.parts[0].offset); // the port part lies later in the file
    EXPECT_EQ(swaths[1].beamCount, 2);
}

TEST(KongsbergAllReader, PositionsAreExtrapolatedAtMostTwoSecondsBeyondTheFixes)
{
    AllBuilder b(false);
    b.Installation(101, 0);
    b.Position(10000, 0.0, 0.0, false); // an inactive system's fix is never used
    b.Xyz(12500, 1, 101, 2, 10.0f); // 2.5 s before the first active fix: none
    b.Xyz(13500, 2, 101, 2, 10.0f); // 1.5 s before: extrapolated back
    b.Position(15000, 1.0, 2.0);
    b.Position(16000, 1.1, 2.2);
    b.Xyz(15500, 3, 101, 2, 10.0f); // between: interpolated
    b.Xyz(18000, 4, 101, 2, 10.0f); // 2.0 s after the last: extrapolated
    b.Xyz(18001, 5, 101, 2, 10.0f); // just beyond: none
    std::string error;
    const std::vector<KongsbergSwath> s = ReadBytes(b.Bytes_(), error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(s.size(), 5u);
    EXPECT_FALSE(s[0].hasPosition);
    EXPECT_TRUE(s[1].hasPosition);
    EXPECT_NEAR(s[1].latitude, 0.85, 1e-6);
    EXPECT_NEAR(s[1].longitude, 1.7, 1e-6);
    EXPECT_NEAR(s[2].latitude, 1.05, 1e-6);
    EXPECT_TRUE(s[3].hasPosition);
    EXPECT_NEAR(s[3].latitude, 1.3, 1e-6);
    EXPECT_FALSE(s[4].hasPosition);
}

TEST(KongsbergAllReader, BadFilesAreRefusedWithDatagramIndexAndOffset)
{
    AllBuilder b(false);
    b.Installation(101, 0);
    b.Position(1000, 1.0, 2.0);
    b.Xyz(1100, 1, 101, 2, 10.0f);
    b.Position(2000, 1.0, 2.0);
    Bytes good = b.Bytes_();
    const size_t x = LoadDatagramOffset(good, 2);
    struct Case { const char* what; Bytes bytes; const char* error; size_t swaths; };
    Bytes checksum = good, length = good, stx = good, cut = good, old = good;
    checksum[x + 4 + 36] ^= 0x01; // a depth bit of beam 0
    length[x] = 0xFF;             // a length past the end
    stx[x + 4] = 0x07;
    cut.resize(good.size() - 3);
    old[x + 5] = 'D';
    // Rewrite the checksum of the retyped datagram so that only its type is at fault.
    const uint32_t L = good[x] | good[x + 1] << 8;
    uint32_t sum = 0;
    for (size_t i = x + 5; i < x + 4 + L - 3; ++i) sum += old[i];
    old[x + 4 + L - 2] = static_cast<unsigned char>(sum), old[x + 4 + L - 1] = static_cast<unsigned char>(sum >> 8);
    const std::string at = "datagram 2 at byte " + std::to_string(x) + ": ";
    const Case cases[] = {
        {"checksum", checksum, "checksum", 0},
        {"length", length, "runs past the end of the file", 0},
        {"STX", stx, "no STX", 0},
        {"cut short", cut, "datagram 3 at byte", 1},
        {"older sonar", old, "depth datagram 'D' of an older sonar", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const std::vector<KongsbergSwath> s = ReadBytes(c.bytes, error);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (c.swaths == 0) {
            EXPECT_EQ(error.rfind(at, 0), 0u) << error;
        }
        EXPECT_EQ(s.size(), c.swaths); // the swath before a fault still comes out
    }
    std::string error;
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n', 'x', 'y', 'z', 'w', 'v', 'u', 't', 's'};
    EXPECT_TRUE(ReadBytes(text, error).empty());
    EXPECT_NE(error.find("not a Kongsberg .all file"), std::string::npos) << error;
}
