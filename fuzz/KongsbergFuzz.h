// What the two Kongsberg fuzz targets share: every swath a reader delivers must have
// consistent arrays, edit offsets inside the file, and map into a multibeam block; a
// fault must name its datagram and repeat on the next call.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergBlockMapper.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kongsbergfuzz {

inline void Check(bool condition)
{
    if (!condition) std::abort();
}

template <typename Reader>
void Run(const uint8_t* data, size_t size)
{
    // An exact copy on the heap lets AddressSanitizer see any read past the file.
    const std::vector<unsigned char> file(data, data + size);
    Reader reader;
    CString error;
    if (!reader.OpenMemory(file.data(), file.size(), error)) {
        Check(!error.IsEmpty());
        return;
    }
    // Setting up PROJ for every input would starve the fuzzer: one mapper serves all.
    static kvs::KongsbergBlockMapper mapper;
    CDataBlock block;
    for (;;) {
        const typename Reader::Result r = reader.Next(error);
        if (r == Reader::Result::End) {
            Check(reader.Offset() == file.size());
            break;
        }
        if (r == Reader::Result::Error) {
            Check(std::strncmp(error, "datagram ", 9) == 0 || std::strncmp(error, "not a ", 6) == 0);
            CString again;
            Check(reader.Next(again) == Reader::Result::Error && again == error);
            break;
        }
        const kvs::KongsbergSwath& s = reader.Swath();
        const size_t n = static_cast<size_t>(s.beamCount);
        Check(s.beamCount >= 0 && s.nanoseconds < 1000000000u && !s.parts.empty());
        for (size_t a : {s.depth.size(), s.across.size(), s.along.size(), s.angle.size(), s.usable.size(),
                         s.native8.size(), s.native16.size(), s.editAt.size()})
            Check(a == n);
        for (uint64_t at : s.editAt) Check(at < file.size());
        for (const kvs::KongsbergSwath::Part& p : s.parts) Check(p.offset < file.size() && p.checksumAt < file.size());
        if (s.hasPosition) Check(s.latitude >= -90.0 && s.latitude <= 90.0 && s.longitude >= -180.0 && s.longitude <= 180.0);
        const bool mapped = mapper.Map(s, static_cast<int>(reader.SwathsRead()), block, error);
        Check(mapped == (s.beamCount >= 1 && s.beamCount <= 4000) || s.hasPosition);
        if (!mapped) continue;
        std::vector<unsigned char> packed(block.GetPackSize(true));
        unsigned char* out = packed.data();
        unsigned int room = static_cast<unsigned int>(packed.size());
        Check(block.Pack(&out, room, true) && room == 0);
    }
}

} // namespace kongsbergfuzz
