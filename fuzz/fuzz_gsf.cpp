// Feeds arbitrary bytes to the GSF reader as a whole file and maps every ping it delivers
// into a multibeam block. The reader must deliver records inside the bytes, in order,
// pings with 1 to 4000 beams and arrays of that length, and stop at the first fault with
// a message naming the record; the mapping must fill a block the filters can read.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

void CheckArray(const kvs::GsfBeamValues& a, int beams)
{
    Check(!a.present || a.values.size() == static_cast<size_t>(beams));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact copy on the heap lets AddressSanitizer see any read past the file.
    const std::vector<unsigned char> file(data, data + size);
    kvs::GsfReader reader;
    CString error;
    if (!reader.OpenMemory(file.data(), file.size(), error)) {
        Check(!error.IsEmpty());
        return 0;
    }
    // Setting up PROJ for every input would starve the fuzzer: one mapper serves all
    // (its UTM zone is that of the first valid position it saw).
    static kvs::GsfBlockMapper mapper;
    CDataBlock block;
    uint64_t next = 0;
    for (;;) {
        const kvs::GsfReader::Result r = reader.Next(error);
        if (r == kvs::GsfReader::Result::End) {
            Check(next == file.size());
            break;
        }
        if (r == kvs::GsfReader::Result::Error) {
            Check(std::strncmp(error, "record ", 7) == 0);
            CString again;
            Check(reader.Next(again) == kvs::GsfReader::Result::Error && again == error);
            break;
        }
        Check(reader.RecordOffset() == next && reader.RecordSize() >= 8);
        Check(reader.RecordBytes() == file.data() + next && next + reader.RecordSize() <= file.size());
        next += reader.RecordSize();
        if (!reader.IsPing()) continue;
        const kvs::GsfPing& p = reader.Ping();
        Check(p.beamCount >= 1 && p.beamCount <= 4000 && p.nanoseconds < 1000000000u);
        for (const kvs::GsfBeamValues* a : {&p.depth, &p.acrossTrack, &p.alongTrack, &p.beamAngle, &p.depthError,
                                            &p.acrossTrackError, &p.alongTrackError, &p.verticalError,
                                            &p.horizontalError})
            CheckArray(*a, p.beamCount);
        if (p.hasBeamFlags) {
            Check(p.beamFlags.size() == static_cast<size_t>(p.beamCount));
            Check(p.beamFlagsAt + p.beamFlags.size() <= reader.RecordSize());
            Check(std::memcmp(reader.RecordBytes() + p.beamFlagsAt, p.beamFlags.data(), p.beamFlags.size()) == 0);
        }
        const bool mapped = mapper.Map(p, static_cast<int>(reader.PingsRead()), block, error);
        Check(mapped == (p.depth.present && p.acrossTrack.present));
        if (!mapped) continue;
        int beams = 0;
        unsigned short status = 0;
        Check(block.GetDataValue(602, beams, status, CDataBlock::kByUseAs) && beams == p.beamCount);
        CKvsBytePtr z;
        Check(block.GetData(605, z, CDataBlock::kByUseAs) && z.GetLength() == 4u * static_cast<unsigned>(beams));
        std::vector<unsigned char> packed(block.GetPackSize(true));
        unsigned char* out = packed.data();
        unsigned int room = static_cast<unsigned int>(packed.size());
        Check(block.Pack(&out, room, true) && room == 0);
    }
    return 0;
}
