// GsfPingDecoder: decodes the data of GSF swath bathymetry ping records (record id 2)
// into GsfPing. It keeps the scale factors in force from ping to ping and entry by entry,
// as GSF requires, so one decoder serves one file and is fed its pings in file order.
// Beam arrays that the block mapping uses are decoded; every other subrecord is stepped
// over by its size (the intensity series by its size less the 4 bytes its writers
// wrongly count, when the written size does not land on a subrecord boundary).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/gsf/GsfFormat.h>
#include <KvsDataBlocks/formats/gsf/GsfPing.h>
#include <KvsDataBlocks/platform/CString.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvs {

class KVS_API GsfPingDecoder
{
public:
    // major: the file's GSF major version (it decides the header size); maxBeams: pings
    // with more beams are refused.
    GsfPingDecoder(int major, int maxBeams);

    // Decodes one ping record's data (size bytes, padding included) into ping. False on a
    // fault: error says what, errorAt is the offset of the faulty field in data.
    bool Decode(const unsigned char* data, size_t size, GsfPing& ping, CString& error, size_t& errorAt);

private:
    struct Scale
    {
        uint32_t multiplier = 0; // 0: never given
        int32_t offset = 0;
        uint8_t compression = 0;
    };
    struct Subrecord
    {
        int id;
        size_t body; // offset of the body in the record data
        size_t size;
    };

    bool WalkSubrecords(const unsigned char* data, size_t size, size_t start, GsfPing& ping, CString& error,
                        size_t& errorAt);
    bool MergeScales(const unsigned char* data, const Subrecord& sub, CString& error, size_t& errorAt);
    bool DecodeArray(const unsigned char* data, const Subrecord& sub, int beams, GsfPing& ping, CString& error,
                     size_t& errorAt) const;

    int m_major;
    int m_maxBeams;
    std::array<Scale, gsf::kMaxArrayId + 1> m_scales{};
    std::vector<Subrecord> m_subrecords; // of the ping being decoded, kept for reuse
};

} // namespace kvs
