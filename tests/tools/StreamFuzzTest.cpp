// Seeded random byte flips of a simulated record stream through the filter and dump work
// of kvsblocks: every run ends with the stream read to its end or a message naming the
// bad record's offset, and every block read is accounted for (handed on or held back),
// and the filtered stream reads back whole. (Blocks held back
// are those the single-beam spike filter consumes by design: the first sounding of a
// line and soundings without a valid position and depth.)

#ifdef KVS_TOOL_PATH
#include "StreamFilter.h"
#include "SurveySimulator.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Collects what a record stream writer writes, in memory.
struct MemoryStream
{
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
    ~MemoryStream()
    {
        if (file) std::fclose(file);
        std::free(data);
    }
    Bytes Take()
    {
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
    kvs::RecordStreamWriter writer;
    CString error;
    EXPECT_TRUE(writer.Open(out.file, error)) << error;
    CDataBlock block;
    while (pings.Next(block) && writer.Write(block, error) && soundings.Next(block) && writer.Write(block, error)) {
    }
    EXPECT_TRUE(writer.Close(error)) << error;
    return out.Take();
}

// Flips one to four bits or bytes anywhere, or within the first `within` bytes.
void Flip(Bytes& bytes, std::mt19937& random, size_t within = SIZE_MAX)
{
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
        unsigned char& b = bytes[random() % std::min(within, bytes.size())];
        b = random() % 2 ? static_cast<unsigned char>(b ^ (1u << (random() % 8))) : static_cast<unsigned char>(random());
    }
}

// The records of a stream up to its end; the error that stopped the reader into error.
uint64_t CountRecords(const Bytes& stream, std::string& error)
{
    kvs::RecordStreamReader reader;
    CString text;
    CDataBlock block;
    uint64_t n = 0;
    kvs::RecordStreamReader::Result r = kvs::RecordStreamReader::Result::Error;
    if (reader.OpenMemory(stream.data(), stream.size(), text))
        while ((r = reader.Next(block, text)) == kvs::RecordStreamReader::Result::Record) ++n;
    error = r == kvs::RecordStreamReader::Result::Error ? std::string(text) : std::string();
    return n;
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
        Bytes bytes = original;
        Flip(bytes, random, run % 25 == 0 ? 16 : SIZE_MAX); // now and then the header
        SCOPED_TRACE("run " + std::to_string(run));
        kvs::RecordStreamReader reader;
        if (!reader.OpenMemory(bytes.data(), bytes.size(), error)) {
            EXPECT_NE(error.Find("offset"), -1) << error;
            ++refusedHeaders;
            continue;
        }
        MemoryStream out;
        kvs::RecordStreamWriter writer;
        ASSERT_TRUE(writer.Open(out.file, error));
        uint64_t emitted = 0;
        const kvs::tool::FilterSummary sum =
            kvs::tool::FilterStream(reader, attributes, COMPUPDATE_FULL, [&](const CDataBlock& block) {
                ++emitted;
                EXPECT_TRUE(writer.Write(block, error)) << error;
            });
        ASSERT_TRUE(writer.Close(error));
        EXPECT_EQ(sum.blocksIn, sum.blocksOut + sum.blocksHeld);
        EXPECT_EQ(sum.blocksOut, emitted);
        EXPECT_EQ(sum.corruptRecords, sum.error.empty() ? 0u : 1u);
        EXPECT_TRUE(sum.error.empty() || sum.error.find("offset") != std::string::npos) << sum.error;
        stoppedEarly += !sum.error.empty();
        std::string again;
        EXPECT_EQ(CountRecords(out.Take(), again), sum.blocksOut);
        EXPECT_EQ(again, "");

    }
    // The flips reach both the header and the records.
    EXPECT_GT(refusedHeaders, 0);
    EXPECT_GT(stoppedEarly, 0);
}
#endif
