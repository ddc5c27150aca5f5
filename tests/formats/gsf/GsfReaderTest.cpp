#include "GsfFiles.h"

#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

using kvs::GsfPing;
using kvs::GsfReader;

namespace {

struct PingCheck
{
    int index, usable;
    double minDepth, maxDepth; // metres, usable beams
};

struct Fix
{
    uint32_t seconds, nanoseconds;
    double latitude, longitude;
};

// Values decoded by hand from the bytes of each file.
struct FileCase
{
    const char* name;
    int major, minor, pings, beams, usable, ignored, sensor;
    const char* records; // "id:count ..."
    Fix first, last;
    PingCheck checks[2];
    bool summaryDepthsMatch; // the summary's depth extremes are those of the usable beams
};

const FileCase kFiles[] = {
    {gsftest::k0029, 3, 6, 8, 432, 2369, 1087, 131, "1:1 2:8 3:1 4:1 6:2 7:1 9:1 12:111",
     {1458759353, 855999946, 8.7115166, 167.4759910}, {1458759418, 332999944, 8.7132040, 167.4765838},
     {{0, 204, 3914.340, 4095.060}, {7, 395, 3905.440, 4145.000}}, true},
    {gsftest::k0059, 3, 7, 50, 432, 20959, 641, 134, "1:1 2:50 3:1 4:1 12:73695",
     {1541193704, 559999465, 17.8471517, -64.5970738}, {1541194003, 67999839, 17.8378545, -64.5905105},
     {{0, 418, 1460.609, 2315.369}, {49, 426, 1165.564, 2105.804}}, false},
    {gsftest::k0175, 3, 6, 4, 432, 1446, 282, 131, "1:1 2:4 3:1 4:1 6:2 7:1 9:1 12:34",
     {1427066793, 170000076, 18.7403258, -67.6183567}, {1427066799, 766000032, 18.7405605, -67.6182619},
     {{0, 348, 1461.500, 1705.300}, {3, 360, 1462.880, 1709.590}}, true},
    {gsftest::k309, 3, 9, 3, 7, 18, 3, 0, "1:1 2:3 6:1 9:1", {1541193704, 559999465, 17.8471517, -64.5970738},
     {1541193704, 559999465, 17.8471517, -64.5970738}, {{0, 6, 33.920, 378.560}, {2, 6, 35.920, 380.560}}, false},
    {gsftest::k6184, 2, 9, 132, 1, 132, 0, 0, "1:1 2:132 3:21 4:1 6:2 7:1 9:1 12:132",
     {947169642, 799999952, 38.0030681, -76.3502001}, {947171370, 700000047, 37.9639550, -76.2895285},
     {{0, 1, 12.863, 12.863}, {131, 1, 12.128, 12.128}}, true},
};

void ExpectFix(const GsfPing& p, const Fix& f, const char* which)
{
    EXPECT_EQ(std::pair(p.seconds, p.nanoseconds), std::pair(f.seconds, f.nanoseconds)) << which;
    EXPECT_NEAR(p.latitude, f.latitude, 1e-9) << which;
    EXPECT_NEAR(p.longitude, f.longitude, 1e-9) << which;
}

} // namespace

TEST(GsfReader, RealFilesDecodeToTheirHandDecodedValues)
{
    GSF_FILES_OR_SKIP();
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.name);
        GsfReader reader;
        CString error;
        ASSERT_TRUE(reader.Open((gsftest::kDir + c.name).c_str(), error)) << error.GetString();
        int pings = 0, usable = 0, ignored = 0;
        double minDepth = 1e9, maxDepth = -1e9;
        GsfReader::Result r;
        while ((r = reader.Next(error)) == GsfReader::Result::Record) {
            if (!reader.IsPing()) continue;
            const GsfPing& p = reader.Ping();
            ASSERT_EQ(p.beamCount, c.beams);
            ASSERT_TRUE(p.depth.present && p.hasBeamFlags);
            EXPECT_EQ(p.sensorId, c.sensor);
            if (pings == 0) ExpectFix(p, c.first, "first ping");
            if (pings == c.pings - 1) ExpectFix(p, c.last, "last ping");
            int pingUsable = 0;
            double lo = 1e9, hi = -1e9;
            for (int i = 0; i < p.beamCount; ++i) {
                if (!p.IsBeamUsable(i)) continue;
                ++pingUsable;
                lo = std::min(lo, p.depth.values[static_cast<size_t>(i)]);
                hi = std::max(hi, p.depth.values[static_cast<size_t>(i)]);
            }
            for (const PingCheck& k : c.checks) {
                if (k.index != pings) continue;
                EXPECT_EQ(pingUsable, k.usable) << "ping " << pings;
                EXPECT_NEAR(lo, k.minDepth, 6e-4) << "ping " << pings;
                EXPECT_NEAR(hi, k.maxDepth, 6e-4) << "ping " << pings;
            }
            usable += pingUsable;
            ignored += p.beamCount - pingUsable;
            minDepth = std::min(minDepth, lo);
            maxDepth = std::max(maxDepth, hi);
            ++pings;
        }
        ASSERT_EQ(r, GsfReader::Result::End) << error.GetString();
        EXPECT_EQ(reader.MajorVersion(), c.major);
        EXPECT_EQ(reader.MinorVersion(), c.minor);
        EXPECT_EQ(pings, c.pings);
        EXPECT_EQ(usable, c.usable);
        EXPECT_EQ(ignored, c.ignored);
        std::string records;
        for (const auto& [id, n] : reader.RecordCounts())
            records += (records.empty() ? "" : " ") + std::to_string(id) + ":" + std::to_string(n);
        EXPECT_EQ(records, c.records);
        ASSERT_EQ(reader.Summary().has_value(), reader.RecordCounts().count(9) == 1);
        if (c.summaryDepthsMatch) { // to the centimetre
            EXPECT_NEAR(reader.Summary()->minDepth, minDepth, 0.0051);
            EXPECT_NEAR(reader.Summary()->maxDepth, maxDepth, 0.0051);
        }
    }
}

