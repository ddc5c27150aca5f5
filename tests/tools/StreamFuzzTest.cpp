// Seeded random byte flips of a simulated record stream through the filter work of
// kvsblocks: every run ends with the stream read to its end or a message naming the bad
// record's offset, every block read is handed on or held back (the single-beam spike
// filter keeps the first sounding of a line and soundings without position and depth),
// and every block handed on packs again.

#ifdef KVS_TOOL_PATH
#include "StreamFilter.h"
#include "SurveySimulator.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>
#include <KvsDataBlocks/config/CAttributeMap.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Ten multibeam pings of 24 beams between ten single-beam soundings, as a stream file in memory.
static Bytes SimulatedStream()
{
    kvs::SurveyLineOptions mb, sb;
    mb.beams = 24;
    mb.pings = sb.pings = 10;
    mb.spikeRate = sb.spikeRate = 0.1;
    sb.kind = kvs::SurveyLineOptions::Kind::SingleBeam;
    kvs::SurveySimulator pings(mb), soundings(sb);
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
    kvs::RecordStreamWriter writer;
    CString error;
    EXPECT_TRUE(writer.Open(file, error)) << error;
    CDataBlock block;
    while (pings.Next(block) && writer.Write(block, error) && soundings.Next(block) && writer.Write(block, error)) {
    }
    EXPECT_TRUE(writer.Close(error)) << error;
    std::fclose(file);
    Bytes out(data, data + size);
    std::free(data);
    return out;
}

TEST(StreamFuzz, FlippedBytesEndInAClearMessageAndEveryBlockIsAccounted)
{
    const Bytes original = SimulatedStream();
    CAttributeMap attributes;
    CString error;
    ASSERT_TRUE(attributes.LoadFile(KVS_SOURCE_DIR "/examples/filters.attr", error) &&
                attributes.LoadString("SbfDepth = bool:true\nSbfSpike = bool:true\n", error)) << error;
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
        uint64_t emitted = 0;
        const kvs::tool::FilterSummary sum =
            kvs::tool::FilterStream(reader, attributes, COMPUPDATE_FULL, [&](const CDataBlock& block) {
                // every block handed on packs into a record again
                Bytes record(block.GetPackSize(true));
                unsigned char* pos = record.data();
                unsigned int room = static_cast<unsigned int>(record.size());
                ++emitted;
                EXPECT_EQ((std::tuple{block.Pack(&pos, room, true), room}), std::tuple(true, 0u));
            });
        EXPECT_EQ(std::tuple(sum.blocksIn, sum.blocksOut, sum.corruptRecords),
                  std::tuple(sum.blocksOut + sum.blocksHeld + sum.unreadable, emitted, sum.error.empty() ? 0u : 1u));
        EXPECT_TRUE(sum.error.empty() || sum.error.find("offset") != std::string::npos) << sum.error;
        stoppedEarly += !sum.error.empty();
    }
    // The flips reach both the header and the records.
    EXPECT_EQ(std::tuple(refusedHeaders > 0, stoppedEarly > 0), std::tuple(true, true));
}
#endif
