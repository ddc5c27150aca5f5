// Seeded random byte flips of a simulated record stream through the filter work of
// kvsblocks: every run ends with the stream read to its end or a message naming the bad
// record's offset, every block read is handed on or held back (the single-beam spike
// filter keeps the first sounding of a line and soundings without position and depth),
// and the filtered stream reads back whole.

#ifdef KVS_TOOL_PATH
#include "StreamFilter.h"
#include "SurveySimulator.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Result = kvs::RecordStreamReader::Result;

// A record stream writer writing into memory; Take closes it and hands the bytes over.
struct MemoryStream
{
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
    kvs::RecordStreamWriter writer;
    CString error;
    MemoryStream() { EXPECT_TRUE(writer.Open(file, error)) << error; }
    ~MemoryStream()
    {
        if (file) std::fclose(file);
        std::free(data);
    }
    Bytes Take()
    {
        EXPECT_TRUE(writer.Close(error)) << error;
        std::fclose(file);
        file = nullptr;
        return Bytes(data, data + size);
    }
};

// Ten multibeam pings of 24 beams between ten single-beam soundings.
Bytes SimulatedStream()
{
    kvs::SurveyLineOptions mb, sb;
    mb.beams = 24;
    mb.pings = sb.pings = 10;
    mb.spikeRate = sb.spikeRate = 0.1;
    sb.kind = kvs::SurveyLineOptions::Kind::SingleBeam;
    kvs::SurveySimulator pings(mb), soundings(sb);
    MemoryStream out;
    CDataBlock block;
    while (pings.Next(block) && out.writer.Write(block, out.error) && soundings.Next(block) && out.writer.Write(block, out.error)) {
    }
    return out.Take();
}

} // namespace

TEST(StreamFuzz, FlippedBytesEndInAClearMessageAndEveryBlockIsAccounted)
{
    const Bytes original = SimulatedStream();
    ASSERT_GT(original.size(), 1000u);
    CAttributeMap attributes;
    CString error;
    ASSERT_TRUE(attributes.LoadFile(KVS_SOURCE_DIR "/examples/filters.attr", error)) << error;
    ASSERT_TRUE(attributes.LoadString("SbfDepth = bool:true\nSbfSpike = bool:true\n", error)) << error;
    std::mt19937 random(20260101);
    int refusedHeaders = 0, stoppedEarly = 0;
    for (int run = 0; run < 300; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // One to four bits or bytes anywhere, now and then within the header.
        Bytes bytes = original;
        for (unsigned int i = 0, flips = 1 + random() % 4; i < flips; ++i) {
            unsigned char& b = bytes[random() % (run % 25 == 0 ? 16 : bytes.size())];
            b = static_cast<unsigned char>(random() % 2 ? b ^ (1u << (random() % 8)) : random());
        }
        kvs::RecordStreamReader reader;
        if (!reader.OpenMemory(bytes.data(), bytes.size(), error)) {
            EXPECT_NE(error.Find("offset"), -1) << error;
            ++refusedHeaders;
            continue;
        }
        MemoryStream out;
        uint64_t emitted = 0;
        const kvs::tool::FilterSummary sum =
            kvs::tool::FilterStream(reader, attributes, COMPUPDATE_FULL, [&](const CDataBlock& block) {
                ++emitted;
                EXPECT_TRUE(out.writer.Write(block, out.error)) << out.error;
            });
        EXPECT_EQ(std::tuple(sum.blocksIn, sum.blocksOut, sum.corruptRecords),
                  std::tuple(sum.blocksOut + sum.blocksHeld, emitted, sum.error.empty() ? 0u : 1u));
        EXPECT_TRUE(sum.error.empty() || sum.error.find("offset") != std::string::npos) << sum.error;
        stoppedEarly += !sum.error.empty();
        // The filtered stream reads back to its end, every block handed on.
        const Bytes filtered = out.Take();
        kvs::RecordStreamReader again;
        ASSERT_TRUE(again.OpenMemory(filtered.data(), filtered.size(), error)) << error;
        CDataBlock block;
        uint64_t n = 0;
        Result r;
        while ((r = again.Next(block, error)) == Result::Record) ++n;
        EXPECT_EQ(std::tuple(r, n), std::tuple(Result::End, sum.blocksOut)) << error;
    }
    // The flips reach both the header and the records.
    EXPECT_GT(refusedHeaders, 0);
    EXPECT_GT(stoppedEarly, 0);
}
#endif