TEST(GsfReader, FaultsNameRecordAndOffsetAndKeepTheEarlierPings)
{
    GSF_FILES_OR_SKIP();
    const std::vector<unsigned char> original = gsftest::ReadFile(gsftest::k0175);
    const std::vector<gsftest::Record> records = gsftest::Records(original);
    const gsftest::Record ping0 = gsftest::PingRecord(original, 0), ping1 = gsftest::PingRecord(original, 1);
    auto indexOf = [&](const gsftest::Record& rec) {
        return static_cast<size_t>(
            std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.offset == rec.offset; }) -
            records.begin());
    };
    enum Where { kHeader, kPing0, kPing1 };
    const size_t where[] = {0, indexOf(ping0), indexOf(ping1)};
    // The depth entry of the first ping's scale factors.
    size_t depthScale = gsftest::Subrecord(original, ping0, 100) + 8;
    while (original[depthScale] != 1) depthScale += 12;
    using Bytes = std::vector<unsigned char>;
    const struct
    {
        const char* what;
        void (*edit)(Bytes&, size_t ping1, size_t depthScale);
        int pingsBefore;
        Where record; // the record the fault is named in
        const char* message;
    } cases[] = {
        {"file ends inside a record", [](Bytes& b, size_t p, size_t) { b.resize(p + 100); }, 1, kPing1,
         "runs past the end of the file"},
        {"file ends inside the framing", [](Bytes& b, size_t p, size_t) { b.resize(p + 5); }, 1, kPing1,
         "fewer than its 8-byte framing"},
        {"subrecord larger than its record",
         [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint32_t>(b.data() + p + 8 + 56 + 4 + 328, 0x01FFFFFFu); }, 1,
         kPing1, "runs past the end of the ping record"},
        {"unknown major version", [](Bytes& b, size_t, size_t) { b[8 + 6] = '4'; }, 0, kHeader,
         "version 4.06 is not supported"},
        {"first record not a header", [](Bytes& b, size_t, size_t) { b[7] = 2; }, 0, kHeader, "not a GSF file"},
        {"no beams", [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint16_t>(b.data() + p + 8 + 16, 0); }, 1, kPing1,
         "ping has no beams"},
        {"more beams than a block holds",
         [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint16_t>(b.data() + p + 8 + 16, 4001); }, 1, kPing1,
         "4001 beams, more than the 4000"},
        {"compressed depth array", [](Bytes& b, size_t, size_t s) { b[s + 1] |= 0x01; }, 0, kPing0,
         "depth array (subrecord 1) is compressed"},
        {"depth without a scale factor", [](Bytes& b, size_t, size_t s) { kvs::StoreBE<uint32_t>(b.data() + s + 4, 0); },
         0, kPing0, "no scale factor in force"},
        {"checksum that does not match", [](Bytes& b, size_t p, size_t) { b[p + 4] |= 0x80; }, 1, kPing1,
         "checksum"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = original;
        c.edit(bytes, ping1.offset, depthScale);
        GsfReader reader;
        CString error;
        ASSERT_TRUE(reader.OpenMemory(bytes.data(), bytes.size(), error));
        GsfReader::Result r;
        while ((r = reader.Next(error)) == GsfReader::Result::Record) {
        }
        ASSERT_EQ(r, GsfReader::Result::Error);
        EXPECT_EQ(reader.PingsRead(), static_cast<uint64_t>(c.pingsBefore));
        const std::string text = error.GetString();
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        const size_t index = where[c.record];
        EXPECT_EQ(text.rfind("record " + std::to_string(index) + " at byte " + std::to_string(records[index].offset), 0),
                  0u)
            << text;
        // The reader stays stopped at the fault.
        CString again;
        EXPECT_EQ(reader.Next(again), GsfReader::Result::Error);
        EXPECT_EQ(again.GetString(), text);
    }
}
