#include "GsfFiles.h"

#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <tuple>
#include <string>
#include <utility>

using kvs::GsfPing;
using kvs::GsfReader;

namespace {

// A file as its reader gives it, every value decoded by hand from its bytes: version,
// pings, beams per ping, sensor, usable and ignored beams, record counts by id, and of the
// first and the last ping the time, position, usable beams and their depth extremes.
// summaryDepthsMatch: the summary's depth extremes are those of the usable beams.
struct FileCase { const char* name; const char* summary; bool summaryDepthsMatch; };

const FileCase kFiles[] = {
    {gsftest::k0059, "3.7 pings 50 beams 432 sensor 134 usable 20959 ignored 641 records 1:1 2:50 3:1 4:1 12:73695\n"
     "1541193704.559999465 17.8471517 -64.5970738 usable 418 1460.609 2315.369\n"
     "1541194003.067999839 17.8378545 -64.5905105 usable 426 1165.564 2105.804", false},
    {gsftest::k0175, "3.6 pings 4 beams 432 sensor 131 usable 1446 ignored 282 records 1:1 2:4 3:1 4:1 6:2 7:1 9:1 12:34\n"
     "1427066793.170000076 18.7403258 -67.6183567 usable 348 1461.500 1705.300\n"
     "1427066799.766000032 18.7405605 -67.6182619 usable 360 1462.880 1709.590", true},
    {gsftest::k309, "3.9 pings 3 beams 7 sensor 0 usable 18 ignored 3 records 1:1 2:3 6:1 9:1\n"
     "1541193704.559999465 17.8471517 -64.5970738 usable 6 33.920 378.560\n"
     "1541193704.559999465 17.8471517 -64.5970738 usable 6 35.920 380.560", false},
    {gsftest::k6184, "2.9 pings 132 beams 1 sensor 0 usable 132 ignored 0 records 1:1 2:132 3:21 4:1 6:2 7:1 9:1 12:132\n"
     "947169642.799999952 38.0030681 -76.3502001 usable 1 12.863 12.863\n"
     "947171370.700000047 37.9639550 -76.2895285 usable 1 12.128 12.128", true},
};

} // namespace

TEST(GsfReader, RealFilesDecodeToTheirHandDecodedValues)
{
    GSF_FILES_OR_SKIP();
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.name);
        GsfReader reader;
        CString error;
        ASSERT_TRUE(reader.Open((gsftest::kDir + c.name).c_str(), error)) << error.GetString();
        int pings = 0, usable = 0, ignored = 0, beams = -1, sensor = -2;
        double minDepth = 1e9, maxDepth = -1e9;
        std::string first, last;
        GsfReader::Result r;
        while ((r = reader.Next(error)) == GsfReader::Result::Record) {
            if (!reader.IsPing()) continue;
            const GsfPing& p = reader.Ping();
            ASSERT_TRUE(p.depth.present && p.hasBeamFlags);
            beams = pings == 0 || beams == p.beamCount ? p.beamCount : -1;
            sensor = pings == 0 || sensor == p.sensorId ? p.sensorId : -1;
            int pingUsable = 0;
            double lo = 1e9, hi = -1e9;
            for (int i = 0; i < p.beamCount; ++i) {
                if (!p.IsBeamUsable(i)) continue;
                ++pingUsable;
                lo = std::min(lo, p.depth.values[static_cast<size_t>(i)]);
                hi = std::max(hi, p.depth.values[static_cast<size_t>(i)]);
            }
            char line[160];
            std::snprintf(line, sizeof line, "\n%u.%09u %.7f %.7f usable %d %.3f %.3f", p.seconds, p.nanoseconds,
                          p.latitude, p.longitude, pingUsable, lo, hi);
            (pings == 0 ? first : last) = line;
            usable += pingUsable;
            ignored += p.beamCount - pingUsable;
            minDepth = std::min(minDepth, lo);
            maxDepth = std::max(maxDepth, hi);
            ++pings;
        }
        ASSERT_EQ(r, GsfReader::Result::End) << error.GetString();
        std::ostringstream got;
        got << reader.MajorVersion() << "." << reader.MinorVersion() << " pings " << pings << " beams " << beams << " sensor "
            << sensor << " usable " << usable << " ignored " << ignored << " records";
        for (const auto& [id, n] : reader.RecordCounts()) got << " " << id << ":" << n;
        EXPECT_EQ(got.str() + first + (pings > 1 ? last : first), c.summary);
        ASSERT_EQ(reader.Summary().has_value(), reader.RecordCounts().count(9) == 1);
        // to the centimetre
        EXPECT_TRUE(!c.summaryDepthsMatch || (std::abs(reader.Summary()->minDepth - minDepth) < 0.0051 &&
                                              std::abs(reader.Summary()->maxDepth - maxDepth) < 0.0051))
            << reader.Summary()->minDepth << " " << reader.Summary()->maxDepth;
    }
}

