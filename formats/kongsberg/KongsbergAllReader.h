// KongsbergAllReader: reads a Kongsberg EM datagram file (.all) in one pass and delivers
// its swaths (KongsbergSwath) in file order. The byte order is found from the first
// datagram; every datagram's length, STX, ETX and checksum are checked before its body is
// read, and every field is bounds-checked against the datagram. XYZ 88 datagrams make the
// swaths; the raw range and angle 78 datagram of the same ping (before it) gives the beam
// angles and the frequency; the active position system's fixes place each swath
// (interpolated, or extrapolated at most 2 s); the installation datagram names the port
// and starboard heads, whose XYZ 88 of one ping are joined port first; the runtime
// datagram says whether the sonar is in dual-swath mode. Every other datagram is stepped
// over by its length and counted by type. A fault (bad framing, a checksum mismatch, a
// datagram too short for its fields, an older sonar's depth datagram) is named with the
// datagram index and byte offset; the reader stops there, after delivering the swaths
// before it.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>
#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace kvs {

namespace kongsberg {
class MappedFile;
class PositionTrack;
class PendingSwaths;
}

class KVS_API KongsbergAllReader
{
public:
    enum class Result { Swath, End, Error };

    KongsbergAllReader();
    ~KongsbergAllReader();
    KongsbergAllReader(const KongsbergAllReader&) = delete;
    KongsbergAllReader& operator=(const KongsbergAllReader&) = delete;

    bool Open(const CString& path, CString& error);
    // Reads a memory image of a whole file; the bytes must outlive the reader.
    bool OpenMemory(const unsigned char* data, size_t size, CString& error);

    // The next swath. Error: error says what went wrong where ("datagram 7 at byte
    // 1234: ..."), and every later call fails the same way.
    Result Next(CString& error);
    const KongsbergSwath& Swath() const { return m_swath; }
    uint64_t SwathsRead() const { return m_swaths; }

    bool BigEndian() const { return m_bigEndian; }
    int Model() const { return m_model; }        // EM model number of the first datagram
    bool DualSwath() const { return m_dualSwath; }
    // Datagrams read so far by type byte.
    const std::map<unsigned char, uint64_t>& DatagramCounts() const { return m_counts; }
    uint64_t DatagramsRead() const { return m_nextIndex; }
    // The file's bytes (valid while the reader is open).
    const unsigned char* Data() const { return m_data; }
    uint64_t Size() const { return m_size; }
    uint64_t Offset() const { return m_offset; }

private:
    bool Start(CString& error);
    bool Fail(CString& error, uint64_t at, const CString& what);
    bool ReadDatagram(CString& error);
    bool ReadXyz(const unsigned char* d, uint32_t length, CString& error);
    void ReadRaw(const unsigned char* d, uint32_t length);
    void Finish(); // the held head's swath goes to the queue
    template <typename T>
    T Load(const unsigned char* p) const;
    float LoadFloat(const unsigned char* p) const;

    std::unique_ptr<kongsberg::MappedFile> m_file;
    std::unique_ptr<kongsberg::PositionTrack> m_active, m_inactive;
    std::unique_ptr<kongsberg::PendingSwaths> m_pending;
    const unsigned char* m_data = nullptr;
    uint64_t m_size = 0;
    uint64_t m_offset = 0;
    uint64_t m_nextIndex = 0;
    bool m_open = false, m_failed = false, m_atEnd = false;
    CString m_error;
    bool m_bigEndian = false;
    int m_model = 0;
    uint16_t m_portSerial = 0, m_starboardSerial = 0;
    bool m_dualSwath = false;

    // The raw range and angle datagram last read.
    bool m_rawValid = false;
    uint16_t m_rawCounter = 0, m_rawSerial = 0;
    uint32_t m_rawDate = 0, m_rawTime = 0;
    double m_rawFrequency = 0.0;
    std::vector<float> m_rawAngles;

    // The swath of the last XYZ 88, held until the next ping shows whether another head
    // adds to it.
    bool m_holding = false;
    KongsbergSwath m_held, m_part;
    // Dual swath: the previous swath's time and position, and the ping cycle.
    double m_lastTime = -1.0, m_lastFirstTime = -1.0, m_cycle = 0.0;
    int m_lastSwath = 1;

    KongsbergSwath m_swath;
    uint64_t m_swaths = 0;
    std::map<unsigned char, uint64_t> m_counts;
};

} // namespace kvs