TEST(GsfReader, FaultsNameRecordAndOffsetAndKeepTheEarlierPings)
{
    GSF_FILES_OR_SKIP();
    const std::vector<unsigned char> original = gsftest::ReadFile(gsftest::k0175);
    const gsftest::Record ping0 = gsftest::PingRecord(original, 0), ping1 = gsftest::PingRecord(original, 1);
    // Records 6 and 11; the first ping's scale factors (subrecord 100) begin at byte 4064 with the depth's (1) at 4072.
    const size_t depthScale = 4072;
    ASSERT_EQ(std::tuple(ping0.offset, ping1.offset, original[depthScale]), std::tuple(size_t{4000}, size_t{14252}, 1));
    using Bytes = std::vector<unsigned char>;
    const std::string r0 = "record 0 at byte 0", r6 = "record 6 at byte 4000 (ping 1): ",
                      r11 = "record 11 at byte 14252 (ping 2): ";
    const struct { const char* what; void (*edit)(Bytes&, size_t ping1, size_t depthScale); int pingsBefore; std::string message; }
        cases[] = {
        {"file ends inside a record", [](Bytes& b, size_t p, size_t) { b.resize(p + 100); }, 1,
         "record 11 at byte 14252: record size 6544 runs past the end of the file (92 bytes left)"},
        {"file ends inside the framing", [](Bytes& b, size_t p, size_t) { b.resize(p + 5); }, 1,
         "record 11 at byte 14252: truncated record: 5 bytes left, fewer than its 8-byte framing"},
        {"subrecord larger than its record",
         [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint32_t>(b.data() + p + 8 + 56 + 4 + 328, 0x01FFFFFFu); }, 1,
         r11 + "subrecord 1 of 16777215 bytes runs past the end of the ping record (6152 bytes left) (at byte 14648)"},
        {"unknown major version", [](Bytes& b, size_t, size_t) { b[8 + 6] = '4'; }, 0,
         r0 + ": GSF version 4.06 is not supported (2.x and 3.x are)"},
        {"first record not a header", [](Bytes& b, size_t, size_t) { b[7] = 2; }, 0,
         r0 + " (ping 1): not a GSF file: the first record is not a header record"},
        {"no beams", [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint16_t>(b.data() + p + 8 + 16, 0); }, 1,
         r11 + "ping has no beams (at byte 14276)"},
        {"more beams than a block holds",
         [](Bytes& b, size_t p, size_t) { kvs::StoreBE<uint16_t>(b.data() + p + 8 + 16, 4001); }, 1,
         r11 + "ping has 4001 beams, more than the 4000 a multibeam block holds (at byte 14276)"},
        {"compressed depth array", [](Bytes& b, size_t, size_t s) { b[s + 1] |= 0x01; }, 0,
         r6 + "depth array (subrecord 1) is compressed, which this reader does not decode (at byte 4396)"},
        {"depth without a scale factor", [](Bytes& b, size_t, size_t s) { kvs::StoreBE<uint32_t>(b.data() + s + 4, 0); },
         0, r6 + "depth array (subrecord 1) has no scale factor in force (at byte 4396)"},
        {"checksum that does not match", [](Bytes& b, size_t p, size_t) { b[p + 4] |= 0x80; }, 1,
         r11 + "checksum 550F4FA9 does not match the data (sum 000AD744) (at byte 14260)"},
    };
    for (const auto& c : cases) {
        Bytes bytes = original;
        c.edit(bytes, ping1.offset, depthScale);
        GsfReader reader;
        CString error;
        ASSERT_TRUE(reader.OpenMemory(bytes.data(), bytes.size(), error)) << c.what;
        GsfReader::Result r;
        while ((r = reader.Next(error)) == GsfReader::Result::Record) continue;
        CString again; // the reader stays stopped at the fault
        EXPECT_EQ((std::tuple{r, reader.PingsRead(), std::string(error.GetString()), reader.Next(again), std::string(again.GetString())}),
                  std::tuple(GsfReader::Result::Error, static_cast<uint64_t>(c.pingsBefore), c.message, GsfReader::Result::Error, c.message))
            << c.what;
    }
}
